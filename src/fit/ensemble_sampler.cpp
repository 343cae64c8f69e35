#include "fit/ensemble_sampler.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tolvi {

void EnsembleChain::allocate(const EnsembleShape& s) {
    shape = s;
    size_t walkers = static_cast<size_t>(s.walkers);
    size_t dims = static_cast<size_t>(s.dims);
    size_t half = walkers / 2;
    position.assign(walkers * dims, 0.0);
    logProb.assign(walkers, 0.0);
    proposal.assign(half * dims, 0.0);
    proposalLogProb.assign(half, 0.0);
    stretch.assign(half, 0.0);
    acceptDraw.assign(half, 0.0);
    inside.assign(half, 0);
    costed.assign(half, 0);
    packed.assign(half * dims, 0.0);
    packedLogProb.assign(half, 0.0);
    samples.assign(static_cast<size_t>(s.kept()) * walkers * dims, 0.0);
    sampleLogProb.assign(static_cast<size_t>(s.kept()) * walkers, 0.0);
    best.assign(dims, 0.0);
    bestLogProb = -std::numeric_limits<double>::infinity();
    proposals = accepted = evaluations = 0;
    stepsRun = 0;
}

namespace {

// The log-probabilities of the chain's packed points through the batch, counted.
void costPacked(EnsembleChain& chain, int count, LogProbBatch batch, void* context) {
    if (count == 0) return;
    batch(count, chain.shape.dims, chain.packed.data(), chain.packedLogProb.data(), context);
    chain.evaluations += count;
}

void noteBest(EnsembleChain& chain, const double* x, double logProb) {
    if (logProb > chain.bestLogProb) {
        chain.bestLogProb = logProb;
        std::copy_n(x, chain.shape.dims, chain.best.begin());
    }
}

// Moves the walkers [first, first + half) against the walkers of the other half.
void halfStep(EnsembleChain& chain, int first, const double* lower, const double* upper,
              Mt19937& random, LogProbBatch batch, void* context) {
    const int dims = chain.shape.dims;
    const int half = chain.shape.walkers / 2;
    const int other = first == 0 ? half : 0;
    int count = 0;
    for (int i = 0; i < half; ++i) {
        double u = random.uniform();
        double root = (STRETCH_A - 1.0) * u + 1.0;
        double z = root * root / STRETCH_A;
        int partner = other + std::min(static_cast<int>(random.uniform() * half), half - 1);
        chain.stretch[i] = z;
        chain.acceptDraw[i] = random.uniform();
        const double* xk = &chain.position[static_cast<size_t>(first + i) * dims];
        const double* xj = &chain.position[static_cast<size_t>(partner) * dims];
        double* y = &chain.proposal[static_cast<size_t>(i) * dims];
        bool inside = true;
        for (int p = 0; p < dims; ++p) {
            y[p] = xj[p] + z * (xk[p] - xj[p]);
            if (!(y[p] >= lower[p] && y[p] <= upper[p])) inside = false;
        }
        chain.inside[i] = inside;
        if (inside) {
            std::copy_n(y, dims, &chain.packed[static_cast<size_t>(count) * dims]);
            chain.costed[count++] = i;
        }
    }
    costPacked(chain, count, batch, context);
    for (int c = 0; c < count; ++c) chain.proposalLogProb[chain.costed[c]] = chain.packedLogProb[c];

    chain.proposals += half;
    for (int i = 0; i < half; ++i) {
        if (!chain.inside[i]) continue;
        int k = first + i;
        double logRatio =
            (dims - 1) * std::log(chain.stretch[i]) + chain.proposalLogProb[i] - chain.logProb[k];
        if (!(std::log(chain.acceptDraw[i]) < logRatio)) continue;
        ++chain.accepted;
        const double* y = &chain.proposal[static_cast<size_t>(i) * dims];
        std::copy_n(y, dims, &chain.position[static_cast<size_t>(k) * dims]);
        chain.logProb[k] = chain.proposalLogProb[i];
        noteBest(chain, y, chain.logProb[k]);
    }
}

}  // namespace

