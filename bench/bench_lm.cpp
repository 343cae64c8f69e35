#include <cmath>
#include <vector>

#include <benchmark/benchmark.h>

#include "fit/lm.h"

// One fit of a 20-parameter problem whose residual function costs next to nothing, so that the
// time is the engine's own: Jacobian bookkeeping, QR, lmpar and the trust-region logic. The
// residual-only benchmarks give the share of the function (fit time - nfev x residual time).

namespace {

using tolvi::LmParam;
using tolvi::LmResult;

constexpr int NPAR = 20;

// Moré-Garbow-Hillstrom problem 21, extended Rosenbrock: m = n = 20.
int extendedRosenbrock(int, int n, const double* x, double* f, void*) {
    for (int i = 0; i < n; i += 2) {
        f[i] = 10.0 * (x[i + 1] - x[i] * x[i]);
        f[i + 1] = 1.0 - x[i];
    }
    return 0;
}

std::vector<double> rosenbrockStart() {
    std::vector<double> x(NPAR);
    for (int i = 0; i < NPAR; i += 2) {
        x[i] = -1.2;
        x[i + 1] = 1.0;
    }
    return x;
}

// A curve fit shaped like a reflectivity fit: 400 points, y = exp(sum_k p_k T_k(t)) with the
// Chebyshev polynomials T_k on [-1, 1], data from known coefficients.
struct CurveData {
    static constexpr int M = 400;
    std::vector<double> t, y;

    CurveData() {
        std::vector<double> truth(NPAR);
        for (int k = 0; k < NPAR; ++k) truth[k] = 0.8 / (1.0 + k * k) * (k % 3 == 1 ? -1.0 : 1.0);
        for (int i = 0; i < M; ++i) {
            t.push_back(-1.0 + 2.0 * i / (M - 1));
            y.push_back(model(t.back(), truth.data()));
        }
    }

    static double model(double t, const double* p) {
        double tPrev = 1.0, tCur = t, sum = p[0] + p[1] * t;
        for (int k = 2; k < NPAR; ++k) {
            double tNext = 2.0 * t * tCur - tPrev;
            sum += p[k] * tNext;
            tPrev = tCur;
            tCur = tNext;
        }
        return std::exp(sum);
    }
};

int curveResiduals(int m, int, const double* p, double* r, void* context) {
    const auto* d = static_cast<const CurveData*>(context);
    for (int i = 0; i < m; ++i) r[i] = d->y[i] - CurveData::model(d->t[i], p);
    return 0;
}

void reportFit(benchmark::State& state, const LmResult& result) {
    state.counters["nfev"] = result.nfev;
    state.counters["niter"] = result.niter;
    state.counters["status"] = result.status;
}

void BM_LmFitExtendedRosenbrock20(benchmark::State& state) {
    const std::vector<double> start = rosenbrockStart();
    std::vector<double> x(NPAR), xerror(NPAR);
    LmResult result;
    for (auto _ : state) {
        x = start;
        result = LmResult{};
        result.xerror = xerror.data();
        int status =
            tolvi::lmFit(extendedRosenbrock, NPAR, NPAR, x.data(), nullptr, &result, nullptr);
        benchmark::DoNotOptimize(status);
        benchmark::DoNotOptimize(x.data());
    }
    reportFit(state, result);
}
BENCHMARK(BM_LmFitExtendedRosenbrock20);

void BM_LmFitCurve20x400(benchmark::State& state) {
    CurveData data;
    std::vector<double> x(NPAR), xerror(NPAR);
    std::vector<LmParam> params(NPAR);
    for (LmParam& p : params) {
        p.limited[0] = p.limited[1] = 1;
        p.limits[0] = -5.0;
        p.limits[1] = 5.0;
    }
    LmResult result;
    for (auto _ : state) {
        std::fill(x.begin(), x.end(), 0.0);
        result = LmResult{};
        result.xerror = xerror.data();
        int status = tolvi::lmFit(curveResiduals, CurveData::M, NPAR, x.data(), params.data(),
                                  &result, &data);
        benchmark::DoNotOptimize(status);
        benchmark::DoNotOptimize(x.data());
    }
    reportFit(state, result);
}
BENCHMARK(BM_LmFitCurve20x400);

void BM_ResidualExtendedRosenbrock20(benchmark::State& state) {
    const std::vector<double> x = rosenbrockStart();
    std::vector<double> r(NPAR);
    for (auto _ : state) {
        extendedRosenbrock(NPAR, NPAR, x.data(), r.data(), nullptr);
        benchmark::DoNotOptimize(r.data());
    }
}
BENCHMARK(BM_ResidualExtendedRosenbrock20);

void BM_ResidualCurve20x400(benchmark::State& state) {
    CurveData data;
    std::vector<double> x(NPAR, 0.1), r(CurveData::M);
    for (auto _ : state) {
        curveResiduals(CurveData::M, NPAR, x.data(), r.data(), &data);
        benchmark::DoNotOptimize(r.data());
    }
}
BENCHMARK(BM_ResidualCurve20x400);

}  // namespace
