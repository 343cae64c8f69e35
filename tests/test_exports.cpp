#include "actions/exports.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/text_io.h"
#include "test_support.h"

namespace tolvi {
namespace {

class Exports : public ::testing::Test {
  protected:
    // Three points, the last one outside the x range (exports ignore the range).
    void SetUp() override {
        DataSet& d = store->dataSet(1);
        d.npoints = 3;
        d.xmin = 0;
        d.xmax = 0.25;
        const double x[] = {0.1, 0.2, 0.3}, y[] = {1000, 10, 0.5}, c[] = {950, 12.5, 0.25},
                     rf[] = {1000, 100, 1};
        for (int i = 0; i < 3; ++i) {
            d.xData[i] = x[i];
            d.yLin[i] = y[i];
            d.calcLin[i] = c[i];
            d.rfLin[i] = rf[i];
            d.yLog[i] = std::log10(y[i]);
            d.calcLog[i] = std::log10(c[i]);
            d.rfLog[i] = std::log10(rf[i]);
        }
    }

    std::unique_ptr<ModelStore> store = test::makeStore();
    test::TempDir dir;
};

TEST_F(Exports, CurveRowsInTheirFormats) {
    EXPECT_EQ(exportText(*store, 1, ExportKind::DataFit),
              "0.100000  1.000000e+03  9.500000e+02\n"
              "0.200000  1.000000e+01  1.250000e+01\n"
              "0.300000  5.000000e-01  2.500000e-01\n");
    EXPECT_EQ(exportText(*store, 1, ExportKind::Data),
              "0.100000  1.000000e+03\n0.200000  1.000000e+01\n0.300000  5.000000e-01\n");
    EXPECT_EQ(exportText(*store, 1, ExportKind::Fit),
              "0.100000  9.500000e+02\n0.200000  1.250000e+01\n0.300000  2.500000e-01\n");
}

TEST_F(Exports, RatioModeWritesLinearRatiosToTheReference) {
    store->rRfMode = true;
    EXPECT_EQ(exportText(*store, 1, ExportKind::DataFit),
              "0.100000  1.000000e+00  9.500000e-01\n"
              "0.200000  1.000000e-01  1.250000e-01\n"
              "0.300000  5.000000e-01  2.500000e-01\n");
    EXPECT_EQ(exportText(*store, 1, ExportKind::Data).substr(0, 23), "0.100000  1.000000e+03\n")
        << "only \"Save data/fit\" divides";
}

TEST_F(Exports, RatioToAMissingReferenceIsAnError) {
    store->rRfMode = true;
    store->dataSet(1).rfLin[2] = 0;
    EXPECT_THROW(exportText(*store, 1, ExportKind::DataFit), NumberError);
}

TEST_F(Exports, TinyXPrintsAsZeroWithSixDecimals) {
    store->dataSet(1).xData[0] = 4e-7;
    EXPECT_EQ(exportText(*store, 1, ExportKind::Data).substr(0, 10), "0.000000  ");
}

TEST_F(Exports, ProfilesAreComputedThenWritten) {
    LayerModel& m = store->layerModel(1);
    m.layall = 2;
    m.slabs[0].rho.value = 2.33;
    m.slabs[0].sig.value = 5;
    m.slabs[1].rho.value = 1;
    m.slabs[1].t.value = 100;
    m.slabs[1].sig.value = 5;
    std::string text = exportText(*store, 1, ExportKind::Profiles);
    EXPECT_EQ(store->nprofile, 201);
    EXPECT_EQ(text.substr(0, 21), "-50.000000   2.330000");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 201);
    EXPECT_NE(text.find("\n50.000000   1.000000\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 22), "150.000000   0.000000\n");
}

TEST_F(Exports, EmptySlotWritesAnEmptyFile) {
    EXPECT_EQ(exportText(*store, 4, ExportKind::DataFit), "");
    EXPECT_EQ(exportText(*store, 4, ExportKind::Profiles), "");
}

TEST_F(Exports, WriteReplacesAFileWithTheText) {
    std::string path = dir.file("out.dat");
    test::writeText(path, "old content that is longer than the new one\n\n\n\n\n\n\n\n\n\n");
    ASSERT_TRUE(writeExport(*store, 1, ExportKind::Fit, path).ok());
    EXPECT_EQ(test::readText(path), exportText(*store, 1, ExportKind::Fit));
}

TEST_F(Exports, AFileThatCannotBeCreatedIsReportedAndNothingIsTouched) {
    Status s = writeExport(*store, 1, ExportKind::Data, dir.file("missing/out.dat"));
    EXPECT_EQ(s.code, -1);
    EXPECT_EQ(s.message.rfind("--->Error", 0), 0u) << s.message;

    // A directory in the way stays a directory, and nothing is left beside it.
    std::filesystem::create_directory(dir.file("taken.dat"));
    EXPECT_EQ(writeExport(*store, 1, ExportKind::Data, dir.file("taken.dat")).code, -1);
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("taken.dat")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(Exports, AFaultBeforeWritingLeavesTheOldFile) {
    std::string path = dir.file("keep.dat");
    test::writeText(path, "keep\n");
    store->rRfMode = true;
    store->dataSet(1).rfLin[0] = 0;
    EXPECT_THROW((void)writeExport(*store, 1, ExportKind::DataFit, path), NumberError);
    EXPECT_EQ(test::readText(path), "keep\n");
}

TEST_F(Exports, ChartCurveOfARangeInLogUnits) {
    ChartCurve c = chartCurve(store->dataSet(1), 1, 2, false);
    ASSERT_EQ(c.x.size(), 2u);
    EXPECT_EQ(c.x[0], 0.2);
    EXPECT_EQ(c.measured[0], 1.0);
    EXPECT_EQ(c.calculated[1], std::log10(0.25));

    ChartCurve ratio = chartCurve(store->dataSet(1), 0, 1, true);
    EXPECT_DOUBLE_EQ(ratio.measured[0], 0.0);
    EXPECT_DOUBLE_EQ(ratio.measured[1], -1.0);
    EXPECT_DOUBLE_EQ(ratio.calculated[1], std::log10(0.125));

    VisibleRange none;
    EXPECT_TRUE(chartCurve(store->dataSet(1), none.first, none.last, false).x.empty());
}

TEST_F(Exports, DataFitRatioCurveOfEveryPoint) {
    ChartCurve c = dataFitRatioCurve(store->dataSet(1));
    ASSERT_EQ(c.measured.size(), 3u);
    EXPECT_TRUE(c.calculated.empty());
    const DataSet& d = store->dataSet(1);
    EXPECT_EQ(c.measured[1], d.yLog[1] - d.calcLog[1]);
    EXPECT_NEAR(c.measured[2], std::log10(0.5 / 0.25), 1e-15);
}

}  // namespace
}  // namespace tolvi
