#include "cli/material_command.h"

#include <string>

#include "base/text_io.h"
#include "model/model_store.h"
#include "physics/material_calc.h"

namespace tolvi::cli {

namespace {

// The wavelength of the template and of the window's start-up fields: Cu K-alpha, rounded.
constexpr double DEFAULT_WAVELENGTH = 1.54;

}  // namespace

std::vector<CommandOption> materialOptions() {
    return {{"wavelength", true},
            {"mag", true},
            {"output", true, "o"},
            {"sld", true},
            {"delta-beta", true}};
}

namespace {

// --sld RE[:IM] (1e-6/Å²) or --delta-beta D:B at the wavelength: the medium a file should give.
Medium mediumOption(const Arguments& args, double wavelength, std::string& description) {
    if (args.values.count("sld")) {
        double re = 0.0, im = 0.0;
        sldOption(args, "sld", re, im);
        description = formatText("SLD %.15g%+.15gi (1e-6/A^2)", re, im);
        return mediumOfSld(re, im, wavelength);
    }
    double delta = 0.0, beta = 0.0;
    pairOption(args, "delta-beta", delta, beta);
    description = formatText("delta %.15g, beta %.15g", delta, beta);
    return {delta, beta};
}

}  // namespace

CommandResult runMaterial(const Arguments& args) {
    bool medium = args.values.count("sld") > 0 || args.values.count("delta-beta") > 0;
    if (args.values.count("sld") && args.values.count("delta-beta"))
        throw UsageError{"give --sld or --delta-beta, not both"};
    // No formula starts with "-": such a word is a mistyped option.
    for (const std::string& word : args.positional)
        if (!word.empty() && word[0] == '-') throw UsageError{"unknown option " + word};
    if (medium && !args.positional.empty())
        throw UsageError{"give a formula or --sld/--delta-beta, not both"};
    if (!medium && args.positional.size() != 1)
        throw UsageError{args.positional.empty() ? "a formula is needed" : "one formula expected"};
    double wavelength = realOption(args, "wavelength", DEFAULT_WAVELENGTH);
    double mag = realOption(args, "mag", 0.0);
    if (medium && args.values.count("mag"))
        throw UsageError{"--mag does not go with --sld or --delta-beta"};
    bool toFile = args.values.count("output") > 0;
    std::string path = args.value("output");
    if (toFile && path.empty()) throw UsageError{"-o needs a file name"};

    CommandResult result;
    std::string text;
    if (medium) {
        std::string description;
        Medium wanted = mediumOption(args, wavelength, description);
        MaterialResult material = materialOfMedium(wanted, wavelength);
        result.outcome = material.status.outcome;
        result.err = material.status.message + "\n";
        if (!material.status.succeeded()) return result;
        text = mediumFileText(material.values, description);
    } else {
        const std::string& formula = args.positional[0];
        MaterialResult material = calculateMaterial(formula, wavelength, mag);
        result.outcome = material.status.outcome;
        result.err = material.status.message + "\n";
        if (!material.status.succeeded()) return result;
        text = materialFileText(formula, material.values);
    }
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
