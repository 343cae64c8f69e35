#pragma once

#include <vector>

#include "model/model_store.h"

namespace tolvi {

// What the reflectivity chart can show of a slot: the intensities as measured and calculated,
// the reflectivity times q⁴ ((I - bg) / 10^logI0 q⁴, which takes the Fresnel fall out of view),
// or the ratio to the R/Rf' reference (I / Rf', the ratio the R/Rf' switch draws in log10).
enum class CurveView { Intensity, NormalisedQ4, ReferenceRatio };
// The chart's x: the glancing angle θ or 2θ in degrees, or q in 1/Å, whatever the file's axis;
// or the x values as loaded, on the file's own axis.
enum class AxisView { Theta, TwoTheta, Q, AsLoaded };
// The chart's y: the values themselves, or their log10 on a linear axis.
enum class YScale { Linear, Log10 };
// Which points of a slot: those inside its x range (inXRange), or all of them.
enum class ViewPoints { XRange, All };

// The points of a slot (file order, as the chart draws them) in one view. Every number is
// finite (but for the one case under Log10 below): a point whose x, value in the view or
// residual is not is left out. errorLow/errorHigh are the measured value minus and plus its 1σ
// error where the slot's fit uses errors from the data (empty otherwise). residual is the fit's
// own residual of each point: (y - calc) / dy with errors from the data, otherwise
// (yLog - calcLog) / sigmaLog.
//
// With YScale::Log10 the values are log10 of the linear ones; the intensities and their ratio to
// the reference come from the stored logarithms (yLog, calcLog, minus rfLog for the ratio), as
// the chart has always drawn them, so that Intensity on AsLoaded gives chartCurve's points to the
// last bit. The error bars' ends are log10 too, and a low end of 0 or less, which has none, is
// -infinity (the one number that is not finite): the bar runs down out of view.
struct ViewCurve {
    std::vector<double> x;
    std::vector<double> measured;
    std::vector<double> calculated;
    std::vector<double> errorLow;
    std::vector<double> errorHigh;
    std::vector<double> residual;
};
ViewCurve viewCurve(const ModelStore& store, int slot, CurveView view, AxisView axis,
                    ViewPoints points = ViewPoints::XRange, YScale scale = YScale::Linear);

// "Rdata/Fit" in a view: every point's ratio of measured to calculated intensity in `measured`
// (yLin / calcLin, or with Log10 yLog - calcLog as dataFitRatioCurve gives it), x on the chosen
// axis; the other parts stay empty. Points whose ratio is not finite are left out.
ViewCurve dataFitRatioView(const DataSet& data, AxisView axis, YScale scale);

// Makes ready what a view divides by: for ReferenceRatio the slot's R/Rf' reference (rfLin,
// rfLog), computed afresh as refreshReference does while the R/Rf' switch is on; nothing for
// the other views. Throws NumberError as computeFresnelReference does.
void prepareView(ModelStore& store, int slot, CurveView view);

// A point's x as loaded (without x0_shift) on the chosen axis; AsLoaded gives x itself.
double viewX(const DataSet& data, double x, AxisView axis);

}  // namespace tolvi
