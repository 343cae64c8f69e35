#include "cli/fit_command.h"

#include <charconv>
#include <memory>

#include "actions/load.h"
#include "base/text_io.h"
#include "fit/fit_results.h"
#include "fit/fit_runs.h"
#include "fit/sample_run.h"
#include "model/param_file.h"
#include "model/project_file.h"
#include "model/results_file.h"

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

// loadAll for a fit or a sample: the load's warnings, or its failure, into the result; the first
// slot made current. False when the load failed.
bool loadForRun(ModelStore& store, const Arguments& args, CommandResult& result) {
    std::string warnings;
    Status load = loadAll(store, args, warnings);
    result.err = warnings;
    if (!load.succeeded()) {
        result.outcome = load.outcome;
        result.err += load.message + "\n";
        return false;
    }
    store.curfile = 0;
    return true;
}

// --results FILE must name a JSON or CSV file: refused before anything is read.
void checkResultsOption(const Arguments& args) {
    if (args.values.count("results") &&
        resultsFormatOf(args.value("results")) == ResultsFormat::Unknown)
        throw UsageError{"--results needs a file ending in .json or .csv, not \"" +
                         args.value("results") + "\""};
}

// Appends a failed write's message and outcome to the command's result.
void noteWrite(const Status& written, CommandResult& result) {
    if (written.succeeded()) return;
    result.outcome = written.outcome;
    result.err += written.message + "\n";
}

// What a fit or sample leaves besides its report: --results, --ort (a fit's), --save and
// --save-project.
void writeOutputs(ModelStore& store, const Arguments& args, const NamedResults& results,
                  CommandResult& result) {
    if (args.values.count("results"))
        noteWrite(writeResultsFile(results, args.value("results")), result);
    noteWrite(writeOrsoOption(store, args), result);
    if (args.values.count("save"))
        noteWrite(writeParamFile(store, store.curfile, args.value("save")), result);
    noteWrite(saveProjectOption(store, args), result);
}

void appendLines(const std::vector<std::string>& lines, std::string& out) {
    for (const std::string& line : lines) {
        out += line;
        if (line.empty() || line.back() != '\n') out += '\n';
    }
}

}  // namespace

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

FitSettings settingsOf(const FitOptions& options) {
    FitSettings s;
    s.method = options.method == FitMethod::Genetic ? 1 : 0;
    s.population = options.population;
    s.maxGene = options.maxGene;
    s.seeded = options.seed.has_value();
    s.seed = options.seed.value_or(0);
    return s;
}

std::vector<CommandOption> fitOptions() {
    std::vector<CommandOption> options = modelOptions();
    for (CommandOption o : std::initializer_list<CommandOption>{{"method", true},
                                                          {"pop", true},
                                                          {"gens", true},
                                                          {"seed", true},
                                                          {"save", true},
                                                          {"results", true},
                                                          {"ort", true}})
        options.push_back(o);
    return options;
}

std::vector<CommandOption> sampleOptions() {
    std::vector<CommandOption> options = modelOptions();
    for (CommandOption o : std::initializer_list<CommandOption>{{"walkers", true},
                                                          {"length", true},
                                                          {"burn", true},
                                                          {"thin", true},
                                                          {"seed", true},
                                                          {"start", true},
                                                          {"chain", true},
                                                          {"results", true},
                                                          {"save", true}})
        options.push_back(o);
    return options;
}

CommandResult runFitCommand(const Arguments& args) {
    fitOptionsOf(args, FitSettings{});  // wrong usage is refused before anything is read
    checkResultsOption(args);
    auto store = std::make_unique<ModelStore>();
    auto state = std::make_unique<FitState>();
    auto ga = std::make_unique<GeneticState>();

    CommandResult result;
    if (!loadForRun(*store, args, result)) return result;
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
    appendLines(report.lines, result.out);
    bool genetic = options.method == FitMethod::Genetic;
    NamedResults named =
        namedFitResults(*store, *state, genetic ? "ga" : "lm", report.status, !genetic);
    writeOutputs(*store, args, named, result);
    return result;
}

SampleOptions sampleOptionsOf(const Arguments& args) {
    SampleOptions options;
    options.walkers = intOption(args, "walkers", 0);
    options.steps = intOption(args, "length", DEFAULT_STEPS);
    options.burn = intOption(args, "burn", -1);
    options.thin = intOption(args, "thin", 1);
    if (args.values.count("walkers") && options.walkers < 1)
        throw UsageError{"--walkers needs a whole number of 1 or more"};
    if (args.values.count("burn") && options.burn < 0)
        throw UsageError{"--burn needs a whole number of 0 or more"};
    if (args.values.count("seed")) options.seed = seedOption(args);
    std::string start = args.value("start", "current");
    if (start == "fit")
        options.startFromFit = true;
    else if (start != "current")
        throw UsageError{"--start is current or fit, not \"" + start + "\""};
    return options;
}

CommandResult runSampleCommand(const Arguments& args) {
    // Wrong usage is refused before anything is read.
    SampleOptions options = sampleOptionsOf(args);
    checkResultsOption(args);
    auto store = std::make_unique<ModelStore>();
    auto state = std::make_unique<FitState>();
    auto chain = std::make_unique<EnsembleChain>();

    CommandResult result;
    if (!loadForRun(*store, args, result)) return result;
    options.multi = store->nfile > 1;
    SampleReport report = runSample(*store, *state, *chain, options);
    for (const std::string& warning : report.warnings) result.err += warning + "\n";
    result.err += statusLine(report.statusText) + "\n";
    result.outcome = report.outcome;
    if (!succeeded(report.outcome)) return result;
    appendLines(report.lines, result.out);
    if (args.values.count("chain")) {
        std::vector<std::string> names;
        for (const ParameterResult& p : report.results.parameters) names.push_back(p.name);
        const EnsembleShape& shape = chain->shape;
        ChainSamples samples{&names,
                             shape.walkers,
                             shape.dims,
                             shape.kept(),
                             shape.burn,
                             shape.thin,
                             chain->samples.data(),
                             chain->sampleLogProb.data()};
        noteWrite(writeChainFile(samples, args.value("chain")), result);
    }
    writeOutputs(*store, args, report.results, result);
    return result;
}

}  // namespace tolvi::cli
