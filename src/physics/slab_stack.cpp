#include "physics/slab_stack.h"

#include <cmath>

#include "base/status.h"
#include "physics/optics.h"

namespace tolvi {

void applyTies(ModelStore& store, int slot) {
    LayerModel& model = store.layerModel(slot);
    TieTable& ties = store.ties[slot];
    ties.count = 0;
    for (int i = 0; i < model.nlay; ++i) {
        for (int q = PARAM_RHO; q <= PARAM_MAG; ++q) {
            BoundedParam& p = model.entries[i].param(q);
            if (p.fit >= 0) continue;
            long long k = -static_cast<long long>(p.fit) - 1;  // -INT_MIN does not fit an int
            if (k >= i) continue;
            p.value = model.entries[k].param(q).value;
            if (ties.count < MAX_TIES) {
                ties.param[ties.count] = q;
                ties.source[ties.count] = static_cast<int>(k);
                ties.target[ties.count] = i;
                ++ties.count;
            }
        }
    }
}

long long countSlabs(const LayerModel& model) {
    long long count = 0;
    for (int i = 0; i < model.nlay; ++i) {
        const LayerEntry& e = model.entries[i];
        if (e.kind == 0)
            count += 1;
        else if (e.kind == 1 && e.rept > 0)
            count += static_cast<long long>(e.rept) * e.groupSize;
    }
    return count;
}

void buildSlabStack(ModelStore& store, int slot) {
    LayerModel& model = store.layerModel(slot);
    applyTies(store, slot);
    for (int r = 0; r < model.nlay; ++r) computeOpticalConstants(store, slot, r);

    int b = 0;
    for (int i = 0; i < model.nlay && b < MAX_SLABS; ++i) {
        const LayerEntry& row = model.entries[i];
        if (row.kind == 0) {
            model.slabs[b++] = row;
        } else if (row.kind == 1) {
            int m = row.groupSize;
            if (i + m > model.nlay) m = model.nlay - i;  // a group cannot reach past the table
            if (m <= 0) continue;
            // The ramp runs from the first layer's roughness to the last one's over the whole
            // expanded group. A group of one layer repeated once has no ramp (0/0): step 0.
            double copies = static_cast<double>(m) * row.rept - 1.0;
            double step =
                copies > 0.0 ? (model.entries[i + m - 1].sig.value - row.sig.value) / copies : 0.0;
            if (!std::isfinite(step))
                throw NumberError("The roughness ramp of the group at layer " +
                                  std::to_string(i + 1) + " is not finite");
            for (int j = 0; j < row.rept && b < MAX_SLABS; ++j) {
                for (int k = 0; k < m && b < MAX_SLABS; ++k) {
                    LayerEntry& slab = model.slabs[b++];
                    slab = model.entries[i + k];
                    if (row.sigjoin != 0) slab.sig.value += (j * m + k) * step;
                }
            }
        }
    }
    model.layall = b;
}

}  // namespace tolvi
