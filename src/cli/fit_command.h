#pragma once

#include <vector>

#include "cli/commands.h"

namespace tolvi::cli {

// tolvi-cli fit PAR [PAR2 ...]: "Fit" of one file, "Multi Fit" of several, or the template.
CommandResult runFitCommand(const Arguments& args);
std::vector<OptionSpec> fitOptions();

// tolvi-cli sample PAR [PAR2 ...]: the posterior of the free parameters by the ensemble sampler.
CommandResult runSampleCommand(const Arguments& args);
std::vector<OptionSpec> sampleOptions();

}  // namespace tolvi::cli
