#pragma once

#include <string>
#include <vector>

#include "base/status.h"
#include "model/model_store.h"
#include "model/orso_writer.h"

// The workspace written as an ORSO reflectivity file (model/orso_writer.h): one data set per slot
// of the workspace (workspaceSlots: slots 0 to nfile - 1, or the template read into slot 0).
namespace tolvi {

// The data set of a slot: every point as loaded (x without x0_shift), Qz = 4π sinθ / λ from θ or
// 2θ (held as the curve holds the angle; on the q axis x itself), R the measured intensity yLin
// (the simulated one for a simulated curve), sR the 1σ errors read from the data file, sQz the
// 1σ resolution column read from it in 1/Å (σ_q = 4π/λ cosθ σ_θ on the angle axes, unscaled),
// Rcalc the calculated curve calcLin; the slot's probe, wavelength, 10^logI0, background and
// expanded slab stack.
OrsoDataSet orsoDataSet(const ModelStore& store, int slot);

// The text of the workspace's ORSO file, written by Tolvi `version` at `timestamp`.
std::string orsoWorkspaceText(const ModelStore& store, const OrsoCreation& creation);

// The local time of now in ISO 8601 with its offset from UTC ("2026-01-02T03:04:05+01:00").
std::string isoTimestamp();

// Writes the workspace's ORSO file to `path` through writeFileSafely, stamped with this
// program's version and the time of now. Status 0 "--->OK, wrote N data set(s) to PATH"; 1
// (Refused) for an empty workspace, nothing written; -1 (WriteFailed) when the file cannot be
// written, an old file left as it was.
Status writeOrsoFile(const ModelStore& store, const std::string& path);

}  // namespace tolvi
