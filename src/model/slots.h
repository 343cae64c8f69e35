#pragma once

#include <string>

#include "model/model_store.h"
#include "model/status.h"

namespace tolvi {

// The model side of "Load Param": reads `path` into the next free slot (nfile), which becomes
// the current slot, and counts it when the parameter file itself was read (status 0), even if
// the layer set-up or the data reader then failed (their message is in the status). A seventh
// slot is refused before anything is read. Throws NumberError (the slot is then not counted).
Status loadParamSlot(ModelStore& store, const std::string& path);

// The model side of "Template": <programDir>/template/template.par into slot 0, which stays
// uncounted, so the next "Load Param" reads into slot 0 again. Refused while slots are loaded.
Status loadTemplateSlot(ModelStore& store, const std::string& programDir);

// The ambient medium (1 - delta) + i beta above every sample ("Set"). A delta of 1 or more (an
// index of zero or below) or a negative beta (a medium with gain) is refused and the previous
// medium kept.
Status setAmbient(ModelStore& store, double delta, double beta);

// The directory of the running executable, with its trailing separator.
std::string programDirectory();

}  // namespace tolvi
