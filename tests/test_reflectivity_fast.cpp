// The vectorised reflectivity kernel against the plain transfer matrix it replaces: the same
// curves to 1e-10 relative (with an absolute floor of 1e-13 of the curve's peak for deep fringe
// minima) on every point of every case, the same bits from each of its builds, its own exp and
// sin/cos within about an ulp, the point ranges, the exceptions, no allocation, several threads.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "actions/load.h"
#include "allocation_counter.h"
#include "base/status.h"
#include "physics/reflectivity.h"
#include "physics/reflectivity_fast.h"
#include "test_support.h"

namespace tolvi {
namespace {

using fast::Variant;

constexpr double RELATIVE_TOLERANCE = 1e-10;
constexpr double PEAK_FLOOR = 1e-13;  // of the largest value of the curve

// δ and β at 1.54 Å.
const Medium SILICON{7.588331e-06, 1.753606e-07};
const Medium TUNGSTEN{4.7e-5, 3.8e-6};
const Medium SILICA{7.1e-6, 9.0e-8};

std::vector<Variant> supportedVariants() {
    std::vector<Variant> all;
    for (Variant v : {Variant::Base, Variant::Avx2, Variant::Avx512})
        if (fast::cpuSupports(v)) all.push_back(v);
    return all;
}

using test::setGrid;
using test::setSlabs;
using Slab = test::TestSlab;

void setXray(ModelStore& store, int xAxis = 0) {
    DataSet& d = store.dataSet(0);
    d.lamd = 1.54;
    d.xAxis = xAxis;
}

// `slabs` slabs: the substrate, (slabs - 2) / 2 W/Si bilayers and a silica cap.
std::vector<Slab> multilayer(int slabs) {
    std::vector<Slab> stack{{SILICON, 0.0, 3.0}};
    for (int i = 0; i < (slabs - 2) / 2; ++i) {
        stack.push_back({TUNGSTEN, 12.0, 3.0});
        stack.push_back({SILICON, 25.0, 4.0});
    }
    stack.push_back({SILICA, 20.0, 5.0});
    return stack;
}

void polarised(ModelStore& store, double magMode) {
    test::setPolarisedStack(store, magMode, 10);
}

struct FastCase {
    const char* name;
    void (*setUp)(ModelStore& store);
};

const FastCase CASES[] = {
    {"SubstrateOnTheThetaAxisWithItsClamps",
     [](ModelStore& s) {
         setXray(s);
         setSlabs(s, {{SILICON, 0.0, 0.0}});
         setGrid(s, -0.5, 6.0, 2000);
     }},
    {"RoughSubstrateOnTheTwoThetaAxis",
     [](ModelStore& s) {
         setXray(s, 1);
         setSlabs(s, {{SILICON, 0.0, 5.0}});
         setGrid(s, -1.0, 12.0, 2000);
     }},
    {"FilmOnTheQAxisBeyondFourPiOverLambda",
     [](ModelStore& s) {
         setXray(s, 2);
         setSlabs(s, {{SILICON, 0.0, 3.0}, {TUNGSTEN, 200.0, 4.0}});
         setGrid(s, -0.1, 9.0, 2000);  // 4π/λ = 8.16
     }},
    {"FilmWithDivergenceScaleAndBackground",
     [](ModelStore& s) {
         setXray(s);
         setSlabs(s, {{SILICON, 0.0, 3.0}, {{1.63e-5, 3.8e-7}, 200.0, 4.0}});
         DataSet& d = s.dataSet(0);
         d.divergence = 0.01;
         d.logI0.value = 6.0;
         d.bg.value = 1.0;
         d.x0_shift.value = 0.003;
         setGrid(s, 0.0, 4.0, 1000);
     }},
    {"RoughStackDownToTheFloor",
     [](ModelStore& s) {
         setXray(s);
         setSlabs(s, {{SILICON, 0.0, 8.0}, {TUNGSTEN, 150.0, 9.0}, {SILICA, 40.0, 8.0}});
         s.dataSet(0).logI0.value = 2.0;
         setGrid(s, 0.01, 12.0, 2000);
     }},
    {"Multilayer20",
     [](ModelStore& s) {
         setXray(s);
         setSlabs(s, multilayer(20));
         setGrid(s, 0.01, 8.0, 1000);
     }},
    {"Multilayer20WithDivergence",
     [](ModelStore& s) {
         setXray(s);
         setSlabs(s, multilayer(20));
         s.dataSet(0).divergence = 0.01;
         setGrid(s, 0.01, 8.0, 1000);
     }},
    {"Multilayer100",
     [](ModelStore& s) {
         setXray(s);
         setSlabs(s, multilayer(100));
         setGrid(s, 0.01, 8.0, 2000);
     }},
    {"Multilayer100WithDivergence",
     [](ModelStore& s) {
         setXray(s);
         setSlabs(s, multilayer(100));
         s.dataSet(0).divergence = 0.01;
         setGrid(s, 0.01, 8.0, 2000);
     }},
    {"Multilayer400",
     [](ModelStore& s) {
         setXray(s);
         setSlabs(s, multilayer(400));
         setGrid(s, 0.01, 8.0, 2000);
     }},
    {"Multilayer400WithDivergence",
     [](ModelStore& s) {
         setXray(s);
         setSlabs(s, multilayer(400));
         s.dataSet(0).divergence = 0.01;
         setGrid(s, 0.01, 8.0, 2000);
     }},
    {"PolarisedNeutronsPlus", [](ModelStore& s) { polarised(s, 1.0); }},
    {"PolarisedNeutronsMinus", [](ModelStore& s) { polarised(s, -1.0); }},
    {"PolarisedNeutronsHalfTerm", [](ModelStore& s) { polarised(s, 0.5); }},
    {"AbsorbingAmbientOverAThinSubstrate",
     [](ModelStore& s) {
         setXray(s);
         s.ambient = {2e-6, 1e-6};
         setSlabs(s, {{SILICON, 0.0, 2.0}, {TUNGSTEN, 100.0, 3.0}, {SILICA, 30.0, 2.0}});
         setGrid(s, 0.01, 5.0, 1000);
     }},
    {"AbsorbingAmbientOverAThickSubstrate",
     [](ModelStore& s) {
         setXray(s);
         s.ambient = {2e-6, 1e-6};
         setSlabs(s, {{SILICON, 5000.0, 2.0}, {TUNGSTEN, 100.0, 3.0}, {SILICA, 30.0, 2.0}});
         setGrid(s, 0.01, 5.0, 1000);
     }},
    {"ThickAbsorbingStackUnderAnAbsorbingAmbient",
     [](ModelStore& s) {
         setXray(s);
         s.ambient = {0.0, 5e-6};
         std::vector<Slab> stack{{SILICON, 0.0, 3.0}};
         for (int i = 0; i < 100; ++i)
             stack.push_back(i % 2 ? Slab{{4.7e-5, 4.8e-6}, 300.0, 3.0}
                                   : Slab{{3.2e-5, 2.5e-6}, 300.0, 4.0});
         setSlabs(s, stack);
         setGrid(s, 0.01, 4.0, 800);
     }},
    {"ThickHeavyMultilayerWithDivergence",
     [](ModelStore& s) {
         setXray(s);
         std::vector<Slab> stack{{SILICON, 0.0, 3.0}};
         for (int i = 0; i < 60; ++i)
             stack.push_back(i % 2 ? Slab{{4.9e-5, 3.9e-6}, 400.0, 4.0}
                                   : Slab{{1.63e-5, 3.8e-7}, 400.0, 4.0});
         setSlabs(s, stack);
         s.dataSet(0).divergence = 0.01;
         setGrid(s, 0.01, 4.0, 500);
     }},
    {"AbsorbingSubstrateAMillionAngstromsThick",
     [](ModelStore& s) {
         setXray(s);
         setSlabs(s, {{{4.7e-5, 4.8e-6}, 1e6, 3.0}, {{1.63e-5, 3.8e-7}, 200.0, 4.0}});
         setGrid(s, 0.01, 3.0, 500);
     }},
    {"HugeRoughnessAtTotalReflection",
     [](ModelStore& s) {
         setXray(s);
         setSlabs(s, {{{1.0, 0.0}, 0.0, 10.0}});  // an index of 0
         setGrid(s, 0.01, 3.0, 300);
     }},
    {"VanishingWaveNumberOfTheAmbient",
     [](ModelStore& s) {
         setXray(s);
         s.ambient = {1.0, 0.0};  // an index of 0
         setSlabs(s, {{SILICON, 75.0, 4.0}});
         setGrid(s, 0.01, 3.0, 100);
     }},
    {"BuriedLayerMatchingTheInPlaneComponent",
     [](ModelStore& s) {
         setXray(s);
         setSlabs(s,
                  {{SILICON, 0.0, 2.0},
                   {test::mediumMatchingSineSquared(grazingSineSquared(0, 1.54, 0.35)), 50.0, 3.0},
                   {SILICON, 100.0, 1.0}});
         setGrid(s, 0.05, 0.65, 13);  // 0.35 among them
     }},
    {"EmptyStack",
     [](ModelStore& s) {
         setXray(s);
         s.dataSet(0).bg.value = 0.5;
         setGrid(s, 0.0, 3.0, 50);
     }},
};

std::string shortText(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", v);
    return text;
}

std::vector<double> calculated(const ModelStore& store, int slot) {
    const DataSet& d = store.dataSet(slot);
    return {d.calcLin.begin(), d.calcLin.begin() + d.npoints};
}
std::vector<double> reference(const ModelStore& store, int slot) {
    const DataSet& d = store.dataSet(slot);
    return {d.rfLin.begin(), d.rfLin.begin() + d.npoints};
}

// How far a fast curve lies from the plain one: the largest relative difference, and the
// largest difference as a fraction of the tolerance.
struct Difference {
    double relative = 0.0;
    double ofTolerance = 0.0;
};

// Expects the fast curve within the tolerance of the plain one at every point.
Difference expectClose(const std::vector<double>& fastCurve, const std::vector<double>& plainCurve,
                       const std::string& what) {
    EXPECT_EQ(fastCurve.size(), plainCurve.size()) << what;
    double peak = 0.0;
    for (double v : plainCurve) peak = std::max(peak, std::fabs(v));
    Difference worst;
    for (size_t i = 0; i < std::min(fastCurve.size(), plainCurve.size()); ++i) {
        double diff = std::fabs(fastCurve[i] - plainCurve[i]);
        double allowed = RELATIVE_TOLERANCE * std::fabs(plainCurve[i]) + PEAK_FLOOR * peak;
        EXPECT_LE(diff, allowed) << what << " at point " << i << ": " << fastCurve[i] << " vs "
                                 << plainCurve[i];
        if (plainCurve[i] != 0.0)
            worst.relative = std::max(worst.relative, diff / std::fabs(plainCurve[i]));
        if (allowed > 0.0) worst.ofTolerance = std::max(worst.ofTolerance, diff / allowed);
    }
    return worst;
}

void recordDifference(const std::string& key, Difference d) {
    ::testing::Test::RecordProperty(key + "_relative", shortText(d.relative));
    ::testing::Test::RecordProperty(key + "_of_tolerance", shortText(d.ofTolerance));
}

// Both curves of a slot by the plain kernel, the public (fast) functions and each build of the
// fast kernel: within the tolerance of the plain ones, and the same bits from every build.
void expectFastMatchesPlain(ModelStore& store, int slot, const std::string& name) {
    computeReflectivityPlain(store, slot, false);
    computeFresnelReferencePlain(store, slot);
    std::vector<double> plainCurve = calculated(store, slot);
    std::vector<double> plainReference = reference(store, slot);

    computeReflectivity(store, slot, false);
    computeFresnelReference(store, slot);
    std::vector<double> fastCurve = calculated(store, slot);
    std::vector<double> fastReference = reference(store, slot);
    recordDifference(name + "_curve", expectClose(fastCurve, plainCurve, name + " curve"));
    recordDifference(name + "_reference",
                     expectClose(fastReference, plainReference, name + " reference"));

    int n = store.dataSet(slot).npoints;
    for (Variant v : supportedVariants()) {
        std::string build = fast::kernels(v).name;
        fast::computeReflectivityWith(v, store, slot, false, 0, n);
        fast::computeFresnelReferenceWith(v, store, slot);
        EXPECT_EQ(calculated(store, slot), fastCurve) << name << ": " << build;
        EXPECT_EQ(reference(store, slot), fastReference) << name << " reference: " << build;
    }
}

class FastKernel : public ::testing::TestWithParam<FastCase> {};

TEST_P(FastKernel, GivesThePlainCurveFromEveryBuild) {
    auto store = test::makeStore();
    GetParam().setUp(*store);
    expectFastMatchesPlain(*store, 0, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Cases, FastKernel, ::testing::ValuesIn(CASES),
                         [](const ::testing::TestParamInfo<FastCase>& info) {
                             return std::string(info.param.name);
                         });

// The unsmeared neutron cases of the ORSO validation suite, loaded as the command-line tool
// loads them.
TEST(FastKernelOrso, GivesThePlainCurveOnTheValidationCases) {
    std::filesystem::path root =
        std::filesystem::path(TOLVI_SOURCE_DIR) / ".." / "shared" / "orso-validation";
    if (!std::filesystem::exists(root / "check.py")) GTEST_SKIP() << "no ORSO cases at " << root;
    int cases = 0;
    for (const char* name : {"test0", "test1", "test2", "test6", "test7", "pol_test0"}) {
        std::filesystem::path dir = root / name;
        auto store = test::makeStore();
        std::ifstream ambient(dir / "ambient.txt");
        double delta = 0.0, beta = 0.0;
        ASSERT_TRUE(ambient >> delta >> beta) << name;
        ASSERT_TRUE(setAmbient(*store, delta, beta).ok()) << name;
        Status s = loadParamSlot(*store, (dir / "case.par").string());
        ASSERT_EQ(s.code, 0) << name << ": " << s.message;
        ASSERT_GT(store->dataSet(store->curfile).npoints, 100) << name;
        expectFastMatchesPlain(*store, store->curfile, name);
        ++cases;
    }
    EXPECT_EQ(cases, 6);
}

// ---- The kernel's own exponential and sine/cosine, against the C library.

std::vector<double> spread(double lo, double hi, int count) {
    std::vector<double> x;
    for (int i = 0; i < count; ++i) x.push_back(lo + (hi - lo) * (i + 0.37) / count);
    return x;
}

TEST(FastKernelMath, ExpIsWithinAboutAnUlpAndExactAtZero) {
    // Relative error in units of 2^-52, the ulp of 1: the largest a correctly rounded result can
    // be off is half of it.
    std::vector<double> x = spread(-708.0, 708.0, 200001);
    for (double v : spread(-0.35, 0.35, 20001)) x.push_back(v);
    x.push_back(0.0);
    std::vector<double> first;
    for (Variant v : supportedVariants()) {
        std::vector<double> y(x.size());
        fast::kernels(v).exp(x.data(), y.data(), static_cast<int>(x.size()));
        double worst = 0.0;
        for (size_t i = 0; i < x.size(); ++i) {
            double ref = std::exp(x[i]);
            worst = std::max(worst, std::fabs(y[i] - ref) / ref / 0x1p-52);
        }
        EXPECT_LE(worst, 1.5) << fast::kernels(v).name;
        EXPECT_EQ(y.back(), 1.0);
        if (first.empty()) first = y;
        EXPECT_EQ(y, first) << fast::kernels(v).name;
        ::testing::Test::RecordProperty(std::string("exp_max_eps_") + fast::kernels(v).name,
                                        shortText(worst));
    }
}

TEST(FastKernelMath, SineAndCosineAreWithinAboutAnUlpOfOne) {
    std::vector<double> x = spread(-1e6, 1e6, 200001);
    for (double v : spread(-10.0, 10.0, 20001)) x.push_back(v);
    for (double v : spread(-1e-3, 1e-3, 2001)) x.push_back(v);
    std::vector<double> firstSin, firstCos;
    for (Variant v : supportedVariants()) {
        std::vector<double> s(x.size()), c(x.size());
        fast::kernels(v).sinCos(x.data(), s.data(), c.data(), static_cast<int>(x.size()));
        // Absolute error in units of 2^-53, half an ulp of 1: these values are the phase factors
        // of complex exponentials, whose size is set by the modulus.
        double worstSin = 0.0, worstCos = 0.0;
        for (size_t i = 0; i < x.size(); ++i) {
            worstSin = std::max(worstSin, std::fabs(s[i] - std::sin(x[i])) / 0x1p-53);
            worstCos = std::max(worstCos, std::fabs(c[i] - std::cos(x[i])) / 0x1p-53);
        }
        EXPECT_LE(worstSin, 2.0) << fast::kernels(v).name;
        EXPECT_LE(worstCos, 2.0) << fast::kernels(v).name;
        if (firstSin.empty()) {
            firstSin = s;
            firstCos = c;
        }
        EXPECT_EQ(s, firstSin) << fast::kernels(v).name;
        EXPECT_EQ(c, firstCos) << fast::kernels(v).name;
        ::testing::Test::RecordProperty(
            std::string("sincos_max_half_ulps_") + fast::kernels(v).name,
            shortText(std::max(worstSin, worstCos)));
    }
}

// ---- Dispatch, ranges, failures, allocation, threads.

TEST(FastKernelDispatch, ChoosesARequestedBuildOnlyWhereTheCpuRunsIt) {
    Variant widest = fast::cpuSupports(Variant::Avx512) ? Variant::Avx512
                     : fast::cpuSupports(Variant::Avx2) ? Variant::Avx2
                                                        : Variant::Base;
    EXPECT_EQ(fast::chooseVariant(nullptr), widest);
    EXPECT_EQ(fast::chooseVariant(""), widest);
    EXPECT_EQ(fast::chooseVariant("sse9"), widest);
    EXPECT_EQ(fast::chooseVariant("base"), Variant::Base);
    for (Variant v : {Variant::Avx2, Variant::Avx512})
        EXPECT_EQ(fast::chooseVariant(fast::kernels(v).name), fast::cpuSupports(v) ? v : widest);
    EXPECT_EQ(fast::activeVariant(), fast::chooseVariant(std::getenv("TOLVI_KERNEL")));
    EXPECT_TRUE(fast::cpuSupports(Variant::Base));
    EXPECT_EQ(fast::kernels(Variant::Base).lanes, 2);
    EXPECT_EQ(fast::kernels(Variant::Avx2).lanes, 4);
    EXPECT_EQ(fast::kernels(Variant::Avx512).lanes, 8);
}

TEST(FastKernelRange, PiecesGiveTheWholeCurveAndTouchNothingElse) {
    auto store = test::makeStore();
    setXray(*store);
    setSlabs(*store, multilayer(40));
    store->dataSet(0).divergence = 0.01;
    setGrid(*store, 0.01, 6.0, 1500);
    computeReflectivity(*store, 0, true);
    std::vector<double> whole = calculated(*store, 0);
    std::vector<double> wholeLog(store->dataSet(0).calcLog.begin(),
                                 store->dataSet(0).calcLog.begin() + 1500);

    DataSet& d = store->dataSet(0);
    std::fill(d.calcLin.begin(), d.calcLin.end(), -1.0);
    std::fill(d.yLin.begin(), d.yLin.end(), -1.0);
    computeReflectivityRange(*store, 0, false, 100, 101);
    computeReflectivityRange(*store, 0, true, 700, 1337);
    for (int i = 0; i < MAX_DATA; ++i) {
        bool inside = i == 100 || (i >= 700 && i < 1337);
        EXPECT_EQ(d.calcLin[i], inside ? whole[i] : -1.0) << i;
        EXPECT_EQ(d.yLin[i], i >= 700 && i < 1337 ? whole[i] : -1.0) << i;
    }
    for (auto [first, end] : {std::pair{-5, 3}, {3, 700}, {101, 700}, {1337, 5000}, {0, 100}})
        computeReflectivityRange(*store, 0, false, first, end);
    EXPECT_EQ(calculated(*store, 0), whole);
    EXPECT_EQ(std::vector<double>(d.calcLog.begin(), d.calcLog.begin() + 1500), wholeLog);
    EXPECT_EQ(d.calcLin[1500], -1.0) << "beyond npoints";
    computeReflectivityRange(*store, 0, false, 900, 800);  // empty
    EXPECT_EQ(calculated(*store, 0), whole);
}

TEST(FastKernelFailures, ThrowsAsThePlainKernelDoes) {
    auto store = test::makeStore();
    setXray(*store);
    setSlabs(*store, {{SILICON, 0.0, 0.0}});
    setGrid(*store, 0.3, 0.5, 2);
    for (double logI0 : {400.0, -400.0}) {
        store->dataSet(0).logI0.value = logI0;
        std::string plainMessage, fastMessage;
        try {
            computeReflectivityPlain(*store, 0, false);
        } catch (const NumberError& e) {
            plainMessage = e.what();
        }
        try {
            computeReflectivity(*store, 0, false);
        } catch (const NumberError& e) {
            fastMessage = e.what();
        }
        EXPECT_FALSE(fastMessage.empty()) << logI0;
        EXPECT_EQ(fastMessage, plainMessage);
        EXPECT_THROW(computeFresnelReference(*store, 0), NumberError);
        EXPECT_THROW(computeReflectivityRange(*store, 0, false, 1, 2), NumberError);
    }
}

TEST(FastKernelAllocation, ComputesWithoutAllocating) {
    auto store = test::makeStore();
    setXray(*store);
    setSlabs(*store, multilayer(400));
    store->dataSet(0).divergence = 0.01;
    setGrid(*store, 0.01, 6.0, 500);
    std::vector<Variant> variants = supportedVariants();
    long before = test::allocationCount();
    computeReflectivity(*store, 0, true);
    computeReflectivityRange(*store, 0, false, 10, 20);
    computeFresnelReference(*store, 0);
    for (Variant v : variants) fast::computeReflectivityWith(v, *store, 0, false, 0, 500);
    // Angles that fall back to the plain recursion (k = 0 exactly) allocate nothing either.
    store->ambient = {1.0, 0.0};
    computeReflectivity(*store, 0, false);
    EXPECT_EQ(test::allocationCount(), before);
}

TEST(FastKernelThreads, StoresComputedConcurrentlyGiveTheSerialCurves) {
    constexpr int THREADS = 4;
    std::vector<std::unique_ptr<ModelStore>> stores;
    std::vector<std::vector<double>> serial;
    for (int k = 0; k < THREADS; ++k) {
        stores.push_back(test::makeStore());
        ModelStore& s = *stores.back();
        setXray(s, k % 3);
        setSlabs(s, multilayer(20 + 40 * k));
        s.dataSet(0).divergence = k % 2 ? 0.01 : 0.0;
        setGrid(s, 0.01, k % 3 == 2 ? 0.5 : 5.0, 1000);
        computeReflectivity(s, 0, false);
        serial.push_back(calculated(s, 0));
        std::fill(s.dataSet(0).calcLin.begin(), s.dataSet(0).calcLin.end(), 0.0);
    }
    // The two halves of one store's curve from two more threads.
    auto shared = test::makeStore();
    setXray(*shared);
    setSlabs(*shared, multilayer(100));
    setGrid(*shared, 0.01, 5.0, 2000);
    computeReflectivity(*shared, 0, false);
    std::vector<double> sharedSerial = calculated(*shared, 0);
    std::fill(shared->dataSet(0).calcLin.begin(), shared->dataSet(0).calcLin.end(), 0.0);

    std::vector<std::thread> threads;
    for (int k = 0; k < THREADS; ++k)
        threads.emplace_back([&, k] {
            for (int repeat = 0; repeat < 3; ++repeat) computeReflectivity(*stores[k], 0, false);
        });
    threads.emplace_back([&] { computeReflectivityRange(*shared, 0, false, 0, 1000); });
    threads.emplace_back([&] { computeReflectivityRange(*shared, 0, false, 1000, 2000); });
    for (std::thread& t : threads) t.join();
    for (int k = 0; k < THREADS; ++k) EXPECT_EQ(calculated(*stores[k], 0), serial[k]) << k;
    EXPECT_EQ(calculated(*shared, 0), sharedSerial);
}

}  // namespace
}  // namespace tolvi
