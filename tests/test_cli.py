#!/usr/bin/env python3
"""The command-line contract of tolvi-cli: outputs, exit statuses and usage errors.

    test_cli.py TOLVI_CLI
"""
import json
import math
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

try:  # a YAML 1.1 reader, where installed (python3-yaml)
    import yaml
except ImportError:
    yaml = None

CLI = None


def run(*args, cwd=None):
    p = subprocess.run([CLI, *args], capture_output=True, text=True, cwd=cwd, timeout=60)
    return p.returncode, p.stdout, p.stderr


class Simulate(unittest.TestCase):
    def test_template_prints_every_point(self):
        code, out, err = run("simulate", "--template")
        self.assertEqual(code, 0, err)
        rows = [line.split(" ") for line in out.splitlines()]
        self.assertGreater(len(rows), 500)
        self.assertTrue(all(len(r) == 3 for r in rows))
        self.assertEqual(err.splitlines()[-1], "--->OK")
        float(rows[0][2])

    def test_fresnel_adds_a_column_and_options_go_anywhere(self):
        code, out, _ = run("simulate", "--fresnel", "--template", "--ambient", "0:0")
        self.assertEqual(code, 0)
        self.assertTrue(all(len(line.split(" ")) == 4 for line in out.splitlines()))

    def test_ambient_changes_the_curve(self):
        _, plain, _ = run("simulate", "--template")
        _, other, _ = run("simulate", "--template", "--ambient", "1e-6:1e-8")
        self.assertNotEqual(plain, other)

    def test_failed_load_prints_nothing_and_exits_1(self):
        code, out, err = run("simulate", "/nonexistent/x.par")
        self.assertEqual((code, out), (1, ""))
        self.assertEqual(err.splitlines()[-1], "--->Error open file ")

    def test_missing_data_file_is_a_failure(self):
        with tempfile.TemporaryDirectory() as d:
            tdir = os.path.join(os.path.dirname(CLI), "template")
            for name in os.listdir(tdir):
                if name != "template_data.dat":
                    shutil.copy(os.path.join(tdir, name), d)
            code, out, err = run("simulate", os.path.join(d, "template.par"))
            self.assertEqual((code, out), (1, ""))
            self.assertEqual(err.splitlines()[-1], "--->Error, cant find data")

    def test_bad_number_is_a_failure_with_its_message(self):
        with tempfile.TemporaryDirectory() as d:
            tdir = os.path.join(os.path.dirname(CLI), "template")
            for name in os.listdir(tdir):
                shutil.copy(os.path.join(tdir, name), d)
            par = os.path.join(d, "template.par")
            with open(par) as f:
                text = f.read().replace(" 1.540000", " 1.54x000", 1)
            with open(par, "w") as f:
                f.write(text)
            code, out, err = run("simulate", par)
            self.assertEqual((code, out), (1, ""))
            self.assertIn('"1.54x000" is not a number', err)
            self.assertIn("line 6", err)


class OtherCommands(unittest.TestCase):
    def test_profile_and_slabs(self):
        code, out, _ = run("profile", "--template")
        self.assertEqual(code, 0)
        self.assertTrue(all(len(line.split(" ")) == 2 for line in out.splitlines()))
        code, out, _ = run("slabs", "--template")
        self.assertEqual(code, 0)
        rows = out.splitlines()
        self.assertEqual(len(rows), 22)  # substrate, ten W/Si periods, the cap
        self.assertEqual(rows[0].split(" ")[0], "0")
        self.assertEqual(len(rows[0].split(" ")), 7)


def template_copy(d):
    tdir = os.path.join(os.path.dirname(CLI), "template")
    for name in os.listdir(tdir):
        shutil.copy(os.path.join(tdir, name), d)
    return os.path.join(d, "template.par")


def without_clock(report):
    """The report without the lines that hold the date or the elapsed time."""
    return [l for l in report.splitlines() if "Fit end" not in l and "Elapsed" not in l]


