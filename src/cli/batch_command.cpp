#include "cli/batch_command.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

#include "actions/load.h"
#include "base/text_io.h"
#include "cli/batch_progress.h"
#include "cli/batch_table.h"
#include "cli/fit_command.h"
#include "fit/fit_results.h"
#include "fit/fit_runs.h"

namespace tolvi::cli {

namespace {

// The largest --jobs, as for TOLVI_THREADS: more threads than that is a typing error.
constexpr int MAX_JOBS = 256;

// What the command line asks for, after its usage checks.
struct BatchPlan {
    Arguments modelArgs;             // the arguments as "fit" would take them, MODEL alone
    std::vector<std::string> files;  // DATA as given
    std::string results;             // --results, empty for standard output
    bool chain = false;
    int jobs = 1;
    int shard = 1;  // --shard K/N: the files of index K, K + N, ...
    int shards = 1;
};

// --shard K/N, 1 <= K <= N.
void shardOption(const Arguments& args, BatchPlan& plan) {
    if (!args.values.count("shard")) return;
    std::string text = args.value("shard");
    size_t slash = text.find('/');
    try {
        if (slash == std::string::npos) throw NumberError("");
        plan.shard = parseInt(text.substr(0, slash));
        plan.shards = parseInt(text.substr(slash + 1));
    } catch (const NumberError&) {
        throw UsageError{"--shard needs K/N (the K-th of N shards), not \"" + text + "\""};
    }
    if (plan.shards < 1 || plan.shard < 1 || plan.shard > plan.shards)
        throw UsageError{"--shard K/N needs 1 <= K <= N, not \"" + text + "\""};
}

BatchPlan planOf(const Arguments& args) {
    BatchPlan plan;
    plan.modelArgs = args;
    plan.files = args.positional;
    if (!args.flags.count("template")) {
        if (plan.files.size() < 2)
            throw UsageError{"batch needs a parameter file (or --template) and data files"};
        plan.modelArgs.positional = {plan.files.front()};
        plan.files.erase(plan.files.begin());
    } else {
        plan.modelArgs.positional.clear();
        if (plan.files.empty()) throw UsageError{"batch needs data files"};
    }
    for (const std::string& file : plan.files)
        if (file.find_first_of("\r\n") != std::string::npos)
            throw UsageError{"a data file's name must not hold a line end"};
    if (args.values.count("results")) {
        plan.results = args.value("results");
        if (resultsFormatOf(plan.results) != ResultsFormat::Csv)
            throw UsageError{"--results needs a file ending in .csv, not \"" + plan.results + "\""};
    }
    plan.chain = args.flags.count("chain") > 0;
    shardOption(args, plan);
    if (plan.chain && plan.shards > 1)
        throw UsageError{
            "--chain goes from each file to the next: it does not go with --shard "
            "K/N for N above 1"};
    unsigned cores = std::thread::hardware_concurrency();
    int fallback = plan.chain ? 1 : static_cast<int>(std::clamp(cores, 1u, unsigned(MAX_JOBS)));
    plan.jobs = intOption(args, "jobs", fallback);
    if (plan.jobs < 1 || plan.jobs > MAX_JOBS)
        throw UsageError{formatText("--jobs needs a whole number from 1 to %d", MAX_JOBS)};
    if (plan.chain && plan.jobs > 1)
        throw UsageError{"--chain fits the files one after another: --jobs must be 1"};
    return plan;
}

// The names of the model's free parameters, in the order of a fit's results.
std::vector<std::string> parameterNames(const ModelStore& model, FitMethod method) {
    auto probe = std::make_unique<ModelStore>(model);
    auto state = std::make_unique<FitState>();
    std::vector<std::string> names;
    int npar = collectFitParams(*probe, *state, method);
    for (int k = 0; k < npar; ++k) names.push_back(fitParamName(*probe, state->list, k));
    return names;
}

// The values of a chain's start: one per name, absent where the row gave none.
using NamedValues = std::vector<std::optional<double>>;

NamedValues valuesOf(const NamedResults& results, const std::vector<std::string>& names) {
    NamedValues values(names.size());
    for (size_t j = 0; j < names.size(); ++j)
        for (const ParameterResult& p : results.parameters)
            if (p.name == names[j]) values[j] = p.value;
    return values;
}

// The model with the values written in: the start of a chain's next fit. A parameter without a
// value keeps the model's.
void writeNamedValues(ModelStore& store, FitMethod method, const std::vector<std::string>& names,
                      const NamedValues& values) {
    auto state = std::make_unique<FitState>();
    int npar = collectFitParams(store, *state, method);
    for (int k = 0; k < npar; ++k) {
        std::string name = fitParamName(store, state->list, k);
        for (size_t j = 0; j < names.size(); ++j)
            if (names[j] == name && values[j]) state->list.x[k] = *values[j];
    }
    if (npar > 0) writeFitParams(store, *state, state->list.x.data());
    store.nfitParam = 0;  // nothing for "Recov": no fit ran on this copy
}

// The fit's status text without the date and time the engine's texts carry, so that a table
// depends on its inputs alone; the refusals of the fit actions carry none.
std::string undatedStatus(const FitReport& report) {
    bool refusal = report.status == TOO_MANY_FIT_PARAMS || report.status == MULTI_FIT_REFUSED ||
                   report.status == POPULATION_REFUSED || report.status == GENERATIONS_REFUSED;
    std::string text = refusal ? report.statusText : lmStatusText(report.status, "");
    while (!text.empty() && (text.back() == ' ' || text.back() == '\n')) text.pop_back();
    return text;
}

// A table cell holds one line: the message's line ends become blanks.
std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text;
}

// What one thread of the run works with; the store is over a megabyte, so all of it is on the
// heap.
struct Worker {
    std::unique_ptr<ModelStore> store = std::make_unique<ModelStore>();
    std::unique_ptr<FitState> state = std::make_unique<FitState>();
    std::unique_ptr<GeneticState> ga = std::make_unique<GeneticState>();
};

// What every fit of the run shares.
struct FitSetup {
    FitOptions options;
    bool keepDataSet = false;  // --dataset given: it stands for every file
    int fitThreads = 0;        // FitState::threads (0: the default)
};

// The steps of fitFile; exceptions go to it.
void fitFileSteps(const ModelStore& start, const FitSetup& setup, Worker& w, BatchResult& r) {
    // As the window takes a data file dropped on the slot.
    ModelStore& store = *w.store;
    store = start;
    const int slot = store.curfile;
    store.dataSet(slot).dataPath = r.file;
    store.layerModel(slot).simFit = 1;
    if (!setup.keepDataSet) store.dataOptions[slot].dataSet = 0;
    Status read = readDataAndCurves(store, slot);
    if (!read.succeeded()) {
        r.message = read.message;
        return;
    }
    store.nfitParam = 0;
    w.state->threads = setup.fitThreads;
    FitReport report = runFit(store, *w.state, *w.ga, setup.options);
    r.message = undatedStatus(report);
    if (report.populationRefused) {
        r.message = "Error! too many popuration";
        return;
    }
    if (!succeeded(report.outcome)) return;
    bool genetic = setup.options.method == FitMethod::Genetic;
    r.results = namedFitResults(store, *w.state, genetic ? "ga" : "lm", report.status, !genetic);
    bool warned = report.outcome == Outcome::Warning || read.outcome == Outcome::Warning ||
                  !report.warnings.empty();
    if (read.outcome == Outcome::Warning) r.message += "; " + read.message;
    for (const std::string& warning : report.warnings) r.message += "; " + warning;
    r.status = warned ? RowStatus::Warning : RowStatus::Ok;
}

// Fits the data file at `position` from the model `start` on the worker's store. Every failure,
// an exception included, is the file's row: the other files go on.
BatchResult fitFile(const ModelStore& start, const FitSetup& setup, int position,
                    const std::string& file, Worker& w) {
    BatchResult r;
    r.position = position;
    r.file = file;
    try {
        fitFileSteps(start, setup, w, r);
    } catch (const std::bad_alloc&) {
        r.message = "out of memory";
    } catch (const std::exception& e) {
        r.message = e.what();
    } catch (...) {
        r.message = "an unknown error ended the fit";
    }
    if (r.status == RowStatus::Failed) r.results.reset();
    r.message = oneLine(r.message);
    return r;
}

// The files in `todo` (positions) fitted by `jobs` threads, this one among them, each taking the
// next file when its fit ends.
void fitSpread(const ModelStore& model, const FitSetup& setup, const BatchPlan& plan,
               const std::vector<int>& todo, int jobs, RowSink& sink) {
    std::vector<Worker> workers(static_cast<size_t>(jobs));
    std::atomic<size_t> next{0};
    std::exception_ptr escaped;
    std::mutex escapedMutex;
    auto work = [&](Worker& w) {
        try {
            for (size_t i; (i = next++) < todo.size();)
                sink.finished(fitFile(model, setup, todo[i], plan.files[todo[i]], w));
        } catch (...) {
            std::lock_guard lock(escapedMutex);
            if (!escaped) escaped = std::current_exception();
        }
    };
    {
        // Declared last: on leaving the block (an exception included) every thread is joined
        // before what it uses goes.
        std::vector<std::jthread> threads;
        for (int j = 1; j < jobs; ++j) threads.emplace_back(work, std::ref(workers[j]));
        work(workers[0]);
    }
    if (escaped) std::rethrow_exception(escaped);
}

// The files in index order, each from the values of the last file before it that succeeded
// (fitted now, or kept from the table), the first from the model's.
void fitChain(const ModelStore& model, const FitSetup& setup, const BatchPlan& plan,
              const std::vector<std::string>& names, const BatchTable& old,
              const std::vector<const TableRow*>& kept, const std::vector<int>& run,
              RowSink& sink) {
    Worker w;
    auto start = std::make_unique<ModelStore>();
    std::optional<NamedValues> values;
    for (int p : run) {
        if (kept[p]) {
            NamedValues v(names.size());
            for (size_t j = 0; j < names.size(); ++j) v[j] = rowValue(old, *kept[p], names[j]);
            values = std::move(v);
            continue;
        }
        *start = model;
        if (values) writeNamedValues(*start, setup.options.method, names, *values);
        BatchResult r = fitFile(*start, setup, p, plan.files[p], w);
        if (r.results) values = valuesOf(*r.results, names);
        sink.finished(std::move(r));
    }
}

// Loads the model as "fit" loads one file; a project must hold one slot.
bool loadBatchModel(ModelStore& store, const BatchPlan& plan, CommandResult& result) {
    Status s = loadModel(store, plan.modelArgs);
    if (!s.succeeded()) {
        result.outcome = s.outcome;
        result.err += s.message + "\n";
        return false;
    }
    if (s.outcome == Outcome::Warning) result.err += s.message + "\n";
    if (store.nfile > 1) {
        result.outcome = Outcome::Refused;
        result.err += formatText(
            "--->Error, batch fits one data set at a time: the project "
            "holds %d\n",
            store.nfile);
        return false;
    }
    store.curfile = 0;
    return true;
}

// The rows of an earlier run of the same table that stand: ok or warning, same index and file,
// among this run's files. False (with the failure in `result`) for a table that cannot serve.
bool readEarlierRun(const BatchPlan& plan, const std::string& header, const std::vector<int>& run,
                    BatchTable& old, std::vector<const TableRow*>& kept, CommandResult& result) {
    std::error_code ec;
    if (plan.results.empty() || !std::filesystem::exists(plan.results, ec)) return true;
    Status s = readBatchTable(plan.results, old);
    if (s.succeeded() && old.header != header)
        s = {1,
             "--->Error, " + plan.results +
                 " holds the table of another model (its "
                 "columns differ): give another --results file",
             Outcome::FileRefused};
    if (!s.succeeded()) {
        result.outcome = s.outcome;
        result.err += s.message + "\n";
        return false;
    }
    std::vector<bool> inRun(plan.files.size(), false);
    for (int p : run) inRun[p] = true;
    for (const TableRow& row : old.rows) {
        int p = positionOfIndex(row.index);
        if (p < static_cast<int>(plan.files.size()) && inRun[p] && row.file == plan.files[p])
            kept[p] = row.status == RowStatus::Failed ? nullptr : &row;
    }
    return true;
}

// The status line of the whole run, and its outcome.
void summarise(const std::vector<RowStatus>& statuses, CommandResult& result) {
    long failed = std::count(statuses.begin(), statuses.end(), RowStatus::Failed);
    long warned = std::count(statuses.begin(), statuses.end(), RowStatus::Warning);
    if (failed > 0) {
        result.outcome = Outcome::FitFailed;
        result.err += formatText("--->Error, %ld of %zu files failed: their rows say why\n", failed,
                                 statuses.size());
    } else if (warned > 0) {
        result.outcome = Outcome::Warning;
        result.err += formatText("--->Warning, %ld of %zu files ended with a warning\n", warned,
                                 statuses.size());
    } else {
        result.err += "--->OK\n";
    }
}

}  // namespace

