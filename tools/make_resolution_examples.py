#!/usr/bin/env python3
"""Makes examples/neutron-dq/, examples/xray-footprint/ and examples/orso/ from recorded true
models.

    python3 tools/make_resolution_examples.py build/bin/tolvi-cli

neutron-dq: a time-of-flight measurement from air of a 450 Å film (SLD 1.5e-6 1/Å²) on the
native oxide of a silicon wafer: 180 points of q spaced evenly in log q from 0.008 to 0.22 1/Å,
normalised reflectivity with counting errors in the third column and the FWHM of each point's
resolution in q in the fourth (dQ/Q from 3 % at the lowest q to 6 % at the highest, as the
angles of such an instrument give it). The truth is computed with that resolution
(`--resolution column:fwhm`). film.par starts the film 30 Å too thin and rougher.

xray-footprint: an X-ray 2θ scan at 1.5406 Å of a nickel film on silicon down to 0.06° 2θ,
counts (10^7 per unit reflectivity, a background of 50 counts) with their errors, taken with a
Gaussian beam of 0.12 mm FWHM on a sample 12 mm long: below about 1° 2θ only part of the beam
meets the sample. film.par starts the film at 214 Å (6 Å off), the intensity and roughness off.

orso: the points of neutron-dq as an ORSO reflectivity file, Qz and its resolution in 1/nm.

All are deterministic (fixed seeds); README shows their fits with and without the options.
"""
import math
import os
import random
import subprocess
import sys
import tempfile

from make_neutron_example import param_line, poisson

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.join(os.path.dirname(HERE), "examples")


def sh(*args):
    return subprocess.run(list(args), capture_output=True, text=True, check=True).stdout


def header(probe, axis, wavelength, x_range, data_name, scalars):
    """The 12 header lines; scalars: (value, fit, min, max) of x0_shift, Log(I0), BG."""
    names = ("x0_shift", "Log(I0)", "BG(cps)")
    lines = [
        "         1            ; (0/1=sim/fit)\n",
        "         0            ; (0/1=Lin/Log)\n",
        "         %d            ; (0/1=Xray/Neutron)\n" % probe,
        "         %d            ; (0/1/2=th, 2th, q)\n" % axis,
        "         0            ; (0/1/-1=nonmag/pol+/pol-)\n",
        "%9.6f           ; lamd(A)\n" % wavelength,
        " 0.000000          ; beam divergence (x-unit FWHM)\n",
        "%9.6f      %9.6f   ; x min max range\n" % x_range,
        "%s          ; data file name\n" % data_name,
    ]
    for name, (value, fit, lo, hi) in zip(names, scalars):
        lines.append(param_line(value, fit, lo, hi, name + ", fit, min, max"))
    return lines


def layer(material, rho, t, sig, free, substrate=False):
    """An entry block: (value, min, max) triples for rho, t, sig; free: names of free ones."""
    lines = ["S  %s    ; layer, name%s\n" % (material, " --->(Substrate)" if substrate else "")]
    for name, (value, lo, hi) in (("rho(g/cm3)", rho), ("t(A)", t), ("sig(A)", sig)):
        key = name.split("(")[0]
        lines.append(param_line(value, 1 if key in free else 0, lo, hi,
                                name + ", fit, min, max"))
    lines.append(param_line(0.0, 0, -1.0, 1.0, "mag, fit, min, max"))
    return lines


def simulate(cli, folder, par_lines, grid_rows, materials, *options):
    """The true curve: calcLin of `simulate` on a grid file in a scratch copy of the folder."""
    with tempfile.TemporaryDirectory() as work:
        for name in materials:
            with open(os.path.join(folder, name)) as src, open(os.path.join(work, name), "w") as dst:
                dst.write(src.read())
        with open(os.path.join(work, "grid.dat"), "w") as f:
            f.writelines(grid_rows)
        with open(os.path.join(work, "true.par"), "w") as f:
            f.writelines(par_lines)
        out = sh(cli, "simulate", os.path.join(work, "true.par"), *options)
    return [float(line.split()[2]) for line in out.splitlines()]


# ---- neutron-dq

NEUTRON_WAVELENGTH = 5.0  # Å, nominal (the q axis does not depend on it)
NEUTRON_MATERIALS = {"si.mf": 2.07, "sio2.mf": 3.47, "film.mf": 1.5}
NEUTRON_POINTS, Q_MIN, Q_MAX = 180, 0.008, 0.22
NEUTRON_FLUX = 5.0e7
NEUTRON_SEED = 20261210


