#include <memory>
#include <utility>

#include <benchmark/benchmark.h>

#include "model/model_store.h"
#include "physics/reflectivity.h"
#include "physics/reflectivity_fast.h"
#include "physics/slab_stack.h"

namespace tolvi {
namespace {

using fast::Variant;

LayerEntry& addRow(LayerModel& model, double rho, double t, double sig, double f1, double f2,
                   double molarMass) {
    LayerEntry& e = model.entries[model.nlay++];
    e.rho.value = rho;
    e.t.value = t;
    e.sig.value = sig;
    e.f1 = f1;
    e.f2 = f2;
    e.molarMass = molarMass;
    return e;
}

// An X-ray W/Si multilayer on silicon that expands to `slabs` slabs (substrate, a repeated
// bilayer, a capping layer), with `points` θ values from 0.05° to 5°.
std::unique_ptr<ModelStore> multilayer(int points, int slabs, double divergence) {
    auto store = std::make_unique<ModelStore>();
    DataSet& d = store->dataSet(0);
    d.lamd = 1.54;
    d.divergence = divergence;
    d.logI0.value = 6.0;
    d.bg.value = 1.0;
    d.npoints = points;
    for (int i = 0; i < points; ++i) d.xData[i] = 0.05 + 4.95 * i / (points - 1);

    LayerModel& model = store->layerModel(0);
    addRow(model, 2.33, 0.0, 3.0, 14.28, 0.33, 28.0855);
    LayerEntry& first = addRow(model, 19.3, 12.0, 3.0, 73.4, 4.0, 183.84);
    first.kind = 1;
    first.rept = (slabs - 2) / 2;
    first.groupSize = 2;
    LayerEntry& second = addRow(model, 2.33, 25.0, 4.0, 14.28, 0.33, 28.0855);
    second.kind = 2;
    second.groupSize = 2;
    addRow(model, 2.2, 20.0, 5.0, 10.0, 0.05, 60.08);
    return store;
}

// One curve per iteration: the model build and the reflectivity, as every fit evaluation runs
// them. The counter is the time of one interface matrix (points x nodes x slabs of them).
void runCurves(benchmark::State& state, void (*compute)(ModelStore& store)) {
    int points = static_cast<int>(state.range(0));
    int slabs = static_cast<int>(state.range(1));
    bool divergence = state.range(2) != 0;
    std::unique_ptr<ModelStore> store = multilayer(points, slabs, divergence ? 0.01 : 0.0);
    buildSlabStack(*store, 0);
    if (store->layerModel(0).layall != slabs) {
        state.SkipWithError("the stack does not have the requested number of slabs");
        return;
    }
    for (auto _ : state) {
        buildSlabStack(*store, 0);
        compute(*store);
        benchmark::DoNotOptimize(store->dataSet(0).calcLin.data());
        benchmark::ClobberMemory();
    }
    double interfaces = static_cast<double>(points) * (divergence ? 4 : 1) * slabs;
    // Seconds per interface matrix: an inverted rate, shown with its SI prefix (ns).
    state.counters["per_interface"] = benchmark::Counter(
        interfaces, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The public function: the fast kernel in the build the dispatch chose (TOLVI_KERNEL forces one).
void BM_Reflectivity(benchmark::State& state) {
    state.SetLabel(fast::kernels(fast::activeVariant()).name);
    runCurves(state, [](ModelStore& store) { computeReflectivity(store, 0, false); });
}

// The plain transfer matrix, the fast kernel's oracle.
void BM_ReflectivityPlain(benchmark::State& state) {
    runCurves(state, [](ModelStore& store) { computeReflectivityPlain(store, 0, false); });
}

// Each build of the fast kernel, side by side (the fourth argument: 0 base, 1 AVX2, 2 AVX-512).
template <Variant V>
void computeWith(ModelStore& store) {
    fast::computeReflectivityWith(V, store, 0, false, 0, MAX_DATA);
}

void BM_ReflectivityBuild(benchmark::State& state) {
    constexpr void (*COMPUTE[])(ModelStore&) = {
        computeWith<Variant::Base>, computeWith<Variant::Avx2>, computeWith<Variant::Avx512>};
    auto variant = static_cast<Variant>(state.range(3));
    if (!fast::cpuSupports(variant)) {
        state.SkipWithError("this CPU does not run the build");
        return;
    }
    state.SetLabel(fast::kernels(variant).name);
    runCurves(state, COMPUTE[state.range(3)]);
}

void curveShapes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"points", "slabs", "divergence"});
    for (auto [points, slabs] : {std::pair{201, 20}, {1000, 20}, {2000, 100}, {2000, 400}})
        for (int divergence : {0, 1}) b->Args({points, slabs, divergence});
}

void buildShapes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"points", "slabs", "divergence", "build"});
    for (auto [points, slabs] : {std::pair{1000, 20}, {2000, 100}, {2000, 400}})
        for (int divergence : {0, 1})
            for (int build : {0, 1, 2}) b->Args({points, slabs, divergence, build});
}

BENCHMARK(BM_Reflectivity)->Apply(curveShapes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReflectivityPlain)->Apply(curveShapes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReflectivityBuild)->Apply(buildShapes)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tolvi
