"""Loads the template, fits it, prints the named results and, with matplotlib, plots the data,
the model and the residuals into fit_template.png.

    PYTHONPATH=build/python /usr/bin/python3 examples/python/fit_template.py
"""
import numpy as np

import tolvi

m = tolvi.load(template=True, errors="data")  # the counting errors of its third column
results = m.fit()  # least squares; m.fit(method="ga", seed=1) for the genetic search
print(f"chi2 {results['chi2']:.1f} for {results['dof']} degrees of freedom")
for p in results["parameters"]:
    print(f"{p['name']:<14} {p['value']:12.6g} +- {p['error']:.2g}")

try:
    import matplotlib
except ImportError:
    print("(matplotlib is not installed: no plot)")
else:
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    calc = m.reflectivity()
    fig, (top, bottom) = plt.subplots(2, 1, sharex=True, height_ratios=[3, 1])
    top.semilogy(m.x, m.y, ".", markersize=2, label="data")
    top.semilogy(m.x, calc, "-", label="model")
    top.set_ylabel("I (counts/s)")
    top.legend()
    bottom.plot(m.x, (m.y - calc) / m.dy, ".", markersize=2)  # the fit's own residuals
    bottom.set_xlabel("2θ (deg)")
    bottom.set_ylabel("(y - calc) / dy")
    fig.savefig("fit_template.png", dpi=120)
    print("plotted into fit_template.png")
