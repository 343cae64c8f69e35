#pragma once

#include <cmath>

// The mathematical, angle and physical constants of the program, each defined here once. The
// values are the program's literals, kept to the last digit: every curve and report depends on
// them bit for bit, so none is recomputed from a formula at compile time.
namespace tolvi {

constexpr double PI = 3.14159265358979323846;
constexpr double TWO_PI = 6.283185307179586;  // 2π, exactly the double of 2.0 * PI
constexpr double FOUR_PI = 4.0 * PI;
constexpr double INV_PI = 0.3183098861837907;  // 1/π
constexpr double LN2 = 0.6931471805599453;

// Degrees and radians (RAD_PER_DEG is also the double of PI / 180).
constexpr double RAD_PER_DEG = 0.017453292519943295;
constexpr double DEG_PER_RAD = 57.29577951308232;

// FWHM to standard deviation of a Gaussian, 1 / (2 sqrt(2 ln 2)).
constexpr double FWHM_TO_SIGMA = 0.42466090826475056;

// Optical constants from material values (wavelength in Å, density in g/cm3, molar mass in
// g/mol). X-rays: the classical electron radius times Avogadro's number over 2π, which makes
// δ = XRAY_FACTOR λ² ρ f1 / M dimensionless.
constexpr double XRAY_FACTOR = 2.7008649e-06;
// Neutrons: Avogadro's number times 1e-29, the scattering length density in 1/Å² from a
// scattering length in fm.
constexpr double NEUTRON_FACTOR = 6.022142e-06;
// NEUTRON_FACTOR times 2.695 fm per Bohr magneton: the magnetic scattering length density.
constexpr double MAGNETIC_FACTOR = 1.62297e-05;

// hc in keV·Å: the photon energy of an X-ray wavelength.
constexpr double HC_KEV_ANGSTROM = 12.398419843320026;

// The glancing angle (radians) of a momentum transfer q (1/Å) at the wavelength lamd (Å):
// asin(λq/4π), the sine held to [-1, 1], so that a q beyond 4π/λ counts as 90 degrees.
inline double thetaOfQ(double lamd, double q) {
    double s = lamd * q * 0.25 * INV_PI;
    if (s > 1.0) s = 1.0;
    if (s < -1.0) s = -1.0;
    return std::asin(s);
}

}  // namespace tolvi
