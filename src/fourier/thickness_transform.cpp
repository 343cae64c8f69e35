#include "fourier/thickness_transform.h"

#include <cmath>

#include "base/constants.h"
#include "base/text_io.h"
#include "fourier/edge_fit.h"

namespace tolvi {

namespace {

constexpr int WAVELET_WIDTHS = 4;
constexpr double WAVELET_SCALE = 100.0;  // the wavelet magnitudes are shown a hundredfold

double hann(const FourierWorkspace& ws, int k) {
    return 0.5 - 0.5 * std::cos(2.0 * PI * (k - ws.start) / ws.n_window);
}

double fourth(double v) {
    double v2 = v * v;
    return v2 * v2;
}

// Writes fringe[k] for the window from value(k) (taper included by the caller), 0 elsewhere.
template <typename Value>
Status fillFringe(FourierWorkspace& ws, Value value) {
    bool finite = true;
    for (int k = 0; k < ws.count; ++k) {
        double v = (k >= ws.start && k < ws.end) ? value(k) : 0.0;
        if (!std::isfinite(v)) {
            finite = false;
            v = 0.0;
        }
        ws.fringe[k] = v;
    }
    if (!finite) return {1, "--->Error, fringe not finite", Outcome::Refused};
    return Status::success("--->OK");
}

// Integration weight of window point j (k = start + j). The DFT weights inner points by the full
// forward difference, the wavelet sum halves every term.
double weight(const FourierWorkspace& ws, int j, bool wavelet) {
    int k = ws.start + j;
    const auto& qf = ws.q_film;
    if (j == 0) return 0.5 * (qf[k + 1] - qf[k]);
    if (j == ws.n_window - 1) return 0.5 * (qf[k] - qf[k - 1]);
    return wavelet ? 0.5 * (qf[k + 1] - qf[k]) : qf[k + 1] - qf[k];
}

// (1 - x^2) exp(-x^2/2). Far out the exponential underflows to 0 while x^2 may be infinite:
// the hat is 0 there, not inf * 0.
double mexicanHat(double x) {
    double x2 = x * x;
    double e = std::exp(-0.5 * x2);
    return e == 0.0 ? 0.0 : (1.0 - x2) * e;
}

void storeMagnitude(double& slot, double value, bool& finite) {
    if (std::isfinite(value)) {
        slot = value;
    } else {
        slot = 0.0;
        finite = false;
    }
}

// The bins that fit the arrays, for callers that did not check bin_no first.
int binCount(const FourierWorkspace& ws) {
    return ws.bin_no < 0 ? 0 : ws.bin_no < MAX_BINS ? ws.bin_no : MAX_BINS;
}

Status spectrumStatus(bool finite) {
    if (!finite) return {1, "--->Error, thickness spectrum not finite", Outcome::Refused};
    return Status::success("--->OK");
}

Status checkTransformSettings(const FourierWorkspace& ws) {
    if (ws.count < 2) return {1, "--->Error, no data loaded", Outcome::Refused};
    if (!(ws.lambda > 0.0)) return {1, "--->Error, lambda must be above 0", Outcome::Refused};
    if (ws.bin_no < 1 || ws.bin_no > MAX_BINS)
        return {1, formatText("--->Error, Bin_No must lie in 1..%d", MAX_BINS), Outcome::Refused};
    if (!(ws.d_max / ws.bin_no > 0.0))
        return {1, "--->Error, d_max/Bin_No must be above 0", Outcome::Refused};
    return Status::success("--->OK");
}

FtReport refuse(FourierWorkspace& ws, FtReport report, Status status) {
    // The settings now differ from those of the last spectrum (bin_no may even exceed the
    // arrays): "Save FT" waits for the next transform.
    ws.ft_done = 0;
    report.status = status;
    report.transformed = false;
    return report;
}

}  // namespace

Status buildFringeRq4(FourierWorkspace& ws) {
    selectQWindow(ws);
    Status window = windowStatus(ws);
    if (!window.ok()) return window;
    double background = ws.r[ws.end - 1];
    return fillFringe(ws, [&](int k) {
        double v = (ws.r[k] - background) * fourth(ws.q_film[k]);
        return v * hann(ws, k);
    });
}

Status buildFringeRRf(FourierWorkspace& ws) {
    Status window = windowStatus(ws);
    if (!window.ok()) return window;
    return fillFringe(
        ws, [&](int k) { return (ws.r[k] - ws.r_model[k]) * fourth(ws.q_film[k]) * hann(ws, k); });
}

void fillThicknessGrid(FourierWorkspace& ws) {
    for (int b = 0; b < binCount(ws); ++b) ws.ft_d[b] = (b + 1) * ws.d_step;
}

Status computeDft(FourierWorkspace& ws) {
    bool finite = true;
    for (int b = 0; b < binCount(ws); ++b) {
        double d = ws.ft_d[b];
        double re = 0.0, im = 0.0;
        for (int j = 0; j < ws.n_window; ++j) {
            int k = ws.start + j;
            double amplitude = weight(ws, j, false) * ws.fringe[k];
            double phase = ws.q_film[k] * d;
            re += amplitude * std::cos(phase);
            im -= amplitude * std::sin(phase);
        }
        storeMagnitude(ws.ft[0][b], std::hypot(re, im), finite);
    }
    return spectrumStatus(finite);
}

Status computeWavelet(FourierWorkspace& ws) {
    bool finite = true;
    double width[WAVELET_WIDTHS + 1] = {};
    for (int s = 1; s <= WAVELET_WIDTHS; ++s) width[s] = (s + 1) * ws.d_max / 5.0;
    for (int b = 0; b < binCount(ws); ++b) {
        double d = ws.ft_d[b];
        double re[WAVELET_WIDTHS + 1] = {}, im[WAVELET_WIDTHS + 1] = {};
        for (int j = 0; j < ws.n_window; ++j) {
            int k = ws.start + j;
            double amplitude = weight(ws, j, true) * ws.fringe[k];
            double phase = ws.q_film[k] * d;
            double c = std::cos(phase), sn = std::sin(phase);
            for (int s = 1; s <= WAVELET_WIDTHS; ++s) {
                // The hat's argument mixes q' (1/Å) and d (Å) as they stand, as the page does.
                double a = amplitude * mexicanHat((ws.q_film[k] - d) / width[s]);
                re[s] += a * c;
                im[s] -= a * sn;
            }
        }
        for (int s = 1; s <= WAVELET_WIDTHS; ++s)
            storeMagnitude(ws.ft[s][b], WAVELET_SCALE * std::hypot(re[s], im[s]), finite);
    }
    return spectrumStatus(finite);
}

FtReport runFourierTransform(FourierWorkspace& ws, Medium ambient) {
    FtReport report;
    Status s = checkTransformSettings(ws);
    if (!s.ok()) return refuse(ws, report, s);

    ws.start = 0;
    ws.end = ws.count - 1;
    if (ws.q_area == fourier::Q_AREA_AUTO) {
        ws.q_min = ws.q_first;
        ws.q_max = ws.q_last;
        report.q_min_text = qFieldText(ws.q_min);
        report.q_max_text = qFieldText(ws.q_max);
    }
    ws.delta = deltaFromQCritical(ws.q_critical, ws.lambda);
    ws.constant = ws.r[ws.end - 1];
    ws.d_step = ws.d_max / ws.bin_no;

    // Checked before the fit and the fringe, so a refusal leaves their last results.
    selectQWindow(ws);
    s = windowStatus(ws);
    if (!s.ok()) return refuse(ws, report, s);

    if (ws.fringe_mode == fourier::FRINGE_RQ4) {
        s = buildFringeRq4(ws);
    } else {
        s = fitCriticalEdge(ws, ambient);
        if (s.code <= 0) {
            report.edgeFitted = true;
            report.density_text = densityText(ws);
            report.roughness_text = roughnessText(ws);
            ws.q_critical = edgeQCritical(ws);
        }
    }
    if (s.code > 0) return refuse(ws, report, s);

    fillThicknessGrid(ws);
    Status spectrum = ws.transform == fourier::TRANSFORM_DFT ? computeDft(ws) : computeWavelet(ws);
    if (!spectrum.ok()) return refuse(ws, report, spectrum);

    ws.ft_done = 1;
    report.transformed = true;
    report.q_critical_text = qFieldText(ws.q_critical);
    report.status = s;
    return report;
}

std::string ftFileName(const std::string& loadedName) {
    std::string name = fileNameOf(loadedName);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.resize(dot);
    return directoryOf(loadedName) + name + ".FT";
}

std::string fourierResultText(const FourierWorkspace& ws) {
    std::string out = " (Background Shape)  \n";
    out += formatText(" I0        = %.3f  \n", ws.i0);
    out += formatText(" rough(A)  = %.3f  \n", ws.rough);
    out += formatText(" constant  = %.3f  \n", ws.constant);
    out += formatText(" delta     = %e  \n", ws.delta);
    out += formatText(" beta      = %e  \n", ws.beta_ratio * ws.delta);
    out += "\n";
    out += " (Fourier Transformed Thickness) \n";
    out += "    d(A)        Int(FT)  \n";
    int bins = binCount(ws);
    if (ws.transform == fourier::TRANSFORM_DFT) {
        for (int b = 0; b < bins; ++b) out += formatText("%12.2f  %e\n", ws.ft_d[b], ws.ft[0][b]);
    } else {
        // The wavelet rows start at the second bin.
        for (int b = 1; b < bins; ++b)
            out += formatText("%12.2f  %e  %e  %e  %e \n", ws.ft_d[b], ws.ft[1][b], ws.ft[2][b],
                              ws.ft[3][b], ws.ft[4][b]);
    }
    return out;
}

Status saveFourierResult(const FourierWorkspace& ws) {
    if (ws.ft_done != 1) return {1, "", Outcome::Refused};
    std::string name = ftFileName(ws.loaded_name);
    Status written = writeFileSafely(name, fourierResultText(ws));
    if (!written.ok()) return written;
    return Status::success(name);
}

}  // namespace tolvi
