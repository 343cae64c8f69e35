#pragma once

#include "model/model_store.h"

namespace tolvi {

// n and magTerm of one table entry from its material values, `rho`, `mag` and the slot's probe
// and wavelength. Throws NumberError rather than store a value that is not finite.
void computeOpticalConstants(ModelStore& store, int slot, int entry);

}  // namespace tolvi