class FitCommand(unittest.TestCase):
    def test_template_least_squares_report(self):
        code, out, err = run("fit", "--template")
        self.assertEqual(code, 0, err)
        self.assertTrue(out.startswith("---> LM Fit end chi2 = "))
        self.assertTrue(out.endswith("\n") and not out.endswith("\n\n"))
        self.assertIn("NPAR = 5\n", out)
        self.assertIn("P[4] = ", out)
        self.assertRegex(err.splitlines()[-1], r"^-->OK\d LM-")

    def test_genetic_search_repeats_with_a_seed(self):
        args = ("fit", "--template", "--method", "ga", "--seed", "5", "--gens", "20")
        first, second = run(*args), run(*args)
        self.assertEqual(first[0], 0, first[2])
        self.assertTrue(first[1].startswith("---> GA Fit end    "))
        self.assertEqual(without_clock(first[1]), without_clock(second[1]))
        self.assertTrue(first[2].splitlines()[-1].startswith("--->GA Fit end"))

    def test_multi_fit_and_save(self):
        with tempfile.TemporaryDirectory() as d:
            par = template_copy(d)
            out_par = os.path.join(d, "fitted.par")
            code, out, err = run("fit", par, par, par, "--save", out_par)
            self.assertEqual(code, 0, err)
            self.assertIn("   dif: ", out)
            code, out, err = run("slabs", out_par)
            self.assertEqual(code, 0, err)
            self.assertNotAlmostEqual(float(out.splitlines()[1].split()[2]), 15.6, places=3)

    def test_refusals_exit_1_with_nothing_on_standard_output(self):
        with tempfile.TemporaryDirectory() as d:
            par = template_copy(d)
            with open(par) as f:
                text = f.read()
            fixed = os.path.join(d, "fixed.par")
            with open(fixed, "w") as f:
                f.write(text.replace("    1  ", "    0  "))
            short = os.path.join(d, "short.par")
            with open(short, "w") as f:
                f.write("".join(text.splitlines(True)[:-5]))
            for args, message in (((fixed,), "--->Error LM Fit NP==0"),
                                  ((par, short), "Error->nlay is not same"),
                                  ((par, os.path.join(d, "none.par")), "--->Error open file"),
                                  (("--template", "--method", "ga", "--pop", "3"),
                                   "--->Error GA popul must be 4 or more")):
                code, out, err = run("fit", *args)
                self.assertEqual((code, out), (1, ""), args)
                self.assertEqual(err.splitlines()[-1].strip(), message, args)

    def test_oversized_population_still_reports_the_end(self):
        code, out, err = run("fit", "--template", "--method", "ga", "--pop", "2000")
        self.assertEqual(code, 0)
        self.assertIn("popul 2000, gene 0,", out)
        self.assertIn("Error! too many popuration", err)


EXAMPLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples", "neutron")


def example_with_error(d, index, error):
    """The neutron example in d, line `index` of its data file given the error `error`."""
    for name in ("film.par", "film.mf", "d2o.mf"):
        shutil.copy(os.path.join(EXAMPLE, name), d)
    with open(os.path.join(EXAMPLE, "film.dat")) as f:
        lines = f.readlines()
    lines[index] = " ".join(lines[index].split()[:2]) + " " + error + "\n"
    with open(os.path.join(d, "film.dat"), "w") as f:
        f.writelines(lines)


