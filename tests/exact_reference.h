#pragma once

// A long-double evaluation of reflectivity curves from the same double inputs the kernels take
// (each slab's δ, β, magnetic term, thickness and roughness, the ambient's δ and β, the
// wavelength and the x values): the reference of the accuracy tests. It forms every quantity the
// kernels form, with 64-bit mantissas: χ = n² - 1 of each medium from δ and β, the wave numbers
// k0 sqrt(χ - χ_ambient + n_ambient² sin²θ), and Parratt's recursion of the local reflection ratio
// with Névot-Croce factors, referred at the end to the bottom of slab 0.

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

namespace tolvi::test {

struct ExactSlab {
    double delta = 0.0;
    double beta = 0.0;
    double magTerm = 0.0;  // the magnetic term (real): δ grows by magMode times it
    double t = 0.0;        // Å
    double sigma = 0.0;    // Å, the roughness of the slab's top interface
};

struct ExactStack {
    std::vector<ExactSlab> slabs;  // slab 0 the substrate
    double ambientDelta = 0.0;
    double ambientBeta = 0.0;
    double lamd = 1.54;
    double magMode = 0.0;
};

using LongComplex = std::complex<long double>;

constexpr long double EXACT_PI = 3.141592653589793238462643383279502884L;

inline LongComplex exactChi(long double delta, long double beta) {
    return {-2.0L * delta + delta * delta - beta * beta, 2.0L * beta * (1.0L - delta)};
}

// sinθ of an x value (already shifted) on an axis, held as the kernels hold the angle: θ at
// 1e-5° (2θ at 2e-5°) from below, on the q axis λq/4π within [sin 1e-6, 1].
inline long double exactSine(int xAxis, double lamd, double x) {
    if (xAxis == 0 || xAxis == 1) {
        long double degrees = xAxis == 0 ? std::max(x, 1e-5) : 0.5L * std::max(x, 2e-5);
        return std::sin(degrees * EXACT_PI / 180.0L);
    }
    long double s = static_cast<long double>(lamd) * x / (4.0L * EXACT_PI);
    return std::clamp(s, std::sin(1e-6L), 1.0L);
}

// R of the stack at one sinθ.
inline long double exactReflectivity(const ExactStack& stack, long double sine) {
    int n = static_cast<int>(stack.slabs.size());
    if (n == 0) return 0.0L;
    long double k0 = 2.0L * EXACT_PI / stack.lamd;
    LongComplex chiAmbient = exactChi(stack.ambientDelta, stack.ambientBeta);
    LongComplex aSq = sine * sine * (1.0L + chiAmbient);
    auto wavenumber = [&](int s) {
        if (s == n) return k0 * std::sqrt(aSq);
        const ExactSlab& slab = stack.slabs[s];
        long double delta = slab.delta + static_cast<long double>(stack.magMode) * slab.magTerm;
        return k0 * std::sqrt(exactChi(delta, slab.beta) - chiAmbient + aSq);
    };
    LongComplex rho = 0.0L;
    long double zTop = 0.0L;
    LongComplex kLo = wavenumber(0);
    for (int s = 0; s < n; ++s) {
        LongComplex kHi = wavenumber(s + 1);
        long double t = stack.slabs[s].t;
        zTop += t;
        if (s > 0) rho *= std::exp(LongComplex(0.0L, 2.0L) * kLo * t);
        long double sigma = stack.slabs[s].sigma;
        LongComplex r = (kHi - kLo) / (kHi + kLo) * std::exp(-2.0L * sigma * sigma * kLo * kHi);
        rho = (r + rho) / (1.0L + r * rho);
        kLo = kHi;
    }
    return std::norm(rho) * std::exp(4.0L * zTop * kLo.imag());
}

// A curve as the kernels form it from the x values: the shift, the four-node divergence average
// (node x values formed in double, as the program forms them), 10^logI0 R + bg held at
// 10^(logI0 - 20) from below.
struct ExactCurveSettings {
    int xAxis = 0;
    double divergence = 0.0;
    double x0_shift = 0.0;
    double logI0 = 0.0;
    double bg = 0.0;
};

inline std::vector<long double> exactCurve(const ExactStack& stack, const ExactCurveSettings& c,
                                           const std::vector<double>& xs) {
    constexpr double NODE_OFFSET[4] = {0.5, -0.5, 1.5, -1.5};
    constexpr long double NODE_WEIGHT[4] = {0.357L, 0.357L, 0.143L, 0.143L};
    double sx = std::fabs(c.divergence) * 0.42466090826475056;
    std::vector<long double> out;
    for (double x : xs) {
        double shifted = x - c.x0_shift;
        long double R = 0.0L;
        if (sx == 0.0) {
            R = exactReflectivity(stack, exactSine(c.xAxis, stack.lamd, shifted));
        } else {
            for (int k = 0; k < 4; ++k)
                R += NODE_WEIGHT[k] *
                     exactReflectivity(
                         stack, exactSine(c.xAxis, stack.lamd, shifted + NODE_OFFSET[k] * sx));
        }
        long double I = std::pow(10.0L, static_cast<long double>(c.logI0)) * R + c.bg;
        out.push_back(std::max(I, std::pow(10.0L, c.logI0 - 20.0L)));
    }
    return out;
}

// The largest relative difference of a curve from its reference, each point's difference taken
// relative to the larger of its reference value and 1e-13 of the reference's largest value.
inline double worstRelativeDifference(const std::vector<double>& curve,
                                      const std::vector<long double>& reference) {
    long double peak = 0.0L;
    for (long double v : reference) peak = std::max(peak, std::fabs(v));
    long double worst = 0.0L;
    for (size_t i = 0; i < curve.size() && i < reference.size(); ++i) {
        long double scale = std::max(std::fabs(reference[i]), 1e-13L * peak);
        if (scale > 0.0L) worst = std::max(worst, std::fabs(curve[i] - reference[i]) / scale);
    }
    return static_cast<double>(worst);
}

}  // namespace tolvi::test
