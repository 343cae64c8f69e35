#pragma once

#include "model/model_store.h"

namespace tolvi {

// The density depth profile of a slot from its slab stack, every interface smeared by its
// roughness (erfc), into the store's profileZ/profileRho (g/cm3 against z in Å, z = 0 at the top
// of the substrate, growing toward the surface). The grid step is a whole number of Å chosen so
// that at most 1000 points cover ten roughnesses below the substrate surface to ten above the
// top. Returns the point count (also stored in nprofile): 0 for an empty stack or a depth <= 0.
int computeProfile(ModelStore& store, int slot);

// The scattering length density profile of a slot on the same grid, into profileZ, profileSldRe
// and profileSldIm: the real and imaginary SLD in 1e-6 1/Å², 2π δ / λ² and 2π β / λ² of each slab
// as the slot's polarisation sees it, smeared as the density is. Returns the point count (also
// nprofile).
int computeSldProfile(ModelStore& store, int slot);

}  // namespace tolvi
