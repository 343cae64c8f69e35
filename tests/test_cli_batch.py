#!/usr/bin/env python3
"""The batch commands of tolvi-cli: the table, failures, resume, chains, shards and merging.

    test_cli_batch.py TOLVI_CLI

The series are copies of the template's measured curve with the intensities scaled, fitted with
the template's model by least squares (a few hundredths of a second each).
"""
import csv
import io
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

CLI = None
# The template's free parameters, in the order of its fit results.
NAMES = ["F1 logI0", "row 2 W t", "row 3 Si t", "row 3 Si sig", "row 4 C t"]
FIXED = ["index", "file", "status", "message", "chi2", "chi2/DOF"]
POINTS = 591  # lines of template_data.dat, all within the template's x range


def run(*args, cwd=None):
    p = subprocess.run([CLI, *args], capture_output=True, text=True, cwd=cwd, timeout=120)
    return p.returncode, p.stdout, p.stderr


def rows_of(text):
    return list(csv.reader(io.StringIO(text)))


def fitted(err):
    """(done, total) of the last progress line."""
    found = re.findall(r"batch: (\d+)/(\d+) fitted", err)
    return tuple(int(n) for n in found[-1])


def read(path):
    with open(path) as f:
        return f.read()


class Series(unittest.TestCase):
    """A folder with the data files d1.dat ... d6.dat (intensities times 1.0, 1.1, ...)."""

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name
        source = os.path.join(os.path.dirname(CLI), "template", "template_data.dat")
        with open(source) as f:
            self.lines = [line.split() for line in f if line.strip()]
        self.files = [self.write_scaled("d%d.dat" % (i + 1), 1.0 + 0.1 * i) for i in range(6)]

    def tearDown(self):
        self.tmp.cleanup()

    def write_scaled(self, name, factor):
        with open(os.path.join(self.dir, name), "w") as f:
            for x, y, dy in self.lines:
                f.write("%s %.6g %.6g\n" % (x, float(y) * factor, float(dy) * factor))
        return name

    def batch(self, *args):
        return run("batch", "--template", *args, cwd=self.dir)

    def path(self, name):
        return os.path.join(self.dir, name)


class Table(Series):
    def test_columns_rows_and_numbers(self):
        code, out, err = self.batch(*self.files[:3], "--results", "t.csv")
        self.assertEqual((code, out), (0, ""), err)
        self.assertEqual(err.splitlines()[-1], "--->OK")
        self.assertEqual(fitted(err), (3, 3))
        rows = rows_of(read(self.path("t.csv")))
        header = FIXED + [c for n in NAMES for c in (n, n + " error")]
        self.assertEqual(rows[0], header)
        self.assertEqual([r[:3] for r in rows[1:]],
                         [[str(i + 1), f, "ok"] for i, f in enumerate(self.files[:3])])
        for r in rows[1:]:
            self.assertTrue(r[3].startswith("-->OK"), r[3])
            chi2 = float(r[4])
            self.assertEqual(float(r[5]), chi2 / (POINTS - len(NAMES)))
            self.assertTrue(all(float(v) > 0 for v in r[6:]))
        # Scaled intensities: log10 I0 grows by log10 of the factor.
        logi0 = [float(r[6]) for r in rows[1:]]
        self.assertAlmostEqual(logi0[2] - logi0[0], 0.0792, delta=0.002)

    def test_a_copy_of_the_template_data_fits_as_fit_does(self):
        shutil.copy(os.path.join(os.path.dirname(CLI), "template", "template_data.dat"),
                    self.path("same.dat"))
        code, out, err = self.batch("same.dat")
        self.assertEqual(code, 0, err)
        code, _, err = run("fit", "--template", "--results", self.path("fit.csv"))
        self.assertEqual(code, 0, err)
        fit = {r[0]: (float(r[1]), float(r[2])) for r in rows_of(read(self.path("fit.csv")))[1:]}
        row = rows_of(out)[1]
        for k, name in enumerate(NAMES):
            self.assertEqual((float(row[6 + 2 * k]), float(row[7 + 2 * k])), fit[name], name)

    def test_standard_output_holds_the_table_the_file_would(self):
        code, out, _ = self.batch(*self.files[:2])
        self.assertEqual(code, 0)
        self.batch(*self.files[:2], "--results", "t.csv")
        self.assertEqual(out, read(self.path("t.csv")))

    def test_one_or_two_jobs_give_the_same_bytes(self):
        args = [*self.files, "missing.dat"]
        one = self.batch(*args, "--jobs", "1")
        two = self.batch(*args, "--jobs", "2")
        self.assertEqual(one[0], 1)
        self.assertEqual(one[:2], two[:2])

    def test_a_file_name_with_a_comma_is_quoted(self):
        shutil.copy(self.path("d1.dat"), self.path("a,b.dat"))
        code, out, _ = self.batch("a,b.dat")
        self.assertEqual(code, 0)
        self.assertIn('\n1,"a,b.dat",ok,', out)
        self.assertEqual(rows_of(out)[1][1], "a,b.dat")


