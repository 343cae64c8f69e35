"""The Python module against the command-line tool: the same curves to the last digit, the same
named results, the program's messages as tolvi.Error, and models computed on two threads at once.

Run by ctest as: python3 test_module.py TOLVI_CLI SOURCE_DIR (with PYTHONPATH at the module).
"""
import json
import math
import os
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import numpy as np

import tolvi

CLI = sys.argv[1] if len(sys.argv) > 1 else "tolvi-cli"
SOURCE = sys.argv[2] if len(sys.argv) > 2 else "."
FILM_DQ = os.path.join(SOURCE, "examples", "neutron-dq", "film.par")
FILM = os.path.join(SOURCE, "examples", "neutron", "film.par")


def cli(*args):
    done = subprocess.run([CLI, *args], capture_output=True, text=True, check=True)
    return done.stdout


def cli_results(*args):
    with tempfile.TemporaryDirectory() as d:
        path = os.path.join(d, "r.json")
        cli(*args, "--results", path)
        with open(path) as f:
            return json.load(f)


def q_of(two_theta_deg, lamd):
    return 4 * math.pi / lamd * np.sin(np.radians(two_theta_deg) / 2)


class Curves(unittest.TestCase):
    def test_the_curve_is_the_command_lines_to_the_last_digit(self):
        for load, args in [({"template": True}, ["--template"]),
                           ({"path": FILM, "errors": "data", "ambient_sld": 2.07},
                            [FILM, "--errors", "data", "--ambient-sld", "2.07"]),
                           ({"path": FILM_DQ, "resolution": "column:fwhm"},
                            [FILM_DQ, "--resolution", "column:fwhm"])]:
            m = tolvi.load(**load)
            lines = cli("simulate", *args).split("\n")[:-1]
            self.assertEqual(len(lines), len(m.x))
            x, y, calc = m.x, m.y, m.reflectivity()
            for i, line in enumerate(lines):
                self.assertEqual(line, "%.17g %.17g %.17g" % (x[i], y[i], calc[i]), (load, i))

    def test_x_and_y_are_read_only_views_and_the_curve_a_new_array(self):
        m = tolvi.load(template=True)
        self.assertFalse(m.x.flags.writeable)
        self.assertFalse(m.x.flags.owndata, "a view on the model")
        self.assertTrue(np.shares_memory(m.x, m.x))
        r = m.reflectivity()
        self.assertTrue(r.flags.owndata)
        r[0] = -1
        self.assertGreater(m.reflectivity()[0], 0)

    def test_dy_is_the_data_files_error_column_when_it_is_read(self):
        self.assertIsNone(tolvi.load(template=True).dy)
        m = tolvi.load(template=True, errors="data")
        column = np.loadtxt(os.path.join(SOURCE, "template", "template_data.dat"))[:, 2]
        np.testing.assert_array_equal(m.dy, column)
        self.assertFalse(m.dy.flags.writeable)

    def test_any_q_gives_the_curve_of_the_loaded_points(self):
        m = tolvi.load(template=True)  # 2theta in degrees, 1.54 A
        at_points = m.reflectivity(q=q_of(m.x, 1.54))
        np.testing.assert_allclose(at_points, m.reflectivity(), rtol=1e-11)

    def test_a_resolution_column_needs_dq_and_gives_the_curve_with_it(self):
        m = tolvi.load(FILM_DQ, resolution="column:fwhm")
        with self.assertRaises(tolvi.Error):
            m.reflectivity(q=np.array(m.x))
        fwhm = np.loadtxt(os.path.join(SOURCE, "examples", "neutron-dq", "film.dat"))[:, 3]
        sigma = fwhm / (2 * math.sqrt(2 * math.log(2)))
        # The widths differ from the loaded ones in their last digits, and the resolution's plan,
        # adaptive, is good to about 4e-8.
        np.testing.assert_allclose(m.reflectivity(q=m.x, dq=sigma), m.reflectivity(), rtol=1e-7)
        plain = tolvi.load(FILM_DQ)
        with self.assertRaises(tolvi.Error):
            plain.reflectivity(q=m.x, dq=sigma)

    def test_a_hundred_thousand_q_are_computed_in_pieces_as_one(self):
        m = tolvi.load(template=True)
        q = np.linspace(0.005, 0.42, 100_000)
        r = m.reflectivity(q)
        self.assertEqual(r.shape, (100_000,))
        self.assertTrue(np.all(np.isfinite(r)) and np.all(r > 0))
        # Pieces of other sizes give the same numbers, bit for bit.
        for start, end in [(0, 1), (1999, 2001), (12345, 23456), (99_000, 100_000)]:
            np.testing.assert_array_equal(m.reflectivity(q[start:end]), r[start:end])
        # Any array-like of numbers: a list, integers, a strided view.
        np.testing.assert_array_equal(m.reflectivity(list(q[:10])), r[:10])
        np.testing.assert_array_equal(m.reflectivity(q[::1000]), r[::1000])

    def test_slabs_and_profile_as_the_command_line_prints_them(self):
        m = tolvi.load(template=True)
        for method, args, columns in [(lambda: m.slabs(), ["slabs"], 7),
                                      (lambda: m.profile(), ["profile"], 2),
                                      (lambda: m.profile(sld=True), ["profile", "--sld"], 3)]:
            rows = method()
            lines = cli(args[0], "--template", *args[1:]).split("\n")[:-1]
            self.assertEqual(rows.shape, (len(lines), columns))
            for row, line in zip(rows, lines):
                words = line.split()
                for k, (value, word) in enumerate(zip(row, words)):
                    text = "%d" % value if (args[0] == "slabs" and k == 0) else "%.17g" % value
                    self.assertEqual(text, word)


