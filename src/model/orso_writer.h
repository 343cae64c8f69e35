#pragma once

#include <string>
#include <vector>

#include "model/model_store.h"

// The text of an ORSO reflectivity file (".ort") as Tolvi writes it: the first line "# # ORSO
// reflectivity data file | 1.1 standard | ...", a header of YAML behind "# " (emitted by
// yaml-cpp) and five columns in "%-22.16e" (17 significant digits, so that every number reads
// back to the same double): Qz (1/Å), R, sR (σ), sQz (σ, 1/Å) and the model's curve Rcalc;
// "nan" where sR or sQz is not known. Each further data set starts with a "# data_set: N" line
// whose block repeats the keys that differ between data sets (probe, wavelength, sample model,
// scale and background); a reader lays it over data set 0's header.
namespace tolvi {

// One slab of the sample model in the ORSO model language: a name unique in its stack, the
// thickness and the roughness of its top interface (Å), and the SLD (1/Å², the imaginary part
// positive where the medium absorbs). The ambient medium has neither thickness nor roughness,
// the substrate no thickness.
struct OrsoSlab {
    std::string name;
    bool hasThickness = true;
    bool hasRoughness = true;
    double thickness = 0.0;
    double roughness = 0.0;
    double sldRe = 0.0;
    double sldIm = 0.0;
};

// One data set of the file: the points (q in 1/Å, R and Rcalc as intensities, sR and sQz as 1σ;
// sR or sQz empty when not known) and what the header says of them.
struct OrsoDataSet {
    std::string title;            // the parameter file's name, or "Tolvi workspace"
    std::string dataFile;         // the data file read; empty for a simulated curve
    int probe = 0;                // 0 X-ray, 1 neutron
    double wavelength = 0.0;      // Å
    double scale = 1.0;           // the model's intensity scale 10^logI0
    double background = 0.0;      // the model's background, in the unit of R
    std::vector<OrsoSlab> stack;  // from the ambient medium down to the substrate
    std::vector<double> q;
    std::vector<double> r;
    std::vector<double> sr;
    std::vector<double> sq;
    std::vector<double> calc;
};

// Who wrote the file and when: Tolvi's version and the local time of writing in ISO 8601
// ("2026-01-02T03:04:05+01:00").
struct OrsoCreation {
    std::string version;
    std::string timestamp;
};

// The sample model of a slot in the ORSO model language: the ambient medium (ambientOf), then
// the expanded slab stack from the top slab down to the substrate (slab 0), each slab's SLD
// 2π δ / λ² and 2π β / λ² of the medium that the slot's polarisation sees, as the SLD profile
// takes it. Slab names are the material's (letters, digits and "_" kept, ".mf" dropped) and the
// slab's index, so that they are unique ("Si_0" for the substrate).
std::vector<OrsoSlab> orsoStack(const ModelStore& store, int slot);

// The text of the file holding `sets` (at least one). Never throws for finite numbers.
std::string orsoText(const std::vector<OrsoDataSet>& sets, const OrsoCreation& creation);

}  // namespace tolvi
