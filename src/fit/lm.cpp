#include "fit/lm.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <new>
#include <optional>
#include <stdexcept>
#include <vector>

#include "fit/lm_linear.h"

namespace tolvi {

using namespace lm;

namespace {

double sign(double v) {
    return v >= 0.0 ? 1.0 : -1.0;
}

// One fit: the free parameters with their bounds, the work arrays (taken on construction and
// by allocate, released by the vectors on every exit, an exception included) and the MINPACK
// lmdif iteration extended for bounds.
struct LmDriver {
    LmDriver(ResidualFn fn, int m, int n, const double* x, void* context)
        : fn(fn), m(m), n(n), context(context), xall(x, x + n), xtrial(x, x + n) {}

    // Free parameters in index order, with their active bounds and steps; -19 when none.
    int takeParams(const LmParam* params);
    // The m-sized and m x nfree work arrays; throws std::bad_alloc or std::length_error.
    void allocate();
    // The fit from the start evaluation to a status: lmdif's outer and inner loops.
    int run();
    // Evaluates at v (n values), counts the call and checks the residuals for finiteness.
    int evaluate(const double* v, double* residuals);
    // 1-sigma errors of the free parameters from the last R (MINPACK covar), into the caller's
    // order; xerror is zero-filled first and keeps 0 where there is no R. With `covariance`
    // (n x n), the whole matrix as well, zero-filled likewise.
    void errors(double* xerror, double* covariance);

    int forwardJacobian();
    void zeroPeggedColumns();
    double shortenStep();
    void snapOntoBounds();
    int nfree() const { return static_cast<int>(index.size()); }
    lm::MatrixView jacView() { return {jac.data(), m}; }

    ResidualFn fn;
    int m, n;
    void* context;
    BatchResidualFn batch = nullptr;
    std::vector<double> xbatch;  // with a batch function: the Jacobian's nfree vectors
    std::vector<int> batchStatus;

    std::vector<double> xall;    // accepted full vector (fixed values included)
    std::vector<double> xtrial;  // full vector handed to the residual function
    std::vector<int> index;      // caller's index of free parameter j
    std::vector<double> xfree;   // accepted free values
    std::vector<char> hasLower, hasUpper;
    std::vector<double> lower, upper, fixedStep, relativeStep;
    bool anyBound = false;
    int limitIndex = -1;      // the parameter whose bound shortened the last step, or -1
    double limitValue = 0.0;  // that bound

    std::vector<double> fvec;    // residuals at the accepted vector
    std::vector<double> rtrial;  // residuals at a trial or Jacobian point
    std::vector<double> qtr;     // Q^T r, all m elements
    std::vector<double> jac;     // m x nfree Jacobian, column by column; R after the QR
    std::vector<int> ipvt;
    // Length nfree: scale, Q^T r, R's diagonal, step, trial free values, column norms, scratch.
    std::vector<double> diag, qtf, rdiag, step, xnew, colNorm, work, sdiag, work2;

