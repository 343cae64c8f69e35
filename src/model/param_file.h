#pragma once

#include <string>

#include "base/status.h"
#include "base/text_io.h"
#include "model/model_store.h"

namespace tolvi {

// Counted lines of a parameter file: 12 header lines and 5 per layer-table entry.
constexpr int PARAM_HEADER_LINES = 12;
constexpr int PARAM_BLOCK_LINES = 5;
constexpr int MAX_PARAM_LINES = PARAM_HEADER_LINES + PARAM_BLOCK_LINES * MAX_ENTRIES;

// The lines of a parameter file and the number of entry blocks after its header.
struct ParamFileLines {
    LineList list;
    int entries = 0;
};

// The first step of reading the parameter file named by the slot's `paramPath`: its counted
// lines into `file`, then the header settings, the data file name and the three scalar
// parameters into the slot, whose layer counts are set to 0; sets the store's parameter
// directory. The entry blocks are left to the layer set-up. Status -1 "--->Error open file "
// (FileNotFound, nothing read); 1 (FileRefused) for a wrong line count or a header value outside
// its set, the slot unchanged; 0 "--->OK". Throws NumberError for a number that cannot be read.
Status readParamHeader(ModelStore& store, int slot, ParamFileLines& file);

// The text of a slot as a parameter file, in the exact formats of the format (model values,
// not table cells). Every line stays within the 99 characters a reader takes as one line.
std::string formatParamFile(const ModelStore& store, int slot);

// Writes formatParamFile(slot) to path safely: on failure the old file stays untouched.
Status writeParamFile(const ModelStore& store, int slot, const std::string& path);

}  // namespace tolvi
