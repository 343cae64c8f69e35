#include <memory>

#include "cli/commands.h"
#include "model/profile.h"
#include "model/slots.h"
#include "model/text_io.h"

namespace tolvi::cli {

bool loadSucceeded(const std::string& message) {
    return message == "--->OK" || message.rfind("--->Warning", 0) == 0;
}

void setAmbientOption(ModelStore& store, const Arguments& args) {
    if (!args.values.count("ambient")) return;
    double delta = 0.0, beta = 0.0;
    pairOption(args, "ambient", delta, beta);
    Status s = setAmbient(store, delta, beta);
    if (!s.ok())
        throw UsageError{"--ambient: " + s.message.substr(std::string("--->Error ").size())};
}

Status loadModel(ModelStore& store, const Arguments& args) {
    bool useTemplate = args.flags.count("template") > 0;
    if (useTemplate && !args.positional.empty())
        throw UsageError{"give either a parameter file or --template, not both"};
    if (!useTemplate && args.positional.size() != 1)
        throw UsageError{args.positional.empty() ? "a parameter file (or --template) is needed"
                                                 : "one parameter file expected"};
    setAmbientOption(store, args);
    if (useTemplate) return loadTemplateSlot(store, programDirectory());
    return loadParamSlot(store, args.positional[0]);
}

namespace {

// Loads the model; on failure the outcome is already final.
bool loadOrFail(ModelStore& store, const Arguments& args, Outcome& outcome) {
    Status s = loadModel(store, args);
    outcome.err = s.message + "\n";
    if (s.code != 0 || !loadSucceeded(s.message)) {
        outcome.exitStatus = 1;
        return false;
    }
    return true;
}

}  // namespace

Outcome runSimulate(const Arguments& args) {
    auto store = std::make_unique<ModelStore>();
    store->rRfMode = args.flags.count("fresnel") > 0;
    Outcome outcome;
    if (!loadOrFail(*store, args, outcome)) return outcome;
    const DataSet& d = store->dataSet(store->curfile);
    for (int i = 0; i < d.npoints; ++i) {
        outcome.out += formatText("%.17g %.17g %.17g", d.xData[i], d.yLin[i], d.calcLin[i]);
        if (store->rRfMode) outcome.out += formatText(" %.17g", d.rfLin[i]);
        outcome.out += "\n";
    }
    return outcome;
}

Outcome runProfile(const Arguments& args) {
    auto store = std::make_unique<ModelStore>();
    Outcome outcome;
    if (!loadOrFail(*store, args, outcome)) return outcome;
    int n = computeProfile(*store, store->curfile);
    for (int j = 0; j < n; ++j)
        outcome.out += formatText("%.17g %.17g\n", store->profileZ[j], store->profileRho[j]);
    return outcome;
}

Outcome runSlabs(const Arguments& args) {
    auto store = std::make_unique<ModelStore>();
    Outcome outcome;
    if (!loadOrFail(*store, args, outcome)) return outcome;
    const LayerModel& m = store->layerModel(store->curfile);
    for (int s = 0; s < m.layall; ++s) {
        const LayerEntry& e = m.slabs[s];
        outcome.out += formatText("%d %.17g %.17g %.17g %.17g %.17g %.17g\n", s, e.rho.value,
                                  e.t.value, e.sig.value, e.n.re, e.n.im, e.magTerm.re);
    }
    return outcome;
}

}  // namespace tolvi::cli
