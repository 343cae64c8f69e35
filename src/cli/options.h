#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace tolvi::cli {

// One option of a command: "--name value" (two words) or a flag "--name"; with a shortName
// also "-x" for the same option (only words that a command names so are options: every other
// word of one dash stays an argument).
struct CommandOption {
    const char* name;
    bool takesValue;
    const char* shortName = nullptr;
};

struct Arguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    std::set<std::string> flags;

    bool has(const std::string& name) const { return values.count(name) || flags.count(name); }
    std::string value(const std::string& name, const std::string& fallback = {}) const {
        auto it = values.find(name);
        return it == values.end() ? fallback : it->second;
    }
};

// Wrong usage: the one-line message of exit status 2.
struct UsageError {
    std::string message;
};

// Splits argv[first..] into positional words and the options of `options` (before or after the
// positional words). Throws UsageError for an unknown option or a missing value.
Arguments parseArguments(int argc, char** argv, int first, const std::vector<CommandOption>& options);

// "--name" values converted, each refusal a UsageError naming the option.
double realOption(const Arguments& args, const std::string& name, double fallback);
int intOption(const Arguments& args, const std::string& name, int fallback);
// "A:B" as two reals.
void pairOption(const Arguments& args, const std::string& name, double& a, double& b);
// "RE" or "RE:IM" (an SLD, the imaginary part 0 when absent).
void sldOption(const Arguments& args, const std::string& name, double& re, double& im);

}  // namespace tolvi::cli
