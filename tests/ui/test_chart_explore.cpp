// Exploring a chart: zoom by rectangle and wheel, pan by drag and keys, back to the full view,
// the legend and the readout of the values under the mouse.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCategoryAxis>
#include <QGraphicsLayout>
#include <QLabel>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>
#include <cmath>

#include "ui/chart_view.h"
#include "window_fixture.h"

namespace tolvi::test {
namespace {

using ui::ChartView;

// A shown chart of a straight line from (0, 0) to (10, 100), plus an empty second series, whose
// full view is 0..10 by 0..100; or the same line from 1 to 1e4 on a logarithmic axis.
class Explore : public ::testing::Test {
  protected:
    explicit Explore(bool logY = false)
        : view({"C",
                "",
                "x",
                "y",
                logY,
                std::nullopt,
                {{"S", Qt::red, "line"}, {"T", Qt::blue, "other"}}}) {
        view.resize(640, 420);
        view.show();
        QApplication::processEvents();
        setLine(1.0);
    }

    // The line from (0, 0) to (10, 100 scale), or on a log axis from (0, 1) to (10, 1e4 scale).
    void setLine(double scale) {
        std::vector<double> x, y;
        for (int i = 0; i <= 100; ++i) {
            x.push_back(0.1 * i);
            y.push_back(log() ? scale * std::pow(10.0, 0.04 * i) : scale * i);
        }
        view.setPoints(0, x, y);
        QApplication::processEvents();
    }
    bool log() const { return qobject_cast<QLogValueAxis*>(view.chart()->axes(Qt::Vertical)[0]); }

    QWidget* viewport() { return view.viewport(); }
    QRectF plot() const {
        view.chart()->layout()->activate();
        return view.viewportTransform().mapRect(
            view.chart()->mapRectToScene(view.chart()->plotArea()));
    }
    // Viewport pixels of a value, and back, as the chart maps them once laid out for its
    // latest labels.
    QPointF pixelOf(QPointF value) const {
        view.chart()->layout()->activate();
        QPointF chartPos = view.chart()->mapToPosition(value, view.series(0));
        return view.viewportTransform().map(view.chart()->mapToScene(chartPos));
    }
    QPointF valueAt(QPointF pixel) const {
        view.chart()->layout()->activate();
        QPointF scenePos = view.viewportTransform().inverted().map(pixel);
        return view.chart()->mapToValue(view.chart()->mapFromScene(scenePos), view.series(0));
    }
    // Values of a pixel's width and height at the current view.
    QSizeF pixelSize() const {
        QRectF r = view.viewRange();
        return {r.width() / plot().width(), r.height() / plot().height()};
    }

    void mouse(QEvent::Type type, QPointF pos, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QMouseEvent event(type, pos, viewport()->mapToGlobal(pos), button, buttons, modifiers);
        QApplication::sendEvent(viewport(), &event);
    }
    void move(QPointF pos, Qt::MouseButtons buttons = Qt::NoButton) {
        mouse(QEvent::MouseMove, pos, Qt::NoButton, buttons);
    }
    // Press at `from`, a move halfway and one to `to`, release there.
    void drag(QPointF from, QPointF to, Qt::MouseButton button,
              Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        mouse(QEvent::MouseButtonPress, from, button, button, modifiers);
        mouse(QEvent::MouseMove, (from + to) / 2.0, Qt::NoButton, button, modifiers);
        mouse(QEvent::MouseMove, to, Qt::NoButton, button, modifiers);
        mouse(QEvent::MouseButtonRelease, to, button, Qt::NoButton, modifiers);
    }
    void doubleClick(QPointF pos) {
        mouse(QEvent::MouseButtonPress, pos, Qt::LeftButton, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::NoButton);
        mouse(QEvent::MouseButtonDblClick, pos, Qt::LeftButton, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::NoButton);
    }
    void wheel(QPointF pos, int eighths) {
        QWheelEvent event(pos, viewport()->mapToGlobal(pos), QPoint(), QPoint(0, eighths),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport(), &event);
    }

    static QRectF full() { return QRectF(QPointF(0, 0), QPointF(10, 100)); }

