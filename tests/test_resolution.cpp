// The pointwise resolution and the footprint. The oracle of the averaged curve is the definition
// itself (resolution_definition.h), integrated by an adaptive Gauss-Legendre rule of the tests'
// own on the plain transfer matrix: the program's shared grid must agree with it to 1e-4 at the hard places (the critical
// edge, thick-film fringes under 5 % dQ/Q, a Bragg peak, every point of a long curve, random
// stacks with guided modes below the edge).
#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "actions/curves.h"
#include "actions/load.h"
#include "base/constants.h"
#include "base/text_io.h"
#include "fit/fit_runs.h"
#include "fit/fit_workers.h"
#include "physics/reflectivity.h"
#include "physics/reflectivity_fast.h"
#include "physics/resolution.h"
#include "resolution_definition.h"
#include "test_support.h"

namespace tolvi {
namespace {

// The largest |program - definition| / definition over the points of slot 0 (logI0 = bg = 0,
// so calcLin is R̄), and the plan's nodes per point.
struct Comparison {
    double worst = 0.0;
    int worstPoint = -1;
    double nodesPerPoint = 0.0;
};
Comparison compareWithDefinition(ModelStore& store) {
    computeReflectivity(store, 0, false);
    const DataSet& d = store.dataSet(0);
    Comparison c;
    for (int i = 0; i < d.npoints; ++i) {
        double expected = test::definition(store, i);
        double error = std::fabs(d.calcLin[i] - expected) / expected;
        if (error > c.worst) {
            c.worst = error;
            c.worstPoint = i;
        }
    }
    c.nodesPerPoint = static_cast<double>(store.resolutionPlans[0].nodeCount) / d.npoints;
    return c;
}

Medium sld(double re, double im = 0.0) {
    return mediumOfSld(re, im, 5.0);
}

class Resolution : public ::testing::Test {
  protected:
    // A neutron slot on the q axis at 5 Å, logI0 = bg = 0.
    void neutron(const std::vector<test::TestSlab>& slabs, double q0, double q1, int points) {
        DataSet& d = store->dataSet(0);
        d.lamd = 5.0;
        d.xAxis = 2;
        test::setSlabs(*store, slabs);
        test::setGrid(*store, q0, q1, points);
    }
    void relative(double fwhm) {
        store->dataOptions[0].resolution.kind = ResolutionKind::Relative;
        store->dataOptions[0].resolution.relativeFwhm = fwhm;
    }
    // σ of every point from a resolution column (x units).
    void column(const std::vector<double>& sigmaX) {
        store->dataOptions[0].resolution.kind = ResolutionKind::ColumnSigma;
        PointResolution& r = store->pointResolution[0];
        r.loaded = true;
        std::copy(sigmaX.begin(), sigmaX.end(), r.sigmaX.begin());
    }
    std::unique_ptr<ModelStore> store = test::makeStore();
};

// ---- The average against the definition

TEST_F(Resolution, TheFringesOfAThousandAngstromFilmAtFivePercent) {
    neutron({{sld(2.07), 0, 3}, {sld(4.0), 1000.0, 5}}, 0.005, 0.2, 300);
    relative(0.05);
    Comparison c = compareWithDefinition(*store);
    EXPECT_LT(c.worst, 1e-4) << "point " << c.worstPoint;
    EXPECT_LT(c.nodesPerPoint, 17.0);
}

TEST_F(Resolution, TheCriticalEdge) {
    neutron({{sld(6.36), 0, 2}, {sld(3.0), 120.0, 4}}, 0.01, 0.03, 200);
    relative(0.03);
    double edge = test::edgeOf(*store);
    ASSERT_GT(edge, 0.01);
    ASSERT_LT(edge, 0.03);
    Comparison c = compareWithDefinition(*store);
    EXPECT_LT(c.worst, 1e-4) << "point " << c.worstPoint;
}

// The first Bragg peak of twenty W/Si bilayers (X-rays, θ axis, 1.54 Å), σ_θ from a column.
TEST_F(Resolution, TheBraggPeakOfAMultilayer) {
    DataSet& d = store->dataSet(0);
    d.lamd = 1.54;
    d.xAxis = 0;
    std::vector<test::TestSlab> stack{{{7.6e-6, 1.75e-7}, 0, 3}};
    for (int k = 0; k < 20; ++k) {
        stack.push_back({{4.8e-5, 3.5e-6}, 15.0, 3.0});
        stack.push_back({{7.6e-6, 1.75e-7}, 25.0, 3.0});
    }
    test::setSlabs(*store, stack);
    test::setGrid(*store, 0.95, 1.25, 60);
    column(std::vector<double>(60, 0.01));
    Comparison c = compareWithDefinition(*store);
    EXPECT_LT(c.worst, 1e-4) << "point " << c.worstPoint;
    // The peak is inside the points: the largest R̄ is not at an end.
    const auto& y = store->dataSet(0).calcLin;
    int top = static_cast<int>(std::max_element(y.begin(), y.begin() + 60) - y.begin());
    EXPECT_GT(top, 5);
    EXPECT_LT(top, 55);
}

TEST_F(Resolution, EveryPointOfATwoThousandPointCurve) {
    neutron({{sld(2.07), 0, 3}, {sld(6.0, 0.001), 80.0, 4}, {sld(1.0), 250.0, 6}}, 0.004, 0.3,
            MAX_DATA);
    relative(0.03);
    Comparison c = compareWithDefinition(*store);
    EXPECT_LT(c.worst, 1e-4) << "point " << c.worstPoint;
    EXPECT_LT(c.nodesPerPoint, 2.0) << "the points share their nodes";
}

// Random stacks, some with guided modes below the substrate's edge whose dips are far narrower
// than the fringes: the plan's checks must find them.
TEST_F(Resolution, RandomStacks) {
    unsigned seed = 20261209;
    auto uniform = [&] {
        seed = seed * 1103515245u + 12345u;
        return ((seed >> 8) & 0xffffff) / 16777216.0;
    };
    for (int c = 0; c < 10; ++c) {
        store = test::makeStore();
        int layers = 1 + static_cast<int>(uniform() * 5);
        std::vector<test::TestSlab> stack{{sld(-0.5 + 7 * uniform()), 0, 10 * uniform()}};
        for (int k = 0; k < layers; ++k)
            stack.push_back({sld(-0.5 + 8 * uniform(), 0.01 * uniform()),
                             10 + 1500 * uniform() * uniform(), 12 * uniform()});
        int points = 30 + static_cast<int>(uniform() * 120);
        double q0 = 0.004 + 0.01 * uniform();
        neutron(stack, q0, q0 + 0.05 + 0.3 * uniform(), points);
        if (uniform() < 0.5) {
            relative(0.01 + 0.09 * uniform());
        } else {
            double sigma = 0.0002 + 0.003 * uniform();
            std::vector<double> widths;
            for (int i = 0; i < points; ++i) widths.push_back(sigma * (0.5 + uniform()));
            column(widths);
        }
        Comparison cmp = compareWithDefinition(*store);
        EXPECT_LT(cmp.worst, 1e-4) << "case " << c << ", point " << cmp.worstPoint;
    }
}

// ---- The plan's weights

// Each point's weights: a flat R stays flat (they sum to 1), and they reproduce the mean and
// the variance of the Gaussian truncated at ±3.5σ (a closed form), also where q = 0 cuts the
// window (mean and variance of the one-sided truncation).
TEST_F(Resolution, WeightsAreTheTruncatedGaussian) {
    neutron({{sld(2.07), 0, 3}, {sld(4.0), 400.0, 5}}, 0.0005, 0.2, 120);
    relative(0.3);
    computeReflectivity(*store, 0, false);
    const ResolutionPlan& plan = store->resolutionPlans[0];
    ASSERT_TRUE(plan.valid);
    double a = 3.5;
    double phi = std::exp(-0.5 * a * a) / std::sqrt(2 * PI);
    double mass = std::erf(a / std::sqrt(2.0));
    double variance = 1 - 2 * a * phi / mass;
    for (int i = 0; i < plan.points; ++i) {
        const double* w = plan.weight.data() + plan.firstWeight[i];
        const double* q = plan.nodeQ.data() + plan.firstNode[i];
        double sum = 0, mean = 0, second = 0;
        for (int k = 0; k < plan.nodeSpan[i]; ++k) {
            sum += w[k];
            mean += w[k] * q[k];
        }
        for (int k = 0; k < plan.nodeSpan[i]; ++k) second += w[k] * (q[k] - mean) * (q[k] - mean);
        EXPECT_NEAR(sum, 1.0, 1e-14) << i;
        double c = plan.center[i], s = plan.sigma[i];
        if (c - a * s > 0) {
            EXPECT_NEAR(mean, c, 1e-12 * c) << i;
            EXPECT_NEAR(second, variance * s * s, 1e-9 * s * s) << i;
        } else {
            // Truncated to [0, c + 3.5σ]: lower bound α = -c/σ.
            double alpha = -c / s;
            double pa = std::exp(-0.5 * alpha * alpha) / std::sqrt(2 * PI);
            double z = 0.5 * (std::erf(a / std::sqrt(2.0)) - std::erf(alpha / std::sqrt(2.0)));
            double m = (pa - phi) / z;
            double v = 1 + (alpha * pa - a * phi) / z - m * m;
            EXPECT_NEAR(mean, c + s * m, 1e-11 * c) << i;
            EXPECT_NEAR(second, v * s * s, 1e-9 * s * s) << i;
        }
    }
}

TEST_F(Resolution, NoWidthGivesTheUnsmearedCurve) {
    neutron({{sld(2.07), 0, 3}, {sld(4.0), 300.0, 5}}, 0.005, 0.25, 400);
    computeReflectivity(*store, 0, false);
    std::vector<double> plain(store->dataSet(0).calcLin.begin(),
                              store->dataSet(0).calcLin.begin() + 400);
    // A width of exactly 0 (a column of zeros), then one that tends to 0.
    column(std::vector<double>(400, 0.0));
    computeReflectivity(*store, 0, false);
    for (int i = 0; i < 400; ++i)
        EXPECT_NEAR(store->dataSet(0).calcLin[i], plain[i], 1e-11 * plain[i]) << i;
    relative(1e-9);
    computeReflectivity(*store, 0, false);
    for (int i = 0; i < 400; ++i)
        EXPECT_NEAR(store->dataSet(0).calcLin[i], plain[i], 1e-10 * plain[i]) << i;
}

// The same points as θ, 2θ and q, each with its column in its own units (a 2θ width is twice
// the θ width, σ_q = 4π/λ cosθ σ_θ): the same averaged curve.
TEST_F(Resolution, ThetaTwoThetaAndQFilesGiveTheSameCurve) {
    std::vector<test::TestSlab> stack{{{7.6e-6, 1.75e-7}, 0, 3}, {{2.2e-5, 1e-6}, 250.0, 4}};
    const int n = 200;
    const double lamd = 1.54;
    std::vector<std::vector<double>> curves;
    for (int axis : {0, 1, 2}) {
        store = test::makeStore();
        DataSet& d = store->dataSet(0);
        d.lamd = lamd;
        d.xAxis = axis;
        test::setSlabs(*store, stack);
        std::vector<double> widths;
        for (int i = 0; i < n; ++i) {
            double theta = 0.1 + 2.9 * i / (n - 1);  // degrees
            double sigmaTheta = 0.003 + 0.002 * theta;
            double rad = theta * PI / 180;
            double q = FOUR_PI / lamd * std::sin(rad);
            d.xData[i] = axis == 0 ? theta : axis == 1 ? 2 * theta : q;
            widths.push_back(axis == 0   ? sigmaTheta
                             : axis == 1 ? 2 * sigmaTheta
                                         : FOUR_PI / lamd * std::cos(rad) * sigmaTheta * PI / 180);
        }
        d.npoints = n;
        column(widths);
        computeReflectivity(*store, 0, false);
        curves.emplace_back(d.calcLin.begin(), d.calcLin.begin() + n);
    }
    for (int i = 0; i < n; ++i) {
        EXPECT_NEAR(curves[1][i], curves[0][i], 1e-10 * curves[0][i]) << i;
        EXPECT_NEAR(curves[2][i], curves[0][i], 1e-10 * curves[0][i]) << i;
    }
}

TEST_F(Resolution, RelativeEqualsAColumnOfTheSameFwhm) {
    neutron({{sld(2.07), 0, 3}, {sld(4.0), 500.0, 5}}, 0.008, 0.2, 250);
    relative(0.04);
    computeReflectivity(*store, 0, false);
    std::vector<double> rel(store->dataSet(0).calcLin.begin(),
                            store->dataSet(0).calcLin.begin() + 250);
    store->dataOptions[0].resolution.kind = ResolutionKind::ColumnFwhm;
    // What the reader keeps of a FWHM column: σ = FWHM / (2 sqrt(2 ln 2)).
    for (int i = 0; i < 250; ++i)
        store->pointResolution[0].sigmaX[i] = 0.04 * store->dataSet(0).xData[i] * FWHM_TO_SIGMA;
    store->pointResolution[0].loaded = true;
    computeReflectivity(*store, 0, false);
    for (int i = 0; i < 250; ++i)
        EXPECT_NEAR(store->dataSet(0).calcLin[i], rel[i], 1e-12 * rel[i]) << i;
}

// A resolution scale multiplies every σ: scale 2 on a column is the column doubled.
TEST_F(Resolution, TheScaleMultipliesEveryWidth) {
    neutron({{sld(2.07), 0, 3}, {sld(4.0), 500.0, 5}}, 0.008, 0.2, 150);
    std::vector<double> widths(150, 0.0008);
    column(widths);
    store->dataOptions[0].resolution.scale.value = 2.0;
    computeReflectivity(*store, 0, false);
    std::vector<double> scaled(store->dataSet(0).calcLin.begin(),
                               store->dataSet(0).calcLin.begin() + 150);
    store->dataOptions[0].resolution.scale.value = 1.0;
    column(std::vector<double>(150, 0.0016));
    computeReflectivity(*store, 0, false);
    for (int i = 0; i < 150; ++i)
        EXPECT_NEAR(store->dataSet(0).calcLin[i], scaled[i], 1e-12 * scaled[i]) << i;
}

// ---- The footprint

TEST(Footprint, FractionsAtKnownAngles) {
    FootprintSettings uniform;
    uniform.kind = FootprintKind::Uniform;
    uniform.beam.value = 0.1;
    uniform.sample = 20.0;
    // L sinθ = w/2: half the beam; from L sinθ = w on, all of it.
    EXPECT_DOUBLE_EQ(footprintFraction(uniform, 0.05 / 20.0), 0.5);
    EXPECT_DOUBLE_EQ(footprintFraction(uniform, 0.1 / 20.0), 1.0);
    EXPECT_DOUBLE_EQ(footprintFraction(uniform, 0.3 / 20.0), 1.0);
    FootprintSettings gauss = uniform;
    gauss.kind = FootprintKind::Gaussian;
    // L sinθ = w: the beam's FWHM fits the sample, erf(sqrt(ln 2)) = 0.76096810855...
    EXPECT_NEAR(footprintFraction(gauss, 0.1 / 20.0), 0.760968108550488, 1e-14);
    EXPECT_NEAR(footprintFraction(gauss, 1.0), 1.0, 1e-15);
    EXPECT_EQ(footprintFraction(FootprintSettings{}, 1e-4), 1.0);
}

// The curve and the R/Rf' reference both take the fraction at each point's angle (after the
// offset); with the divergence, at each of its nodes.
TEST_F(Resolution, FootprintMultipliesTheCurveAndTheReference) {
    DataSet& d = store->dataSet(0);
    d.lamd = 1.54;
    d.xAxis = 1;
    d.x0_shift.value = 0.01;
    store->rRfMode = true;
    test::setSlabs(*store, {{{7.6e-6, 1.75e-7}, 0, 3}, {{2.2e-5, 1e-6}, 200.0, 4}});
    test::setGrid(*store, 0.05, 2.0, 100);
    computeCurves(*store, 0, false);
    std::vector<double> calc(d.calcLin.begin(), d.calcLin.begin() + 100);
    std::vector<double> ref(d.rfLin.begin(), d.rfLin.begin() + 100);
    FootprintSettings& fp = store->dataOptions[0].footprint;
    fp.kind = FootprintKind::Gaussian;
    fp.beam.value = 0.1;
    fp.sample = 10.0;
    computeCurves(*store, 0, false);
    for (int i = 0; i < 100; ++i) {
        double sine = std::sin(0.5 * (d.xData[i] - 0.01) * PI / 180);
        double f = test::gaussianBeamFraction(10.0, sine, 0.1);
        EXPECT_NEAR(d.calcLin[i], f * calc[i], 1e-12 * calc[i]) << i;
        EXPECT_NEAR(d.rfLin[i], f * ref[i], 1e-12 * ref[i]) << i;
    }
    // With a divergence, each node's R is scaled before the nodes are averaged.
    d.divergence = 0.02;
    fp.kind = FootprintKind::Uniform;
    computeCurves(*store, 0, false);
    const double offset[4] = {0.5, -0.5, 1.5, -1.5}, weight[4] = {0.357, 0.357, 0.143, 0.143};
    for (int i = 0; i < 100; i += 9) {
        double expected = 0;
        for (int k = 0; k < 4; ++k) {
            double x = d.xData[i] - 0.01 + offset[k] * 0.02 * FWHM_TO_SIGMA;
            double theta = 0.5 * x * PI / 180;
            expected += weight[k] * test::uniformBeamFraction(10.0, std::sin(theta), 0.1) *
                        slabReflectivityPlain(*store, 0, theta);
        }
        EXPECT_NEAR(d.calcLin[i], expected, 1e-9 * expected) << i;
    }
}

// The pointwise path takes the footprint at its nodes: against the definition with f R.
TEST_F(Resolution, FootprintUnderAPointwiseResolution) {
    neutron({{sld(2.07), 0, 3}, {sld(4.0), 300.0, 5}}, 0.002, 0.08, 120);
    relative(0.05);
    FootprintSettings& fp = store->dataOptions[0].footprint;
    fp.kind = FootprintKind::Uniform;
    fp.beam.value = 0.2;
    fp.sample = 10.0;
    Comparison c = compareWithDefinition(*store);
    EXPECT_LT(c.worst, 1e-4) << "point " << c.worstPoint;
}

// ---- Reading the column, the load's messages

class ResolutionFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        test::writeMaterial(dir.file("Si.mf"), 28.0855, 14.28, 0.33, 4.1491, 0.171, 0.0);
        test::writeMaterial(dir.file("Ni.mf"), 58.69, 26.5, 0.5, 10.3, 4.49, 0.0);
    }
    // A nickel film on silicon, θ axis at 1.54 Å, the divergence as given.
    std::string parameterFile(const std::string& dataName, int simFit = 1,
                              const char* divergence = "0.000000") {
        std::string header = test::headerText(simFit, 0, 0, 0, 1.54, dataName, 0.05, 3.0);
        size_t at = header.find(" 0.000000          ; beam divergence");
        header.replace(at + 1, 8, divergence);
        return header + test::blockText("S Si.mf", {2.33, 0.0, 3.0}) +
               test::blockText("S Ni.mf", {8.9, 300.0, 4.0, 0.0, 0, 1});
    }
    Status load(const std::string& data, ResolutionKind kind, int simFit = 1,
                const char* divergence = "0.000000") {
        test::writeText(dir.file("d.dat"), data);
        test::writeText(dir.file("a.par"), parameterFile("d.dat", simFit, divergence));
        store = test::makeStore();
        store->dataOptions[0] = options;
        store->dataOptions[0].resolution.kind = kind;
        return loadParamSlot(*store, dir.file("a.par"));
    }
    DataOptions options;  // what load() sets besides the resolution's kind
    test::TempDir dir;
    std::unique_ptr<ModelStore> store = test::makeStore();
};

