#include "cli/fit_command.h"

#include <charconv>
#include <memory>

#include "actions/load.h"
#include "base/text_io.h"
#include "fit/fit_runs.h"
#include "model/param_file.h"
#include "model/project_file.h"

namespace tolvi::cli {

namespace {

uint32_t seedOption(const Arguments& args) {
    std::string text = args.value("seed");
    uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() ||
        value > 0xFFFFFFFFull)
        throw UsageError{"--seed needs an integer from 0 to 4294967295, not \"" + text + "\""};
    return static_cast<uint32_t>(value);
}

// The fit's options: those given, otherwise the store's (a project's, or the defaults).
FitOptions fitOptionsOf(const Arguments& args, const FitSettings& saved) {
    FitOptions options;
    std::string method = args.value("method", saved.method == 1 ? "ga" : "lm");
    if (method == "ga")
        options.method = FitMethod::Genetic;
    else if (method != "lm")
        throw UsageError{"--method is lm or ga, not \"" + method + "\""};
    options.population = intOption(args, "pop", saved.population);
    options.maxGene = intOption(args, "gens", saved.maxGene);
    if (args.values.count("seed"))
        options.seed = seedOption(args);
    else if (saved.seeded)
        options.seed = saved.seed;
    return options;
}

// The options a fit ran with, kept for a project file.
FitSettings settingsOf(const FitOptions& options) {
    FitSettings s;
    s.method = options.method == FitMethod::Genetic ? 1 : 0;
    s.population = options.population;
    s.maxGene = options.maxGene;
    s.seeded = options.seed.has_value();
    s.seed = options.seed.value_or(0);
    return s;
}

// Reads the files into slots 0, 1, ... as successive "Load Param" do; stops at the first failure.
// The warnings of the loads that succeeded are collected in `warnings`.
Status loadAll(ModelStore& store, const Arguments& args, std::string& warnings) {
    auto noteWarning = [&](const Status& s) {
        if (s.outcome == Outcome::Warning) warnings += s.message + "\n";
    };
    if (args.flags.count("template") || isProjectArgument(args)) {
        Status s = loadModel(store, args);
        noteWarning(s);
        return s;
    }
    if (args.positional.empty()) throw UsageError{"a parameter file (or --template) is needed"};
    if (args.positional.size() > static_cast<size_t>(MAX_SLOTS))
        throw UsageError{"at most 6 parameter files"};
    for (const std::string& path : args.positional)
        if (isProjectFile(path)) throw UsageError{"a project file comes alone: " + path};
    setModelOptions(store, args);
    Status s = Status::success("--->OK");
    for (const std::string& path : args.positional) {
        s = loadParamSlot(store, path);
        if (!s.succeeded()) return s;
        noteWarning(s);
    }
    return s;
}

}  // namespace

std::vector<OptionSpec> fitOptions() {
    std::vector<OptionSpec> options = modelOptions();
    for (OptionSpec o : std::initializer_list<OptionSpec>{
             {"method", true}, {"pop", true}, {"gens", true}, {"seed", true}, {"save", true}})
        options.push_back(o);
    return options;
}

CommandResult runFitCommand(const Arguments& args) {
    fitOptionsOf(args, FitSettings{});  // wrong usage is refused before anything is read
    auto store = std::make_unique<ModelStore>();
    auto state = std::make_unique<FitState>();
    auto ga = std::make_unique<GeneticState>();

    CommandResult result;
    std::string loadWarnings;
    Status load = loadAll(*store, args, loadWarnings);
    if (!load.succeeded()) {
        result.outcome = load.outcome;
        result.err = loadWarnings + load.message + "\n";
        return result;
    }
    result.err = loadWarnings;
    store->curfile = 0;
    // Several files, or a project of several slots: "Multi Fit".
    FitOptions options = fitOptionsOf(args, store->fitSettings);
    options.multi = store->nfile > 1;
    store->fitSettings = settingsOf(options);
    FitReport report = runFit(*store, *state, *ga, options);
    if (report.populationRefused) result.err += "Error! too many popuration\n";
    for (const std::string& warning : report.warnings) result.err += warning + "\n";
    result.err += statusLine(report.statusText) + "\n";
    result.outcome = report.outcome;
    if (!succeeded(report.outcome)) return result;
    for (const std::string& line : report.lines)
        result.out += line.empty() || line.back() != '\n' ? line + "\n" : line;
    if (args.values.count("save")) {
        Status saved = writeParamFile(*store, store->curfile, args.value("save"));
        if (!saved.succeeded()) {
            result.outcome = saved.outcome;
            result.err += saved.message + "\n";
        }
    }
    Status project = saveProjectOption(*store, args);
    if (!project.succeeded()) {
        result.outcome = project.outcome;
        result.err += project.message + "\n";
    }
    return result;
}

}  // namespace tolvi::cli