std::vector<CommandOption> batchOptions() {
    std::vector<CommandOption> options;
    for (const CommandOption& o : modelOptions())
        if (std::string(o.name) != "save-project") options.push_back(o);
    for (CommandOption o : std::initializer_list<CommandOption>{{"method", true},
                                                          {"pop", true},
                                                          {"gens", true},
                                                          {"seed", true},
                                                          {"chain", false},
                                                          {"results", true},
                                                          {"jobs", true},
                                                          {"shard", true}})
        options.push_back(o);
    return options;
}

CommandResult runBatch(const Arguments& args) {
    // Wrong usage is refused before anything is read.
    fitOptionsOf(args, FitSettings{});
    BatchPlan plan = planOf(args);
    CommandResult result;
    auto model = std::make_unique<ModelStore>();
    if (!loadBatchModel(*model, plan, result)) return result;
    FitSetup setup;
    setup.options = fitOptionsOf(args, model->fitSettings);
    setup.keepDataSet = args.values.count("dataset") > 0;
    std::vector<std::string> names = parameterNames(*model, setup.options.method);
    std::string header = batchHeader(names);

    // This run's files (its shard), the earlier run's rows that stand, and what is left to fit.
    std::vector<int> run;
    for (int p = plan.shard - 1; p < static_cast<int>(plan.files.size()); p += plan.shards)
        run.push_back(p);
    BatchTable old;
    std::vector<const TableRow*> kept(plan.files.size(), nullptr);
    if (!readEarlierRun(plan, header, run, old, kept, result)) return result;
    std::vector<int> todo;
    for (int p : run)
        if (!kept[p]) todo.push_back(p);

    std::vector<std::string> rows(plan.files.size());
    std::vector<RowStatus> statuses(plan.files.size(), RowStatus::Failed);
    std::string table = header;
    for (int p : run)
        if (kept[p]) {
            rows[p] = kept[p]->text;
            statuses[p] = kept[p]->status;
            table += rows[p];
        }
    RowSink sink(names, static_cast<int>(todo.size()), rows, statuses);
    if (!plan.results.empty()) {
        // The rows that stand first, so that a run stopped now keeps them; then row by row.
        Status s = writeFileSafely(plan.results, table);
        if (!s.succeeded()) {
            result.outcome = s.outcome;
            result.err += s.message + "\n";
            return result;
        }
        sink.appendTo(plan.results);
    }
    sink.start(static_cast<int>(run.size() - todo.size()), plan.results);

    int jobs = std::min(plan.jobs, std::max(1, static_cast<int>(todo.size())));
    // Several jobs: one thread per fit, so that the jobs do not fight for the cores.
    setup.fitThreads = jobs > 1 ? 1 : 0;
    if (plan.chain)
        fitChain(*model, setup, plan, names, old, kept, run, sink);
    else
        fitSpread(*model, setup, plan, todo, jobs, sink);
    sink.end();

    table = header;
    std::vector<RowStatus> runStatuses;
    for (int p : run) {
        table += rows[p];
        runStatuses.push_back(statuses[p]);
    }
    if (!sink.appendError().empty()) result.err += sink.appendError() + "\n";
    summarise(runStatuses, result);
    if (plan.results.empty()) {
        result.out = table;
        result.outputAlways = true;
        return result;
    }
    Status written = writeFileSafely(plan.results, table);
    if (!written.succeeded()) {
        result.outcome = written.outcome;
        result.err += written.message + "\n";
    }
    return result;
}

}  // namespace tolvi::cli
