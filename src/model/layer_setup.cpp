#include "model/layer_setup.h"

#include <cctype>
#include <string>

#include "physics/materials.h"
#include "physics/slab_stack.h"

namespace tolvi {

namespace {

constexpr double STEP_RHO = 0.01;
constexpr double STEP_T = 0.02;
constexpr double STEP_SIG = 0.1;
constexpr double STEP_MAG = 0.01;

// A parameter line: value, fit flag, min, max.
void readParamLine(ModelStore& store, const CountedLine& line, const std::string& path,
                   BoundedParam& p, double step) {
    int count = splitLine(line.text, 200, store.tokens);
    LineFields f(store.tokens, count, placeOf(path, line.lineNo));
    p.value = f.real(0);
    p.fit = f.integer(1);
    p.min = f.real(2);
    p.max = f.real(3);
    p.step = step;
}

std::string upperCased(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

Status setupLayers(ModelStore& store, int slot, int count, const std::vector<CountedLine>& lines,
                   int first, const std::string& path) {
    LayerModel& model = store.layerModel(slot);
    if (count > MAX_ENTRIES) return {1, "--->Error more than 200 layers"};
    model.nlay = count;
    model.nglay = 0;
    model.layall = 0;

    std::string previousId;
    int groupFirst = 0;
    int groupSize = 0;
    for (int k = 0; k < count; ++k) {
        const CountedLine& header = lines[first + 5 * k];
        LayerEntry& e = model.entries[k];
        int ntok = splitLine(header.text, 200, store.tokens);
        if (ntok == 0) return {1, "--->Error layer type S or G"};
        LineFields f(store.tokens, ntok, placeOf(path, header.lineNo));
        std::string id = upperCased(f.text(0));
        if (id[0] != 'S' && id[0] != 'G') return {1, "--->Error layer type S or G"};
        if (ntok < 2)
            return {1, "--->Error no material name for layer " + std::to_string(k + 1) + " (" +
                           f.where() + ")"};
        e.id.assign(id);
        e.material.assign(f.text(1));
        e.rept = 0;
        e.sigjoin = 0;
        if (id[0] == 'S') {
            e.kind = 0;
        } else if (id != previousId) {
            e.kind = 1;
            e.rept = f.integer(2);
            e.sigjoin = f.integer(3);
            ++model.nglay;
            groupFirst = k;
            groupSize = 1;
            e.groupSize = 1;
        } else {
            e.kind = 2;
            ++groupSize;
            e.groupSize = groupSize;
            model.entries[groupFirst].groupSize = groupSize;
        }
        previousId = id;

        readParamLine(store, lines[first + 5 * k + 1], path, e.rho, STEP_RHO);
        readParamLine(store, lines[first + 5 * k + 2], path, e.t, STEP_T);
        readParamLine(store, lines[first + 5 * k + 3], path, e.sig, STEP_SIG);
        readParamLine(store, lines[first + 5 * k + 4], path, e.mag, STEP_MAG);

        Status m = readMaterialFile(store, slot, k);
        if (m.code == 1) return {1, "--->Error can not find materi"};
        if (!m.ok()) return {1, m.message};
    }

    if (countSlabs(model) > MAX_SLABS)
        return {1, "--->Error more than 400 slabs after the groups are repeated"};
    buildSlabStack(store, slot);
    return {0, "setlay OK!"};
}

}  // namespace tolvi