bool runEnsemble(EnsembleChain& chain, const double* lower, const double* upper,
                 const double* centre, const double* width, Mt19937& random, LogProbBatch batch,
                 void* batchContext, SamplerProgress progress, void* progressContext) {
    const EnsembleShape& s = chain.shape;
    const int dims = s.dims;
    for (int w = 0; w < s.walkers; ++w)
        for (int p = 0; p < dims; ++p) {
            double lo = std::max(lower[p], centre[p] - width[p]);
            double hi = std::min(upper[p], centre[p] + width[p]);
            double x = lo + random.uniform() * (hi - lo);
            chain.position[static_cast<size_t>(w) * dims + p] = std::clamp(x, lo, hi);
        }
    // The start costed half by half (the packed arrays hold half the walkers).
    const int half = s.walkers / 2;
    for (int first = 0; first < s.walkers; first += half) {
        std::copy_n(&chain.position[static_cast<size_t>(first) * dims],
                    static_cast<size_t>(half) * dims, chain.packed.begin());
        costPacked(chain, half, batch, batchContext);
        for (int i = 0; i < half; ++i) {
            chain.logProb[first + i] = chain.packedLogProb[i];
            noteBest(chain, &chain.position[static_cast<size_t>(first + i) * dims],
                     chain.packedLogProb[i]);
        }
    }

    int kept = 0;
    for (int step = 1; step <= s.steps; ++step) {
        for (int first : {0, half}) {
            halfStep(chain, first, lower, upper, random, batch, batchContext);
            if (progress && !progress(progressContext, chain.evaluations, chain.bestLogProb))
                return false;
        }
        chain.stepsRun = step;
        if (step > s.burn && (step - s.burn) % s.thin == 0 && kept < s.kept()) {
            std::copy(chain.position.begin(), chain.position.end(),
                      chain.samples.begin() + static_cast<ptrdiff_t>(kept) * s.walkers * dims);
            std::copy(chain.logProb.begin(), chain.logProb.end(),
                      chain.sampleLogProb.begin() + static_cast<ptrdiff_t>(kept) * s.walkers);
            ++kept;
        }
    }
    return true;
}

std::optional<double> integratedAutocorrelation(const double* data, int steps, int walkers,
                                                int dims, int param, double c) {
    if (steps < 2 || walkers < 1) return std::nullopt;
    auto value = [&](int t, int w) {
        return data[(static_cast<size_t>(t) * walkers + w) * dims + param];
    };
    std::vector<double> mean(walkers, 0.0), variance(walkers, 0.0);
    int moving = 0;
    for (int w = 0; w < walkers; ++w) {
        double sum = 0.0;
        for (int t = 0; t < steps; ++t) sum += value(t, w);
        mean[w] = sum / steps;
        double sq = 0.0;
        for (int t = 0; t < steps; ++t) sq += (value(t, w) - mean[w]) * (value(t, w) - mean[w]);
        variance[w] = sq / steps;
        if (variance[w] > 0.0) ++moving;
    }
    if (moving == 0) return std::nullopt;
    double tau = 1.0;
    for (int lag = 1; lag < steps; ++lag) {
        double rho = 0.0;
        for (int w = 0; w < walkers; ++w) {
            if (!(variance[w] > 0.0)) continue;
            double sum = 0.0;
            for (int t = 0; t + lag < steps; ++t)
                sum += (value(t, w) - mean[w]) * (value(t + lag, w) - mean[w]);
            rho += sum / steps / variance[w];
        }
        tau += 2.0 * rho / moving;
        if (lag >= c * tau) break;
    }
    return tau;
}

double sortedQuantile(const double* sorted, int count, double p) {
    if (count <= 0) return 0.0;
    double h = (count - 1) * std::clamp(p, 0.0, 1.0);
    int below = static_cast<int>(std::floor(h));
    if (below >= count - 1) return sorted[count - 1];
    double frac = h - below;
    return sorted[below] + frac * (sorted[below + 1] - sorted[below]);
}

}  // namespace tolvi
