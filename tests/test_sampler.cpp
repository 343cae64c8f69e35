// The ensemble sampler and the named results. Oracles: closed forms (a correlated Gaussian, a
// uniform box, the autocorrelation time of an AR(1) series, order statistics), the least-squares
// covariance on a near-linear problem, and the coverage of the 68 % intervals over many noise
// seeds.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "actions/curves.h"
#include "actions/load.h"
#include "base/text_io.h"
#include "fit/ensemble_sampler.h"
#include "fit/fit_results.h"
#include "fit/profile_band.h"
#include "fit/sample_run.h"
#include "model/results_file.h"
#include "physics/profile.h"
#include "test_support.h"

namespace tolvi {
namespace {

// ---- The sampler on closed forms

// A Gaussian of means mu, standard deviations s and correlation r in two dimensions.
struct Gaussian2 {
    double mu[2] = {1.0, -2.0};
    double s[2] = {0.5, 2.0};
    double r = 0.8;
    long calls = 0;
};

void gaussianBatch(int count, int dims, const double* x, double* logProb, void* context) {
    auto& g = *static_cast<Gaussian2*>(context);
    for (int i = 0; i < count; ++i) {
        double a = (x[i * dims] - g.mu[0]) / g.s[0], b = (x[i * dims + 1] - g.mu[1]) / g.s[1];
        logProb[i] = -(a * a - 2 * g.r * a * b + b * b) / (2 * (1 - g.r * g.r));
    }
    g.calls += count;
}

// Mean and standard deviation of parameter p over every kept sample.
void moments(const EnsembleChain& chain, int p, double& mean, double& sd) {
    long n = static_cast<long>(chain.shape.kept()) * chain.shape.walkers;
    double sum = 0.0, sq = 0.0;
    for (long i = 0; i < n; ++i) sum += chain.samples[i * chain.shape.dims + p];
    mean = sum / n;
    for (long i = 0; i < n; ++i) {
        double d = chain.samples[i * chain.shape.dims + p] - mean;
        sq += d * d;
    }
    sd = std::sqrt(sq / n);
}

TEST(EnsembleSampler, DrawsACorrelatedGaussian) {
    Gaussian2 g;
    auto chain = std::make_unique<EnsembleChain>();
    chain->allocate({32, 2, 4000, 500, 1});
    double lower[2] = {-100, -100}, upper[2] = {100, 100}, centre[2] = {0, 0}, width[2] = {1, 1};
    Mt19937 random;
    random.seed(11);
    ASSERT_TRUE(runEnsemble(*chain, lower, upper, centre, width, random, gaussianBatch, &g));
    double mean[2], sd[2];
    for (int p = 0; p < 2; ++p) {
        moments(*chain, p, mean[p], sd[p]);
        EXPECT_NEAR(mean[p], g.mu[p], 0.05 * g.s[p]) << p;
        EXPECT_NEAR(sd[p], g.s[p], 0.05 * g.s[p]) << p;
    }
    long n = static_cast<long>(chain->shape.kept()) * 32;
    double cross = 0.0;
    for (long i = 0; i < n; ++i)
        cross += (chain->samples[2 * i] - mean[0]) * (chain->samples[2 * i + 1] - mean[1]);
    EXPECT_NEAR(cross / n / (sd[0] * sd[1]), g.r, 0.03);
    // The stretch move accepts a fair share of its proposals in two dimensions.
    EXPECT_GT(chain->acceptance(), 0.4);
    EXPECT_LT(chain->acceptance(), 0.9);
    // Every evaluation is counted: the start and one per proposal inside the bounds.
    EXPECT_EQ(chain->evaluations, g.calls);
    EXPECT_EQ(chain->evaluations, 32 + chain->proposals);
}

// A flat density in a box: the samples fill it uniformly; proposals beyond it cost nothing.
void flatBatch(int count, int, const double*, double* logProb, void* context) {
    std::fill(logProb, logProb + count, 0.0);
    *static_cast<long*>(context) += count;
}

TEST(EnsembleSampler, FillsABoxAndNeverCostsAPointOutsideIt) {
    long calls = 0;
    auto chain = std::make_unique<EnsembleChain>();
    chain->allocate({16, 3, 3000, 500, 5});
    double lower[3] = {0, -1, 10}, upper[3] = {1, 1, 10.5}, centre[3] = {0.5, 1, 10},
           width[3] = {0.01, 0.01, 0.01};
    Mt19937 random;
    random.seed(3);
    ASSERT_TRUE(runEnsemble(*chain, lower, upper, centre, width, random, flatBatch, &calls));
    EXPECT_EQ(chain->evaluations, calls);
    EXPECT_LT(chain->evaluations, 16 + chain->proposals) << "some proposals left the box";
    long n = static_cast<long>(chain->shape.kept()) * 16;
    for (long i = 0; i < n * 3; ++i) {
        int p = static_cast<int>(i % 3);
        ASSERT_GE(chain->samples[i], lower[p]);
        ASSERT_LE(chain->samples[i], upper[p]);
    }
    for (int p = 0; p < 3; ++p) {
        double mean, sd, span = upper[p] - lower[p];
        moments(*chain, p, mean, sd);
        EXPECT_NEAR(mean, 0.5 * (lower[p] + upper[p]), 0.05 * span) << p;
        EXPECT_NEAR(sd, span / std::sqrt(12.0), 0.05 * span) << p;
    }
}

// The same seed gives the same chain; the batch is free to cost its points in any order.
void reversedGaussianBatch(int count, int dims, const double* x, double* logProb, void* context) {
    for (int i = count - 1; i >= 0; --i) gaussianBatch(1, dims, x + i * dims, logProb + i, context);
}

TEST(EnsembleSampler, TheSeedFixesTheChain) {
    Gaussian2 g;
    double lower[2] = {-100, -100}, upper[2] = {100, 100}, centre[2] = {0, 0}, width[2] = {1, 1};
    auto run = [&](uint32_t seed, LogProbBatch batch) {
        auto chain = std::make_unique<EnsembleChain>();
        chain->allocate({8, 2, 200, 0, 1});
        Mt19937 random;
        random.seed(seed);
        runEnsemble(*chain, lower, upper, centre, width, random, batch, &g);
        return chain;
    };
    auto a = run(5, gaussianBatch), b = run(5, reversedGaussianBatch), c = run(6, gaussianBatch);
    EXPECT_EQ(a->samples, b->samples);
    EXPECT_EQ(a->sampleLogProb, b->sampleLogProb);
    EXPECT_NE(a->samples, c->samples);
}

// x_t = phi x_{t-1} + e_t has the integrated autocorrelation time (1 + phi) / (1 - phi).
TEST(Autocorrelation, OfAnAutoregressiveSeries) {
    const int walkers = 32, steps = 20000;
    std::vector<double> series(static_cast<size_t>(walkers) * steps);
    std::mt19937_64 engine(42);
    std::normal_distribution<double> normal;
    for (double phi : {0.0, 0.5, 0.9}) {
        for (int w = 0; w < walkers; ++w) {
            double x = normal(engine) / std::sqrt(1 - phi * phi);
            for (int t = 0; t < steps; ++t) {
                x = phi * x + normal(engine);
                series[static_cast<size_t>(t) * walkers + w] = x;
            }
        }
        double expected = (1 + phi) / (1 - phi);
        auto tau = integratedAutocorrelation(series.data(), steps, walkers, 1, 0);
        ASSERT_TRUE(tau.has_value());
        EXPECT_NEAR(*tau, expected, 0.05 * expected) << "phi " << phi;
    }
    // A series that never moves has none.
    std::fill(series.begin(), series.end(), 1.0);
    EXPECT_FALSE(integratedAutocorrelation(series.data(), steps, walkers, 1, 0).has_value());
}

TEST(Quantiles, InterpolateBetweenOrderStatistics) {
    double v[] = {1, 2, 3, 4};
    EXPECT_EQ(sortedQuantile(v, 4, 0.0), 1.0);
    EXPECT_EQ(sortedQuantile(v, 4, 0.25), 1.75);
    EXPECT_EQ(sortedQuantile(v, 4, 0.5), 2.5);
    EXPECT_EQ(sortedQuantile(v, 4, 1.0), 4.0);
    EXPECT_EQ(sortedQuantile(v, 1, 0.3), 1.0);
}

// ---- The sampler on a model

// A nickel film on silicon (X-rays, θ axis, 1.54 Å) with free thickness, roughness and logI0,
// measured at 120 angles with Gaussian errors of a fixed share of each intensity.
class ModelPosterior : public ::testing::Test {
  protected:
    static constexpr double TRUE_T = 300.0, TRUE_SIG = 4.0, TRUE_LOGI0 = 0.0;

