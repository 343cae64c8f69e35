#include "fit/fit_runs.h"

#include <chrono>

#include "base/text_io.h"
#include "fit/fit_workers.h"

namespace tolvi {

Status multiFitLayerCheck(const ModelStore& store) {
    const LayerModel& first = store.layerModel(0);
    for (int i = 1; i < store.nfile; ++i) {
        const LayerModel& m = store.layerModel(i);
        if (m.nlay != first.nlay) return {1, "Error->nlay is not same ", Outcome::Refused};
        if (m.nglay != first.nglay) return {1, "Error->nglay is not same ", Outcome::Refused};
        if (m.layall != first.layall) return {1, "Error->layall is not same ", Outcome::Refused};
    }
    return Status::success("");
}

namespace {

FitReport refusal(int status, std::string text) {
    FitReport report;
    report.status = status;
    report.statusText = std::move(text);
    return report;
}

void addParameterLines(const FitState& state, bool withErrors, FitReport& report) {
    const FitParamList& list = state.list;
    for (int k = 0; k < list.npar; ++k)
        report.lines.push_back(withErrors
                                   ? formatText("P[%d] = %f +/- %f\n", k, list.x[k], list.xerror[k])
                                   : formatText("P[%d] = %f \n", k, list.x[k]));
}

// After least squares: a fit that moved nothing, and parameters that end on a bound, are said
// in words (the report's NPEGGED counts fixed parameters too and names none).
void addEndWarnings(const ModelStore& store, const FitState& state, FitReport& report) {
    const FitParamList& list = state.list;
    std::string pinned;
    int atBound = 0;
    bool moved = false;
    for (int k = 0; k < list.npar; ++k) {
        if (list.x[k] != list.savedX[k]) moved = true;
        const LmParam& p = list.lmParams[k];
        const char* side = list.x[k] == p.limits[0] ? "min" : list.x[k] == p.limits[1] ? "max" : "";
        if (*side == '\0') continue;
        if (atBound++ > 0) pinned += ", ";
        pinned += fitParamName(store, list, k);
        pinned += formatText(" (%s)", side);
    }
    if (!moved) {
        std::string names;
        for (int k = 0; k < list.npar; ++k) {
            if (k > 0) names += ", ";
            names += fitParamName(store, list, k);
        }
        report.warnings.push_back("--->Warning, no parameter moved from its start: " + names);
    }
    if (atBound > 0)
        report.warnings.push_back(formatText("--->Warning, %d parameter%s at a bound: %s", atBound,
                                             atBound == 1 ? "" : "s", pinned.c_str()));
}

}  // namespace

uint64_t tickCount() {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

Status multiFitDataCheck(const ModelStore& store) {
    if (store.nfile <= 1) return {1, "Error->Mfit needs multi data ", Outcome::Refused};
    return Status::success("");
}

int runLeastSquares(ModelStore& store, FitState& state, LmResult& result) {
    int npar = collectFitParams(store, state, FitMethod::LeastSquares);
    if (npar < 0) return npar;
    collectFitPoints(store, state);
    int status = 0;
    {
        FitResolutionPlans plans(store, state);
        prepareWorkers(store, state);
        FitCall call{&store, &state};
        result = LmResult{};
        result.xerror = state.list.xerror.data();
        result.covariance = state.covariance.data();
        status = lmFit(fitResiduals, state.window.m, npar, state.list.x.data(),
                       state.list.lmParams.data(), &result, &call, fitResidualsBatch);
    }
    if (status == FIT_CANCELLED) state.list.x = state.list.savedX;  // the model as before
    applyFitParams(store, state);
    return status;
}

int runGenetic(ModelStore& store, FitState& state, GeneticState& ga, int np, int maxGene,
               uint32_t seed, int& generations) {
    generations = 0;
    int npar = collectFitParams(store, state, FitMethod::Genetic);
    if (npar < 0) return npar;
    collectFitPoints(store, state);
    {
        FitResolutionPlans plans(store, state);
        generations = geneticFit(store, state, ga, np, maxGene, seed);
    }
    if (ga.cancelled) state.list.x = state.list.savedX;  // the model as before
    applyFitParams(store, state);
    return ga.cancelled ? FIT_CANCELLED : lm::GA_FINISHED;
}

Outcome fitOutcome(int status) {
    if (status >= lm::MAX_ITERATIONS && status <= lm::GTOL_TOO_SMALL) return Outcome::Warning;
    if (status > 0) return Outcome::Ok;
    switch (status) {
        case FIT_CANCELLED:
            return Outcome::Cancelled;
        case MULTI_FIT_REFUSED:
        case POPULATION_REFUSED:
        case GENERATIONS_REFUSED:
        case TOO_MANY_FIT_PARAMS:
        case lm::GA_NO_PARAM:
        case lm::LM_NO_PARAM:
            return Outcome::Refused;
        default:
            return Outcome::FitFailed;
    }
}

namespace {

FitReport runFitSteps(ModelStore& store, FitState& state, GeneticState& ga,
                      const FitOptions& options) {
    if (options.multi) {
        if (Status s = multiFitDataCheck(store); !s.ok())
            return refusal(MULTI_FIT_REFUSED, s.message);
    }
    state.multiFit = options.multi;
    if (options.multi) {
        if (Status s = multiFitLayerCheck(store); !s.ok())
            return refusal(MULTI_FIT_REFUSED, s.message);
    }
    bool genetic = options.method == FitMethod::Genetic;
    if (genetic && options.population < MIN_POPULATION)
        return refusal(POPULATION_REFUSED, "--->Error GA popul must be 4 or more");
    if (genetic && options.maxGene > MAX_GENERATIONS)
        return refusal(GENERATIONS_REFUSED, "--->Error max_gene must not exceed 1000");

    state.evaluations = 0;
    state.bestCost = 0.0;
    FitReport report;
    uint64_t t0 = tickCount();
    if (genetic) {
        uint32_t seed = options.seed ? *options.seed : static_cast<uint32_t>(tickCount() % 10000);
        report.status = runGenetic(store, state, ga, options.population, options.maxGene, seed,
                                   report.generations);
        report.populationRefused = ga.populationRefused;
    } else {
        report.status = runLeastSquares(store, state, report.result);
    }
    int elapsed = static_cast<int>((tickCount() - t0) / 1000);

    if (report.status == TOO_MANY_FIT_PARAMS) {
        report.statusText = "--->Error more than 50 fit params";
        return report;
    }
    report.statusText = lmStatusText(report.status);
    if (report.status < 0) return report;

    Chi2L1 fit = chi2AndL1(store, state);
    const char* thirdLine = options.multi ? "chi2: %f   dif: %f \n" : "chi2: %f   L1_norm: %f \n";
    if (genetic) {
        report.lines.push_back(formatText("---> GA Fit end    %s \n", localDateTime().c_str()));
        report.lines.push_back(formatText("popul %d, gene %d, Elapsed time(sec)= %d\n",
                                          options.population, report.generations, elapsed));
        report.lines.push_back(formatText(thirdLine, fit.chi2, fit.l1));
        addParameterLines(state, false, report);
    } else {
        const LmResult& r = report.result;
        report.lines.push_back(
            formatText("---> LM Fit end chi2 = %-10.4f(%d DOF)\n", r.bestnorm, r.nfunc - r.nfree));
        report.lines.push_back(formatText("Elapsed time(sec) = %d \n", elapsed));
        report.lines.push_back(formatText(thirdLine, fit.chi2, fit.l1));
        report.lines.push_back(formatText("NPAR = %d\n", r.npar));
        report.lines.push_back(formatText("NFREE = %d\n", r.nfree));
        report.lines.push_back(formatText("NPEGGED = %d\n", r.npegged));
        report.lines.push_back(formatText("NITER = %d\n", r.niter));
        report.lines.push_back(formatText("NFEV = %d\n", r.nfev));
        addParameterLines(state, true, report);
        addEndWarnings(store, state, report);
    }
    return report;
}

}  // namespace

FitReport runFit(ModelStore& store, FitState& state, GeneticState& ga, const FitOptions& options) {
    FitReport report = runFitSteps(store, state, ga, options);
    report.outcome = fitOutcome(report.status);
    return report;
}

bool recoverFit(ModelStore& store, FitState& state) {
    if (store.nfitParam == 0) return false;
    state.list.npar = store.nfitParam;
    state.list.x = state.list.savedX;
    applyFitParams(store, state);
    return true;
}

}  // namespace tolvi
