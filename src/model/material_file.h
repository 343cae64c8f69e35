#pragma once

#include "base/status.h"
#include "model/model_store.h"

namespace tolvi {

// Reads the material file of entry `entry` of slot `slot`: the file named by the entry's
// `material` in the store's parameter directory, seven non-blank lines of which the first
// number of each is used (line 1 is discarded; then molar mass g/mol, f1, f2, bCoh fm,
// absXs barn, magnetic moment). Sets the material values and `mag`; the optical constants are
// the physics' to compute. Status 1 (FileNotFound): the file cannot be opened; 2 (FileRefused):
// a molar mass that is not above zero (message names the material). Throws NumberError for a
// line that is not a number or a file of fewer lines.
Status readMaterialFile(ModelStore& store, int slot, int entry);

}  // namespace tolvi
