#!/usr/bin/env python3
"""The command-line contract of tolvi-cli: outputs, exit statuses and usage errors.

    test_cli.py TOLVI_CLI
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


class Usage(unittest.TestCase):
    def test_wrong_usage_exits_2_with_one_line(self):
        for args in (["simulate"], ["simulate", "a.par", "b.par"], ["simulate", "--bogus"],
                     ["simulate", "--template", "--ambient"],
                     ["simulate", "--template", "--ambient", "1e-5"],
                     ["simulate", "--template", "--ambient", "x:0"],
                     ["simulate", "--template", "--ambient", "1.5:0"],
                     ["simulate", "--template", "a.par"],
                     ["profile", "--template", "--fresnel"], ["nonsense"], []):
            code, out, err = run(*args)
            self.assertEqual((code, out), (2, ""), args)
            self.assertEqual(len(err.strip().splitlines()), 1, args)

    def test_help(self):
        code, out, _ = run("--help")
        self.assertEqual(code, 0)
        self.assertIn("simulate", out)


if __name__ == "__main__":
    CLI = os.path.abspath(sys.argv.pop(1))
    unittest.main()