class Fits(unittest.TestCase):
    def test_fits_and_samples_give_the_command_lines_named_results(self):
        m = tolvi.load(template=True)
        self.assertEqual(m.fit(), cli_results("fit", "--template"))
        m = tolvi.load(template=True)
        self.assertEqual(m.fit(method="ga", seed=1, gens=20, pop=12),
                         cli_results("fit", "--template", "--method", "ga", "--seed", "1",
                                     "--gens", "20", "--pop", "12"))
        m = tolvi.load(template=True, errors="data")
        self.assertEqual(m.sample(walkers=32, length=60, burn=10, seed=5),
                         cli_results("sample", "--template", "--errors", "data", "--walkers",
                                     "32", "--length", "60", "--burn", "10", "--seed", "5"))

    def test_a_fit_updates_the_model_and_save_keeps_it(self):
        m = tolvi.load(template=True)
        before = m.reflectivity()
        results = m.fit()
        self.assertFalse(np.array_equal(before, m.reflectivity()))
        values = {p["name"]: p["value"] for p in results["parameters"]}
        self.assertAlmostEqual(values["row 4 C t"], 30, delta=0.5)
        with tempfile.TemporaryDirectory() as d:
            # The parameter file as tolvi-cli's --save writes it after the same fit.
            m.save(os.path.join(d, "fitted.par"))
            cli("fit", "--template", "--save", os.path.join(d, "cli.par"))
            with open(os.path.join(d, "fitted.par")) as a, open(os.path.join(d, "cli.par")) as b:
                self.assertEqual(a.read(), b.read())
            # A project reopens with the same curve, bit for bit.
            m.save(os.path.join(d, "fitted.tolvi"))
            project = tolvi.load(os.path.join(d, "fitted.tolvi"))
            np.testing.assert_array_equal(project.reflectivity(), m.reflectivity())


