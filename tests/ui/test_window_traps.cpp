// Traps of the form mended: the x range after "Plot All", curves left beside a fit's, the
// settings table's range, the axis labels and titles of the reflectivity chart.
#include <QCategoryAxis>
#include <QChart>
#include <QTest>

#include "ui/chart_view.h"
#include "window_fixture.h"

namespace tolvi::test {
namespace {

constexpr int SETTINGS_XMIN_ROW = 6, SETTINGS_XMAX_ROW = 7;

class Traps : public WindowTest {
  protected:
    QStringList labels(const char* chart, Qt::Orientation orientation) const {
        auto* axis = qobject_cast<QCategoryAxis*>(
            find<ui::ChartView>(chart)->chart()->axes(orientation).first());
        return axis ? axis->categoriesLabels() : QStringList();
    }
    QString yTitle() const { return find<ui::ChartView>("Chart1")->yTitle(); }
};

// "Plot All" used to leave an empty slot's range (0 to 0) in the fields, and the next fit
// started at x = 0 without a word.
TEST_F(Traps, PlotAllLeavesTheCurrentSlotsRangeInTheFields) {
    loadTemplate();
    setField(23, "0.5");
    setField(24, "5");
    click("Button10");
    EXPECT_EQ(field(23), "0.5");
    EXPECT_EQ(field(24), "5");
    chooseItem("RGM", 0);
    click("Button4");
    EXPECT_TRUE(field(4).startsWith("-->OK")) << field(4).toStdString();
    EXPECT_EQ(store->dataSet(0).xmin, 0.5);
    EXPECT_EQ(store->dataSet(0).xmax, 5.0);
}

// After a fit only its own curves are drawn: those "Plot All" drew for other slots go.
TEST_F(Traps, AFitClearsTheCurvesOfOtherSlots) {
    loadParam(programDirectory() + "template/template.par");
    loadParam(programDirectory() + "template/template.par");
    chooseItem("RGF", 0);
    click("Button10");
    ASSERT_GT(points("Chart1", 2), 0) << "Plot All drew the second slot";
    chooseItem("RGM", 0);
    click("Button4");
    EXPECT_GT(points("Chart1", 0), 0);
    EXPECT_GT(points("Chart1", 1), 0);
    for (int s = 2; s < 12; ++s) EXPECT_EQ(points("Chart1", s), 0) << "series " << s;
}

// The settings table shows the range a Plot or a fit has taken from the fields.
TEST_F(Traps, TheSettingsTableFollowsTheRange) {
    loadTemplate();
    EXPECT_EQ(cell("StringGrid3", SETTINGS_XMIN_ROW, 1), "0.1");
    setField(23, "0.7");
    setField(24, "4.5");
    click("Button6");
    EXPECT_EQ(cell("StringGrid3", SETTINGS_XMIN_ROW, 1), "0.7");
    EXPECT_EQ(cell("StringGrid3", SETTINGS_XMAX_ROW, 1), "4.5");
    setField(23, "0.9");
    chooseItem("RGM", 0);
    click("Button4");
    EXPECT_EQ(cell("StringGrid3", SETTINGS_XMIN_ROW, 1), "0.9");
    setField(23, "1.1");
    click("Button10");
    EXPECT_EQ(cell("StringGrid3", SETTINGS_XMIN_ROW, 1), "1.1");
}

// A zoomed reflectivity chart stays zoomed when a fit or Plot redraws it, and its legend names
// the slot that is drawn.
TEST_F(Traps, AZoomSurvivesAFitAndTheLegendNamesTheSlotDrawn) {
    loadParam(programDirectory() + "template/template.par");
    loadParam(programDirectory() + "template/template.par");
    auto* chart = find<ui::ChartView>("Chart1");
    chooseItem("RGF", 1);
    EXPECT_EQ(chart->legendTexts(), QStringList({"F2 data", "F2 model"}));
    chart->zoomTo(QRectF(QPointF(1.0, 2.0), QPointF(2.0, 4.0)));
    ASSERT_TRUE(chart->zoomed());
    chooseItem("RGM", 0);
    click("Button4");
    EXPECT_TRUE(chart->zoomed());
    EXPECT_EQ(chart->viewRange(), QRectF(QPointF(1.0, 2.0), QPointF(2.0, 4.0)));
    click("Button6");
    EXPECT_TRUE(chart->zoomed());
    QTest::mouseDClick(chart->viewport(), Qt::LeftButton, Qt::NoModifier,
                       chart->viewport()->rect().center());
    EXPECT_FALSE(chart->zoomed());
}

TEST(RoundTickLabels, ZeroIsZeroAndEveryLabelItsOwn) {
    // -0.3 + 3 x 0.1 is 5.55e-17 in floating point.
    ASSERT_NE(-0.3 + 3 * 0.1, 0.0);
    EXPECT_EQ(ui::roundTickLabels(-0.3, 0.1, 6),
              QStringList({"-0.3", "-0.2", "-0.1", "0", "0.1", "0.2", "0.3"}));
    EXPECT_EQ(ui::roundTickLabels(0, 250, 4), QStringList({"0", "250", "500", "750", "1000"}));
    // Six digits would name two ticks alike: more are given.
    EXPECT_EQ(ui::roundTickLabels(1000000, 0.5, 2),
              QStringList({"1000000", "1000000.5", "1000001"}));
    EXPECT_EQ(ui::roundTickLabels(1e-7, 1e-8, 1), QStringList({"1e-07", "1.1e-07"}));
}

// After "Rdata/Fit" the ticks are round numbers, and every view's y title says what is drawn.
TEST_F(Traps, RatioViewsHaveRoundTicksAndTheirOwnTitles) {
    loadTemplate();
    EXPECT_EQ(yTitle(), "Log10 ( I )");
    chooseItem("RGM", 0);
    click("Button4");
    click("Button17");
    EXPECT_EQ(yTitle(), "Log10 ( Rdata / Fit )");
    QStringList y = labels("Chart1", Qt::Vertical);
    ASSERT_FALSE(y.isEmpty());
    EXPECT_TRUE(y.contains("0")) << y.join(" ").toStdString();
    for (const QString& label : y + labels("Chart1", Qt::Horizontal))
        EXPECT_FALSE(label.contains("e-1")) << label.toStdString();
    toggle("CheckBox1");
    click("Button6");
    EXPECT_EQ(yTitle(), "Log10 ( I / Rf' )");
    toggle("CheckBox1");
    click("Button6");
    EXPECT_EQ(yTitle(), "Log10 ( I )");
}

}  // namespace
}  // namespace tolvi::test
