#include <climits>
#include <vector>

#include <gtest/gtest.h>

#include "physics/optics.h"
#include "physics/slab_stack.h"
#include "test_support.h"

namespace tolvi {
namespace {

// Layer tables built in memory: every row a silicon-like X-ray material.
class SlabStack : public ::testing::Test {
  protected:
    void SetUp() override { store->dataSet(0).lamd = 1.54; }

    LayerEntry& add(int kind, double sig, int rept = 0, int groupSize = 0, int sigjoin = 0) {
        LayerModel& m = store->layerModel(0);
        LayerEntry& e = m.entries[m.nlay++];
        e.kind = kind;
        e.rept = rept;
        e.groupSize = groupSize;
        e.sigjoin = sigjoin;
        e.sig.value = sig;
        e.rho.value = 2.33;
        e.t.value = 10.0 * m.nlay;
        e.molarMass = 28.0855;
        e.f1 = 14.28;
        e.f2 = 0.33;
        return e;
    }
    std::vector<double> slabSigmas() {
        std::vector<double> out;
        for (int s = 0; s < model().layall; ++s) out.push_back(model().slabs[s].sig.value);
        return out;
    }
    LayerModel& model() { return store->layerModel(0); }

    std::unique_ptr<ModelStore> store = test::makeStore();
};

TEST_F(SlabStack, SingleLayersAreCopiedInOrder) {
    for (int i = 0; i < 4; ++i) add(0, i);
    buildSlabStack(*store, 0);
    ASSERT_EQ(model().layall, 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(model().slabs[i].t.value, model().entries[i].t.value);
        EXPECT_EQ(model().slabs[i].n, model().entries[i].n);
    }
    EXPECT_NEAR(1.0 - model().slabs[0].n.re, 7.588331e-06, 5e-13);
}

TEST_F(SlabStack, GroupsRepeatAndRampTheirRoughness) {
    add(0, 1);
    add(1, 3, 3, 2, 1);  // bilayer A/B, three times, joined roughness
    add(2, 5, 0, 2);
    add(0, 9);
    buildSlabStack(*store, 0);
    std::vector<double> sig = slabSigmas();
    std::vector<double> expected{1, 3.0, 5.4, 3.8, 6.2, 4.6, 7.0, 9};
    ASSERT_EQ(sig.size(), expected.size());
    for (size_t i = 0; i < sig.size(); ++i) EXPECT_NEAR(sig[i], expected[i], 1e-12) << i;
    EXPECT_EQ(model().entries[1].sig.value, 3.0) << "the ramp changes slabs, not rows";
}

TEST_F(SlabStack, UnjoinedGroupAlternatesItsRows) {
    add(0, 0);
    add(1, 3, 10, 2, 0);
    add(2, 5, 0, 2);
    buildSlabStack(*store, 0);
    ASSERT_EQ(model().layall, 21);
    for (int s = 1; s < 21; ++s) EXPECT_EQ(model().slabs[s].sig.value, s % 2 ? 3.0 : 5.0) << s;
}

TEST_F(SlabStack, EmptyGroupAndSingleLayerGroup) {
    add(0, 0);
    add(1, 3, 0, 2, 1);  // repeated zero times: no slab
    add(2, 5, 0, 2);
    add(1, 4, 1, 1, 1);  // one layer once: ramp step 0, not 0/0
    buildSlabStack(*store, 0);
    ASSERT_EQ(model().layall, 2);
    EXPECT_EQ(model().slabs[1].sig.value, 4.0);
}

TEST_F(SlabStack, TiesCopyValuesFromEarlierRows) {
    add(0, 0);
    add(0, 0);
    add(0, 0).t.fit = -1;             // index 2 takes t of the substrate row
    model().entries[1].rho.fit = -3;  // names a later row: acts as fixed
    model().entries[1].rho.value = 1.5;
    buildSlabStack(*store, 0);
    const TieTable& ties = store->ties[0];
    ASSERT_EQ(ties.count, 1);
    EXPECT_EQ(ties.param[0], PARAM_T);
    EXPECT_EQ(ties.source[0], 0);
    EXPECT_EQ(ties.target[0], 2);
    EXPECT_EQ(model().entries[2].t.value, model().entries[0].t.value);
    EXPECT_EQ(model().entries[1].rho.value, 1.5);
}

TEST_F(SlabStack, TieChainsEndAtTheirFirstSource) {
    for (int i = 0; i < 5; ++i) add(0, i);
    model().entries[2].sig.fit = -1;
    model().entries[4].sig.fit = -3;
    model().entries[3].mag.fit = INT_MIN;  // far out of range, and no overflow
    buildSlabStack(*store, 0);
    EXPECT_EQ(model().entries[4].sig.value, 0.0);
    EXPECT_EQ(model().slabs[4].sig.value, 0.0);
    EXPECT_EQ(store->ties[0].count, 2);
}

TEST_F(SlabStack, TiedDensityReachesTheIndexInTheSameBuild) {
    add(0, 0).rho.value = 2.0;
    add(0, 0);
    add(0, 0).rho.fit = -1;
    buildSlabStack(*store, 0);
    model().entries[0].rho.value = 3.0;
    buildSlabStack(*store, 0);
    EXPECT_EQ(model().entries[2].rho.value, 3.0);
    EXPECT_EQ(model().entries[2].n, model().entries[0].n);
    EXPECT_EQ(model().slabs[2].n, model().entries[0].n);
}

TEST_F(SlabStack, EveryTieIsHonouredButFiftyAreRecorded) {
    add(0, 7);
    for (int i = 1; i < 60; ++i) add(0, i).sig.fit = -1;
    buildSlabStack(*store, 0);
    EXPECT_EQ(store->ties[0].count, MAX_TIES);
    EXPECT_EQ(model().entries[59].sig.value, 7.0);
}

TEST_F(SlabStack, ExpansionStopsAtCapacity) {
    add(0, 0);
    add(1, 1, 300, 2, 0);
    add(2, 1, 0, 2);
    EXPECT_EQ(countSlabs(model()), 601);
    buildSlabStack(*store, 0);
    EXPECT_EQ(model().layall, MAX_SLABS);
}

}  // namespace
}  // namespace tolvi
