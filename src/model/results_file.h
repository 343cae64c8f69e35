#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/status.h"

namespace tolvi {

// What the posterior says of one parameter: the median, the central 68.27 % and 95 % intervals
// (percentiles 15.87/84.13 and 2.5/97.5 of every kept sample), the parameter's value in the sample
// of highest probability, and its integrated autocorrelation time in steps (absent when no walker
// moved after the burn-in).
struct PosteriorSummary {
    double median = 0.0;
    double p15_87 = 0.0;
    double p84_13 = 0.0;
    double p2_5 = 0.0;
    double p97_5 = 0.0;
    double maxProbability = 0.0;
    std::optional<double> tau;
};

// One fitted parameter under its name ("F1 logI0", "row 2 W t", ...).
struct ParameterResult {
    std::string name;
    double value = 0.0;
    std::optional<double> error;  // absent where the method gives none (the genetic search)
    std::string atBound;          // "", "min" or "max": the value sits exactly on that bound
    double min = 0.0;
    double max = 0.0;
    std::optional<PosteriorSummary> posterior;  // the sampler's only
};

// The run of the ensemble sampler behind a posterior.
struct SamplerRunInfo {
    int walkers = 0;
    int steps = 0;  // every step, the burn-in included
    int burn = 0;
    int thin = 1;
    long samples = 0;      // kept: walkers times kept steps
    long evaluations = 0;  // model evaluations (proposals outside the bounds cost none)
    double acceptance = 0.0;
    unsigned long seed = 0;
    bool chainTooShort = false;  // shorter than 50 autocorrelation times after the burn-in
};

// The named results of a fit or of a posterior: what `--results` writes as JSON or CSV. No
// member holds a NaN or an infinity (a correlation that is not defined is absent).
struct NamedResults {
    std::string method;  // "lm", "ga" or "sample"
    int status = 0;      // the engine's status code (1 to 9 for a fit that ended; 0 for a sample)
    std::vector<ParameterResult> parameters;
    // Row-major, in the order of `parameters`; absent for the genetic search.
    std::optional<std::vector<std::optional<double>>> correlation;
    double chi2 = 0.0;  // the sum of squared residuals at the values reported (in double)
    int dof = 0;        // points minus free parameters
    int points = 0;
    // Whether the residuals are measurement errors (1-sigma errors from the data); with the
    // built-in error model the errors and intervals are not probabilities, and `note` says so.
    bool measurementErrors = false;
    std::string note;
    std::optional<SamplerRunInfo> sampler;
};

// The file kinds of `--results`, by the name's extension (.json or .csv, any case).
enum class ResultsFormat { Json, Csv, Unknown };
ResultsFormat resultsFormatOf(const std::string& path);

// The JSON text: keys parameters, correlation, chi2, dof, points, method, status (and
// measurement_errors, note, sampler); numbers in shortest round-trip form.
std::string resultsJson(const NamedResults& results);
// The CSV text: a header line, then one line per parameter: name, value, error, at_bound (and,
// for a posterior, median, p15_87, p84_13, p2_5, p97_5, max_probability, tau); an absent number
// is an empty field.
std::string resultsCsv(const NamedResults& results);

// Writes the results as the extension of `path` says, safely (an old file stays untouched on
// failure: WriteFailed with the reason). An unknown extension is Refused.
Status writeResultsFile(const NamedResults& results, const std::string& path);

// The kept samples of an ensemble run: `kept` steps of `walkers` walkers of `dims` numbers
// (samples[(k walkers + w) dims + p]) and their log-probabilities (logProb[k walkers + w]); kept
// step k is step burn + (k + 1) thin of the run.
struct ChainSamples {
    const std::vector<std::string>* names = nullptr;  // dims parameter names
    int walkers = 0;
    int dims = 0;
    int kept = 0;
    int burn = 0;
    int thin = 1;
    const double* samples = nullptr;
    const double* logProb = nullptr;
};

// The chain file, CSV: a header (walker, step, log_probability, each name), then one line per
// kept sample, step by step and within a step walker by walker (walkers and steps from 1).
std::string chainCsv(const ChainSamples& chain);
// chainCsv written safely (WriteFailed with the reason when it cannot be).
Status writeChainFile(const ChainSamples& chain, const std::string& path);

// A number in its shortest round-trip form ("3.6e-07", "15.009492", "2").
std::string shortestText(double value);
// A CSV field: as it stands, or quoted (inner quotes doubled) when it holds a comma, a quote or a
// line end.
std::string csvField(const std::string& text);

}  // namespace tolvi