    void SetUp() override {
        test::writeMaterial(dir.file("Si.mf"), 28.0855, 14.28, 0.33, 4.1491, 0.171, 0.0);
        test::writeMaterial(dir.file("Ni.mf"), 58.69, 26.5, 0.5, 10.3, 4.49, 0.0);
        std::string grid;
        for (int i = 0; i < POINTS; ++i) grid += formatText("%.6f 1 1\n", theta(i));
        test::writeText(dir.file("d.dat"), grid);
        test::writeText(dir.file("a.par"), parameterFile(TRUE_T, TRUE_SIG, TRUE_LOGI0));
        load();
        for (int i = 0; i < POINTS; ++i) truth[i] = store->dataSet(0).calcLin[i];
        test::writeText(dir.file("a.par"), parameterFile(290.0, 5.0, 0.05));
    }
    static double theta(int i) { return 0.2 + 1.6 * i / (POINTS - 1); }
    std::string parameterFile(double t, double sig, double logI0) const {
        std::string text = test::headerText(1, 0, 0, 0, 1.54, "d.dat", 0.1, 2.0);
        std::string fixedLogI0 = "0.000000e+00    0  -1.000000e+00  1.000000e+00     ; Log(I0)";
        text.replace(text.find(fixedLogI0), fixedLogI0.size(),
                     formatText("%.6e    1  -1.000000e+00  1.000000e+00     ; Log(I0)", logI0));
        return text + test::blockText("S Si.mf", {2.33, 0.0, 3.0}) +
               test::blockText("S Ni.mf", {8.9, t, sig, 0.0, 0, 1, 1});
    }
    void load() {
        store = test::makeStore();
        store->dataOptions[0].errors = ErrorSource::Data;
        store->dataOptions[0].steps = StepRule::Relative;
        ASSERT_TRUE(loadParamSlot(*store, dir.file("a.par")).succeeded());
    }
    // Data of the true curve with noise of the relative size `share`, then loaded afresh.
    void noisyData(uint64_t seed, double share) {
        std::mt19937_64 engine(seed);
        std::normal_distribution<double> normal;
        std::string data;
        for (int i = 0; i < POINTS; ++i) {
            double dy = share * truth[i];
            data += formatText("%.6f %.17g %.17g\n", theta(i), truth[i] + dy * normal(engine), dy);
        }
        test::writeText(dir.file("d.dat"), data);
        load();
    }
    SampleReport sample(SampleOptions options) {
        return runSample(*store, *state, *chain, options);
    }

