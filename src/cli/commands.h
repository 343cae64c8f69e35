#pragma once

#include <string>
#include <vector>

#include "base/status.h"
#include "cli/options.h"
#include "model/model_store.h"

namespace tolvi::cli {

// What a command leaves for main(): how it ended, standard output and standard error (the
// status-line text as its last line). main() derives the exit status from the outcome alone:
// 0 when it succeeded (a warning included; standard output is then printed, or always with
// outputAlways), 1 otherwise.
struct CommandResult {
    Outcome outcome = Outcome::Ok;
    std::string out;
    std::string err;
    bool outputAlways = false;  // batch: its table is printed even when files failed
};

// The exit status of a command that ended with `outcome`.
int exitStatusOf(Outcome outcome);

// The options of every command that loads a model: --template, the fronting medium
// (--ambient DELTA:BETA or --ambient-sld RE[:IM]), the real-data options (--errors, --steps,
// --resolution, --footprint, --fit-resolution, --fit-beam, --dataset) and --save-project FILE.
std::vector<CommandOption> modelOptions();

// Reads the command's parameter file into slot 0 as "Load Param" does, or the template as
// "Template" does with --template, the model options set first; or a project file (recognised by
// its content) with its slots, the options given laid over its settings. Exactly one source must
// be named (UsageError otherwise).
Status loadModel(ModelStore& store, const Arguments& args);

// The model options given into the store, for slots 0 to slots - 1: the fronting medium
// (UsageError for a malformed or refused value, or for both forms at once) and each data option
// that is given, over what the slot holds (the defaults, or a project's settings).
void setModelOptions(ModelStore& store, const Arguments& args, int slots = MAX_SLOTS);

// Whether the command's one file is a project file.
bool isProjectArgument(const Arguments& args);

// --save-project FILE: the workspace as it stands written as a project file (Ok without it).
Status saveProjectOption(ModelStore& store, const Arguments& args);

// --ort FILE (simulate and fit): the workspace as it stands written as an ORSO reflectivity file
// (actions/orso_export.h; Ok without it, the status of the write with it).
Status writeOrsoOption(const ModelStore& store, const Arguments& args);

// --ambient DELTA:BETA or --ambient-sld RE[:IM] into the store (UsageError as above).
void setAmbientOption(ModelStore& store, const Arguments& args);

CommandResult runSimulate(const Arguments& args);
CommandResult runProfile(const Arguments& args);
CommandResult runSlabs(const Arguments& args);

}  // namespace tolvi::cli
