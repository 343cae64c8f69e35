#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "fit/genetic.h"

namespace tolvi {

// The affine-invariant ensemble sampler with the stretch move (Goodman and Weare, Comm. App.
// Math. Comp. Sci. 5, 65 (2010)): walker X_k moves to Y = X_j + z (X_k - X_j), X_j a walker of the
// other half of the ensemble, z drawn from g(z) ~ 1/sqrt(z) on [1/a, a], and is accepted with
// probability min(1, z^(d-1) p(Y) / p(X_k)). The two halves move in turn, each against the other's
// current positions.
constexpr double STRETCH_A = 2.0;

// Log-probabilities of `count` points (count x dims, row by row) into logProb; a point of zero
// probability gets -infinity. The points are independent: a caller may cost them in parallel.
using LogProbBatch = void (*)(int count, int dims, const double* points, double* logProb,
                              void* context);

// Called after every half step with the model evaluations so far and the highest log-probability;
// returning false stops the run after that half step.
using SamplerProgress = bool (*)(void* context, long evaluations, double bestLogProb);

// The shape of a run: walkers (even, at least 2 dims), steps (the burn-in included), the steps
// dropped at the start, and the thinning (every thin-th step after the burn-in is kept).
struct EnsembleShape {
    int walkers = 0;
    int dims = 0;
    int steps = 0;
    int burn = 0;
    int thin = 1;
    int kept() const { return steps > burn && thin > 0 ? (steps - burn) / thin : 0; }
};

// Everything a run needs, sized once by allocate() before the first step: nothing grows while the
// walkers move.
struct EnsembleChain {
    EnsembleShape shape;
    std::vector<double> position;  // walkers x dims: where each walker stands
    std::vector<double> logProb;   // walkers
    std::vector<double> proposal;  // walkers / 2 x dims: one half's proposals
    std::vector<double> proposalLogProb;
    std::vector<double> stretch;  // z of each proposal of the half
    std::vector<double> acceptDraw;
    std::vector<char> inside;    // the proposal lies within the bounds
    std::vector<int> costed;     // indices of the proposals inside, in walker order
    std::vector<double> packed;  // those proposals, packed for the batch
    std::vector<double> packedLogProb;
    std::vector<double> samples;        // kept x walkers x dims
    std::vector<double> sampleLogProb;  // kept x walkers
    std::vector<double> best;           // dims: the sample of highest probability seen
    double bestLogProb = 0.0;
    long proposals = 0;
    long accepted = 0;
    long evaluations = 0;
    int stepsRun = 0;  // steps completed (fewer than shape.steps when the progress stopped it)

    // Sizes every array for `shape`; throws std::bad_alloc when memory is short.
    void allocate(const EnsembleShape& s);
    double acceptance() const { return proposals > 0 ? double(accepted) / double(proposals) : 0.0; }
    // Kept sample k of walker w.
    const double* sample(int k, int w) const {
        return samples.data() + (static_cast<size_t>(k) * shape.walkers + w) * shape.dims;
    }
};

// The start: each walker drawn uniformly, dimension by dimension, from
// [max(lower, centre - width), min(upper, centre + width)], so that the ball has an extent in
// every dimension and lies inside the bounds (lower < upper, width > 0, centre within the bounds).
// Then runs shape.steps steps. In each half step the random numbers of the half's walkers are
// drawn in walker order (z, the partner, the acceptance draw) before the proposals inside the
// bounds are costed in one batch; a proposal outside the bounds is rejected without a cost. The
// same seed gives the same chain whatever the batch function does in parallel. Returns false when
// the progress callback stopped the run.
bool runEnsemble(EnsembleChain& chain, const double* lower, const double* upper,
                 const double* centre, const double* width, Mt19937& random, LogProbBatch batch,
                 void* batchContext, SamplerProgress progress = nullptr,
                 void* progressContext = nullptr);

// The integrated autocorrelation time of parameter `param` of the kept samples (in kept steps):
// the autocorrelation function of each walker's series normalised by its own variance, averaged
// over the walkers that moved, summed as tau(M) = 1 + 2 sum_{t=1..M} rho(t) up to Sokal's window,
// the smallest M with M >= c tau(M) (the last lag when there is none). Absent when no walker's
// series varies. `data` is laid out as EnsembleChain::samples.
std::optional<double> integratedAutocorrelation(const double* data, int steps, int walkers,
                                                int dims, int param, double c = 5.0);

// The p-quantile (0 <= p <= 1) of sorted values by linear interpolation between the order
// statistics at (count - 1) p.
double sortedQuantile(const double* sorted, int count, double p);

}  // namespace tolvi
