// Model evaluations per second of the ensemble sampler on the template with its counting errors,
// one thread against two: the speed at which a posterior is drawn as users meet it. The chain is
// the same either way (a test holds that).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "actions/load.h"
#include "fit/sample_run.h"

namespace {

using namespace tolvi;

const std::string TEMPLATE_DIR = std::string(TOLVI_BIN_DIR) + "/";

// range(0) is the number of threads, range(1) the walkers. 32 walkers (the default for the
// template's five parameters) take 500 steps from the template's values; the fit state with its
// threads is kept between runs, as the window keeps it.
void BM_TemplateSample(benchmark::State& bench) {
    auto state = std::make_unique<FitState>();
    auto chain = std::make_unique<EnsembleChain>();
    state->threads = static_cast<int>(bench.range(0));
    SampleOptions options;
    options.walkers = static_cast<int>(bench.range(1));
    options.steps = 500;
    options.seed = 1;
    long evaluations = 0;
    for (auto _ : bench) {
        bench.PauseTiming();
        auto store = std::make_unique<ModelStore>();
        store->dataOptions[0].errors = ErrorSource::Data;
        (void)loadTemplateSlot(*store, TEMPLATE_DIR);
        bench.ResumeTiming();
        SampleReport r = runSample(*store, *state, *chain, options);
        benchmark::DoNotOptimize(r.status);
        evaluations += chain->evaluations;
    }
    bench.counters["evaluations_per_s"] =
        benchmark::Counter(static_cast<double>(evaluations), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_TemplateSample)
    ->Args({1, 32})
    ->Args({2, 32})
    ->Args({2, 64})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