TEST_F(ResolutionFiles, TheFourthNumberIsReadAsFwhmOrSigma) {
    std::string data = "0.5 100 1 0.01\n1.0 50 1 0.02\n";
    ASSERT_EQ(load(data, ResolutionKind::ColumnFwhm).message, "--->OK");
    EXPECT_TRUE(store->pointResolution[0].loaded);
    EXPECT_DOUBLE_EQ(store->pointResolution[0].sigmaX[1], 0.02 * FWHM_TO_SIGMA);
    ASSERT_EQ(load(data, ResolutionKind::ColumnSigma).message, "--->OK");
    EXPECT_DOUBLE_EQ(store->pointResolution[0].sigmaX[1], 0.02);
    // Without a column resolution the fourth number is not read.
    ASSERT_EQ(load("0.5 100\n", ResolutionKind::Relative).message, "--->OK");
    EXPECT_FALSE(store->pointResolution[0].loaded);
}

TEST_F(ResolutionFiles, APointWithoutAUsableWidthIsRefusedWithItsLine) {
    std::string where = " (in " + dir.file("d.dat") + ", line 3)";
    Status s = load("0.5 100 1 0.01\n# note\n1.0 50 1\n", ResolutionKind::ColumnSigma);
    EXPECT_EQ(s.outcome, Outcome::FileRefused);
    EXPECT_EQ(s.message, "--->Error, no resolution in column 4" + where);
    s = load("0.5 100 1 0.01\n\n1.0 50 1 -0.01\n", ResolutionKind::ColumnFwhm);
    EXPECT_EQ(s.message, "--->Error, negative resolution" + where);
    EXPECT_THROW(load("0.5 100 1 nan\n", ResolutionKind::ColumnFwhm), NumberError);
}