class Failures(Series):
    def test_missing_and_malformed_files_fail_alone(self):
        with open(self.path("bad.dat"), "w") as f:
            f.write("0.1 12x 3\n")
        code, out, err = self.batch(self.files[0], "missing.dat", "bad.dat", self.files[1])
        self.assertEqual(code, 1)
        self.assertEqual(err.splitlines()[-1], "--->Error, 2 of 4 files failed: their rows say why")
        self.assertEqual(fitted(err), (4, 4))
        self.assertIn("2 failed", err.split("\r")[-1])
        rows = rows_of(out)
        self.assertEqual([r[2] for r in rows[1:]], ["ok", "failed", "failed", "ok"])
        self.assertEqual(rows[2][3], "--->Error, cant find data")
        self.assertEqual(rows[3][3], '"12x" is not a number (in bad.dat, line 1)')
        for r in rows[2:4]:
            self.assertEqual(set(r[4:]), {""})

    def test_usage_errors(self):
        cases = [
            (["--chain", "--shard", "1/2"], "does not go with --shard"),
            (["--chain", "--jobs", "2"], "--jobs must be 1"),
            (["--shard", "3/2"], "1 <= K <= N"),
            (["--shard", "a/b"], "--shard needs K/N"),
            (["--jobs", "0"], "--jobs needs a whole number"),
            (["--results", "t.json"], "--results needs a file ending in .csv"),
            (["--method", "simplex"], "--method is lm or ga"),
        ]
        for extra, words in cases:
            code, out, err = self.batch(self.files[0], *extra)
            self.assertEqual((code, out), (2, ""), extra)
            self.assertIn(words, err)
        code, _, err = run("batch", "--template", cwd=self.dir)
        self.assertEqual(code, 2)
        self.assertIn("batch needs data files", err)


class Resume(Series):
    def test_ok_rows_are_kept_and_a_fixed_file_runs_again(self):
        with open(self.path("d3.dat"), "w") as f:
            f.write("0.1 12x 3\n")
        code, _, _ = self.batch(*self.files[:4], "--results", "t.csv")
        self.assertEqual(code, 1)
        first = rows_of(read(self.path("t.csv")))
        self.assertEqual(first[3][2], "failed")
        self.write_scaled("d3.dat", 1.2)
        code, _, err = self.batch(*self.files[:4], "--results", "t.csv")
        self.assertEqual(code, 0, err)
        self.assertIn("batch: 3 files already in t.csv (ok or warning): skipped", err)
        self.assertEqual(fitted(err), (1, 1))
        second = read(self.path("t.csv"))
        rows = rows_of(second)
        self.assertEqual(rows[:3] + rows[4:], first[:3] + first[4:])
        self.assertEqual(rows[3][2], "ok")
        # The same as a run without an earlier table; a third run fits nothing.
        code, out, _ = self.batch(*self.files[:4])
        self.assertEqual(out, second)
        code, _, err = self.batch(*self.files[:4], "--results", "t.csv")
        self.assertEqual((code, fitted(err)), (0, (0, 0)))
        self.assertEqual(read(self.path("t.csv")), second)

    def test_a_row_cut_short_by_a_stopped_run_is_fitted_again(self):
        _, whole, _ = self.batch(*self.files[:3])
        with open(self.path("t.csv"), "w") as f:
            f.write(whole[:whole.rindex("\n", 0, -1) + 20])  # two rows and a piece of the third
        code, _, err = self.batch(*self.files[:3], "--results", "t.csv")
        self.assertEqual((code, fitted(err)), (0, (1, 1)), err)
        self.assertEqual(read(self.path("t.csv")), whole)

    def test_rows_of_other_files_are_not_taken(self):
        self.batch(*self.files[:2], "--results", "t.csv")
        # Index 2 now names another file: it is fitted, index 1 is kept.
        code, _, err = self.batch(self.files[0], self.files[2], "--results", "t.csv")
        self.assertEqual((code, fitted(err)), (0, (1, 1)))
        self.assertEqual([r[1] for r in rows_of(read(self.path("t.csv")))[1:]],
                         [self.files[0], self.files[2]])

    def test_a_table_of_other_columns_is_refused_and_left_as_it_was(self):
        with open(self.path("t.csv"), "w") as f:
            f.write("index,file,status,message,chi2,chi2/DOF,a,a error\n")
        code, _, err = self.batch(self.files[0], "--results", "t.csv")
        self.assertEqual(code, 1)
        self.assertIn("its columns differ", err.splitlines()[-1])
        self.assertEqual(read(self.path("t.csv")),
                         "index,file,status,message,chi2,chi2/DOF,a,a error\n")


