#include "model/slots.h"

#include <unistd.h>

#include <climits>

#include "model/param_file.h"
#include "model/text_io.h"

namespace tolvi {

Status loadParamSlot(ModelStore& store, const std::string& path) {
    store.nfitParam = 0;
    store.lastParamPath = path;
    store.paramDir = directoryOf(path);
    if (store.nfile + 1 > MAX_SLOTS) return {1, "--->Error: Exceed file max of 6"};
    int slot = store.nfile;
    store.curfile = slot;
    store.layerModel(slot).paramPath = path;
    Status s = readParamFile(store, slot);
    if (s.code == 0) ++store.nfile;
    return s;
}

Status loadTemplateSlot(ModelStore& store, const std::string& programDir) {
    store.nfitParam = 0;
    if (store.nfile != 0) return {1, "--->Error Data already exists"};
    store.curfile = 0;
    store.paramDir = programDir;
    store.layerModel(0).paramPath = programDir + "template/template.par";
    return readParamFile(store, 0);
}

Status setAmbient(ModelStore& store, double delta, double beta) {
    if (!(delta < 1.0)) return {1, "--->Error ambient delta must be below 1"};
    if (!(beta >= 0.0)) return {1, "--->Error ambient beta must not be negative"};
    store.ambientN = {1.0 - delta, beta};
    return {0, "--->OK"};
}

std::string programDirectory() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    return directoryOf(std::string(buf, static_cast<size_t>(n)));
}

}  // namespace tolvi
