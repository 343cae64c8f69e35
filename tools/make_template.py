#!/usr/bin/env python3
"""Makes the files of template/ from recorded true models, deterministically.

    python3 tools/make_template.py build/bin/tolvi-cli

template.par: a W/Si multilayer (ten periods) with a carbon cap on a Si substrate, Cu K-alpha
(1.54 Å), fit mode on the 2-theta axis. Its measured curve template_data.dat is the true model's
intensity with Poisson-like counting noise, in counts per second, and as its third column the
counting error of each point, sqrt(counts) / COUNT_TIME (one count where none were counted); a fit
reads that column with --errors data. The parameter file itself holds start values that lie
a stated amount off the true ones (TRUE_MODEL and START below), with those parameters flagged
free, so that a fit of the template should recover the true model within its errors.

template.dat: a curve for the Fourier page (theta in degrees, linear intensity, 1.54 Å, no
header): a single Ni film of FILM_THICKNESS Å on Si with clear Kiessig fringes.

The material files are made by `tolvi-cli material` at the template's wavelength (1.54 Å): X-ray
f1 = Z + f' and f2 = f'' from xraylib, atomic weights and neutron values from the tool's element
table (tools/make_neutron_table.py names its sources).
"""
import math
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
TEMPLATE = os.path.join(os.path.dirname(HERE), "template")

WAVELENGTH = 1.54  # Å, Cu K-alpha as the template's parameter files give it

# material file: chemical formula, computed by tolvi-cli material at WAVELENGTH
MATERIALS = {"Si.mf": "Si", "W.mf": "W", "C.mf": "C", "Ni.mf": "Ni"}

INCIDENT_CPS = 1.0e6   # incident intensity, counts per second (log10 I0 = 6)
COUNT_TIME = 10.0      # seconds per point
SEED = 20261208

# The true multilayer: (id, material, rho, t, sig); the group's line also carries rept, sigjoin.
TRUE_MODEL = {
    "logI0": 6.0, "bg": 2.0,
    "layers": [
        ("S", "Si.mf", 2.33, 0.0, 3.0),
        ("G1 W.mf 10 0", None, 19.3, 15.0, 4.0),
        ("G1 Si.mf", None, 2.33, 25.0, 3.0),
        ("S", "C.mf", 2.2, 30.0, 4.0),
    ],
}
# Start values of the template (and which quantities are free): logI0 +0.1, W +0.6 Å,
# Si -0.8 Å, its roughness +0.5 Å, the cap +3 Å.
START = {"logI0": 6.1, "t": {1: 15.6, 2: 24.2, 3: 33.0}, "sig": {2: 3.5}}

FILM_THICKNESS = 250.0  # Å of Ni on Si in template.dat


def write_materials(cli, directory):
    for name, formula in MATERIALS.items():
        subprocess.run([cli, "material", formula, "--wavelength", repr(WAVELENGTH),
                        "-o", os.path.join(directory, name)], capture_output=True, check=True)


def param_line(value, fit, lo, hi, comment, header=False):
    # The three header parameter lines have one blank more before their comment.
    form = "%10.6e %4d  %10.6e  %10.6e  %s \n" if header else "%10.6e %4d  %10.6e  %10.6e %s \n"
    return form % (value, fit, lo, hi, comment)


def par_text(x_axis, xmin, xmax, data_name, logI0, logI0_fit, bg, layers, fits):
    out = "%10d %s \n" % (1, "           ; (0/1=sim/fit)")
    out += "%10d %s \n" % (0, "           ; (0/1=Lin/Log)")
    out += "%10d %s \n" % (0, "           ; (0/1=Xray/Neutron) ")
    out += "%10d %s \n" % (x_axis, "           ; (0/1/2=th, 2th, q)")
    out += "%10.0f %s \n" % (0, "           ; (0/1/-1=nonmag/pol+/pol-)")
    out += "%9.6f %s \n" % (WAVELENGTH, "          ; lamd(A)")
    out += "%9.6f %s \n" % (0.0, "         ; beam divergence (x-unit FWHM)")
    out += "%9.6f      %9.6f %s \n" % (xmin, xmax, "              ; x min max range")
    out += "%s %s \n" % (data_name, "         ; data file name")
    out += param_line(0.0, 0, -0.05, 0.05, "   ; x0_shift, fit, min, max", True)
    out += param_line(logI0, logI0_fit, 5.0, 7.0, "   ; Log(I0), fit, min, max", True)
    out += param_line(bg, 0, 0.0, 10.0, "   ; BG(cps), fit, min, max", True)
    for k, (head, material, rho, t, sig) in enumerate(layers):
        if material is None:  # a group line: "G1 name rept sigjoin" or "G1 name"
            parts = head.split()
            if len(parts) == 4:
                out += "%s  %s %4d %3d %s\n" % (parts[0], parts[1], int(parts[2]), int(parts[3]),
                                                "                       ; group, name, rept, sigjoin")
            else:
                out += "%s  %s  %s \n" % (parts[0], parts[1], "                               ; group, name")
        else:
            comment = "; layer, name --->(Substrate)" if k == 0 else "; layer, name"
            out += "%s  %s  %s \n" % (head, material, " " * 31 + comment)
        tfit, sigfit = fits.get(("t", k), 0), fits.get(("sig", k), 0)
        out += param_line(rho, 0, 0.8 * rho, 1.2 * rho, "   ; rho(g/cm3), fit, min, max")
        out += param_line(t, tfit, 0.0 if k == 0 else 0.5 * max(t, 1), 1.5 * max(t, 1) + 10,
                          "   ; t(A), fit, min, max")
        out += param_line(sig, sigfit, 0.0, 10.0, "   ; sig(A), fit, min, max")
        out += param_line(0.0, 0, -1.0, 1.0, "   ; mag, fit, min, max")
    return out


