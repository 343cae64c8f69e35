#include <memory>

#include "actions/load.h"
#include "base/text_io.h"
#include "cli/commands.h"
#include "physics/profile.h"

namespace tolvi::cli {

int exitStatusOf(Outcome outcome) {
    return succeeded(outcome) ? 0 : 1;
}

std::vector<OptionSpec> modelOptions() {
    return {{"template", false},
            {"ambient", true},
            {"ambient-sld", true},
            {"errors", true},
            {"steps", true}};
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

void setModelOptions(ModelStore& store, const Arguments& args) {
    setAmbientOption(store, args);
    DataOptions options;
    std::string errors = args.value("errors", "builtin");
    if (errors == "data")
        options.errors = ErrorSource::Data;
    else if (errors != "builtin")
        throw UsageError{"--errors is builtin or data, not \"" + errors + "\""};
    std::string steps = args.value("steps", "fixed");
    if (steps == "relative")
        options.steps = StepRule::Relative;
    else if (steps != "fixed")
        throw UsageError{"--steps is fixed or relative, not \"" + steps + "\""};
    store.dataOptions.fill(options);
}

Status loadModel(ModelStore& store, const Arguments& args) {
    bool useTemplate = args.flags.count("template") > 0;
    if (useTemplate && !args.positional.empty())
        throw UsageError{"give either a parameter file or --template, not both"};
    if (!useTemplate && args.positional.size() != 1)
        throw UsageError{args.positional.empty() ? "a parameter file (or --template) is needed"
                                                 : "one parameter file expected"};
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
        return result;
    }
    int n = computeProfile(*store, store->curfile);
    for (int j = 0; j < n; ++j)
        result.out += formatText("%.17g %.17g\n", store->profileZ[j], store->profileRho[j]);
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
    return result;
}

}  // namespace tolvi::cli
