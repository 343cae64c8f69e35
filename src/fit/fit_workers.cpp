#include "fit/fit_workers.h"

#include <algorithm>

#include "physics/reflectivity.h"
#include "physics/resolution.h"
#include "physics/slab_stack.h"

namespace tolvi {

FitWorkers::FitWorkers(int threads) : pool(threads) {
    for (int w = 0; w < threads; ++w) copies.push_back(std::make_unique<ModelStore>());
}

namespace {

// What an evaluation reads of a slot: the settings, the measured curve and the layer table (the
// slab stack and the calculated curve are made afresh by every evaluation). Copying only this
// keeps the start of a short fit short.
void copyForFit(const ModelStore& from, ModelStore& to, int slot) {
    const DataSet& a = from.dataSet(slot);
    DataSet& b = to.dataSet(slot);
    b.yScale = a.yScale;
    b.probe = a.probe;
    b.xAxis = a.xAxis;
    b.lamd = a.lamd;
    b.divergence = a.divergence;
    b.magMode = a.magMode;
    b.xmin = a.xmin;
    b.xmax = a.xmax;
    to.dataOptions[slot] = from.dataOptions[slot];
    const PointResolution& r = from.pointResolution[slot];
    PointResolution& t = to.pointResolution[slot];
    t.loaded = r.loaded;
    if (r.loaded) std::copy_n(r.sigmaX.begin(), a.npoints, t.sigmaX.begin());
    copyResolutionPlan(from.resolutionPlans[slot], to.resolutionPlans[slot]);
    const PointErrors& e = from.pointErrors[slot];
    PointErrors& f = to.pointErrors[slot];
    f.loaded = e.loaded;
    if (e.loaded) {
        std::copy_n(e.y.begin(), a.npoints, f.y.begin());
        std::copy_n(e.dy.begin(), a.npoints, f.dy.begin());
    }
    b.x0_shift = a.x0_shift;
    b.logI0 = a.logI0;
    b.bg = a.bg;
    b.npoints = a.npoints;
    std::copy_n(a.xData.begin(), a.npoints, b.xData.begin());
    std::copy_n(a.yLog.begin(), a.npoints, b.yLog.begin());
    std::copy_n(a.sigmaLog.begin(), a.npoints, b.sigmaLog.begin());
    const LayerModel& m = from.layerModel(slot);
    LayerModel& n = to.layerModel(slot);
    n.simFit = m.simFit;
    n.nlay = m.nlay;
    n.nglay = m.nglay;
    n.layall = 0;
    std::copy_n(m.entries.begin(), m.nlay, n.entries.begin());
}

}  // namespace

FitWorkers& prepareWorkers(const ModelStore& store, FitState& state) {
    int threads = state.threads > 0 ? state.threads : defaultThreadCount();
    if (!state.workers || state.workers->pool.threads() != threads)
        state.workers = std::make_shared<FitWorkers>(threads);
    for (auto& copy : state.workers->copies) {
        copy->nfile = store.nfile;
        copy->curfile = store.curfile;
        copy->ambient = store.ambient;
        copy->ambientSld = store.ambientSld;
        // A multi fit writes layer quantities into every loaded slot.
        int first = state.multiFit ? 0 : firstUsedSlot(store, state);
        int end = state.multiFit ? store.nfile : endUsedSlot(store, state);
        for (int d = first; d < end; ++d) copyForFit(store, *copy, d);
    }
    return *state.workers;
}

namespace {

// Below this many point-interface pairs a curve takes a few tens of microseconds: not worth
// waking other threads for.
constexpr long MIN_SHARED_WORK = 8000;

struct RangeJob {
    ModelStore* store;
    int slot;
    int points;
    int parts;
};

void computeRange(void* context, int part, int /*worker*/) {
    RangeJob& job = *static_cast<RangeJob*>(context);
    int first = static_cast<int>(static_cast<long>(job.points) * part / job.parts);
    int end = static_cast<int>(static_cast<long>(job.points) * (part + 1) / job.parts);
    computeReflectivityRange(*job.store, job.slot, false, first, end);
}

// With a pointwise resolution: the nodes of the plan first, then the points, each shared.
struct NodeJob {
    ModelStore* store;
    int slot;
    NodeRange nodes;
    int points;
    int parts;
};

void computeNodes(void* context, int part, int /*worker*/) {
    NodeJob& job = *static_cast<NodeJob*>(context);
    long count = job.nodes.end - job.nodes.first;
    int first = job.nodes.first + static_cast<int>(count * part / job.parts);
    int end = job.nodes.first + static_cast<int>(count * (part + 1) / job.parts);
    computeReflectivityNodes(*job.store, job.slot, first, end);
}

void computePointsFromNodes(void* context, int part, int /*worker*/) {
    NodeJob& job = *static_cast<NodeJob*>(context);
    int first = static_cast<int>(static_cast<long>(job.points) * part / job.parts);
    int end = static_cast<int>(static_cast<long>(job.points) * (part + 1) / job.parts);
    computeReflectivityFromNodes(*job.store, job.slot, false, first, end);
}

}  // namespace

void recalculateSlotShared(ModelStore& store, int slot, FitWorkers& workers) {
    buildSlabStack(store, slot);
    int points = store.dataSet(slot).npoints;
    int threads = workers.pool.threads();
    int layers = std::max(store.layerModel(slot).layall, 1);
    if (pointwiseResolution(store.dataOptions[slot])) {
        prepareResolution(store, slot);
        const ResolutionPlan& plan = store.resolutionPlans[slot];
        NodeRange nodes = resolutionNodesOf(plan, 0, std::min(points, plan.points));
        long work = static_cast<long>(nodes.end - nodes.first) * layers;
        if (threads == 1 || work < MIN_SHARED_WORK) {
            computeReflectivityNodes(store, slot, nodes.first, nodes.end);
            computeReflectivityFromNodes(store, slot, false, 0, points);
            return;
        }
        NodeJob job{&store, slot, nodes, points, threads};
        workers.pool.run(threads, computeNodes, &job);
        workers.pool.run(threads, computePointsFromNodes, &job);
        return;
    }
    long work = static_cast<long>(points) * layers;
    if (threads == 1 || work < MIN_SHARED_WORK) {
        computeReflectivity(store, slot, false);
        return;
    }
    RangeJob job{&store, slot, points, threads};
    workers.pool.run(threads, computeRange, &job);
}

FitResolutionPlans::FitResolutionPlans(ModelStore& store, const FitState& state)
    : store_(store), first_(firstUsedSlot(store, state)), end_(endUsedSlot(store, state)) {
    try {
        for (int d = first_; d < end_; ++d) {
            if (!pointwiseResolution(store.dataOptions[d])) continue;
            buildSlabStack(store, d);
            makeResolutionPlan(store, d, true);
        }
    } catch (...) {
        release();
        throw;
    }
}

FitResolutionPlans::~FitResolutionPlans() {
    release();
}

void FitResolutionPlans::release() {
    for (int d = first_; d < end_; ++d)
        if (store_.resolutionPlans[d].frozen) releaseResolutionPlan(store_, d);
}

double computeResiduals(ModelStore& store, const FitState& state, const double* x, int m,
                        double* residuals, FitWorkers* split) {
    writeFitParams(store, state, x);
    int offset = 0;
    double chi2 = 0.0;
    for (int d = firstUsedSlot(store, state); d < endUsedSlot(store, state); ++d) {
        if (split)
            recalculateSlotShared(store, d, *split);
        else
            recalculateSlot(store, d);
        for (int i = 0; i < state.window.pointCount[d] && offset + i < m; ++i) {
            double r = pointResidual(store, d, state.window.points[d][i]);
            residuals[offset + i] = r;
            chi2 += r * r;
        }
        offset += state.window.pointCount[d];
    }
    return chi2;
}

void noteEvaluations(FitState& state, int count, double bestCost) {
    if (state.evaluations == 0 || bestCost < state.bestCost) state.bestCost = bestCost;
    state.evaluations += count;
    if (state.progress.call)
        state.progress.call(state.progress.context, state.evaluations, state.bestCost);
}

namespace {

struct BatchJob {
    const FitState* state;
    FitWorkers* workers;
    const double* xs;
    double* residuals;
    int* statuses;
    int m, n;
    int parts;  // point ranges each vector is split into
};

// Vector k = task / parts, point range part = task % parts of every used slot, on the worker's
// own copy of the model: the residuals of the points of that range. The ranges of one vector
// may run on different copies; each builds the same slab stack for it.
void evaluatePart(void* context, int taskIndex, int worker) {
    BatchJob& job = *static_cast<BatchJob*>(context);
    const FitState& state = *job.state;
    if (state.cancelRequested) return;  // the batch is given up as a whole
    int k = taskIndex / job.parts;
    int part = taskIndex % job.parts;
    ModelStore& copy = *job.workers->copies[worker];
    writeFitParams(copy, state, job.xs + static_cast<size_t>(k) * job.n);
    double* residuals = job.residuals + static_cast<size_t>(k) * job.m;
    int offset = 0;
    for (int d = firstUsedSlot(copy, state); d < endUsedSlot(copy, state); ++d) {
        buildSlabStack(copy, d);
        const DataSet& ds = copy.dataSet(d);
        int points = ds.npoints;
        int first = static_cast<int>(static_cast<long>(points) * part / job.parts);
        int end = static_cast<int>(static_cast<long>(points) * (part + 1) / job.parts);
        computeReflectivityRange(copy, d, false, first, end);
        for (int i = 0; i < state.window.pointCount[d] && offset + i < job.m; ++i) {
            int p = state.window.points[d][i];
            if (p < first || p >= end) continue;
            residuals[offset + i] = pointResidual(copy, d, p);
        }
        offset += state.window.pointCount[d];
    }
    if (part == 0) job.statuses[k] = 0;
}

// Splitting each vector over the points pays when the vectors do not share the threads evenly
// and the curves are long.
int partsPerVector(const ModelStore& store, const FitState& state, int count, int threads) {
    if (threads == 1 || count % threads == 0) return 1;
    long work = 0;
    for (int d = firstUsedSlot(store, state); d < endUsedSlot(store, state); ++d)
        work +=
            static_cast<long>(store.dataSet(d).npoints) * std::max(store.layerModel(d).layall, 1);
    return work < MIN_SHARED_WORK ? 1 : threads;
}

}  // namespace

void fitResidualsBatch(int count, int m, int n, const double* xs, double* residuals, int* statuses,
                       void* context) {
    FitCall& call = *static_cast<FitCall*>(context);
    FitState& state = *call.state;
    FitWorkers& workers = *state.workers;
    int parts = partsPerVector(*call.store, state, count, workers.pool.threads());
    BatchJob job{&state, &workers, xs, residuals, statuses, m, n, parts};
    workers.pool.run(count * parts, evaluatePart, &job);
    // A cancel during the batch may have left parts uncomputed: none of its vectors counts.
    if (state.cancelRequested) {
        std::fill(statuses, statuses + count, FIT_CANCELLED);
        return;
    }
    double best = 0.0;
    for (int k = 0; k < count; ++k) {
        double chi2 = 0.0;
        for (int i = 0; i < m; ++i)
            chi2 += residuals[k * static_cast<size_t>(m) + i] *
                    residuals[k * static_cast<size_t>(m) + i];
        if (k == 0 || chi2 < best) best = chi2;
    }
    noteEvaluations(state, count, best);
}

}  // namespace tolvi
