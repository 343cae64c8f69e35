#include "fit/genetic.h"

#include <cmath>
#include <limits>
#include <utility>

#include "fit/fit_workers.h"

namespace tolvi {

namespace {

constexpr float WEIGHT_F = 0.8f;
constexpr float CROSSOVER = 0.9f;
constexpr float RECOMBINATION_K = 0.5f * (WEIGHT_F + 1.0f);
constexpr double MUTATION_CHOICE = 0.5;
constexpr double STOP_SPREAD = 0.01;

// Ascending by cost: the Shell sort of diminishing gaps that the selection has always used, so
// that members of equal cost end in the same order.
void sortByCost(Member* members, int count) {
    int gap = count;
    while (gap > 1) {
        gap /= 2;
        bool swapped = true;
        while (swapped) {
            swapped = false;
            for (int i = 0; i < count - gap; ++i) {
                if (members[i].cost > members[i + gap].cost) {
                    std::swap(members[i], members[i + gap]);
                    swapped = true;
                }
            }
        }
    }
}

// Three sigmas of the parents' costs relative to their mean, in floats. Rounding can make the
// variance slightly negative when all costs are nearly equal: that counts as no spread at all.
double spreadOf(const Member* parents, int np) {
    float sum = 0.0f, sumSq = 0.0f;
    for (int i = 0; i < np; ++i) {
        sum += parents[i].cost;
        sumSq += parents[i].cost * parents[i].cost;
    }
    float mean = sum / static_cast<float>(np);
    float variance = sumSq / static_cast<float>(np) - mean * mean;
    if (variance < 0.0f) variance = 0.0f;
    return 3.0f * std::sqrt(variance) / mean;
}

}  // namespace

void Mt19937::seed(uint32_t s) {
    if (s == 0) s = ZERO_SEED_REPLACEMENT;
    mt_[0] = s;
    for (int i = 1; i < N; ++i) mt_[i] = 69069u * mt_[i - 1];
    index_ = N;
}

uint32_t Mt19937::next() {
    constexpr int M = 397;
    constexpr uint32_t MATRIX_A = 0x9908b0dfu, UPPER = 0x80000000u, LOWER = 0x7fffffffu;
    if (index_ >= N) {
        for (int k = 0; k < N; ++k) {
            uint32_t y = (mt_[k] & UPPER) | (mt_[(k + 1) % N] & LOWER);
            mt_[k] = mt_[(k + M) % N] ^ (y >> 1) ^ ((y & 1u) ? MATRIX_A : 0u);
        }
        index_ = 0;
    }
    uint32_t y = mt_[index_++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9d2c5680u;
    y ^= (y << 15) & 0xefc60000u;
    y ^= y >> 18;
    return y;
}

float memberCost(ModelStore& store, const FitState& state, const Member& member) {
    double x[MAX_FIT_PARAMS];
    for (int j = 0; j < state.list.npar; ++j) x[j] = member.value[j];
    writeFitParams(store, state, x);
    float cost = 0.0f;
    for (int d = firstUsedSlot(store, state); d < endUsedSlot(store, state); ++d) {
        recalculateSlot(store, d);
        for (int i = 0; i < state.window.pointCount[d]; ++i)
            cost +=
                static_cast<float>(std::fabs(pointResidual(store, d, state.window.points[d][i])));
    }
    return cost;
}

namespace {

struct CostJob {
    const FitState* state;
    FitWorkers* workers;
    Member* members;
};

void costOne(void* context, int i, int worker) {
    CostJob& job = *static_cast<CostJob*>(context);
    // Each member checks for a cancel: a stopped search is given up, its costs unused.
    if (job.state->cancelRequested) {
        job.members[i].cost = std::numeric_limits<float>::max();
        return;
    }
    job.members[i].cost = memberCost(*job.workers->copies[worker], *job.state, job.members[i]);
}

// The costs of `count` members, spread over the workers (each on its own copy of the model).
// No random number is drawn while costing, so the stream is the same as one member at a time.
void costAll(FitState& state, FitWorkers& workers, Member* members, int count) {
    CostJob job{&state, &workers, members};
    workers.pool.run(count, costOne, &job);
    float best = members[0].cost;
    for (int i = 1; i < count; ++i) best = std::min(best, members[i].cost);
    noteEvaluations(state, count, best);
}

}  // namespace

Donors pickDonors(GeneticState& ga, int target, int np) {
    // The urn holds 0..np-1; the draws touch at most four slots, which are put back afterwards so
    // that the next call finds the full urn without refilling it.
    int* urn = ga.urn.data();
    int touched[4];
    int k = np;
    touched[0] = target;
    urn[target] = urn[k - 1];
    --k;
    int drawn[3];
    for (int n = 0; n < 3; ++n) {
        int j = static_cast<int>(ga.random.uniform() * k);
        drawn[n] = urn[j];
        touched[n + 1] = j;
        urn[j] = urn[k - 1];
        --k;
    }
    for (int slot : touched) urn[slot] = slot;
    return {drawn[0], drawn[1], drawn[2]};
}

int geneticFit(ModelStore& store, FitState& state, GeneticState& ga, int np, int maxGene,
               uint32_t seed) {
    ga.populationRefused = false;
    ga.cancelled = false;
    if (np > MAX_POPULATION) {
        ga.populationRefused = true;
        return 0;
    }
    FitParamList& list = state.list;
    int D = list.npar;
    ga.random.seed(seed);
    for (int i = 0; i < np; ++i) ga.urn[i] = i;
    Member* parents = ga.population.data();
    Member* children = parents + np;

    FitWorkers& workers = prepareWorkers(store, state);
    for (int i = 0; i < np; ++i) {
        for (int j = 0; j < D; ++j) {
            float span = list.gaMax[j] - list.gaMin[j];
            parents[i].value[j] = static_cast<float>(list.gaMin[j] + ga.random.uniform() * span);
        }
    }
    costAll(state, workers, parents, np);
    if (state.cancelRequested) {
        ga.cancelled = true;
        return 0;
    }
    ga.best = parents[0];
    for (int i = 1; i < np; ++i)
        if (parents[i].cost <= ga.best.cost) ga.best = parents[i];

    int g = 0;
    while (g < maxGene) {
        ++g;
        for (int i = 0; i < np; ++i) {
            Donors donor = pickDonors(ga, i, np);
            const Member& a = parents[donor.i1];
            const Member& b = parents[donor.i2];
            const Member& c = parents[donor.i3];
            Member& trial = children[i];
            trial = parents[i];
            // Exponential crossover: a run of consecutive positions, wrapping around.
            int n = static_cast<int>(ga.random.uniform() * D);
            int L = 0;
            if (ga.random.uniform() < MUTATION_CHOICE) {
                do {
                    trial.value[n] = a.value[n] + WEIGHT_F * (b.value[n] - c.value[n]);
                    n = (n + 1) % D;
                    ++L;
                } while (ga.random.uniform() < CROSSOVER && L < D);
            } else {
                do {
                    trial.value[n] = a.value[n] + RECOMBINATION_K *
                                                      (b.value[n] + c.value[n] - 2.0f * a.value[n]);
                    n = (n + 1) % D;
                    ++L;
                } while (ga.random.uniform() < CROSSOVER && L < D);
            }
            // A value beyond a bound is drawn again between the bound and the first donor's value.
            for (int j = 0; j < D; ++j) {
                if (trial.value[j] < list.gaMin[j])
                    trial.value[j] = static_cast<float>(
                        list.gaMin[j] + ga.random.uniform() * (a.value[j] - list.gaMin[j]));
                if (trial.value[j] > list.gaMax[j])
                    trial.value[j] = static_cast<float>(
                        list.gaMax[j] + ga.random.uniform() * (a.value[j] - list.gaMax[j]));
            }
        }
        costAll(state, workers, children, np);
        if (state.cancelRequested) {
            ga.cancelled = true;
            return g;
        }
        sortByCost(parents, 2 * np);
        ga.best = parents[0];
        ga.gaHistory[g] = ga.best.cost;
        double spread = spreadOf(parents, np);
        if (spread < STOP_SPREAD || std::isnan(spread)) break;
    }
    for (int j = 0; j < D; ++j) list.x[j] = ga.best.value[j];
    return g;
}

}  // namespace tolvi
