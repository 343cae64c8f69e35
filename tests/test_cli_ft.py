#!/usr/bin/env python3
"""The contract of "tolvi-cli ft": the Fourier page from the command line.

    test_cli_ft.py TOLVI_CLI
"""
import math
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

CLI = None
HEADER_LINES = 9
TEMPLATE_FILM = 250.0  # Å of Ni in template/template.dat


def run(*args):
    p = subprocess.run([CLI, "ft", *args], capture_output=True, text=True, timeout=120)
    return p.returncode, p.stdout, p.stderr


def template_dat():
    return os.path.join(os.path.dirname(CLI), "template", "template.dat")


def rows(out):
    return [line.split() for line in out.splitlines()[HEADER_LINES:]]


def peak(out, column=1):
    best = max(rows(out), key=lambda r: float(r[column]))
    return float(best[0])


def estimate_qc(path, lam=1.54):
    """The reader's half-maximum estimate for a theta, linear file, as the page shows it."""
    with open(path) as f:
        pts = [tuple(map(float, line.split()[:2])) for line in f if line.strip()]
    theta = [p[0] for p in pts]
    r = [p[1] for p in pts]
    i_max = max(range(len(r)), key=lambda i: (r[i], -i))
    half = r[i_max] / 2
    i_h = max(i for i in range(i_max + 1, len(r)) if r[i] > half)
    tc = theta[i_h] + (half - r[i_h]) / (r[i_h + 1] - r[i_h]) * (theta[i_h + 1] - theta[i_h])
    return "%.8f" % (4 * math.pi * (tc * math.pi / 180) / lam)


class Template(unittest.TestCase):
    def test_spectrum_peaks_at_the_film_thickness(self):
        code, out, err = run("--template")
        self.assertEqual(code, 0, err)
        lines = out.splitlines()
        self.assertEqual(lines[0], " (Background Shape)  ")
        self.assertEqual(lines[8], "    d(A)        Int(FT)  ")
        self.assertEqual(len(rows(out)), 200)
        self.assertEqual(rows(out)[0][0], "5.00")
        self.assertLessEqual(abs(peak(out) - TEMPLATE_FILM), 5.0)
        self.assertEqual(err.splitlines(), ["--->OK", "--->OK"])

    def test_defaults_hold_qc_at_the_estimate_as_the_field_shows_it(self):
        _, default, _ = run("--template")
        code, typed, err = run("--template", "--qc", estimate_qc(template_dat()),
                               "--qc-mode", "manual", "--fringe", "r-rf", "--transform", "dft",
                               "--dmax", "1000", "--bins", "200")
        self.assertEqual(code, 0, err)
        self.assertEqual(typed, default)

    def test_wavelet_rows_start_at_the_second_bin(self):
        code, out, _ = run("--template", "--transform", "wavelet", "--bins", "100",
                           "--dmax", "500")
        self.assertEqual(code, 0)
        table = rows(out)
        self.assertEqual(len(table), 99)
        self.assertEqual(table[0][0], "10.00")
        self.assertTrue(all(len(r) == 5 for r in table))
        self.assertLessEqual(abs(peak(out, 4) - TEMPLATE_FILM), 5.0)

    def test_rq4_fringe_and_fitted_edge_end_ok(self):
        for args in (["--fringe", "rq4"], ["--qc-mode", "fit"], ["--q-range", "0.05:0.4"]):
            code, out, err = run("--template", *args)
            self.assertEqual(code, 0, args)
            self.assertEqual(err.splitlines()[-1], "--->OK", args)
            self.assertEqual(len(rows(out)), 200, args)

    def test_ambient_changes_the_edge_fit(self):
        _, plain, _ = run("--template")
        code, other, _ = run("--template", "--ambient", "1e-6:1e-8")
        self.assertEqual(code, 0)
        self.assertNotEqual(plain, other)


