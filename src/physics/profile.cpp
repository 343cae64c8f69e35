#include "physics/profile.h"

#include <array>
#include <cmath>

#include "base/constants.h"

namespace tolvi {

namespace {

constexpr double SQRT2 = 1.4142135623730951;

// E(u) = erfc(u) / 2 at u = d / (sqrt(2) sigma). A roughness of exactly 0 is a sharp edge; at
// the edge itself the smooth limit 1/2 is taken (d / 0 would be 0/0 there).
double edge(double d, double sigma) {
    if (sigma == 0.0) return d > 0.0 ? 0.0 : d < 0.0 ? 1.0 : 0.5;
    return 0.5 * std::erfc(d / (SQRT2 * sigma));
}

// Grid index range [lo, hi] of a contribution, cut to the profile's capacity before any
// conversion, so that a huge roughness cannot make a loop of 10^13 steps.
struct IndexRange {
    int lo = 0;
    int hi = -1;
};
IndexRange cutRange(double lo, double hi) {
    lo = std::trunc(lo);
    hi = std::trunc(hi);
    if (!(lo <= hi) || hi < 0.0 || lo > MAX_PROFILE - 1) return {};
    return {static_cast<int>(std::fmax(lo, 0.0)),
            static_cast<int>(std::fmin(hi, MAX_PROFILE - 1.0))};
}

}  // namespace

namespace {

// The profile of one quantity of the slabs (`value` of a slab) on the grid of the density
// profile, accumulated into `v` (zeroed first) with the grid's z into `z`. Returns the count.
template <class Value>
int accumulateProfile(const LayerModel& model, Value value, std::array<double, MAX_PROFILE>& z,
                      std::array<double, MAX_PROFILE>& v) {
    z.fill(0.0);
    v.fill(0.0);
    int n = model.layall;
    if (n <= 0) return 0;

    const LayerEntry* slabs = model.slabs.data();
    double sigma0 = slabs[0].sig.value;
    double v0 = value(slabs[0]);
    double sigmaTop = slabs[n - 1].sig.value;
    double inner = 0.0;
    for (int j = 1; j < n; ++j) inner += slabs[j].t.value;
    double depth = 10.0 * sigma0 + inner + 10.0 * sigmaTop;
    if (!(depth > 0.0) || !std::isfinite(depth)) return 0;

    double h = std::ceil(depth / MAX_PROFILE);
    double count = std::trunc(depth / h + 1.0);
    double z0 = -10.0 * sigma0;

    // The substrate, from ten roughnesses below its surface to six above.
    double substrateLast = std::trunc(16.0 * sigma0 / h);
    IndexRange sub = cutRange(0.0, substrateLast);
    for (int i = sub.lo; i <= sub.hi; ++i) {
        double zi = z0 + i * h;
        z[i] = zi;
        v[i] += v0 * (sigma0 > 0.0 ? edge(zi, sigma0) : 1.0);
    }
    if (n == 1) count = substrateLast;

    // Each layer within six roughnesses of its interfaces (ten above the top layer).
    double zb = 0.0;
    for (int j = 1; j < n; ++j) {
        double zt = zb + slabs[j].t.value;
        double sigmaB = slabs[j - 1].sig.value;
        double sigmaT = slabs[j].sig.value;
        double vj = value(slabs[j]);
        double k = j == n - 1 ? 10.0 : 6.0;
        IndexRange r = cutRange((zb - 6.0 * sigmaB - z0) / h, (zt + k * sigmaT - z0) / h);
        for (int i = r.lo; i <= r.hi; ++i) {
            double zi = z0 + i * h;
            double factor = 1.0;
            if (sigmaB >= 0.0 && sigmaT >= 0.0)
                factor = std::fmax(0.0, edge(zi - zt, sigmaT) - edge(zi - zb, sigmaB));
            z[i] = zi;
            v[i] += vj * factor;
        }
        zb = zt;
    }
    return static_cast<int>(std::fmax(0.0, std::fmin(count, MAX_PROFILE)));
}

}  // namespace

int computeProfile(ModelStore& store, int slot) {
    store.nprofile = accumulateProfile(
        store.layerModel(slot), [](const LayerEntry& e) { return e.rho.value; }, store.profileZ,
        store.profileRho);
    return store.nprofile;
}

int computeSldProfile(ModelStore& store, int slot) {
    const DataSet& d = store.dataSet(slot);
    // SLD = 2π δ / λ² of the medium the slot's polarisation sees, in 1e-6 1/Å².
    double scale = TWO_PI / (d.lamd * d.lamd) * 1e6;
    double p = d.magMode;
    auto re = [&](const LayerEntry& e) { return scale * effectiveMedium(e, p).delta; };
    auto im = [&](const LayerEntry& e) { return scale * effectiveMedium(e, p).beta; };
    const LayerModel& model = store.layerModel(slot);
    accumulateProfile(model, im, store.profileZ, store.profileSldIm);
    store.nprofile = accumulateProfile(model, re, store.profileZ, store.profileSldRe);
    return store.nprofile;
}

}  // namespace tolvi
