#pragma once

#include <string>
#include <vector>

#include "base/status.h"
#include "model/model_store.h"

// What the window shows and writes of a slot's curves: the points of the reflectivity chart and
// the rows of the four text exports. No header lines; every curve export writes all npoints.
namespace tolvi {

enum class ExportKind {
    DataFit,   // "Save data/fit": "%f  %e  %e\n" x, yLin, calcLin (R/Rf': both over rfLin)
    Data,      // "Save data":     "%f  %e\n"     x, yLin
    Fit,       // "Save Fit":      "%f  %e\n"     x, calcLin
    Profiles,  // "Save Profiles": "%f   %f\n"    z, rho of the density profile
};

// The text of an export of a slot. Profiles first computes the slot's density profile (which
// lands in the store). Throws NumberError when an R/Rf' ratio would not be finite (a reference
// curve of zero, e.g. one never computed).
std::string exportText(ModelStore& store, int slot, ExportKind kind);

// exportText written to path through writeFileSafely: on failure (status -1 with the reason) an
// existing file stays untouched.
Status writeExport(ModelStore& store, int slot, ExportKind kind, const std::string& path);

// Points of the reflectivity chart: x and the log10 values of the measured and calculated curves.
struct ChartCurve {
    std::vector<double> x;
    std::vector<double> measured;
    std::vector<double> calculated;
};

// Points first to last of a slot (an empty range gives none): yLog and calcLog, each minus rfLog
// when `ratio` (the R/Rf' display) is set.
ChartCurve chartCurve(const DataSet& data, int first, int last, bool ratio);

// The points of a slot inside its x range (inXRange), in file order: the curve "Plot", "Plot All"
// and the fits draw. Values as chartCurve gives them.
ChartCurve rangeCurve(const DataSet& data, bool ratio);

// "Rdata/Fit": every point's log10 ratio of measured to calculated intensity, yLog - calcLog;
// the curve comes back in `measured`, `calculated` stays empty.
ChartCurve dataFitRatioCurve(const DataSet& data);

}  // namespace tolvi
