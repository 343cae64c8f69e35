// The reflectivity chart's views (View menu and tool bar), the error bars of measured points, the
// residual panel that shares the chart's x axis, and zooming the Fourier page's charts.
#include <QAction>
#include <QApplication>
#include <QGraphicsLayout>
#include <QLineSeries>
#include <QMenu>
#include <QMouseEvent>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <array>
#include <cmath>
#include <functional>
#include <limits>

#include "actions/chart_views.h"
#include "base/constants.h"
#include "fit/fit_params.h"
#include "model/project_file.h"
#include "ui/chart_view.h"
#include "window_fixture.h"

namespace tolvi::test {
namespace {

using ui::ChartView;

const char* const VIEW_ACTIONS[] = {
    "actionViewIntensity", "actionViewQ4",       "actionViewRatio", "actionViewLogY",
    "actionViewLinearY",   "actionViewAsLoaded", "actionViewTheta", "actionViewTwoTheta",
    "actionViewQ",         "actionViewResiduals"};

// The template: a W/Si multilayer on the 2θ axis (λ 1.54 Å), 591 points, all in its x range.
class ViewsTest : public WindowTest {
  protected:
    void choose(const char* action) { find<QAction>(action)->trigger(); }
    ChartView* chart(const char* name) const { return find<ChartView>(name); }

