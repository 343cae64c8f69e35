#include "cli/fourier_command.h"

#include <initializer_list>
#include <memory>
#include <string>

#include "base/text_io.h"
#include "fourier/fourier_workspace.h"
#include "fourier/thickness_transform.h"

namespace tolvi::cli {

namespace {

// The item index of an option's word among `words`; UsageError for any other word.
int choiceOption(const Arguments& args, const std::string& name,
                 std::initializer_list<const char*> words, int fallback) {
    if (!args.values.count(name)) return fallback;
    std::string value = args.value(name);
    int index = 0;
    std::string list;
    for (const char* word : words) {
        if (value == word) return index;
        list += (index == 0 ? "" : index + 1 == static_cast<int>(words.size()) ? " or " : ", ");
        list += word;
        ++index;
    }
    throw UsageError{"--" + name + " needs " + list + ", not \"" + value + "\""};
}

// --ambient DELTA:BETA, refused as "simulate" refuses it: the medium of a store of its own.
Medium ambientOption(const Arguments& args) {
    auto store = std::make_unique<ModelStore>();
    setAmbientOption(*store, args);
    return store->ambient;
}

// The command line as the page's controls; checked completely before anything is read.
struct FourierRequest {
    bool useTemplate = false;
    std::string dataPath;
    std::string lambdaText = "1.54";  // the λ field's start-up text
    int x_type = 0, y_type = 0, q_critical_mode = 0, fringe_mode = 0, transform = 0;
    bool manualQ = false;
    double q_min = 0.0, q_max = 0.0;
    bool typedQc = false;
    double q_critical = 0.0;
    double d_max = 0.0;
    int bin_no = 0;
    Medium ambient;
    bool save = false;
};

FourierRequest readRequest(const Arguments& args) {
    FourierRequest rq;
    auto startUp = std::make_unique<FourierWorkspace>();  // the page's start-up settings
    const FourierWorkspace& start = *startUp;
    rq.useTemplate = args.flags.count("template") > 0;
    if (rq.useTemplate && !args.positional.empty())
        throw UsageError{"give either a data file or --template, not both"};
    if (!rq.useTemplate && args.positional.size() != 1)
        throw UsageError{args.positional.empty() ? "a data file (or --template) is needed"
                                                 : "one data file expected"};
    if (rq.useTemplate)
        for (const char* name : {"x-axis", "y-scale", "lambda"})
            if (args.has(name))
                throw UsageError{std::string("--") + name +
                                 " does not go with --template (theta, linear, 1.54 A)"};
    if (!rq.useTemplate) rq.dataPath = args.positional[0];

    rq.x_type = choiceOption(args, "x-axis", {"theta", "2theta", "q"}, start.x_type);
    rq.y_type = choiceOption(args, "y-scale", {"lin", "log"}, start.y_type);
    realOption(args, "lambda", 0.0);  // wrong usage when not a number; the reader judges its value
    rq.lambdaText = args.value("lambda", rq.lambdaText);
    rq.manualQ = args.values.count("q-range") > 0;
    if (rq.manualQ) pairOption(args, "q-range", rq.q_min, rq.q_max);
    rq.typedQc = args.values.count("qc") > 0;
    rq.q_critical = realOption(args, "qc", 0.0);
    rq.q_critical_mode = choiceOption(args, "qc-mode", {"fit", "manual"}, start.q_critical_mode);
    rq.fringe_mode = choiceOption(args, "fringe", {"rq4", "r-rf"}, start.fringe_mode);
    rq.transform = choiceOption(args, "transform", {"dft", "wavelet"}, start.transform);
    rq.d_max = realOption(args, "dmax", start.d_max);
    rq.bin_no = intOption(args, "bins", start.bin_no);
    rq.ambient = ambientOption(args);
    rq.save = args.flags.count("save") > 0;
    return rq;
}

// Writes the FT action's fields as the window would after a load.
void applyRequest(const FourierRequest& rq, FourierWorkspace& ws) {
    if (rq.manualQ) {
        ws.q_area = fourier::Q_AREA_MANUAL;
        ws.q_min = rq.q_min;
        ws.q_max = rq.q_max;
    }
    // Without --qc the field holds the reader's estimate as shown, eight decimals.
    ws.q_critical = rq.typedQc ? rq.q_critical : parseReal(qFieldText(ws.q_critical));
    ws.q_critical_mode = rq.q_critical_mode;
    ws.fringe_mode = rq.fringe_mode;
    ws.transform = rq.transform;
    ws.d_max = rq.d_max;
    ws.bin_no = rq.bin_no;
}

}  // namespace

std::vector<CommandOption> fourierOptions() {
    return {{"template", false}, {"x-axis", true}, {"y-scale", true}, {"lambda", true},
            {"q-range", true},   {"qc", true},     {"qc-mode", true}, {"fringe", true},
            {"transform", true}, {"dmax", true},   {"bins", true},    {"ambient", true},
            {"save", false}};
}

CommandResult runFourier(const Arguments& args) {
    FourierRequest rq = readRequest(args);
    auto ws = std::make_unique<FourierWorkspace>();
    ws->x_type = rq.x_type;
    ws->y_type = rq.y_type;

    CommandResult result;
    Status load = rq.useTemplate ? loadFourierTemplate(*ws, programDirectory())
                                 : loadFourierData(*ws, rq.dataPath, rq.lambdaText);
    result.err = load.message + "\n";
    result.outcome = load.outcome;
    if (!load.succeeded()) return result;

    applyRequest(rq, *ws);
    FtReport report = runFourierTransform(*ws, rq.ambient);
    result.err += report.status.message + "\n";
    result.outcome = report.status.outcome;
    if (!report.status.succeeded()) return result;
    result.out = fourierResultText(*ws);
    if (rq.save) {
        Status saved = saveFourierResult(*ws);
        result.err += saved.message + "\n";
        result.outcome = saved.outcome;
    }
    return result;
}

}  // namespace tolvi::cli
