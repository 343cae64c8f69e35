#pragma once

#include <vector>

#include "fit/ensemble_sampler.h"

namespace tolvi {

constexpr int DEFAULT_CORNER_BINS = 30;  // bins of a histogram's range
// At most this many bins: the 2-D histograms of twelve parameters then take 66 x 100 x 100
// counts, and a bin index fits in a byte.
constexpr int MAX_CORNER_BINS = 100;
// A parameter whose samples are all equal to v is histogrammed over v -/+ this fraction of
// max(|v|, 1): a range of nonzero width, narrow enough to read as one value, wide enough that
// its ends print with a few digits.
constexpr double FLAT_HALF_WIDTH = 1e-3;

// One parameter's posterior: the histogram of its samples over [lo, hi] in equal bins, and its
// median and 68 % central interval (the quantiles the sampler's report gives).
struct Marginal {
    double lo = 0.0;  // the smallest sample (less for a constant parameter)
    double hi = 0.0;  // the largest sample (more for a constant parameter)
    double median = 0.0;
    double p15_87 = 0.0;
    double p84_13 = 0.0;
    std::vector<long> counts;  // bins; bin b holds lo + b w <= v < lo + (b + 1) w, hi in the last
};

// What a corner plot of a posterior draws: each parameter's histogram, and for each pair i > j
// the 2-D histogram of (parameter j, parameter i) over the same bins as their own histograms.
struct CornerData {
    int dims = 0;  // 0: nothing to draw
    int bins = 0;
    long samples = 0;                 // samples counted (every parameter of each is finite)
    long skipped = 0;                 // samples left out because one of their values is not finite
    std::vector<Marginal> marginals;  // dims
    // The pairs one after the other, pair (i, j) at pairIndex(i, j), each bins x bins with the
    // count of samples in bin a of parameter i and bin b of parameter j at a * bins + b.
    std::vector<long> pairs;

    static long pairIndex(int i, int j) { return static_cast<long>(i) * (i - 1) / 2 + j; }
    // The 2-D histogram of parameters i > j (0 <= j < i < dims), row a for parameter i's bin.
    const long* pairCounts(int i, int j) const {
        return pairs.data() + pairIndex(i, j) * bins * bins;
    }
    long pairCount(int i, int j, int binI, int binJ) const {
        return pairCounts(i, j)[static_cast<long>(binI) * bins + binJ];
    }
};

// The corner data of `count` samples of `dims` parameters, row by row (count x dims), in `bins`
// equal bins (clamped to 1..MAX_CORNER_BINS). A sample with a value that is not finite (a chain
// never stores one; this is a guard) is left out of every histogram and quantile and counted in
// `skipped`, so that the 2-D histograms' sums over a row or column are the 1-D histograms. With
// no sample left, or no parameter, the result has dims 0.
CornerData cornerData(const double* samples, long count, int dims, int bins = DEFAULT_CORNER_BINS);

// The same of the chain's kept samples, all walkers and all kept steps the run completed (a run
// stopped early has filled only those).
CornerData cornerData(const EnsembleChain& chain, int bins = DEFAULT_CORNER_BINS);

}  // namespace tolvi
