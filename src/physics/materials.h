#pragma once

#include "model/model_store.h"
#include "model/status.h"

namespace tolvi {

// Reads the material file of entry `entry` of slot `slot`: the file named by the entry's
// `material` in the store's parameter directory, seven non-blank lines of which the first
// number of each is used (line 1 is discarded; then molar mass g/mol, f1, f2, bCoh fm,
// absXs barn, magnetic moment). Sets the material values and `mag`, then the optical constants.
// Status 1: the file cannot be opened; 2: a molar mass that is not above zero (message names the
// material). Throws NumberError for a line that is not a number or a file of fewer lines.
Status readMaterialFile(ModelStore& store, int slot, int entry);

// n and magTerm of one table entry from its material values, `rho`, `mag` and the slot's probe
// and wavelength. Throws NumberError rather than store a value that is not finite.
void computeOpticalConstants(ModelStore& store, int slot, int entry);

}  // namespace tolvi
