#include "fourier/fourier_workspace.h"

#include <cmath>
#include <memory>

#include "base/constants.h"
#include "base/text_io.h"
#include "model/orso_file.h"

namespace tolvi {

namespace {

// The largest y starts here: a value counts as the maximum only above it.
constexpr double Y_MAX_START = 1e-10;
// Log data are log10 intensities; a column above this is linear data read as log.
constexpr double LOG_Y_LIMIT = 20.0;
// Linear zeros and negatives are raised to this fraction of the largest y (12 decades below).
constexpr double FLOOR_FRACTION = 1e-12;

// What a read found, before it is committed to the workspace.
struct RawCurve {
    std::array<double, MAX_DATA> x{};
    std::array<double, MAX_DATA> y{};
    int count = 0;
    int iMax = 0;  // first index of the largest y
    double yMax = 0.0;
    double yMin = 0.0;
    bool full = false;  // MAX_DATA reached
};

// Reads x and y of every point (of an ORSO file's first data set, q in 1/Å); status 1 for a
// line that is not a point.
Status readPoints(FourierWorkspace& ws, CurveLines& lines, const DataFileHeader& header,
                  const OrsoRows& rows, RawCurve& raw) {
    // Beyond 4π/lambda a q has no glancing angle (the arcsine's argument passes 1).
    double qLimit = FOUR_PI / ws.lambda;
    while (lines.next()) {
        if (header.orso && (lines.lineNo() < rows.first || lines.lineNo() >= rows.end)) continue;
        LineFields f = lines.fields();
        // A single field would leave y to an earlier line's token; refuse rather than guess.
        if (f.count() < 2)
            return {1, "--->Error, x and y expected " + f.where(), Outcome::FileRefused};
        double x = f.real(0);
        if (header.orso) x = inAngstrom(header, x);
        double y = f.real(1);
        if (ws.x_type == fourier::X_Q && std::fabs(x) > qLimit)
            return {1, "--->Error, q beyond 4pi/lambda " + f.where(), Outcome::FileRefused};
        if (raw.count == 0 || y > raw.yMax) {
            raw.yMax = y;
            raw.iMax = raw.count;
        }
        if (raw.count == 0 || y < raw.yMin) raw.yMin = y;
        raw.x[raw.count] = x;
        raw.y[raw.count] = y;
        if (++raw.count == MAX_DATA) {
            raw.full = true;
            break;
        }
    }
    return Status::success("--->OK");
}

// Checks what the conversion needs; status 1 leaves the workspace as it was.
Status checkPoints(const FourierWorkspace& ws, const std::string& path, const RawCurve& raw) {
    if (raw.count < 2)
        return {1, "--->Error, fewer than 2 data points in " + path, Outcome::FileRefused};
    if (ws.y_type == fourier::Y_LOG) {
        if (raw.yMax > LOG_Y_LIMIT)
            return {1, "--->Error, Check data y type", Outcome::FileRefused};
        // Log data need no y above 1e-10 (normalised reflectivities are all at or below 0), but
        // their largest intensity must be representable to serve as i0 and the half maximum.
        if (!(std::pow(10.0, raw.yMax) > 0.0))
            return {1, "--->Error, no intensity above 0", Outcome::FileRefused};
    } else if (!(raw.yMax > Y_MAX_START)) {
        // Without a y above 1e-10 the floor, i0 and the half maximum would rest on no data.
        return {1, "--->Error, no intensity above 1e-10", Outcome::FileRefused};
    }
    return Status::success("--->OK");
}

void convertPoints(FourierWorkspace& ws, const RawCurve& raw) {
    bool linear = ws.y_type == fourier::Y_LINEAR;
    double floor = raw.yMax * FLOOR_FRACTION;
    bool useFloor = linear && !(raw.yMin > 0.0);
    for (int i = 0; i < raw.count; ++i) {
        double x = raw.x[i];
        switch (ws.x_type) {
            case fourier::X_THETA:
                ws.theta[i] = x;
                ws.q[i] = FOUR_PI * std::sin(x * RAD_PER_DEG) / ws.lambda;
                break;
            case fourier::X_TWO_THETA:
                ws.theta[i] = x / 2.0;
                ws.q[i] = FOUR_PI * std::sin(ws.theta[i] * RAD_PER_DEG) / ws.lambda;
                break;
            default:
                ws.q[i] = x;
                // The page's own form, λq / 4π: the reader has refused any q beyond 4π/λ, and
                // thetaOfQ's λq · (1/4π) differs in the last bit, which reaches the spectrum.
                ws.theta[i] = std::asin(ws.lambda * x / FOUR_PI) / RAD_PER_DEG;
                break;
        }
        if (linear) {
            ws.r[i] = useFloor ? std::fmax(raw.y[i], floor) : raw.y[i];
            ws.log_r[i] = std::log10(ws.r[i]);
        } else {
            ws.r[i] = std::pow(10.0, raw.y[i]);
            ws.log_r[i] = raw.y[i];
        }
    }
    ws.count = raw.count;
}

// The critical edge from the half maximum: the last point after the maximum above half of it,
// interpolated in theta toward the next point. Returns the message of a fallback, or "".
std::string estimateEdge(FourierWorkspace& ws, int iMax) {
    double half = ws.r[iMax] / 2.0;
    int ih = -1;
    for (int i = iMax + 1; i < ws.count; ++i)
        if (ws.r[i] > half) ih = i;
    std::string warning;
    if (ih < 0) {
        // The curve falls below half within one step: the maximum is the last point above half.
        ih = iMax;
        warning = "--->Warning, no point above half maximum after the maximum";
    }
    double thetaC = ws.theta[ih];
    if (ih == ws.count - 1) {
        // The curve never falls to half: there is nothing to interpolate toward.
        warning = "--->Warning, half maximum not reached, edge set at the last point";
    } else {
        // r[ih+1] <= half < r[ih], so the denominator is negative, never zero.
        thetaC += (half - ws.r[ih]) / (ws.r[ih + 1] - ws.r[ih]) * (ws.theta[ih + 1] - ws.theta[ih]);
    }
    double thetaRad = thetaC * RAD_PER_DEG;
    ws.q_critical = FOUR_PI * thetaRad / ws.lambda;  // small-angle form, as the estimate is rough
    ws.delta = thetaRad * thetaRad / 2.0;
    return warning;
}

}  // namespace

Status readFourierCurve(FourierWorkspace& ws, const std::string& path) {
    // q = 4π sin θ / lambda and the fringe's q'^4 must stay finite for every angle.
    if (!(ws.lambda > 0.0) || !std::isfinite(std::pow(FOUR_PI / ws.lambda, 4)))
        return {1, "--->Error, lambda must be above 0", Outcome::Refused};
    CurveLines lines(path, 2, ws.tokens);
    if (!lines.opened()) return {1, "--->Error, cant find data", Outcome::FileNotFound};

    // An ORSO file: its first data set, its q in 1/Å.
    DataFileHeader header;
    OrsoRows rows;
    if (isOrsoFile(path)) {
        std::string warning;
        Status h = readOrsoHeader(path, 0, header, rows, warning);
        if (!h.ok()) return h;
        if (ws.x_type != fourier::X_Q)
            return {1, "--->Error, " + path + " holds q: choose q as Data_X_axis",
                    Outcome::Refused};
    }

    // 32 KB of scratch: a refused file must leave the earlier curve in the workspace.
    auto raw = std::make_unique<RawCurve>();
    Status s = readPoints(ws, lines, header, rows, *raw);
    if (!s.ok()) return s;
    s = checkPoints(ws, path, *raw);
    if (!s.ok()) return s;

    convertPoints(ws, *raw);
    ws.q_first = ws.q[0];
    ws.q_last = ws.q[ws.count - 1];
    ws.q_min = ws.q_first;
    ws.q_max = ws.q_last;
    std::string edgeWarning = estimateEdge(ws, raw->iMax);

    ws.i0 = ws.r[raw->iMax];
    ws.rough = 5.0;
    ws.constant = ws.r[ws.count - 1];
    ws.beta_ratio = 0.001;
    ws.start = 0;
    ws.end = ws.count - 1;

    // Of two warnings the first (the truncated file) is the one shown.
    if (raw->full) return Status::warning("--->Warning, MAX_DATA reached");
    if (!edgeWarning.empty()) return Status::warning(edgeWarning);
    return Status::success("--->OK");
}

Status loadFourierTemplate(FourierWorkspace& ws, const std::string& programDir) {
    ws.y_type = fourier::Y_LINEAR;
    ws.x_type = fourier::X_THETA;
    ws.ft_done = 0;
    ws.file_dir = programDir;
    ws.file_path = programDir + "template/template.dat";
    ws.loaded_name = ws.file_path;
    ws.lambda = 1.54;
    return readFourierCurve(ws, ws.file_path);
}

Status loadFourierData(FourierWorkspace& ws, const std::string& chosenPath,
                       std::string_view lambdaText) {
    ws.ft_done = 0;
    if (!chosenPath.empty()) {
        ws.file_path = chosenPath;
        ws.file_dir = directoryOf(chosenPath);
    }
    ws.loaded_name = ws.file_path;
    if (lambdaText.empty()) return {1, "--->Error set lamda", Outcome::Refused};
    ws.lambda = parseReal(lambdaText, "in the field λ(Å)");
    return readFourierCurve(ws, ws.file_path);
}

void selectQWindow(FourierWorkspace& ws) {
    double qc2 = ws.q_critical * ws.q_critical;
    for (int i = 0; i < ws.count; ++i) {
        double d = ws.q[i] * ws.q[i] - qc2;
        ws.q_film[i] = d > 0.0 ? std::sqrt(d) : 0.0;
    }
    for (int i = 0; i < ws.count; ++i) {
        if (ws.q[i] < ws.q_min || ws.q_film[i] <= 0.0)
            ws.start = i + 1;
        else if (ws.q[i] < ws.q_max)
            ws.end = i;
    }
    ws.n_window = ws.end - ws.start + 1;
}

Status windowStatus(const FourierWorkspace& ws) {
    if (ws.count < 2) return {1, "--->Error, no data loaded", Outcome::Refused};
    // The transform takes start .. end-1 and the weights reach from start to end: two points at
    // least, all of them inside the curve.
    if (ws.n_window < 2 || ws.start < 0 || ws.end >= ws.count)
        return {1, "--->Error, q window holds fewer than 2 points", Outcome::Refused};
    return Status::success("--->OK");
}

std::string qFieldText(double value) {
    return formatText("%.8f", value);
}

}  // namespace tolvi
