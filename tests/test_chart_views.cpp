// The views of the reflectivity chart: x on another axis, q⁴-normalised and reference-ratio
// intensities, error bars and the fit's residuals, against their definitions on known points.
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "actions/chart_views.h"
#include "actions/curves.h"
#include "actions/exports.h"
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
    // As loaded: the file's x itself, on any axis.
    for (int axis : {0, 1, 2}) {
        d.xAxis = axis;
        EXPECT_EQ(viewX(d, 0.1234567, AxisView::AsLoaded), 0.1234567) << axis;
    }
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

bool samePoints(const std::vector<double>& a, const std::vector<double>& b) {
    return a == b;  // every value to the last bit
}

// The view the chart starts in (intensity, log10, x as loaded) draws what the chart drew before
// there were views: chartCurve's and dataFitRatioCurve's points, with and without R/Rf', over
// the x range and over every point.
TEST_F(Views, TheDefaultViewIsTheChartCurveToTheLastBit) {
    DataSet& d = store->dataSet(0);
    d.xmin = 1.0;  // a range that leaves points out, so that the two point sets differ
    store->rRfMode = true;
    refreshReference(*store, 0);
    for (bool ratio : {false, true}) {
        CurveView view = ratio ? CurveView::ReferenceRatio : CurveView::Intensity;
        ChartCurve range = rangeCurve(d, ratio), all = chartCurve(d, 0, d.npoints - 1, ratio);
        ViewCurve inRange =
            viewCurve(*store, 0, view, AxisView::AsLoaded, ViewPoints::XRange, YScale::Log10);
        ViewCurve every =
            viewCurve(*store, 0, view, AxisView::AsLoaded, ViewPoints::All, YScale::Log10);
        ASSERT_LT(range.x.size(), all.x.size());
        EXPECT_TRUE(samePoints(inRange.x, range.x)) << ratio;
        EXPECT_TRUE(samePoints(inRange.measured, range.measured)) << ratio;
        EXPECT_TRUE(samePoints(inRange.calculated, range.calculated)) << ratio;
        EXPECT_TRUE(samePoints(every.x, all.x)) << ratio;
        EXPECT_TRUE(samePoints(every.measured, all.measured)) << ratio;
        EXPECT_TRUE(samePoints(every.calculated, all.calculated)) << ratio;
    }
    ChartCurve dataFit = dataFitRatioCurve(d);
    ViewCurve dataFitView = dataFitRatioView(d, AxisView::AsLoaded, YScale::Log10);
    EXPECT_TRUE(samePoints(dataFitView.x, dataFit.x));
    EXPECT_TRUE(samePoints(dataFitView.measured, dataFit.measured));
}

// Log10 of the linear values where nothing is stored in log10, the ratio of measured to
// calculated in both scales, and every point whatever the x range.
TEST_F(Views, LogAndLinearValuesOfEachView) {
    DataSet& d = store->dataSet(0);
    ViewCurve q4 = viewCurve(*store, 0, CurveView::NormalisedQ4, AxisView::Q);
    ViewCurve q4Log = viewCurve(*store, 0, CurveView::NormalisedQ4, AxisView::Q, ViewPoints::XRange,
                                YScale::Log10);
    ViewCurve plain = viewCurve(*store, 0, CurveView::Intensity, AxisView::Q);
    ViewCurve plainLog =
        viewCurve(*store, 0, CurveView::Intensity, AxisView::Q, ViewPoints::XRange, YScale::Log10);
    ViewCurve ratio = dataFitRatioView(d, AxisView::Theta, YScale::Linear);
    ViewCurve ratioLog = dataFitRatioView(d, AxisView::Theta, YScale::Log10);
    // Where the template's background reaches the intensity, (I - bg) q⁴ is 0 or less and has
    // no log10: those points are left out.
    size_t k = 0;
    for (size_t j = 0; j < q4.x.size(); ++j) {
        if (!(q4.measured[j] > 0 && q4.calculated[j] > 0)) continue;
        ASSERT_LT(k, q4Log.x.size());
        EXPECT_EQ(q4Log.x[k], q4.x[j]);
        EXPECT_EQ(q4Log.measured[k], std::log10(q4.measured[j]));
        EXPECT_EQ(q4Log.calculated[k], std::log10(q4.calculated[j]));
        ++k;
    }
    EXPECT_EQ(k, q4Log.x.size());
    EXPECT_LT(k, q4.x.size());
    ASSERT_EQ(ratio.x.size(), static_cast<size_t>(d.npoints));
    for (int i : {0, 100, 590}) {
        EXPECT_EQ(plain.measured[i], d.yLin[i]);
        EXPECT_EQ(plainLog.measured[i], d.yLog[i]);
        EXPECT_EQ(plainLog.residual[i], plain.residual[i]) << "the residual is the fit's";
        EXPECT_NEAR(ratio.x[i], d.xData[i] / 2, 1e-13);
        EXPECT_EQ(ratio.measured[i], d.yLin[i] / d.calcLin[i]);
        EXPECT_EQ(ratioLog.measured[i], d.yLog[i] - d.calcLog[i]);
        EXPECT_TRUE(ratio.calculated.empty() && ratio.residual.empty());
    }
    d.xmax = 1.0;
    EXPECT_LT(viewCurve(*store, 0, CurveView::Intensity, AxisView::Q).x.size(), plain.x.size());
    EXPECT_EQ(viewCurve(*store, 0, CurveView::Intensity, AxisView::Q, ViewPoints::All).x, plain.x);
}

// On the log scale an error bar's ends are log10 too; a low end of 0 or less has no log10 and
// is -infinity, while its point stays.
TEST_F(Views, LogErrorBarsRunOutOfViewBelowZero) {
    store = test::makeStore();
    store->dataOptions[0].errors = ErrorSource::Data;
    ASSERT_TRUE(loadTemplateSlot(*store, std::string(TOLVI_BIN_DIR) + "/").succeeded());
    const DataSet& d = store->dataSet(0);
    PointErrors& e = store->pointErrors[0];
    e.dy[7] = 2 * d.yLin[7];
    ViewCurve c = viewCurve(*store, 0, CurveView::Intensity, AxisView::AsLoaded, ViewPoints::XRange,
                            YScale::Log10);
    ASSERT_EQ(c.x.size(), static_cast<size_t>(d.npoints));
    EXPECT_EQ(c.errorLow[3], std::log10(d.yLin[3] - e.dy[3]));
    EXPECT_EQ(c.errorHigh[3], std::log10(d.yLin[3] + e.dy[3]));
    EXPECT_EQ(c.errorLow[7], -std::numeric_limits<double>::infinity());
    EXPECT_EQ(c.errorHigh[7], std::log10(3 * d.yLin[7]));
    EXPECT_EQ(c.measured[7], d.yLog[7]);
}

// The ratio view computes its reference when the R/Rf' switch is off (nothing keeps one then):
// the same as the switch's.
TEST_F(Views, TheRatioViewPreparesTheReference) {
    store->rRfMode = true;
    refreshReference(*store, 0);
    const DataSet& d = store->dataSet(0);
    std::vector<double> reference(d.rfLin.begin(), d.rfLin.begin() + d.npoints);
    store->dataSet(0).rfLin.fill(0.0);
    store->rRfMode = false;
    prepareView(*store, 0, CurveView::Intensity);
    EXPECT_EQ(d.rfLin[10], 0.0) << "nothing to prepare";
    prepareView(*store, 0, CurveView::ReferenceRatio);
    EXPECT_TRUE(
        samePoints(std::vector<double>(d.rfLin.begin(), d.rfLin.begin() + d.npoints), reference));
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
