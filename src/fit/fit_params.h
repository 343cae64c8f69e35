#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <string>

#include "fit/lm.h"
#include "model/model_store.h"

namespace tolvi {

constexpr int MAX_FIT_PARAMS = 50;

// Relative finite-difference steps (StepRule::Relative): h = RELATIVE_STEP max(|x|,
// RANGE_STEP_FRACTION (max - min)) at the current x, backwards within h of the upper bound. The
// curves are exact to about 1e-11 relative, so a step of 1e-6 of the value leaves the difference
// quotient some five digits, and its truncation error is of the same order; the floor, a
// thousandth of the range, serves a value that starts at or passes through 0.
constexpr double RELATIVE_STEP = 1e-6;
constexpr double RANGE_STEP_FRACTION = 1e-3;

// What a fit parameter is: the four layer quantities (owner = table entry of the current slot),
// the three scalars of a data set and its two instrument quantities, the resolution scale and
// the beam width of the footprint (owner = slot).
enum FitQuantity {
    FIT_RHO = 0,
    FIT_T = 1,
    FIT_SIG = 2,
    FIT_MAG = 3,
    FIT_X0 = 4,
    FIT_LOGI0 = 5,
    FIT_BG = 6,
    FIT_RESOLUTION_SCALE = 7,
    FIT_BEAM = 8
};
enum class FitMethod { LeastSquares, Genetic };

// The free parameters of a fit, in the order of the report lines: the scalars of each used slot,
// then the layer quantities of the current slot's table, then the instrument quantities of each
// used slot (so that a fit without them lists its parameters as it always has).
struct FitParamList {
    int npar = 0;
    std::array<double, MAX_FIT_PARAMS> x{};
    std::array<int, MAX_FIT_PARAMS> owner{};
    std::array<int, MAX_FIT_PARAMS> quantity{};
    std::array<LmParam, MAX_FIT_PARAMS> lmParams{};
    std::array<float, MAX_FIT_PARAMS> gaMin{};
    std::array<float, MAX_FIT_PARAMS> gaMax{};
    std::array<double, MAX_FIT_PARAMS> xerror{};
    // The vector before the last fit that found parameters, for "Recov"; its count is the store's
    // nfitParam, which every load and slot change clears.
    std::array<double, MAX_FIT_PARAMS> savedX{};
};

// The measured points of a fit: per slot the indices of its points inside the x range, in the
// order of the file (which need not be the order of x), and the first of them.
struct FitWindow {
    std::array<std::array<int, MAX_DATA>, MAX_SLOTS> points{};
    std::array<int, MAX_SLOTS> firstPoint{};
    std::array<int, MAX_SLOTS> pointCount{};
    int m = 0;
};

// The residual of point p of a slot: the measured minus the calculated log10 intensity over the
// point's error in log10 units, or with errors from the data the measured minus the calculated
// intensity over the point's 1-σ error. Every fit and every cost is made of these.
inline double pointResidual(const ModelStore& store, int slot, int p) {
    const DataSet& d = store.dataSet(slot);
    const PointErrors& e = store.pointErrors[slot];
    if (store.dataOptions[slot].errors == ErrorSource::Data && e.loaded) {
        return (e.y[p] - d.calcLin[p]) / e.dy[p];
    }
    return (d.yLog[p] - d.calcLog[p]) / d.sigmaLog[p];
}

// Called between evaluations with their count and the best cost so far (chi-square for least
// squares, the L1 norm for the genetic search), so that a window can repaint during a long fit.
struct FitProgress {
    void (*call)(void* context, int evaluations, double bestCost) = nullptr;
    void* context = nullptr;
};

struct FitWorkers;

// Everything a fit keeps besides the model: made once (on the heap) and kept between fits.
struct FitState {
    FitParamList list;
    FitWindow window;
    bool multiFit = false;  // the last fit action was "Multi Fit"; governs "Recov" as well
    FitProgress progress;
    int evaluations = 0;
    double bestCost = 0.0;
    // The covariance of the last least-squares fit's parameters (npar x npar, row-major, in the
    // list's order), unscaled: (J^T J)^-1 of the residuals in use.
    std::array<double, MAX_FIT_PARAMS * MAX_FIT_PARAMS> covariance{};
    // Set (from any thread) to stop the run at its next evaluation; whoever starts a run clears it
    // first. A stopped fit or sample leaves the model as it was before the run.
    std::atomic<bool> cancelRequested{false};
    int threads = 0;                      // threads of the fits; 0: defaultThreadCount()
    std::shared_ptr<FitWorkers> workers;  // made by the first fit
};

// Slots a fit uses: the current one, or with multiFit every loaded slot.
inline int firstUsedSlot(const ModelStore& store, const FitState& state) {
    return state.multiFit ? 0 : store.curfile;
}
inline int endUsedSlot(const ModelStore& store, const FitState& state) {
    return state.multiFit ? store.nfile : store.curfile + 1;
}

// Gathers the free quantities (fit flag > 0) into state.list with their bounds and steps, saves
// the vector for "Recov" and sets store.nfitParam. Returns npar; -26 (least squares) or -25
// (genetic) when none is free; -27 when more than MAX_FIT_PARAMS are, both without any change.
int collectFitParams(ModelStore& store, FitState& state, FitMethod method);
constexpr int TOO_MANY_FIT_PARAMS = -27;
// The status of a fit or sample stopped by FitState::cancelRequested.
constexpr int FIT_CANCELLED = lm::CANCELLED;

// The points of each used slot within its x range (both ends included), wherever they lie in the
// file; a slot's scan stops when the total count reaches exactly MAX_DATA.
void collectFitPoints(const ModelStore& store, FitState& state);

// Residual function of the model fit (context: a FitCall): writes x into the model,
// recalculates every used slot and returns (yLog - calcLog) / sigmaLog of the fit's points.
int fitResiduals(int m, int n, const double* x, double* residuals, void* context);
struct FitCall {
    ModelStore* store;
    FitState* state;
};

// The name of fit parameter k: "F<slot> x0_shift|logI0|bg|resolution|beam" for a
// data set's quantity (the slot 1-based), "row <k> <material> rho|t|sig|mag" for a layer (k as the
// table numbers its rows, the substrate row 1, and the material as the table shows it).
std::string fitParamName(const ModelStore& store, const FitParamList& list, int k);

// Writes a parameter vector into the model: layer quantities into the current slot (or, in a
// multi fit, every loaded slot), scalars into their own slot. Values only.
void writeFitParams(ModelStore& store, const FitState& state, const double* x);

// The slab stack and calculated curve of a slot from its current values.
void recalculateSlot(ModelStore& store, int slot);

// writeFitParams with state.list.x, then the recalculation of every used slot.
void applyFitParams(ModelStore& store, const FitState& state);

// Chi-square and the L1 norm of the fit's points as the curves stand: each residual rounded to a
// 32-bit float and summed in 32-bit floats.
struct Chi2L1 {
    float chi2 = 0.0f;
    float l1 = 0.0f;
};
Chi2L1 chi2AndL1(const ModelStore& store, const FitState& state);

}  // namespace tolvi
