#pragma once

#include "model/model_store.h"

namespace tolvi {

// Copies tied values between the table rows of a slot, in table order, and records the ties
// (the first MAX_TIES of them) in the slot's TieTable. A flag -k ties a quantity to table row
// k (1-based) when that row comes earlier; otherwise the flag acts as fixed.
void applyTies(ModelStore& store, int slot);

// The model build of a slot: ties first, then the optical constants of every row (so that a tied
// density reaches the tied row's index in the same build), then the expansion of the table into
// the slab stack with the roughness ramp of joined groups. Sets `layall`. Never reads a file and
// reports nothing; an expansion beyond MAX_SLABS is cut there (the layer set-up refuses such
// tables). Throws NumberError when a value would not be finite.
void buildSlabStack(ModelStore& store, int slot);

// Number of slabs the table of a slot expands to (singles plus rept x size of every group).
long long countSlabs(const LayerModel& model);

}  // namespace tolvi
