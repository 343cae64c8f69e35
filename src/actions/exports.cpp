#include "actions/exports.h"

#include <cmath>

#include "base/text_io.h"
#include "physics/profile.h"

namespace tolvi {

namespace {

double ratioOf(double value, double reference, int point) {
    double r = value / reference;
    if (!std::isfinite(r))
        throw NumberError("R/Rf' ratio is not finite at point " + std::to_string(point + 1) +
                          " (reference curve " + formatText("%g", reference) + ")");
    return r;
}

std::string curveRows(const DataSet& d, ExportKind kind, bool ratio) {
    std::string out;
    for (int i = 0; i < d.npoints; ++i) {
        switch (kind) {
            case ExportKind::DataFit:
                if (ratio)
                    out += formatText("%f  %e  %e\n", d.xData[i], ratioOf(d.yLin[i], d.rfLin[i], i),
                                      ratioOf(d.calcLin[i], d.rfLin[i], i));
                else
                    out += formatText("%f  %e  %e\n", d.xData[i], d.yLin[i], d.calcLin[i]);
                break;
            case ExportKind::Data:
                out += formatText("%f  %e\n", d.xData[i], d.yLin[i]);
                break;
            default:
                out += formatText("%f  %e\n", d.xData[i], d.calcLin[i]);
                break;
        }
    }
    return out;
}

}  // namespace

std::string exportText(ModelStore& store, int slot, ExportKind kind) {
    if (kind != ExportKind::Profiles) return curveRows(store.dataSet(slot), kind, store.rRfMode);
    int n = computeProfile(store, slot);
    std::string out;
    for (int i = 0; i < n; ++i)
        out += formatText("%f   %f\n", store.profileZ[i], store.profileRho[i]);
    return out;
}

Status writeExport(ModelStore& store, int slot, ExportKind kind, const std::string& path) {
    return writeFileSafely(path, exportText(store, slot, kind));
}

namespace {

void addChartPoint(const DataSet& data, int i, bool ratio, ChartCurve& c) {
    double reference = ratio ? data.rfLog[i] : 0.0;
    c.x.push_back(data.xData[i]);
    c.measured.push_back(data.yLog[i] - reference);
    c.calculated.push_back(data.calcLog[i] - reference);
}

}  // namespace

ChartCurve chartCurve(const DataSet& data, int first, int last, bool ratio) {
    ChartCurve c;
    for (int i = first; i <= last; ++i) addChartPoint(data, i, ratio, c);
    return c;
}

ChartCurve rangeCurve(const DataSet& data, bool ratio) {
    ChartCurve c;
    for (int i = 0; i < data.npoints; ++i)
        if (inXRange(data, i)) addChartPoint(data, i, ratio, c);
    return c;
}

ChartCurve dataFitRatioCurve(const DataSet& data) {
    ChartCurve c;
    for (int i = 0; i < data.npoints; ++i) {
        c.x.push_back(data.xData[i]);
        c.measured.push_back(data.yLog[i] - data.calcLog[i]);
    }
    return c;
}

}  // namespace tolvi