def neutron_layers(film_t, film_sig, free):
    rho = lambda v: (v, 0.5, 1.5)
    return (layer("si.mf", rho(1.0), (0.0, 0.0, 10.0), (3.0, 0.0, 20.0), (), substrate=True) +
            layer("sio2.mf", rho(1.0), (15.0, 5.0, 30.0), (3.0, 0.0, 20.0), ()) +
            layer("film.mf", rho(1.0), (film_t, 350.0, 550.0), (film_sig, 0.0, 20.0), free))


def make_neutron(cli):
    folder = os.path.join(EXAMPLES, "neutron-dq")
    os.makedirs(folder, exist_ok=True)
    for name, sld in NEUTRON_MATERIALS.items():
        sh(cli, "material", "--sld", repr(sld), "--wavelength", repr(NEUTRON_WAVELENGTH),
           "-o", os.path.join(folder, name))
    # Rounded as the data file writes them, so that the truth is computed at the very points.
    qs = [float("%.6e" % (Q_MIN * (Q_MAX / Q_MIN) ** (i / (NEUTRON_POINTS - 1))))
          for i in range(NEUTRON_POINTS)]
    fwhm = [float("%.6e" % (q * (0.03 + 0.03 * i / (NEUTRON_POINTS - 1))))
            for i, q in enumerate(qs)]
    scalars = [(0.0, 0, -1e-3, 1e-3), (0.0, 0, -1.0, 1.0), (2e-6, 0, 0.0, 1e-5)]
    true_par = header(1, 2, NEUTRON_WAVELENGTH, (Q_MIN, Q_MAX), "grid.dat", scalars)
    true_par += neutron_layers(450.0, 5.0, ())
    truth = simulate(cli, folder, true_par, ["%.17g 1 1 %.17g\n" % r for r in zip(qs, fwhm)],
                     NEUTRON_MATERIALS, "--resolution", "column:fwhm")
    rng = random.Random(NEUTRON_SEED)
    rows = ["# q (1/A)  R  dR (1-sigma)  dQ (FWHM, 1/A), made by "
            "tools/make_resolution_examples.py\n"]
    for q, r, w in zip(qs, truth, fwhm):
        counts = poisson(rng, r * NEUTRON_FLUX)
        rows.append("%.6e %.6e %.6e %.6e\n" % (q, counts / NEUTRON_FLUX,
                                               math.sqrt(max(counts, 1.0)) / NEUTRON_FLUX, w))
    with open(os.path.join(folder, "film.dat"), "w") as f:
        f.writelines(rows)
    start = header(1, 2, NEUTRON_WAVELENGTH, (Q_MIN, Q_MAX), "film.dat", scalars)
    start += neutron_layers(420.0, 8.0, ("t", "sig"))
    with open(os.path.join(folder, "film.par"), "w") as f:
        f.writelines(start)


# ---- xray-footprint

XRAY_WAVELENGTH = 1.5406
XRAY_MATERIALS = {"Si.mf": "Si", "Ni.mf": "Ni"}
TWO_THETA_MIN, TWO_THETA_MAX, XRAY_POINTS = 0.06, 4.0, 400
BEAM_MM, SAMPLE_MM = 0.12, 12.0
XRAY_SEED = 20261211


def xray_layers(t, sig, free):
    return (layer("Si.mf", (2.33, 2.0, 2.5), (0.0, 0.0, 10.0), (3.0, 0.0, 10.0), (),
                  substrate=True) +
            layer("Ni.mf", (8.9, 8.0, 9.2), (t, 150.0, 300.0), (sig, 0.0, 15.0), free))


