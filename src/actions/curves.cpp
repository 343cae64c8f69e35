#include "actions/curves.h"

#include "physics/reflectivity.h"

namespace tolvi {

void refreshReference(ModelStore& store, int slot) {
    if (store.rRfMode) computeFresnelReference(store, slot);
}

void computeCurves(ModelStore& store, int slot, bool simulate) {
    computeReflectivity(store, slot, simulate);
    refreshReference(store, slot);
}

}  // namespace tolvi
