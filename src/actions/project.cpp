#include "actions/project.h"

#include <fstream>
#include <iterator>
#include <memory>

#include "actions/curves.h"
#include "base/text_io.h"
#include "model/project_file.h"
#include "physics/optics.h"
#include "physics/slab_stack.h"

namespace tolvi {

namespace {

bool readWholeFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

Status openProject(ModelStore& store, const std::string& path) {
    std::string text;
    if (!readWholeFile(path, text))
        return {-1, "--->Error open file " + path, Outcome::FileNotFound};
    // Read and computed apart, so that a refusal or a failing number leaves the workspace whole.
    auto opened = std::make_unique<ModelStore>();
    Status read = readProjectText(*opened, text, path);
    if (!read.ok()) return read;
    for (int slot = 0; slot < opened->nfile; ++slot) {
        const LayerModel& model = opened->layerModel(slot);
        if (countSlabs(model) > MAX_SLABS)
            return {1,
                    formatText("--->Error, project key slots[%d].layers: more than %d slabs after "
                               "the groups are repeated (in %s)",
                               slot, MAX_SLABS, path.c_str()),
                    Outcome::FileRefused};
        for (int e = 0; e < model.nlay; ++e) computeOpticalConstants(*opened, slot, e);
        buildSlabStack(*opened, slot);
        computeCurves(*opened, slot, model.simFit == 0);
    }
    takeWorkspace(store, *opened);
    store.paramDir = directoryOf(path);
    return read;
}

Status saveProject(ModelStore& store, const std::string& path) {
    std::string text = projectText(store);
    Status s = writeFileSafely(path, text);
    if (s.ok()) store.projectSource = std::move(text);
    return s;
}

}  // namespace tolvi
