#include "actions/orso_export.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <string_view>

#include "base/text_io.h"
#include "model/project_file.h"
#include "physics/resolution.h"

namespace tolvi {

OrsoDataSet orsoDataSet(const ModelStore& store, int slot) {
    const DataSet& d = store.dataSet(slot);
    const LayerModel& model = store.layerModel(slot);
    OrsoDataSet set;
    std::string name = fileNameOf(model.paramPath);
    set.title = name.empty() ? "Tolvi workspace" : name;
    if (model.simFit != 0) set.dataFile = d.dataPath;
    set.probe = d.probe;
    set.wavelength = d.lamd;
    set.scale = std::pow(10.0, d.logI0.value);
    set.background = d.bg.value;
    set.stack = orsoStack(store, slot);

    int n = std::clamp(d.npoints, 0, MAX_DATA);
    const PointErrors& errors = store.pointErrors[slot];
    bool resolution =
        store.pointResolution[slot].loaded && readsResolutionColumn(store.dataOptions[slot]);
    for (int i = 0; i < n; ++i) {
        // The point as loaded: no x0_shift. On the q axis x is Qz itself, to the last bit.
        PointWidth w = resolutionOfPoint(store, slot, i, 0.0);
        set.q.push_back(d.xAxis == 2 ? d.xData[i] : w.q);
        set.r.push_back(d.yLin[i]);
        if (errors.loaded) set.sr.push_back(errors.dy[i]);
        if (resolution) set.sq.push_back(w.sigma);
        set.calc.push_back(d.calcLin[i]);
    }
    return set;
}

std::string orsoWorkspaceText(const ModelStore& store, const OrsoCreation& creation) {
    std::vector<OrsoDataSet> sets;
    for (int slot = 0; slot < workspaceSlots(store); ++slot)
        sets.push_back(orsoDataSet(store, slot));
    return orsoText(sets, creation);
}

std::string isoTimestamp() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32] = {};
    char offset[8] = {};
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
    std::strftime(offset, sizeof offset, "%z", &local);
    // strftime gives the offset as +hhmm; ISO 8601 as the format uses it writes +hh:mm.
    std::string_view zone(offset);
    if (zone.size() != 5) return std::string(stamp) + std::string(zone);
    return std::string(stamp) + std::string(zone.substr(0, 3)) + ':' + std::string(zone.substr(3));
}

Status writeOrsoFile(const ModelStore& store, const std::string& path) {
    int slots = workspaceSlots(store);
    if (slots == 0)
        return {1, "--->Error, nothing to save: load a parameter file or open a project first",
                Outcome::Refused};
    Status s = writeFileSafely(path, orsoWorkspaceText(store, {TOLVI_VERSION, isoTimestamp()}));
    if (!s.ok()) return s;
    return Status::success(formatText("--->OK, wrote %d data set%s to %s", slots,
                                      slots == 1 ? "" : "s", path.c_str()));
}

}  // namespace tolvi