// With the errors from the data, a point without an error leaves out its width too.
TEST_F(ResolutionFiles, PointsLeftOutKeepTheWidthsInStep) {
    test::writeText(dir.file("d.dat"), "0.5 100 1 0.01\n0.7 80 0 0.05\n1.0 50 1 0.02\n");
    test::writeText(dir.file("a.par"), parameterFile("d.dat"));
    store->dataOptions[0].resolution.kind = ResolutionKind::ColumnSigma;
    store->dataOptions[0].errors = ErrorSource::Data;
    Status s = loadParamSlot(*store, dir.file("a.par"));
    EXPECT_EQ(s.outcome, Outcome::Warning);
    ASSERT_EQ(store->dataSet(0).npoints, 2);
    EXPECT_EQ(store->pointResolution[0].sigmaX[1], 0.02);
}

TEST_F(ResolutionFiles, MessagesOfTheLoad) {
    // A simulated curve has no column to read.
    Status s = load("", ResolutionKind::ColumnSigma, 0);
    EXPECT_EQ(s.outcome, Outcome::Refused);
    EXPECT_EQ(s.message, "--->Error, a resolution column needs a data file");
    // dQ/Q serves a simulated curve.
    s = load("", ResolutionKind::Relative, 0);
    EXPECT_EQ(s.message, "--->OK");
    // A divergence that the resolution replaces is said.
    s = load("0.5 100 1 0.01\n", ResolutionKind::ColumnSigma, 1, "0.010000");
    EXPECT_EQ(s.outcome, Outcome::Warning);
    EXPECT_EQ(s.message, "--->Warning, the resolution replaces the divergence of the parameter file");
    s = load("0.5 100 1 0.01\n", ResolutionKind::Divergence, 1, "0.010000");
    EXPECT_EQ(s.message, "--->OK");
    // A grid beyond its capacity: a 20 µm film under dQ/Q = 20 % on 1999 points.
    std::string data;
    for (int i = 0; i < MAX_DATA - 1; ++i) data += formatText("%.6f 1\n", 0.05 + 2.9 * i / 1998);
    test::writeText(dir.file("d.dat"), data);
    test::writeText(dir.file("a.par"), parameterFile("d.dat").replace(
                                           parameterFile("d.dat").find("300 1 0 1000"), 12,
                                           "2e5 1 0 1e6"));
    store = test::makeStore();
    store->dataOptions[0].resolution.kind = ResolutionKind::Relative;
    store->dataOptions[0].resolution.relativeFwhm = 0.2;
    s = loadParamSlot(*store, dir.file("a.par"));
    EXPECT_EQ(s.message,
              "--->Warning, the resolution grid was made coarser to fit: the curve is less "
              "accurate");
}

