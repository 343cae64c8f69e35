#pragma once

#include <string>
#include <vector>

#include "base/status.h"
#include "base/text_io.h"
#include "model/model_store.h"

// Loading a slot: the sequence that reads a parameter file, sets up its layers (entries, material
// files, optical constants, slab stack), reads its data and computes its curves.
namespace tolvi {

// The material of one table entry: its material file, then (when it was read) its optical
// constants. Status as readMaterialFile gives it; throws NumberError as it and
// computeOpticalConstants do.
Status readMaterial(ModelStore& store, int slot, int entry);

// The layer set-up of a slot from `count` entry blocks of a parameter file starting at
// lines[first]: each entry, then its material file and its optical constants, in table order;
// then the slab stack. Status 0 "setlay OK!", or 1 with the message of the first failure
// (FileRefused; FileNotFound "--->Error can not find materi" for a missing material file).
// Throws NumberError for a number field that cannot be read or a value that is not finite.
Status setupLayers(ModelStore& store, int slot, int count, const std::vector<CountedLine>& lines,
                   int first, const std::string& path);

// The data reader of a slot, then (when it found its file) the calculated curve and, in R/Rf'
// mode, the reference. Status and exceptions as readData and computeCurves give them; where the
// reader had nothing to say, a pointwise resolution adds a warning when it replaces a divergence
// that is not 0, or when its grid had to be made coarser than its accuracy asks.
Status readDataAndCurves(ModelStore& store, int slot);

// Reads the parameter file named by the slot's `paramPath` into the slot: header, layer set-up
// and, when that succeeds, the data and the curves. Status -1 or 1 as readParamHeader gives them
// (nothing of the layers read); otherwise 0 with the message and outcome of the set-up when it
// failed, else of the data reader. Throws NumberError for a number that cannot be read.
Status readParamFile(ModelStore& store, int slot);

// The model side of "Load Param": reads `path` into the next free slot (nfile), which becomes
// the current slot, and counts it when the parameter file itself was read (status 0), even if
// the layer set-up or the data reader then failed (their message and outcome are in the status).
// A seventh slot is refused (Refused) before anything is read. Throws NumberError (the slot is
// then not counted).
Status loadParamSlot(ModelStore& store, const std::string& path);

// The model side of "Template": <programDir>/template/template.par into slot 0, which stays
// uncounted, so the next "Load Param" reads into slot 0 again. Refused while slots are loaded.
Status loadTemplateSlot(ModelStore& store, const std::string& programDir);

}  // namespace tolvi
