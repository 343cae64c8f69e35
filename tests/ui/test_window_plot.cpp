// Plot, Plot All, Clear Plot, All Clear, R/Rf' and Rdata/Fit.
#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTest>
#include <cmath>

#include "model/model_store.h"
#include "window_fixture.h"

namespace tolvi::test {
namespace {

using Plotting = WindowTest;

TEST_F(Plotting, PlotTakesEditedCellsAndRedraws) {
    loadTemplate();
    std::vector<QPointF> before = seriesPoints("Chart1", 1);
    setCell("StringGrid1", 3, 7, "30");  // the silicon spacer of the multilayer
    setCell("StringGrid2", 1, 5, "6.5");
    click("Button6");
    EXPECT_EQ(field(4), "--->OK");
    EXPECT_EQ(store->layerModel(0).entries[2].t.value, 30);
    EXPECT_EQ(store->dataSet(0).logI0.value, 6.5);
    std::vector<QPointF> after = seriesPoints("Chart1", 1);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_NE(after[300].y(), before[300].y());
    for (size_t i = 0; i < after.size(); i += 50)
        EXPECT_EQ(after[i].y(), store->dataSet(0).calcLog[i]) << i;
    EXPECT_EQ(points("Chart2", 0), store->nprofile);
}

TEST_F(Plotting, ACellTypedAtTheKeyboardReachesTheModel) {
    loadTemplate();
    auto* table = find<QTableWidget>("StringGrid1");
    table->setCurrentCell(3, 3);  // table row 4, the carbon cap's density
    table->editItem(table->item(3, 3));
    QLineEdit* editor = table->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, "1.9");
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();  // the table commits an edit through a queued call
    EXPECT_EQ(table->item(3, 3)->text(), "1.9");
    click("Button6");
    EXPECT_EQ(store->layerModel(0).entries[3].rho.value, 1.9);
}

TEST_F(Plotting, XRangeRuleRefusesValueByValue) {
    struct Case {
        const char *a, *b, *shownA, *shownB;
        double lo, hi;
    };
    const Case cases[] = {{"5", "1", "0.1", "1", 0.1, 1}, {"2", "1", "2", "4", 2, 4}};
    for (const Case& c : cases) {
        click("Button5");
        loadParam(writeFilm("a.par", 100, 0.1, 4));
        typeInto(23, c.a);
        typeInto(24, c.b);
        click("Button6");
        EXPECT_EQ(field(23), c.shownA) << c.a << " " << c.b;
        EXPECT_EQ(field(24), c.shownB) << c.a << " " << c.b;
        VisibleRange r = visibleRange(*store, 0);
        EXPECT_EQ(points("Chart1", 0), r.count);
        std::vector<QPointF> p = seriesPoints("Chart1", 0);
        ASSERT_FALSE(p.empty());
        EXPECT_GE(p.front().x(), c.lo);
        EXPECT_LE(p.back().x(), c.hi);
    }
}

TEST_F(Plotting, NoPointInsideTheRangeDrawsNothing) {
    writeText(dir.file("d.dat"), "0.2 100\n0.4 50\n0.6 20\n0.8 5\n");
    loadParam(writeFilm("a.par", 100, 0.1, 1, 1));
    ASSERT_EQ(points("Chart1", 0), 4);
    setField(23, "0.41");
    setField(24, "0.59");
    click("Button6");
    EXPECT_EQ(points("Chart1", 0), 0);
    EXPECT_EQ(points("Chart1", 1), 0);
    EXPECT_EQ(field(4), "--->OK");
}

TEST_F(Plotting, TwoAppendedScansDrawOnlyTheirPointsInsideTheRange) {
    writeText(dir.file("d.dat"),
              "0.1 100\n0.2 80\n0.3 60\n0.4 40\n0.5 20\n"
              "0.05 110\n0.15 90\n0.25 70\n0.35 50\n0.45 30\n");
    loadParam(writeFilm("a.par", 100, 0.1, 1, 1));
    setField(23, "0.3");
    setField(24, "0.5");
    for (const char* button : {"Button6", "Button10"}) {
        click(button);
        std::vector<double> x;
        for (QPointF p : seriesPoints("Chart1", 0)) x.push_back(p.x());
        EXPECT_EQ(x, (std::vector<double>{0.3, 0.4, 0.5, 0.35, 0.45})) << button;
        EXPECT_EQ(points("Chart1", 1), 5) << button;
    }
}

TEST_F(Plotting, ACellThatIsNoNumberShowsTheErrorBoxAndTheWindowGoesOn) {
    loadTemplate();
    setCell("StringGrid1", 2, 11, "4,5");
    click("Button6");
    ASSERT_EQ(errors->messages.size(), 1);
    EXPECT_TRUE(errors->messages[0].contains("\"4,5\"")) << errors->messages[0].toStdString();
    EXPECT_TRUE(errors->messages[0].contains("row 2, column 11"));
    EXPECT_EQ(points("Chart1", 0), 591) << "the action stopped before drawing";

    setCell("StringGrid1", 2, 11, "4.5");
    click("Button6");
    EXPECT_EQ(errors->messages.size(), 1);
    EXPECT_EQ(store->layerModel(0).entries[1].sig.value, 4.5);
}

TEST_F(Plotting, PlotShowsTiedValues) {
    writeMaterial(dir.file("Si.mf"), 28.0855, 14.28, 0.33, 4.1491, 0.171, 0.0);
    BlockValues film{8.9, 100, 4};
    BlockValues tied{8.9, 55, 4};
    tied.tFit = -2;  // the thickness of table row 2
    writeText(dir.file("tie.par"), headerText(0, 0, 0, 1, 1.54) + blockText("S  Si.mf", {2.33}) +
                                       blockText("S  Si.mf", film) + blockText("S  Si.mf", tied));
    loadParam(dir.file("tie.par"));
    setCell("StringGrid1", 2, 7, "120");
    click("Button6");
    EXPECT_EQ(cell("StringGrid1", 3, 7), "120");
}

TEST_F(Plotting, PlotAllDrawsThePairsOfLoadedSlots) {
    for (double t : {100, 150, 200}) loadParam(writeFilm("f.par", t, 0.1, 4));
    setField(23, "0.5");
    setField(24, "3");
    click("Button10");
    for (int s = 0; s < 12; ++s) {
        int expected = s < 6 ? visibleRange(*store, s / 2).count : 0;
        EXPECT_EQ(points("Chart1", s), expected) << s;
    }
    EXPECT_GT(points("Chart1", 4), 0);
    EXPECT_LT(points("Chart1", 4), 201) << "the range went from slot to slot";
    EXPECT_EQ(store->dataSet(2).xmin, 0.5);
}

TEST_F(Plotting, ClearPlotEmptiesTheReflectivityChartOnly) {
    for (double t : {100, 150}) loadParam(writeFilm("f.par", t));
    click("Button10");
    click("Button11");
    for (int s = 0; s < 12; ++s) EXPECT_EQ(points("Chart1", s), 0) << s;
    EXPECT_GT(points("Chart2", 0), 0);
    EXPECT_EQ(store->nfile, 2);
}

TEST_F(Plotting, AllClearForgetsEverySlotAndEmptiesTheWindow) {
    for (double t : {100, 150}) loadParam(writeFilm("f.par", t));
    setField(2, "x");
    find<QPlainTextEdit>("Memo1")->appendPlainText("a report");
    click("Button5");
    EXPECT_EQ(store->nfile, 0);
    EXPECT_EQ(store->curfile, 0);
    EXPECT_EQ(itemIndex("RGF"), 0);
    for (int n = 1; n <= 8; ++n) EXPECT_EQ(field(n), "") << n;
    EXPECT_EQ(cell("StringGrid1", 2, 7), "");
    EXPECT_EQ(cell("StringGrid1", 2, 0), "2");
    EXPECT_EQ(cell("StringGrid2", 1, 0), "");
    EXPECT_EQ(cell("StringGrid3", 0, 1), "");
    for (int s = 0; s < 12; ++s) EXPECT_EQ(points("Chart1", s), 0);
    EXPECT_EQ(points("Chart2", 0), 0);
    EXPECT_TRUE(find<QPlainTextEdit>("Memo1")->toPlainText().isEmpty());

    loadTemplate();
    EXPECT_EQ(field(4), "--->OK") << "the template is allowed again";
}

TEST_F(Plotting, RatioDisplayAppearsWithTheNextPlot) {
    loadParam(writeFilm("a.par", 100));
    std::vector<QPointF> plain = seriesPoints("Chart1", 0);
    toggle("CheckBox1");
    EXPECT_TRUE(store->rRfMode);
    EXPECT_EQ(seriesPoints("Chart1", 0), plain) << "nothing is redrawn by the switch";
    click("Button6");
    const DataSet& d = store->dataSet(0);
    std::vector<QPointF> ratio = seriesPoints("Chart1", 0);
    ASSERT_EQ(ratio.size(), 201u);
    for (int i = 0; i < 201; i += 40) {
        EXPECT_DOUBLE_EQ(ratio[i].y(), d.yLog[i] - d.rfLog[i]) << i;
        EXPECT_DOUBLE_EQ(seriesPoints("Chart1", 1)[i].y(), d.calcLog[i] - d.rfLog[i]) << i;
    }
    toggle("CheckBox1");
    EXPECT_FALSE(store->rRfMode);
}

TEST_F(Plotting, TemplateIgnoresTheRatioSwitch) {
    toggle("CheckBox1");
    loadTemplate();
    EXPECT_EQ(seriesPoints("Chart1", 0)[5].y(), store->dataSet(0).yLog[5]);
}

TEST_F(Plotting, RdataFitShowsTheLogRatioOfEveryPoint) {
    loadTemplate();
    setField(23, "1");
    click("Button6");
    click("Button17");
    const DataSet& d = store->dataSet(0);
    std::vector<QPointF> p = seriesPoints("Chart1", 0);
    ASSERT_EQ(p.size(), static_cast<size_t>(d.npoints));
    EXPECT_EQ(p[7].y(), d.yLog[7] - d.calcLog[7]);
    EXPECT_EQ(points("Chart1", 1), 0);
}

}  // namespace
}  // namespace tolvi::test