class Random:
    """splitmix64: the same numbers on every machine and Python version."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFFFFFFFFFF

    def uniform(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & 0xFFFFFFFFFFFFFFFF
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & 0xFFFFFFFFFFFFFFFF
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & 0xFFFFFFFFFFFFFFFF
        z ^= z >> 31
        return (z >> 11) * (1.0 / (1 << 53))

    def counts(self, mean):
        """Poisson counts: Knuth's product method for small means, else the normal limit."""
        if mean < 30.0:
            limit, k, p = math.exp(-mean), 0, 1.0
            while True:
                p *= self.uniform()
                if p <= limit:
                    return k
                k += 1
        u1, u2 = max(self.uniform(), 1e-300), self.uniform()
        normal = math.sqrt(-2.0 * math.log(u1)) * math.cos(2.0 * math.pi * u2)
        return max(0, round(mean + math.sqrt(mean) * normal))


def simulate(cli, par_text_, grid, workdir):
    """The true curve on the grid: tolvi-cli simulate of a fit-mode file over a dummy curve."""
    with open(os.path.join(workdir, "grid.dat"), "w") as f:
        f.writelines("%.10g 1\n" % x for x in grid)
    par = os.path.join(workdir, "true.par")
    with open(par, "w") as f:
        f.write(par_text_)
    out = subprocess.run([cli, "simulate", par], capture_output=True, text=True, check=True).stdout
    return [float(line.split()[2]) for line in out.splitlines()]


def noisy_counts(curve, rng):
    return [rng.counts(i * COUNT_TIME) for i in curve]


def noisy(curve, rng):
    return [n / COUNT_TIME for n in noisy_counts(curve, rng)]


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    cli = os.path.abspath(argv[1])
    rng = Random(SEED)
    os.makedirs(TEMPLATE, exist_ok=True)
    write_materials(cli, TEMPLATE)

    with tempfile.TemporaryDirectory() as work:
        write_materials(cli, work)

        # The multilayer: 2-theta 0.1 ... 6.0 degrees in steps of 0.01.
        grid = [round(0.1 + 0.01 * i, 10) for i in range(591)]
        layers = TRUE_MODEL["layers"]
        curve = simulate(cli, par_text(1, 0.1, 6.0, "grid.dat", TRUE_MODEL["logI0"], 0,
                                       TRUE_MODEL["bg"], layers, {}), grid, work)
        with open(os.path.join(TEMPLATE, "template_data.dat"), "w") as f:
            f.writelines("%.4f %.6g %.6g\n" % (x, n / COUNT_TIME, math.sqrt(max(n, 1)) / COUNT_TIME)
                         for x, n in zip(grid, noisy_counts(curve, rng)))
        start = [(h, m, rho, START["t"].get(k, t), START["sig"].get(k, s))
                 for k, (h, m, rho, t, s) in enumerate(layers)]
        fits = {("t", k): 1 for k in START["t"]}
        fits.update({("sig", k): 1 for k in START["sig"]})
        with open(os.path.join(TEMPLATE, "template.par"), "w") as f:
            f.write(par_text(1, 0.1, 6.0, "template_data.dat", START["logI0"], 1, TRUE_MODEL["bg"],
                             start, fits))

        # The Fourier curve: theta 0.05 ... 3.0 degrees in steps of 0.005.
        grid = [round(0.05 + 0.005 * i, 10) for i in range(591)]
        film = [("S", "Si.mf", 2.33, 0.0, 3.0), ("S", "Ni.mf", 8.9, FILM_THICKNESS, 4.0)]
        curve = simulate(cli, par_text(0, 0.05, 3.0, "grid.dat", 6.0, 0, 1.0, film, {}), grid, work)
        with open(os.path.join(TEMPLATE, "template.dat"), "w") as f:
            f.writelines("%.4f %.6g\n" % (x, y) for x, y in zip(grid, noisy(curve, rng)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