    ChartView view;
};

class ExploreLog : public Explore {
  protected:
    ExploreLog() : Explore(true) {}
};

void expectRange(const QRectF& got, const QRectF& want, QSizeF tolerance) {
    EXPECT_NEAR(got.left(), want.left(), tolerance.width());
    EXPECT_NEAR(got.right(), want.right(), tolerance.width());
    EXPECT_NEAR(got.top(), want.top(), tolerance.height());
    EXPECT_NEAR(got.bottom(), want.bottom(), tolerance.height());
}

TEST_F(Explore, TheFullViewIsTheDatasRoundRange) {
    EXPECT_FALSE(view.zoomed());
    EXPECT_EQ(view.viewRange(), full());
}

TEST_F(Explore, ARectangleDraggedZoomsToItsValues) {
    QSizeF pixel = pixelSize();
    drag(pixelOf({2, 80}), pixelOf({6, 20}), Qt::LeftButton);
    EXPECT_TRUE(view.zoomed());
    expectRange(view.viewRange(), QRectF(QPointF(2, 20), QPointF(6, 80)), pixel);
    // Dragged the other way round, the same rectangle.
    view.resetView();
    drag(pixelOf({6, 20}), pixelOf({2, 80}), Qt::LeftButton);
    expectRange(view.viewRange(), QRectF(QPointF(2, 20), QPointF(6, 80)), pixel);
}

TEST_F(Explore, ADragOfAFewPixelsIsAClick) {
    QPointF from = pixelOf({5, 50});
    drag(from, from + QPointF(ChartView::MIN_DRAG - 2, 40), Qt::LeftButton);
    EXPECT_FALSE(view.zoomed()) << "too narrow";
    drag(from, from + QPointF(40, 2), Qt::LeftButton);
    EXPECT_FALSE(view.zoomed()) << "too low";
    EXPECT_EQ(view.viewRange(), full());
}

TEST_F(Explore, TheWheelZoomsAroundTheValueUnderTheCursor) {
    QPointF cursor = pixelOf({3, 70});
    QPointF before = valueAt(cursor);
    wheel(cursor, 120);
    EXPECT_TRUE(view.zoomed());
    QRectF r = view.viewRange();
    EXPECT_NEAR(r.width(), 10 / ChartView::WHEEL_ZOOM, 1e-9);
    EXPECT_NEAR(r.height(), 100 / ChartView::WHEEL_ZOOM, 1e-9);
    QPointF after = valueAt(cursor);
    EXPECT_NEAR(after.x(), before.x(), 1e-9);
    EXPECT_NEAR(after.y(), before.y(), 1e-9);
    // A notch back undoes it, but for the few pixels new labels may have moved the plot area by.
    wheel(cursor, -120);
    expectRange(view.viewRange(), full(), pixelSize() * 12);
    EXPECT_NEAR(view.viewRange().width(), 10, 1e-9);
}

TEST_F(ExploreLog, OnALogarithmicAxisTheWheelZoomsInLogSpace) {
    EXPECT_EQ(view.viewRange(), QRectF(QPointF(0, 1), QPointF(10, 1e4)));
    QPointF cursor = pixelOf({4, 100});
    QPointF before = valueAt(cursor);
    wheel(cursor, 240);
    QRectF r = view.viewRange();
    double zoom = ChartView::WHEEL_ZOOM * ChartView::WHEEL_ZOOM;
    EXPECT_NEAR(r.width(), 10 / zoom, 1e-9);
    EXPECT_NEAR(std::log10(r.bottom() / r.top()), 4 / zoom, 1e-9) << "decades shown";
    QPointF after = valueAt(cursor);
    EXPECT_NEAR(after.x(), before.x(), 1e-9);
    EXPECT_NEAR(std::log10(after.y()), std::log10(before.y()), 1e-9);
}

// The value grabbed stays under the mouse, which puts the range a drag's length of pixels
// further, give or take the few pixels the y labels' width moves the plot area by.
TEST_F(Explore, ADragWithTheMiddleButtonOrWithShiftPans) {
    QSizeF pixel = pixelSize();
    const QPointF from = pixelOf({5, 50}), delta(60, -40);  // right and up
    const QRectF moved = full().translated(-delta.x() * pixel.width(), delta.y() * pixel.height());
    for (bool shift : {false, true}) {
        view.resetView();
        if (shift)
            drag(from, from + delta, Qt::LeftButton, Qt::ShiftModifier);
        else
            drag(from, from + delta, Qt::MiddleButton);
        EXPECT_TRUE(view.zoomed());
        QRectF r = view.viewRange();
        EXPECT_NEAR(r.width(), 10, 1e-9);
        EXPECT_NEAR(r.height(), 100, 1e-9);
        QPointF grabbed = valueAt(from + delta);
        EXPECT_NEAR(grabbed.x(), 5, 1e-9);
        EXPECT_NEAR(grabbed.y(), 50, 1e-9);
        expectRange(r, moved, pixel * 12);
    }
}

TEST_F(ExploreLog, PanningALogarithmicAxisMovesItsDecades) {
    double decadesPerPixel = 4 / plot().height();
    QPointF from = pixelOf({5, 100});
    drag(from, from + QPointF(0, 50), Qt::MiddleButton);  // down: higher values come in
    QRectF r = view.viewRange();
    EXPECT_NEAR(std::log10(r.bottom() / r.top()), 4, 1e-9);
    EXPECT_NEAR(std::log10(r.top()), 50 * decadesPerPixel, 1e-9) << "no label moves the height";
    EXPECT_NEAR(std::log10(valueAt(from + QPointF(0, 50)).y()), 2, 1e-9);
}

TEST_F(Explore, TheArrowKeysPanByATenth) {
    QTest::keyClick(&view, Qt::Key_Right);
    expectRange(view.viewRange(), full().translated(1, 0), {1e-9, 1e-9});
    QTest::keyClick(&view, Qt::Key_Up);
    expectRange(view.viewRange(), full().translated(1, 10), {1e-9, 1e-9});
    QTest::keyClick(&view, Qt::Key_Left);
    QTest::keyClick(&view, Qt::Key_Down);
    QTest::keyClick(&view, Qt::Key_Down);
    expectRange(view.viewRange(), full().translated(0, -10), {1e-9, 1e-9});
}

TEST_F(Explore, ADoubleClickOrHomeGoesBackToTheFullView) {
    view.zoomTo(QRectF(QPointF(2, 20), QPointF(4, 30)));
    ASSERT_TRUE(view.zoomed());
    doubleClick(pixelOf({3, 25}));
    EXPECT_FALSE(view.zoomed());
    EXPECT_EQ(view.viewRange(), full());

    wheel(pixelOf({5, 50}), 120);
    ASSERT_TRUE(view.zoomed());
    QTest::keyClick(&view, Qt::Key_Home);
    EXPECT_FALSE(view.zoomed());
    EXPECT_EQ(view.viewRange(), full());
}

TEST_F(Explore, WhileZoomedNewPointsKeepTheView) {
    const QRectF zoom(QPointF(2, 20), QPointF(4, 30));
    view.zoomTo(zoom);
    setLine(3.0);  // a fit redrawing its curve: the line now reaches 300
    EXPECT_EQ(view.viewRange(), zoom);
    view.resetView();
    EXPECT_EQ(view.viewRange(), QRectF(QPointF(0, 0), QPointF(10, 300)));
    setLine(1.0);
    EXPECT_EQ(view.viewRange(), full()) << "followed again";

    view.zoomTo(zoom);
    view.clearAll();
    EXPECT_FALSE(view.zoomed());
    setLine(1.0);
    EXPECT_EQ(view.viewRange(), full());
}

TEST_F(Explore, UnusableRangesAreIgnored) {
    const QRectF zoom(QPointF(2, 20), QPointF(4, 30));
    view.zoomTo(zoom);
    view.zoomTo(QRectF(QPointF(1, 5), QPointF(1, 9)));  // no width
    view.zoomTo(QRectF(QPointF(1, 5), QPointF(1 + 1e-12, 9)));
    view.zoomTo(QRectF(QPointF(1, 5), QPointF(INFINITY, 9)));
    EXPECT_EQ(view.viewRange(), zoom);
}

TEST_F(ExploreLog, ALogarithmicRangeMustBePositive) {
    view.zoomTo(QRectF(QPointF(1, -5), QPointF(2, 9)));
    EXPECT_FALSE(view.zoomed());
}

// The zoomed range is kept as chosen; the labels fall on round values inside it only.
TEST_F(Explore, TickLabelsStayRoundOnAZoomedAxis) {
    view.zoomTo(QRectF(QPointF(0.123, 13.7), QPointF(0.987, 42.1)));
    auto* x = static_cast<QCategoryAxis*>(view.chart()->axes(Qt::Horizontal)[0]);
    auto* y = static_cast<QCategoryAxis*>(view.chart()->axes(Qt::Vertical)[0]);
    EXPECT_EQ(x->min(), 0.123);
    EXPECT_EQ(x->max(), 0.987);
    EXPECT_EQ(x->categoriesLabels(),
              QStringList({"0.2", "0.3", "0.4", "0.5", "0.6", "0.7", "0.8", "0.9"}));
    EXPECT_EQ(y->categoriesLabels(), QStringList({"15", "20", "25", "30", "35", "40"}));
    for (QCategoryAxis* axis : {x, y})
        for (const QString& label : axis->categoriesLabels()) {
            EXPECT_DOUBLE_EQ(axis->endValue(label), label.toDouble()) << "on its value";
            EXPECT_GE(axis->endValue(label), axis->min());
            EXPECT_LE(axis->endValue(label), axis->max());
        }

    // A wheel notch or a pan keeps the labels round: zero is "0", not the rounding of 0.1 - 0.1.
    view.zoomTo(QRectF(QPointF(-0.31, -3), QPointF(0.33, 5)));
    EXPECT_EQ(x->categoriesLabels(),
              QStringList({"-0.3", "-0.2", "-0.1", "0", "0.1", "0.2", "0.3"}));
    wheel(pixelOf({0.01, 1}), 120);
    for (const QString& label : x->categoriesLabels() + y->categoriesLabels()) {
        EXPECT_LE(label.size(), 5) << label.toStdString();
        EXPECT_FALSE(label.contains('e')) << label.toStdString();
    }
    view.resetView();
    EXPECT_EQ(x->categoriesLabels().first(), "0");
    EXPECT_EQ(x->categoriesLabels().last(), "10") << "the full view labels its ends again";
}

TEST_F(Explore, TheReadoutGivesTheValuesUnderTheMouse) {
    auto* readout = view.findChild<QLabel*>("ChartReadout");
    ASSERT_NE(readout, nullptr);
    EXPECT_EQ(view.readoutText(), "");
    QPointF pos = plot().topLeft() + QPointF(123.4, 56.7);
    move(pos);
    QPointF v = valueAt(pos);
    EXPECT_EQ(view.readoutText(), QString::asprintf("x = %g  y = %g", v.x(), v.y()));
    EXPECT_EQ(readout->text(), view.readoutText());
    EXPECT_TRUE(readout->isVisible());
    EXPECT_TRUE(plot().contains(readout->geometry())) << "over the plot area's corner";

    move(plot().bottomLeft() + QPointF(-10, 0));  // over the y axis' labels
    EXPECT_EQ(view.readoutText(), "");
    move(pos);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(viewport(), &leave);
    EXPECT_EQ(view.readoutText(), "");
    EXPECT_FALSE(readout->isVisible());
}

TEST_F(Explore, TheLegendNamesTheSeriesWithPointsWhenThereAreTwo) {
    EXPECT_EQ(view.legendTexts(), QStringList()) << "one curve: the axes name it";
    EXPECT_TRUE(view.legendRect().isEmpty());

    view.setPoints(1, std::vector<double>{1, 2}, std::vector<double>{3, 4});
    QApplication::processEvents();
    EXPECT_EQ(view.legendTexts(), QStringList({"line", "other"}));
    // A small box in the plot area's top right corner.
    QRectF box = view.legendRect(), area = view.chart()->plotArea();
    EXPECT_TRUE(area.contains(box));
    EXPECT_LT(area.right() - box.right(), 10);
    EXPECT_LT(box.top() - area.top(), 10);
    EXPECT_LT(box.width() * box.height(), 0.05 * area.width() * area.height());

    view.setSeriesName(1, "renamed");
    EXPECT_EQ(view.legendTexts(), QStringList({"line", "renamed"}));
    EXPECT_EQ(view.series(1)->objectName(), "T") << "tests still find it";
    view.setSeriesName(1, "");
    EXPECT_EQ(view.legendTexts(), QStringList()) << "a series without a name is left out";
    view.setSeriesName(1, "other");
    view.clearSeries(0);
    EXPECT_EQ(view.legendTexts(), QStringList());
}

class ChartLegends : public WindowTest {
  protected:
    QStringList legend(const char* chart) const {
        return find<ui::ChartView>(chart)->legendTexts();
    }
};

TEST_F(ChartLegends, TheTemplateIsNamedAsTheFirstSlotsDataAndModel) {
    loadTemplate();
    EXPECT_EQ(legend("Chart1"), QStringList({"F1 data", "F1 model"}));
    EXPECT_EQ(series("Chart1", 0)->objectName(), "Series1");
    EXPECT_EQ(legend("Chart2"), QStringList()) << "the density alone";
    EXPECT_EQ(series("Chart2", 0)->name(), "Density");
}

TEST_F(ChartLegends, TheSldProfileNamesItsRealAndImaginaryParts) {
    loadTemplate();
    toggle("SldProfile");
    EXPECT_EQ(legend("Chart2"), QStringList({"SLD real", "SLD imag"}));
    EXPECT_EQ(series("Chart2", 1)->objectName(), "Series23");
    toggle("SldProfile");
    EXPECT_EQ(legend("Chart2"), QStringList());
    EXPECT_EQ(series("Chart2", 0)->name(), "Density");
}

}  // namespace
}  // namespace tolvi::test
