#pragma once

#include <string>
#include <string_view>

#include "base/complex.h"
#include "base/constants.h"
#include "base/status.h"

namespace tolvi {

// The seven values of a material file, in its line order.
struct MaterialValues {
    double wavelength = 0.0;  // Å; line 1, which readers discard, records it
    double molarMass = 0.0;   // g/mol of one formula unit
    double f1 = 0.0;     // X-ray f1 = Σ n (Z + f') of the formula unit at `wavelength`, electrons
    double f2 = 0.0;     // X-ray f2 = Σ n f'' at `wavelength`, electrons
    double bCoh = 0.0;   // neutron coherent scattering length of the formula unit, fm
    double absXs = 0.0;  // neutron absorption cross-section at `wavelength`, barn
    double mag = 0.0;    // magnetic moment, Bohr magnetons per formula unit
};

struct [[nodiscard]] MaterialResult {
    Status status;
    MaterialValues values;
};

// The longest formula accepted: with its number, a comment line naming it stays within the
// 199 characters the material-file reader looks at.
constexpr int MAX_FORMULA_LENGTH = 100;

// The material values of `formula` at `wavelength` (Å) with the moment `mag` (Bohr magnetons
// per formula unit). A formula is a sequence of element symbols ("Si", "D" for deuterium), each
// with an optional count (an integer or decimal above 0: "Al2O3", "Fe0.8Ni0.2"), and groups in
// parentheses with a count ("Ca(OH)2"). X-ray factors come from xraylib (f1 = Z + Fi,
// f2 = -Fii, at E = 12.398419843320026 / wavelength keV); atomic weights and neutron values from
// the compiled-in element table (neutron_table.cpp). The absorption cross-section is the
// tabulated 2200 m/s value scaled by wavelength / 1.798 (1/v law), so that the absorption term of
// computeOpticalConstants, which divides absXs by the wavelength, is right at the wavelength of
// use. Status 1: a malformed formula or an unknown element; 2: a wavelength not above 0 or
// outside xraylib's tables, or a moment that is not finite; 3: an element without neutron data.
// Messages start with "--->Error". Never prints; safe to call from several threads at once
// (xraylib 4 keeps its tables constant and reports errors through each call's own record).
MaterialResult calculateMaterial(std::string_view formula, double wavelength, double mag = 0.0);

// The material values that give exactly the medium `medium` (δ and β) at `wavelength` (Å) and a
// density of 1 g/cm3, for X-rays and neutrons alike: molar mass 1, f1 and f2 by the X-ray
// relation δ = 2.7008649e-06 λ² ρ f1 / M, bCoh and absXs by the neutron relations of the optical
// constants, no magnetic moment. Status 2 (Refused): a wavelength not above 0 or values that are
// not finite; 1: a negative β (a medium with gain).
MaterialResult materialOfMedium(Medium medium, double wavelength);

// The material file of such values, every number in "%.17g" so that it reads back to the same
// medium, with `description` (what it gives) in the comments.
std::string mediumFileText(const MaterialValues& values, std::string_view description);

// The material file of `values`: seven lines, each a number and a comment after ";" naming the
// quantity and `formula`.
std::string materialFileText(std::string_view formula, const MaterialValues& values);

}  // namespace tolvi
