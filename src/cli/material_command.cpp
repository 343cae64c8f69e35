#include "cli/material_command.h"

#include <string>

#include "base/text_io.h"
#include "physics/material_calc.h"

namespace tolvi::cli {

namespace {

// The wavelength of the template and of the window's start-up fields: Cu K-alpha, rounded.
constexpr double DEFAULT_WAVELENGTH = 1.54;

}  // namespace

std::vector<OptionSpec> materialOptions() {
    return {{"wavelength", true}, {"mag", true}, {"output", true, "o"}};
}

CommandResult runMaterial(const Arguments& args) {
    // No formula starts with "-": such a word is a mistyped option.
    for (const std::string& word : args.positional)
        if (!word.empty() && word[0] == '-') throw UsageError{"unknown option " + word};
    if (args.positional.size() != 1)
        throw UsageError{args.positional.empty() ? "a formula is needed" : "one formula expected"};
    const std::string& formula = args.positional[0];
    double wavelength = realOption(args, "wavelength", DEFAULT_WAVELENGTH);
    double mag = realOption(args, "mag", 0.0);
    bool toFile = args.values.count("output") > 0;
    std::string path = args.value("output");
    if (toFile && path.empty()) throw UsageError{"-o needs a file name"};

    CommandResult result;
    MaterialResult material = calculateMaterial(formula, wavelength, mag);
    result.outcome = material.status.outcome;
    result.err = material.status.message + "\n";
    if (!material.status.succeeded()) return result;
    std::string text = materialFileText(formula, material.values);
    if (!toFile) {
        result.out = text;
        return result;
    }
    Status written = writeFileSafely(path, text);
    result.err = written.message + "\n";
    result.outcome = written.outcome;
    return result;
}

}  // namespace tolvi::cli
