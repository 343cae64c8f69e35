// The corner data of a posterior. Oracles: a small chain whose bins and quantiles are worked out by
// hand, the 2-D histograms summed over a row or a column against the 1-D ones, and the moments of
// the histograms of a sampled Gaussian against its closed form.
#include <cmath>
#include <limits>
#include <memory>
#include <numeric>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "fit/corner_data.h"
#include "fit/ensemble_sampler.h"

namespace tolvi {
namespace {

// A chain of `walkers` walkers and `dims` parameters holding `values` (kept x walkers x dims) as
// its kept samples, the run complete.
std::unique_ptr<EnsembleChain> handMadeChain(int walkers, int dims,
                                             const std::vector<double>& values) {
    auto chain = std::make_unique<EnsembleChain>();
    int kept = static_cast<int>(values.size()) / (walkers * dims);
    chain->allocate({walkers, dims, kept, 0, 1});
    chain->samples = values;
    chain->stepsRun = kept;
    return chain;
}

// Three kept steps of two walkers. Parameter 0 over [-1, 9] in 5 bins has the edges -1, 1, 3, 5,
// 7, 9; parameter 1 over [10, 60] the edges 10, 20, 30, 40, 50, 60. Parameter 2 never changes.
// No value lies on an inner edge, so rounding cannot move one.
const std::vector<double> SMALL_CHAIN = {
    0.5, 27, 5, -1,  10, 5,  // step 0: walkers 0 and 1
    9,   60, 5, 1.5, 48, 5,  // step 1
    2.5, 15, 5, 3.5, 33, 5,  // step 2
};

TEST(CornerData, CountsEachValueInItsBinAndTheLargestInTheLast) {
    auto chain = handMadeChain(2, 3, SMALL_CHAIN);
    CornerData data = cornerData(*chain, 5);
    ASSERT_EQ(data.dims, 3);
    EXPECT_EQ(data.bins, 5);
    EXPECT_EQ(data.samples, 6);
    EXPECT_EQ(data.skipped, 0);
    const Marginal& a = data.marginals[0];
    EXPECT_EQ(a.lo, -1.0);
    EXPECT_EQ(a.hi, 9.0);
    // -1 and 0.5 | 1.5 and 2.5 | 3.5 | none | 9, the maximum, on the upper edge.
    EXPECT_EQ(a.counts, (std::vector<long>{2, 2, 1, 0, 1}));
    const Marginal& b = data.marginals[1];
    EXPECT_EQ(b.lo, 10.0);
    EXPECT_EQ(b.hi, 60.0);
    // 10 and 15 | 27 | 33 | 48 | 60.
    EXPECT_EQ(b.counts, (std::vector<long>{2, 1, 1, 1, 1}));
    for (const Marginal& m : data.marginals)
        EXPECT_EQ(std::accumulate(m.counts.begin(), m.counts.end(), 0L), 6);
}

TEST(CornerData, PairsCountEachSampleInTheCellOfItsTwoBins) {
    auto chain = handMadeChain(2, 3, SMALL_CHAIN);
    CornerData data = cornerData(*chain, 5);
    ASSERT_EQ(data.dims, 3);
    ASSERT_EQ(data.pairs.size(), 3u * 5 * 5);
    // (bin of parameter 1, bin of parameter 0) of each sample, from the edges above.
    long expected[5][5] = {};
    expected[1][0] = 1;  // (0.5, 27)
    expected[0][0] = 1;  // (-1, 10)
    expected[4][4] = 1;  // (9, 60)
    expected[3][1] = 1;  // (1.5, 48)
    expected[0][1] = 1;  // (2.5, 15)
    expected[2][2] = 1;  // (3.5, 33)
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 5; ++c) EXPECT_EQ(data.pairCount(1, 0, r, c), expected[r][c]) << r << c;
    // Parameter 2 sits in one bin, so its pairs are the other parameter's histogram in one row.
    int flatBin = 0;
    while (data.marginals[2].counts[flatBin] == 0) ++flatBin;
    for (int c = 0; c < 5; ++c) {
        EXPECT_EQ(data.pairCount(2, 0, flatBin, c), data.marginals[0].counts[c]);
        EXPECT_EQ(data.pairCount(2, 1, flatBin, c), data.marginals[1].counts[c]);
    }
}

TEST(CornerData, MedianAndCentralIntervalInterpolateTheOrderStatistics) {
    auto chain = handMadeChain(2, 3, SMALL_CHAIN);
    CornerData data = cornerData(*chain, 5);
    ASSERT_EQ(data.dims, 3);
    // Parameter 0 sorted: -1, 0.5, 1.5, 2.5, 3.5, 9; quantile p at position 5 p.
    const Marginal& a = data.marginals[0];
    EXPECT_DOUBLE_EQ(a.median, 2.0);                   // halfway from 1.5 to 2.5
    EXPECT_NEAR(a.p15_87, -1 + 0.7935 * 1.5, 1e-12);   // 0.7935 of the way from -1 to 0.5
    EXPECT_NEAR(a.p84_13, 3.5 + 0.2065 * 5.5, 1e-12);  // 0.2065 of the way from 3.5 to 9
    // Parameter 1 sorted: 10, 15, 27, 33, 48, 60.
    const Marginal& b = data.marginals[1];
    EXPECT_DOUBLE_EQ(b.median, 30.0);
    EXPECT_NEAR(b.p15_87, 10 + 0.7935 * 5, 1e-12);
    EXPECT_NEAR(b.p84_13, 48 + 0.2065 * 12, 1e-12);
}

TEST(CornerData, ConstantParameterGetsANarrowRangeAroundItsValue) {
    auto chain = handMadeChain(2, 3, SMALL_CHAIN);
    CornerData data = cornerData(*chain, 5);
    ASSERT_EQ(data.dims, 3);
    const Marginal& c = data.marginals[2];
    EXPECT_NEAR(c.lo, 5.0 - 5.0 * FLAT_HALF_WIDTH, 1e-12);
    EXPECT_NEAR(c.hi, 5.0 + 5.0 * FLAT_HALF_WIDTH, 1e-12);
    EXPECT_LT(c.lo, c.hi);
    EXPECT_EQ(c.median, 5.0);
    EXPECT_EQ(c.p15_87, 5.0);
    EXPECT_EQ(c.p84_13, 5.0);
    // All six in the middle bin, where the value lies.
    EXPECT_EQ(c.counts, (std::vector<long>{0, 0, 6, 0, 0}));
    // Near zero the width is that of 1.
    std::vector<double> zeros(4, 0.0);
    CornerData z = cornerData(zeros.data(), 4, 1, 5);
    ASSERT_EQ(z.dims, 1);
    EXPECT_NEAR(z.marginals[0].hi - z.marginals[0].lo, 2 * FLAT_HALF_WIDTH, 1e-15);
}

TEST(CornerData, NothingToDrawWithoutSamplesOrParameters) {
    // No kept step: every step is burn-in.
    auto burnt = std::make_unique<EnsembleChain>();
    burnt->allocate({4, 2, 10, 10, 1});
    burnt->stepsRun = 10;
    CornerData data = cornerData(*burnt);
    EXPECT_EQ(data.dims, 0);
    EXPECT_EQ(data.samples, 0);
    EXPECT_TRUE(data.marginals.empty());
    EXPECT_TRUE(data.pairs.empty());
    // A chain never run, no parameter, no sample.
    EXPECT_EQ(cornerData(EnsembleChain{}).dims, 0);
    double x[2] = {1, 2};
    EXPECT_EQ(cornerData(x, 2, 0).dims, 0);
    EXPECT_EQ(cornerData(x, 0, 2).dims, 0);
}

TEST(CornerData, RunStoppedEarlyCountsOnlyTheStepsItKept) {
    auto chain = handMadeChain(2, 3, SMALL_CHAIN);
    chain->stepsRun = 2;  // the third kept step was never written
    CornerData data = cornerData(*chain, 5);
    ASSERT_EQ(data.dims, 3);
    EXPECT_EQ(data.samples, 4);
    EXPECT_EQ(data.marginals[0].hi, 9.0);
    EXPECT_EQ(data.marginals[1].lo, 10.0);
    EXPECT_EQ(data.marginals[1].hi, 60.0);
}

TEST(CornerData, SampleWithANonFiniteValueIsLeftOut) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> values = {1, 2, nan, 3, 4, 5, 6, -inf, 7, 8};
    CornerData data = cornerData(values.data(), 5, 2, 4);
    ASSERT_EQ(data.dims, 2);
    EXPECT_EQ(data.samples, 3);
    EXPECT_EQ(data.skipped, 2);
    // Rows (1, 2), (4, 5) and (7, 8) only: parameter 0 over [1, 7].
    EXPECT_EQ(data.marginals[0].lo, 1.0);
    EXPECT_EQ(data.marginals[0].hi, 7.0);
    EXPECT_EQ(data.marginals[1].lo, 2.0);
    EXPECT_EQ(data.marginals[1].hi, 8.0);
    EXPECT_EQ(data.marginals[0].median, 4.0);
    for (const Marginal& m : data.marginals)
        for (long c : m.counts) EXPECT_GE(c, 0);
    // Nothing left at all.
    double allNan[2] = {nan, nan};
    CornerData none = cornerData(allNan, 1, 2);
    EXPECT_EQ(none.dims, 0);
    EXPECT_EQ(none.skipped, 1);
}

