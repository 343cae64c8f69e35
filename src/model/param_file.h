#pragma once

#include <string>

#include "model/model_store.h"
#include "model/status.h"

namespace tolvi {

// Counted lines of a parameter file: 12 header lines and 5 per layer-table entry.
constexpr int PARAM_HEADER_LINES = 12;
constexpr int PARAM_BLOCK_LINES = 5;
constexpr int MAX_PARAM_LINES = PARAM_HEADER_LINES + PARAM_BLOCK_LINES * MAX_ENTRIES;

// Reads the parameter file named by the slot's `paramPath` into the slot: header settings, data
// file name, the three scalar parameters, then the layer set-up (materials and slab stack) and,
// when that succeeds, the data reader. Sets the store's parameter directory.
// Status -1 "--->Error open file " (nothing read), 1 for a wrong line count or a header value
// outside its set (the slot unchanged), 0 otherwise: the message then tells whether the set-up
// and the data reader succeeded. Throws NumberError for a number that cannot be read.
Status readParamFile(ModelStore& store, int slot);

// The text of a slot as a parameter file, in the exact formats of the format (model values,
// not table cells). Every line stays within the 99 characters a reader takes as one line.
std::string formatParamFile(const ModelStore& store, int slot);

// Writes formatParamFile(slot) to path safely: on failure the old file stays untouched.
Status writeParamFile(const ModelStore& store, int slot, const std::string& path);

}  // namespace tolvi
