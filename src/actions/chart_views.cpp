#include "actions/chart_views.h"

#include <cmath>
#include <limits>

#include "base/constants.h"
#include "fit/fit_params.h"
#include "physics/reflectivity.h"

namespace tolvi {

double viewX(const DataSet& data, double x, AxisView axis) {
    if (axis == AxisView::AsLoaded) return x;
    double theta = grazingAngle(data.xAxis, data.lamd, x);  // radians
    switch (axis) {
        case AxisView::Theta:
            return theta * 180.0 / PI;
        case AxisView::TwoTheta:
            return 2.0 * theta * 180.0 / PI;
        case AxisView::Q:
        case AxisView::AsLoaded:
            break;
    }
    return 4.0 * PI * std::sin(theta) / data.lamd;
}

namespace {

// log10 of an error bar's end; an end of 0 or less has none and lies below every value shown.
double logEnd(double v) {
    return v > 0.0 ? std::log10(v) : -std::numeric_limits<double>::infinity();
}

}  // namespace

ViewCurve viewCurve(const ModelStore& store, int slot, CurveView view, AxisView axis,
                    ViewPoints points, YScale yScale) {
    const DataSet& d = store.dataSet(slot);
    const PointErrors& e = store.pointErrors[slot];
    bool dataErrors = store.dataOptions[slot].errors == ErrorSource::Data && e.loaded;
    bool log = yScale == YScale::Log10;
    ViewCurve c;
    for (int i = 0; i < d.npoints; ++i) {
        if (points == ViewPoints::XRange && !inXRange(d, i)) continue;
        // The view's factor on an intensity: 1, q⁴ / 10^logI0 (after the background), 1 / Rf'.
        double scale = 1.0, offset = 0.0;
        if (view == CurveView::NormalisedQ4) {
            double q = viewX(d, d.xData[i], AxisView::Q);
            scale = q * q * q * q / std::pow(10.0, d.logI0.value);
            offset = d.bg.value;
        } else if (view == CurveView::ReferenceRatio) {
            scale = 1.0 / d.rfLin[i];
        }
        double measured = (d.yLin[i] - offset) * scale;
        double calculated = (d.calcLin[i] - offset) * scale;
        double x = viewX(d, d.xData[i], axis);
        double dy = dataErrors ? e.dy[i] * std::fabs(scale) : 0.0;
        double low = measured - dy, high = measured + dy;
        double residual = pointResidual(store, slot, i);
        if (log) {
            // The stored logarithms where there are some: the points the chart always drew.
            double reference = view == CurveView::ReferenceRatio ? d.rfLog[i] : 0.0;
            if (view == CurveView::NormalisedQ4) {
                measured = std::log10(measured);
                calculated = std::log10(calculated);
            } else {
                measured = d.yLog[i] - reference;
                calculated = d.calcLog[i] - reference;
            }
            low = logEnd(low);
            high = logEnd(high);
        }
        if (!std::isfinite(measured) || !std::isfinite(calculated) || !std::isfinite(x) ||
            !std::isfinite(residual) ||
            (dataErrors && (!std::isfinite(dy) || !std::isfinite(high))))
            continue;
        c.x.push_back(x);
        c.measured.push_back(measured);
        c.calculated.push_back(calculated);
        if (dataErrors) {
            c.errorLow.push_back(low);
            c.errorHigh.push_back(high);
        }
        c.residual.push_back(residual);
    }
    return c;
}

ViewCurve dataFitRatioView(const DataSet& data, AxisView axis, YScale scale) {
    ViewCurve c;
    for (int i = 0; i < data.npoints; ++i) {
        double x = viewX(data, data.xData[i], axis);
        double ratio = scale == YScale::Log10 ? data.yLog[i] - data.calcLog[i]
                                              : data.yLin[i] / data.calcLin[i];
        if (!std::isfinite(x) || !std::isfinite(ratio)) continue;
        c.x.push_back(x);
        c.measured.push_back(ratio);
    }
    return c;
}

void prepareView(ModelStore& store, int slot, CurveView view) {
    if (view == CurveView::ReferenceRatio) computeFresnelReference(store, slot);
}

}  // namespace tolvi
