#!/usr/bin/env python3
"""Makes the material files of examples/materials/ with tolvi-cli, deterministically.

    python3 tools/make_examples.py build/bin/tolvi-cli

One file per formula of FORMULAS (named after it, "SiO2.mf") for each wavelength of
WAVELENGTHS, in a folder of its own. Densities are not part of a material file: the README beside
the files lists the usual ones.
"""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.join(os.path.dirname(HERE), "examples", "materials")

# folder: wavelength (Å), as diffractometers usually state them: Cu K-alpha1, and for Mo the
# K-alpha1/K-alpha2 doublet weighted 2:1.
WAVELENGTHS = {"CuKa": 1.5406, "MoKa": 0.7107}

FORMULAS = ["Si", "SiO2", "Al2O3", "Au", "Pt", "W", "Ni", "Fe", "Co", "Ti", "Ta", "Cr", "Cu",
            "Ag", "B4C", "C", "Mo", "Ru", "MgO", "TiO2", "GaAs"]


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    cli = os.path.abspath(argv[1])
    for folder, wavelength in WAVELENGTHS.items():
        directory = os.path.join(EXAMPLES, folder)
        os.makedirs(directory, exist_ok=True)
        for formula in FORMULAS:
            subprocess.run([cli, "material", formula, "--wavelength", repr(wavelength),
                            "-o", os.path.join(directory, formula + ".mf")],
                           capture_output=True, check=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
