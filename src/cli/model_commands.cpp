#include <array>
#include <memory>
#include <optional>

#include "actions/curves.h"
#include "actions/load.h"
#include "actions/orso_export.h"
#include "actions/project.h"
#include "base/text_io.h"
#include "cli/commands.h"
#include "model/project_file.h"
#include "physics/profile.h"

namespace tolvi::cli {

int exitStatusOf(Outcome outcome) {
    return succeeded(outcome) ? 0 : 1;
}

std::vector<CommandOption> modelOptions() {
    return {{"template", false},   {"ambient", true},    {"ambient-sld", true},
            {"errors", true},      {"steps", true},      {"resolution", true},
            {"footprint", true},   {"fit-resolution", true}, {"fit-beam", true},
            {"dataset", true},     {"save-project", true}};
}

void setAmbientOption(ModelStore& store, const Arguments& args) {
    bool sld = args.values.count("ambient-sld") > 0;
    if (sld && args.values.count("ambient"))
        throw UsageError{"give the fronting medium once: --ambient or --ambient-sld, not both"};
    if (sld) {
        double re = 0.0, im = 0.0;
        sldOption(args, "ambient-sld", re, im);
        if (im < 0.0) throw UsageError{"--ambient-sld: the imaginary part must not be negative"};
        store.ambientSld = {true, re, im};
        return;
    }
    if (!args.values.count("ambient")) return;
    double delta = 0.0, beta = 0.0;
    pairOption(args, "ambient", delta, beta);
    Status s = setAmbient(store, delta, beta);
    if (!s.ok())
        throw UsageError{"--ambient: " + s.message.substr(std::string("--->Error ").size())};
}

namespace {

// The text after "NAME:" of a value "NAME:REST", or nothing when the value does not start so.
bool afterPrefix(const std::string& text, const std::string& name, std::string& rest) {
    if (text.compare(0, name.size() + 1, name + ":") != 0) return false;
    rest = text.substr(name.size() + 1);
    return true;
}

// An option of two words: nothing when it is not given, else whether it is the second.
std::optional<bool> eitherOption(const Arguments& args, const std::string& name, const char* first,
                                 const char* second) {
    if (!args.values.count(name)) return std::nullopt;
    std::string text = args.value(name);
    if (text != first && text != second)
        throw UsageError{"--" + name + " is " + first + " or " + second + ", not \"" + text +
                         "\""};
    return text == second;
}

// --resolution divergence|column:fwhm|column:sigma|relative:F
ResolutionSettings resolutionOption(const Arguments& args) {
    ResolutionSettings r;
    std::string text = args.value("resolution", "divergence");
    std::string rest;
    if (text == "divergence") return r;
    if (text == "column:fwhm") {
        r.kind = ResolutionKind::ColumnFwhm;
    } else if (text == "column:sigma") {
        r.kind = ResolutionKind::ColumnSigma;
    } else if (text == "column") {
        r.kind = ResolutionKind::Column;
    } else if (afterPrefix(text, "relative", rest)) {
        r.kind = ResolutionKind::Relative;
        double f = 0.0;
        try {
            f = parseReal(rest);
        } catch (const NumberError&) {
            throw UsageError{"--resolution relative:F needs a number F, not \"" + rest + "\""};
        }
        if (!(f > 0.0 && f < 1.0))
            throw UsageError{"--resolution relative:F needs 0 < F < 1 (0.05 for 5 %), not " + rest};
        r.relativeFwhm = f;
    } else {
        throw UsageError{"--resolution is divergence, column, column:fwhm, column:sigma or "
                         "relative:F, not \"" +
                         text + "\""};
    }
    return r;
}

// --footprint gauss:BEAM_MM:SAMPLE_MM|uniform:BEAM_MM:SAMPLE_MM
FootprintSettings footprintOption(const Arguments& args) {
    FootprintSettings f;
    if (!args.values.count("footprint")) return f;
    std::string text = args.value("footprint");
    std::string rest;
    if (afterPrefix(text, "gauss", rest))
        f.kind = FootprintKind::Gaussian;
    else if (afterPrefix(text, "uniform", rest))
        f.kind = FootprintKind::Uniform;
    else
        throw UsageError{"--footprint is gauss:BEAM_MM:SAMPLE_MM or uniform:BEAM_MM:SAMPLE_MM, "
                         "not \"" +
                         text + "\""};
    double beam = 0.0, sample = 0.0;
    try {
        parseRealPair(rest, {}, false, beam, sample);
    } catch (const NumberError&) {
        throw UsageError{"--footprint needs two numbers BEAM_MM:SAMPLE_MM, not \"" + rest + "\""};
    }
    if (!(beam > 0.0 && sample > 0.0))
        throw UsageError{"--footprint: the beam width and the sample length must be above 0"};
    f.beam.value = f.beam.min = f.beam.max = beam;
    f.sample = sample;
    return f;
}

// MIN:MAX of a --fit-... option, MIN < MAX, with `start` inside.
void fitRangeOption(const Arguments& args, const std::string& name, double start,
                    BoundedParam& p) {
    double lo = 0.0, hi = 0.0;
    pairOption(args, name, lo, hi);
    if (!(lo < hi)) throw UsageError{"--" + name + " needs MIN < MAX"};
    if (!(lo <= start && start <= hi))
        throw UsageError{"--" + name + formatText(": the start %g must lie within MIN:MAX", start)};
    p.min = lo;
    p.max = hi;
    p.fit = 1;
}

}  // namespace

void setModelOptions(ModelStore& store, const Arguments& args, int slots) {
    setAmbientOption(store, args);
    // The values first, so that a malformed one is refused whatever the slots hold.
    std::optional<ErrorSource> errors;
    if (std::optional<bool> data = eitherOption(args, "errors", "builtin", "data"))
        errors = *data ? ErrorSource::Data : ErrorSource::Builtin;
    std::optional<StepRule> steps;
    if (std::optional<bool> relative = eitherOption(args, "steps", "fixed", "relative"))
        steps = *relative ? StepRule::Relative : StepRule::Fixed;
    std::optional<ResolutionSettings> resolution;
    if (args.values.count("resolution")) resolution = resolutionOption(args);
    std::optional<FootprintSettings> footprint;
    if (args.values.count("footprint")) footprint = footprintOption(args);
    std::optional<int> dataSet;
    if (args.values.count("dataset")) {
        dataSet = intOption(args, "dataset", 0);
        if (*dataSet < 0) throw UsageError{"--dataset needs a number from 0 on"};
    }
    // Then every slot: a parameter file's slots start from the defaults, a project's from what
    // the project says; only the options given change them.
    for (int slot = 0; slot < slots; ++slot) {
        DataOptions& options = store.dataOptions[slot];
        if (errors) options.errors = *errors;
        if (steps) options.steps = *steps;
        if (resolution) options.resolution = *resolution;
        if (footprint) options.footprint = *footprint;
        if (dataSet) options.dataSet = *dataSet;
        if (args.values.count("fit-resolution")) {
            if (!pointwiseResolution(options))
                throw UsageError{"--fit-resolution needs a pointwise --resolution (column... or "
                                 "relative:F)"};
            fitRangeOption(args, "fit-resolution", options.resolution.scale.value,
                           options.resolution.scale);
            if (options.resolution.scale.min < 0.0)
                throw UsageError{"--fit-resolution: the scale must not be negative"};
        }
        if (args.values.count("fit-beam")) {
            if (options.footprint.kind == FootprintKind::None)
                throw UsageError{"--fit-beam needs --footprint"};
            fitRangeOption(args, "fit-beam", options.footprint.beam.value, options.footprint.beam);
            if (!(options.footprint.beam.min > 0.0))
                throw UsageError{"--fit-beam: the beam width must stay above 0"};
        }
    }
}

namespace {

// Whether the data file must be read again for `after`: what the reader takes from it changed.
bool readsDifferently(const DataOptions& before, const DataOptions& after) {
    return before.errors != after.errors || before.dataSet != after.dataSet ||
           readsResolutionColumn(before) != readsResolutionColumn(after) ||
           (readsResolutionColumn(after) && before.resolution.kind != after.resolution.kind);
}

// A project file: its workspace, then the options given on the command line over its settings.
// A slot whose data the options read otherwise (errors, a resolution column, another data set)
// reads its data file again, where the project found it.
Status loadProject(ModelStore& store, const Arguments& args, const std::string& path) {
    Status opened = openProject(store, path);
    if (!opened.succeeded()) return opened;
    std::array<DataOptions, MAX_SLOTS> before = store.dataOptions;
    setModelOptions(store, args, store.nfile);
    for (int slot = 0; slot < store.nfile; ++slot) {
        if (readsDifferently(before[slot], store.dataOptions[slot])) {
            Status s = readDataAndCurves(store, slot);
            if (!s.succeeded()) return {s.code, formatText("F%d: ", slot + 1) + s.message, s.outcome};
            if (opened.outcome == Outcome::Ok) opened = s;
        } else {
            computeCurves(store, slot, store.layerModel(slot).simFit == 0);
        }
    }
    return opened;
}

}  // namespace

bool isProjectArgument(const Arguments& args) {
    return !args.flags.count("template") && args.positional.size() == 1 &&
           isProjectFile(args.positional[0]);
}

Status saveProjectOption(ModelStore& store, const Arguments& args) {
    if (!args.values.count("save-project")) return Status::success("--->OK");
    return saveProject(store, args.value("save-project"));
}

Status writeOrsoOption(const ModelStore& store, const Arguments& args) {
    if (!args.values.count("ort")) return Status::success("--->OK");
    return writeOrsoFile(store, args.value("ort"));
}

Status loadModel(ModelStore& store, const Arguments& args) {
    bool useTemplate = args.flags.count("template") > 0;
    if (useTemplate && !args.positional.empty())
        throw UsageError{"give either a parameter file or --template, not both"};
    if (!useTemplate && args.positional.size() != 1)
        throw UsageError{args.positional.empty() ? "a parameter file (or --template) is needed"
                                                 : "one parameter file expected"};
    if (isProjectArgument(args)) return loadProject(store, args, args.positional[0]);
    setModelOptions(store, args);
    if (useTemplate) return loadTemplateSlot(store, programDirectory());
    return loadParamSlot(store, args.positional[0]);
}

namespace {

// Loads the model; on failure the result is already final.
bool loadOrFail(ModelStore& store, const Arguments& args, CommandResult& result) {
    Status s = loadModel(store, args);
    result.err = s.message + "\n";
    result.outcome = s.outcome;
    return s.succeeded();
}

// --save-project after the command: a file that cannot be written fails the command.
void saveProjectAfter(ModelStore& store, const Arguments& args, CommandResult& result) {
    Status saved = saveProjectOption(store, args);
    if (saved.succeeded()) return;
    result.outcome = saved.outcome;
    result.err += saved.message + "\n";
}

}  // namespace

CommandResult runSimulate(const Arguments& args) {
    auto store = std::make_unique<ModelStore>();
    store->rRfMode = args.flags.count("fresnel") > 0;
    CommandResult result;
    if (!loadOrFail(*store, args, result)) return result;
    const DataSet& d = store->dataSet(store->curfile);
    for (int i = 0; i < d.npoints; ++i) {
        result.out += formatText("%.17g %.17g %.17g", d.xData[i], d.yLin[i], d.calcLin[i]);
        if (store->rRfMode) result.out += formatText(" %.17g", d.rfLin[i]);
        result.out += "\n";
    }
    Status written = writeOrsoOption(*store, args);
    if (!written.succeeded()) {
        result.outcome = written.outcome;
        result.err += written.message + "\n";
    }
    saveProjectAfter(*store, args, result);
    return result;
}

CommandResult runProfile(const Arguments& args) {
    auto store = std::make_unique<ModelStore>();
    CommandResult result;
    if (!loadOrFail(*store, args, result)) return result;
    if (args.flags.count("sld")) {
        int n = computeSldProfile(*store, store->curfile);
        for (int j = 0; j < n; ++j)
            result.out += formatText("%.17g %.17g %.17g\n", store->profileZ[j],
                                     store->profileSldRe[j], store->profileSldIm[j]);
        saveProjectAfter(*store, args, result);
        return result;
    }
    int n = computeProfile(*store, store->curfile);
    for (int j = 0; j < n; ++j)
        result.out += formatText("%.17g %.17g\n", store->profileZ[j], store->profileRho[j]);
    saveProjectAfter(*store, args, result);
    return result;
}

CommandResult runSlabs(const Arguments& args) {
    auto store = std::make_unique<ModelStore>();
    CommandResult result;
    if (!loadOrFail(*store, args, result)) return result;
    const LayerModel& m = store->layerModel(store->curfile);
    for (int s = 0; s < m.layall; ++s) {
        const LayerEntry& e = m.slabs[s];
        result.out += formatText("%d %.17g %.17g %.17g %.17g %.17g %.17g\n", s, e.rho.value,
                                 e.t.value, e.sig.value, e.n.re, e.n.im, e.magTerm.re);
    }
    saveProjectAfter(*store, args, result);
    return result;
}

}  // namespace tolvi::cli
