#include "physics/materials.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "model/text_io.h"

namespace tolvi {

namespace {

// Classical electron radius x Avogadro's number / 2 pi, in the units that make delta
// dimensionless for lam in Å, rho in g/cm3 and M in g/mol.
constexpr double XRAY_FACTOR = 2.7008649e-06;
// Avogadro's number x 1e-29: scattering length density in 1/Å^2 from fm, g/cm3 and g/mol.
constexpr double NEUTRON_FACTOR = 6.022142e-06;
// NEUTRON_FACTOR x 2.695 fm per Bohr magneton.
constexpr double MAGNETIC_FACTOR = 1.62297e-05;
constexpr double INV_PI = 0.3183098861837907;

constexpr int MATERIAL_LINES = 7;

}  // namespace

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

Status readMaterialFile(ModelStore& store, int slot, int entry) {
    LayerEntry& e = store.layerModel(slot).entries[entry];
    std::string path = store.paramDir + std::string(e.material.view());
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return {1, "--->Error can not find materi"};

    // Seven values; blank lines do not count, so a blank line never repeats the value above it.
    double values[MATERIAL_LINES] = {};
    int found = 0;
    int lineNo = 0;
    char buf[1025];
    try {
        while (found < MATERIAL_LINES && std::fgets(buf, sizeof buf, f)) {
            size_t len = std::strlen(buf);
            bool whole = len > 0 && buf[len - 1] == '\n';
            ++lineNo;
            int count = splitLine(buf, 200, store.tokens);
            // The rest of an over-long line is not a line of its own.
            if (!whole)
                for (int c = std::fgetc(f); c != EOF && c != '\n'; c = std::fgetc(f)) {
                }
            if (std::string_view(buf).find_first_not_of(" \t\r\n") == std::string_view::npos)
                continue;
            LineFields fields(store.tokens, count, placeOf(path, lineNo));
            values[found++] = fields.real(0);
        }
    } catch (...) {
        std::fclose(f);
        throw;
    }
    std::fclose(f);
    if (found < MATERIAL_LINES)
        throw NumberError("Missing number: the material file " + path + " holds " +
                          std::to_string(found) + " of its 7 value lines");
    if (!(values[1] > 0.0)) return {2, "--->Error molar mass not above 0 in " + path};

    e.molarMass = values[1];
    e.f1 = values[2];
    e.f2 = values[3];
    e.bCoh = values[4];
    e.absXs = values[5];
    e.mag.value = values[6];
    computeOpticalConstants(store, slot, entry);
    return {0, "--->OK"};
}

}  // namespace tolvi