TEST(CornerData, BinsAreClampedToTheirRange) {
    auto chain = handMadeChain(2, 3, SMALL_CHAIN);
    CornerData one = cornerData(*chain, 0);
    ASSERT_EQ(one.bins, 1);
    EXPECT_EQ(one.marginals[0].counts, std::vector<long>{6});
    EXPECT_EQ(one.pairCount(2, 1, 0, 0), 6);
    EXPECT_EQ(cornerData(*chain, 100000).bins, MAX_CORNER_BINS);
}

// Sums of the 2-D histogram of (i, j) over its rows and its columns.
void expectPairMarginals(const CornerData& data, int i, int j) {
    const int n = data.bins;
    for (int a = 0; a < n; ++a) {
        long rowSum = 0, columnSum = 0;
        for (int b = 0; b < n; ++b) {
            rowSum += data.pairCount(i, j, a, b);
            columnSum += data.pairCount(i, j, b, a);
        }
        EXPECT_EQ(rowSum, data.marginals[i].counts[a]) << i << "," << j << " bin " << a;
        EXPECT_EQ(columnSum, data.marginals[j].counts[a]) << i << "," << j << " bin " << a;
    }
}

TEST(CornerData, PairsSumToTheHistogramsOfTheirParameters) {
    // Four parameters of different scales, with a non-finite sample among them.
    const int dims = 4;
    const long count = 5000;
    std::mt19937 random(7);
    std::normal_distribution<double> normal;
    std::vector<double> values(static_cast<size_t>(count) * dims);
    const double scale[dims] = {1.0, 1e-3, 250.0, 3.0};
    for (long k = 0; k < count; ++k) {
        double shared = normal(random);
        for (int p = 0; p < dims; ++p)
            values[k * dims + p] = scale[p] * (0.6 * shared + 0.8 * normal(random));
    }
    values[17 * dims + 2] = std::numeric_limits<double>::quiet_NaN();
    CornerData data = cornerData(values.data(), count, dims, 17);
    ASSERT_EQ(data.dims, dims);
    EXPECT_EQ(data.samples, count - 1);
    for (int i = 1; i < dims; ++i)
        for (int j = 0; j < i; ++j) {
            long total = 0;
            for (int c = 0; c < data.bins * data.bins; ++c) total += data.pairCounts(i, j)[c];
            EXPECT_EQ(total, data.samples);
            expectPairMarginals(data, i, j);
        }
}

