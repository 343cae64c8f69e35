#pragma once

#include <string>

#include "cli/options.h"
#include "model/model_store.h"
#include "model/status.h"

namespace tolvi::cli {

// What a command leaves for main(): the exit status, standard output (printed only when the
// status is 0) and standard error (the status-line text as its last line).
struct Outcome {
    int exitStatus = 0;
    std::string out;
    std::string err;
};

// A load ended well when its status-line text is "--->OK" or a warning.
bool loadSucceeded(const std::string& message);

// Reads the command's parameter file into slot 0 as "Load Param" does, or the template as
// "Template" does with --template; --ambient DELTA:BETA is set first. Exactly one of the two
// sources must be named (UsageError otherwise).
Status loadModel(ModelStore& store, const Arguments& args);

// --ambient DELTA:BETA into the store (UsageError for a malformed or refused value).
void setAmbientOption(ModelStore& store, const Arguments& args);

Outcome runSimulate(const Arguments& args);
Outcome runProfile(const Arguments& args);
Outcome runSlabs(const Arguments& args);

}  // namespace tolvi::cli