class Errors(unittest.TestCase):
    def test_failures_raise_tolvi_error_with_the_programs_message(self):
        with self.assertRaisesRegex(tolvi.Error, "Error open file"):
            tolvi.load("/nonexistent.par")
        with self.assertRaisesRegex(tolvi.Error, "takes no option"):
            tolvi.load(template=True, colour="red")
        with self.assertRaisesRegex(tolvi.Error, "--resolution is divergence"):
            tolvi.load(template=True, resolution="bogus")
        with self.assertRaisesRegex(tolvi.Error, "either a file or template"):
            tolvi.load("x.par", template=True)
        m = tolvi.load(template=True)
        with self.assertRaisesRegex(tolvi.Error, "--method is lm or ga"):
            m.fit(method="newton")
        with self.assertRaisesRegex(tolvi.Error, "takes no option"):
            m.fit(errors="data")
        with self.assertRaisesRegex(tolvi.Error, "takes no option"):
            m.fit(ort="fit.ort")
        with self.assertRaisesRegex(tolvi.Error, "walkers"):
            m.sample(walkers=3)
        with self.assertRaisesRegex(tolvi.Error, "outside"):
            m.reflectivity(q=np.array([0.1, -0.1]))
        with self.assertRaisesRegex(tolvi.Error, "outside"):
            m.reflectivity(q=np.array([np.nan]))
        with self.assertRaisesRegex(tolvi.Error, "one-dimensional"):
            m.reflectivity(q=np.ones((2, 2)))
        with self.assertRaises(tolvi.Error):
            m.save("/nonexistent-folder/x.par")
        self.assertTrue(issubclass(tolvi.Error, Exception))


class Threads(unittest.TestCase):
    def test_two_threads_compute_two_models_at_once_and_share_one(self):
        q = np.linspace(0.005, 0.4, 20_000)
        models = [tolvi.load(template=True), tolvi.load(FILM)]
        expected = [m.reflectivity(q) for m in models]
        got = [None, None, None]

        def work(k, model):
            for _ in range(5):
                got[k] = model.reflectivity(q)

        threads = [threading.Thread(target=work, args=(0, models[0])),
                   threading.Thread(target=work, args=(1, models[1])),
                   threading.Thread(target=work, args=(2, models[0]))]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        np.testing.assert_array_equal(got[0], expected[0])
        np.testing.assert_array_equal(got[1], expected[1])
        np.testing.assert_array_equal(got[2], expected[0])


class Readme(unittest.TestCase):
    def test_the_readme_shows_the_example_script_as_it_is(self):
        with open(os.path.join(SOURCE, "README.md")) as f:
            readme = f.read()
        with open(os.path.join(SOURCE, "examples", "python", "fit_template.py")) as f:
            script = f.read()
        body = script[script.index("import numpy"):]
        self.assertIn("```python\n" + body + "```", readme)


class Lock(unittest.TestCase):
    def test_the_interpreter_runs_on_while_a_curve_is_computed(self):
        m = tolvi.load(template=True)
        q = np.linspace(0.005, 0.4, 1_000_000)
        span = {}

        def work():
            span["start"] = time.monotonic()
            m.reflectivity(q)
            span["end"] = time.monotonic()

        worker = threading.Thread(target=work)
        ticks = []
        worker.start()
        while worker.is_alive():
            ticks.append(time.monotonic())
        worker.join()
        inside = [t for t in ticks if span["start"] < t < span["end"]]
        # Held, the lock would stop this thread for the whole call: no tick inside it.
        self.assertGreater(len(inside), 100)


class Plot(unittest.TestCase):
    def test_the_readme_script_plots_when_matplotlib_is_there(self):
        try:
            import matplotlib
        except ImportError:
            self.skipTest("matplotlib is not installed")
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
        m = tolvi.load(template=True)
        m.fit()
        fig, (top, bottom) = plt.subplots(2, 1, sharex=True)
        top.semilogy(m.x, m.y, ".", m.x, m.reflectivity(), "-")
        bottom.plot(m.x, (np.log10(m.y) - np.log10(m.reflectivity())))
        with tempfile.TemporaryDirectory() as d:
            fig.savefig(os.path.join(d, "fit.png"))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
