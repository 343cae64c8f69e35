#pragma once

#include <array>

#include "fit/ensemble_sampler.h"
#include "fit/fit_params.h"

namespace tolvi {

constexpr int BAND_POINTS = 500;   // depths of the common grid
constexpr int BAND_SAMPLES = 400;  // samples of the chain the band is made of, at most

// The spread of a depth profile over a posterior: on one depth grid, for each depth, the median
// and the 68 % and 95 % central intervals of the profiles of the samples.
struct ProfileBand {
    int points = 0;   // 0: no band (no sample, or no profile)
    int samples = 0;  // profiles the band is made of
    std::array<double, BAND_POINTS> z{};
    std::array<double, BAND_POINTS> p2_5{}, p15_87{}, median{}, p84_13{}, p97_5{};
};

// The density profile (or with `sld` the real SLD) of the current slot for up to BAND_SAMPLES of
// the chain's kept samples, evenly spread over the chain, each interpolated linearly onto a grid
// of BAND_POINTS depths that covers all of them (beyond a profile's own range its end values
// hold). The samples' values are written into the model one after the other; afterwards the
// model holds state.list.x again with its slab stack and profile. Only the slab stack and the
// profile are computed: the curves stay as they were.
void profileBand(ModelStore& store, const FitState& state, const EnsembleChain& chain, bool sld,
                 ProfileBand& band);

}  // namespace tolvi