// ---- A chain of the sampler

// A Gaussian in two dimensions of means mu, standard deviations s and correlation r.
struct Gaussian2 {
    double mu[2] = {-3.0, 40.0};
    double s[2] = {0.2, 5.0};
    double r = -0.6;
};

void gaussianLogProb(int count, int dims, const double* x, double* logProb, void* context) {
    const auto& g = *static_cast<const Gaussian2*>(context);
    for (int i = 0; i < count; ++i) {
        double a = (x[i * dims] - g.mu[0]) / g.s[0], b = (x[i * dims + 1] - g.mu[1]) / g.s[1];
        logProb[i] = -(a * a - 2 * g.r * a * b + b * b) / (2 * (1 - g.r * g.r));
    }
}

// The centre of bin b of a marginal.
double binCentre(const Marginal& m, int bins, int b) {
    return m.lo + (b + 0.5) * (m.hi - m.lo) / bins;
}

TEST(CornerData, HistogramsOfASampledGaussianHaveItsMomentsAndCorrelation) {
    Gaussian2 g;
    auto chain = std::make_unique<EnsembleChain>();
    chain->allocate({32, 2, 1500, 300, 1});
    double lower[2] = {-100, -100}, upper[2] = {100, 100}, centre[2] = {-3, 40}, width[2] = {1, 1};
    Mt19937 random;
    random.seed(5);
    ASSERT_TRUE(runEnsemble(*chain, lower, upper, centre, width, random, gaussianLogProb, &g));
    CornerData data = cornerData(*chain, 40);
    ASSERT_EQ(data.dims, 2);
    ASSERT_EQ(data.samples, 1200L * 32);
    const double n = static_cast<double>(data.samples);
    double mean[2], sd[2];
    for (int p = 0; p < 2; ++p) {
        const Marginal& m = data.marginals[p];
        double sum = 0.0, sq = 0.0;
        for (int b = 0; b < data.bins; ++b) sum += m.counts[b] * binCentre(m, data.bins, b);
        mean[p] = sum / n;
        for (int b = 0; b < data.bins; ++b)
            sq += m.counts[b] * std::pow(binCentre(m, data.bins, b) - mean[p], 2);
        sd[p] = std::sqrt(sq / n);
        EXPECT_NEAR(mean[p], g.mu[p], 0.1 * g.s[p]) << p;
        EXPECT_NEAR(sd[p], g.s[p], 0.1 * g.s[p]) << p;
        // The median and the 68 % interval of a Gaussian: mu and mu -/+ s.
        EXPECT_NEAR(m.median, g.mu[p], 0.1 * g.s[p]) << p;
        EXPECT_NEAR(m.p15_87, g.mu[p] - g.s[p], 0.15 * g.s[p]) << p;
        EXPECT_NEAR(m.p84_13, g.mu[p] + g.s[p], 0.15 * g.s[p]) << p;
        // The range reaches a few standard deviations out on either side.
        EXPECT_LT(m.lo, g.mu[p] - 3 * g.s[p]) << p;
        EXPECT_GT(m.hi, g.mu[p] + 3 * g.s[p]) << p;
    }
    // The correlation read from the 2-D histogram's cells.
    double cross = 0.0;
    for (int a = 0; a < data.bins; ++a)
        for (int b = 0; b < data.bins; ++b)
            cross += data.pairCount(1, 0, a, b) *
                     (binCentre(data.marginals[1], data.bins, a) - mean[1]) *
                     (binCentre(data.marginals[0], data.bins, b) - mean[0]);
    EXPECT_NEAR(cross / n / (sd[0] * sd[1]), g.r, 0.08);
    expectPairMarginals(data, 1, 0);
}

}  // namespace
}  // namespace tolvi
