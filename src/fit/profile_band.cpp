#include "fit/profile_band.h"

#include <algorithm>
#include <vector>

#include "physics/profile.h"
#include "physics/slab_stack.h"

namespace tolvi {

namespace {

// The profile of the slot as the model stands, into the store's profile arrays; its point count.
int profileOf(ModelStore& store, int slot, bool sld) {
    buildSlabStack(store, slot);
    return sld ? computeSldProfile(store, slot) : computeProfile(store, slot);
}

// Linear interpolation of the store's last profile at depth z, its end values beyond its range.
double valueAt(const ModelStore& store, int n, bool sld, double z) {
    const auto& y = sld ? store.profileSldRe : store.profileRho;
    const auto& zs = store.profileZ;
    if (z <= zs[0]) return y[0];
    if (z >= zs[n - 1]) return y[n - 1];
    int hi = static_cast<int>(std::upper_bound(zs.begin(), zs.begin() + n, z) - zs.begin());
    int lo = hi - 1;
    double t = (z - zs[lo]) / (zs[hi] - zs[lo]);
    return y[lo] + t * (y[hi] - y[lo]);
}

}  // namespace

void profileBand(ModelStore& store, const FitState& state, const EnsembleChain& chain, bool sld,
                 ProfileBand& band) {
    band = ProfileBand{};
    const EnsembleShape& shape = chain.shape;
    const long total = static_cast<long>(shape.kept()) * shape.walkers;
    const int slot = store.curfile;
    if (total <= 0 || shape.dims != state.list.npar) return;
    const int count = static_cast<int>(std::min<long>(total, BAND_SAMPLES));
    auto sampleIndex = [&](int k) { return total * k / count; };
    auto write = [&](long i) {
        writeFitParams(store, state, chain.samples.data() + i * shape.dims);
    };

    // The grid: from the deepest start to the highest end of the samples' profiles.
    double zLow = 0.0, zHigh = 0.0;
    bool any = false;
    for (int k = 0; k < count; ++k) {
        write(sampleIndex(k));
        int n = profileOf(store, slot, sld);
        if (n < 2) continue;
        zLow = any ? std::min(zLow, store.profileZ[0]) : store.profileZ[0];
        zHigh = any ? std::max(zHigh, store.profileZ[n - 1]) : store.profileZ[n - 1];
        any = true;
    }
    if (any && zHigh > zLow) {
        for (int j = 0; j < BAND_POINTS; ++j)
            band.z[j] = zLow + (zHigh - zLow) * j / (BAND_POINTS - 1);
        std::vector<double> values(static_cast<size_t>(count) * BAND_POINTS);
        int used = 0;
        for (int k = 0; k < count; ++k) {
            write(sampleIndex(k));
            int n = profileOf(store, slot, sld);
            if (n < 2) continue;
            for (int j = 0; j < BAND_POINTS; ++j)
                values[static_cast<size_t>(j) * count + used] = valueAt(store, n, sld, band.z[j]);
            ++used;
        }
        for (int j = 0; j < BAND_POINTS; ++j) {
            double* column = values.data() + static_cast<size_t>(j) * count;
            std::sort(column, column + used);
            band.p2_5[j] = sortedQuantile(column, used, 0.025);
            band.p15_87[j] = sortedQuantile(column, used, 0.1587);
            band.median[j] = sortedQuantile(column, used, 0.5);
            band.p84_13[j] = sortedQuantile(column, used, 0.8413);
            band.p97_5[j] = sortedQuantile(column, used, 0.975);
        }
        band.points = BAND_POINTS;
        band.samples = used;
    }
    // The model as it was: its values, slab stack and profile.
    writeFitParams(store, state, state.list.x.data());
    profileOf(store, slot, sld);
}

}  // namespace tolvi