class DataFile(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.data = os.path.join(self.dir, "film.dat")
        shutil.copy(template_dat(), self.data)

    def tearDown(self):
        shutil.rmtree(self.dir)

    def test_save_writes_the_printed_text_beside_the_data(self):
        code, out, err = run(self.data, "--x-axis", "theta", "--save")
        self.assertEqual(code, 0, err)
        ft = os.path.join(self.dir, "film.FT")
        with open(ft) as f:
            self.assertEqual(f.read(), out)
        self.assertEqual(err.splitlines()[-1], ft)

    def test_two_theta_axis_is_the_default(self):
        _, theta, _ = run(self.data, "--x-axis", "theta")
        _, default, _ = run(self.data)
        _, two_theta, _ = run(self.data, "--x-axis", "2theta")
        self.assertNotEqual(theta, default)
        self.assertEqual(two_theta, default)

    def test_failures_exit_1_with_the_status_line_and_no_output(self):
        cases = [
            ([os.path.join(self.dir, "none.dat")], "--->Error, cant find data"),
            ([self.data, "--y-scale", "log"], "--->Error, Check data y type"),
            ([self.data, "--lambda", "0"], "--->Error, lambda must be above 0"),
            ([self.data, "--bins", "0"], "--->Error, Bin_No must lie in 1..2000"),
            ([self.data, "--bins", "2001"], "--->Error, Bin_No must lie in 1..2000"),
            ([self.data, "--dmax", "0"], "--->Error, d_max/Bin_No must be above 0"),
            ([self.data, "--q-range", "0.3:0.30001"],
             "--->Error, q window holds fewer than 2 points"),
            # A typed edge whose delta lies below the fit's bound: the engine refuses its start.
            ([self.data, "--qc", "0.002", "--qc-mode", "fit"], "-->Error Init val constraints"),
        ]
        with open(os.path.join(self.dir, "short.dat"), "w") as f:
            f.write("0.1 5\n0.2\n")
        cases.append(([os.path.join(self.dir, "short.dat")], "--->Error, x and y expected in "))
        for args, message in cases:
            code, out, err = run(*args, "--save")
            self.assertEqual((code, out), (1, ""), args)
            self.assertTrue(err.splitlines()[-1].startswith(message), (args, err))
        self.assertFalse(os.path.exists(os.path.join(self.dir, "film.FT")))

    def test_save_that_cannot_write_exits_1(self):
        os.mkdir(os.path.join(self.dir, "film.FT"))
        code, out, err = run(self.data, "--save")
        self.assertEqual((code, out), (1, ""))
        self.assertTrue(err.splitlines()[-1].startswith("--->Error can not write"))
        self.assertTrue(os.path.isdir(os.path.join(self.dir, "film.FT")))

    def test_max_data_warning_still_succeeds(self):
        with open(self.data, "a") as f:
            for i in range(1500):
                f.write("%.4f 3.0\n" % (3.005 + 0.005 * i))
        code, out, err = run(self.data, "--x-axis", "theta")
        self.assertEqual(code, 0, err)
        self.assertEqual(err.splitlines(), ["--->Warning, MAX_DATA reached", "--->OK"])
        self.assertEqual(len(rows(out)), 200)


class Usage(unittest.TestCase):
    def test_wrong_usage_exits_2_with_one_line(self):
        data = template_dat()
        for args in ([], [data, data], ["--template", data], [data, "--bogus"],
                     [data, "--x-axis", "chi"], [data, "--y-scale", "ln"],
                     [data, "--lambda", "x"], [data, "--lambda"],
                     [data, "--q-range", "0.1"], [data, "--q-range", "a:b"],
                     [data, "--qc", "0,03"], [data, "--qc-mode", "auto"],
                     [data, "--fringe", "r"], [data, "--transform", "fft"],
                     [data, "--dmax", "big"], [data, "--bins", "2.5"],
                     [data, "--ambient", "1.5:0"], [data, "--ambient", "1e-5"],
                     ["--template", "--x-axis", "q"], ["--template", "--y-scale", "lin"],
                     ["--template", "--lambda", "1.54"], [data, "--save", "--save"]):
            code, out, err = run(*args)
            self.assertEqual((code, out), (2, ""), args)
            self.assertEqual(len(err.strip().splitlines()), 1, args)

    def test_help_names_the_command(self):
        p = subprocess.run([CLI, "--help"], capture_output=True, text=True, timeout=60)
        self.assertEqual(p.returncode, 0)
        self.assertIn("ft DATA", p.stdout)


if __name__ == "__main__":
    CLI = os.path.abspath(sys.argv.pop(1))
    unittest.main()
