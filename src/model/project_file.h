#pragma once

#include <string>
#include <string_view>

#include "base/status.h"
#include "model/model_store.h"

// The project file (".tolvi"): a whole workspace as JSON, so that it reopens without the
// parameter, material and data files it was made from. Its layout:
//     {"format": "tolvi-project", "version": 1, "ambient", "ambientSld", "rRfMode", "curfile",
//      "fitSettings", "slots": [{"paramPath", "dataPath", "simFit", "nlay", "data",
//      "pointErrors", "pointResolution", "dataHeader", "options", "layers": [...]}, ...]}
// Keys are written sorted, so that the same workspace always gives the same text.
namespace tolvi {

// The version this program writes; a file of a later version is read for what it shares.
constexpr int PROJECT_VERSION = 1;

// The slots of the workspace, 0 to the returned count - 1: slots 0 to nfile - 1, or slot 0
// alone when no slot is counted but the template was read into it (nlay > 0); 0 when empty.
int workspaceSlots(const ModelStore& store);

// The project text of the workspace (the slots of workspaceSlots). The data as loaded is kept, the
// calculated curves are not (opening computes them). When `projectSource` holds the text of the
// project last opened or saved, the current state is laid over it, so that keys this version
// does not know survive. Pretty-printed, ending in a newline. Never throws for a store that holds
// only finite numbers.
std::string projectText(const ModelStore& store);

// Reads a project text (of the file `path`, named in messages) into the store, replacing the
// workspace: the file's slots become slots 0.., nfile their number, the other slots are emptied,
// curfile is the file's, held to the slots, and projectSource the text. Nothing is computed: the
// optical constants, slab stacks and curves are the caller's (actions/project.h). Status 0
// (Ok, or Warning for a file of a later version); 1 (FileRefused) for text that is not JSON, is
// not a project, or has a key missing, of the wrong type or outside what the parameter-file and
// data readers accept; the message names the key ("slots[1].data.lamd"). A refused text leaves the
// store as it was.
Status readProjectText(ModelStore& store, std::string_view text, const std::string& path);

// Whether the file at `path` is a project file, by its content (a JSON object whose "format" is
// "tolvi-project"), whatever its name. Reads no further than that key; never throws.
bool isProjectFile(const std::string& path) noexcept;

// Replaces the workspace of `store` by that of `from`: the slots with their computed state, the
// ambient medium, the display mode, the fit's settings and the project source. What is not the
// workspace's (the directories of the last loads, the token table, the profile) stays, and the
// fit parameters kept for "Recov" are forgotten.
void takeWorkspace(ModelStore& store, const ModelStore& from);

}  // namespace tolvi
