#pragma once

#include "model/model_store.h"

// The calculated curves of a slot from its slab stack as it stands.
namespace tolvi {

// The R/Rf' reference: while the display mode rRfMode is on, the slot's Fresnel reference curve
// is computed afresh (the ratio needs it); otherwise nothing happens.
void refreshReference(ModelStore& store, int slot);

// The calculated curve of a slot (with `simulate` also into the measured arrays), then
// refreshReference. Throws NumberError rather than store an intensity that is not finite.
void computeCurves(ModelStore& store, int slot, bool simulate);

}  // namespace tolvi