    // The chart's points of series `index` against the expected x and y of each point drawn.
    void expectPoints(int index, const std::vector<double>& x, const std::vector<double>& y,
                      const char* what) const {
        std::vector<QPointF> p = seriesPoints("Chart1", index);
        ASSERT_EQ(p.size(), x.size()) << what;
        for (size_t i = 0; i < p.size(); ++i) {
            ASSERT_EQ(p[i].x(), x[i]) << what << " point " << i;
            ASSERT_EQ(p[i].y(), y[i]) << what << " point " << i;
        }
    }
    std::vector<double> column(const std::array<double, MAX_DATA>& values) const {
        return {values.begin(), values.begin() + store->dataSet(0).npoints};
    }
    // Every point of every series of both charts is finite.
    void expectFinite(const char* what) const {
        for (const char* name : {"Chart1", "ChartResidual"})
            for (int s = 0; s < chart(name)->seriesCount(); ++s)
                for (QPointF p : seriesPoints(name, s))
                    ASSERT_TRUE(std::isfinite(p.x()) && std::isfinite(p.y()))
                        << what << " " << name << " " << s;
    }
};

// ---------------------------------------------------------------------------------------------
// The actions

using ViewActions = ViewsTest;

TEST_F(ViewActions, AreInTheViewMenuAndTheToolBarWithTooltips) {
    QMenu* menu = find<QMenu>("menuView");
    QToolBar* bar = find<QToolBar>("viewToolBar");
    for (const char* name : VIEW_ACTIONS) {
        QAction* a = find<QAction>(name);
        EXPECT_TRUE(menu->actions().contains(a)) << name;
        EXPECT_TRUE(bar->actions().contains(a)) << name;
        EXPECT_TRUE(a->isCheckable()) << name;
        // Qt's tooltip of an action is its text until one is set.
        EXPECT_GT(a->toolTip().size(), a->text().size() + 10) << name;
        EXPECT_EQ(bar->widgetForAction(a)->toolTip(), a->toolTip()) << name;
    }
    for (const char* name :
         {"actionViewIntensity", "actionViewLogY", "actionViewAsLoaded", "actionViewResiduals"})
        EXPECT_TRUE(find<QAction>(name)->isChecked()) << name << " starts checked";
    EXPECT_TRUE(find<QAction>("actionViewQ")->toolTip().contains("1/Å"));
}

TEST_F(ViewActions, EachGroupIsExclusiveAndTheToolBarSwitchesAsTheMenu) {
    loadTemplate();
    choose("actionViewQ");
    EXPECT_TRUE(find<QAction>("actionViewQ")->isChecked());
    EXPECT_FALSE(find<QAction>("actionViewAsLoaded")->isChecked());
    EXPECT_EQ(chart("Chart1")->xTitle(), "q (1/Å)");

    QToolBar* bar = find<QToolBar>("viewToolBar");
    QTest::mouseClick(bar->widgetForAction(find<QAction>("actionViewTwoTheta")), Qt::LeftButton);
    EXPECT_TRUE(find<QAction>("actionViewTwoTheta")->isChecked());
    EXPECT_FALSE(find<QAction>("actionViewQ")->isChecked());
    EXPECT_EQ(chart("Chart1")->xTitle(), "2θ (deg)");
    QTest::mouseClick(bar->widgetForAction(find<QAction>("actionViewQ4")), Qt::LeftButton);
    QTest::mouseClick(bar->widgetForAction(find<QAction>("actionViewLinearY")), Qt::LeftButton);
    EXPECT_FALSE(find<QAction>("actionViewIntensity")->isChecked());
    EXPECT_FALSE(find<QAction>("actionViewLogY")->isChecked());
    EXPECT_EQ(chart("Chart1")->yTitle(), "R q^4 (1/Å^4)");
    choose("actionViewLogY");
    EXPECT_EQ(chart("Chart1")->yTitle(), "Log10 ( R q^4 )");
    choose("actionViewRatio");
    EXPECT_EQ(chart("Chart1")->yTitle(), "Log10 ( I / Rf' )");

    // The residual panel hides and comes back.
    choose("actionViewResiduals");
    EXPECT_FALSE(chart("ChartResidual")->isVisible());
    choose("actionViewResiduals");
    EXPECT_TRUE(chart("ChartResidual")->isVisible());
    EXPECT_TRUE(errors->messages.isEmpty());
}

// A change of view draws what is shown again and changes nothing in the workspace.
TEST_F(ViewActions, LeaveTheModelAsItIs) {
    loadTemplate();
    std::string before = projectText(*store);
    for (const char* name :
         {"actionViewQ4", "actionViewTheta", "actionViewLinearY", "actionViewRatio", "actionViewQ"})
        choose(name);
    EXPECT_EQ(projectText(*store), before);
    EXPECT_FALSE(store->rRfMode);
}

// ---------------------------------------------------------------------------------------------
// What each view draws

using ChartViews = ViewsTest;

// The view the window starts in draws the stored log10 intensities over the file's x, as the
// chart always has, under the same titles; so after a round of other views.
TEST_F(ChartViews, TheDefaultViewDrawsTheStoredLogIntensities) {
    loadTemplate();
    const DataSet& d = store->dataSet(0);
    EXPECT_EQ(chart("Chart1")->xTitle(), "x (θ/2θ/q)");
    EXPECT_EQ(chart("Chart1")->yTitle(), "Log10 ( I )");
    expectPoints(0, column(d.xData), column(d.yLog), "measured");
    expectPoints(1, column(d.xData), column(d.calcLog), "calculated");
    std::vector<QPointF> first = seriesPoints("Chart1", 1);

    for (const char* name : {"actionViewQ", "actionViewQ4", "actionViewLinearY"}) choose(name);
    for (const char* name : {"actionViewAsLoaded", "actionViewIntensity", "actionViewLogY"})
        choose(name);
    click("Button6");
    EXPECT_EQ(seriesPoints("Chart1", 1), first);
    EXPECT_EQ(chart("Chart1")->xTitle(), "x (θ/2θ/q)");
    EXPECT_EQ(chart("Chart1")->yTitle(), "Log10 ( I )");

    click("Button17");
    std::vector<double> ratio;
    for (int i = 0; i < d.npoints; ++i) ratio.push_back(d.yLog[i] - d.calcLog[i]);
    expectPoints(0, column(d.xData), ratio, "Rdata/Fit");
    EXPECT_EQ(chart("Chart1")->yTitle(), "Log10 ( Rdata / Fit )");
}

// Each view's numbers on the template against their definitions: x from 2θ to θ and q, R·q⁴ as
// (I - bg) / 10^logI0 · q⁴, the linear values themselves.
TEST_F(ChartViews, EachViewConvertsTheTemplatesPoints) {
    loadTemplate();
    const DataSet& d = store->dataSet(0);
    auto thetaOf = [&d](int i) { return d.xData[i] / 2 * PI / 180; };
    auto qOf = [&](int i) { return 4 * PI * std::sin(thetaOf(i)) / 1.54; };
    auto q4Of = [&](int i) {
        return (d.yLin[i] - d.bg.value) * std::pow(qOf(i), 4) / std::pow(10.0, d.logI0.value);
    };
    struct Case {
        std::vector<const char*> actions;
        QString xTitle, yTitle;
        std::function<double(int)> x, y;
    };
    const Case cases[] = {
        {{"actionViewQ"}, "q (1/Å)", "Log10 ( I )", qOf, [&d](int i) { return d.yLog[i]; }},
        {{"actionViewTheta"},
         "θ (deg)",
         "Log10 ( I )",
         [&d](int i) { return d.xData[i] / 2; },
         [&d](int i) { return d.yLog[i]; }},
        {{"actionViewLinearY"},
         "θ (deg)",
         "I",
         [&d](int i) { return d.xData[i] / 2; },
         [&d](int i) { return d.yLin[i]; }},
        {{"actionViewQ4", "actionViewQ"}, "q (1/Å)", "R q^4 (1/Å^4)", qOf, q4Of},
    };
    for (const Case& c : cases) {
        for (const char* action : c.actions) choose(action);
        EXPECT_EQ(chart("Chart1")->xTitle(), c.xTitle);
        EXPECT_EQ(chart("Chart1")->yTitle(), c.yTitle);
        std::vector<QPointF> p = seriesPoints("Chart1", 0);
        ASSERT_EQ(p.size(), static_cast<size_t>(d.npoints)) << c.yTitle.toStdString();
        for (int i : {0, 120, 450, 590}) {
            EXPECT_NEAR(p[i].x(), c.x(i), 1e-12 * std::fabs(c.x(i))) << i;
            EXPECT_NEAR(p[i].y(), c.y(i), 1e-12 * std::fabs(c.y(i))) << i;
        }
        expectFinite(c.yTitle.toLatin1().constData());
    }
    // Log10 of R·q⁴: the points whose (I - bg) is 0 or less have none and are left out.
    choose("actionViewLogY");
    std::vector<QPointF> p = seriesPoints("Chart1", 0);
    ASSERT_GT(p.size(), static_cast<size_t>(d.npoints / 2));
    EXPECT_NEAR(p[0].y(), std::log10(q4Of(0)), 1e-12);
    expectFinite("log R q^4");
}

// I / Rf' computes its own reference with the R/Rf' switch off and draws what the switch draws
// with it on; the switch on the intensity view keeps its meaning on any x axis.
TEST_F(ChartViews, TheRatioViewAndTheRatioSwitchDrawTheSame) {
    loadTemplate();
    choose("actionViewQ");
    choose("actionViewRatio");
    std::vector<QPointF> view = seriesPoints("Chart1", 0);
    EXPECT_FALSE(store->rRfMode);

    choose("actionViewIntensity");
    toggle("CheckBox1");
    click("Button6");
    EXPECT_EQ(seriesPoints("Chart1", 0), view);
    EXPECT_EQ(chart("Chart1")->yTitle(), "Log10 ( I / Rf' )");
    const DataSet& d = store->dataSet(0);
    EXPECT_EQ(view[10].y(), d.yLog[10] - d.rfLog[10]);
}

// Plot All, Fit and Rdata/Fit in a view other than the default: each slot converted, the fit's
// curve drawn in the view, the data-to-fit ratio on the chosen axis and scale; a change of view
// draws "Rdata/Fit" again as such.
TEST_F(ChartViews, PlotAllFitAndRdataFitKeepTheView) {
    loadTemplate();
    loadParam(writeFilm("film.par", 120));
    choose("actionViewQ");
    choose("actionViewLinearY");
    click("Button10");
    for (int slot : {0, 1}) {
        ViewCurve c = viewCurve(*store, slot, CurveView::Intensity, AxisView::Q);
        expectPoints(2 * slot, c.x, c.measured, "Plot All measured");
        expectPoints(2 * slot + 1, c.x, c.calculated, "Plot All calculated");
    }

    chooseItem("RGF", 0);
    chooseItem("RGM", 0);
    click("Button4");
    ASSERT_TRUE(field(4).startsWith("-->OK")) << field(4).toStdString();
    ViewCurve fitted = viewCurve(*store, 0, CurveView::Intensity, AxisView::Q);
    expectPoints(1, fitted.x, fitted.calculated, "the fitted curve");

    click("Button17");
    const DataSet& d = store->dataSet(0);
    std::vector<QPointF> p = seriesPoints("Chart1", 0);
    ASSERT_EQ(p.size(), static_cast<size_t>(d.npoints));
    EXPECT_EQ(p[20].y(), d.yLin[20] / d.calcLin[20]);
    EXPECT_EQ(chart("Chart1")->yTitle(), "Rdata / Fit");
    choose("actionViewLogY");
    p = seriesPoints("Chart1", 0);
    EXPECT_EQ(p[20].y(), d.yLog[20] - d.calcLog[20]);
    EXPECT_EQ(points("Chart1", 1), 0) << "still Rdata/Fit";
    EXPECT_EQ(chart("Chart1")->yTitle(), "Log10 ( Rdata / Fit )");
    expectFinite("Rdata/Fit");
    EXPECT_TRUE(errors->messages.isEmpty());
}

// ---------------------------------------------------------------------------------------------
// Residuals

using Residuals = ViewsTest;

// After a fit, the fit's own residual of each point, to the last bit, in the slot's colour over
// a zero line; nothing once the chart is cleared.
TEST_F(Residuals, AfterAFitTheyAreThePointResiduals) {
    loadTemplate();
    chooseItem("RGM", 0);
    click("Button4");
    ASSERT_TRUE(field(4).startsWith("-->OK")) << field(4).toStdString();
    const DataSet& d = store->dataSet(0);
    std::vector<QPointF> r = seriesPoints("ChartResidual", 0);
    ASSERT_EQ(r.size(), static_cast<size_t>(d.npoints));
    ViewCurve c = viewCurve(*store, 0, CurveView::Intensity, AxisView::AsLoaded);
    for (int i = 0; i < d.npoints; ++i) {
        ASSERT_EQ(r[i].x(), d.xData[i]) << i;
        ASSERT_EQ(r[i].y(), pointResidual(*store, 0, i)) << i;
        ASSERT_EQ(r[i].y(), c.residual[i]) << i;
    }
    EXPECT_EQ(series("ChartResidual", 0)->pen().color(), series("Chart1", 1)->pen().color());
    std::vector<QPointF> zero = seriesPoints("ChartResidual", MAX_SLOTS);
    ASSERT_EQ(zero.size(), 2u);
    EXPECT_EQ(zero[0].y(), 0.0);
    EXPECT_EQ(zero[1].y(), 0.0);
    EXPECT_EQ(chart("ChartResidual")->yTitle(), "Residual");

    // On the q axis the same residuals, at the points' q.
    choose("actionViewQ");
    std::vector<QPointF> q = seriesPoints("ChartResidual", 0);
    ASSERT_EQ(q.size(), r.size());
    EXPECT_EQ(q[100].y(), r[100].y());
    EXPECT_EQ(q[100].x(), seriesPoints("Chart1", 0)[100].x());

    click("Button11");
    for (int s = 0; s <= MAX_SLOTS; ++s) EXPECT_EQ(points("ChartResidual", s), 0) << s;
}

// The residual panel's x range is Chart1's, exactly, through zooms, pans and resets, and its
// plot area lines up under Chart1's.
TEST_F(Residuals, ThePanelSharesTheChartsXRange) {
    loadTemplate();
    ChartView* main = chart("Chart1");
    ChartView* residual = chart("ChartResidual");
    auto expectSameX = [&](const char* after) {
        QRectF a = main->viewRange(), b = residual->viewRange();
        EXPECT_EQ(b.left(), a.left()) << after;
        EXPECT_EQ(b.right(), a.right()) << after;
    };
    expectSameX("the template");
    QRectF full = main->viewRange();

    main->zoomTo(QRectF(QPointF(1.25, 1.0), QPointF(2.5, 4.0)));
    expectSameX("a zoom");
    EXPECT_EQ(residual->viewRange().left(), 1.25);
    main->setFocus();
    QTest::keyClick(main, Qt::Key_Right);
    expectSameX("a pan");
    EXPECT_GT(residual->viewRange().left(), 1.25);
    // A zoom of the panel itself changes its y only.
    residual->zoomTo(QRectF(QPointF(0.0, -1.0), QPointF(9.0, 1.0)));
    expectSameX("the panel's zoom");
    EXPECT_EQ(residual->viewRange().top(), -1.0);
    QTest::keyClick(main, Qt::Key_Home);
    expectSameX("a reset");
    EXPECT_EQ(main->viewRange().left(), full.left());
    EXPECT_EQ(main->viewRange().right(), full.right());

    QApplication::processEvents();
    main->chart()->layout()->activate();
    residual->chart()->layout()->activate();
    QApplication::processEvents();
    QRectF a = main->chart()->plotArea(), b = residual->chart()->plotArea();
    EXPECT_NEAR(b.left(), a.left(), 1.0);
    EXPECT_NEAR(b.right(), a.right(), 1.0);
}

// ---------------------------------------------------------------------------------------------
// Error bars

using ErrorBars = ViewsTest;

// With errors from the data file, each measured point has its bar from y - σ to y + σ (log10 on
// the log scale), laid out where the chart maps those values, again after a zoom and a resize.
TEST_F(ErrorBars, FollowTheDataErrorsAndTheView) {
    editDataSettings([](ui::DataSettingsChoice& c) { c.errors = ErrorSource::Data; });
    loadTemplate();
    ASSERT_TRUE(store->pointErrors[0].loaded);
    const DataSet& d = store->dataSet(0);
    const PointErrors& e = store->pointErrors[0];
    ChartView* main = chart("Chart1");
    auto expectLaidOut = [&](const char* after) {
        std::vector<ChartView::ErrorBar> bars = main->errorBars(0);
        ASSERT_EQ(bars.size(), static_cast<size_t>(d.npoints)) << after;
        for (int i : {0, 200, 590}) {
            const ChartView::ErrorBar& b = bars[i];
            QPointF low = main->chart()->mapToPosition(QPointF(b.x, b.low), main->series(0));
            QPointF high = main->chart()->mapToPosition(QPointF(b.x, b.high), main->series(0));
            EXPECT_NEAR(b.segment.x1(), low.x(), 1e-9) << after << i;
            EXPECT_NEAR(b.segment.y1(), low.y(), 1e-9) << after << i;
            EXPECT_NEAR(b.segment.x2(), high.x(), 1e-9) << after << i;
            EXPECT_NEAR(b.segment.y2(), high.y(), 1e-9) << after << i;
        }
    };
    std::vector<ChartView::ErrorBar> bars = main->errorBars(0);
    ASSERT_EQ(bars.size(), static_cast<size_t>(d.npoints));
    for (int i : {0, 200, 590}) {
        EXPECT_EQ(bars[i].x, d.xData[i]);
        EXPECT_EQ(bars[i].low, std::log10(d.yLin[i] - e.dy[i]));
        EXPECT_EQ(bars[i].high, std::log10(d.yLin[i] + e.dy[i]));
        EXPECT_LT(bars[i].segment.y2(), bars[i].segment.y1()) << "up the screen";
    }
    expectLaidOut("the template");
    QLineF before = main->errorBars(0)[200].segment;
    main->zoomTo(QRectF(QPointF(1.0, 1.0), QPointF(3.0, 4.0)));
    expectLaidOut("a zoom");
    EXPECT_GT(main->errorBars(0)[200].segment.length(), before.length());
    window->resize(1500, 950);
    QApplication::processEvents();
    expectLaidOut("a resize");
    EXPECT_TRUE(main->errorBars(2).empty()) << "no bars on the model curve";

    choose("actionViewLinearY");
    bars = main->errorBars(0);
    ASSERT_EQ(bars.size(), static_cast<size_t>(d.npoints));
    EXPECT_EQ(bars[200].low, d.yLin[200] - e.dy[200]);
    EXPECT_EQ(bars[200].high, d.yLin[200] + e.dy[200]);
    expectLaidOut("the linear view");

    // Rdata/Fit draws a ratio, without bars.
    click("Button17");
    EXPECT_TRUE(main->errorBars(0).empty());
}

TEST_F(ErrorBars, NoneWithTheBuiltInWeights) {
    loadTemplate();
    EXPECT_TRUE(chart("Chart1")->errorBars(0).empty());
}

// A bar whose low end the axis cannot show starts at the bottom of the plot area.
TEST(ErrorBarLayout, ALowEndOutOfReachStartsAtTheBottom) {
    ChartView view({"C", "", "x", "y", false, std::nullopt, {{"S", Qt::red, "line"}}});
    view.resize(400, 300);
    view.show();
    view.setPoints(0, std::vector<double>{0.0, 1.0, 2.0}, std::vector<double>{1.0, 2.0, 3.0});
    const double below = -std::numeric_limits<double>::infinity();
    view.setErrorBars(0, {0.0, 1.0, 2.0}, {0.5, below, 2.5}, {1.5, 2.5, 3.5});
    QApplication::processEvents();
    std::vector<ChartView::ErrorBar> bars = view.errorBars(0);
    ASSERT_EQ(bars.size(), 3u);
    EXPECT_EQ(bars[1].segment.y1(), view.chart()->plotArea().bottom());
    EXPECT_EQ(bars[1].segment.y2(),
              view.chart()->mapToPosition(QPointF(1.0, 2.5), view.series(0)).y());
    EXPECT_EQ(bars[1].segment.pointAt(0).x(), bars[1].segment.pointAt(1).x()) << "vertical";
    view.clearSeries(0);
    EXPECT_TRUE(view.errorBars(0).empty()) << "cleared with the series";
}

// ---------------------------------------------------------------------------------------------
// The Fourier page's charts

using FourierCharts = ViewsTest;

// Each of the three charts zooms to a dragged rectangle or a given range and comes back to the
// full view by double-click or Home, after an FT of the template.
TEST_F(FourierCharts, ZoomAndComeBackToTheFullView) {
    find<QTabWidget>("Plot")->setCurrentIndex(1);
    click("Button19");
    click("Button21");
    ASSERT_EQ(field(14), "--->OK");
    QApplication::processEvents();
    for (const char* name : {"Chart3", "Chart4", "Chart5"}) {
        ChartView* v = chart(name);
        QRectF full = v->viewRange();
        v->chart()->layout()->activate();
        QRectF plot =
            v->viewportTransform().mapRect(v->chart()->mapRectToScene(v->chart()->plotArea()));
        QPoint from = (plot.topLeft() + plot.center()).toPoint() / 2;
        QPoint to = plot.center().toPoint();
        QWidget* port = v->viewport();
        QTest::mousePress(port, Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(port, to);
        QTest::mouseRelease(port, Qt::LeftButton, Qt::NoModifier, to);
        EXPECT_TRUE(v->zoomed()) << name;
        EXPECT_LT(v->viewRange().width(), full.width() / 2) << name;
        QTest::mouseDClick(port, Qt::LeftButton, Qt::NoModifier, to);
        EXPECT_FALSE(v->zoomed()) << name;
        EXPECT_EQ(v->viewRange(), full) << name;

        QRectF part(QPointF(full.left() + full.width() / 4, full.top()),
                    QPointF(full.right() - full.width() / 4, full.bottom()));
        v->zoomTo(part);
        EXPECT_TRUE(v->zoomed()) << name;
        EXPECT_EQ(v->viewRange().left(), part.left()) << name;
        v->setFocus();
        QTest::keyClick(v, Qt::Key_Home);
        EXPECT_FALSE(v->zoomed()) << name;
        EXPECT_EQ(v->viewRange(), full) << name;
    }
}

}  // namespace
}  // namespace tolvi::test
