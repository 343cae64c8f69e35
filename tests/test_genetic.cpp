#include <random>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "actions/load.h"
#include "fit/fit_runs.h"
#include "fit/genetic.h"
#include "test_support.h"

namespace tolvi {
namespace {

TEST(Mt19937, MatchesTheStandardEngineFromTheSameState) {
    Mt19937 ours;
    ours.seed(12345);
    std::stringstream words;
    for (uint32_t w : ours.state()) words << w << ' ';
    words << 624;
    std::mt19937 standard;
    words >> standard;
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(ours.next(), standard()) << i;
}

TEST(Mt19937, ZeroSeedIsReplaced) {
    Mt19937 zero, replacement;
    zero.seed(0);
    replacement.seed(Mt19937::ZERO_SEED_REPLACEMENT);
    EXPECT_EQ(zero.next(), replacement.next());
    EXPECT_NE(zero.next(), 0u);
    double u = zero.uniform();
    EXPECT_GE(u, 0.0);
    EXPECT_LT(u, 1.0);
}

TEST(PickDonors, ThreeDistinctMembersBesideTheTarget) {
    auto ga = std::make_unique<GeneticState>();
    ga->random.seed(3);
    for (int np : {4, 5, 15, 100}) {
        for (int i = 0; i < np; ++i) ga->urn[i] = i;
        for (int round = 0; round < 200; ++round) {
            int target = round % np;
            Donors d = pickDonors(*ga, target, np);
            std::set<int> all{target, d.i1, d.i2, d.i3};
            EXPECT_EQ(all.size(), 4u);
            EXPECT_LT(*all.rbegin(), np);
            EXPECT_GE(*all.begin(), 0);
        }
        for (int i = 0; i < np; ++i) EXPECT_EQ(ga->urn[i], i) << "the urn is full again";
    }
}

class Genetic : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(loadTemplateSlot(*store, std::string(TOLVI_BIN_DIR) + "/").message, "--->OK");
        ASSERT_EQ(collectFitParams(*store, *state, FitMethod::Genetic), 5);
        collectFitPoints(*store, *state);
    }
    std::unique_ptr<ModelStore> store = test::makeStore();
    std::unique_ptr<FitState> state = std::make_unique<FitState>();
    std::unique_ptr<GeneticState> ga = std::make_unique<GeneticState>();
};

TEST_F(Genetic, OneGenerationAndPinnedParameters) {
    state->list.gaMin[1] = state->list.gaMax[1] = 15.25f;  // no room: stays at that value
    int g = geneticFit(*store, *state, *ga, 10, 1, 99);
    EXPECT_EQ(g, 1);
    EXPECT_GT(ga->gaHistory[1], 0.0f);
    EXPECT_EQ(state->list.x[1], 15.25);
    for (int i = 0; i < 10; ++i) {
        const Member& m = ga->population[i];
        EXPECT_EQ(m.value[1], 15.25f);
        for (int j = 0; j < 5; ++j) {
            EXPECT_GE(m.value[j], state->list.gaMin[j]) << i << " " << j;
            EXPECT_LE(m.value[j], state->list.gaMax[j]) << i << " " << j;
        }
        if (i > 0) {
            EXPECT_LE(ga->population[i - 1].cost, m.cost) << "sorted by cost";
        }
    }
}

TEST_F(Genetic, EqualCostsStopAfterTheFirstGeneration) {
    state->window.pointCount.fill(0);  // no point: every cost is 0, the spread is not a number
    EXPECT_EQ(geneticFit(*store, *state, *ga, 10, 50, 1), 1);
    EXPECT_EQ(ga->gaHistory[1], 0.0f);
}

TEST_F(Genetic, NoGenerationRequestedKeepsTheBestInitialMember) {
    EXPECT_EQ(geneticFit(*store, *state, *ga, 10, 0, 5), 0);
    float best = ga->population[0].cost;
    for (int i = 1; i < 10; ++i) best = std::min(best, ga->population[i].cost);
    EXPECT_EQ(ga->best.cost, best);
    EXPECT_EQ(state->list.x[0], static_cast<double>(ga->best.value[0]));
}

TEST_F(Genetic, OversizedPopulationRunsNothing) {
    double x0 = state->list.x[0];
    EXPECT_EQ(geneticFit(*store, *state, *ga, MAX_POPULATION + 1, 10, 5), 0);
    EXPECT_TRUE(ga->populationRefused);
    EXPECT_EQ(state->list.x[0], x0);
}

}  // namespace
}  // namespace tolvi
