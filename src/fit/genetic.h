#pragma once

#include <array>
#include <cstdint>

#include "fit/fit_params.h"

namespace tolvi {

// The 32-bit Mersenne Twister with its standard recurrence and tempering, seeded by the
// multiplicative initialisation state[i] = 69069 state[i-1] (mod 2^32).
class Mt19937 {
  public:
    static constexpr int N = 624;
    // A seed of 0 would make an all-zero state that draws only zeros; it is replaced by 4357, the
    // generator's classic default seed.
    static constexpr uint32_t ZERO_SEED_REPLACEMENT = 4357;

    void seed(uint32_t s);
    uint32_t next();
    // The next output times 2^-32: a double in [0, 1).
    double uniform() { return next() * (1.0 / 4294967296.0); }
    const std::array<uint32_t, N>& state() const { return mt_; }

  private:
    std::array<uint32_t, N> mt_{};
    int index_ = N;
};

constexpr int MAX_POPULATION = 1500;
constexpr int MAX_GENERATIONS = 1000;
constexpr int MEMBER_VALUES = 100;

// D parameter values (32-bit floats, as the whole population is kept) and the member's cost.
struct Member {
    std::array<float, MEMBER_VALUES> value{};
    float cost = 0.0f;
};

// The differential-evolution search and its fixed-size storage (over a megabyte: made once on
// the heap with the fit state).
struct GeneticState {
    std::array<Member, 2 * MAX_POPULATION> population{};  // parents, then children
    Member best;
    std::array<float, MAX_GENERATIONS + 1> gaHistory{};  // [g] = best cost after generation g
    std::array<int, MAX_POPULATION> urn{};
    Mt19937 random;
    bool populationRefused = false;  // the last run had more than MAX_POPULATION members
    bool cancelled = false;          // the last run was stopped by FitState::cancelRequested
};

// Cost of a member: its values written into the model as the residual function writes them, the
// used slots recalculated, and the L1 norm of the weighted log residuals summed in a float.
float memberCost(ModelStore& store, const FitState& state, const Member& member);

// Three distinct members, none of them the target, by the urn method.
struct Donors {
    int i1, i2, i3;
};
Donors pickDonors(GeneticState& ga, int target, int np);

// Runs the search (the costs of each generation's trials on the fit's workers) over the npar
// parameters of state.list between gaMin and gaMax, population np, at most maxGene generations,
// seeded with `seed`. Leaves the best member in state.list.x and the history in ga.gaHistory[1..g];
// returns g, the number of generations run. np above MAX_POPULATION runs nothing (0,
// populationRefused set, x unchanged). A cancel stops it after the member being costed (cancelled
// set, x unchanged). Callers keep np >= 4 and maxGene <= MAX_GENERATIONS.
int geneticFit(ModelStore& store, FitState& state, GeneticState& ga, int np, int maxGene,
               uint32_t seed);

}  // namespace tolvi
