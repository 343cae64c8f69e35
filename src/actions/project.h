#pragma once

#include <string>

#include "base/status.h"
#include "model/model_store.h"

// Opening and saving a project file (model/project_file.h): a whole workspace in one file.
namespace tolvi {

// Opens the project file `path` into the store, replacing the workspace, and computes what the
// file does not hold: each slot's optical constants, slab stack and curves (with simFit 0 the
// simulated data too), from the file's numbers alone, so that the curves are bit for bit those of
// the workspace that was saved, wherever the parameter, material and data files are now.
// Material files are looked up beside the project afterwards; no fit parameters are kept for
// "Recov". Status -1 "--->Error open file " (FileNotFound); 1 (FileRefused) as readProjectText
// gives it, or for a table that expands to more than MAX_SLABS slabs; 0 (Ok, or Warning for a
// project of a newer version). On any refusal the store is unchanged. Throws NumberError (the
// store unchanged) for a value whose index or curve would not be finite.
Status openProject(ModelStore& store, const std::string& path);

// Writes projectText(store) to `path` safely and, once written, keeps it as the store's project
// source. Status -1 (WriteFailed) when it cannot be written: an old file stays as it was.
Status saveProject(ModelStore& store, const std::string& path);

}  // namespace tolvi
