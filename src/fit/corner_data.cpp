#include "fit/corner_data.h"

#include <algorithm>
#include <cmath>

namespace tolvi {

namespace {

static_assert(MAX_CORNER_BINS <= 256, "bin indices are kept in bytes");

// The bin of v in [lo, hi] split into `bins`: the largest value falls on the edge one past the
// last bin and is counted in the last; the clamp also keeps a value that rounds just outside.
int binOf(double v, double lo, double hi, int bins) {
    int b = static_cast<int>((v - lo) / (hi - lo) * bins);
    return std::clamp(b, 0, bins - 1);
}

// The range of one parameter over the used samples, widened when they are all equal.
void setRange(Marginal& m, const double* samples, const std::vector<long>& used, int dims, int p) {
    m.lo = m.hi = samples[used[0] * dims + p];
    for (long row : used) {
        double v = samples[row * dims + p];
        m.lo = std::min(m.lo, v);
        m.hi = std::max(m.hi, v);
    }
    if (m.hi > m.lo) return;
    double half = FLAT_HALF_WIDTH * std::max(std::fabs(m.lo), 1.0);
    double v = m.lo;
    m.lo = v - half;
    m.hi = v + half;
}

}  // namespace

CornerData cornerData(const double* samples, long count, int dims, int bins) {
    CornerData data;
    if (dims <= 0 || count <= 0 || samples == nullptr) return data;
    bins = std::clamp(bins, 1, MAX_CORNER_BINS);

    // The samples whose values are all finite.
    std::vector<long> used;
    used.reserve(static_cast<size_t>(count));
    for (long row = 0; row < count; ++row) {
        const double* x = samples + row * dims;
        if (std::all_of(x, x + dims, [](double v) { return std::isfinite(v); }))
            used.push_back(row);
    }
    const long n = static_cast<long>(used.size());
    data.skipped = count - n;
    if (n == 0) return data;
    data.dims = dims;
    data.bins = bins;
    data.samples = n;

    // Each parameter's range, quantiles and histogram; each sample's bin is kept for the pairs.
    data.marginals.resize(static_cast<size_t>(dims));
    std::vector<unsigned char> binIndex(static_cast<size_t>(n) * dims);
    std::vector<double> column(static_cast<size_t>(n));
    for (int p = 0; p < dims; ++p) {
        Marginal& m = data.marginals[p];
        setRange(m, samples, used, dims, p);
        m.counts.assign(static_cast<size_t>(bins), 0);
        for (long k = 0; k < n; ++k) {
            double v = samples[used[k] * dims + p];
            column[k] = v;
            int b = binOf(v, m.lo, m.hi, bins);
            binIndex[static_cast<size_t>(k) * dims + p] = static_cast<unsigned char>(b);
            ++m.counts[b];
        }
        // The quantiles as the sampler's report has them (and so the same numbers).
        std::sort(column.begin(), column.end());
        const int sorted = static_cast<int>(n);
        m.median = sortedQuantile(column.data(), sorted, 0.5);
        m.p15_87 = sortedQuantile(column.data(), sorted, 0.1587);
        m.p84_13 = sortedQuantile(column.data(), sorted, 0.8413);
    }

    // The pairs below the diagonal.
    const long cells = static_cast<long>(bins) * bins;
    data.pairs.assign(static_cast<size_t>(CornerData::pairIndex(dims, 0) * cells), 0);
    for (int i = 1; i < dims; ++i)
        for (int j = 0; j < i; ++j) {
            long* counts = data.pairs.data() + CornerData::pairIndex(i, j) * cells;
            for (long k = 0; k < n; ++k) {
                const unsigned char* b = &binIndex[static_cast<size_t>(k) * dims];
                ++counts[static_cast<long>(b[i]) * bins + b[j]];
            }
        }
    return data;
}

CornerData cornerData(const EnsembleChain& chain, int bins) {
    const EnsembleShape& s = chain.shape;
    // The kept steps the run reached: a run stopped by its progress callback has not written the
    // rest, which still hold the zeros of allocate().
    long keptSteps = 0;
    if (s.thin > 0 && chain.stepsRun > s.burn)
        keptSteps = std::min<long>(s.kept(), (chain.stepsRun - s.burn) / s.thin);
    const long count = keptSteps * s.walkers;
    if (static_cast<size_t>(count) * std::max(s.dims, 0) > chain.samples.size()) return {};
    return cornerData(chain.samples.data(), count, s.dims, bins);
}

}  // namespace tolvi
