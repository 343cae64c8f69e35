#include "fit/sample_run.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "base/text_io.h"
#include "fit/fit_results.h"
#include "fit/fit_workers.h"

namespace tolvi {

namespace {

// Spreading a half's proposals over the fit's workers, each on its own copy of the model and its
// own residual buffer.
struct ModelBatch {
    FitState* state;
    FitWorkers* workers;
    double* residuals;  // threads x MAX_DATA
    int m;
    int dims;
    const double* points;
    double* logProb;
};

void costOne(void* context, int index, int worker) {
    ModelBatch& b = *static_cast<ModelBatch*>(context);
    if (b.state->cancelRequested) {  // the run is given up: its numbers are not used
        b.logProb[index] = -std::numeric_limits<double>::infinity();
        return;
    }
    double chi2 = computeResiduals(*b.workers->copies[worker], *b.state,
                                   b.points + static_cast<size_t>(index) * b.dims, b.m,
                                   b.residuals + static_cast<size_t>(worker) * MAX_DATA);
    b.logProb[index] = std::isfinite(chi2) ? -0.5 * chi2 : -std::numeric_limits<double>::infinity();
}

void costBatch(int count, int dims, const double* points, double* logProb, void* context) {
    ModelBatch& b = *static_cast<ModelBatch*>(context);
    b.dims = dims;
    b.points = points;
    b.logProb = logProb;
    b.workers->pool.run(count, costOne, &b);
}

struct ProgressLink {
    FitState* state;
    long reported;
};

bool tellProgress(void* context, long evaluations, double bestLogProb) {
    ProgressLink& link = *static_cast<ProgressLink*>(context);
    noteEvaluations(*link.state, static_cast<int>(evaluations - link.reported), -2.0 * bestLogProb);
    link.reported = evaluations;
    return !link.state->cancelRequested;
}

SampleReport refusal(int status, std::string text) {
    SampleReport report;
    report.status = status;
    report.outcome =
        fitOutcome(status) == Outcome::FitFailed ? Outcome::Refused : fitOutcome(status);
    report.statusText = std::move(text);
    return report;
}

std::string numberCell(double v) {
    return formatText(" %13.7g", v);
}

// The posterior of each parameter from the kept samples, and their correlation.
void summarise(const EnsembleChain& chain, NamedResults& results) {
    const EnsembleShape& s = chain.shape;
    const int kept = s.kept();
    const long count = static_cast<long>(kept) * s.walkers;
    std::vector<double> column(static_cast<size_t>(count));
    std::vector<double> mean(s.dims, 0.0), deviation(s.dims, 0.0);
    for (int p = 0; p < s.dims; ++p) {
        for (long i = 0; i < count; ++i) column[i] = chain.samples[i * s.dims + p];
        double sum = 0.0;
        for (double v : column) sum += v;
        mean[p] = sum / count;
        double sq = 0.0;
        for (double v : column) sq += (v - mean[p]) * (v - mean[p]);
        deviation[p] = std::sqrt(sq / count);
        std::sort(column.begin(), column.end());
        PosteriorSummary summary;
        summary.median = sortedQuantile(column.data(), static_cast<int>(count), 0.5);
        summary.p15_87 = sortedQuantile(column.data(), static_cast<int>(count), 0.1587);
        summary.p84_13 = sortedQuantile(column.data(), static_cast<int>(count), 0.8413);
        summary.p2_5 = sortedQuantile(column.data(), static_cast<int>(count), 0.025);
        summary.p97_5 = sortedQuantile(column.data(), static_cast<int>(count), 0.975);
        summary.maxProbability = chain.best[p];
        if (auto tau = integratedAutocorrelation(chain.samples.data(), kept, s.walkers, s.dims, p))
            summary.tau = *tau * s.thin;
        ParameterResult& r = results.parameters[p];
        r.posterior = summary;
        r.error = 0.5 * (summary.p84_13 - summary.p15_87);
    }
    std::vector<std::optional<double>> correlation(static_cast<size_t>(s.dims) * s.dims);
    for (int i = 0; i < s.dims; ++i)
        for (int j = 0; j < s.dims; ++j) {
            if (!(deviation[i] > 0.0 && deviation[j] > 0.0)) continue;
            double sum = 0.0;
            for (long k = 0; k < count; ++k)
                sum += (chain.samples[k * s.dims + i] - mean[i]) *
                       (chain.samples[k * s.dims + j] - mean[j]);
            double r = sum / count / (deviation[i] * deviation[j]);
            if (std::isfinite(r)) correlation[static_cast<size_t>(i) * s.dims + j] = r;
        }
    results.correlation = std::move(correlation);
}

void addTable(const NamedResults& results, SampleReport& report) {
    size_t width = 4;
    for (const ParameterResult& p : results.parameters) width = std::max(width, p.name.size());
    std::string header = formatText("%-*s", static_cast<int>(width), "name");
    for (const char* title :
         {"median", "15.87%", "84.13%", "2.5%", "97.5%", "max.prob.", "tau(steps)"})
        header += formatText(" %13s", title);
    report.lines.push_back(header + "\n");
    for (const ParameterResult& p : results.parameters) {
        const PosteriorSummary& s = *p.posterior;
        std::string line = formatText("%-*s", static_cast<int>(width), p.name.c_str());
        for (double v : {s.median, s.p15_87, s.p84_13, s.p2_5, s.p97_5, s.maxProbability})
            line += numberCell(v);
        line += s.tau ? formatText(" %13.1f", *s.tau) : formatText(" %13s", "-");
        report.lines.push_back(line + "\n");
    }
}

SampleReport sampleSteps(ModelStore& store, FitState& state, EnsembleChain& chain,
                         const SampleOptions& options) {
    if (options.multi) {
        if (Status s = multiFitDataCheck(store); !s.ok())
            return refusal(MULTI_FIT_REFUSED, s.message);
        if (Status s = multiFitLayerCheck(store); !s.ok())
            return refusal(MULTI_FIT_REFUSED, s.message);
    }
    if (options.steps < 1) return refusal(CHAIN_REFUSED, "--->Error the steps must be 1 or more");
    if (options.thin < 1) return refusal(CHAIN_REFUSED, "--->Error the thinning must be 1 or more");
    int burn = options.burn < 0 ? options.steps / 4 : options.burn;
    if (burn >= options.steps)
        return refusal(CHAIN_REFUSED, "--->Error the burn-in must be shorter than the steps");
    if ((options.steps - burn) / options.thin < 1)
        return refusal(CHAIN_REFUSED, "--->Error no step is kept after the burn-in and thinning");

    SampleReport report;
    std::array<double, MAX_FIT_PARAMS> before{}, fitErrors{};
    int beforeCount = 0;
    state.multiFit = options.multi;
    if (options.startFromFit) {
        auto ga = std::make_unique<GeneticState>();
        FitOptions fit;
        fit.multi = options.multi;
        report.fit = runFit(store, state, *ga, fit);
        if (!succeeded(report.fit.outcome)) {
            SampleReport failed = refusal(report.fit.status, report.fit.statusText);
            failed.outcome = report.fit.outcome;
            failed.fit = std::move(report.fit);
            return failed;
        }
        before = state.list.savedX;
        fitErrors = state.list.xerror;
        beforeCount = state.list.npar;
    }
    state.multiFit = options.multi;
    int npar = collectFitParams(store, state, FitMethod::LeastSquares);
    if (npar == TOO_MANY_FIT_PARAMS) return refusal(npar, "--->Error more than 50 fit params");
    if (npar < 0) return refusal(SAMPLE_NO_PARAM, "--->Error no free parameter to sample");
    FitParamList& list = state.list;
    if (beforeCount == npar) list.savedX = before;  // "Recov" goes back to before the fit

    int walkers = options.walkers > 0 ? options.walkers : std::max(DEFAULT_MIN_WALKERS, 4 * npar);
    if (walkers % 2 != 0)
        return refusal(WALKERS_REFUSED,
                       formatText("--->Error the walkers must be even, not %d", walkers));
    if (walkers < 2 * npar)
        return refusal(WALKERS_REFUSED,
                       formatText("--->Error %d walkers are too few: at least %d for %d parameters",
                                  walkers, 2 * npar, npar));
    std::array<double, MAX_FIT_PARAMS> lower{}, upper{}, width{};
    for (int k = 0; k < npar; ++k) {
        lower[k] = list.lmParams[k].limits[0];
        upper[k] = list.lmParams[k].limits[1];
        if (!(lower[k] < upper[k]))
            return refusal(lm::INCONSISTENT_BOUNDS, lmStatusText(lm::INCONSISTENT_BOUNDS));
        if (list.x[k] < lower[k] || list.x[k] > upper[k])
            return refusal(lm::START_OUTSIDE_BOUNDS, lmStatusText(lm::START_OUTSIDE_BOUNDS));
        width[k] = std::max(fitErrors[k], 1e-3 * (upper[k] - lower[k]));
    }
    collectFitPoints(store, state);
    if (state.window.m == 0) return refusal(lm::NO_DATA, lmStatusText(lm::NO_DATA));
    if (state.window.m < npar)
        return refusal(lm::TOO_FEW_RESIDUALS, lmStatusText(lm::TOO_FEW_RESIDUALS));

    EnsembleShape shape{walkers, npar, options.steps, burn, options.thin};
    if (static_cast<double>(shape.kept()) * walkers * (npar + 1) > MAX_CHAIN_VALUES)
        return refusal(CHAIN_REFUSED,
                       formatText("--->Error the chain would keep more than %ld numbers: fewer "
                                  "walkers or steps, or more thinning",
                                  MAX_CHAIN_VALUES));

    uint32_t seed = options.seed ? *options.seed : static_cast<uint32_t>(tickCount() % 10000);
    state.evaluations = 0;
    state.bestCost = 0.0;
    uint64_t t0 = tickCount();
    bool finished = false;
    {
        FitResolutionPlans plans(store, state);
        FitWorkers& workers = prepareWorkers(store, state);
        chain.allocate(shape);
        std::vector<double> residuals(static_cast<size_t>(workers.pool.threads()) * MAX_DATA);
        ModelBatch batch{&state, &workers, residuals.data(), state.window.m,
                         npar,   nullptr,  nullptr};
        ProgressLink link{&state, 0};
        auto random = std::make_unique<Mt19937>();
        random->seed(seed);
        finished = runEnsemble(chain, lower.data(), upper.data(), list.x.data(), width.data(),
                               *random, costBatch, &batch, tellProgress, &link);
    }
    int elapsed = static_cast<int>((tickCount() - t0) / 1000);
    if (!finished) {
        list.x = list.savedX;  // the model as before
        applyFitParams(store, state);
        SampleReport cancelled = refusal(FIT_CANCELLED, "--->Sample cancelled");
        cancelled.outcome = Outcome::Cancelled;
        return cancelled;
    }

    // The model takes the sample of highest probability.
    std::copy_n(chain.best.begin(), npar, list.x.begin());
    applyFitParams(store, state);
    report.results = namedFitResults(store, state, "sample", 0, false);
    NamedResults& results = report.results;
    summarise(chain, results);
    for (int k = 0; k < npar; ++k) list.xerror[k] = *results.parameters[k].error;

    SamplerRunInfo info;
    info.walkers = walkers;
    info.steps = options.steps;
    info.burn = burn;
    info.thin = options.thin;
    info.samples = static_cast<long>(shape.kept()) * walkers;
    info.evaluations = chain.evaluations;
    info.acceptance = chain.acceptance();
    info.seed = seed;
    double longest = 0.0;
    bool anyTau = false;
    for (const ParameterResult& p : results.parameters)
        if (p.posterior->tau) {
            anyTau = true;
            longest = std::max(longest, *p.posterior->tau);
        }
    int afterBurn = options.steps - burn;
    info.chainTooShort = !anyTau || afterBurn < SHORT_CHAIN_TAUS * longest;
    results.sampler = info;

    report.status = 0;
    report.outcome = Outcome::Ok;
    std::string now = localDateTime();
    report.statusText = formatText("--->Sample end    %s \n", now.c_str());
    report.lines = report.fit.lines;
    report.lines.push_back(formatText("---> Sample end    %s \n", now.c_str()));
    report.lines.push_back(
        formatText("walkers %d, steps %d, burn-in %d, thin %d, seed %u, "
                   "Elapsed time(sec)= %d\n",
                   walkers, options.steps, burn, options.thin, seed, elapsed));
    report.lines.push_back(formatText("evaluations %ld, acceptance %.3f, samples %ld\n",
                                      chain.evaluations, info.acceptance, info.samples));
    report.lines.push_back(formatText("chi2: %.6f (%d DOF) at the sample of highest probability\n",
                                      results.chi2, results.dof));
    addTable(results, report);

    report.warnings = report.fit.warnings;
    if (!anyTau)
        report.warnings.push_back(
            "--->Warning, no walker moved after the burn-in: no autocorrelation time");
    else if (info.chainTooShort)
        report.warnings.push_back(formatText(
            "--->Warning, the chain is shorter than 50 autocorrelation times: %d steps after the "
            "burn-in, tau up to %.1f steps",
            afterBurn, longest));
    if (!results.measurementErrors)
        report.warnings.push_back(
            "--->Warning, the weights are the built-in error model, not measurement errors: the "
            "intervals are not probabilities");
    return report;
}

}  // namespace

SampleReport runSample(ModelStore& store, FitState& state, EnsembleChain& chain,
                       const SampleOptions& options) {
    return sampleSteps(store, state, chain, options);
}

}  // namespace tolvi
