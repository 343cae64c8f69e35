#!/usr/bin/env python3
"""The command-line contract of tolvi-cli material: the material file, exit statuses, usage.

    test_cli_material.py TOLVI_CLI
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

CLI = None


def run(*args, cwd=None):
    p = subprocess.run([CLI, *args], capture_output=True, text=True, cwd=cwd, timeout=60)
    return p.returncode, p.stdout, p.stderr


def values(text):
    """The first number of each line, as the material-file reader takes them."""
    return [float(line.split(";")[0]) for line in text.splitlines()]


class Material(unittest.TestCase):
    def test_prints_the_seven_lines_at_the_default_wavelength(self):
        code, out, err = run("material", "SiO2")
        self.assertEqual(code, 0, err)
        self.assertEqual(err.splitlines()[-1], "--->OK")
        lines = out.splitlines()
        self.assertEqual(len(lines), 7)
        v = values(out)
        self.assertEqual(v[0], 1.54)
        self.assertAlmostEqual(v[1], 60.0843, places=4)
        self.assertAlmostEqual(v[2], 30.3596, places=3)
        self.assertAlmostEqual(v[4], 15.76071, places=5)
        self.assertAlmostEqual(v[5], 0.171 * 1.54 / 1.798 + 2 * 0.00019 * 1.54 / 1.798, places=7)
        self.assertEqual(v[6], 0.0)
        for line, word in zip(lines, ("wavelength", "molar mass", "f1", "f2", "bCoh", "absXs",
                                      "magnetic moment")):
            self.assertIn("; " + word, line)
        for line in lines[1:]:
            self.assertIn("of SiO2", line)

    def test_wavelength_and_moment(self):
        _, cu, _ = run("material", "Fe")
        code, mo, err = run("material", "--wavelength", "0.7107", "Fe", "--mag", "2.2")
        self.assertEqual(code, 0, err)
        cu, mo = values(cu), values(mo)
        self.assertEqual(mo[0], 0.7107)
        self.assertEqual(mo[1], cu[1])
        self.assertNotAlmostEqual(mo[3], cu[3], places=2)  # f2 of Fe falls far above its K edge
        self.assertEqual(mo[4], cu[4])
        self.assertAlmostEqual(mo[5] / 0.7107, cu[5] / 1.54, places=6)  # absXs / wavelength
        self.assertEqual(mo[6], 2.2)

    def test_output_file_holds_what_is_printed(self):
        _, printed, _ = run("material", "Al2O3")
        with tempfile.TemporaryDirectory() as d:
            for flag in ("-o", "--output"):
                path = os.path.join(d, "Al2O3%s.mf" % flag)
                code, out, err = run("material", flag, path, "Al2O3")
                self.assertEqual((code, out), (0, ""), err)
                self.assertEqual(err.splitlines()[-1], "--->OK")
                with open(path) as f:
                    self.assertEqual(f.read(), printed)

    def test_written_file_serves_a_parameter_file(self):
        with tempfile.TemporaryDirectory() as d:
            tdir = os.path.join(os.path.dirname(CLI), "template")
            for name in os.listdir(tdir):
                shutil.copy(os.path.join(tdir, name), d)
            os.remove(os.path.join(d, "Si.mf"))
            code, _, err = run("material", "Si", "-o", os.path.join(d, "Si.mf"))
            self.assertEqual(code, 0, err)
            code, out, err = run("simulate", os.path.join(d, "template.par"))
            self.assertEqual(code, 0, err)
            self.assertGreater(len(out.splitlines()), 500)

    def test_refused_formula_or_wavelength_exits_1(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "x.mf")
            for args, message in ((["Xx"], 'unknown element "Xx"'),
                                  (["Ca(OH2"], 'has a "(" without its ")"'),
                                  (["SiO2", "--wavelength", "-1"], "wavelength not above 0"),
                                  (["Si", "--wavelength", "0"], "wavelength not above 0"),
                                  (["Po"], "no neutron data for Po"),
                                  ([""], "is empty")):
                code, out, err = run("material", *args, "-o", path)
                self.assertEqual((code, out), (1, ""), args)
                self.assertEqual(len(err.splitlines()), 1, args)
                self.assertTrue(err.startswith("--->Error"), err)
                self.assertIn(message, err)
                self.assertFalse(os.path.exists(path))
                code, out, _ = run("material", *args)
                self.assertEqual((code, out), (1, ""), args)

    def test_failed_write_exits_1(self):
        code, out, err = run("material", "Si", "-o", "/nonexistent/dir/Si.mf")
        self.assertEqual((code, out), (1, ""))
        self.assertIn("--->Error can not write /nonexistent/dir/Si.mf", err)

    def test_wrong_usage_exits_2_with_one_line(self):
        for args in ([], ["Si", "SiO2"], ["Si", "--wavelength"], ["Si", "--wavelength", "x"],
                     ["Si", "--wavelength", "nan"], ["Si", "--mag", "1,5"], ["Si", "--bogus"],
                     ["Si", "-x"], ["-o"], ["Si", "-o"], ["Si", "-o", ""],
                     ["Si", "-o", "a.mf", "--output", "b.mf"], ["Si", "--template"]):
            code, out, err = run("material", *args)
            self.assertEqual((code, out), (2, ""), args)
            self.assertEqual(len(err.strip().splitlines()), 1, args)

    def test_help_names_the_command(self):
        code, out, _ = run("--help")
        self.assertEqual(code, 0)
        self.assertIn("material FORMULA", out)

    def test_single_dash_stays_an_argument_of_other_commands(self):
        code, out, err = run("simulate", "-o")
        self.assertEqual((code, out), (1, ""))
        self.assertEqual(err.splitlines()[-1], "--->Error open file ")


class ShippedFiles(unittest.TestCase):
    """The template's and the examples' material files are what the command writes today."""

    SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

    def check_folder(self, folder):
        names = sorted(n for n in os.listdir(folder) if n.endswith(".mf"))
        self.assertTrue(names, folder)
        for name in names:
            with open(os.path.join(folder, name)) as f:
                text = f.read()
            wavelength = text.split(";")[0].strip()
            code, out, err = run("material", name[:-3], "--wavelength", wavelength)
            self.assertEqual(code, 0, err)
            self.assertEqual(out, text, os.path.join(folder, name))

    def test_template(self):
        self.check_folder(os.path.join(self.SOURCE, "template"))

    def test_examples(self):
        for sub in ("CuKa", "MoKa"):
            self.check_folder(os.path.join(self.SOURCE, "examples", "materials", sub))


if __name__ == "__main__":
    CLI = os.path.abspath(sys.argv.pop(1))
    unittest.main()
