#include "actions/workspace_snapshot.h"

#include <algorithm>
#include <memory>

#include "actions/curves.h"
#include "model/project_file.h"
#include "physics/optics.h"
#include "physics/slab_stack.h"

namespace tolvi {

namespace {

// The arrays of a data set a snapshot keeps point by point, in DataSet order. The R/Rf'
// reference is not among them: it follows from the model whenever it is shown.
constexpr std::array<std::array<double, MAX_DATA> DataSet::*, 6> POINT_ARRAYS = {
    &DataSet::xData,   &DataSet::yLin,    &DataSet::yLog,
    &DataSet::calcLin, &DataSet::calcLog, &DataSet::sigmaLog};

}  // namespace

WorkspaceSnapshot takeSnapshot(const ModelStore& store, const FitState& state) {
    WorkspaceSnapshot s;
    s.project = projectText(store);
    s.projectSource = store.projectSource;
    s.nfile = store.nfile;
    s.curfile = store.curfile;
    size_t values = 0;
    for (int slot = 0; slot < MAX_SLOTS; ++slot) {
        s.points[slot] = std::clamp(store.dataSet(slot).npoints, 0, MAX_DATA);
        values += POINT_ARRAYS.size() * static_cast<size_t>(s.points[slot]);
    }
    s.curves.reserve(values);
    for (int slot = 0; slot < MAX_SLOTS; ++slot) {
        const DataSet& d = store.dataSet(slot);
        for (auto array : POINT_ARRAYS)
            s.curves.insert(s.curves.end(), (d.*array).begin(),
                            (d.*array).begin() + s.points[slot]);
    }
    s.lastParamPath = store.lastParamPath;
    s.paramDir = store.paramDir;
    s.nfitParam = std::clamp(store.nfitParam, 0, MAX_FIT_PARAMS);
    s.multiFit = state.multiFit;
    const FitParamList& list = state.list;
    s.savedX.assign(list.savedX.begin(), list.savedX.begin() + s.nfitParam);
    s.owner.assign(list.owner.begin(), list.owner.begin() + s.nfitParam);
    s.quantity.assign(list.quantity.begin(), list.quantity.begin() + s.nfitParam);
    return s;
}

Status restoreSnapshot(ModelStore& store, FitState& state, const WorkspaceSnapshot& snapshot) {
    // Read and computed apart, so that a refusal or a failing number leaves the workspace whole.
    auto restored = std::make_unique<ModelStore>();
    Status read = readProjectText(*restored, snapshot.project, "(undo)");
    if (!read.ok()) return read;
    for (int slot = 0; slot < MAX_SLOTS; ++slot) {
        const LayerModel& model = restored->layerModel(slot);
        if (model.nlay == 0 && restored->dataSet(slot).npoints == 0) continue;
        for (int e = 0; e < model.nlay; ++e) computeOpticalConstants(*restored, slot, e);
        buildSlabStack(*restored, slot);
        computeCurves(*restored, slot, model.simFit == 0);
    }
    // The curves as they were, where the slot holds the points it held.
    size_t at = 0;
    for (int slot = 0; slot < MAX_SLOTS; ++slot) {
        DataSet& d = restored->dataSet(slot);
        const int points = snapshot.points[slot];
        const bool same = d.npoints == points;
        for (auto array : POINT_ARRAYS) {
            if (same && at + points <= snapshot.curves.size())
                std::copy_n(snapshot.curves.begin() + static_cast<long>(at), points,
                            (d.*array).begin());
            at += static_cast<size_t>(points);
        }
    }
    takeWorkspace(store, *restored);
    store.projectSource = snapshot.projectSource;
    store.nfile = snapshot.nfile;
    store.curfile = snapshot.curfile;
    store.lastParamPath = snapshot.lastParamPath;
    store.paramDir = snapshot.paramDir;
    const int n = std::clamp(snapshot.nfitParam, 0, MAX_FIT_PARAMS);
    if (static_cast<int>(snapshot.savedX.size()) >= n &&
        static_cast<int>(snapshot.owner.size()) >= n &&
        static_cast<int>(snapshot.quantity.size()) >= n) {
        store.nfitParam = n;
        state.multiFit = snapshot.multiFit;
        std::copy_n(snapshot.savedX.begin(), n, state.list.savedX.begin());
        std::copy_n(snapshot.owner.begin(), n, state.list.owner.begin());
        std::copy_n(snapshot.quantity.begin(), n, state.list.quantity.begin());
    }
    return Status::success({});
}

}  // namespace tolvi
