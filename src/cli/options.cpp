#include "cli/options.h"

#include "base/status.h"
#include "base/text_io.h"

namespace tolvi::cli {

Arguments parseArguments(int argc, char** argv, int first, const std::vector<CommandOption>& options) {
    Arguments args;
    for (int i = first; i < argc; ++i) {
        std::string word = argv[i];
        const CommandOption* option = nullptr;
        for (const CommandOption& s : options)
            if (word == std::string("--") + s.name ||
                (s.shortName && word == std::string("-") + s.shortName))
                option = &s;
        if (!option && (word.size() < 2 || word.compare(0, 2, "--") != 0)) {
            args.positional.push_back(word);
            continue;
        }
        if (!option) throw UsageError{"unknown option " + word};
        std::string name = option->name;
        if (args.has(name)) throw UsageError{"option " + word + " given twice"};
        if (!option->takesValue) {
            args.flags.insert(name);
        } else {
            if (i + 1 >= argc) throw UsageError{"option " + word + " needs a value"};
            args.values[name] = argv[++i];
        }
    }
    return args;
}

double realOption(const Arguments& args, const std::string& name, double fallback) {
    if (!args.values.count(name)) return fallback;
    try {
        return parseReal(args.value(name));
    } catch (const NumberError&) {
        throw UsageError{"--" + name + " needs a number, not \"" + args.value(name) + "\""};
    }
}

int intOption(const Arguments& args, const std::string& name, int fallback) {
    if (!args.values.count(name)) return fallback;
    try {
        return parseInt(args.value(name));
    } catch (const NumberError&) {
        throw UsageError{"--" + name + " needs an integer, not \"" + args.value(name) + "\""};
    }
}

void pairOption(const Arguments& args, const std::string& name, double& a, double& b) {
    std::string text = args.value(name);
    try {
        parseRealPair(text, {}, false, a, b);
    } catch (const NumberError&) {
        throw UsageError{"--" + name + " needs two numbers A:B, not \"" + text + "\""};
    }
}

void sldOption(const Arguments& args, const std::string& name, double& re, double& im) {
    std::string text = args.value(name);
    re = im = 0.0;
    try {
        parseRealPair(text, {}, true, re, im);
    } catch (const NumberError&) {
        throw UsageError{"--" + name + " needs RE or RE:IM (1e-6/A^2), not \"" + text + "\""};
    }
}

}  // namespace tolvi::cli
