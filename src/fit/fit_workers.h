#pragma once

#include <memory>
#include <vector>

#include "fit/fit_params.h"
#include "fit/worker_pool.h"

namespace tolvi {

// The threads of the fits and one working copy of the model per thread: evaluations that run at
// the same time (the Jacobian's columns, a generation's trials) each write their parameter
// vector into their own copy. Made once and kept with the fit state.
struct FitWorkers {
    explicit FitWorkers(int threads);
    WorkerPool pool;
    std::vector<std::unique_ptr<ModelStore>> copies;  // one per worker
};

// The workers of a fit (made on first use with state.threads, or defaultThreadCount()), with
// every copy brought up to date with the slots the fit uses.
FitWorkers& prepareWorkers(const ModelStore& store, FitState& state);

// Residuals of one parameter vector on a given model (the store's curves are recalculated).
// Returns their sum of squares. With `split`, long curves are computed by all its workers, each
// on a range of points; never pass it from inside a worker's task.
double computeResiduals(ModelStore& store, const FitState& state, const double* x, int m,
                        double* residuals, FitWorkers* split = nullptr);

// The slab stack and calculated curve of a slot, the curve's points shared among the workers
// when it is long enough to repay the hand-over (the same numbers either way).
void recalculateSlotShared(ModelStore& store, int slot, FitWorkers& workers);

// The batch function of the least-squares engine (context: a FitCall): the vectors spread over
// the workers, each on its own copy of the model.
void fitResidualsBatch(int count, int m, int n, const double* xs, double* residuals, int* statuses,
                       void* context);

// The resolution plans of the slots a fit uses (those with a pointwise resolution), made when the
// fit starts for the ranges of its free offset and resolution scale and released when it ends,
// an error included: while the fit runs, every curve is a smooth function of every parameter.
// Made before the workers are prepared, so that their copies take the plans.
class FitResolutionPlans {
  public:
    FitResolutionPlans(ModelStore& store, const FitState& state);
    ~FitResolutionPlans();
    FitResolutionPlans(const FitResolutionPlans&) = delete;
    FitResolutionPlans& operator=(const FitResolutionPlans&) = delete;

  private:
    void release();
    ModelStore& store_;
    int first_;
    int end_;
};

// Counts evaluations and tells the progress callback, on the calling thread.
void noteEvaluations(FitState& state, int count, double bestCost);

}  // namespace tolvi
