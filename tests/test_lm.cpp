#include <cctype>
#include <climits>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fit/lm.h"
#include "fit/lm_linear.h"

namespace tolvi {
namespace {

// ---------------------------------------------------------------------------------------------
// Helpers: a recording wrapper around any residual function, and one fit call.

struct CallLog {
    ResidualFn inner = nullptr;
    void* innerContext = nullptr;
    std::vector<std::vector<double>> xs;  // every parameter vector the function saw
    std::vector<double> chi2;             // and the sum of squares it returned there
};

int logged(int m, int n, const double* x, double* r, void* context) {
    auto* log = static_cast<CallLog*>(context);
    int status = log->inner(m, n, x, r, log->innerContext);
    log->xs.emplace_back(x, x + n);
    double sum = 0.0;
    for (int i = 0; i < m; ++i) sum += r[i] * r[i];
    log->chi2.push_back(sum);
    return status;
}

struct FitRun {
    int status = 0;
    std::vector<double> x;
    std::vector<double> xerror;
    std::vector<double> covariance;  // n x n
    LmResult result;
    CallLog log;
};

FitRun runFit(ResidualFn fn, int m, std::vector<double> start,
              const std::vector<LmParam>& params = {}, void* context = nullptr) {
    FitRun run;
    run.x = std::move(start);
    run.xerror.assign(run.x.size(), -1.0);
    run.log.inner = fn;
    run.log.innerContext = context;
    run.covariance.assign(run.x.size() * run.x.size(), -1.0);
    run.result.xerror = run.xerror.data();
    run.result.covariance = run.covariance.data();
    run.status = lmFit(logged, m, static_cast<int>(run.x.size()), run.x.data(),
                       params.empty() ? nullptr : params.data(), &run.result, &run.log);
    run.result.xerror = nullptr;
    run.result.covariance = nullptr;
    return run;
}

LmParam lowerBound(double value) {
    LmParam p;
    p.limited[0] = 1;
    p.limits[0] = value;
    return p;
}

LmParam upperBound(double value) {
    LmParam p;
    p.limited[1] = 1;
    p.limits[1] = value;
    return p;
}

LmParam fixedParam() {
    LmParam p;
    p.fixed = 1;
    return p;
}

// A fit ends when chi-square can fall by at most about ftol chi2 more: a parameter with 1-sigma
// error sigma may then still be off by sigma sqrt(ftol chi2).
double fitTolerance(double sigma, double chi2) {
    return sigma * std::sqrt(lm::ftol * chi2);
}

double sumOfSquares(ResidualFn fn, int m, const std::vector<double>& x, void* context = nullptr) {
    std::vector<double> r(m);
    fn(m, static_cast<int>(x.size()), x.data(), r.data(), context);
    double sum = 0.0;
    for (double v : r) sum += v * v;
    return sum;
}

// ---------------------------------------------------------------------------------------------
// Moré-Garbow-Hillstrom problems (ACM TOMS 7 (1981) 17-41), numbered as in the paper.

// Problem 1: Rosenbrock.
int rosenbrock(int, int, const double* x, double* f, void*) {
    f[0] = 10.0 * (x[1] - x[0] * x[0]);
    f[1] = 1.0 - x[0];
    return 0;
}

// Problem 2: Freudenstein and Roth.
int freudensteinRoth(int, int, const double* x, double* f, void*) {
    f[0] = -13.0 + x[0] + ((5.0 - x[1]) * x[1] - 2.0) * x[1];
    f[1] = -29.0 + x[0] + ((x[1] + 1.0) * x[1] - 14.0) * x[1];
    return 0;
}

// Problem 6: Jennrich and Sampson, m = 10.
int jennrichSampson(int m, int, const double* x, double* f, void*) {
    for (int i = 1; i <= m; ++i)
        f[i - 1] = 2.0 + 2.0 * i - (std::exp(i * x[0]) + std::exp(i * x[1]));
    return 0;
}

// Problem 7: helical valley.
int helicalValley(int, int, const double* x, double* f, void*) {
    const double twoPi = 8.0 * std::atan(1.0);
    double theta = x[0] > 0.0   ? std::atan(x[1] / x[0]) / twoPi
                   : x[0] < 0.0 ? std::atan(x[1] / x[0]) / twoPi + 0.5
                                : std::copysign(0.25, x[1]);
    f[0] = 10.0 * (x[2] - 10.0 * theta);
    f[1] = 10.0 * (std::sqrt(x[0] * x[0] + x[1] * x[1]) - 1.0);
    f[2] = x[2];
    return 0;
}

// Problem 8: Bard.
int bard(int, int, const double* x, double* f, void*) {
    static const double y[15] = {0.14, 0.18, 0.22, 0.25, 0.29, 0.32, 0.35, 0.39,
                                 0.37, 0.58, 0.73, 0.96, 1.34, 2.10, 4.39};
    for (int i = 1; i <= 15; ++i) {
        double u = i, v = 16 - i, w = std::min(u, v);
        f[i - 1] = y[i - 1] - (x[0] + u / (v * x[1] + w * x[2]));
    }
    return 0;
}

// Problem 10: Meyer.
int meyer(int, int, const double* x, double* f, void*) {
    static const double y[16] = {34780, 28610, 23650, 19630, 16370, 13720, 11540, 9744,
                                 8261,  7030,  6005,  5147,  4427,  3820,  3307,  2872};
    for (int i = 1; i <= 16; ++i) {
        double t = 45.0 + 5.0 * i;
        f[i - 1] = x[0] * std::exp(x[1] / (t + x[2])) - y[i - 1];
    }
    return 0;
}

// Problem 12: Box three-dimensional, m = 10.
int boxThreeD(int m, int, const double* x, double* f, void*) {
    for (int i = 1; i <= m; ++i) {
        double t = 0.1 * i;
        f[i - 1] =
            std::exp(-t * x[0]) - std::exp(-t * x[1]) - x[2] * (std::exp(-t) - std::exp(-10.0 * t));
    }
    return 0;
}

// Problem 13: Powell singular.
int powellSingular(int, int, const double* x, double* f, void*) {
    f[0] = x[0] + 10.0 * x[1];
    f[1] = std::sqrt(5.0) * (x[2] - x[3]);
    f[2] = (x[1] - 2.0 * x[2]) * (x[1] - 2.0 * x[2]);
    f[3] = std::sqrt(10.0) * (x[0] - x[3]) * (x[0] - x[3]);
    return 0;
}

// Problem 15: Kowalik and Osborne.
int kowalikOsborne(int, int, const double* x, double* f, void*) {
    static const double y[11] = {0.1957, 0.1947, 0.1735, 0.1600, 0.0844, 0.0627,
                                 0.0456, 0.0342, 0.0323, 0.0235, 0.0246};
    static const double u[11] = {4.0,   2.0,   1.0,    0.5,    0.25,  0.167,
                                 0.125, 0.100, 0.0833, 0.0714, 0.0625};
    for (int i = 0; i < 11; ++i)
        f[i] = y[i] - x[0] * (u[i] * u[i] + u[i] * x[1]) / (u[i] * u[i] + u[i] * x[2] + x[3]);
    return 0;
}

// Problem 16: Brown and Dennis, m = 20.
int brownDennis(int m, int, const double* x, double* f, void*) {
    for (int i = 1; i <= m; ++i) {
        double t = i / 5.0;
        double a = x[0] + t * x[1] - std::exp(t);
        double b = x[2] + x[3] * std::sin(t) - std::cos(t);
        f[i - 1] = a * a + b * b;
    }
    return 0;
}

// Problem 17: Osborne 1.
int osborne1(int, int, const double* x, double* f, void*) {
    static const double y[33] = {0.844, 0.908, 0.932, 0.936, 0.925, 0.908, 0.881, 0.850, 0.818,
                                 0.784, 0.751, 0.718, 0.685, 0.658, 0.628, 0.603, 0.580, 0.558,
                                 0.538, 0.522, 0.506, 0.490, 0.478, 0.467, 0.457, 0.448, 0.438,
                                 0.431, 0.424, 0.420, 0.414, 0.411, 0.406};
    for (int i = 0; i < 33; ++i) {
        double t = 10.0 * i;
        f[i] = y[i] - (x[0] + x[1] * std::exp(-t * x[3]) + x[2] * std::exp(-t * x[4]));
    }
    return 0;
}

// Problem 20: Watson, n = 6.
int watson(int, int n, const double* x, double* f, void*) {
    for (int i = 1; i <= 29; ++i) {
        double t = i / 29.0;
        double s1 = 0.0, dx = 1.0;
        for (int j = 1; j < n; ++j) {
            s1 += j * dx * x[j];
            dx *= t;
        }
        double s2 = 0.0;
        dx = 1.0;
        for (int j = 0; j < n; ++j) {
            s2 += dx * x[j];
            dx *= t;
        }
        f[i - 1] = s1 - s2 * s2 - 1.0;
    }
    f[29] = x[0];
    f[30] = x[1] - x[0] * x[0] - 1.0;
    return 0;
}

// How a fit from the standard start ends with this engine's settings.
enum class End {
    Converges,  // status 1 to 4
    MaxIter,    // status 5 after maxiter iterations
};

struct Problem {
    const char* name;
    ResidualFn fn;
    int m;
    std::vector<double> start;
    double chi2;  // published minimum; 0 for problems with a zero residual
    End end = End::Converges;
    double relTol = 1e-5;  // the published figures carry six digits
};

// Published minima: MGH (1981). Freudenstein-Roth from the standard start ends in the local
// minimum 48.9842, as in the MINPACK-1 test results (final norm 6.998875). Watson starts from
// 10 (MINPACK-1's start for factor 10, since the standard one is 0): from 0 the first step moves
// x1 by rounding noise only, and the relative difference step sqrt(epsfcn)|x1| is then too small
// to see x1 in the other residuals.
// Powell singular has a singular Jacobian at its zero-residual minimum: chi-square falls by a
// constant factor per iteration, so neither the relative ftol nor xtol test can end it.
// Brown-Dennis is a large-residual problem where Gauss-Newton converges linearly (MINPACK-1's
// own lmder test with analytic derivatives takes 238 Jacobians): after 200 iterations
// chi-square is within 2e-5 of the minimum.
const std::vector<Problem>& standardProblems() {
    static const std::vector<Problem> problems = {
        {"Rosenbrock", rosenbrock, 2, {-1.2, 1.0}, 0.0},
        {"FreudensteinRoth", freudensteinRoth, 2, {0.5, -2.0}, 48.9842},
        {"JennrichSampson", jennrichSampson, 10, {0.3, 0.4}, 124.362},
        {"HelicalValley", helicalValley, 3, {-1.0, 0.0, 0.0}, 0.0},
        {"Bard", bard, 15, {1.0, 1.0, 1.0}, 8.21487e-3},
        {"Meyer", meyer, 16, {0.02, 4000.0, 250.0}, 87.9458},
        {"BoxThreeD", boxThreeD, 10, {0.0, 10.0, 20.0}, 0.0},
        {"PowellSingular", powellSingular, 4, {3.0, -1.0, 0.0, 1.0}, 0.0, End::MaxIter},
        {"KowalikOsborne", kowalikOsborne, 11, {0.25, 0.39, 0.415, 0.39}, 3.07505e-4},
        {"BrownDennis", brownDennis, 20, {25, 5, -5, -1}, 85822.2, End::MaxIter, 2e-5},
        {"Osborne1", osborne1, 33, {0.5, 1.5, -1.0, 0.01, 0.02}, 5.46489e-5},
        {"Watson6", watson, 31, std::vector<double>(6, 10.0), 2.28767e-3},
    };
    return problems;
}

TEST(LmStandardProblems, ReachThePublishedMinimum) {
    for (const Problem& p : standardProblems()) {
        SCOPED_TRACE(p.name);
        FitRun run = runFit(p.fn, p.m, p.start);
        if (p.end == End::Converges) {
            EXPECT_GE(run.status, 1);
            EXPECT_LE(run.status, 4);
        } else {
            EXPECT_EQ(run.status, lm::MAX_ITERATIONS);
            EXPECT_EQ(run.result.niter, lm::maxiter);
        }
        EXPECT_EQ(run.result.status, run.status);
        if (p.chi2 == 0.0) {
            EXPECT_LT(run.result.bestnorm, 1e-20);
        } else {
            EXPECT_NEAR(run.result.bestnorm, p.chi2, p.relTol * p.chi2);
        }
        EXPECT_NEAR(run.result.orignorm, sumOfSquares(p.fn, p.m, p.start),
                    1e-12 * run.result.orignorm);
        EXPECT_EQ(run.result.npar, static_cast<int>(p.start.size()));
        EXPECT_EQ(run.result.nfree, static_cast<int>(p.start.size()));
        EXPECT_EQ(run.result.nfunc, p.m);
        EXPECT_EQ(run.result.npegged, 0);
        EXPECT_GE(run.result.niter, 1);
        EXPECT_EQ(run.result.nfev, static_cast<int>(run.log.xs.size()));
        for (double v : run.x) EXPECT_TRUE(std::isfinite(v));
        for (double e : run.xerror) EXPECT_GE(e, 0.0);
    }
}

TEST(LmStandardProblems, LastCallUsesTheReturnedVector) {
    for (const Problem& p : standardProblems()) {
        SCOPED_TRACE(p.name);
        FitRun run = runFit(p.fn, p.m, p.start);
        ASSERT_GT(run.status, 0);
        EXPECT_EQ(run.log.xs.back(), run.x);
    }
}

// bestnorm is max(accepted, last trial) squared. Every end but status 4 comes right after a
// trial, so the call before the final one (the last trial) and the final call itself (at the
// accepted vector) give it; at least one problem must end on a rejected trial.
TEST(LmStandardProblems, BestnormIsTheLargerOfLastTrialAndResult) {
    int endsOnRejectedTrial = 0;
    for (const Problem& p : standardProblems()) {
        SCOPED_TRACE(p.name);
        FitRun run = runFit(p.fn, p.m, p.start);
        ASSERT_GT(run.status, 0);
        if (run.status == lm::GRADIENT_ORTHOGONAL) continue;
        const auto& chi2 = run.log.chi2;
        ASSERT_GE(chi2.size(), 2u);
        double lastTrial = chi2[chi2.size() - 2];
        double atResult = chi2.back();
        if (lastTrial > atResult) {
            ++endsOnRejectedTrial;
            EXPECT_NE(run.log.xs[run.log.xs.size() - 2], run.x);
        }
        double expected = std::max(lastTrial, atResult);
        EXPECT_NEAR(run.result.bestnorm, expected, 1e-12 * expected + 1e-300);
    }
    EXPECT_GT(endsOnRejectedTrial, 0);
}

// ---------------------------------------------------------------------------------------------
// A straight line y = a + b x with sigma = 1: closed-form least squares and covariance.

struct LineData {
    std::vector<double> x, y;
};

int lineResiduals(int m, int, const double* p, double* r, void* context) {
    const auto* d = static_cast<const LineData*>(context);
    for (int i = 0; i < m; ++i) r[i] = d->y[i] - (p[0] + p[1] * d->x[i]);
    return 0;
}

LineData noisyLine() {
    static const double noise[12] = {0.31, -0.42, 0.05,  0.27,  -0.18, -0.33,
                                     0.12, 0.44,  -0.09, -0.25, 0.16,  0.02};
    LineData d;
    for (int i = 0; i < 12; ++i) {
        d.x.push_back(0.5 * i - 1.0);
        d.y.push_back(1.5 + 0.7 * d.x.back() + noise[i]);
    }
    return d;
}

struct LineSums {
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    explicit LineSums(const LineData& d) {
        n = static_cast<double>(d.x.size());
        for (std::size_t i = 0; i < d.x.size(); ++i) {
            sx += d.x[i];
            sy += d.y[i];
            sxx += d.x[i] * d.x[i];
            sxy += d.x[i] * d.y[i];
        }
    }
    double det() const { return n * sxx - sx * sx; }
    double slope() const { return (n * sxy - sx * sy) / det(); }
    double intercept(double b) const { return (sy - b * sx) / n; }
};

double lineChi2(const LineData& d, double a, double b) {
    double sum = 0.0;
    for (std::size_t i = 0; i < d.x.size(); ++i) {
        double r = d.y[i] - a - b * d.x[i];
        sum += r * r;
    }
    return sum;
}

TEST(LmLinearModel, MatchesTheAnalyticSolutionAndCovariance) {
    LineData d = noisyLine();
    LineSums s(d);
    double b = s.slope(), a = s.intercept(b);

    FitRun run = runFit(lineResiduals, static_cast<int>(d.x.size()), {0.0, 0.0}, {}, &d);
    ASSERT_GT(run.status, 0);
    // xerror = sqrt of the diagonal of (J^T J)^-1; the Jacobian is a forward difference.
    const double sigmaA = std::sqrt(s.sxx / s.det()), sigmaB = std::sqrt(s.n / s.det());
    const double chi2 = lineChi2(d, a, b);
    EXPECT_NEAR(run.x[0], a, fitTolerance(sigmaA, chi2));
    EXPECT_NEAR(run.x[1], b, fitTolerance(sigmaB, chi2));
    EXPECT_NEAR(run.result.bestnorm, chi2, lm::ftol * chi2);
    EXPECT_NEAR(run.xerror[0], sigmaA, 1e-7 * sigmaA);
    EXPECT_NEAR(run.xerror[1], sigmaB, 1e-7 * sigmaB);
    // The whole matrix: (J^T J)^-1 = [[sxx, -sx], [-sx, n]] / det, symmetric.
    EXPECT_NEAR(run.covariance[0], s.sxx / s.det(), 1e-7 * s.sxx / s.det());
    EXPECT_NEAR(run.covariance[1], -s.sx / s.det(), 1e-7 * std::fabs(s.sx / s.det()));
    EXPECT_EQ(run.covariance[1], run.covariance[2]);
    EXPECT_NEAR(run.covariance[3], s.n / s.det(), 1e-7 * s.n / s.det());
}

TEST(LmLinearModel, FixedParameterKeepsItsValueAndHasZeroError) {
    LineData d = noisyLine();
    LineSums s(d);
    const double a = 1.25;  // fixed intercept, first in the caller's order
    double b = (s.sxy - a * s.sx) / s.sxx;

    FitRun run = runFit(lineResiduals, static_cast<int>(d.x.size()), {a, 0.0},
                        {fixedParam(), LmParam{}}, &d);
    ASSERT_GT(run.status, 0);
    EXPECT_EQ(run.x[0], a);
    EXPECT_NEAR(run.x[1], b, fitTolerance(1.0 / std::sqrt(s.sxx), lineChi2(d, a, b)));
    EXPECT_EQ(run.result.nfree, 1);
    EXPECT_EQ(run.xerror[0], 0.0);
    EXPECT_NEAR(run.xerror[1], 1.0 / std::sqrt(s.sxx), 1e-7);
    // The fixed parameter's row and column of the covariance are zero.
    EXPECT_EQ(run.covariance[0], 0.0);
    EXPECT_EQ(run.covariance[1], 0.0);
    EXPECT_EQ(run.covariance[2], 0.0);
    EXPECT_NEAR(run.covariance[3], 1.0 / s.sxx, 1e-7 / s.sxx);
    for (const auto& x : run.log.xs) EXPECT_EQ(x[0], a);
}

// A bound that cuts off the slope: the slope sits exactly on it, the intercept is the best one
// for that slope.
TEST(LmLinearModel, BoundOnTheSlopeGivesTheConstrainedSolution) {
    LineData d = noisyLine();
    LineSums s(d);
    const double free = s.slope();
    struct Case {
        LmParam bound;
        double value;
    };
    for (Case c :
         {Case{upperBound(free - 0.5), free - 0.5}, Case{lowerBound(free + 0.5), free + 0.5}}) {
        SCOPED_TRACE(c.value);
        FitRun run = runFit(lineResiduals, static_cast<int>(d.x.size()), {0.0, c.value},
                            {LmParam{}, c.bound}, &d);
        ASSERT_GT(run.status, 0);
        EXPECT_EQ(run.x[1], c.value);
        const double a = s.intercept(c.value), chi2 = lineChi2(d, a, c.value);
        EXPECT_NEAR(run.x[0], a, fitTolerance(1.0 / std::sqrt(s.n), chi2));
        EXPECT_NEAR(run.result.bestnorm, chi2, lm::ftol * chi2);
        EXPECT_EQ(run.result.npegged, 1);
    }
}

// ---------------------------------------------------------------------------------------------
// Bounds.

// Standard problems with a bound that cuts off the unconstrained minimum.
TEST(LmBounds, StandardProblemsStopExactlyOnTheBound) {
    struct Case {
        const char* name;
        ResidualFn fn;
        int m;
        std::vector<double> start;
        int param;
        bool upper;
        double bound;
        double chi2 = 0.0;  // the constrained minimum where it has a closed form
    };
    const std::vector<Case> cases = {
        // x1 <= 0.5: the minimum moves to (0.5, 0.25), where only (1 - x1)^2 = 0.25 remains.
        {"Rosenbrock", rosenbrock, 2, {-1.2, 1.0}, 0, true, 0.5, 0.25},
        {"KowalikOsborne", kowalikOsborne, 11, {0.18, 0.39, 0.415, 0.39}, 0, true, 0.18},
        {"Bard", bard, 15, {1.0, 1.0, 1.0}, 0, false, 0.1},
        {"Osborne1", osborne1, 33, {0.5, 1.5, -1.0, 0.01, 0.02}, 0, false, 0.4},
        {"BrownDennis", brownDennis, 20, {25.0, 5.0, -5.0, -1.0}, 1, true, 12.0},
        {"Meyer", meyer, 16, {0.02, 4000.0, 250.0}, 2, true, 300.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<LmParam> params(c.start.size());
        params[c.param] = c.upper ? upperBound(c.bound) : lowerBound(c.bound);
        FitRun run = runFit(c.fn, c.m, c.start, params);
        ASSERT_GT(run.status, 0);
        EXPECT_EQ(run.x[c.param], c.bound);
        EXPECT_EQ(run.result.npegged, 1);
        if (c.chi2 > 0.0) {
            EXPECT_NEAR(run.result.bestnorm, c.chi2, 1e-10);
        }
        for (const auto& x : run.log.xs) {
            if (c.upper) {
                EXPECT_LE(x[c.param], c.bound);
            } else {
                EXPECT_GE(x[c.param], c.bound);
            }
        }
    }
}

// r = (x0 + 1, x1 - 2): the minimum wants x0 = -1, below its bound 0.
int pushedDown(int, int, const double* x, double* r, void*) {
    r[0] = x[0] + 1.0;
    r[1] = x[1] - 2.0;
    return 0;
}

TEST(LmBounds, ParameterPushedAgainstItsBoundStaysExactlyOnIt) {
    FitRun run = runFit(pushedDown, 2, {0.0, 0.0}, {lowerBound(0.0), LmParam{}});
    ASSERT_GT(run.status, 0);
    EXPECT_EQ(run.x[0], 0.0);
    EXPECT_NEAR(run.x[1], 2.0, fitTolerance(1.0, 1.0));
    EXPECT_EQ(run.result.npegged, 1);
    EXPECT_NEAR(run.result.bestnorm, 1.0, lm::ftol);
    for (const auto& x : run.log.xs) EXPECT_GE(x[0], 0.0);
}

// From (3, 0) the full step (-4, 2) would carry x0 to -1; it is shortened by alpha = 3/4 for
// both components, so the first trial (after the two Jacobian columns) is (0, 1.5).
TEST(LmBounds, ShortenedStepLandsOnTheBoundForAllParametersAlike) {
    FitRun run = runFit(pushedDown, 2, {3.0, 0.0}, {lowerBound(0.0), LmParam{}});
    ASSERT_GT(run.status, 0);
    ASSERT_GE(run.log.xs.size(), 4u);
    const auto& trial = run.log.xs[3];
    EXPECT_EQ(trial[0], 0.0);
    EXPECT_NEAR(trial[1], 1.5, 1e-6);
    EXPECT_EQ(run.x[0], 0.0);
    EXPECT_NEAR(run.x[1], 2.0, fitTolerance(1.0, 1.0));
    EXPECT_EQ(run.result.npegged, 1);
}

struct Target {
    double value;
};

int towardTarget(int, int, const double* x, double* r, void* context) {
    r[0] = x[0] - static_cast<const Target*>(context)->value;
    return 0;
}

// Bounds and starts whose x + alpha s misses the bound by rounding: the trial value is set onto
// it exactly all the same.
TEST(LmBounds, StepOntoABoundLandsExactlyDespiteRounding) {
    struct Case {
        double start, bound, target;
        bool upper;
    };
    for (Case c :
         {Case{0.7, 0.1, -0.3, false}, Case{0.3, -0.1, -1.7, false}, Case{-0.7, 0.3, 2.9, true},
          Case{0.1, 0.7, 1.3, true}, Case{-2.0 / 7.0, 0.0, 5.0 / 3.0, true},
          Case{123.456, 789.012, 1e4 / 3.0, true}, Case{-5.1, -5.3, -9.7, false},
          // A bound small beside the distance travelled: x + alpha s would stop ulps short.
          Case{1.0 / 3.0, 1e-3, -1.0, false}, Case{-1.0 / 3.0, -1e-3, 1.0, true}}) {
        SCOPED_TRACE(testing::Message() << c.start << " -> " << c.bound);
        Target target{c.target};
        FitRun run = runFit(towardTarget, 1, {c.start},
                            {c.upper ? upperBound(c.bound) : lowerBound(c.bound)}, &target);
        ASSERT_GT(run.status, 0);
        EXPECT_EQ(run.x[0], c.bound);
        EXPECT_EQ(run.result.npegged, 1);
        for (const auto& x : run.log.xs)
            EXPECT_TRUE(c.upper ? x[0] <= c.bound : x[0] >= c.bound) << x[0];
    }
}

// The minimum (x = 5) lies above the upper bound 1; starts within one difference step of the
// bound take their derivative backwards. No value above the bound ever reaches the function.
TEST(LmBounds, BackwardDifferenceNearTheUpperBoundNeverExceedsIt) {
    struct Case {
        double start, step;
    };
    for (Case c : {Case{1.0, 0.0}, Case{1.0 - 1e-9, 0.0}, Case{0.95, 0.1}, Case{1.0, 0.25},
                   Case{0.0, 0.0}, Case{1.0 - 1e-12, 0.0}}) {
        SCOPED_TRACE(testing::Message() << c.start << " step " << c.step);
        Target target{5.0};
        LmParam p = upperBound(1.0);
        p.step = c.step;
        FitRun run = runFit(towardTarget, 1, {c.start}, {p}, &target);
        ASSERT_GT(run.status, 0);
        EXPECT_EQ(run.x[0], 1.0);
        for (const auto& x : run.log.xs) EXPECT_LE(x[0], 1.0);
    }
}

TEST(LmBounds, FixedParameterOnItsBoundCountsAsPegged) {
    LineData d = noisyLine();
    LmParam a = fixedParam();
    a.limited[0] = 1;
    a.limits[0] = 1.25;
    FitRun run =
        runFit(lineResiduals, static_cast<int>(d.x.size()), {1.25, 0.0}, {a, LmParam{}}, &d);
    ASSERT_GT(run.status, 0);
    EXPECT_EQ(run.result.npegged, 1);
}

// A fixed parameter may have lower = upper = its value; only free ones need lower < upper.
TEST(LmBounds, FixedParameterWithEqualBoundsIsAccepted) {
    LineData d = noisyLine();
    LmParam a = fixedParam();
    a.limited[0] = a.limited[1] = 1;
    a.limits[0] = a.limits[1] = 1.25;
    FitRun run =
        runFit(lineResiduals, static_cast<int>(d.x.size()), {1.25, 0.0}, {a, LmParam{}}, &d);
    EXPECT_GT(run.status, 0);
    EXPECT_EQ(run.result.npegged, 1);
}

// ---------------------------------------------------------------------------------------------
// Checks before fitting.

int countingResiduals(int m, int, const double*, double* r, void* context) {
    ++*static_cast<int*>(context);
    for (int i = 0; i < m; ++i) r[i] = 1.0;
    return 0;
}

// Every start value is 1. With lower > upper a start value always lies outside one of them, so
// -22 is seen only for lower = upper = start.
TEST(LmChecks, EachFailedCheckGivesItsStatusWithoutCallingTheFunction) {
    struct Case {
        const char* name;
        ResidualFn fn;
        int m, n;
        bool haveX;
        std::vector<LmParam> params;
        int expected;
    };
    const ResidualFn f = countingResiduals;
    const LmParam free, fixed = fixedParam();
    LmParam equal;
    equal.limited[0] = equal.limited[1] = 1;
    equal.limits[0] = equal.limits[1] = 1.0;
    LmParam inverted = equal;
    inverted.limits[0] = 1.0;
    inverted.limits[1] = 0.5;
    LmParam fixedAbove = upperBound(0.5);
    fixedAbove.fixed = 1;
    const std::vector<Case> cases = {
        {"no function", nullptr, 5, 2, true, {}, lm::NO_FUNCTION},
        {"no function before m = 0", nullptr, 0, 0, false, {}, lm::NO_FUNCTION},
        {"m = 0", f, 0, 2, true, {}, lm::NO_DATA},
        {"m < 0", f, -3, 2, true, {}, lm::NO_DATA},
        {"no vector", f, 5, 2, false, {}, lm::NO_DATA},
        {"m = 0 before n = 0", f, 0, 0, true, {}, lm::NO_DATA},
        {"n = 0", f, 5, 0, true, {}, lm::NO_FREE_PARAM},
        {"n < 0", f, 5, -1, true, {}, lm::NO_FREE_PARAM},
        {"all fixed", f, 5, 2, true, {fixed, fixed}, lm::NO_FREE_PARAM},
        {"all fixed before bounds", f, 5, 2, true, {fixed, fixedAbove}, lm::NO_FREE_PARAM},
        {"free below lower", f, 5, 2, true, {free, lowerBound(2.0)}, lm::START_OUTSIDE_BOUNDS},
        {"free above upper", f, 5, 2, true, {upperBound(0.0), free}, lm::START_OUTSIDE_BOUNDS},
        {"fixed above upper", f, 5, 2, true, {fixedAbove, free}, lm::START_OUTSIDE_BOUNDS},
        {"lower > upper", f, 5, 2, true, {inverted, free}, lm::START_OUTSIDE_BOUNDS},
        {"lower = upper", f, 5, 2, true, {free, equal}, lm::INCONSISTENT_BOUNDS},
        {"index order", f, 5, 2, true, {equal, lowerBound(2.0)}, lm::INCONSISTENT_BOUNDS},
        {"bounds first", f, 1, 2, true, {lowerBound(2.0), free}, lm::START_OUTSIDE_BOUNDS},
        {"3 residuals, 4 free", f, 3, 4, true, {}, lm::TOO_FEW_RESIDUALS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int calls = 0;
        std::vector<double> x(4, 1.0);
        std::vector<double> xerror(4, -1.0);
        LmResult result;
        result.xerror = xerror.data();
        int status = lmFit(c.fn, c.m, c.n, c.haveX ? x.data() : nullptr,
                           c.params.empty() ? nullptr : c.params.data(), &result, &calls);
        EXPECT_EQ(status, c.expected);
        EXPECT_EQ(result.status, c.expected);
        EXPECT_EQ(calls, 0);
        EXPECT_EQ(result.nfev, 0);
        EXPECT_EQ(x, std::vector<double>(4, 1.0));
        EXPECT_EQ(result.xerror, xerror.data());
    }
}

// Only free parameters count against the residuals: 3 residuals, 4 parameters, 1 of them fixed.
TEST(LmChecks, FixedParametersDoNotCountAsDegreesOfFreedom) {
    int calls = 0;
    double x[4] = {1.0, 1.0, 1.0, 1.0};
    LmParam params[4] = {LmParam{}, fixedParam(), LmParam{}, LmParam{}};
    LmResult result;
    int status = lmFit(countingResiduals, 3, 4, x, params, &result, &calls);
    EXPECT_GT(status, 0);
    EXPECT_EQ(result.nfree, 3);
    EXPECT_EQ(calls, result.nfev);
}

TEST(LmChecks, AllFixedReportsNoFreeParam) {
    int calls = 0;
    double x[2] = {1.0, 2.0};
    LmParam params[2] = {fixedParam(), fixedParam()};
    int status = lmFit(countingResiduals, 4, 2, x, params, nullptr, &calls);
    EXPECT_EQ(status, -19);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(lmStatusText(status, "d"), "-->Error No free param");
}

// A Jacobian of 2^31 x 2^17 doubles (2^51 bytes) cannot be had on any machine.
TEST(LmChecks, JacobianTooLargeForMemoryGivesNoStorage) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer ends the program on a failed allocation instead of throwing";
#endif
    const int n = 1 << 17;
    std::vector<double> x(n, 0.0);
    int calls = 0;
    LmResult result;
    int status = lmFit(countingResiduals, INT_MAX, n, x.data(), nullptr, &result, &calls);
    EXPECT_EQ(status, lm::NO_STORAGE);
    EXPECT_EQ(result.nfree, n);
    EXPECT_EQ(calls, 0);
}

// ---------------------------------------------------------------------------------------------
// Ends of the fit.

// r = x^10 from x = 1: every Gauss-Newton step is accepted and shrinks x by 10%, the cosine
// test stays at 1 and chi-square keeps falling by 88% per step, so only the iteration limit
// ends it: iter starts at 1 and the fit stops when it reaches maxiter.
int tenthPower(int, int, const double* x, double* r, void*) {
    r[0] = std::pow(x[0], 10);
    return 0;
}

TEST(LmEnd, IterationLimitEndsASlowFit) {
    FitRun run = runFit(tenthPower, 1, {1.0});
    EXPECT_EQ(run.status, lm::MAX_ITERATIONS);
    EXPECT_EQ(run.result.niter, lm::maxiter);
    EXPECT_EQ(run.log.xs.back(), run.x);
    EXPECT_EQ(lmStatusText(run.status, ""), "-->LM Warning Max iteration reached");
}

struct Poison {
    int afterCalls;  // calls that return good residuals
    double value;    // then this value in residual 1
    int status = 0;  // and this status
};

int poisoned(int m, int n, const double* x, double* r, void* context) {
    auto* p = static_cast<Poison*>(context);
    rosenbrock(m, n, x, r, nullptr);
    if (p->afterCalls-- > 0) return 0;
    r[1] = p->value;
    return p->status;
}

// Non-finite residuals at the start (call 1), in a Jacobian column (calls 2, 3) or at a trial
// (call 4, or later ones): -16, with x the best vector accepted so far and nothing more called.
TEST(LmEnd, NonFiniteResidualsStopWithTheBestValuesSoFar) {
    const double nan = std::nan(""), inf = HUGE_VAL;
    for (int after : {0, 1, 2, 3, 6, 10, 20}) {
        for (double bad : {nan, inf, -inf}) {
            SCOPED_TRACE(testing::Message() << "after " << after << " value " << bad);
            Poison poison{after, bad};
            FitRun run = runFit(poisoned, 2, {-1.2, 1.0}, {}, &poison);
            EXPECT_EQ(run.status, lm::NON_FINITE);
            ASSERT_EQ(static_cast<int>(run.log.xs.size()), after + 1);
            for (double v : run.x) EXPECT_TRUE(std::isfinite(v));
            EXPECT_TRUE(std::isfinite(run.result.bestnorm));
            EXPECT_TRUE(std::isfinite(run.result.orignorm));
            // Before the first trial nothing has been accepted: the start comes back. Later,
            // an accepted vector the function saw with finite residuals, no worse than the start.
            const std::vector<double> start = {-1.2, 1.0};
            if (after <= 3) {
                EXPECT_EQ(run.x, start);
            } else {
                bool seen = false;
                for (int k = 0; k < after; ++k) seen = seen || run.log.xs[k] == run.x;
                EXPECT_TRUE(seen);
            }
            EXPECT_LE(sumOfSquares(rosenbrock, 2, run.x), sumOfSquares(rosenbrock, 2, start));
        }
    }
    EXPECT_EQ(lmStatusText(lm::NON_FINITE, ""), "-->Error Function non-finite");
}

TEST(LmEnd, NegativeStatusOfTheResidualFunctionEndsTheFit) {
    for (int after : {0, 1, 3, 7}) {
        SCOPED_TRACE(after);
        Poison poison{after, 0.0, -7};
        FitRun run = runFit(poisoned, 2, {-1.2, 1.0}, {}, &poison);
        EXPECT_EQ(run.status, -7);
        EXPECT_EQ(run.result.status, -7);
        EXPECT_EQ(static_cast<int>(run.log.xs.size()), after + 1);
        EXPECT_EQ(run.result.nfev, after + 1);
        for (double v : run.x) EXPECT_TRUE(std::isfinite(v));
    }
}

int throwing(int m, int n, const double* x, double* r, void* context) {
    if (--*static_cast<int*>(context) < 0) throw std::runtime_error("model failed");
    return rosenbrock(m, n, x, r, nullptr);
}

// The exception passes through untouched (the work arrays are vectors, released as it unwinds)
// and the caller's vector keeps its start values.
TEST(LmEnd, ExceptionFromTheResidualFunctionPropagates) {
    for (int good : {0, 2, 5}) {
        double x[2] = {-1.2, 1.0};
        EXPECT_THROW(lmFit(throwing, 2, 2, x, nullptr, nullptr, &good), std::runtime_error);
        EXPECT_EQ(x[0], -1.2);
        EXPECT_EQ(x[1], 1.0);
    }
}

TEST(LmEnd, RunsWithoutParameterRecordsOrResult) {
    double x[2] = {-1.2, 1.0};
    int status = lmFit(rosenbrock, 2, 2, x, nullptr, nullptr, nullptr);
    EXPECT_GT(status, 0);
    EXPECT_NEAR(x[0], 1.0, 1e-12);
    EXPECT_NEAR(x[1], 1.0, 1e-12);
}

// ---------------------------------------------------------------------------------------------
// Linear algebra.

TEST(LmLinearAlgebra, NormNeitherOverflowsNorUnderflows) {
    struct Case {
        std::vector<double> x;
        double norm;
    };
    for (const Case& c :
         {Case{{3.0, 4.0}, 5.0}, Case{{3e200, 4e200}, 5e200}, Case{{3e-200, 4e-200}, 5e-200},
          Case{{3e-200, 4e200}, 4e200}, Case{{0.0, 0.0}, 0.0}, Case{{1e-170, 1.0, 1e170}, 1e170},
          Case{{-1.0, -1.0, -1.0, -1.0}, 2.0}}) {
        EXPECT_NEAR(lm::enorm(static_cast<int>(c.x.size()), c.x.data()), c.norm, 1e-15 * c.norm);
    }
    EXPECT_EQ(lm::enorm(0, nullptr), 0.0);
}

// covar against the inverse of A^T A by Gauss-Jordan elimination, and a duplicate column that
// falls below the rank tolerance.
TEST(LmLinearAlgebra, CovarianceFromThePivotedQrIsTheInverseOfTheNormalMatrix) {
    const int m = 5, n = 3;
    std::vector<double> a = {1, 2, 0, 1, 3, 0.5, -1, 2, 4, 1, 3, 0, 1, -2, 2};
    std::vector<double> ata(n * n, 0.0);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            for (int k = 0; k < m; ++k) ata[i * n + j] += a[i * m + k] * a[j * m + k];
    std::vector<double> inv(n * n, 0.0);
    for (int i = 0; i < n; ++i) inv[i * n + i] = 1.0;
    for (int c = 0; c < n; ++c) {
        double p = ata[c * n + c];
        for (int j = 0; j < n; ++j) {
            ata[c * n + j] /= p;
            inv[c * n + j] /= p;
        }
        for (int r = 0; r < n; ++r) {
            if (r == c) continue;
            double f = ata[r * n + c];
            for (int j = 0; j < n; ++j) {
                ata[r * n + j] -= f * ata[c * n + j];
                inv[r * n + j] -= f * inv[c * n + j];
            }
        }
    }

    std::vector<int> ipvt(n);
    std::vector<double> rdiag(n), acnorm(n), wa(n);
    lm::MatrixView r{a.data(), m};
    lm::qrfac(m, n, r, ipvt.data(), rdiag.data(), acnorm.data(), wa.data());
    for (int j = 0; j < n; ++j) r(j, j) = rdiag[j];
    lm::covar(n, r, ipvt.data(), lm::covtol, wa.data());
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) EXPECT_NEAR(r(i, j), inv[i * n + j], 1e-12) << i << "," << j;

    std::vector<double> dup = {1, 2, 3, 4, 5, 1, 2, 3, 4, 5, 1, 0, 1, 0, 1};
    lm::MatrixView d{dup.data(), m};
    lm::qrfac(m, n, d, ipvt.data(), rdiag.data(), acnorm.data(), wa.data());
    for (int j = 0; j < n; ++j) d(j, j) = rdiag[j];
    lm::covar(n, d, ipvt.data(), lm::covtol, wa.data());
    int zeroDiagonals = 0;
    for (int j = 0; j < n; ++j) zeroDiagonals += d(j, j) == 0.0;
    EXPECT_EQ(zeroDiagonals, 1);
}

// ---------------------------------------------------------------------------------------------
// Status texts.

TEST(LmStatusText, EveryCodeGivesItsTextWithTheDate) {
    const std::string_view date = "2024-05-06 07:08:09";
    struct Case {
        int code;
        const char* text;
    };
    for (Case c : {Case{1, "-->OK1 LM-CHI    2024-05-06 07:08:09  \n"},
                   Case{2, "-->OK2 LM-PAR    2024-05-06 07:08:09  \n"},
                   Case{3, "-->OK3 LM-CHI    2024-05-06 07:08:09  \n"},
                   Case{4, "-->OK4 LM-Conv in Orthogonal 2024-05-06 07:08:09 \n"},
                   Case{5, "-->LM Warning Max iteration reached"},
                   Case{6, "-->LM Warning ftol too small"},
                   Case{7, "-->LM Warning xtol too small"},
                   Case{8, "-->LM Warning gtol too small"},
                   Case{9, "--->GA Fit end    2024-05-06 07:08:09 \n"},
                   Case{-1, "-->Error Input param"},
                   Case{-16, "-->Error Function non-finite"},
                   Case{-17, "-->Error No user function"},
                   Case{-18, "-->Error No data point"},
                   Case{-19, "-->Error No free param"},
                   Case{-20, "-->Error user function"},
                   Case{-21, "-->Error Init val constraints"},
                   Case{-22, "-->Error Inconsistent constraints"},
                   Case{-23, "-->Error Input param"},
                   Case{-24, "-->Error Degree of freedom"},
                   Case{-25, "--->Error GA Fit NP==0"},
                   Case{-26, "--->Error LM Fit NP==0"},
                   Case{0, "-->Unknown code   2024-05-06 07:08:09 \n"},
                   Case{10, "-->Unknown code   2024-05-06 07:08:09 \n"},
                   Case{-2, "-->Unknown code   2024-05-06 07:08:09 \n"},
                   Case{-15, "-->Unknown code   2024-05-06 07:08:09 \n"},
                   Case{-27, "-->Unknown code   2024-05-06 07:08:09 \n"},
                   Case{INT_MIN, "-->Unknown code   2024-05-06 07:08:09 \n"}}) {
        EXPECT_EQ(lmStatusText(c.code, date), c.text) << c.code;
    }
}

TEST(LmStatusText, DateIsInsertedVerbatim) {
    EXPECT_EQ(lmStatusText(1, "%s %d"), "-->OK1 LM-CHI    %s %d  \n");
    EXPECT_EQ(lmStatusText(4, ""), "-->OK4 LM-Conv in Orthogonal  \n");
}

// "YYYY-MM-DD HH:MM:SS": digits where the pattern has 9, the separators as they stand.
bool looksLikeDateTime(std::string_view text) {
    const std::string_view pattern = "9999-99-99 99:99:99";
    if (text.size() != pattern.size()) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (pattern[i] == '9' ? !std::isdigit(static_cast<unsigned char>(text[i]))
                              : text[i] != pattern[i])
            return false;
    return true;
}

TEST(LmStatusText, LocalDateTimeIsDateThenTime) {
    std::string now = localDateTime();
    EXPECT_TRUE(looksLikeDateTime(now)) << now;
    std::string text = lmStatusText(2);
    EXPECT_EQ(text.substr(0, 17), "-->OK2 LM-PAR    ");
    EXPECT_TRUE(looksLikeDateTime(text.substr(17, 19))) << text;
    EXPECT_EQ(text.substr(36), "  \n");
}

TEST(LmStatusText, StatusLineDropsOneTrailingNewline) {
    EXPECT_EQ(statusLine(lmStatusText(1, "d")), "-->OK1 LM-CHI    d  ");
    EXPECT_EQ(statusLine("-->Error No data point"), "-->Error No data point");
    EXPECT_EQ(statusLine("a\n\n"), "a\n");
    EXPECT_EQ(statusLine(""), "");
}

}  // namespace
}  // namespace tolvi
