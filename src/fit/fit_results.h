#pragma once

#include "fit/fit_params.h"
#include "model/results_file.h"

namespace tolvi {

// Whether every slot the fit uses is weighted by measurement errors (1-sigma errors from the
// data), so that chi-square has its statistical meaning.
bool weightsAreMeasurementErrors(const ModelStore& store, const FitState& state);

// What the results say where the weights are the built-in error model.
extern const char* const BUILTIN_WEIGHTS_NOTE;

// The named results of the fit that last ended (its parameters in state.list and written into the
// model, the model's curves recalculated): each parameter's name, value and bounds, and with
// `withErrors` (least squares) its error and the correlation matrix from state.covariance.
// chi2 is summed in double over the fit's points as the curves stand.
NamedResults namedFitResults(const ModelStore& store, const FitState& state, const char* method,
                             int status, bool withErrors);

// The sum of squared residuals of the fit's points as the curves stand, in double.
double residualChi2(const ModelStore& store, const FitState& state);

}  // namespace tolvi
