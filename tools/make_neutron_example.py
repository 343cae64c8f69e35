#!/usr/bin/env python3
"""Makes examples/neutron/ from a recorded true model, deterministically.

    python3 tools/make_neutron_example.py build/bin/tolvi-cli

A neutron reflectivity measurement through a silicon block (the fronting medium, SLD 2.07e-6
1/Å²) onto a film of SLD 3.5e-6 1/Å² on heavy water (SLD 6.36e-6 1/Å², the substrate, so the
"substrate" of the table is the D2O below the film): 300 points of q from 0.008 to 0.25 1/Å,
normalised reflectivity with a background of 1e-7, counting errors in the third column. The
materials are made by `tolvi-cli material --sld` at the nominal wavelength, so that a density of
1 g/cm3 gives their SLD and the density scales it.

film.par holds start values a stated amount off the true ones (START below) with those
quantities free. Fitted with the options for such data,

    tolvi-cli fit examples/neutron/film.par --errors data --steps relative --ambient-sld 2.07

it recovers TRUE_MODEL within its errors; with the default options it does not (the README shows
both).
"""
import math
import os
import random
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLE = os.path.join(os.path.dirname(HERE), "examples", "neutron")

WAVELENGTH = 6.0  # Å, nominal: on the q axis the curve does not depend on it
FRONTING_SLD = 2.07  # 1e-6 1/Å², silicon
MATERIALS = {"d2o.mf": 6.36, "film.mf": 3.5}  # SLD in 1e-6 1/Å²

POINTS = 300
Q_MIN, Q_MAX = 0.008, 0.25
FLUX = 2.0e8  # counts per unit reflectivity: about 1e8 counts at the edge, tens at the end
SEED = 20261209

# (material, rho, t, sig, free flags of rho, t, sig)
TRUE_MODEL = {"bg": 1.0e-7, "film": (1.0, 180.0, 6.0), "substrate_sig": 4.0}
START = {"bg": 1.0e-6, "film": (0.9, 165.0, 9.0), "substrate_sig": 4.0}


def sh(*args):
    return subprocess.run(list(args), capture_output=True, text=True, check=True).stdout


def param_line(value, fit, lo, hi, comment):
    return "%.6e %4d  %.6e  %.6e   ; %s\n" % (value, fit, lo, hi, comment)


def parameter_file(model, data_name, free):
    rho, t, sig = model["film"]
    lines = [
        "         1            ; (0/1=sim/fit)\n",
        "         0            ; (0/1=Lin/Log)\n",
        "         1            ; (0/1=Xray/Neutron)\n",
        "         2            ; (0/1/2=th, 2th, q)\n",
        "         0            ; (0/1/-1=nonmag/pol+/pol-)\n",
        "%9.6f           ; lamd(A)\n" % WAVELENGTH,
        " 0.000000          ; beam divergence (x-unit FWHM)\n",
        "%9.6f      %9.6f   ; x min max range\n" % (Q_MIN, Q_MAX),
        "%s          ; data file name\n" % data_name,
        param_line(0.0, 0, -1e-3, 1e-3, "x0_shift, fit, min, max"),
        param_line(0.0, 0, -1.0, 1.0, "Log(I0), fit, min, max"),
        param_line(model["bg"], 1 if free else 0, 0.0, 1e-5, "BG(cps), fit, min, max"),
        "S  d2o.mf     ; layer, name --->(Substrate)\n",
        param_line(1.0, 0, 0.5, 1.5, "rho(g/cm3), fit, min, max"),
        param_line(0.0, 0, 0.0, 10.0, "t(A), fit, min, max"),
        param_line(model["substrate_sig"], 0, 0.0, 20.0, "sig(A), fit, min, max"),
        param_line(0.0, 0, -1.0, 1.0, "mag, fit, min, max"),
        "S  film.mf    ; layer, name\n",
        param_line(rho, 1 if free else 0, 0.5, 1.5, "rho(g/cm3), fit, min, max"),
        param_line(t, 1 if free else 0, 100.0, 250.0, "t(A), fit, min, max"),
        param_line(sig, 1 if free else 0, 0.0, 20.0, "sig(A), fit, min, max"),
        param_line(0.0, 0, -1.0, 1.0, "mag, fit, min, max"),
    ]
    return "".join(lines)


def poisson(rng, mean):
    """A Poisson draw: Knuth's product method for small means, the normal limit above 50."""
    if mean > 50.0:
        return max(0.0, round(rng.gauss(mean, math.sqrt(mean))))
    limit, k, p = math.exp(-mean), 0, rng.random()
    while p > limit:
        k += 1
        p *= rng.random()
    return float(k)


def main():
    cli = os.path.abspath(sys.argv[1])
    os.makedirs(EXAMPLE, exist_ok=True)
    for name, sld in MATERIALS.items():
        sh(cli, "material", "--sld", repr(sld), "--wavelength", repr(WAVELENGTH),
           "-o", os.path.join(EXAMPLE, name))
    qs = [Q_MIN + (Q_MAX - Q_MIN) * i / (POINTS - 1) for i in range(POINTS)]
    with tempfile.TemporaryDirectory() as work:
        for name in MATERIALS:
            with open(os.path.join(EXAMPLE, name)) as src, open(os.path.join(work, name), "w") as dst:
                dst.write(src.read())
        with open(os.path.join(work, "grid.dat"), "w") as f:
            f.writelines("%.17g 1\n" % q for q in qs)
        with open(os.path.join(work, "true.par"), "w") as f:
            f.write(parameter_file(TRUE_MODEL, "grid.dat", False))
        curve = sh(cli, "simulate", os.path.join(work, "true.par"),
                   "--ambient-sld", repr(FRONTING_SLD))
    truth = [float(line.split()[2]) for line in curve.splitlines()]
    rng = random.Random(SEED)
    rows = ["# q (1/A)  R  dR (1-sigma counting error), made by tools/make_neutron_example.py\n"]
    for q, r in zip(qs, truth):
        counts = poisson(rng, r * FLUX)
        # A point without counts still has an error: that of one count.
        rows.append("%.6f %.6e %.6e\n" % (q, counts / FLUX, math.sqrt(max(counts, 1.0)) / FLUX))
    with open(os.path.join(EXAMPLE, "film.dat"), "w") as f:
        f.writelines(rows)
    with open(os.path.join(EXAMPLE, "film.par"), "w") as f:
        f.write(parameter_file(START, "film.dat", True))


if __name__ == "__main__":
    main()