// A window that reaches beyond every angle by far ends the action with a message.
TEST_F(Resolution, AWindowBeyondAnyAngleIsRefused) {
    neutron({{sld(2.07), 0, 3}, {sld(4.0), 100.0, 5}}, 0.01, 0.1, 10);
    column(std::vector<double>(10, 1e300));
    EXPECT_THROW(computeReflectivity(*store, 0, false), NumberError);
    try {
        computeReflectivity(*store, 0, false);
    } catch (const NumberError& e) {
        EXPECT_STREQ(e.what(), "The resolution of F1 at x = 0.01 reaches beyond q = 1e+06 1/A");
    }
}

// A grid that its capacity cannot hold is made coarser, said, and still finite.
TEST_F(Resolution, AGridBeyondItsCapacityIsMadeCoarser) {
    neutron({{sld(2.07), 0, 3}, {sld(4.0), 2e5, 5}, {sld(1.0), 2e5, 5}}, 0.005, 0.3, MAX_DATA);
    relative(0.1);
    computeReflectivity(*store, 0, false);
    EXPECT_TRUE(store->resolutionPlans[0].coarsened);
    for (int i = 0; i < MAX_DATA; ++i) EXPECT_TRUE(std::isfinite(store->dataSet(0).calcLog[i]));
}

