#include "fourier/edge_fit.h"

#include <cfloat>
#include <cmath>

#include "base/constants.h"
#include "base/text_io.h"
#include "fourier/thickness_transform.h"

namespace tolvi {

namespace {

constexpr double MIN_THETA = 1e-5;  // degrees; at 0 both kz vanish and p = kz1/kz0 is undefined

// The factors of the page's formulas, kept as written there: 0.07958 ~ 1/4π turns q_critical
// into delta, 17.7715 ~ 4π·√2 turns delta back, 0.8228e6 turns delta into g/cm3.
constexpr double QC_TO_DELTA = 0.07958;
constexpr double DELTA_TO_QC = 17.7715;
constexpr double DELTA_TO_DENSITY = 0.8228e6;

struct EdgeContext {
    FourierWorkspace* ws;
    Medium n0;
};

int edgeResidual(int, int, const double* x, double* residuals, void* context) {
    auto* c = static_cast<EdgeContext*>(context);
    c->ws->delta = x[0];
    c->ws->beta_ratio = x[1];
    c->ws->rough = x[2];
    c->ws->constant = x[3];
    computeEdgeModel(*c->ws, c->n0);
    edgeResiduals(*c->ws, residuals);
    return 0;
}

}  // namespace

std::array<LmParam, EDGE_PARAMS> edgeFitParams(int q_critical_mode) {
    std::array<LmParam, EDGE_PARAMS> p{};  // zero-filled: relStep and side stay 0
    p[0].fixed = q_critical_mode == fourier::QC_MANUAL ? 1 : 0;
    p[0].limited[0] = p[0].limited[1] = 1;
    p[0].limits[0] = 1e-7;
    p[0].limits[1] = 0.001;
    p[0].step = 1e-8;

    p[1].limited[0] = p[1].limited[1] = 1;
    p[1].limits[0] = 0.0;
    p[1].limits[1] = 0.1;
    p[1].step = 1e-4;

    p[2].limited[0] = p[2].limited[1] = 1;
    p[2].limits[0] = 0.1;
    p[2].limits[1] = 50.0;
    p[2].step = 0.01;

    p[3].fixed = 1;
    p[3].limited[0] = 1;
    p[3].limits[0] = 0.0;
    p[3].step = 0.001;
    return p;
}

void computeEdgeModel(FourierWorkspace& ws, Medium n0) {
    double k = 2.0 * PI / ws.lambda;
    Medium n1{ws.delta, ws.delta * ws.beta_ratio};
    // kz² = k² (χ - χ_ambient + n_ambient² sin²θ): no difference of numbers near 1.
    Complex chi0 = n0.chi();
    Complex chi1 = n1.chi() - chi0;
    Complex n0sq{1.0 + chi0.re, chi0.im};
    double sigma2 = ws.rough * ws.rough;
    for (int j = 0; j < ws.count; ++j) {
        double theta = ws.theta[j] < MIN_THETA ? MIN_THETA : ws.theta[j];
        double sine = std::sin(theta * RAD_PER_DEG);
        Complex a2 = (sine * sine) * n0sq;
        Complex kz0 = k * csqrt(a2);
        Complex kz1 = k * csqrt(chi1 + a2);
        Complex p = kz1 / kz0;
        Complex m11 = 0.5 * (Complex{1.0, 0.0} + p) * cexp(-0.5 * sigma2 * square(kz1 - kz0));
        Complex m21 = 0.5 * (Complex{1.0, 0.0} - p) * cexp(-0.5 * sigma2 * square(kz1 + kz0));
        Complex rr = m21 / m11;
        double model = ws.i0 * norm2(rr) + ws.constant;
        // A rough interface at large q drives |r|^2 below the double range; with no background
        // the model would be 0 and its log10 infinite. Hold it within the positive doubles, so
        // the fit sees a finite (if steep) residual and nothing non-finite is stored.
        if (!(model >= DBL_MIN)) model = DBL_MIN;
        if (model > DBL_MAX) model = DBL_MAX;
        ws.r_model[j] = model;
        ws.log_r_model[j] = std::log10(model);
    }
}

void edgeResiduals(const FourierWorkspace& ws, double* residuals) {
    for (int k = 0; k < ws.count; ++k)
        residuals[k] = (k >= ws.start && k < ws.end) ? ws.log_r[k] - ws.log_r_model[k] : 0.0;
}

Status fitCriticalEdge(FourierWorkspace& ws, Medium n0) {
    selectQWindow(ws);
    Status window = windowStatus(ws);
    if (!window.ok()) return window;
    ws.constant = ws.r[ws.end - 1];

    double x[EDGE_PARAMS] = {ws.delta, ws.beta_ratio, ws.rough, ws.constant};
    std::array<LmParam, EDGE_PARAMS> params = edgeFitParams(ws.q_critical_mode);
    double xerror[EDGE_PARAMS] = {};
    LmResult result;
    result.xerror = xerror;
    EdgeContext context{&ws, n0};
    int status = lmFit(edgeResidual, ws.count, EDGE_PARAMS, x, params.data(), &result, &context);
    ws.delta = x[0];
    ws.beta_ratio = x[1];
    ws.rough = x[2];
    ws.constant = x[3];
    // After a positive status the engine's last residual call used x. Otherwise the model curve
    // may be an earlier run's (a refused start) or a rejected trial's: compute it at x, so the
    // fringe and the charts belong to the values shown.
    if (status <= 0) computeEdgeModel(ws, n0);

    if (ws.q_critical_mode == fourier::QC_FIT)
        ws.q_critical = std::sqrt(2.0 * ws.delta) * 4.0 * PI / ws.lambda;
    // q_film follows the fitted edge; the window of the fit stays.
    double qc2 = ws.q_critical * ws.q_critical;
    for (int i = 0; i < ws.count; ++i) {
        double d = ws.q[i] * ws.q[i] - qc2;
        ws.q_film[i] = d > 0.0 ? std::sqrt(d) : 0.0;
    }
    Status fringe = buildFringeRRf(ws);
    if (!fringe.ok()) return fringe;
    if (status > 0) return Status::success("--->OK");
    return {status, statusLine(lmStatusText(status)), Outcome::FitFailed};
}

std::string densityText(const FourierWorkspace& ws) {
    return formatText("%.3f", ws.delta * DELTA_TO_DENSITY / (ws.lambda * ws.lambda));
}

std::string roughnessText(const FourierWorkspace& ws) {
    return formatText("%.3f", ws.rough);
}

double edgeQCritical(const FourierWorkspace& ws) {
    return std::sqrt(ws.delta) * DELTA_TO_QC / ws.lambda;
}

double deltaFromQCritical(double qCritical, double lambda) {
    double t = QC_TO_DELTA * lambda * qCritical;
    return t * t * 0.5;
}

}  // namespace tolvi