    static constexpr int POINTS = 120;
    test::TempDir dir;
    std::unique_ptr<ModelStore> store;
    std::unique_ptr<FitState> state = std::make_unique<FitState>();
    std::unique_ptr<EnsembleChain> chain = std::make_unique<EnsembleChain>();
    double truth[POINTS] = {};
};

// On a problem close to linear (small errors) the posterior's standard deviations are the
// least-squares errors.
TEST_F(ModelPosterior, StandardDeviationsAgreeWithTheLeastSquaresErrors) {
    noisyData(1, 0.005);
    auto ga = std::make_unique<GeneticState>();
    FitReport fit = runFit(*store, *state, *ga, {});
    ASSERT_GT(fit.status, 0) << fit.statusText;
    std::array<double, MAX_FIT_PARAMS> lmError = state->list.xerror;
    SampleOptions options;
    options.walkers = 24;
    options.steps = 3000;
    options.burn = 500;
    options.seed = 1;
    SampleReport report = sample(options);
    ASSERT_EQ(report.outcome, Outcome::Ok) << report.statusText;
    ASSERT_EQ(report.results.parameters.size(), 3u);
    for (int p = 0; p < 3; ++p) {
        double mean, sd;
        moments(*chain, p, mean, sd);
        EXPECT_NEAR(sd, lmError[p], 0.1 * lmError[p]) << report.results.parameters[p].name;
        const PosteriorSummary& s = *report.results.parameters[p].posterior;
        EXPECT_NEAR(0.5 * (s.p84_13 - s.p15_87), sd, 0.1 * sd);
        ASSERT_TRUE(s.tau.has_value());
        EXPECT_GT(*s.tau, 1.0);
    }
    // The model holds the most probable sample, about as good as the least-squares minimum.
    EXPECT_EQ(store->layerModel(0).entries[1].t.value, chain->best[1]);
    EXPECT_LT(report.results.chi2, fit.result.bestnorm + 1.0);
    EXPECT_TRUE(report.results.measurementErrors);
    EXPECT_TRUE(report.warnings.empty()) << report.warnings.front();
    // "Recov" goes back to the values before the sample: the fit's result.
    ASSERT_TRUE(recoverFit(*store, *state));
    EXPECT_EQ(store->layerModel(0).entries[1].t.value, state->list.savedX[1]);
}

// Over many noise seeds, the 68 % interval of each parameter contains the truth in about 68 %
// of the repeats: with 120 repeats the count is binomial, 81.9 +/- 5.1; 3 sigma allows 67 to 97.
TEST_F(ModelPosterior, SixtyEightPercentIntervalsCoverTheTruth) {
#ifdef TOLVI_SANITIZED
    GTEST_SKIP() << "too slow under the sanitizers";
#endif
    const int repeats = 120;
    const double truthOf[3] = {TRUE_LOGI0, TRUE_T, TRUE_SIG};
    int covered[3] = {0, 0, 0};
    state->threads = 1;
    for (int r = 0; r < repeats; ++r) {
        noisyData(1000 + r, 0.02);
        SampleOptions options;
        options.walkers = 16;
        options.steps = 700;
        options.burn = 200;
        options.seed = static_cast<uint32_t>(r + 1);
        options.startFromFit = true;
        SampleReport report = sample(options);
        ASSERT_EQ(report.outcome, Outcome::Ok) << report.statusText;
        for (int p = 0; p < 3; ++p) {
            const PosteriorSummary& s = *report.results.parameters[p].posterior;
            if (s.p15_87 <= truthOf[p] && truthOf[p] <= s.p84_13) ++covered[p];
        }
    }
    for (int p = 0; p < 3; ++p) {
        EXPECT_GE(covered[p], 67) << "parameter " << p;
        EXPECT_LE(covered[p], 97) << "parameter " << p;
    }
}

TEST_F(ModelPosterior, OneAndTwoThreadsGiveTheSameChainBitForBit) {
    noisyData(7, 0.02);
    SampleOptions options;
    options.walkers = 12;
    options.steps = 150;
    options.burn = 20;
    options.thin = 3;
    options.seed = 99;
    state->threads = 1;
    ASSERT_EQ(sample(options).outcome, Outcome::Ok);
    std::vector<double> one = chain->samples, oneLogProb = chain->sampleLogProb;
    load();
    state = std::make_unique<FitState>();
    state->threads = 2;
    ASSERT_EQ(sample(options).outcome, Outcome::Ok);
    ASSERT_EQ(one.size(), chain->samples.size());
    EXPECT_EQ(std::memcmp(one.data(), chain->samples.data(), one.size() * sizeof(double)), 0);
    EXPECT_EQ(oneLogProb, chain->sampleLogProb);
}

TEST_F(ModelPosterior, RefusalsChangeNothing) {
    noisyData(7, 0.02);
    auto refused = [&](SampleOptions options, int status, const std::string& text) {
        double t = store->layerModel(0).entries[1].t.value;
        SampleReport report = sample(options);
        EXPECT_EQ(report.status, status);
        EXPECT_EQ(report.outcome, Outcome::Refused);
        EXPECT_EQ(report.statusText, text);
        EXPECT_TRUE(report.lines.empty());
        EXPECT_EQ(store->layerModel(0).entries[1].t.value, t);
    };
    SampleOptions odd;
    odd.walkers = 7;
    refused(odd, WALKERS_REFUSED, "--->Error the walkers must be even, not 7");
    SampleOptions few;
    few.walkers = 4;
    refused(few, WALKERS_REFUSED, "--->Error 4 walkers are too few: at least 6 for 3 parameters");
    SampleOptions burn;
    burn.steps = 100;
    burn.burn = 100;
    refused(burn, CHAIN_REFUSED, "--->Error the burn-in must be shorter than the steps");
    SampleOptions huge;
    huge.walkers = 1000;
    huge.steps = 100000;
    refused(huge, CHAIN_REFUSED,
            "--->Error the chain would keep more than 20000000 numbers: fewer walkers or steps, "
            "or more thinning");
    // Nothing free.
    store->dataSet(0).logI0.fit = 0;
    store->layerModel(0).entries[1].t.fit = 0;
    store->layerModel(0).entries[1].sig.fit = 0;
    refused({}, SAMPLE_NO_PARAM, "--->Error no free parameter to sample");
}

// With the built-in weights, the result says the intervals are not probabilities.
TEST_F(ModelPosterior, BuiltInWeightsAreSaidNotToGiveProbabilities) {
    noisyData(7, 0.02);
    store->dataOptions[0].errors = ErrorSource::Builtin;
    SampleOptions options;
    options.walkers = 8;
    options.steps = 40;
    options.seed = 1;
    SampleReport report = sample(options);
    ASSERT_EQ(report.outcome, Outcome::Ok);
    EXPECT_FALSE(report.results.measurementErrors);
    EXPECT_EQ(report.results.note, BUILTIN_WEIGHTS_NOTE);
    EXPECT_EQ(report.warnings.back(),
              "--->Warning, the weights are the built-in error model, not measurement errors: "
              "the intervals are not probabilities");
    // And a chain this short is said to be too short to trust.
    EXPECT_EQ(report.warnings.front().rfind("--->Warning, the chain is shorter than 50 "
                                            "autocorrelation times",
                                            0),
              0u);
}

// ---- The profile's spread over the posterior

TEST_F(ModelPosterior, TheProfileBandOrdersItsPercentilesAndLeavesTheModel) {
    noisyData(9, 0.02);
    SampleOptions options;
    options.walkers = 12;
    options.steps = 300;
    options.seed = 4;
    options.startFromFit = true;
    ASSERT_EQ(sample(options).outcome, Outcome::Ok);
    int n = computeProfile(*store, 0);
    std::vector<double> z(store->profileZ.begin(), store->profileZ.begin() + n);
    std::vector<double> rho(store->profileRho.begin(), store->profileRho.begin() + n);
    double t = store->layerModel(0).entries[1].t.value;

    auto band = std::make_unique<ProfileBand>();
    profileBand(*store, *state, *chain, false, *band);
    ASSERT_EQ(band->points, BAND_POINTS);
    EXPECT_EQ(band->samples, BAND_SAMPLES);
    double widest = 0.0;
    for (int j = 0; j < band->points; ++j) {
        EXPECT_LE(band->p2_5[j], band->p15_87[j]);
        EXPECT_LE(band->p15_87[j], band->median[j]);
        EXPECT_LE(band->median[j], band->p84_13[j]);
        EXPECT_LE(band->p84_13[j], band->p97_5[j]);
        widest = std::max(widest, band->p97_5[j] - band->p2_5[j]);
    }
    EXPECT_GT(widest, 0.0) << "the samples differ";
    // Deep in the substrate and far above the film every sample agrees: silicon, then nothing.
    EXPECT_NEAR(band->median[0], 2.33, 1e-6);
    EXPECT_NEAR(band->p97_5[0] - band->p2_5[0], 0.0, 1e-9);
    EXPECT_NEAR(band->median[BAND_POINTS - 1], 0.0, 1e-6);
    // The model, its slab stack and its profile are as before.
    EXPECT_EQ(store->layerModel(0).entries[1].t.value, t);
    ASSERT_EQ(store->nprofile, n);
    for (int i = 0; i < n; ++i) {
        ASSERT_EQ(store->profileZ[i], z[i]);
        ASSERT_EQ(store->profileRho[i], rho[i]);
    }
}

// A chain whose samples are all one point: the band is that point's profile.
TEST_F(ModelPosterior, TheBandOfOnePointIsItsProfile) {
    noisyData(9, 0.02);
    ASSERT_EQ(collectFitParams(*store, *state, FitMethod::LeastSquares), 3);
    chain->allocate({4, 3, 3, 0, 1});
    for (size_t i = 0; i < chain->samples.size(); ++i) chain->samples[i] = state->list.x[i % 3];
    int n = computeProfile(*store, 0);
    std::vector<double> z(store->profileZ.begin(), store->profileZ.begin() + n);
    std::vector<double> rho(store->profileRho.begin(), store->profileRho.begin() + n);
    auto band = std::make_unique<ProfileBand>();
    profileBand(*store, *state, *chain, false, *band);
    ASSERT_EQ(band->samples, 12);
    EXPECT_EQ(band->z[0], z[0]);
    EXPECT_DOUBLE_EQ(band->z[BAND_POINTS - 1], z[n - 1]);
    for (int j = 0; j < BAND_POINTS; j += 7) {
        int hi = static_cast<int>(std::upper_bound(z.begin(), z.end(), band->z[j]) - z.begin());
        hi = std::clamp(hi, 1, n - 1);
        double lo = std::min(rho[hi - 1], rho[hi]), up = std::max(rho[hi - 1], rho[hi]);
        EXPECT_GE(band->median[j], lo - 1e-12);
        EXPECT_LE(band->median[j], up + 1e-12);
        EXPECT_EQ(band->p2_5[j], band->p97_5[j]);
    }
}

// ---- Cancel

// A cancel from the progress callback (as the window's Cancel sets it from another thread) stops
// least squares, the genetic search and the sampler at their next evaluation: the model as before
// the run, the status FIT_CANCELLED, no report.
struct CancelAfter {
    FitState* state;
    int evaluations;
};
void cancelAfter(void* context, int evaluations, double) {
    auto& c = *static_cast<CancelAfter*>(context);
    if (evaluations >= c.evaluations) c.state->cancelRequested = true;
}

TEST_F(ModelPosterior, ACancelStopsEveryRunAndLeavesTheModelAsItWas) {
    noisyData(5, 0.02);
    auto values = [&] {
        const LayerModel& m = store->layerModel(0);
        return std::vector<double>{m.entries[1].t.value, m.entries[1].sig.value,
                                   store->dataSet(0).logI0.value, store->dataSet(0).calcLin[7]};
    };
    const std::vector<double> before = values();
    CancelAfter cancel{state.get(), 20};
    state->progress = {cancelAfter, &cancel};
    auto ga = std::make_unique<GeneticState>();
    for (FitMethod method : {FitMethod::LeastSquares, FitMethod::Genetic}) {
        state->cancelRequested = false;
        FitOptions options;
        options.method = method;
        options.seed = 1;
        FitReport r = runFit(*store, *state, *ga, options);
        EXPECT_EQ(r.status, FIT_CANCELLED);
        EXPECT_EQ(r.outcome, Outcome::Cancelled);
        EXPECT_EQ(r.statusText, "--->Fit cancelled");
        EXPECT_TRUE(r.lines.empty());
        EXPECT_EQ(values(), before);
        // Stopped at once: least squares after the batch it was in, the search after the
        // population it was costing.
        EXPECT_LE(state->evaluations, 20 + 15) << static_cast<int>(method);
    }
    state->cancelRequested = false;
    SampleOptions options;
    options.walkers = 8;
    options.steps = 100;
    options.seed = 1;
    SampleReport r = sample(options);
    EXPECT_EQ(r.status, FIT_CANCELLED);
    EXPECT_EQ(r.outcome, Outcome::Cancelled);
    EXPECT_EQ(r.statusText, "--->Sample cancelled");
    EXPECT_TRUE(r.lines.empty());
    EXPECT_EQ(values(), before);
    EXPECT_LE(state->evaluations, 20 + 8);
    // Without a cancel the same runs end as before.
    state->progress = {};
    state->cancelRequested = false;
    EXPECT_GT(runFit(*store, *state, *ga, {}).status, 0);
}

// ---- Named results

TEST_F(ModelPosterior, NamedResultsOfALeastSquaresFit) {
    noisyData(3, 0.02);
    auto ga = std::make_unique<GeneticState>();
    FitReport fit = runFit(*store, *state, *ga, {});
    ASSERT_GT(fit.status, 0);
    NamedResults r = namedFitResults(*store, *state, "lm", fit.status, true);
    ASSERT_EQ(r.parameters.size(), 3u);
    EXPECT_EQ(r.parameters[0].name, "F1 logI0");
    EXPECT_EQ(r.parameters[1].name, "row 2 Ni t");
    EXPECT_EQ(r.parameters[2].name, "row 2 Ni sig");
    EXPECT_EQ(r.parameters[1].value, state->list.x[1]);
    EXPECT_EQ(*r.parameters[1].error, state->list.xerror[1]);
    EXPECT_EQ(r.parameters[1].min, 0.0);
    EXPECT_EQ(r.parameters[1].max, 1000.0);
    EXPECT_EQ(r.points, POINTS);
    EXPECT_EQ(r.dof, POINTS - 3);
    EXPECT_NEAR(r.chi2, fit.result.bestnorm, 1e-9 * fit.result.bestnorm);
    ASSERT_TRUE(r.correlation.has_value());
    const auto& c = *r.correlation;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            ASSERT_TRUE(c[i * 3 + j].has_value());
            EXPECT_NEAR(*c[i * 3 + j], *c[j * 3 + i], 1e-12);
            EXPECT_LE(std::fabs(*c[i * 3 + j]), 1.0 + 1e-12);
        }
    EXPECT_NEAR(*c[0], 1.0, 1e-12);
    // The same in JSON, read back.
    nlohmann::json j = nlohmann::json::parse(resultsJson(r));
    EXPECT_EQ(j["method"], "lm");
    EXPECT_EQ(j["status"], fit.status);
    EXPECT_EQ(j["parameters"][1]["name"], "row 2 Ni t");
    EXPECT_EQ(j["parameters"][1]["value"].get<double>(), state->list.x[1]);
    EXPECT_TRUE(j["parameters"][1]["at_bound"].is_null());
    EXPECT_EQ(j["correlation"][2][1].get<double>(), *c[7]);
    EXPECT_EQ(j["dof"], POINTS - 3);
    EXPECT_TRUE(j["measurement_errors"].get<bool>());
}

TEST(NamedResults, NumbersKeepEveryDigitAndAbsentOnesAreNull) {
    NamedResults r;
    r.method = "ga";
    r.status = 9;
    r.parameters.push_back({"F1 bg", 3.6e-7, std::nullopt, "min", 3.6e-7, 10.0, std::nullopt});
    r.parameters.push_back(
        {"row 2 \"A,B\" t", 0.1 + 0.2, std::nullopt, "", 0.0, 1.0, std::nullopt});
    std::string json = resultsJson(r);
    EXPECT_NE(json.find("3.6e-07"), std::string::npos);
    nlohmann::json j = nlohmann::json::parse(json);
    EXPECT_EQ(j["parameters"][0]["value"].get<double>(), 3.6e-7);
    EXPECT_EQ(j["parameters"][1]["value"].get<double>(), 0.1 + 0.2);
    EXPECT_TRUE(j["parameters"][0]["error"].is_null());
    EXPECT_EQ(j["parameters"][0]["at_bound"], "min");
    EXPECT_TRUE(j["correlation"].is_null());
    EXPECT_EQ(resultsCsv(r),
              "name,value,error,at_bound\n"
              "F1 bg,3.6e-07,,min\n"
              "\"row 2 \"\"A,B\"\" t\",0.30000000000000004,,\n");
}

TEST(NamedResults, FilesByExtensionAndNothingHalfWritten) {
    test::TempDir dir;
    NamedResults r;
    r.method = "lm";
    r.parameters.push_back({"F1 logI0", 6.0, 0.001, "", 5.0, 7.0, std::nullopt});
    EXPECT_TRUE(writeResultsFile(r, dir.file("r.JSON")).succeeded());
    EXPECT_EQ(test::readText(dir.file("r.JSON")), resultsJson(r));
    EXPECT_TRUE(writeResultsFile(r, dir.file("r.csv")).succeeded());
    EXPECT_EQ(test::readText(dir.file("r.csv")), "name,value,error,at_bound\nF1 logI0,6,0.001,\n");
    Status s = writeResultsFile(r, dir.file("r.txt"));
    EXPECT_EQ(s.outcome, Outcome::Refused);
    s = writeResultsFile(r, dir.file("no/such/folder/r.json"));
    EXPECT_EQ(s.outcome, Outcome::WriteFailed);
}

TEST(ChainFile, OneLinePerKeptSampleStepByStep) {
    std::vector<std::string> names{"F1 logI0", "row 2 W t"};
    double samples[] = {1, 2, 3, 4, 5, 6, 7, 8};  // 2 kept steps x 2 walkers x 2
    double logProb[] = {-1, -2, -3, -4.5};
    ChainSamples c{&names, 2, 2, 2, 10, 5, samples, logProb};
    EXPECT_EQ(chainCsv(c),
              "walker,step,log_probability,F1 logI0,row 2 W t\n"
              "1,15,-1,1,2\n"
              "2,15,-2,3,4\n"
              "1,20,-3,5,6\n"
              "2,20,-4.5,7,8\n");
}

}  // namespace
}  // namespace tolvi
