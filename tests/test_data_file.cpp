#include <cmath>

#include <gtest/gtest.h>

#include "actions/load.h"
#include "base/status.h"
#include "model/data_file.h"
#include "model/param_file.h"
#include "test_support.h"

namespace tolvi {
namespace {

class DataFile : public ::testing::Test {
  protected:
    void SetUp() override {
        test::writeMaterial(dir.file("Si.mf"), 28.0855, 14.28, 0.33, 4.1491, 0.171, 0.0);
    }
    // Loads a one-layer silicon model whose data file holds `data`.
    Status load(const std::string& data, int simFit = 1, int yScale = 0, int xAxis = 0) {
        test::writeText(dir.file("data.dat"), data);
        test::writeText(dir.file("a.par"), test::headerText(simFit, yScale, 0, xAxis, 1.54) +
                                               test::blockText("S Si.mf", {2.33}));
        store->layerModel(0).paramPath = dir.file("a.par");
        return readParamFile(*store, 0);
    }
    const DataSet& data() { return store->dataSet(0); }

    test::TempDir dir;
    std::unique_ptr<ModelStore> store = test::makeStore();
};

TEST_F(DataFile, SimulationGridOf201Points) {
    Status s = load("", 0);
    EXPECT_EQ(s.message, "--->OK");
    ASSERT_EQ(data().npoints, 201);
    EXPECT_NEAR(data().xData[1], 0.12, 1e-15);
    EXPECT_NEAR(data().xData[200], 4.1, 1e-15);
    for (int i = 0; i < 201; ++i) {
        EXPECT_EQ(data().yLin[i], data().calcLin[i]);
        EXPECT_EQ(data().yLog[i], data().calcLog[i]);
    }
}

TEST_F(DataFile, LinearDataFloorsZerosTwentyDecadesBelowTheMaximum) {
    Status s = load("0.2 1000 5\n0.3 0\n\n0.4 -3, 7\r\n0.5 10\n");
    EXPECT_EQ(s.message, "--->OK");
    ASSERT_EQ(data().npoints, 4);
    EXPECT_EQ(data().yLin[0], 1000.0);
    EXPECT_DOUBLE_EQ(data().yLin[1], 1e-17);
    EXPECT_DOUBLE_EQ(data().yLog[2], -17.0);
    EXPECT_EQ(data().yLog[3], 1.0);
    EXPECT_EQ(data().xData[2], 0.4);
    EXPECT_NEAR(data().sigmaLog[0], 5 * (0.002 * 0.04 + 0.02), 1e-15);
    EXPECT_GT(data().calcLin[0], 0.0);
}

TEST_F(DataFile, LogDataIsStoredAsRead) {
    ASSERT_EQ(load("0.2 3\n0.3 -2.5\n", 1, 1).message, "--->OK");
    EXPECT_EQ(data().yLog[1], -2.5);
    EXPECT_DOUBLE_EQ(data().yLin[1], std::pow(10.0, -2.5));
    EXPECT_DOUBLE_EQ(data().yLin[0], 1000.0);
}

TEST_F(DataFile, OrsoFileWithItsHeaderLoadsOnTheQAxis) {
    const char* ort =
        "# # ORSO reflectivity data file | 1.0 standard | YAML encoding\n"
        "# data_source:\n#   owner: {name: somebody}\n# columns:\n"
        "# - {name: Qz, unit: 1/angstrom}\n# - {name: R}\n# - {name: sR}\n"
        "# - {name: sQz, unit: 1/angstrom}\n# # Qz R sR sQz\n"
        "0.010 0.91 0.01 0.0001\n0.020 0.052 0.001 0.0002\n  # a comment in between\n"
        "0.030 0.0061 0.0001 0.0003\n";
    Status s = load(ort, 1, 0, 2);
    EXPECT_EQ(s.message, "--->OK");
    ASSERT_EQ(data().npoints, 3);
    EXPECT_EQ(data().xData[2], 0.03);
    EXPECT_EQ(data().yLin[1], 0.052);
    EXPECT_GT(data().calcLin[2], 0.0);
}

TEST_F(DataFile, TwoThousandPointsAtMost) {
    std::string text;
    for (int i = 0; i < 2500; ++i) text += std::to_string(0.001 * (i + 1)) + " 1\n";
    EXPECT_EQ(load(text).message, "--->Warning, MAX_DATA reached");
    EXPECT_EQ(data().npoints, MAX_DATA);
    EXPECT_EQ(data().xData[1999], 2.0);

    text.clear();
    for (int i = 0; i < 1999; ++i) text += "0.5 1\n";
    EXPECT_EQ(load(text).message, "--->OK");
    EXPECT_EQ(load(text + "0.5 1\n").message, "--->Warning, MAX_DATA reached");
}

TEST_F(DataFile, BadLinesNameTheirLine) {
    try {
        (void)load("0.2 1000\n\n0.3\n0.4 2\n");
        FAIL();
    } catch (const NumberError& e) {
        EXPECT_NE(std::string(e.what()).find("data.dat, line 3"), std::string::npos) << e.what();
    }
    EXPECT_THROW((void)load("theta intensity\n0.2 1\n"), NumberError);
    EXPECT_THROW((void)load("0.2 400\n", 1, 1), NumberError) << "10^400 is not a double";
}

TEST_F(DataFile, EmptyFileLoadsWithAWarning) {
    for (const char* text : {"", "\n\n  \n", "# only a header\n"}) {
        EXPECT_EQ(load(text).message, "--->Warning, no data point") << text;
        EXPECT_EQ(data().npoints, 0);
    }
}

TEST_F(DataFile, MissingFileKeepsTheOldCurve) {
    ASSERT_EQ(load("0.2 1\n0.3 2\n").code, 0);
    std::remove(dir.file("data.dat").c_str());
    store->layerModel(0).paramPath = dir.file("a.par");
    Status s = readParamFile(*store, 0);
    EXPECT_EQ(s.code, 0);
    EXPECT_EQ(s.message, "--->Error, cant find data");
    EXPECT_EQ(data().npoints, 2);
}

TEST_F(DataFile, ReferenceCurveInRRfMode) {
    store->rRfMode = true;
    ASSERT_EQ(load("0.5 1\n").message, "--->OK");
    EXPECT_NEAR(data().rfLin[0], data().calcLin[0], 1e-15 * data().calcLin[0])
        << "a bare substrate is its own reference";
}

TEST(PointSigma, ErrorGrowsWithTheSquareOfTheAngle) {
    auto store = test::makeStore();
    DataSet& d = store->dataSet(0);
    d.lamd = 1.54;
    d.xAxis = 0;
    EXPECT_NEAR(pointSigma(*store, 0, 1.0), 0.11, 1e-15);
    EXPECT_NEAR(pointSigma(*store, 0, 3.0), 0.19, 1e-15);
    EXPECT_NEAR(pointSigma(*store, 0, 0.0), 0.1, 1e-15);
    d.xAxis = 1;
    EXPECT_NEAR(pointSigma(*store, 0, 2.0), 0.11, 1e-15);
    d.xAxis = 2;
    double q = 4 * M_PI * std::sin(1.0 * M_PI / 180) / 1.54;  // theta = 1 degree
    EXPECT_NEAR(pointSigma(*store, 0, q), 0.11, 1e-12);
    // Beyond the largest reachable q the point counts as 90 degrees: a large, finite error.
    EXPECT_NEAR(pointSigma(*store, 0, 10.0), 5 * (0.002 * 8100 + 0.02), 1e-9);
    d.xAxis = 0;
    EXPECT_TRUE(std::isfinite(pointSigma(*store, 0, 1e200)));
    d.xAxis = 5;
    EXPECT_EQ(pointSigma(*store, 0, 1.0), 0.0);
}

}  // namespace
}  // namespace tolvi