class RealDataOptions(unittest.TestCase):
    REAL = ["--errors", "data", "--steps", "relative", "--ambient-sld", "2.07"]

    def test_every_model_command_takes_them(self):
        par = os.path.join(EXAMPLE, "film.par")
        for command in ("simulate", "profile", "slabs", "fit"):
            code, out, err = run(command, par, *self.REAL)
            self.assertEqual(code, 0, command + ": " + err)
            self.assertNotEqual(out, "", command)

    def test_the_neutron_example_fits_to_chi2_near_its_degrees_of_freedom(self):
        code, out, err = run("fit", os.path.join(EXAMPLE, "film.par"), *self.REAL)
        self.assertEqual(code, 0, err)
        first = out.splitlines()[0]  # "---> LM Fit end chi2 = 295.9653  (296 DOF)"
        chi2 = float(first.split("=")[1].split("(")[0])
        dof = int(first.split("(")[1].split()[0])
        self.assertLess(abs(chi2 / dof - 1.0), 0.2, first)
        self.assertFalse([l for l in err.splitlines() if l.startswith("--->Warning")], err)

    def test_the_fronting_medium_is_given_once(self):
        code, out, err = run("simulate", "--template", "--ambient", "0:0", "--ambient-sld", "2")
        self.assertEqual((code, out), (2, ""), err)
        for bad in (["--ambient-sld", "x"], ["--ambient-sld", "2:-1"], ["--errors", "yes"],
                    ["--steps", "tiny"]):
            code, out, _ = run("simulate", "--template", *bad)
            self.assertEqual((code, out), (2, ""), bad)

    def test_a_refused_error_column_names_file_and_line_and_exits_1(self):
        with tempfile.TemporaryDirectory() as d:
            example_with_error(d, 3, "-1")
            code, out, err = run("simulate", os.path.join(d, "film.par"), "--errors", "data")
            self.assertEqual((code, out), (1, ""))
            self.assertEqual(err.splitlines()[-1], "--->Error, negative error of y (in " +
                             os.path.join(d, "film.dat") + ", line 4)")
            code, _, _ = run("simulate", os.path.join(d, "film.par"))
            self.assertEqual(code, 0, "the classic error model does not read the column")

    def test_load_warnings_come_before_the_status_line(self):
        with tempfile.TemporaryDirectory() as d:
            example_with_error(d, 5, "0")
            code, _, err = run("fit", os.path.join(d, "film.par"), *self.REAL)
            self.assertEqual(code, 0, err)
            self.assertEqual(err.splitlines()[-2], "--->Warning, 1 point with an error of 0 left out")
            self.assertTrue(err.splitlines()[-1].startswith("-->OK"), err)

    def test_sld_profile_and_sld_materials(self):
        code, out, err = run("profile", os.path.join(EXAMPLE, "film.par"), "--sld")
        self.assertEqual(code, 0, err)
        rows = [[float(v) for v in line.split()] for line in out.splitlines()]
        self.assertTrue(all(len(r) == 3 for r in rows))
        self.assertAlmostEqual(rows[0][1], 6.36, places=9)  # deep in the D2O
        code, out, err = run("material", "--sld", "6.36:0.01", "--wavelength", "5")
        self.assertEqual(code, 0, err)
        self.assertIn("SLD 6.36+0.01i", out)
        for bad in (["material", "--sld", "1", "Si"], ["material", "--sld", "1", "--delta-beta",
                    "1e-6:0"], ["material", "--delta-beta", "1e-6"], ["material", "--sld", "1",
                    "--mag", "1"]):
            code, out, _ = run(*bad)
            self.assertEqual((code, out), (2, ""), bad)


def example_with_columns(d, fourth):
    """The neutron example in d, each data line given a fourth number fourth(q)."""
    for name in ("film.par", "film.mf", "d2o.mf"):
        shutil.copy(os.path.join(EXAMPLE, name), d)
    with open(os.path.join(EXAMPLE, "film.dat")) as f:
        lines = f.readlines()
    out = []
    for line in lines:
        words = line.split()
        out.append(line if line.startswith("#") else
                   " ".join(words[:3]) + " %.17g\n" % fourth(float(words[0])))
    with open(os.path.join(d, "film.dat"), "w") as f:
        f.writelines(out)
    return os.path.join(d, "film.par")


def columns(out):
    return [[float(v) for v in line.split()] for line in out.splitlines()]


