#pragma once

#include <vector>

#include "cli/commands.h"
#include "fit/fit_runs.h"
#include "fit/sample_run.h"

namespace tolvi::cli {

// tolvi-cli fit PAR [PAR2 ...]: "Fit" of one file, "Multi Fit" of several, or the template.
CommandResult runFitCommand(const Arguments& args);
std::vector<CommandOption> fitOptions();

// tolvi-cli sample PAR [PAR2 ...]: the posterior of the free parameters by the ensemble sampler.
CommandResult runSampleCommand(const Arguments& args);
std::vector<CommandOption> sampleOptions();

// The options of a fit (--method, --pop, --gens, --seed): those given, otherwise those of
// `saved` (a project's, or the defaults). UsageError for a value that is not one.
FitOptions fitOptionsOf(const Arguments& args, const FitSettings& saved);
// The settings a fit ran with, kept for a project file.
FitSettings settingsOf(const FitOptions& options);
// The options of a sample (--walkers, --length, --burn, --thin, --seed, --start); UsageError as
// above.
SampleOptions sampleOptionsOf(const Arguments& args);

}  // namespace tolvi::cli
