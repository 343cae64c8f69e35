#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/model_store.h"

namespace tolvi::fuzz {

// The fuzzer's bytes as the parts of one case, split at lines holding only "=====".
std::vector<std::string> splitParts(const uint8_t* data, size_t size, size_t parts);

// A directory of this process in shared memory (files are written and read every run).
const std::string& workDir();
void writeFile(const std::string& name, const std::string& content);

// Aborts (which the fuzzer reports) when a stored curve or profile of a slot holds a NaN or an
// infinity.
void checkSlotFinite(const ModelStore& store, int slot);

// Reads workDir()/p.par into slot 0 as "Load Param" does and, when it was read, computes the
// profile and checks the slot. A number that cannot be read (or a result that would not be
// finite) ends the load with NumberError, as it should: that is not a failure of the target.
void loadAndCheck(ModelStore& store);

}  // namespace tolvi::fuzz