    int nfev = 0;
    int iter = 0;
    double fnorm = 0.0;    // norm of the accepted residuals
    double fnorm1 = -1.0;  // norm of the last trial
    double orignorm = 0.0;
    bool haveR = false;  // jac holds a complete R (for the covariance)
};

int LmDriver::takeParams(const LmParam* params) {
    for (int i = 0; i < n; ++i)
        if (!params || !params[i].fixed) index.push_back(i);
    const int nf = nfree();
    if (nf == 0) return NO_FREE_PARAM;
    hasLower.assign(nf, 0);
    hasUpper.assign(nf, 0);
    lower.assign(nf, 0.0);
    upper.assign(nf, 0.0);
    fixedStep.assign(nf, 0.0);
    relativeStep.assign(nf, 0.0);
    xfree.resize(nf);
    for (int j = 0; j < nf; ++j) {
        xfree[j] = xall[index[j]];
        if (!params) continue;
        const LmParam& p = params[index[j]];
        hasLower[j] = p.limited[0] != 0;
        hasUpper[j] = p.limited[1] != 0;
        lower[j] = p.limits[0];
        upper[j] = p.limits[1];
        fixedStep[j] = p.step;
        relativeStep[j] = p.relStep;
        anyBound = anyBound || hasLower[j] || hasUpper[j];
    }
    for (auto* v : {&diag, &qtf, &rdiag, &step, &xnew, &colNorm, &work, &sdiag, &work2})
        v->resize(nf);
    ipvt.resize(nf);
    return 0;
}

void LmDriver::allocate() {
    jac.resize(static_cast<std::size_t>(m) * static_cast<std::size_t>(nfree()));
    if (batch) {
        xbatch.resize(static_cast<std::size_t>(n) * static_cast<std::size_t>(nfree()));
        batchStatus.resize(nfree());
    }
    fvec.resize(m);
    rtrial.resize(m);
    qtr.resize(m);
}

int LmDriver::evaluate(const double* v, double* residuals) {
    ++nfev;
    int status = fn(m, n, v, residuals, context);
    if (status < 0) return status;
    for (int i = 0; i < m; ++i)
        if (!std::isfinite(residuals[i])) return NON_FINITE;
    return 0;
}

int LmDriver::forwardJacobian() {
    const double eps = std::sqrt(std::max(epsfcn, MACHEP));
    const int nf = nfree();
    auto stepOf = [&](int j) {
        const double xj = xfree[j];
        double h = fixedStep[j] > 0.0 ? fixedStep[j] : eps * std::fabs(xj);
        // A relative step follows the value as it moves, the absolute step its floor.
        if (relativeStep[j] > 0.0) h = std::max(relativeStep[j] * std::fabs(xj), fixedStep[j]);
        if (h == 0.0) h = eps;
        // Within one step of an active upper bound, difference backwards: the residual
        // function never sees a value above the bound.
        if (hasUpper[j] && xj > upper[j] - h) h = -h;
        return h;
    };
    // The columns are independent: with a batch function they are evaluated together (into the
    // Jacobian's own columns), then checked and differenced in the same order as one by one.
    if (batch) {
        for (int j = 0; j < nf; ++j) {
            double* v = xbatch.data() + static_cast<std::size_t>(j) * n;
            std::copy(xtrial.begin(), xtrial.end(), v);
            v[index[j]] = xfree[j] + stepOf(j);
        }
        batch(nf, m, n, xbatch.data(), jac.data(), batchStatus.data(), context);
    }
    for (int j = 0; j < nf; ++j) {
        const double h = stepOf(j);
        double* col = jacView().column(j);
        int status;
        if (batch) {
            ++nfev;
            status = batchStatus[j];
            if (status >= 0 &&
                !std::all_of(col, col + m, [](double v) { return std::isfinite(v); }))
                status = NON_FINITE;
        } else {
            xtrial[index[j]] = xfree[j] + h;
            status = evaluate(xtrial.data(), col);
            xtrial[index[j]] = xfree[j];
        }
        if (status < 0) return status;
        for (int i = 0; i < m; ++i) {
            col[i] = (col[i] - fvec[i]) / h;
            if (!std::isfinite(col[i])) return NON_FINITE;
        }
    }
    return 0;
}

// A parameter on an active bound whose gradient points out of the box gets a zero column, so
// that the next step leaves it where it is.
void LmDriver::zeroPeggedColumns() {
    for (int j = 0; j < nfree(); ++j) {
        bool atLower = hasLower[j] && xfree[j] == lower[j];
        bool atUpper = hasUpper[j] && xfree[j] == upper[j];
        if (!atLower && !atUpper) continue;
        double* col = jacView().column(j);
        double g = 0.0;
        for (int i = 0; i < m; ++i) g += fvec[i] * col[i];
        if ((atLower && g > 0.0) || (atUpper && g < 0.0)) std::fill(col, col + m, 0.0);
    }
}

// Drops the components that push a parameter already on its bound outward, then shortens the
// whole step by one factor alpha so that no parameter crosses an active bound. Returns alpha.
double LmDriver::shortenStep() {
    for (int j = 0; j < nfree(); ++j) {
        if ((hasLower[j] && xfree[j] <= lower[j] && step[j] < 0.0) ||
            (hasUpper[j] && xfree[j] >= upper[j] && step[j] > 0.0))
            step[j] = 0.0;
    }
    double alpha = 1.0;
    limitIndex = -1;
    for (int j = 0; j < nfree(); ++j) {
        if (std::fabs(step[j]) <= MACHEP) continue;
        if (hasLower[j] && xfree[j] + step[j] < lower[j]) {
            double a = (lower[j] - xfree[j]) / step[j];
            if (a < alpha) {
                alpha = a;
                limitIndex = j;
                limitValue = lower[j];
            }
        }
        if (hasUpper[j] && xfree[j] + step[j] > upper[j]) {
            double a = (upper[j] - xfree[j]) / step[j];
            if (a < alpha) {
                alpha = a;
                limitIndex = j;
                limitValue = upper[j];
            }
        }
    }
    for (double& s : step) s *= alpha;
    return alpha;
}

// Rounding in x + alpha s can leave a parameter a hair off (or past) the bound it was meant to
// reach: within relative MACHEP it is set exactly onto the bound, so that it counts as pegged.
void LmDriver::snapOntoBounds() {
    for (int j = 0; j < nfree(); ++j) {
        if (hasUpper[j]) {
            double u = upper[j];
            if (xnew[j] >= u * (1.0 - sign(u) * MACHEP) - (u == 0.0 ? MACHEP : 0.0)) xnew[j] = u;
        }
        if (hasLower[j]) {
            double l = lower[j];
            if (xnew[j] <= l * (1.0 + sign(l) * MACHEP) + (l == 0.0 ? MACHEP : 0.0)) xnew[j] = l;
        }
    }
}

int LmDriver::run() {
    const int nf = nfree();
    lm::MatrixView r = jacView();

    int status = evaluate(xall.data(), fvec.data());
    if (status < 0) return status;
    fnorm = enorm(m, fvec.data());
    orignorm = fnorm * fnorm;

    double par = 0.0, delta = 0.0, xnorm = 0.0;
    iter = 1;
    for (;;) {
        haveR = false;
        status = forwardJacobian();
        if (status < 0) return status;
        if (anyBound) zeroPeggedColumns();

        qrfac(m, nf, r, ipvt.data(), rdiag.data(), colNorm.data(), work.data());

        // First iteration: scale by the column norms, initial trust region from the scaled x.
        if (iter == 1) {
            for (int j = 0; j < nf; ++j) diag[j] = colNorm[j] == 0.0 ? 1.0 : colNorm[j];
            for (int j = 0; j < nf; ++j) work[j] = diag[j] * xfree[j];
            xnorm = enorm(nf, work.data());
            delta = stepfactor * xnorm;
            if (delta == 0.0) delta = stepfactor;
        }

        // Q^T r; the first nf elements go to qtf, and R's diagonal into the matrix.
        std::copy(fvec.begin(), fvec.end(), qtr.begin());
        for (int j = 0; j < nf; ++j) {
            if (r(j, j) != 0.0) {
                double sum = 0.0;
                for (int i = j; i < m; ++i) sum += r(i, j) * qtr[i];
                double temp = -sum / r(j, j);
                for (int i = j; i < m; ++i) qtr[i] += r(i, j) * temp;
            }
            r(j, j) = rdiag[j];
            qtf[j] = qtr[j];
        }
        haveR = true;

        // Scaled gradient: the largest cosine between the residuals and a Jacobian column.
        double gnorm = 0.0;
        if (fnorm != 0.0) {
            for (int j = 0; j < nf; ++j) {
                int l = ipvt[j];
                if (colNorm[l] == 0.0) continue;
                double sum = 0.0;
                for (int i = 0; i <= j; ++i) sum += r(i, j) * (qtf[i] / fnorm);
                gnorm = std::max(gnorm, std::fabs(sum / colNorm[l]));
            }
        }
        if (gnorm <= gtol) return GRADIENT_ORTHOGONAL;

        if (iter > 1)
            for (int j = 0; j < nf; ++j) diag[j] = std::max(diag[j], colNorm[j]);

        double ratio = 0.0;
        do {
            lmpar(nf, r, ipvt.data(), diag.data(), qtf.data(), delta, par, step.data(),
                  sdiag.data(), work.data(), work2.data());
            for (double& s : step) s = -s;

            double alpha = anyBound ? shortenStep() : 1.0;
            for (int j = 0; j < nf; ++j) xnew[j] = xfree[j] + step[j];
            if (anyBound) snapOntoBounds();
            // The parameter that shortened the step lands exactly on its bound, even where the
            // bound is small beside the distance travelled and x + alpha s rounds a few ulps off.
            if (anyBound && limitIndex >= 0) xnew[limitIndex] = limitValue;
            // Only non-finite arithmetic upstream can make this happen; never pass it on.
            for (int j = 0; j < nf; ++j)
                if (!std::isfinite(xnew[j])) return NON_FINITE;

            for (int j = 0; j < nf; ++j) work[j] = diag[j] * step[j];
            double pnorm = enorm(nf, work.data());
            if (iter == 1) delta = std::min(delta, pnorm);

            for (int j = 0; j < nf; ++j) xtrial[index[j]] = xnew[j];
            status = evaluate(xtrial.data(), rtrial.data());
            if (status < 0) return status;
            fnorm1 = enorm(m, rtrial.data());

            double actred = -1.0;
            if (0.1 * fnorm1 < fnorm) actred = 1.0 - (fnorm1 / fnorm) * (fnorm1 / fnorm);

            // Predicted reduction and directional derivative. The step was shortened by alpha:
            // R P (alpha s) is scaled by alpha once more, and the par term by alpha.
            for (int j = 0; j < nf; ++j) {
                work[j] = 0.0;
                double temp = step[ipvt[j]];
                for (int i = 0; i <= j; ++i) work[i] += r(i, j) * temp;
            }
            double temp1 = enorm(nf, work.data()) * alpha / fnorm;
            double temp2 = std::sqrt(alpha * par) * pnorm / fnorm;
            double prered = temp1 * temp1 + temp2 * temp2 / 0.5;
            double dirder = -(temp1 * temp1 + temp2 * temp2);
            ratio = prered != 0.0 ? actred / prered : 0.0;

            // Trust-region update.
            if (ratio <= 0.25) {
                double temp = actred >= 0.0 ? 0.5 : 0.5 * dirder / (dirder + 0.5 * actred);
                if (0.1 * fnorm1 >= fnorm || temp < 0.1) temp = 0.1;
                delta = temp * std::min(delta, pnorm / 0.1);
                par /= temp;
            } else if (par == 0.0 || ratio >= 0.75) {
                delta = pnorm / 0.5;
                par = 0.5 * par;
            }

            if (ratio >= 1e-4) {
                xfree.swap(xnew);
                for (int j = 0; j < nf; ++j) xall[index[j]] = xfree[j];
                fvec.swap(rtrial);
                for (int j = 0; j < nf; ++j) work[j] = diag[j] * xfree[j];
                xnorm = enorm(nf, work.data());
                fnorm = fnorm1;
                ++iter;
            }
            // The Jacobian and the next trial start from the accepted vector.
            for (int j = 0; j < nf; ++j) xtrial[index[j]] = xfree[j];

            int info = 0;
            if (std::fabs(actred) <= ftol && prered <= ftol && 0.5 * ratio <= 1.0)
                info = CHI_CONVERGED;
            if (delta <= xtol * xnorm)
                info = info == CHI_CONVERGED ? BOTH_CONVERGED : PARAMS_CONVERGED;
            if (info != 0) return info;

            if (iter >= maxiter) info = MAX_ITERATIONS;
            if (std::fabs(actred) <= MACHEP && prered <= MACHEP && 0.5 * ratio <= 1.0)
                info = FTOL_TOO_SMALL;
            if (delta <= MACHEP * xnorm) info = XTOL_TOO_SMALL;
            if (gnorm <= MACHEP) info = GTOL_TOO_SMALL;
            if (info != 0) return info;
        } while (ratio < 1e-4);
    }
}

void LmDriver::errors(double* xerror, double* covariance) {
    if (xerror) std::fill(xerror, xerror + n, 0.0);
    if (covariance) std::fill(covariance, covariance + static_cast<std::ptrdiff_t>(n) * n, 0.0);
    if (!haveR) return;
    lm::MatrixView r = jacView();
    covar(nfree(), r, ipvt.data(), covtol, work.data());
    for (int j = 0; j < nfree(); ++j) {
        double c = r(j, j);
        if (xerror && c > 0.0 && std::isfinite(c)) xerror[index[j]] = std::sqrt(c);
        for (int i = 0; covariance && i < nfree(); ++i)
            if (std::isfinite(r(i, j)))
                covariance[static_cast<std::ptrdiff_t>(index[i]) * n + index[j]] = r(i, j);
    }
}

int countPegged(int n, const double* x, const LmParam* params) {
    if (!params) return 0;
    int count = 0;
    for (int i = 0; i < n; ++i) {
        const LmParam& p = params[i];
        if ((p.limited[0] && x[i] == p.limits[0]) || (p.limited[1] && x[i] == p.limits[1])) ++count;
    }
    return count;
}

int failedCheck(int status, int m, int n, int nfree, LmResult* result) {
    if (result) {
        result->status = status;
        result->npar = n;
        result->nfree = nfree;
        result->nfunc = m;
        if (result->xerror) std::fill(result->xerror, result->xerror + std::max(n, 0), 0.0);
        if (result->covariance && n > 0)
            std::fill(result->covariance, result->covariance + static_cast<std::ptrdiff_t>(n) * n,
                      0.0);
    }
    return status;
}

}  // namespace

int lmFit(ResidualFn fn, int m, int n, double* x, const LmParam* params, LmResult* result,
          void* context, BatchResidualFn batch) {
    if (!fn) return failedCheck(NO_FUNCTION, m, n, 0, result);
    if (m <= 0 || !x) return failedCheck(NO_DATA, m, n, 0, result);
    if (n <= 0) return failedCheck(NO_FREE_PARAM, m, n, 0, result);

    std::optional<LmDriver> driver;
    int status = 0;
    try {
        driver.emplace(fn, m, n, x, context);
        driver->batch = batch;
        status = driver->takeParams(params);
    } catch (const std::bad_alloc&) {
        return failedCheck(NO_STORAGE, m, n, 0, result);
    }
    if (status < 0) return failedCheck(status, m, n, 0, result);
    const int nfree = driver->nfree();

    for (int i = 0; params && i < n; ++i) {
        const LmParam& p = params[i];
        if ((p.limited[0] && x[i] < p.limits[0]) || (p.limited[1] && x[i] > p.limits[1]))
            return failedCheck(START_OUTSIDE_BOUNDS, m, n, nfree, result);
        if (!p.fixed && p.limited[0] && p.limited[1] && p.limits[0] >= p.limits[1])
            return failedCheck(INCONSISTENT_BOUNDS, m, n, nfree, result);
    }
    if (m < nfree) return failedCheck(TOO_FEW_RESIDUALS, m, n, nfree, result);

    try {
        driver->allocate();
    } catch (const std::bad_alloc&) {
        return failedCheck(NO_STORAGE, m, n, nfree, result);
    } catch (const std::length_error&) {
        return failedCheck(NO_STORAGE, m, n, nfree, result);
    }

    LmDriver& fit = *driver;
    status = fit.run();

    for (int j = 0; j < nfree; ++j) x[fit.index[j]] = fit.xfree[j];
    // Callers rely on this call: the state the residual function updates holds the result.
    if (status > 0) {
        int last = fit.evaluate(x, fit.fvec.data());
        if (last < 0) status = last;
    }

    if (result) {
        double best = std::max(fit.fnorm, fit.fnorm1);
        result->bestnorm = best * best;
        result->orignorm = fit.orignorm;
        result->niter = fit.iter;
        result->nfev = fit.nfev;
        result->status = status;
        result->npar = n;
        result->nfree = nfree;
        result->npegged = countPegged(n, x, params);
        result->nfunc = m;
        fit.errors(result->xerror, result->covariance);
    }
    return status;
}

std::string lmStatusText(int status, std::string_view dateTime) {
    struct Entry {
        int code;
        const char* text;
    };
    static constexpr Entry table[] = {
        {CHI_CONVERGED, "-->OK1 LM-CHI    %s  \n"},
        {PARAMS_CONVERGED, "-->OK2 LM-PAR    %s  \n"},
        {BOTH_CONVERGED, "-->OK3 LM-CHI    %s  \n"},
        {GRADIENT_ORTHOGONAL, "-->OK4 LM-Conv in Orthogonal %s \n"},
        {MAX_ITERATIONS, "-->LM Warning Max iteration reached"},
        {FTOL_TOO_SMALL, "-->LM Warning ftol too small"},
        {XTOL_TOO_SMALL, "-->LM Warning xtol too small"},
        {GTOL_TOO_SMALL, "-->LM Warning gtol too small"},
        {GA_FINISHED, "--->GA Fit end    %s \n"},
        {INPUT_PARAM, "-->Error Input param"},
        {NON_FINITE, "-->Error Function non-finite"},
        {NO_FUNCTION, "-->Error No user function"},
        {NO_DATA, "-->Error No data point"},
        {NO_FREE_PARAM, "-->Error No free param"},
        {NO_STORAGE, "-->Error user function"},
        {START_OUTSIDE_BOUNDS, "-->Error Init val constraints"},
        {INCONSISTENT_BOUNDS, "-->Error Inconsistent constraints"},
        {BAD_SETTINGS, "-->Error Input param"},
        {TOO_FEW_RESIDUALS, "-->Error Degree of freedom"},
        {GA_NO_PARAM, "--->Error GA Fit NP==0"},
        {LM_NO_PARAM, "--->Error LM Fit NP==0"},
        {CANCELLED, "--->Fit cancelled"},
    };
    std::string text = "-->Unknown code   %s \n";
    for (const Entry& e : table)
        if (e.code == status) text = e.text;
    if (auto at = text.find("%s"); at != std::string::npos) text.replace(at, 2, dateTime);
    return text;
}

std::string lmStatusText(int status) {
    return lmStatusText(status, localDateTime());
}

std::string localDateTime() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return std::string(text, length);
}

std::string statusLine(std::string text) {
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

}  // namespace tolvi
