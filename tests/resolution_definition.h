#pragma once

// The averaged curve by its definition, for the tests and the benchmark: each point's
// ∫ R N / ∫ N over [max(0, q - 3.5σ), q + 3.5σ] by an adaptive Gauss-Legendre rule of its own on
// the plain transfer matrix, with the footprint fraction from the beam profile's formulas.
#include <algorithm>
#include <cmath>
#include <vector>

#include "base/constants.h"
#include "model/model_store.h"
#include "physics/reflectivity_fast.h"
#include "physics/resolution.h"

namespace tolvi::test {

// Gauss-Legendre nodes and weights on [-1, 1] (Newton's iteration on P_n, in long double).
struct Rule {
    std::vector<double> t, w;
};
inline Rule legendre(int n) {
    Rule r;
    for (int i = 0; i < n; ++i) {
        long double t = std::cos(PI * (i + 0.75) / (n + 0.5)), d = 1;
        for (int it = 0; it < 100; ++it) {
            long double p0 = 1, p1 = t;
            for (int k = 2; k <= n; ++k) {
                long double p2 = ((2 * k - 1) * t * p1 - (k - 1) * p0) / k;
                p0 = p1;
                p1 = p2;
            }
            d = n * (t * p1 - p0) / (t * t - 1);
            t -= p1 / d;
        }
        r.t.push_back(static_cast<double>(t));
        r.w.push_back(static_cast<double>(2 / ((1 - t * t) * d * d)));
    }
    return r;
}

// The footprint fractions as the formulas of a beam profile give them.
inline double gaussianBeamFraction(double sample, double sine, double fwhm) {
    return std::erf(std::sqrt(std::log(2.0)) * sample * sine / fwhm);
}
inline double uniformBeamFraction(double sample, double sine, double width) {
    return std::min(1.0, sample * sine / width);
}

// R at q on the slot's stack by the plain transfer matrix, times the footprint fraction.
inline double reflectivityAt(const ModelStore& store, int slot, double q) {
    const DataSet& d = store.dataSet(slot);
    double sine = std::min(1.0, d.lamd * q / FOUR_PI);
    double R = slabReflectivityPlain(store, slot, std::asin(std::max(sine, std::sin(1e-6))));
    const FootprintSettings& fp = store.dataOptions[slot].footprint;
    if (fp.kind == FootprintKind::Gaussian)
        return R * gaussianBeamFraction(fp.sample, sine, fp.beam.value);
    if (fp.kind == FootprintKind::Uniform)
        return R * uniformBeamFraction(fp.sample, sine, fp.beam.value);
    return R;
}

// ∫ R N and ∫ N over [lo, hi], adaptively: a 16- and a 32-node rule, and halves where they
// differ (R below a critical edge has guided-mode dips far narrower than the window).
inline void integrate(const ModelStore& store, int slot, double centre, double sigma, double lo,
               double hi, int depth, double& num, double& den) {
    static const Rule rule16 = legendre(16), rule32 = legendre(32);
    double mid = 0.5 * (lo + hi), half = 0.5 * (hi - lo);
    double n[2] = {0, 0}, g[2] = {0, 0};
    const Rule* rules[2] = {&rule16, &rule32};
    for (int r = 0; r < 2; ++r) {
        for (size_t k = 0; k < rules[r]->t.size(); ++k) {
            double q = mid + half * rules[r]->t[k];
            double u = (q - centre) / sigma;
            double weight = half * rules[r]->w[k] * std::exp(-0.5 * u * u);
            n[r] += weight * reflectivityAt(store, slot, q);
            g[r] += weight;
        }
    }
    if (depth >= 30 || std::fabs(n[1] - n[0]) <= 1e-13 * sigma) {
        num += n[1];
        den += g[1];
        return;
    }
    integrate(store, slot, centre, sigma, lo, mid, depth + 1, num, den);
    integrate(store, slot, centre, sigma, mid, hi, depth + 1, num, den);
}

// The substrate's critical edge q_c = 4π/λ sqrt(-Re χ) under the default ambient.
inline double edgeOf(const ModelStore& store) {
    const DataSet& d = store.dataSet(0);
    double chi = store.layerModel(0).slabs[0].medium.chi().re;
    return chi < 0 ? FOUR_PI / d.lamd * std::sqrt(-chi) : 0.0;
}

// The definition: ∫ R N / ∫ N over [max(0, q - 3.5σ), q + 3.5σ], with q and σ of the point as
// the program defines them (checked on their own below): the window in 16 panels, cut at the
// critical edge with panels halving towards it, each integrated adaptively.
inline double definition(const ModelStore& store, int i) {
    const DataSet& d = store.dataSet(0);
    PointWidth pw = resolutionOfPoint(store, 0, i, d.x0_shift.value);
    double sigma = pw.sigma * store.dataOptions[0].resolution.scale.value;
    if (sigma == 0.0) return reflectivityAt(store, 0, pw.q);
    double a = std::max(0.0, pw.q - 3.5 * sigma), b = pw.q + 3.5 * sigma;
    std::vector<double> cuts;
    for (int k = 0; k <= 16; ++k) cuts.push_back(a + (b - a) * k / 16);
    double edge = edgeOf(store);
    if (edge > a && edge < b) {
        for (int k = 0; k < 40; ++k) {
            cuts.push_back(edge - (edge - a) * std::ldexp(1.0, -k));
            cuts.push_back(edge + (b - edge) * std::ldexp(1.0, -k));
        }
        cuts.push_back(edge);
    }
    std::sort(cuts.begin(), cuts.end());
    double num = 0, den = 0;
    for (size_t c = 0; c + 1 < cuts.size(); ++c)
        if (cuts[c + 1] > cuts[c])
            integrate(store, 0, pw.q, sigma, cuts[c], cuts[c + 1], 0, num, den);
    return num / den;
}

}  // namespace tolvi::test