class ResolutionAndFootprint(unittest.TestCase):
    PAR = os.path.join(EXAMPLE, "film.par")

    def test_relative_equals_a_fwhm_column_of_f_times_q(self):
        with tempfile.TemporaryDirectory() as d:
            par = example_with_columns(d, lambda q: 0.05 * q)
            code, rel, err = run("simulate", par, "--resolution", "relative:0.05")
            self.assertEqual(code, 0, err)
            code, col, err = run("simulate", par, "--resolution", "column:fwhm")
            self.assertEqual(code, 0, err)
            _, plain, _ = run("simulate", par)
            for a, b, c in zip(columns(rel), columns(col), columns(plain)):
                self.assertAlmostEqual(a[2] / b[2], 1.0, delta=1e-12)
            self.assertNotEqual(rel, plain)

    def test_a_plain_file_needs_the_meaning_of_its_column(self):
        with tempfile.TemporaryDirectory() as d:
            par = example_with_columns(d, lambda q: 0.05 * q)
            code, out, err = run("simulate", par, "--resolution", "column")
            self.assertEqual((code, out), (1, ""))
            self.assertEqual(err.splitlines()[-1], "--->Error, " + os.path.join(d, "film.dat") +
                             " has no header to say what its resolution column holds: choose FWHM "
                             "or sigma")

    def test_a_line_without_a_fourth_number_is_refused_with_its_place(self):
        code, out, err = run("simulate", self.PAR, "--resolution", "column:sigma")
        self.assertEqual((code, out), (1, ""))
        self.assertEqual(err.splitlines()[-1], "--->Error, no resolution in column 4 (in " +
                         os.path.join(EXAMPLE, "film.dat") + ", line 2)")

    def test_the_footprint_is_the_share_of_a_uniform_beam(self):
        # q axis, 6 A, no offset, logI0 0 and bg 1e-6: I = share R + bg, with the share
        # L sin(theta) / w = 10 * 6 q / (4 pi) / 0.1 held at 1
        code, out, err = run("simulate", self.PAR, "--footprint", "uniform:0.1:10")
        self.assertEqual(code, 0, err)
        _, plain, _ = run("simulate", self.PAR)
        bg = 1e-6
        for a, b in zip(columns(out), columns(plain)):
            share = min(1.0, 10 * 6.0 * a[0] / (4 * math.pi) / 0.1)
            self.assertAlmostEqual(a[2] - bg, share * (b[2] - bg), delta=1e-12 * b[2])

    def test_a_replaced_divergence_is_said(self):
        with tempfile.TemporaryDirectory() as d:
            par = example_with_columns(d, lambda q: 0.0)
            with open(par) as f:
                text = f.read().replace(" 0.000000          ; beam divergence",
                                        " 0.001000          ; beam divergence", 1)
            with open(par, "w") as f:
                f.write(text)
            code, _, err = run("simulate", par, "--resolution", "relative:0.05")
            self.assertEqual(code, 0, err)
            self.assertEqual(err.splitlines()[-1], "--->Warning, the resolution replaces the "
                             "divergence of the parameter file")
            code, _, err = run("simulate", par)
            self.assertEqual(err.splitlines()[-1], "--->OK")

    def test_a_free_scale_and_beam_come_after_the_other_parameters(self):
        code, out, err = run("fit", self.PAR, "--errors", "data", "--steps", "relative",
                             "--ambient-sld", "2.07", "--resolution", "relative:0.02",
                             "--fit-resolution", "0.5:2", "--footprint", "gauss:0.1:20",
                             "--fit-beam", "0.05:0.2")
        self.assertEqual(code, 0, err)
        lines = [l for l in out.splitlines() if l.startswith("P[")]
        self.assertEqual(len(lines), 6)  # bg, rho, t, sig, then the scale and the beam
        self.assertIn("NPAR = 6", out)

    def test_wrong_values_are_wrong_usage(self):
        for bad in (["--resolution", "relative:0"], ["--dataset", "-1"], ["--dataset", "x"],
                    ["--resolution", "relative:1"], ["--resolution", "relative:x"],
                    ["--resolution", "gauss"], ["--footprint", "gauss:0:20"],
                    ["--footprint", "gauss:1"], ["--footprint", "box:1:2"],
                    ["--fit-resolution", "0.5:2"], ["--fit-beam", "0.1:1"],
                    ["--resolution", "relative:0.05", "--fit-resolution", "2:3"],
                    ["--resolution", "relative:0.05", "--fit-resolution", "-1:3"],
                    ["--footprint", "gauss:0.1:20", "--fit-beam", "0.5:1"],
                    ["--footprint", "gauss:0.1:20", "--fit-beam", "0:1"]):
            code, out, err = run("simulate", self.PAR, *bad)
            self.assertEqual((code, out), (2, ""), bad)
            self.assertEqual(len(err.strip().splitlines()), 1, bad)


EXAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples")


def fit_report(*args):
    """chi2 / DOF and the P[k] value and error pairs of a fit that must succeed."""
    code, out, err = run("fit", *args)
    assert code == 0, err
    first = out.splitlines()[0]
    chi2 = float(first.split("=")[1].split("(")[0])
    dof = int(first.split("(")[1].split()[0])
    params = [tuple(float(v) for v in l.split("=")[1].split("+/-"))
              for l in out.splitlines() if l.startswith("P[")]
    return chi2 / dof, params


