#include "actions/chart_views.h"

#include <cmath>

#include "base/constants.h"
#include "fit/fit_params.h"
#include "physics/reflectivity.h"

namespace tolvi {

double viewX(const DataSet& data, double x, AxisView axis) {
    double theta = grazingAngle(data.xAxis, data.lamd, x);  // radians
    switch (axis) {
        case AxisView::Theta:
            return theta * 180.0 / PI;
        case AxisView::TwoTheta:
            return 2.0 * theta * 180.0 / PI;
        case AxisView::Q:
            break;
    }
    return 4.0 * PI * std::sin(theta) / data.lamd;
}

ViewCurve viewCurve(const ModelStore& store, int slot, CurveView view, AxisView axis) {
    const DataSet& d = store.dataSet(slot);
    const PointErrors& e = store.pointErrors[slot];
    bool dataErrors = store.dataOptions[slot].errors == ErrorSource::Data && e.loaded;
    ViewCurve c;
    for (int i = 0; i < d.npoints; ++i) {
        if (!inXRange(d, i)) continue;
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
        double residual = pointResidual(store, slot, i);
        if (!std::isfinite(measured) || !std::isfinite(calculated) || !std::isfinite(x) ||
            !std::isfinite(dy) || !std::isfinite(residual))
            continue;
        c.x.push_back(x);
        c.measured.push_back(measured);
        c.calculated.push_back(calculated);
        if (dataErrors) {
            c.errorLow.push_back(measured - dy);
            c.errorHigh.push_back(measured + dy);
        }
        c.residual.push_back(residual);
    }
    return c;
}

}  // namespace tolvi
