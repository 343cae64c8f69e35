// The pointwise resolution: what a smeared curve costs beside the curve without it, how many
// reflectivities it computes per point, and how far it lies from the definition (the average
// integrated adaptively, tests/resolution_definition.h). Beside it, the fixed rule that peer
// programs use per point: 17 Gauss-Legendre nodes over ±3.5σ, each point on its own.
//
// Counters of each case: evalsPerPoint (kernel evaluations per point of one curve: with a fit's
// plan, which is made once, only its nodes; with a plan made afresh for the curve, its nodes and
// checks), worstError (largest relative difference from the definition over the points) and,
// for the fixed rule, its own.
#include <cmath>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "model/model_store.h"
#include "physics/reflectivity.h"
#include "physics/resolution.h"
#include "resolution_definition.h"

namespace tolvi {
namespace {

struct Slab {
    Medium medium;
    double t;
    double sig;
};

void setSlabs(ModelStore& store, const std::vector<Slab>& slabs) {
    LayerModel& model = store.layerModel(0);
    model.layall = static_cast<int>(slabs.size());
    for (size_t s = 0; s < slabs.size(); ++s) {
        LayerEntry& e = model.slabs[s];
        e.medium = slabs[s].medium;
        e.n = e.medium.index();
        e.t.value = slabs[s].t;
        e.sig.value = slabs[s].sig;
    }
}

Medium sld(double re, double im = 0.0) {
    return mediumOfSld(re, im, 5.0);
}

// The cases: the hard places of the tests, and a time-of-flight curve.
enum Case { FILM_1000_5PCT, EDGE, BRAGG, CURVE_2000, TOF_200 };

std::unique_ptr<ModelStore> makeCase(int which) {
    auto store = std::make_unique<ModelStore>();
    DataSet& d = store->dataSet(0);
    ResolutionSettings& r = store->dataOptions[0].resolution;
    auto grid = [&](double q0, double q1, int n) {
        d.npoints = n;
        for (int i = 0; i < n; ++i) d.xData[i] = q0 + (q1 - q0) * i / (n - 1);
    };
    d.lamd = 5.0;
    d.xAxis = 2;
    r.kind = ResolutionKind::Relative;
    switch (which) {
        case FILM_1000_5PCT:
            setSlabs(*store, {{sld(2.07), 0, 3}, {sld(4.0), 1000.0, 5}});
            grid(0.005, 0.2, 300);
            r.relativeFwhm = 0.05;
            break;
        case EDGE:
            setSlabs(*store, {{sld(6.36), 0, 2}, {sld(3.0), 120.0, 4}});
            grid(0.01, 0.03, 200);
            r.relativeFwhm = 0.03;
            break;
        case BRAGG: {
            d.lamd = 1.54;
            d.xAxis = 0;
            std::vector<Slab> stack{{{7.6e-6, 1.75e-7}, 0, 3}};
            for (int k = 0; k < 20; ++k) {
                stack.push_back({{4.8e-5, 3.5e-6}, 15.0, 3.0});
                stack.push_back({{7.6e-6, 1.75e-7}, 25.0, 3.0});
            }
            setSlabs(*store, stack);
            grid(0.95, 1.25, 60);
            r.kind = ResolutionKind::ColumnSigma;
            store->pointResolution[0].loaded = true;
            store->pointResolution[0].sigmaX.fill(0.01);
            break;
        }
        case CURVE_2000:
            setSlabs(*store, {{sld(2.07), 0, 3}, {sld(6.0, 0.001), 80.0, 4}, {sld(1.0), 250.0, 6}});
            grid(0.004, 0.3, MAX_DATA);
            r.relativeFwhm = 0.03;
            break;
        default: {
            // 200 points spaced as a time-of-flight curve (equal steps of log q), dQ/Q = 5 %.
            setSlabs(*store, {{sld(2.07), 0, 3}, {sld(-0.5), 40.0, 4}, {sld(4.5), 300.0, 5}});
            d.npoints = 200;
            for (int i = 0; i < 200; ++i) d.xData[i] = 0.008 * std::pow(0.25 / 0.008, i / 199.0);
            r.relativeFwhm = 0.05;
            break;
        }
    }
    return store;
}

const char* caseName(int which) {
    static const char* const names[] = {"film 1000 A, 5 %", "critical edge, 3 %",
                                        "Bragg peak, sigma column", "2000 points, 3 %",
                                        "TOF 200 points, 5 %"};
    return names[which];
}

// The largest relative difference of calcLin (logI0 = bg = 0) from the definition.
double worstError(const ModelStore& store) {
    const DataSet& d = store.dataSet(0);
    double worst = 0.0;
    for (int i = 0; i < d.npoints; ++i) {
        double expected = test::definition(store, i);
        worst = std::max(worst, std::fabs(d.calcLin[i] - expected) / expected);
    }
    return worst;
}

// The same curve without any resolution: the time to compare with.
void BM_Unsmeared(benchmark::State& state) {
    auto store = makeCase(static_cast<int>(state.range(0)));
    store->dataOptions[0].resolution.kind = ResolutionKind::Divergence;
    for (auto _ : state) computeReflectivity(*store, 0, false);
    state.SetLabel(caseName(static_cast<int>(state.range(0))));
    state.counters["evalsPerPoint"] = 1.0;
}

// A curve as a fit computes it: the plan made once, each evaluation its nodes and sums.
void BM_SmearedInAFit(benchmark::State& state) {
    auto store = makeCase(static_cast<int>(state.range(0)));
    makeResolutionPlan(*store, 0, true);
    computeReflectivity(*store, 0, false);
    double worst = worstError(*store);
    for (auto _ : state) computeReflectivity(*store, 0, false);
    const ResolutionPlan& plan = store->resolutionPlans[0];
    state.SetLabel(caseName(static_cast<int>(state.range(0))));
    state.counters["evalsPerPoint"] = static_cast<double>(plan.nodeCount) / plan.points;
    state.counters["worstError"] = worst;
}

// A curve as a plot computes it: the plan made afresh, its checks included.
void BM_SmearedAlone(benchmark::State& state) {
    auto store = makeCase(static_cast<int>(state.range(0)));
    computeReflectivity(*store, 0, false);
    double worst = worstError(*store);
    for (auto _ : state) computeReflectivity(*store, 0, false);
    const ResolutionPlan& plan = store->resolutionPlans[0];
    state.SetLabel(caseName(static_cast<int>(state.range(0))));
    state.counters["evalsPerPoint"] = static_cast<double>(plan.sampleCount) / plan.points;
    state.counters["worstError"] = worst;
}

// The fixed rule: 17 Gauss-Legendre nodes over each point's ±3.5σ, the Gaussian's values as
// weights, normalised; all nodes in one batch through the same kernel.
void BM_Fixed17(benchmark::State& state) {
    auto store = makeCase(static_cast<int>(state.range(0)));
    const DataSet& d = store->dataSet(0);
    int n = d.npoints;
    static const test::Rule rule = test::legendre(17);
    std::vector<double> q(17 * n), w(17 * n), R(17 * n), result(n);
    for (int i = 0; i < n; ++i) {
        PointWidth pw = resolutionOfPoint(*store, 0, i, 0.0);
        double half = 3.5 * pw.sigma, sum = 0;
        for (int k = 0; k < 17; ++k) {
            q[17 * i + k] = std::max(0.0, pw.q + half * rule.t[k]);
            w[17 * i + k] = rule.w[k] * std::exp(-0.5 * 3.5 * 3.5 * rule.t[k] * rule.t[k]);
            sum += w[17 * i + k];
        }
        for (int k = 0; k < 17; ++k) w[17 * i + k] /= sum;
    }
    std::unique_ptr<ReflectivitySampler> sampler = makeStackSampler(*store, 0);
    auto curve = [&] {
        sampler->sample(q.data(), 17 * n, R.data());
        for (int i = 0; i < n; ++i) {
            double s = 0;
            for (int k = 0; k < 17; ++k) s += w[17 * i + k] * R[17 * i + k];
            result[i] = s;
        }
    };
    curve();
    double worst = 0.0;
    for (int i = 0; i < n; ++i) {
        double expected = test::definition(*store, i);
        worst = std::max(worst, std::fabs(result[i] - expected) / expected);
    }
    for (auto _ : state) {
        curve();
        benchmark::DoNotOptimize(result.data());
    }
    state.SetLabel(caseName(static_cast<int>(state.range(0))));
    state.counters["evalsPerPoint"] = 17.0;
    state.counters["worstError"] = worst;
}

void cases(benchmark::internal::Benchmark* b) {
    for (int c = FILM_1000_5PCT; c <= TOF_200; ++c) b->Arg(c);
}

BENCHMARK(BM_Unsmeared)->Apply(cases)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SmearedInAFit)->Apply(cases)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SmearedAlone)->Apply(cases)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Fixed17)->Apply(cases)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tolvi