class ResolutionExamples(unittest.TestCase):
    """The two examples of README (tools/make_resolution_examples.py has their truth)."""

    def test_the_neutron_film_needs_its_pointwise_resolution(self):
        par = os.path.join(EXAMPLES, "neutron-dq", "film.par")
        common = ["--errors", "data", "--steps", "relative"]
        bad, _ = fit_report(par, *common)
        self.assertGreater(bad, 1000)
        good, p = fit_report(par, *common, "--resolution", "column:fwhm",
                             "--fit-resolution", "0.5:2")
        self.assertLess(abs(good - 1.0), 0.2)
        for (value, error), truth in zip(p, (450.0, 5.0, 1.0)):  # t, sig, the scale
            self.assertLess(abs(value - truth), 3 * error, (value, error, truth))

    def test_the_xray_film_needs_its_footprint(self):
        par = os.path.join(EXAMPLES, "xray-footprint", "film.par")
        common = ["--errors", "data", "--steps", "relative"]
        bad, _ = fit_report(par, *common)
        self.assertGreater(bad, 1000)
        good, p = fit_report(par, *common, "--footprint", "gauss:0.08:12", "--fit-beam",
                             "0.02:0.5")
        self.assertLess(abs(good - 1.0), 0.2)
        # logI0, bg, t, sig, the beam width
        for (value, error), truth in zip(p, (7.0, 50.0, 220.0, 4.0, 0.12)):
            self.assertLess(abs(value - truth), 3 * error, (value, error, truth))


def without_dates(text):
    return "\n".join(l for l in text.splitlines() if "LM-CHI" not in l and "Fit end " not in l
                     and "Elapsed" not in l)


class Projects(unittest.TestCase):
    FILM = os.path.join(EXAMPLE, "film.par")
    REAL = ["--errors", "data", "--steps", "relative", "--ambient-sld", "2.07"]

    def test_a_project_fits_as_its_options_do_and_keeps_the_fit(self):
        with tempfile.TemporaryDirectory() as d:
            project = os.path.join(d, "film.tolvi")
            code, _, err = run("simulate", self.FILM, *self.REAL, "--save-project", project)
            self.assertEqual(code, 0, err)
            code, from_project, err = run("fit", project, "--save-project", project + "2")
            self.assertEqual(code, 0, err)
            code, from_options, _ = run("fit", self.FILM, *self.REAL)
            self.assertEqual(without_dates(from_project), without_dates(from_options))
            # The fitted values are in the project written after the fit.
            with open(project + "2") as f:
                saved = json.load(f)
            t = saved["slots"][0]["layers"][1]["t"]["value"]
            self.assertAlmostEqual(t, 179.99, delta=0.01)

    def test_options_override_the_project_and_a_moved_project_opens(self):
        with tempfile.TemporaryDirectory() as d:
            project = os.path.join(d, "film.tolvi")
            run("simulate", self.FILM, *self.REAL, "--save-project", project)
            moved = os.path.join(d, "elsewhere")
            os.mkdir(moved)
            shutil.copy(project, moved)
            _, from_project, _ = run("simulate", os.path.join(moved, "film.tolvi"))
            _, with_sld, _ = run("simulate", self.FILM, "--ambient-sld", "2.07")
            self.assertEqual(from_project, with_sld)
            # The fronting medium given on the command line, in either form, replaces the
            # project's.
            _, plain, _ = run("simulate", self.FILM)
            _, overridden, _ = run("simulate", project, "--ambient", "0:0")
            self.assertEqual(overridden, plain)

    def test_a_project_of_several_slots_is_a_multi_fit(self):
        with tempfile.TemporaryDirectory() as d:
            tdir = os.path.join(os.path.dirname(CLI), "template", "template.par")
            project = os.path.join(d, "two.tolvi")
            code, _, err = run("fit", tdir, tdir, "--save-project", project)
            self.assertEqual(code, 0, err)
            code, out, err = run("fit", project)
            self.assertEqual(code, 0, err)
            self.assertIn("dif:", out)  # the third line of a multi fit's report
            code, out, err = run("fit", project, tdir)
            self.assertEqual((code, out), (2, ""), err)

    def test_a_project_without_a_usable_version_is_refused_by_name(self):
        with tempfile.TemporaryDirectory() as d:
            project = os.path.join(d, "film.tolvi")
            run("simulate", self.FILM, "--save-project", project)
            with open(project) as f:
                data = json.load(f)
            data["version"] = "x"
            with open(project, "w") as f:
                json.dump(data, f)
            code, out, err = run("simulate", project)
            self.assertEqual((code, out), (1, ""))
            self.assertIn("project key version", err.splitlines()[-1])


