#include <cmath>

#include <gtest/gtest.h>

#include "physics/profile.h"
#include "test_support.h"

namespace tolvi {
namespace {

class Profile : public ::testing::Test {
  protected:
    void slab(double rho, double t, double sig) {
        LayerModel& m = store->layerModel(0);
        LayerEntry& s = m.slabs[m.layall++];
        s.rho.value = rho;
        s.t.value = t;
        s.sig.value = sig;
    }
    double rhoAt(double z) {
        for (int i = 0; i < store->nprofile; ++i)
            if (std::abs(store->profileZ[i] - z) < 1e-9) return store->profileRho[i];
        ADD_FAILURE() << "no point at z = " << z;
        return NAN;
    }
    std::unique_ptr<ModelStore> store = test::makeStore();
};

TEST_F(Profile, FilmOnSubstrate) {
    slab(2.33, 0, 5);
    slab(1.0, 100, 5);
    ASSERT_EQ(computeProfile(*store, 0), 201);
    EXPECT_EQ(store->nprofile, 201);
    EXPECT_EQ(store->profileZ[0], -50.0);
    EXPECT_EQ(store->profileZ[200], 150.0);
    EXPECT_NEAR(rhoAt(-40), 2.33, 1e-9);
    EXPECT_NEAR(rhoAt(0), 0.5 * 2.33 + 0.5 * 1.0, 1e-9);
    EXPECT_NEAR(rhoAt(50), 1.0, 1e-9);
    EXPECT_NEAR(rhoAt(100), 0.5, 1e-9);
    EXPECT_LT(rhoAt(131), 1e-4);
}

TEST_F(Profile, ZeroRoughnessIsAStep) {
    slab(2.0, 0, 1);
    slab(1.0, 50, 0);
    slab(3.0, 50, 1);
    computeProfile(*store, 0);
    EXPECT_NEAR(rhoAt(49), 1.0, 1e-9);
    EXPECT_NEAR(rhoAt(51), 3.0, 1e-9);
    EXPECT_NEAR(rhoAt(50), 2.0, 1e-9) << "halfway at the edge itself";
}

TEST_F(Profile, SubstrateAlone) {
    slab(2.33, 0, 5);
    EXPECT_EQ(computeProfile(*store, 0), 80);
    EXPECT_NEAR(store->profileRho[0], 2.33, 1e-9);
    EXPECT_NEAR(store->profileRho[80], 2.33 * 0.5 * std::erfc(30 / (std::sqrt(2.0) * 5)), 1e-12);
}

TEST_F(Profile, CapacityAndDegenerateStacks) {
    slab(2.0, 0, 0);
    slab(1.0, 1000, 0);
    EXPECT_EQ(computeProfile(*store, 0), MAX_PROFILE) << "1001 grid points are cut to 1000";

    store->layerModel(0).layall = 0;
    slab(2.0, 0, 0);
    slab(1.0, 0, 0);
    EXPECT_EQ(computeProfile(*store, 0), 0) << "no depth";

    store->layerModel(0).layall = 0;
    EXPECT_EQ(computeProfile(*store, 0), 0) << "no slab";
}

TEST_F(Profile, HugeInnerRoughnessNeitherHangsNorLeavesTheArrays) {
    slab(2.0, 0, 1);
    slab(1.0, 10, 1e12);
    slab(1.5, 10, 1);
    int n = computeProfile(*store, 0);
    EXPECT_LE(n, MAX_PROFILE);
    for (int i = 0; i < MAX_PROFILE; ++i) ASSERT_TRUE(std::isfinite(store->profileRho[i])) << i;
}

}  // namespace
}  // namespace tolvi
