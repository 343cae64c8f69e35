#include <cmath>

#include <gtest/gtest.h>

#include "actions/load.h"
#include "base/status.h"
#include "physics/optics.h"
#include "test_support.h"

namespace tolvi {
namespace {

constexpr double TWO_PI = 6.283185307179586;

class Materials : public ::testing::Test {
  protected:
    void SetUp() override {
        store->paramDir = dir.path() + "/";
        store->dataSet(0).lamd = 1.54;
        entry().material.assign("Si.mf");
        entry().rho.value = 2.33;
    }
    LayerEntry& entry() { return store->layerModel(0).entries[0]; }

    test::TempDir dir;
    std::unique_ptr<ModelStore> store = test::makeStore();
};

TEST_F(Materials, WorkedSiliconXrayNumbers) {
    test::writeMaterial(dir.file("Si.mf"), 28.0855, 14.28, 0.33, 4.1491, 0.171, 0.0);
    ASSERT_EQ(readMaterial(*store, 0, 0).code, 0);
    // m = 2.7008649e-06 * 1.54^2 * 2.33 / 28.0855 = 5.3139e-07
    EXPECT_NEAR(1.0 - entry().n.re, 7.588331e-06, 5e-13);
    EXPECT_NEAR(entry().n.im, 1.753606e-07, 5e-14);
    EXPECT_EQ(entry().magTerm, (Complex{0.0, 0.0}));
}

TEST_F(Materials, NeutronScatteringLengthDensityOfSilicon) {
    // Si: b = 4.1491 fm, published SLD 2.074e-6 1/Å^2 at 2.33 g/cm3.
    test::writeMaterial(dir.file("Si.mf"), 28.0855, 14.28, 0.33, 4.1491, 0.0, 0.0);
    store->dataSet(0).probe = 1;
    store->dataSet(0).lamd = 5.0;
    ASSERT_EQ(readMaterial(*store, 0, 0).code, 0);
    double sld = (1.0 - entry().n.re) * TWO_PI / (5.0 * 5.0);
    EXPECT_NEAR(sld, 2.074e-6, 0.002e-6);
    EXPECT_EQ(entry().n.im, 0.0);
    EXPECT_EQ(entry().magTerm, (Complex{0.0, 0.0}));
}

TEST_F(Materials, NeutronAbsorptionAndMagneticTerms) {
    // Fe: M 55.845, b 9.45 fm, absorption 2.56 barn, 2.2 Bohr magnetons, 7.874 g/cm3.
    test::writeMaterial(dir.file("Si.mf"), 55.845, 26, 3.2, 9.45, 2.56, 2.2);
    entry().rho.value = 7.874;
    store->dataSet(0).probe = 1;
    store->dataSet(0).lamd = 4.0;
    ASSERT_EQ(readMaterial(*store, 0, 0).code, 0);
    double tau = 16.0 / TWO_PI;
    // Nuclear SLD 8.02e-6, magnetic SLD 2.695 fm per Bohr magneton: 5.03e-6 1/Å^2.
    EXPECT_NEAR((1.0 - entry().n.re) / tau, 8.024e-6, 0.002e-6);
    EXPECT_NEAR(entry().magTerm.re / tau, 5.034e-6, 0.002e-6);
    // Absorption: N sigma / (2 lam) with sigma in Å^2 (1 barn = 1e-8 Å^2).
    double N = 7.874 / 55.845 * 0.6022142;  // formula units per Å^3
    EXPECT_NEAR(entry().n.im / tau, N * 2.56e-8 / 8.0, 1e-15);
    EXPECT_EQ(entry().mag.value, 2.2);
}

TEST_F(Materials, ZeroDensityAndOtherProbes) {
    test::writeMaterial(dir.file("Si.mf"), 28.0855, 14.28, 0.33, 4.1491, 0.0, 1.5);
    entry().rho.value = 0.0;
    ASSERT_EQ(readMaterial(*store, 0, 0).code, 0);
    EXPECT_EQ(entry().n, (Complex{1.0, 0.0}));
    EXPECT_EQ(entry().magTerm, (Complex{0.0, 0.0})) << "an X-ray layer has no magnetic term";

    entry().magTerm = {0.5, 0.0};
    store->dataSet(0).probe = 7;
    computeOpticalConstants(*store, 0, 0);
    EXPECT_EQ(entry().n, (Complex{0.0, 0.0}));
    EXPECT_EQ(entry().magTerm.re, 0.5);
}

TEST_F(Materials, LinesWithCommentsCommasAndBlankLines) {
    test::writeText(dir.file("Si.mf"),
                    "1.54\n\n28.0855, 14\n   \n14.28 ; f1 at Cu K-alpha\n0.33\r\n4.1491\n0.171\n"
                    "0.5 ; mag\nignored lines after the seventh\n");
    entry().mag.value = 3.0;
    ASSERT_EQ(readMaterial(*store, 0, 0).code, 0);
    EXPECT_EQ(entry().molarMass, 28.0855);
    EXPECT_EQ(entry().f1, 14.28);
    EXPECT_EQ(entry().f2, 0.33);
    EXPECT_EQ(entry().bCoh, 4.1491);
    EXPECT_EQ(entry().absXs, 0.171);
    EXPECT_EQ(entry().mag.value, 0.5) << "the file's moment replaces the parameter file's";
}

TEST_F(Materials, BadFilesAreRefusedWithoutStoringAnything) {
    EXPECT_EQ(readMaterial(*store, 0, 0).code, 1);  // no such file

    test::writeText(dir.file("Si.mf"), "1\n28\n14\n0.3\n4\n");
    EXPECT_THROW(readMaterial(*store, 0, 0), NumberError);

    test::writeText(dir.file("Si.mf"), "1\n28\n14\nabc\n4\n0\n0\n");
    try {
        (void)readMaterial(*store, 0, 0);
        FAIL();
    } catch (const NumberError& e) {
        EXPECT_NE(std::string(e.what()).find("Si.mf, line 4"), std::string::npos) << e.what();
    }

    test::writeMaterial(dir.file("Si.mf"), 0.0, 14.28, 0.33, 4.1491, 0.171, 0.0);
    Status s = readMaterial(*store, 0, 0);
    EXPECT_EQ(s.code, 2);
    EXPECT_NE(s.message.find("molar mass"), std::string::npos);
    EXPECT_EQ(entry().molarMass, 0.0);
    EXPECT_EQ(entry().n, (Complex{0.0, 0.0}));
}

TEST_F(Materials, ZeroWavelengthNeverStoresInfinity) {
    test::writeMaterial(dir.file("Si.mf"), 28.0855, 14.28, 0.33, 4.1491, 0.171, 0.0);
    ASSERT_EQ(readMaterial(*store, 0, 0).code, 0);
    Complex before = entry().n;
    store->dataSet(0).probe = 1;
    store->dataSet(0).lamd = 0.0;
    EXPECT_THROW(computeOpticalConstants(*store, 0, 0), NumberError);
    EXPECT_EQ(entry().n, before);
}

}  // namespace
}  // namespace tolvi