class OrsoFiles(unittest.TestCase):
    def test_the_orso_example_fits_as_its_plain_twin(self):
        orso = os.path.join(EXAMPLES, "orso", "film.par")
        plain = os.path.join(EXAMPLES, "neutron-dq", "film.par")
        common = ["--errors", "data", "--steps", "relative", "--fit-resolution", "0.5:2"]
        code, a, err = run("fit", orso, *common, "--resolution", "column")
        self.assertEqual(code, 0, err)
        code, b, err = run("fit", plain, *common, "--resolution", "column:fwhm")
        self.assertEqual(code, 0, err)
        # The same values (its q, read from 1/nm, differs from the plain file's by an ulp at
        # some points, so the steps to them may differ).
        values = lambda out: [l for l in out.splitlines() if l.startswith(("P[", "chi2:"))]
        self.assertEqual(values(a), values(b))

    def test_an_orso_file_needs_the_q_axis(self):
        with tempfile.TemporaryDirectory() as d:
            for name in os.listdir(os.path.join(EXAMPLES, "orso")):
                shutil.copy(os.path.join(EXAMPLES, "orso", name), d)
            par = os.path.join(d, "film.par")
            with open(par) as f:
                text = f.read().replace("         2            ; (0/1/2=th, 2th, q)",
                                        "         0            ; (0/1/2=th, 2th, q)")
            with open(par, "w") as f:
                f.write(text)
            code, out, err = run("simulate", par)
            self.assertEqual((code, out), (1, ""))
            self.assertEqual(err.splitlines()[-1], "--->Error, " + os.path.join(d, "film.ort") +
                             " holds q: the parameter file's x axis must be q")


def orso_rows(path):
    """The rows of an ORSO file as lists of five words."""
    with open(path) as f:
        return [line.split() for line in f if line.strip() and not line.startswith("#")]


def orso_header(path):
    """The YAML of data set 0's header: its "#" lines after the first, "# " taken off."""
    lines = []
    with open(path) as f:
        f.readline()
        for line in f:
            if not line.startswith("#"):
                break
            lines.append(line[2:])
    return "".join(lines)


class OrsoWriting(unittest.TestCase):
    ORSO = os.path.join(EXAMPLES, "orso", "film.par")
    COLUMNS = ["--errors", "data", "--resolution", "column"]

    def test_a_fit_writes_its_points_and_fitted_curve(self):
        with tempfile.TemporaryDirectory() as d:
            ort, project = os.path.join(d, "fit.ort"), os.path.join(d, "fit.tolvi")
            code, plain, err = run("fit", self.ORSO, *self.COLUMNS)
            self.assertEqual(code, 0, err)
            code, out, err = run("fit", self.ORSO, *self.COLUMNS, "--ort", ort,
                                 "--save-project", project)
            self.assertEqual(code, 0, err)
            self.assertEqual(out, plain, "the report is the same with --ort")
            with open(ort) as f:
                self.assertEqual(f.readline(), "# # ORSO reflectivity data file | 1.1 standard | "
                                 "YAML encoding | https://www.reflectometry.org/\n")
            # x, yLin and calcLin of the fitted workspace: Qz, R and Rcalc to the last bit.
            code, fitted, err = run("simulate", project)
            self.assertEqual(code, 0, err)
            rows = orso_rows(ort)
            points = [line.split() for line in fitted.splitlines()]
            self.assertEqual(len(rows), len(points))
            for row, point in zip(rows, points):
                self.assertEqual(len(row), 5)
                self.assertEqual(float(row[0]), float(point[0]))
                self.assertEqual(float(row[1]), float(point[1]))
                self.assertEqual(float(row[4]), float(point[2]))
                self.assertGreater(float(row[2]), 0.0)  # the errors read
                self.assertGreater(float(row[3]), 0.0)  # the resolution read

    def test_the_file_reads_back_as_the_data_it_was_made_from(self):
        with tempfile.TemporaryDirectory() as d:
            for name in os.listdir(os.path.join(EXAMPLES, "orso")):
                shutil.copy(os.path.join(EXAMPLES, "orso", name), d)
            ort = os.path.join(d, "again.ort")
            code, first, err = run("simulate", os.path.join(d, "film.par"), *self.COLUMNS,
                                   "--ort", ort)
            self.assertEqual(code, 0, err)
            par = os.path.join(d, "again.par")
            with open(os.path.join(d, "film.par")) as f:
                text = f.read().replace("film.ort", "again.ort")
            with open(par, "w") as f:
                f.write(text)
            code, second, err = run("simulate", par, *self.COLUMNS)
            self.assertEqual(code, 0, err)
            self.assertEqual(err.splitlines()[-1], "--->OK")
            self.assertEqual(second, first)

    @unittest.skipUnless(yaml, "PyYAML is not installed")
    def test_a_yaml_1_1_reader_takes_the_header_with_its_numbers(self):
        with tempfile.TemporaryDirectory() as d:
            ort = os.path.join(d, "t.ort")
            code, _, err = run("simulate", "--template", "--ort", ort)
            self.assertEqual(code, 0, err)
            h = yaml.safe_load(orso_header(ort))
            self.assertEqual(h["data_source"]["experiment"]["probe"], "x-ray")
            settings = h["data_source"]["measurement"]["instrument_settings"]
            self.assertEqual(settings["wavelength"], {"magnitude": 1.54, "unit": "angstrom"})
            self.assertEqual(h["analysis"]["intensity_scale"], 10 ** 6.1)
            self.assertEqual(h["analysis"]["background"], 2)
            self.assertEqual([c.get("name", c.get("error_of")) for c in h["columns"]],
                             ["Qz", "R", "R", "Qz", "Rcalc"])
            self.assertEqual(h["reduction"]["software"]["name"], "Tolvi")
            layers = h["data_source"]["sample"]["model"]["layers"]
            for layer in layers.values():
                sld = layer["material"]["sld"]
                self.assertIsInstance(sld["real"], (int, float))
                self.assertIsInstance(sld["imag"], (int, float))
            self.assertEqual(h["data_source"]["sample"]["model"]["stack"].split(" | ")[-1],
                             "Si_0")

    def test_without_ort_nothing_changes_and_a_failed_write_exits_1(self):
        code, plain, err = run("simulate", "--template")
        self.assertEqual(code, 0, err)
        with tempfile.TemporaryDirectory() as d:
            code, out, err = run("simulate", "--template", "--ort", os.path.join(d, "t.ort"))
            self.assertEqual((code, out), (0, plain))
            self.assertEqual(err.splitlines()[-1], "--->OK")
            missing = os.path.join(d, "no", "t.ort")
            for command in ("simulate", "fit"):
                code, out, err = run(command, "--template", "--ort", missing)
                self.assertEqual((code, out), (1, ""), command)
                self.assertTrue(err.splitlines()[-1].startswith(
                    "--->Error can not write " + missing), err)
                self.assertFalse(os.path.exists(missing))
        code, _, _ = run("profile", "--template", "--ort", "x.ort")
        self.assertEqual(code, 2, "only simulate and fit write ORSO files")


