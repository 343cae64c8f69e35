#include "fit/fit_params.h"

#include <cmath>

#include "base/text_io.h"
#include "fit/fit_workers.h"
#include "model/tables.h"
#include "physics/reflectivity.h"
#include "physics/slab_stack.h"

namespace tolvi {

namespace {

BoundedParam& quantityOf(ModelStore& store, int slot, int quantity, int owner) {
    DataSet& d = store.dataSet(owner);
    switch (quantity) {
        case FIT_X0:
            return d.x0_shift;
        case FIT_LOGI0:
            return d.logI0;
        case FIT_BG:
            return d.bg;
        case FIT_RESOLUTION_SCALE:
            return store.dataOptions[owner].resolution.scale;
        case FIT_BEAM:
            return store.dataOptions[owner].footprint.beam;
        default:
            return store.layerModel(slot).entries[owner].param(quantity);
    }
}

}  // namespace

int collectFitParams(ModelStore& store, FitState& state, FitMethod method) {
    // Candidates first, so that a refused list changes nothing.
    int owners[MAX_FIT_PARAMS];
    int quantities[MAX_FIT_PARAMS];
    int count = 0;
    auto take = [&](int quantity, int owner) {
        if (count < MAX_FIT_PARAMS) {
            owners[count] = owner;
            quantities[count] = quantity;
        }
        ++count;
    };
    for (int d = firstUsedSlot(store, state); d < endUsedSlot(store, state); ++d) {
        const DataSet& ds = store.dataSet(d);
        if (ds.x0_shift.fit > 0) take(FIT_X0, d);
        if (ds.logI0.fit > 0) take(FIT_LOGI0, d);
        if (ds.bg.fit > 0) take(FIT_BG, d);
    }
    const LayerModel& model = store.layerModel(store.curfile);
    for (int j = 0; j < model.nlay; ++j) {
        const LayerEntry& e = model.entries[j];
        if (e.rho.fit > 0) take(FIT_RHO, j);
        if (e.t.fit > 0 && j != 0) take(FIT_T, j);  // the substrate has no thickness to fit
        if (e.sig.fit > 0) take(FIT_SIG, j);
        if (e.mag.fit > 0) take(FIT_MAG, j);
    }
    // The instrument's quantities count only where they act: a pointwise resolution, a footprint.
    for (int d = firstUsedSlot(store, state); d < endUsedSlot(store, state); ++d) {
        const DataOptions& o = store.dataOptions[d];
        if (pointwiseResolution(o) && o.resolution.scale.fit > 0) take(FIT_RESOLUTION_SCALE, d);
        if (o.footprint.kind != FootprintKind::None && o.footprint.beam.fit > 0) take(FIT_BEAM, d);
    }
    if (count == 0) return method == FitMethod::LeastSquares ? lm::LM_NO_PARAM : lm::GA_NO_PARAM;
    if (count > MAX_FIT_PARAMS) return TOO_MANY_FIT_PARAMS;

    FitParamList& list = state.list;
    bool relative = store.dataOptions[store.curfile].steps == StepRule::Relative;
    list.npar = count;
    list.lmParams.fill(LmParam{});
    for (int k = 0; k < count; ++k) {
        list.owner[k] = owners[k];
        list.quantity[k] = quantities[k];
        const BoundedParam& p = quantityOf(store, store.curfile, quantities[k], owners[k]);
        list.x[k] = p.value;
        LmParam& lp = list.lmParams[k];
        lp.limited[0] = lp.limited[1] = 1;
        lp.limits[0] = p.min;
        lp.limits[1] = p.max;
        lp.step = p.step;
        if (relative) {
            lp.relStep = RELATIVE_STEP;
            lp.step = RELATIVE_STEP * RANGE_STEP_FRACTION * (p.max - p.min);
        }
        list.gaMin[k] = static_cast<float>(p.min);
        list.gaMax[k] = static_cast<float>(p.max);
        list.xerror[k] = 0.0;
    }
    list.savedX = list.x;
    store.nfitParam = count;
    return count;
}

void collectFitPoints(const ModelStore& store, FitState& state) {
    FitWindow& w = state.window;
    w.firstPoint.fill(0);
    w.pointCount.fill(0);
    w.m = 0;
    for (int d = firstUsedSlot(store, state); d < endUsedSlot(store, state); ++d) {
        const DataSet& ds = store.dataSet(d);
        for (int i = 0; i < ds.npoints; ++i) {
            if (!inXRange(ds, i)) continue;
            if (w.pointCount[d] == 0) w.firstPoint[d] = i;
            w.points[d][w.pointCount[d]++] = i;
            ++w.m;
            if (w.m == MAX_DATA) break;
        }
    }
}

std::string fitParamName(const ModelStore& store, const FitParamList& list, int k) {
    static const char* const QUANTITY[] = {"rho",   "t",  "sig",        "mag", "x0_shift",
                                           "logI0", "bg", "resolution", "beam"};
    int q = list.quantity[k];
    int owner = list.owner[k];
    if (q >= FIT_X0) return formatText("F%d %s", owner + 1, QUANTITY[q]);
    const LayerEntry& e = store.layerModel(store.curfile).entries[owner];
    return formatText("row %d %s %s", owner + 1, materialText(e.material.view()).c_str(),
                      QUANTITY[q]);
}

void writeFitParams(ModelStore& store, const FitState& state, const double* x) {
    const FitParamList& list = state.list;
    for (int k = 0; k < list.npar; ++k) {
        int q = list.quantity[k];
        if (q >= FIT_X0) {
            quantityOf(store, 0, q, list.owner[k]).value = x[k];
        } else if (state.multiFit) {
            for (int d = 0; d < store.nfile; ++d)
                quantityOf(store, d, q, list.owner[k]).value = x[k];
        } else {
            quantityOf(store, store.curfile, q, list.owner[k]).value = x[k];
        }
    }
}

void recalculateSlot(ModelStore& store, int slot) {
    buildSlabStack(store, slot);
    computeReflectivity(store, slot, false);
}

int fitResiduals(int m, int /*n*/, const double* x, double* residuals, void* context) {
    FitCall& call = *static_cast<FitCall*>(context);
    if (call.state->cancelRequested) return FIT_CANCELLED;
    double chi2 =
        computeResiduals(*call.store, *call.state, x, m, residuals, call.state->workers.get());
    noteEvaluations(*call.state, 1, chi2);
    return 0;
}

void applyFitParams(ModelStore& store, const FitState& state) {
    writeFitParams(store, state, state.list.x.data());
    for (int d = firstUsedSlot(store, state); d < endUsedSlot(store, state); ++d) {
        if (state.workers)
            recalculateSlotShared(store, d, *state.workers);
        else
            recalculateSlot(store, d);
    }
}

Chi2L1 chi2AndL1(const ModelStore& store, const FitState& state) {
    Chi2L1 out;
    for (int d = firstUsedSlot(store, state); d < endUsedSlot(store, state); ++d) {
        for (int i = 0; i < state.window.pointCount[d]; ++i) {
            float r = static_cast<float>(pointResidual(store, d, state.window.points[d][i]));
            out.l1 += std::fabs(r);
            out.chi2 += r * r;
        }
    }
    return out;
}

}  // namespace tolvi
