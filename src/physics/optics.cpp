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
        Complex n{1.0 - m * e.f1, m * e.f2};
        if (!isFinite(n))
            throw NumberError("The refractive index of layer " + std::to_string(entry + 1) + " (" +
                              std::string(e.material.view()) + ") is not finite");
        e.n = n;
        e.magTerm = {0.0, 0.0};
    } else if (d.probe == 1) {
        double Nb = NEUTRON_FACTOR * rho * e.bCoh / M;
        double Nbi = NEUTRON_FACTOR * rho * e.absXs * 0.5 / lam / M * 0.001;
        double Nm = MAGNETIC_FACTOR * rho * e.mag.value / M;
        double tau = lam * lam * 0.5 * INV_PI;
        Complex n{1.0 - tau * Nb, tau * Nbi};
        Complex magTerm{tau * Nm, 0.0};
        if (!isFinite(n) || !isFinite(magTerm))
            throw NumberError("The refractive index of layer " + std::to_string(entry + 1) + " (" +
                              std::string(e.material.view()) + ") is not finite");
        e.n = n;
        e.magTerm = magTerm;
    } else {
        e.n = {0.0, 0.0};
    }
}

}  // namespace tolvi
