#pragma once

#include <string>
#include <vector>

#include "base/status.h"
#include "base/text_io.h"
#include "model/model_store.h"

namespace tolvi {

// The entry blocks of a parameter file read into the layer table of a slot, one entry at a time
// (the load reads each entry's material file before the next entry): block k is the five lines
// from lines[first + 5k]. An entry is classified by its identifier ("S..." a single layer, a run
// of identical "G..." identifiers a group, whose first line also gives rept and sigjoin) and its
// four parameter lines are read with their fixed finite-difference steps.
class EntryReader {
  public:
    EntryReader(ModelStore& store, int slot, const std::vector<CountedLine>& lines, int first,
                std::string path)
        : store_(store), slot_(slot), lines_(lines), first_(first), path_(std::move(path)) {}

    // Entry k, for k = 0, 1, ... in turn. Status 1 (FileRefused) "--->Error layer type S or G" or
    // "--->Error no material name for layer K (in FILE, line L)". Throws NumberError for a number
    // field that cannot be read.
    Status read(int k);

  private:
    ModelStore& store_;
    int slot_;
    const std::vector<CountedLine>& lines_;
    int first_;
    std::string path_;
    std::string previousId_;
    int groupFirst_ = 0;
    int groupSize_ = 0;
};

}  // namespace tolvi
