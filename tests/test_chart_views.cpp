// The views of the reflectivity chart: x on another axis, q⁴-normalised and reference-ratio
// intensities, error bars and the fit's residuals, against their definitions on known points.
#include <cmath>
#include <memory>

#include <gtest/gtest.h>

#include "actions/chart_views.h"
#include "actions/curves.h"
#include "actions/load.h"
#include "base/constants.h"
#include "base/text_io.h"
#include "test_support.h"

namespace tolvi {
namespace {

TEST(ViewX, AnglesAndQOnEveryFileAxis) {
    DataSet d;
    d.lamd = 1.54;
    const double q1 = 4 * PI * std::sin(PI / 180) / 1.54;  // θ = 1°
    d.xAxis = 0;                                           // θ
    EXPECT_NEAR(viewX(d, 1.0, AxisView::Theta), 1.0, 1e-13);
    EXPECT_NEAR(viewX(d, 1.0, AxisView::TwoTheta), 2.0, 1e-13);
    EXPECT_NEAR(viewX(d, 1.0, AxisView::Q), q1, 1e-15);
    d.xAxis = 1;  // 2θ
    EXPECT_NEAR(viewX(d, 2.0, AxisView::Theta), 1.0, 1e-13);
    EXPECT_NEAR(viewX(d, 2.0, AxisView::Q), q1, 1e-15);
    d.xAxis = 2;  // q
    EXPECT_NEAR(viewX(d, q1, AxisView::Theta), 1.0, 1e-12);
    EXPECT_NEAR(viewX(d, 0.1, AxisView::Q), 0.1, 1e-15);
}

class Views : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(loadTemplateSlot(*store, std::string(TOLVI_BIN_DIR) + "/").succeeded());
    }
    std::unique_ptr<ModelStore> store = test::makeStore();
};

TEST_F(Views, IntensityNormalisedAndRatioOnTheTemplate) {
    const DataSet& d = store->dataSet(0);
    ViewCurve plain = viewCurve(*store, 0, CurveView::Intensity, AxisView::TwoTheta);
    ViewCurve q4 = viewCurve(*store, 0, CurveView::NormalisedQ4, AxisView::Q);
    store->rRfMode = true;  // the reference is computed for the R/Rf' display
    refreshReference(*store, 0);
    ViewCurve ratio = viewCurve(*store, 0, CurveView::ReferenceRatio, AxisView::Theta);
    ASSERT_EQ(plain.x.size(), static_cast<size_t>(d.npoints));  // the template's range is all
    ASSERT_EQ(q4.x.size(), plain.x.size());
    ASSERT_EQ(ratio.x.size(), plain.x.size());
    for (int i : {0, 100, 590}) {
        EXPECT_EQ(plain.x[i], d.xData[i]) << "the file's own axis is 2θ";
        EXPECT_EQ(plain.measured[i], d.yLin[i]);
        EXPECT_EQ(plain.calculated[i], d.calcLin[i]);
        double q = 4 * PI * std::sin(d.xData[i] / 2 * PI / 180) / 1.54;
        EXPECT_NEAR(q4.x[i], q, 1e-15);
        double f = q * q * q * q / std::pow(10.0, d.logI0.value);
        EXPECT_NEAR(q4.measured[i], (d.yLin[i] - d.bg.value) * f,
                    1e-12 * std::fabs(q4.measured[i]));
        EXPECT_NEAR(q4.calculated[i], (d.calcLin[i] - d.bg.value) * f,
                    1e-12 * std::fabs(q4.calculated[i]));
        EXPECT_NEAR(ratio.x[i], d.xData[i] / 2, 1e-13);
        // The ratio's log10 is what the R/Rf' switch draws.
        EXPECT_NEAR(std::log10(ratio.measured[i]), d.yLog[i] - d.rfLog[i], 1e-12);
        EXPECT_NEAR(std::log10(ratio.calculated[i]), d.calcLog[i] - d.rfLog[i], 1e-12);
    }
    // The built-in weights: residuals in log10 units, no error bars.
    EXPECT_TRUE(plain.errorLow.empty());
    for (int i : {3, 300})
        EXPECT_DOUBLE_EQ(plain.residual[i], (d.yLog[i] - d.calcLog[i]) / d.sigmaLog[i]);
}

TEST_F(Views, ErrorsFromTheDataGiveErrorBarsAndTheirResiduals) {
    store = test::makeStore();
    store->dataOptions[0].errors = ErrorSource::Data;
    ASSERT_TRUE(loadTemplateSlot(*store, std::string(TOLVI_BIN_DIR) + "/").succeeded());
    const DataSet& d = store->dataSet(0);
    const PointErrors& e = store->pointErrors[0];
    ASSERT_TRUE(e.loaded);
    ViewCurve c = viewCurve(*store, 0, CurveView::Intensity, AxisView::Q);
    ViewCurve q4 = viewCurve(*store, 0, CurveView::NormalisedQ4, AxisView::Q);
    ASSERT_EQ(c.errorLow.size(), c.x.size());
    for (int i : {0, 250, 590}) {
        // The template's errors: sqrt(counts) / 10 s of its counts per second.
        EXPECT_NEAR(e.dy[i], std::sqrt(std::max(d.yLin[i] * 10, 1.0)) / 10, 1e-5 * e.dy[i]);
        EXPECT_EQ(c.errorLow[i], d.yLin[i] - e.dy[i]);
        EXPECT_EQ(c.errorHigh[i], d.yLin[i] + e.dy[i]);
        EXPECT_DOUBLE_EQ(c.residual[i], (d.yLin[i] - d.calcLin[i]) / e.dy[i]);
        // Error bars scale with the view.
        double f = q4.measured[i] / (d.yLin[i] - d.bg.value);
        EXPECT_NEAR(q4.errorHigh[i] - q4.measured[i], e.dy[i] * f, 1e-9 * e.dy[i] * f);
    }
}

// Points outside the x range are not drawn.
TEST_F(Views, OnlyThePointsInsideTheRange) {
    store->dataSet(0).xmin = 1.0;
    store->dataSet(0).xmax = 2.0;
    ViewCurve c = viewCurve(*store, 0, CurveView::Intensity, AxisView::TwoTheta);
    ASSERT_FALSE(c.x.empty());
    for (double x : c.x) {
        EXPECT_GE(x, 1.0 - 1e-12);
        EXPECT_LE(x, 2.0 + 1e-12);
    }
}

}  // namespace
}  // namespace tolvi
