// The charts' own rules: axes follow the data, and a logarithmic axis never sees y <= 0.
#include <gtest/gtest.h>

#include <QLogValueAxis>
#include <QValueAxis>

#include "ui/chart_view.h"

namespace tolvi::ui {
namespace {

template <class Axis>
Axis* axis(ChartView& view, Qt::Orientation orientation) {
    return static_cast<Axis*>(view.chart()->axes(orientation).first());
}

TEST(ChartView, AxesFollowTheDataOnRoundNumbers) {
    ChartView view({"C", "", "x", "y", false, std::nullopt, {{"S", Qt::red}, {"T", Qt::blue}}});
    view.setPoints(0, std::vector<double>{0.1, 3, 6}, std::vector<double>{6.1, 2, 0.2});
    view.setPoints(1, std::vector<double>{1, 2}, std::vector<double>{-1.5, 0});
    auto* x = axis<QValueAxis>(view, Qt::Horizontal);
    auto* y = axis<QValueAxis>(view, Qt::Vertical);
    EXPECT_EQ(x->min(), 0.0);
    EXPECT_EQ(x->max(), 6.0);
    EXPECT_EQ(x->tickCount(), 7);
    EXPECT_EQ(y->min(), -2.0);
    EXPECT_EQ(y->max(), 8.0);
    EXPECT_EQ(x->labelFormat(), "%g");

    view.clearSeries(0);
    EXPECT_EQ(x->max(), 2.0) << "what is left decides";
    view.clearAll();
    EXPECT_EQ(x->min(), 0.0);
    EXPECT_EQ(x->max(), 1.0);
}

TEST(ChartView, AFixedMinimumStaysWhateverTheData) {
    ChartView view({"C", "", "g", "cost", false, 0.0, {{"S", Qt::red}}});
    view.setPoints(0, std::vector<double>{0, 1, 2}, std::vector<double>{7, 5.5, 5});
    auto* y = axis<QValueAxis>(view, Qt::Vertical);
    EXPECT_EQ(y->min(), 0.0);
    EXPECT_GE(y->max(), 7.0);
}

TEST(ChartView, ALogarithmicAxisLeavesOutPointsAtOrBelowZero) {
    ChartView view({"C", "", "q", "I", true, std::nullopt, {{"S", Qt::red}}});
    view.setPoints(0, std::vector<double>{0.01, 0.02, 0.03, 0.04},
                   std::vector<double>{0, -1, 20, 3000});
    EXPECT_EQ(view.pointCount(0), 2);
    auto* y = axis<QLogValueAxis>(view, Qt::Vertical);
    EXPECT_EQ(y->min(), 10.0);
    EXPECT_EQ(y->max(), 10000.0);
}

}  // namespace
}  // namespace tolvi::ui
