#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/status.h"
#include "fit/fit_params.h"
#include "fit/genetic.h"
#include "fit/lm.h"

namespace tolvi {

// Refusals of the fit actions beside the engine's own statuses.
constexpr int MULTI_FIT_REFUSED = -28;    // fewer than two slots, or tables of different shape
constexpr int POPULATION_REFUSED = -29;   // a genetic population below MIN_POPULATION
constexpr int GENERATIONS_REFUSED = -30;  // more generations than the history holds
constexpr int MIN_POPULATION = 4;         // three donors besides the target

struct FitOptions {
    FitMethod method = FitMethod::LeastSquares;
    bool multi = false;            // "Multi Fit": every loaded slot, shared layer quantities
    int population = 15;           // genetic: NP
    int maxGene = 200;             // genetic: largest number of generations
    std::optional<uint32_t> seed;  // genetic: the seed; by default the tick count modulo 10000
};

// What a fit action shows: the status-line text and the message-log lines.
struct FitReport {
    int status = 0;
    Outcome outcome = Outcome::Ok;   // fitOutcome(status)
    std::string statusText;          // as formatted; a one-line field drops a trailing "\n"
    std::vector<std::string> lines;  // message-log lines, each as formatted (ending in "\n")
    // Least squares: what the report does not say plainly, one "--->Warning" line each (no
    // parameter moved from its start; parameters that end on a bound), naming the parameters.
    std::vector<std::string> warnings;
    int generations = 0;
    bool populationRefused = false;  // more than MAX_POPULATION: no generation ran
    LmResult result;                 // least squares only
};

// "Fit" (one slot) or "Multi Fit" (all loaded slots), after the tables have been taken: checks,
// the chosen method, the report. A negative status leaves no report lines; the model then holds
// the start values again when the engine itself failed. Throws NumberError from the calculation.
FitReport runFit(ModelStore& store, FitState& state, GeneticState& ga, const FitOptions& options);

// How a fit ended, from its status: 1 to 4 and 9 Ok, 5 to 8 Warning (the engine's limits: the
// values are the best found), the refusals of the fit actions Refused, every other negative
// status (the engine's own failures) FitFailed.
Outcome fitOutcome(int status);

// The first check of "Multi Fit", made before the tables are taken: at least two slots.
Status multiFitDataCheck(const ModelStore& store);
// The second, after: every slot's table has the same shape as the first's.
Status multiFitLayerCheck(const ModelStore& store);

// Least-squares and genetic runs: collect parameters and points, fit, write the result into the
// model. runLeastSquares returns the engine status, runGenetic 9 (or the collection's refusal).
int runLeastSquares(ModelStore& store, FitState& state, LmResult& result);
int runGenetic(ModelStore& store, FitState& state, GeneticState& ga, int np, int maxGene,
               uint32_t seed, int& generations);

// "Recov": the values before the last fit back into the model (every loaded slot after a multi
// fit). False, and nothing changed, when no fit since the last load or slot change found
// parameters.
bool recoverFit(ModelStore& store, FitState& state);

// Milliseconds of a steady clock: elapsed times and the default genetic seed.
uint64_t tickCount();

}  // namespace tolvi
