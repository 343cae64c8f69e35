"""The cost of a call through Python: Model.reflectivity(q) for 1000 q of a 20-slab model,
against the same computation timed in C++ (tolvi._time_reflectivity), side by side in one run.

    PYTHONPATH=build/python /usr/bin/python3 bench/bench_python.py [ROUNDS]
"""
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np

import tolvi

ROUNDS = int(sys.argv[1]) if len(sys.argv) > 1 else 15
CALLS = 200  # per round and side


def twenty_slab_model(folder):
    """The template with its W/Si pair repeated 9 times: substrate, 18 slabs and the cap."""
    template = os.path.join(os.path.dirname(tolvi.__file__), "tolvi_data", "template")
    for name in os.listdir(template):
        shutil.copy(os.path.join(template, name), folder)
    path = os.path.join(folder, "template.par")
    with open(path) as f:
        text = f.read()
    text = re.sub(r"^(G1\s+W\.mf\s+)10(\s)", r"\g<1>9\2", text, count=1, flags=re.M)
    with open(path, "w") as f:
        f.write(text)
    return tolvi.load(path)


def main():
    with tempfile.TemporaryDirectory() as folder:
        model = twenty_slab_model(folder)
        slabs = len(model.slabs())
        q = np.linspace(0.005, 0.4, 1000)
        model.reflectivity(q)  # warm
        python, cpp = [], []
        for _ in range(ROUNDS):
            start = time.perf_counter()
            for _ in range(CALLS):
                model.reflectivity(q)
            python.append((time.perf_counter() - start) / CALLS)
            cpp.append(tolvi._time_reflectivity(model, q, CALLS))
    cpu = "unknown"
    try:
        for line in subprocess.run(["lscpu"], capture_output=True, text=True).stdout.split("\n"):
            if line.startswith("Model name:"):
                cpu = line.split(":", 1)[1].strip()
    except OSError:
        pass
    p, c = statistics.median(python), statistics.median(cpp)
    print(f"CPU: {cpu}, {os.cpu_count()} CPUs; {slabs} slabs, {len(q)} q, medians of {ROUNDS} "
          f"rounds of {CALLS} calls")
    print(f"{'path':<34} {'per call (us)':>14}")
    print(f"{'C++ (tolvi._time_reflectivity)':<34} {c * 1e6:>14.1f}")
    print(f"{'Python (Model.reflectivity)':<34} {p * 1e6:>14.1f}")
    print(f"overhead of the Python call: {(p / c - 1) * 100:+.1f} %")


if __name__ == "__main__":
    main()