def make_xray(cli):
    folder = os.path.join(EXAMPLES, "xray-footprint")
    os.makedirs(folder, exist_ok=True)
    for name, formula in XRAY_MATERIALS.items():
        sh(cli, "material", formula, "--wavelength", repr(XRAY_WAVELENGTH),
           "-o", os.path.join(folder, name))
    xs = [TWO_THETA_MIN + (TWO_THETA_MAX - TWO_THETA_MIN) * i / (XRAY_POINTS - 1)
          for i in range(XRAY_POINTS)]
    true_scalars = [(0.0, 0, -0.02, 0.02), (7.0, 0, 6.0, 8.0), (50.0, 0, 0.0, 200.0)]
    true_par = header(0, 1, XRAY_WAVELENGTH, (TWO_THETA_MIN, TWO_THETA_MAX), "grid.dat",
                      true_scalars)
    true_par += xray_layers(220.0, 4.0, ())
    truth = simulate(cli, folder, true_par, ["%.17g 1\n" % x for x in xs], XRAY_MATERIALS,
                     "--footprint", "gauss:%r:%r" % (BEAM_MM, SAMPLE_MM))
    rng = random.Random(XRAY_SEED)
    rows = ["# 2theta (deg)  counts/s  error (1-sigma), made by "
            "tools/make_resolution_examples.py\n"]
    for x, intensity in zip(xs, truth):
        counts = poisson(rng, intensity)
        rows.append("%.4f %.1f %.3f\n" % (x, counts, math.sqrt(max(counts, 1.0))))
    with open(os.path.join(folder, "film.dat"), "w") as f:
        f.writelines(rows)
    start_scalars = [(0.0, 0, -0.02, 0.02), (6.8, 1, 6.0, 8.0), (20.0, 1, 0.0, 200.0)]
    start = header(0, 1, XRAY_WAVELENGTH, (TWO_THETA_MIN, TWO_THETA_MAX), "film.dat",
                   start_scalars)
    start += xray_layers(214.0, 6.0, ("t", "sig"))
    with open(os.path.join(folder, "film.par"), "w") as f:
        f.writelines(start)


# ---- orso: the neutron-dq data as an ORSO file, its q in 1/nm

def make_orso():
    """examples/orso/: neutron-dq's points written as an ORSO reflectivity file (Qz and sQz in
    1/nm, sQz a FWHM as its header says) with a parameter file that names it."""
    source = os.path.join(EXAMPLES, "neutron-dq")
    folder = os.path.join(EXAMPLES, "orso")
    os.makedirs(folder, exist_ok=True)
    for name in NEUTRON_MATERIALS:
        with open(os.path.join(source, name)) as src, open(os.path.join(folder, name), "w") as dst:
            dst.write(src.read())
    header = [
        "# # ORSO reflectivity data file | 1.0 standard | YAML encoding | "
        "https://www.reflectometry.org/\n",
        "# # a film on oxidised silicon | made by tools/make_resolution_examples.py\n",
        "# data_source:\n",
        "#   owner: {name: Tolvi examples, affiliation: none}\n",
        "#   experiment:\n",
        "#     title: a 450 A film on oxidised silicon, measured from air\n",
        "#     instrument: a time-of-flight reflectometer\n",
        "#     start_date: 2026-12-09\n",
        "#     probe: neutron\n",
        "#   sample: {name: film-on-SiO2}\n",
        "#   measurement:\n",
        "#     instrument_settings:\n",
        "#       incident_angle: {magnitude: 0.6, unit: deg}\n",
        "#       wavelength: {min: 2.0, max: 12.0, unit: angstrom}\n",
        "#     data_files: [synthetic]\n",
        "# columns:\n",
        "# - {name: Qz, unit: 1/nm, physical_quantity: normal_wavevector_transfer}\n",
        "# - {name: R, physical_quantity: reflectivity}\n",
        "# - {error_of: R, error_type: uncertainty, value_is: sigma}\n",
        "# - {error_of: Qz, error_type: resolution, value_is: FWHM}\n",
        "# #     Qz (1/nm)        R                sR               sQz (1/nm)\n",
    ]
    rows = []
    with open(os.path.join(source, "film.dat")) as f:
        for line in f:
            if line.startswith("#"):
                continue
            q, r, dr, dq = (float(v) for v in line.split())
            rows.append("%.9e %.6e %.6e %.9e\n" % (10 * q, r, dr, 10 * dq))
    with open(os.path.join(folder, "film.ort"), "w") as f:
        f.writelines(header + rows)
    # q in 1/nm read as 1/Å comes within an ulp of the original: the x range takes it in.
    with open(os.path.join(source, "film.par")) as f:
        par = f.read().replace("film.dat          ; data file name",
                               "film.ort          ; data file name")
    par = par.replace(" 0.008000       0.220000   ; x min max range",
                      " 0.007999       0.220001   ; x min max range")
    with open(os.path.join(folder, "film.par"), "w") as f:
        f.write(par)


def main():
    cli = os.path.abspath(sys.argv[1])
    make_neutron(cli)
    make_xray(cli)
    make_orso()


if __name__ == "__main__":
    main()
