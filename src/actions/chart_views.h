#pragma once

#include <vector>

#include "model/model_store.h"

namespace tolvi {

// What the reflectivity chart can show of a slot: the intensities as measured and calculated,
// the reflectivity times q⁴ ((I - bg) / 10^logI0 q⁴, which takes the Fresnel fall out of view),
// or the ratio to the R/Rf' reference (I / Rf', the ratio the R/Rf' switch draws in log10).
enum class CurveView { Intensity, NormalisedQ4, ReferenceRatio };
// The chart's x: the glancing angle θ or 2θ in degrees, or q in 1/Å, whatever the file's axis.
enum class AxisView { Theta, TwoTheta, Q };

// The points of a slot inside its x range (file order, as the chart draws them) in one view.
// Every number is finite: a point whose value in the view is not (an intensity of 0 under
// log10 is left to the chart) keeps what the arithmetic gives only when finite, else the point
// is left out. errorLow/errorHigh are the measured value minus and plus its 1σ error where the
// slot's fit uses errors from the data (empty otherwise). residual is the fit's own residual of
// each point: (y - calc) / dy with errors from the data, otherwise (yLog - calcLog) / sigmaLog.
struct ViewCurve {
    std::vector<double> x;
    std::vector<double> measured;
    std::vector<double> calculated;
    std::vector<double> errorLow;
    std::vector<double> errorHigh;
    std::vector<double> residual;
};
ViewCurve viewCurve(const ModelStore& store, int slot, CurveView view, AxisView axis);

// A point's x as loaded (without x0_shift) on the chosen axis.
double viewX(const DataSet& data, double x, AxisView axis);

}  // namespace tolvi
