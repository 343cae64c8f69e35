#include "physics/optics.h"

#include <cmath>
#include <string>

#include "base/constants.h"
#include "base/status.h"

namespace tolvi {

void computeOpticalConstants(ModelStore& store, int slot, int entry) {
    const DataSet& d = store.dataSet(slot);
    LayerEntry& e = store.layerModel(slot).entries[entry];
    double rho = e.rho.value;
    double M = e.molarMass;
    double lam = d.lamd;

    if (d.probe == 0) {
        double m = XRAY_FACTOR * lam * lam * rho / M;
        Medium medium{m * e.f1, m * e.f2};
        Complex n = medium.index();
        if (!isFinite(n))
            throw NumberError("The refractive index of layer " + std::to_string(entry + 1) + " (" +
                              std::string(e.material.view()) + ") is not finite");
        e.n = n;
        e.medium = medium;
        e.magTerm = {0.0, 0.0};
    } else if (d.probe == 1) {
        double Nb = NEUTRON_FACTOR * rho * e.bCoh / M;
        double Nbi = NEUTRON_FACTOR * rho * e.absXs * 0.5 / lam / M * 0.001;
        double Nm = MAGNETIC_FACTOR * rho * e.mag.value / M;
        double tau = lam * lam * 0.5 * INV_PI;
        Medium medium{tau * Nb, tau * Nbi};
        Complex n = medium.index();
        Complex magTerm{tau * Nm, 0.0};
        if (!isFinite(n) || !isFinite(magTerm))
            throw NumberError("The refractive index of layer " + std::to_string(entry + 1) + " (" +
                              std::string(e.material.view()) + ") is not finite");
        e.n = n;
        e.medium = medium;
        e.magTerm = magTerm;
    } else {
        // No probe: an index of 0 (δ = 1), as the index has always been set here.
        e.n = {0.0, 0.0};
        e.medium = {1.0, 0.0};
    }
}

}  // namespace tolvi