class Chain(Series):
    def test_each_file_starts_from_the_one_before(self):
        shutil.copy(self.path("d1.dat"), self.path("d1b.dat"))
        files = [self.files[0], "d1b.dat", self.files[1]]
        code, out, err = self.batch(*files, "--chain")
        self.assertEqual(code, 0, err)
        self.assertEqual(err.splitlines()[-1], "--->Warning, 1 of 3 files ended with a warning")
        chained = rows_of(out)
        _, plain, _ = self.batch(*files)
        plain = rows_of(plain)
        # The first file starts from the model in both; a copy of the file before starts where
        # that one ended, where this fit does not move (from the model's start it ends as the
        # first did); the next file starts there too, and ends elsewhere in the last digits.
        self.assertEqual(chained[1], plain[1])
        self.assertEqual(plain[2][2:], plain[1][2:])
        self.assertEqual(chained[2][2], "warning")
        self.assertIn("no parameter moved from its start", chained[2][3])
        self.assertEqual(chained[2][6:], chained[1][6:])
        self.assertNotEqual(chained[3][4:], plain[3][4:])
        for c, p in zip(chained[3][4:], plain[3][4:]):
            self.assertAlmostEqual(float(c), float(p), delta=1e-6 * abs(float(p)))

    def test_a_failed_file_is_passed_over_and_a_resumed_chain_goes_on(self):
        files = [self.files[0], "missing.dat", self.files[1], self.files[2]]
        code, whole, _ = self.batch(*files, "--chain")
        self.assertEqual(code, 1)
        # Missing passed over: the third file starts from the first's values.
        _, pair, _ = self.batch(self.files[0], self.files[1], "--chain")
        self.assertEqual(rows_of(whole)[3][2:], rows_of(pair)[2][2:])
        # The first three, then all four from the same table: the fourth starts from the
        # third's values as read back, which gives the bytes of one whole run.
        self.batch(*files[:3], "--chain", "--results", "t.csv")
        code, _, err = self.batch(*files, "--chain", "--results", "t.csv")
        self.assertEqual(code, 1)
        self.assertEqual(fitted(err), (2, 2))  # the missing file again, and the new one
        self.assertEqual(read(self.path("t.csv")), whole)


class Shards(Series):
    def test_shards_cover_every_file_once(self):
        _, whole, _ = self.batch(*self.files)
        lines = whole.splitlines(keepends=True)
        for n in (1, 2, 4):
            seen = []
            for k in range(1, n + 1):
                code, out, err = self.batch(*self.files, "--shard", "%d/%d" % (k, n))
                self.assertEqual(code, 0, err)
                part = out.splitlines(keepends=True)
                self.assertEqual(part[0], lines[0])
                self.assertEqual([int(r.split(",")[0]) for r in part[1:]],
                                 list(range(k, len(self.files) + 1, n)))
                seen += part[1:]
            self.assertEqual(sorted(seen, key=lambda r: int(r.split(",")[0])), lines[1:])

    def test_two_shards_through_gnu_parallel_merge_to_one_run(self):
        parallel = shutil.which("parallel")
        self.assertIsNotNone(parallel, "GNU parallel is needed (build.sh installs it)")
        files = [*self.files, "missing.dat"]
        p = subprocess.run([parallel, "--will-cite", CLI, "batch", "--template", *files,
                            "--shard", "{#}/2", "--results", "part{#}.csv", ":::", "1", "2"],
                           cwd=self.dir, capture_output=True, text=True, timeout=120)
        self.assertEqual(p.returncode, 1, p.stderr)  # the failed jobs: the shard of missing.dat
        code, out, err = run("batch-merge", "part1.csv", "part2.csv", "-o", "all.csv",
                             cwd=self.dir)
        self.assertEqual((code, out, err), (0, "", "--->OK\n"))
        _, whole, _ = self.batch(*files)
        self.assertEqual(read(self.path("all.csv")), whole)
        # Without -o the merged table goes to standard output.
        self.assertEqual(run("batch-merge", "part2.csv", "part1.csv", cwd=self.dir)[1], whole)

    def test_merge_refuses_other_columns_a_repeated_index_and_a_cut_table(self):
        for k in (1, 2):
            self.batch(*self.files[:4], "--shard", "%d/2" % k, "--results", "part%d.csv" % k)
        text = read(self.path("part2.csv"))
        with open(self.path("other.csv"), "w") as f:
            f.write(text.replace("row 4 C t", "row 4 C sig", 2))
        with open(self.path("cut.csv"), "w") as f:
            f.write(text[:-10])
        cases = [
            (["part1.csv", "other.csv"], "--->Error, other.csv has other columns than part1.csv"),
            (["part1.csv", "part2.csv", "part1.csv"], "--->Error, index 1 is in both part1.csv"),
            (["cut.csv"], "--->Error, the last row of cut.csv is cut short"),
            (["nothing.csv"], "--->Error, cannot open nothing.csv"),
        ]
        for tables, message in cases:
            code, out, err = run("batch-merge", *tables, "-o", "all.csv", cwd=self.dir)
            self.assertEqual((code, out), (1, ""), tables)
            self.assertTrue(err.startswith(message), err)
            self.assertFalse(os.path.exists(self.path("all.csv")))
        self.assertEqual(run("batch-merge", cwd=self.dir)[0], 2)


if __name__ == "__main__":
    CLI = os.path.abspath(sys.argv.pop(1))
    unittest.main()
