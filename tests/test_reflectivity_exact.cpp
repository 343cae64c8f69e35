// How exact the curves are: both kernels (plain and fast, every build) and the Fresnel reference
// against a long-double evaluation of the same double inputs (exact_reference.h), on the stacks
// where digits are lost most easily: 400 X-ray slabs at 1.54 Å and at 0.1 Å (δ ~ 1e-8), polarised
// neutrons, an absorbing ambient, the clamped angles of every axis and the divergence nodes.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "actions/load.h"
#include "exact_reference.h"
#include "physics/reflectivity.h"
#include "physics/reflectivity_fast.h"
#include "physics/slab_stack.h"
#include "test_support.h"

namespace tolvi {
namespace {

using fast::Variant;

// Each point within 2e-11 of the reference (relative, with a floor of 1e-13 of the curve's
// largest value for deep fringe minima).
constexpr double EXACT_TOLERANCE = 2e-11;

LayerEntry& addRow(LayerModel& model, double rho, double t, double sig, double f1, double f2,
                   double molarMass) {
    LayerEntry& e = model.entries[model.nlay++];
    e.rho.value = rho;
    e.t.value = t;
    e.sig.value = sig;
    e.f1 = f1;
    e.f2 = f2;
    e.molarMass = molarMass;
    return e;
}

// An X-ray W/Si multilayer of `slabs` slabs on silicon under a silica cap, from material values
// (the optical constants at the slot's wavelength), on `points` θ values from x0 to x1.
void xrayMultilayer(ModelStore& store, double lamd, int slabs, double x0, double x1, int points) {
    DataSet& d = store.dataSet(0);
    d.lamd = lamd;
    d.xAxis = 0;
    LayerModel& model = store.layerModel(0);
    addRow(model, 2.33, 0.0, 3.0, 14.28, 0.33, 28.0855);
    LayerEntry& first = addRow(model, 19.3, 12.0, 3.0, 73.4, 4.0, 183.84);
    first.kind = 1;
    first.rept = (slabs - 2) / 2;
    first.groupSize = 2;
    LayerEntry& second = addRow(model, 2.33, 25.0, 4.0, 14.28, 0.33, 28.0855);
    second.kind = 2;
    second.groupSize = 2;
    addRow(model, 2.2, 20.0, 5.0, 10.0, 0.05, 60.08);
    buildSlabStack(store, 0);
    d.npoints = points;
    for (int i = 0; i < points; ++i) d.xData[i] = x0 + (x1 - x0) * i / (points - 1);
}

using test::setSlabs;

void setPoints(ModelStore& store, std::vector<double> xs) {
    DataSet& d = store.dataSet(0);
    d.npoints = static_cast<int>(xs.size());
    std::copy(xs.begin(), xs.end(), d.xData.begin());
}

// Fe/Cu bilayers on silicon at 4.75 Å on the q axis, the magnetic term in Fe.
void polarised(ModelStore& store, double magMode) {
    test::setPolarisedStack(store, magMode, 20);
}

struct ExactCase {
    const char* name;
    void (*setUp)(ModelStore& store);
};

const ExactCase CASES[] = {
    {"XrayMultilayer400At1_54",
     [](ModelStore& s) { xrayMultilayer(s, 1.54, 400, 0.05, 5.0, 2000); }},
    {"XrayMultilayer400At0_1",
     [](ModelStore& s) { xrayMultilayer(s, 0.1, 400, 0.002, 0.35, 2000); }},
    {"XrayMultilayer100WithDivergence",
     [](ModelStore& s) {
         xrayMultilayer(s, 1.54, 100, 0.05, 5.0, 1000);
         s.dataSet(0).divergence = 0.01;
     }},
    {"PolarisedNeutronsPlus", [](ModelStore& s) { polarised(s, 1.0); }},
    {"PolarisedNeutronsMinus", [](ModelStore& s) { polarised(s, -1.0); }},
    {"AbsorbingAmbient",
     [](ModelStore& s) {
         s.dataSet(0).lamd = 1.54;
         s.ambient = {2e-6, 1e-6};
         setSlabs(s, {{{7.588331e-06, 1.753606e-07}, 500.0, 2.0},
                      {{4.7e-5, 3.8e-6}, 100.0, 3.0},
                      {{7.1e-6, 9.0e-8}, 30.0, 2.0}});
         test::setGrid(s, 0.01, 5.0, 1000);
     }},
    {"ClampedAnglesOnTheThetaAxis",
     [](ModelStore& s) {
         s.dataSet(0).lamd = 1.54;
         setSlabs(s, {{{7.588331e-06, 1.753606e-07}, 0.0, 3.0}, {{4.7e-5, 3.8e-6}, 80.0, 3.0}});
         setPoints(s, {-1.0, 0.0, 1e-7, 5e-6, 1e-5, 2e-5, 1e-3, 0.1, 0.5});
     }},
    {"ClampedAnglesOnTheTwoThetaAxis",
     [](ModelStore& s) {
         s.dataSet(0).lamd = 1.54;
         s.dataSet(0).xAxis = 1;
         setSlabs(s, {{{7.588331e-06, 1.753606e-07}, 0.0, 3.0}, {{4.7e-5, 3.8e-6}, 80.0, 3.0}});
         setPoints(s, {-1.0, 0.0, 1e-5, 2e-5, 4e-5, 1e-3, 0.2, 1.0});
     }},
    {"ClampedAnglesOnTheQAxis",
     [](ModelStore& s) {
         s.dataSet(0).lamd = 1.54;
         s.dataSet(0).xAxis = 2;
         setSlabs(s, {{{7.588331e-06, 1.753606e-07}, 0.0, 3.0}, {{4.7e-5, 3.8e-6}, 80.0, 3.0}});
         setPoints(s, {-0.1, 0.0, 1e-7, 1e-5, 1e-3, 0.05, 0.3, 8.0, 8.2, 20.0});
     }},
};

test::ExactStack exactStackOf(const ModelStore& store, int slot, bool substrateOnly) {
    const LayerModel& m = store.layerModel(slot);
    test::ExactStack stack;
    stack.lamd = store.dataSet(slot).lamd;
    stack.magMode = store.dataSet(slot).magMode;
    stack.ambientDelta = store.ambient.delta;
    stack.ambientBeta = store.ambient.beta;
    int count = substrateOnly ? std::min(m.layall, 1) : m.layall;
    for (int s = 0; s < count; ++s) {
        const LayerEntry& e = m.slabs[s];
        // The reference takes the roughness of the sample surface.
        double sigma = substrateOnly ? m.slabs[m.layall - 1].sig.value : e.sig.value;
        stack.slabs.push_back({e.medium.delta, e.medium.beta, e.magTerm.re, e.t.value, sigma});
    }
    return stack;
}

std::vector<long double> exactOf(const ModelStore& store, bool substrateOnly) {
    const DataSet& d = store.dataSet(0);
    test::ExactCurveSettings c{d.xAxis, d.divergence, d.x0_shift.value, d.logI0.value, d.bg.value};
    return test::exactCurve(exactStackOf(store, 0, substrateOnly), c,
                            {d.xData.begin(), d.xData.begin() + d.npoints});
}

std::vector<double> calculated(const ModelStore& store) {
    const DataSet& d = store.dataSet(0);
    return {d.calcLin.begin(), d.calcLin.begin() + d.npoints};
}

std::vector<double> referenceCurve(const ModelStore& store) {
    const DataSet& d = store.dataSet(0);
    return {d.rfLin.begin(), d.rfLin.begin() + d.npoints};
}

void expectExact(const std::vector<double>& curve, const std::vector<long double>& exact,
                 const std::string& what) {
    double worst = test::worstRelativeDifference(curve, exact);
    EXPECT_LE(worst, EXACT_TOLERANCE) << what;
    char text[32];
    std::snprintf(text, sizeof text, "%.2g", worst);
    ::testing::Test::RecordProperty(what, text);
}

// The plain kernel and every build of the fast one, curve and Fresnel reference of slot 0.
void expectEveryKernelExact(ModelStore& store, const std::string& name) {
    std::vector<long double> exactCurve = exactOf(store, false);
    std::vector<long double> exactReference = exactOf(store, true);
    computeReflectivityPlain(store, 0, false);
    computeFresnelReferencePlain(store, 0);
    expectExact(calculated(store), exactCurve, name + "_plain");
    expectExact(referenceCurve(store), exactReference, name + "_plain_reference");
    for (Variant v : {Variant::Base, Variant::Avx2, Variant::Avx512}) {
        if (!fast::cpuSupports(v)) continue;
        std::string build = fast::kernels(v).name;
        fast::computeReflectivityWith(v, store, 0, false, 0, MAX_DATA);
        fast::computeFresnelReferenceWith(v, store, 0);
        expectExact(calculated(store), exactCurve, name + "_" + build);
        expectExact(referenceCurve(store), exactReference, name + "_" + build + "_reference");
    }
}

class ExactCurves : public ::testing::TestWithParam<ExactCase> {};

TEST_P(ExactCurves, EveryKernelIsWithinTwoE11OfTheLongDoubleReference) {
    auto store = test::makeStore();
    GetParam().setUp(*store);
    expectEveryKernelExact(*store, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Cases, ExactCurves, ::testing::ValuesIn(CASES),
                         [](const ::testing::TestParamInfo<ExactCase>& info) {
                             return std::string(info.param.name);
                         });

// The neutron cases of the ORSO validation suite at 0.1 Å (δ ~ 1e-8), with their fronting media,
// loaded as the command-line tool loads them.
TEST(ExactCurvesOrso, TheValidationCasesAreWithinTwoE11OfTheLongDoubleReference) {
    std::filesystem::path root =
        std::filesystem::path(TOLVI_SOURCE_DIR) / ".." / "shared" / "orso-validation";
    if (!std::filesystem::exists(root / "check.py")) GTEST_SKIP() << "no ORSO cases at " << root;
    for (const char* name : {"test0", "test1", "test2", "test6", "test7", "pol_test0"}) {
        std::filesystem::path dir = root / name;
        auto store = test::makeStore();
        std::ifstream ambient(dir / "ambient.txt");
        double delta = 0.0, beta = 0.0;
        ASSERT_TRUE(ambient >> delta >> beta) << name;
        ASSERT_TRUE(setAmbient(*store, delta, beta).ok()) << name;
        ASSERT_TRUE(loadParamSlot(*store, (dir / "case.par").string()).succeeded()) << name;
        expectEveryKernelExact(*store, std::string("orso_") + name);
    }
}

// The reference itself: the long-double recursion gives the closed form of a bare substrate.
TEST(ExactReference, BareSubstrateIsTheFresnelFormula) {
    test::ExactStack stack;
    stack.slabs.push_back({7.588331e-06, 1.753606e-07, 0.0, 0.0, 0.0});
    for (double degrees : {0.1, 0.2, 0.5, 2.0}) {
        long double s = test::exactSine(0, 1.54, degrees);
        test::LongComplex kz0 = s;
        test::LongComplex kz1 = std::sqrt(test::exactChi(7.588331e-06, 1.753606e-07) + s * s);
        long double fresnel = std::norm((kz0 - kz1) / (kz0 + kz1));
        EXPECT_NEAR(static_cast<double>(test::exactReflectivity(stack, s) / fresnel), 1.0, 1e-17)
            << degrees;
    }
}

}  // namespace
}  // namespace tolvi
