"""Curves fitted per second by `tolvi-cli batch`: N copies of the template's measured curve, each
fitted with the template's model by least squares, on one core and on two, side by side in one run
(the rounds alternate, so that a busy moment of the machine falls on every variant alike).

    /usr/bin/python3 bench/bench_batch.py build/bin/tolvi-cli [FILES] [ROUNDS]

Variants: --jobs 1 with TOLVI_THREADS=1 (one core: one file at a time, its fit on one thread);
--jobs 1 (one file at a time, its fit's threads over every core); --jobs 2 (two files at a time,
each fit on one thread). Prints the CPU model, then the median and the spread of each variant.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

CLI = os.path.abspath(sys.argv[1])
FILES = int(sys.argv[2]) if len(sys.argv) > 2 else 200
ROUNDS = int(sys.argv[3]) if len(sys.argv) > 3 else 5

VARIANTS = [
    ("--jobs 1, TOLVI_THREADS=1", ["--jobs", "1"], {"TOLVI_THREADS": "1"}),
    ("--jobs 1", ["--jobs", "1"], {}),
    ("--jobs 2", ["--jobs", "2"], {}),
]


def cpu_model():
    out = subprocess.run(["lscpu"], capture_output=True, text=True).stdout
    for line in out.splitlines():
        if line.startswith("Model name:"):
            return line.split(":", 1)[1].strip()
    return "unknown"


def timed(folder, names, args, env):
    start = time.perf_counter()
    p = subprocess.run([CLI, "batch", "--template", *names, *args], cwd=folder,
                       capture_output=True, text=True, env={**os.environ, **env})
    seconds = time.perf_counter() - start
    if p.returncode != 0:
        sys.exit("batch failed: " + p.stderr.splitlines()[-1])
    return p.stdout, seconds


def main():
    with tempfile.TemporaryDirectory() as folder:
        source = os.path.join(os.path.dirname(CLI), "template", "template_data.dat")
        names = ["curve%04d.dat" % i for i in range(FILES)]
        for name in names:
            shutil.copy(source, os.path.join(folder, name))
        rates = {label: [] for label, _, _ in VARIANTS}
        tables = set()
        for _ in range(ROUNDS):
            for label, args, env in VARIANTS:
                table, seconds = timed(folder, names, args, env)
                tables.add(table)
                rates[label].append(FILES / seconds)
    print("CPU: %s (%d cores seen)" % (cpu_model(), os.cpu_count()))
    print("%d curves of %d points, template model (5 free parameters), least squares; "
          "%d rounds" % (FILES, 591, ROUNDS))
    print("the same table from every variant: %s" % ("yes" if len(tables) == 1 else "NO"))
    for label, _, _ in VARIANTS:
        r = rates[label]
        print("  %-26s %7.1f curves/s  (min %.1f, max %.1f)" %
              (label, statistics.median(r), min(r), max(r)))


if __name__ == "__main__":
    main()
