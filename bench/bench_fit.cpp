// Wall time of whole fits of the template: the baseline for the speed of the calculation chain.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "fit/fit_runs.h"
#include "model/slots.h"

namespace {

using namespace tolvi;

const std::string TEMPLATE_DIR = std::string(TOLVI_BIN_DIR) + "/";

struct Session {
    std::unique_ptr<ModelStore> store = std::make_unique<ModelStore>();
    std::unique_ptr<FitState> state = std::make_unique<FitState>();
    std::unique_ptr<GeneticState> ga = std::make_unique<GeneticState>();

    explicit Session(int slots) {
        for (int i = 0; i < slots; ++i)
            (void)loadParamSlot(*store, TEMPLATE_DIR + "template/template.par");
        if (slots == 0) (void)loadTemplateSlot(*store, TEMPLATE_DIR);
        store->curfile = 0;
    }
};

void runOnce(benchmark::State& bench, int slots, const FitOptions& options) {
    for (auto _ : bench) {
        bench.PauseTiming();
        Session s(slots);
        bench.ResumeTiming();
        FitReport r = runFit(*s.store, *s.state, *s.ga, options);
        benchmark::DoNotOptimize(r.status);
        bench.counters["evaluations"] = s.state->evaluations;
    }
}

void BM_TemplateLeastSquares(benchmark::State& bench) {
    runOnce(bench, 0, {});
}

void BM_TemplateGenetic(benchmark::State& bench) {
    FitOptions options;
    options.method = FitMethod::Genetic;
    options.population = 15;
    options.maxGene = 50;
    options.seed = 1;
    runOnce(bench, 0, options);
}

void BM_ThreeSlotMultiFit(benchmark::State& bench) {
    FitOptions options;
    options.multi = true;
    runOnce(bench, 3, options);
}

BENCHMARK(BM_TemplateLeastSquares)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TemplateGenetic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThreeSlotMultiFit)->Unit(benchmark::kMillisecond);

}  // namespace