// ---- Fitting the resolution and the beam

// Data made with a resolution column scaled by 1.25 and counting noise: the fit frees the scale
// (start 1) and finds it within its error.
TEST_F(ResolutionFiles, AFitRecoversTheResolutionScale) {
    const double trueScale = 1.25, flux = 1e7;
    // The true curve: the model's own, at the true scale, without noise.
    std::string data;
    {
        std::string grid;
        for (int i = 0; i < 250; ++i) {
            double theta = 0.08 + 2.4 * i / 249;
            grid += formatText("%.6f 1 1 %.6f\n", theta, 0.002 + 0.002 * theta);
        }
        ASSERT_TRUE(load(grid, ResolutionKind::ColumnSigma).succeeded());
        store->dataOptions[0].resolution.scale.value = trueScale;
        computeCurves(*store, 0, false);
        unsigned seed = 7;
        auto gauss = [&] {
            auto u = [&] {
                seed = seed * 1664525u + 1013904223u;
                return (seed + 0.5) / 4294967296.0;
            };
            return std::sqrt(-2 * std::log(u())) * std::cos(2 * PI * u());
        };
        for (int i = 0; i < 250; ++i) {
            double R = store->dataSet(0).calcLin[i];
            double counts = R * flux, noisy = counts + std::sqrt(counts) * gauss();
            data += formatText("%.8f %.10g %.10g %.8f\n", store->dataSet(0).xData[i],
                               noisy / flux, std::sqrt(counts) / flux,
                               store->pointResolution[0].sigmaX[i]);
        }
    }
    ASSERT_TRUE(load(data, ResolutionKind::ColumnSigma).succeeded());
    store = test::makeStore();
    DataOptions& o = store->dataOptions[0];
    o.resolution.kind = ResolutionKind::ColumnSigma;
    o.resolution.scale = {1.0, 0.5, 2.0, 1, STEP_RESOLUTION_SCALE};
    o.errors = ErrorSource::Data;
    o.steps = StepRule::Relative;
    ASSERT_TRUE(loadParamSlot(*store, dir.file("a.par")).succeeded());
    auto state = std::make_unique<FitState>();
    auto ga = std::make_unique<GeneticState>();
    FitReport r = runFit(*store, *state, *ga, {});
    ASSERT_GT(r.status, 0) << r.statusText;
    // Parameters: the film's thickness, then the resolution scale.
    ASSERT_EQ(state->list.npar, 2);
    EXPECT_EQ(fitParamName(*store, state->list, 1), "F1 resolution");
    double scale = state->list.x[1], error = state->list.xerror[1];
    EXPECT_GT(error, 0.0);
    EXPECT_LT(error, 0.1);
    EXPECT_LT(std::fabs(scale - trueScale), 3 * error) << scale << " +/- " << error;
    EXPECT_NEAR(state->list.x[0], 300.0, 3 * state->list.xerror[0]);
    // The fit's plan is released: the next curve makes its own.
    EXPECT_FALSE(store->resolutionPlans[0].frozen);
}

