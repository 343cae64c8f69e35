#include "actions/load.h"

#include "actions/curves.h"
#include "model/data_file.h"
#include "model/layer_setup.h"
#include "model/material_file.h"
#include "model/param_file.h"
#include "physics/optics.h"
#include "physics/slab_stack.h"

namespace tolvi {

Status readMaterial(ModelStore& store, int slot, int entry) {
    Status m = readMaterialFile(store, slot, entry);
    if (m.ok()) computeOpticalConstants(store, slot, entry);
    return m;
}

Status setupLayers(ModelStore& store, int slot, int count, const std::vector<CountedLine>& lines,
                   int first, const std::string& path) {
    LayerModel& model = store.layerModel(slot);
    if (count > MAX_ENTRIES) return {1, "--->Error more than 200 layers", Outcome::FileRefused};
    model.nlay = count;
    model.nglay = 0;
    model.layall = 0;

    EntryReader entries(store, slot, lines, first, path);
    for (int k = 0; k < count; ++k) {
        Status e = entries.read(k);
        if (!e.ok()) return e;
        Status m = readMaterial(store, slot, k);
        if (!m.ok()) return {1, m.message, m.outcome};
    }

    if (countSlabs(model) > MAX_SLABS)
        return {1, "--->Error more than 400 slabs after the groups are repeated",
                Outcome::FileRefused};
    buildSlabStack(store, slot);
    return Status::success("setlay OK!");
}

Status readDataAndCurves(ModelStore& store, int slot) {
    Status s = readData(store, slot);
    if (!s.ok()) return s;
    computeCurves(store, slot, store.layerModel(slot).simFit == 0);
    // What the options change of the parameter file's meaning is said, when nothing else is.
    if (s.outcome == Outcome::Ok && pointwiseResolution(store.dataOptions[slot])) {
        if (store.resolutionPlans[slot].coarsened)
            return Status::warning(
                "--->Warning, the resolution grid was made coarser to fit: the curve is less "
                "accurate");
        if (store.dataSet(slot).divergence != 0.0)
            return Status::warning("--->Warning, the resolution replaces the divergence of the "
                                   "parameter file");
    }
    return s;
}

Status readParamFile(ModelStore& store, int slot) {
    ParamFileLines file;
    Status head = readParamHeader(store, slot, file);
    if (!head.ok()) return head;
    Status setup = setupLayers(store, slot, file.entries, file.list.lines, PARAM_HEADER_LINES,
                               store.layerModel(slot).paramPath);
    if (!setup.ok()) return {0, setup.message, setup.outcome};
    Status data = readDataAndCurves(store, slot);
    return {0, data.message, data.outcome};
}

Status loadParamSlot(ModelStore& store, const std::string& path) {
    store.nfitParam = 0;
    store.lastParamPath = path;
    store.paramDir = directoryOf(path);
    if (store.nfile + 1 > MAX_SLOTS)
        return {1, "--->Error: Exceed file max of 6", Outcome::Refused};
    int slot = store.nfile;
    store.curfile = slot;
    store.layerModel(slot).paramPath = path;
    Status s = readParamFile(store, slot);
    if (s.code == 0) ++store.nfile;
    return s;
}

Status loadTemplateSlot(ModelStore& store, const std::string& programDir) {
    store.nfitParam = 0;
    if (store.nfile != 0) return {1, "--->Error Data already exists", Outcome::Refused};
    store.curfile = 0;
    store.paramDir = programDir;
    store.layerModel(0).paramPath = programDir + "template/template.par";
    return readParamFile(store, 0);
}

}  // namespace tolvi
