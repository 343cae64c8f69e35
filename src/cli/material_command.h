#pragma once

#include <vector>

#include "cli/commands.h"
#include "cli/options.h"

namespace tolvi::cli {

// "material FORMULA [--wavelength L] [--mag M] [-o|--output FILE]": the material file of a
// chemical formula at wavelength L Å (default 1.54) with moment M Bohr magnetons per formula
// unit (default 0), printed on standard output or written to FILE. Standard error ends with the
// status-line message. Exit status 1 for a refused formula or wavelength or a failed write;
// UsageError for wrong usage (a missing or malformed value, a second formula).
CommandResult runMaterial(const Arguments& args);

// The options of "material".
std::vector<CommandOption> materialOptions();

}  // namespace tolvi::cli