// A fit with a free offset and a free scale computes the same residuals on one thread and on two
// (the shared two-step path against the whole curve), within the ranges its plan was made for.
TEST_F(ResolutionFiles, ThreadsGiveTheSameResiduals) {
    std::string grid;
    for (int i = 0; i < 1500; ++i) grid += formatText("%.6f 1\n", 0.05 + 2.9 * i / 1499);
    options.resolution.relativeFwhm = 0.05;
    options.resolution.scale = {1.0, 0.5, 2.0, 1, STEP_RESOLUTION_SCALE};
    ASSERT_TRUE(load(grid, ResolutionKind::Relative).succeeded());
    store->dataSet(0).x0_shift = {0.0, -0.01, 0.01, 1, 0.001};
    FitState state;
    // x0_shift, the film's thickness, the scale.
    ASSERT_EQ(collectFitParams(*store, state, FitMethod::LeastSquares), 3);
    collectFitPoints(*store, state);
    FitResolutionPlans plans(*store, state);
    ASSERT_TRUE(store->resolutionPlans[0].frozen);
    double x[3] = {0.007, 310.0, 1.9};
    std::vector<double> one(state.window.m), two(state.window.m);
    state.threads = 2;
    FitWorkers& workers = prepareWorkers(*store, state);
    computeResiduals(*store, state, x, state.window.m, one.data(), nullptr);
    computeResiduals(*store, state, x, state.window.m, two.data(), &workers);
    for (int i = 0; i < state.window.m; ++i) EXPECT_EQ(one[i], two[i]) << i;
    // A worker's copy computes the same on its own.
    computeResiduals(*workers.copies[1], state, x, state.window.m, two.data(), nullptr);
    for (int i = 0; i < state.window.m; ++i) EXPECT_EQ(one[i], two[i]) << i;
}

}  // namespace
}  // namespace tolvi
