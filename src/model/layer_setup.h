#pragma once

#include <vector>

#include "model/model_store.h"
#include "model/status.h"
#include "model/text_io.h"

namespace tolvi {

// Turns the entry blocks of a parameter file into the layer table of a slot: `count` blocks of
// five lines starting at lines[first]. Classifies each entry by its identifier ("S..." single,
// a run of identical "G..." identifiers a group), reads its four parameters and its material
// file, and finally builds the slab stack. Status 0 "setlay OK!", or 1 with the message of the
// first failure. Throws NumberError for a number field that cannot be read.
Status setupLayers(ModelStore& store, int slot, int count, const std::vector<CountedLine>& lines,
                   int first, const std::string& path);

}  // namespace tolvi
