#include "model/data_file.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "base/constants.h"
#include "base/text_io.h"
#include "model/orso_file.h"

namespace tolvi {

namespace {

// 10^300 is as large as a stored intensity may be; beyond it 10^y leaves the double range.
constexpr double MAX_LOG_INTENSITY = 300.0;
constexpr double LN10 = 2.302585092994046;

// The 1-σ error of y of one line, from its third number (times `toSigma`, for a column of FWHM):
// dy itself for linear data, for log10 data the error σ of log10 y, so that dy = ln 10 · y · σ. A missing, negative or non-finite
// error sets `refused` (FileRefused, naming the file and line).
double pointError(const LineFields& f, int yScale, double y, double toSigma, Status& refused) {
    if (f.count() < 3) {
        refused = {1, "--->Error, no error of y in column 3 (" + f.where() + ")",
                   Outcome::FileRefused};
        return 0.0;
    }
    double error = toSigma * f.real(2);
    if (error < 0.0) {
        refused = {1, "--->Error, negative error of y (" + f.where() + ")", Outcome::FileRefused};
        return 0.0;
    }
    double dy = yScale == 0 ? error : LN10 * std::pow(10.0, y) * error;
    if (!std::isfinite(dy)) {
        refused = {1, "--->Error, error of y not finite (" + f.where() + ")", Outcome::FileRefused};
        return 0.0;
    }
    return dy;
}

// What a resolution column holds: σ, a FWHM, or the full width of a rectangular distribution.
enum class ColumnWidth { Sigma, Fwhm, Rectangular };

// The width of a resolution column under the slot's option and, for ResolutionKind::Column, the
// data file's header; a plain file must say it by the option.
ColumnWidth columnWidth(ResolutionKind kind, const DataFileHeader& header) {
    if (kind == ResolutionKind::ColumnFwhm) return ColumnWidth::Fwhm;
    if (kind == ResolutionKind::ColumnSigma) return ColumnWidth::Sigma;
    switch (header.resolutionWidth) {
        case DataFileHeader::Width::Fwhm:
            return ColumnWidth::Fwhm;
        case DataFileHeader::Width::Rectangular:
            return ColumnWidth::Rectangular;
        default:
            return ColumnWidth::Sigma;
    }
}

// σ of a rectangular distribution of full width w: w / sqrt(12).
constexpr double RECTANGULAR_TO_SIGMA = 0.28867513459481287;

// σ in x units of one line's resolution, from its fourth number (its width as `width` says, in
// the unit of the file's x). A missing, negative or non-finite value sets `refused`
// (FileRefused, naming the file and line); 0 is a point without resolution.
double resolutionOfLine(const LineFields& f, ColumnWidth width, const DataFileHeader& header,
                        Status& refused) {
    if (f.count() < 4) {
        refused = {1, "--->Error, no resolution in column 4 (" + f.where() + ")",
                   Outcome::FileRefused};
        return 0.0;
    }
    double value = f.real(3);
    if (value < 0.0) {
        refused = {1, "--->Error, negative resolution (" + f.where() + ")", Outcome::FileRefused};
        return 0.0;
    }
    double factor = width == ColumnWidth::Fwhm          ? FWHM_TO_SIGMA
                    : width == ColumnWidth::Rectangular ? RECTANGULAR_TO_SIGMA
                                                        : 1.0;
    return factor * (header.orso ? inAngstrom(header, value) : value);
}

// The header of the slot's data file, when it is an ORSO file, and what a plain file cannot
// serve: a data set other than the first, a resolution column whose meaning only a header can
// say. A warning of the header goes into `result`.
Status readHeader(const ModelStore& store, int slot, DataFileHeader& header, OrsoRows& rows,
                  Status& result) {
    const DataSet& d = store.dataSet(slot);
    const DataOptions& options = store.dataOptions[slot];
    if (!isOrsoFile(d.dataPath)) {
        if (options.dataSet != 0)
            return {1,
                    formatText("--->Error, %s holds 1 data set: there is no data set %d",
                               d.dataPath.c_str(), options.dataSet),
                    Outcome::FileRefused};
        if (options.resolution.kind == ResolutionKind::Column)
            return {1,
                    "--->Error, " + d.dataPath +
                        " has no header to say what its resolution column holds: choose FWHM "
                        "or sigma",
                    Outcome::FileRefused};
        return Status::success("--->OK");
    }
    std::string warning;
    Status s = readOrsoHeader(d.dataPath, options.dataSet, header, rows, warning);
    if (!s.ok()) return s;
    if (d.xAxis != 2)
        return {1, "--->Error, " + d.dataPath + " holds q: the parameter file's x axis must be q",
                Outcome::FileRefused};
    // The parameter file's probe and wavelength are the ones used; a header that says otherwise
    // is pointed out.
    static const char* const PROBE[] = {"X-ray", "neutron"};
    if (warning.empty() && header.probe >= 0 && header.probe != d.probe)
        warning = formatText(
            "--->Warning, the probe of %s's header (%s) is not the parameter file's (%s): the "
            "parameter file's is used",
            d.dataPath.c_str(), PROBE[header.probe], PROBE[d.probe == 1 ? 1 : 0]);
    if (warning.empty() && header.wavelength > 0.0 &&
        std::fabs(header.wavelength - d.lamd) > 1e-6 * d.lamd)
        warning = formatText(
            "--->Warning, the wavelength of %s's header (%.6g A) is not the parameter file's "
            "(%.6g A): the parameter file's is used",
            d.dataPath.c_str(), header.wavelength, d.lamd);
    if (!warning.empty()) result = Status::warning(warning);
    return Status::success("--->OK");
}

}  // namespace

double pointSigma(const ModelStore& store, int slot, double x) {
    const DataSet& d = store.dataSet(slot);
    // No glancing angle exceeds 90 degrees; keeping x within it keeps the error finite.
    auto within = [](double v, double limit) { return std::fmax(-limit, std::fmin(limit, v)); };
    switch (d.xAxis) {
        case 0: {
            double theta = within(x, 90.0);
            return 5.0 * (0.002 * theta * theta + 0.02);
        }
        case 1: {
            double twoTheta = within(x, 180.0);
            return 5.0 * (0.0005 * twoTheta * twoTheta + 0.02);
        }
        case 2: {
            double theta = thetaOfQ(d.lamd, x) * store.degPerRad;
            return 5.0 * (0.002 * theta * theta + 0.02);
        }
        default:
            return 0.0;
    }
}

Status readData(ModelStore& store, int slot) {
    DataSet& d = store.dataSet(slot);
    if (store.layerModel(slot).simFit == 0) {
        double span = d.xmax - d.xmin;
        if (!std::isfinite(span)) throw NumberError("The x range is too wide to simulate");
        d.npoints = 0;
        for (int c = 0; c < SIM_POINTS; ++c) {
            d.xData[c] = d.xmin + c * span / (SIM_POINTS - 1);
            d.sigmaLog[c] = pointSigma(store, slot, d.xData[c]);
        }
        d.npoints = SIM_POINTS;
        store.pointErrors[slot].loaded = false;  // a simulated curve has no measured errors
        store.pointResolution[slot].loaded = false;
        store.dataHeaders[slot] = {};
        if (readsResolutionColumn(store.dataOptions[slot]))
            return {1, "--->Error, a resolution column needs a data file", Outcome::Refused};
        return Status::success("--->OK");
    }

    CurveLines lines(d.dataPath, 200, store.tokens);
    if (!lines.opened()) return {-1, "--->Error, cant find data", Outcome::FileNotFound};

    const DataOptions& options = store.dataOptions[slot];
    Status result = Status::success("--->OK");
    DataFileHeader header;
    OrsoRows rows;
    Status fileCheck = readHeader(store, slot, header, rows, result);
    if (!fileCheck.ok()) return fileCheck;
    bool withErrors = options.errors == ErrorSource::Data;
    bool withResolution = readsResolutionColumn(options);
    ColumnWidth width = columnWidth(options.resolution.kind, header);
    std::vector<double> xs, ys, dys, dxs;
    xs.reserve(MAX_DATA);
    ys.reserve(MAX_DATA);
    if (withErrors) dys.reserve(MAX_DATA);
    if (withResolution) dxs.reserve(MAX_DATA);
    int zeroErrors = 0;
    double maximum = 1e-30;
    double minimum = 1e30;
    while (lines.next()) {
        // An ORSO file's other data sets are not read.
        if (header.orso && (lines.lineNo() < rows.first || lines.lineNo() >= rows.end)) continue;
        LineFields f = lines.fields();
        double x = f.real(0);
        if (header.orso) x = inAngstrom(header, x);
        double y = f.real(1);
        // Beyond 4π/λ a q has no angle: refused rather than computed at 90°.
        if (d.xAxis == 2 && d.lamd * x * 0.25 * INV_PI > 1.0)
            return {1,
                    formatText("--->Error, q = %.6g 1/A has no angle at the wavelength %.6g A (",
                               x, d.lamd) +
                        f.where() + ")",
                    Outcome::FileRefused};
        if (d.yScale == 1 && y > MAX_LOG_INTENSITY)
            throw NumberError("\"" + std::string(f.text(1)) +
                              "\" is too large for a log10 intensity (" + f.where() + ")");
        double dx = 0.0;
        if (withResolution) {
            Status refused;
            dx = resolutionOfLine(f, width, header, refused);
            if (!refused.ok()) return refused;
        }
        if (withErrors) {
            Status refused;
            double dy = pointError(f, d.yScale, y, header.errorsFwhm ? FWHM_TO_SIGMA : 1.0,
                                   refused);
            if (!refused.ok()) return refused;
            // A point without an error carries no weight: it is left out, and counted.
            if (dy == 0.0) {
                ++zeroErrors;
                continue;
            }
            dys.push_back(dy);
        }
        if (y > maximum) maximum = y;
        if (y < minimum) minimum = y;
        xs.push_back(x);
        ys.push_back(y);
        if (withResolution) dxs.push_back(dx);
        if (static_cast<int>(xs.size()) == MAX_DATA) {
            result = Status::warning("--->Warning, MAX_DATA reached");
            break;
        }
    }

    int n = static_cast<int>(xs.size());
    d.npoints = n;
    store.dataHeaders[slot] = header;
    // An empty curve loads (the model can still be plotted) but should not pass unnoticed.
    if (n == 0) result = Status::warning("--->Warning, no data point");
    if (zeroErrors > 0 && result.outcome == Outcome::Ok)
        result = Status::warning(formatText("--->Warning, %d point%s with an error of 0 left out",
                                            zeroErrors, zeroErrors == 1 ? "" : "s"));
    PointErrors& errors = store.pointErrors[slot];
    errors.loaded = withErrors;
    PointResolution& widths = store.pointResolution[slot];
    widths.loaded = withResolution;
    if (withResolution) std::copy(dxs.begin(), dxs.end(), widths.sigmaX.begin());
    double floor = maximum * 1e-20;
    bool useFloor = d.yScale == 0 && minimum <= 0.0;
    for (int i = 0; i < n; ++i) {
        d.xData[i] = xs[i];
        double y = ys[i];
        if (d.yScale == 0) {
            if (useFloor && !(y > 0.0)) y = floor;
            d.yLin[i] = y;
            d.yLog[i] = std::log10(y);
        } else {
            d.yLin[i] = std::pow(10.0, y);
            d.yLog[i] = y;
        }
        d.sigmaLog[i] = pointSigma(store, slot, xs[i]);
        if (withErrors) {
            errors.y[i] = d.yScale == 0 ? ys[i] : d.yLin[i];
            errors.dy[i] = dys[i];
        }
    }
    return result;
}

}  // namespace tolvi