class Usage(unittest.TestCase):
    def test_wrong_usage_exits_2_with_one_line(self):
        for args in (["simulate"], ["simulate", "a.par", "b.par"], ["simulate", "--bogus"],
                     ["simulate", "--template", "--ambient"],
                     ["simulate", "--template", "--ambient", "1e-5"],
                     ["simulate", "--template", "--ambient", "x:0"],
                     ["simulate", "--template", "--ambient", "1.5:0"],
                     ["simulate", "--template", "a.par"],
                     ["profile", "--template", "--fresnel"], ["nonsense"], [],
                     ["fit", "--template", "--seed", "-1"],
                     ["fit", "--template", "--seed", "4294967296"],
                     ["fit", "--template", "--pop", "1.5"], ["fit", "--template", "--method", "x"],
                     ["fit", "--template", "a.par"], ["fit"], ["fit", "--template", "--fresnel"]):
            code, out, err = run(*args)
            self.assertEqual((code, out), (2, ""), args)
            self.assertEqual(len(err.strip().splitlines()), 1, args)

    def test_help(self):
        code, out, _ = run("--help")
        self.assertEqual(code, 0)
        self.assertIn("simulate", out)

class ResultsAndSample(unittest.TestCase):
    def test_fit_results_as_json_and_csv_leave_the_report_alone(self):
        with tempfile.TemporaryDirectory() as d:
            plain = run("fit", "--template")
            code, out, err = run("fit", "--template", "--results", os.path.join(d, "r.json"))
            self.assertEqual(code, 0, err)
            self.assertEqual(without_clock(out), without_clock(plain[1]))
            with open(os.path.join(d, "r.json")) as f:
                r = json.load(f)
            names = [p["name"] for p in r["parameters"]]
            self.assertEqual(names, ["F1 logI0", "row 2 W t", "row 3 Si t", "row 3 Si sig",
                                     "row 4 C t"])
            # The values and errors are those of the report's P[k] lines, to its six decimals.
            for k, p in enumerate(r["parameters"]):
                line = [l for l in out.splitlines() if l.startswith("P[%d] = " % k)][0]
                value, error = float(line.split()[2]), float(line.split()[4])
                self.assertAlmostEqual(p["value"], value, places=6)
                self.assertAlmostEqual(p["error"], error, places=6)
                self.assertIsNone(p["at_bound"])
            self.assertEqual(r["method"], "lm")
            self.assertEqual(len(r["correlation"]), 5)
            self.assertEqual(r["points"], r["dof"] + 5)
            self.assertFalse(r["measurement_errors"])
            self.assertIn("not probabilities", r["note"])
            code, out, err = run("fit", "--template", "--method", "ga", "--seed", "2",
                                 "--gens", "5", "--results", os.path.join(d, "r.csv"))
            self.assertEqual(code, 0, err)
            with open(os.path.join(d, "r.csv")) as f:
                lines = f.read().splitlines()
            self.assertEqual(lines[0], "name,value,error,at_bound")
            self.assertEqual(len(lines), 6)
            self.assertTrue(lines[1].startswith("F1 logI0,"))
            self.assertEqual(lines[1].split(",")[2], "")  # the genetic search gives no error

    def test_results_need_a_known_extension(self):
        code, out, err = run("fit", "--template", "--results", "r.txt")
        self.assertEqual((code, out), (2, ""))
        self.assertIn("--results needs a file ending in .json or .csv", err)

    def test_sample_of_the_template_with_its_counting_errors(self):
        with tempfile.TemporaryDirectory() as d:
            chain, results = os.path.join(d, "chain.csv"), os.path.join(d, "r.json")
            args = ("sample", "--template", "--errors", "data", "--walkers", "12",
                    "--length", "60", "--burn", "20", "--thin", "4", "--seed", "3",
                    "--chain", chain, "--results", results)
            code, out, err = run(*args)
            self.assertEqual(code, 0, err)
            self.assertIn("walkers 12, steps 60, burn-in 20, thin 4, seed 3,", out)
            self.assertRegex(out, r"\nname +median +15.87% +84.13% +2.5% +97.5% +max.prob. "
                                  r"+tau\(steps\)\n")
            self.assertIn("--->Warning, the chain is shorter than 50 autocorrelation times", err)
            self.assertNotIn("not probabilities", err)
            self.assertTrue(err.splitlines()[-1].startswith("--->Sample end"))
            with open(chain) as f:
                rows = f.read().splitlines()
            self.assertEqual(rows[0], "walker,step,log_probability,F1 logI0,row 2 W t,"
                                      "row 3 Si t,row 3 Si sig,row 4 C t")
            self.assertEqual(len(rows), 1 + 12 * 10)
            self.assertEqual(rows[1].split(",")[:2], ["1", "24"])
            self.assertEqual(rows[-1].split(",")[:2], ["12", "60"])
            with open(results) as f:
                r = json.load(f)
            self.assertEqual(r["method"], "sample")
            self.assertEqual(r["sampler"]["samples"], 120)
            self.assertTrue(r["measurement_errors"])
            for p in r["parameters"]:
                self.assertLessEqual(p["p2_5"], p["p15_87"])
                self.assertLessEqual(p["p15_87"], p["median"])
                self.assertLessEqual(p["median"], p["p84_13"])
                self.assertLessEqual(p["p84_13"], p["p97_5"])
            # The same seed, the same chain.
            with open(chain) as f:
                first = f.read()
            self.assertEqual(run(*args)[0], 0)
            with open(chain) as f:
                self.assertEqual(f.read(), first)

    def test_sample_refusals_and_usage(self):
        code, out, err = run("sample", "--template", "--walkers", "7")
        self.assertEqual((code, out), (1, ""))
        self.assertEqual(err.splitlines()[-1], "--->Error the walkers must be even, not 7")
        code, out, err = run("sample", "--template", "--walkers", "8")
        self.assertEqual(code, 1)
        self.assertEqual(err.splitlines()[-1],
                         "--->Error 8 walkers are too few: at least 10 for 5 parameters")
        code, out, err = run("sample", "--template", "--start", "best")
        self.assertEqual(code, 2)
        self.assertIn("--start is current or fit", err)
        # With the built-in weights the intervals are said not to be probabilities.
        code, out, err = run("sample", "--template", "--walkers", "10", "--length", "4",
                             "--seed", "1")
        self.assertEqual(code, 0, err)
        self.assertIn("the intervals are not probabilities", err)


if __name__ == "__main__":
    CLI = os.path.abspath(sys.argv.pop(1))
    unittest.main()
