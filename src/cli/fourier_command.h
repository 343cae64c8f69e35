#pragma once

#include <vector>

#include "cli/commands.h"
#include "cli/options.h"

namespace tolvi::cli {

// "ft DATA|--template [options]": the Fourier page's "Load data" (or "Template data") and "FT",
// with "Save FT" under --save. Standard output is the ".FT" file's content; standard error the
// load's message, then the page's status line after FT, then (--save) the written file's name.
// It succeeds when the load and the transform succeed (a warning included) and the file (if
// asked for) was written; UsageError for wrong usage.
CommandResult runFourier(const Arguments& args);

// The options of "ft".
std::vector<CommandOption> fourierOptions();

}  // namespace tolvi::cli
