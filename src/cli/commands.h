#pragma once

#include <string>

#include "base/status.h"
#include "cli/options.h"
#include "model/model_store.h"

namespace tolvi::cli {

// What a command leaves for main(): how it ended, standard output and standard error (the
// status-line text as its last line). main() derives the exit status from the outcome alone:
// 0 when it succeeded (a warning included; standard output is then printed), 1 otherwise.
struct CommandResult {
    Outcome outcome = Outcome::Ok;
    std::string out;
    std::string err;
};

// The exit status of a command that ended with `outcome`.
int exitStatusOf(Outcome outcome);

// Reads the command's parameter file into slot 0 as "Load Param" does, or the template as
// "Template" does with --template; --ambient DELTA:BETA is set first. Exactly one of the two
// sources must be named (UsageError otherwise).
Status loadModel(ModelStore& store, const Arguments& args);

// --ambient DELTA:BETA into the store (UsageError for a malformed or refused value).
void setAmbientOption(ModelStore& store, const Arguments& args);

CommandResult runSimulate(const Arguments& args);
CommandResult runProfile(const Arguments& args);
CommandResult runSlabs(const Arguments& args);

}  // namespace tolvi::cli
