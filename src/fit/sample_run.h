#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/status.h"
#include "fit/ensemble_sampler.h"
#include "fit/fit_runs.h"
#include "model/results_file.h"

namespace tolvi {

// Refusals of the sampler beside those it shares with the least-squares engine (a start outside
// its bounds, bounds the wrong way round, no data point, fewer points than parameters).
constexpr int SAMPLE_NO_PARAM = -31;  // no free parameter
constexpr int WALKERS_REFUSED =
    -32;                            // an odd number of walkers, or fewer than twice the parameters
constexpr int CHAIN_REFUSED = -33;  // steps, burn-in or thinning out of range, or a chain too big
constexpr long MAX_CHAIN_VALUES = 20'000'000;  // kept numbers (samples and log-probabilities)
constexpr int DEFAULT_MIN_WALKERS = 32;
constexpr int DEFAULT_STEPS = 2000;
constexpr double SHORT_CHAIN_TAUS = 50.0;  // a chain shorter than this many tau is warned about

struct SampleOptions {
    bool multi = false;         // every loaded slot, layers shared (as "Multi Fit")
    int walkers = 0;            // 0: max(32, 4 x parameters)
    int steps = DEFAULT_STEPS;  // the burn-in included
    int burn = -1;              // -1: a quarter of the steps
    int thin = 1;
    std::optional<uint32_t> seed;  // by default the tick count modulo 10000
    bool startFromFit = false;     // a least-squares fit first, the walkers around its result
};

struct SampleReport {
    int status = 0;
    Outcome outcome = Outcome::Ok;
    std::string statusText;
    std::vector<std::string> lines;     // message-log lines, each ending in "\n"
    std::vector<std::string> warnings;  // "--->Warning, ..." each
    NamedResults results;
    FitReport fit;  // the least-squares fit of startFromFit
};

// Samples the posterior of the free parameters of the current slot (every loaded slot with
// options.multi): priors uniform within the bounds, likelihood exp(-chi2 / 2) of the fit's
// residuals. The walkers start in a ball around the current values (or the least-squares result),
// each dimension's half-width that value's least-squares error, at least a thousandth of its
// range. Afterwards the model holds the sample of highest probability, state.list.xerror half the
// central 68 % interval, and "Recov" goes back to the values before. `chain` keeps the samples.
// Throws NumberError from the calculation.
SampleReport runSample(ModelStore& store, FitState& state, EnsembleChain& chain,
                       const SampleOptions& options);

}  // namespace tolvi
