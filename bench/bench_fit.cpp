// Wall time of whole fits of the template with one thread and with two: the speed of the
// calculation chain as users meet it. The reports are the same either way (a test holds that).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "actions/load.h"
#include "fit/fit_runs.h"

namespace {

using namespace tolvi;

const std::string TEMPLATE_DIR = std::string(TOLVI_BIN_DIR) + "/";

struct Session {
    std::unique_ptr<ModelStore> store = std::make_unique<ModelStore>();
    std::unique_ptr<FitState> state = std::make_unique<FitState>();
    std::unique_ptr<GeneticState> ga = std::make_unique<GeneticState>();

    Session(int slots, int threads) {
        state->threads = threads;
        for (int i = 0; i < slots; ++i)
            (void)loadParamSlot(*store, TEMPLATE_DIR + "template/template.par");
        if (slots == 0) (void)loadTemplateSlot(*store, TEMPLATE_DIR);
        store->curfile = 0;
    }
};

// range(0) is the number of threads. The model is loaded afresh outside the timing; the fit state
// (with its threads and model copies, made by the first fit) is kept, as the window keeps it.
void runFits(benchmark::State& bench, int slots, const FitOptions& options) {
    Session s(slots, static_cast<int>(bench.range(0)));
    (void)runFit(*s.store, *s.state, *s.ga, options);
    for (auto _ : bench) {
        bench.PauseTiming();
        Session fresh(slots, static_cast<int>(bench.range(0)));
        std::swap(s.store, fresh.store);
        bench.ResumeTiming();
        FitReport r = runFit(*s.store, *s.state, *s.ga, options);
        benchmark::DoNotOptimize(r.status);
        bench.counters["evaluations"] = s.state->evaluations;
    }
}

void BM_TemplateLeastSquares(benchmark::State& bench) {
    runFits(bench, 0, {});
}

FitOptions genetic(int generations) {
    FitOptions options;
    options.method = FitMethod::Genetic;
    options.population = 15;
    options.maxGene = generations;
    options.seed = 1;
    return options;
}

void BM_TemplateGenetic50(benchmark::State& bench) {
    runFits(bench, 0, genetic(50));
}
void BM_TemplateGenetic200(benchmark::State& bench) {
    runFits(bench, 0, genetic(200));
}

void BM_ThreeSlotMultiFit(benchmark::State& bench) {
    FitOptions options;
    options.multi = true;
    runFits(bench, 3, options);
}

BENCHMARK(BM_TemplateLeastSquares)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TemplateGenetic50)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TemplateGenetic200)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ThreeSlotMultiFit)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
