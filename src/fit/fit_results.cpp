#include "fit/fit_results.h"

#include <cmath>

namespace tolvi {

const char* const BUILTIN_WEIGHTS_NOTE =
    "The weights are the built-in error model, not measurement errors: the errors and intervals "
    "measure the spread of the weighted residuals and are not probabilities.";

bool weightsAreMeasurementErrors(const ModelStore& store, const FitState& state) {
    for (int d = firstUsedSlot(store, state); d < endUsedSlot(store, state); ++d)
        if (store.dataOptions[d].errors != ErrorSource::Data || !store.pointErrors[d].loaded)
            return false;
    return true;
}

double residualChi2(const ModelStore& store, const FitState& state) {
    double chi2 = 0.0;
    for (int d = firstUsedSlot(store, state); d < endUsedSlot(store, state); ++d)
        for (int i = 0; i < state.window.pointCount[d]; ++i) {
            double r = pointResidual(store, d, state.window.points[d][i]);
            chi2 += r * r;
        }
    return chi2;
}

NamedResults namedFitResults(const ModelStore& store, const FitState& state, const char* method,
                             int status, bool withErrors) {
    const FitParamList& list = state.list;
    NamedResults results;
    results.method = method;
    results.status = status;
    for (int k = 0; k < list.npar; ++k) {
        ParameterResult p;
        p.name = fitParamName(store, list, k);
        p.value = list.x[k];
        p.min = list.lmParams[k].limits[0];
        p.max = list.lmParams[k].limits[1];
        if (withErrors) p.error = list.xerror[k];
        p.atBound = list.x[k] == p.min ? "min" : list.x[k] == p.max ? "max" : "";
        results.parameters.push_back(std::move(p));
    }
    if (withErrors) {
        int n = list.npar;
        std::vector<std::optional<double>> correlation(static_cast<size_t>(n) * n);
        auto c = [&](int i, int j) { return state.covariance[static_cast<size_t>(i) * n + j]; };
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                double scale = c(i, i) * c(j, j);
                if (scale > 0.0 && std::isfinite(scale)) {
                    double r = c(i, j) / std::sqrt(scale);
                    if (std::isfinite(r)) correlation[static_cast<size_t>(i) * n + j] = r;
                }
            }
        results.correlation = std::move(correlation);
    }
    results.points = state.window.m;
    results.dof = state.window.m - list.npar;
    results.chi2 = residualChi2(store, state);
    results.measurementErrors = weightsAreMeasurementErrors(store, state);
    if (!results.measurementErrors) results.note = BUILTIN_WEIGHTS_NOTE;
    return results;
}

}  // namespace tolvi
