// "Fit", "Multi Fit" and "Recov", and the window while a fit runs.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "actions/load.h"
#include "model/tables.h"
#include "window_fixture.h"

namespace tolvi::test {
namespace {

// Template table rows of the quantities the template fits: its logI0 (data row 1) and the
// thicknesses of W (layer row 2), Si (row 3) and C (row 4), and the Si roughness.
constexpr int W_ROW = 2, SI_ROW = 3, C_ROW = 4;
constexpr int T_COLUMN = 7, SIG_COLUMN = 11, LOGI0_COLUMN = 5;

// A mouse click put into the event queue, as the system delivers one that arrives while the
// window is busy.
void postClick(QWidget* w) {
    QPointF at = QRectF(w->rect()).center();
    QPointF global = w->mapToGlobal(at);
    QCoreApplication::postEvent(w, new QMouseEvent(QEvent::MouseButtonPress, at, global,
                                                   Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(w, new QMouseEvent(QEvent::MouseButtonRelease, at, global,
                                                   Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
}

int linesStartingWith(const QStringList& lines, const QString& start) {
    int n = 0;
    for (const QString& line : lines) n += line.startsWith(start) ? 1 : 0;
    return n;
}

class FitTest : public WindowTest {
  protected:
    void fitTemplateByLeastSquares() {
        loadTemplate();
        chooseItem("RGM", 0);
        click("Button4");
    }
    // Every cell of the rows in use, to compare before and after.
    QStringList tableTexts(const char* grid, int rows, int columns) const {
        QStringList texts;
        for (int r = 1; r <= rows; ++r)
            for (int c = 0; c < columns; ++c) texts << cell(grid, r, c);
        return texts;
    }
    QStringList layerTexts() const { return tableTexts("StringGrid1", 5, 19); }
    QStringList dataTexts() const { return tableTexts("StringGrid2", 6, 13); }
    void loadTemplateIntoSlot() { loadParam(programDirectory() + "template/template.par"); }
};

using FitActions = FitTest;

TEST_F(FitActions, LeastSquaresFitOfTheTemplateReportsAndWritesTheFittedCells) {
    setField(23, "1");  // the fit and its curve keep to the x range
    fitTemplateByLeastSquares();
    ASSERT_TRUE(errors->messages.isEmpty()) << errors->messages.join(";").toStdString();
    EXPECT_TRUE(field(4).startsWith("-->OK")) << field(4).toStdString();
    EXPECT_FALSE(field(4).endsWith("\n"));

    QStringList log = memoLines();
    ASSERT_EQ(log.size(), 13) << log.join("|").toStdString();
    EXPECT_TRUE(log[0].startsWith("---> LM Fit end chi2 = ")) << log[0].toStdString();
    EXPECT_TRUE(log[1].startsWith("Elapsed time(sec) = "));
    EXPECT_TRUE(log[2].startsWith("chi2: ") && log[2].contains("   L1_norm: "));
    EXPECT_EQ(log[3], "NPAR = 5");
    EXPECT_EQ(log[4], "NFREE = 5");
    EXPECT_TRUE(log[12].startsWith("P[4] = ") && log[12].contains(" +/- "));
    EXPECT_EQ(field(8), "5");

    const LayerModel& m = store->layerModel(0);
    EXPECT_NEAR(m.entries[1].t.value, 15.0, 0.1) << "the W thickness of the recorded model";
    EXPECT_EQ(cell("StringGrid1", W_ROW, T_COLUMN).toStdString(), fittedText(m.entries[1].t.value));
    EXPECT_TRUE(QRegularExpression("^15\\.\\d{4}   $")
                    .match(cell("StringGrid1", W_ROW, T_COLUMN))
                    .hasMatch());
    EXPECT_EQ(cell("StringGrid1", SI_ROW, SIG_COLUMN).toStdString(),
              fittedText(m.entries[2].sig.value));
    EXPECT_EQ(cell("StringGrid2", 1, LOGI0_COLUMN).toStdString(),
              fittedText(store->dataSet(0).logI0.value));
    EXPECT_EQ(cell("StringGrid1", W_ROW, 3), "19.3") << "fixed values keep their text";

    VisibleRange r = visibleRange(*store, 0);
    std::vector<QPointF> calc = seriesPoints("Chart1", 1);
    ASSERT_EQ(static_cast<int>(calc.size()), r.count);
    EXPECT_EQ(calc[0].y(), store->dataSet(0).calcLog[r.first]);
    EXPECT_EQ(points("Chart2", 0), store->nprofile);
    EXPECT_EQ(points("Chart6", 0), 0) << "no history for least squares";
}

TEST_F(FitActions, PlotAfterAFitKeepsTheFittedValuesThatTheCellsShowRounded) {
    fitTemplateByLeastSquares();
    ASSERT_TRUE(field(4).startsWith("-->OK")) << field(4).toStdString();
    auto fitted = std::make_unique<ModelStore>(*store);
    click("Button6");
    ASSERT_TRUE(errors->messages.isEmpty()) << errors->messages.join(";").toStdString();
    const LayerModel& m = store->layerModel(0);
    for (int e = 0; e < m.nlay; ++e)
        for (int q = PARAM_RHO; q <= PARAM_MAG; ++q)
            EXPECT_EQ(m.entries[e].param(q).value, fitted->layerModel(0).entries[e].param(q).value)
                << "row " << e + 1 << " quantity " << q;
    EXPECT_EQ(store->dataSet(0).logI0.value, fitted->dataSet(0).logI0.value);
    EXPECT_NE(fittedText(store->dataSet(0).logI0.value), numberText(store->dataSet(0).logI0.value))
        << "the cell shows the value rounded";

    // A cell the user types into is read.
    setCell("StringGrid2", 1, DATA_VALUE_COLUMN[1], "6.25");
    click("Button6");
    EXPECT_EQ(store->dataSet(0).logI0.value, 6.25);
}

TEST_F(FitActions, LeastSquaresWithoutAFreeParameterChangesNothing) {
    loadTemplate();
    for (int row = 1; row <= C_ROW; ++row)
        for (int column : {6, 10, 14, 18}) setCell("StringGrid1", row, column, "0");
    for (int column : {4, 8, 12}) setCell("StringGrid2", 1, column, "0");
    QStringList layer = layerTexts(), data = dataTexts();
    chooseItem("RGM", 0);
    click("Button4");
    EXPECT_EQ(field(4), "--->Error LM Fit NP==0");
    EXPECT_TRUE(memoLines().isEmpty());
    EXPECT_EQ(field(8), "");
    EXPECT_EQ(layerTexts(), layer);
    EXPECT_EQ(dataTexts(), data);
}

TEST_F(FitActions, FitShowsTiedValuesAfterwards) {
    loadTemplate();
    setCell("StringGrid1", C_ROW, 10, "-3");  // the cap's thickness follows the Si layer's
    chooseItem("RGM", 0);
    click("Button4");
    ASSERT_TRUE(field(4).startsWith("-->OK")) << field(4).toStdString();
    const LayerModel& m = store->layerModel(0);
    EXPECT_NE(m.entries[2].t.value, 24.2);
    EXPECT_EQ(cell("StringGrid1", C_ROW, T_COLUMN).toStdString(), numberText(m.entries[2].t.value));
}

TEST_F(FitActions, GeneticPopulationAboveCapacityRunsNoGeneration) {
    loadTemplate();
    double thickness = store->layerModel(0).entries[1].t.value;
    typeInto(19, "2000");
    click("Button4");  // the method is "GA" from the start
    EXPECT_TRUE(field(4).startsWith("--->GA Fit end    ")) << field(4).toStdString();
    QStringList log = memoLines();
    ASSERT_GE(log.size(), 3);
    EXPECT_EQ(log[0], "Error! too many popuration");
    EXPECT_TRUE(log[1].startsWith("---> GA Fit end    "));
    EXPECT_TRUE(log[2].startsWith("popul 2000, gene 0, Elapsed time(sec)= "))
        << log[2].toStdString();
    EXPECT_EQ(store->layerModel(0).entries[1].t.value, thickness);
    EXPECT_EQ(cell("StringGrid1", W_ROW, T_COLUMN), "15.6000   ");
    EXPECT_EQ(points("Chart6", 0), 0);
}

TEST_F(FitActions, GeneticFitDrawsItsHistory) {
    loadTemplate();
    typeInto(20, "4");
    click("Button4");
    ASSERT_TRUE(errors->messages.isEmpty());
    QStringList log = memoLines();
    ASSERT_EQ(log.size(), 3 + 5) << log.join("|").toStdString();
    EXPECT_TRUE(log[1].startsWith("popul 15, gene 4, Elapsed time(sec)= ")) << log[1].toStdString();
    EXPECT_TRUE(log[7].startsWith("P[4] = ") && !log[7].contains("+/-"));

    std::vector<QPointF> history = seriesPoints("Chart6", 0);
    ASSERT_EQ(history.size(), 4u);
    for (size_t g = 0; g < history.size(); ++g) {
        EXPECT_EQ(history[g].x(), static_cast<double>(g));
        if (g > 0) {
            EXPECT_LE(history[g].y(), history[g - 1].y()) << "the best member is kept";
        }
    }
    // Every free value lies within its bounds and is shown as fitted.
    const LayerEntry& w = store->layerModel(0).entries[1];
    EXPECT_GE(w.t.value, w.t.min);
    EXPECT_LE(w.t.value, w.t.max);
    EXPECT_EQ(cell("StringGrid1", W_ROW, T_COLUMN).toStdString(), fittedText(w.t.value));
}

TEST_F(FitActions, GeneticSettingsThatAreNoIntegersEndTheFitBeforeItRuns) {
    for (auto [number, text] : {std::pair{19, "15.5"}, std::pair{20, "2OO"}}) {
        loadTemplate();
        setField(19, "15");
        setField(20, "200");
        setField(number, text);
        click("Button4");
        ASSERT_FALSE(errors->messages.isEmpty()) << text;
        EXPECT_TRUE(errors->messages.back().contains(text))
            << errors->messages.back().toStdString();
        EXPECT_TRUE(memoLines().isEmpty());
        EXPECT_EQ(store->layerModel(0).entries[1].t.value, 15.6);
    }
    chooseItem("RGM", 0);  // least squares does not read them
    click("Button4");
    EXPECT_EQ(errors->messages.size(), 2);
    EXPECT_FALSE(memoLines().isEmpty());
}

TEST_F(FitActions, MultiFitNeedsTwoSlotsOfTheSameStructure) {
    click("Button12");
    EXPECT_EQ(field(4), "Error->Mfit needs multi data ");
    loadParam(writeFilm("a.par", 100));
    click("Button12");
    EXPECT_EQ(field(4), "Error->Mfit needs multi data ");

    // A second slot with a carbon cap on the nickel: one more table entry.
    writeMaterial(dir.file("C.mf"), 12.011, 6.0, 0.01, 6.646, 0.0035, 0.0);
    writeText(dir.file("capped.par"),
              headerText(0, 0, 0, 1, 1.54) + blockText("S  Si.mf", {2.33, 0, 3}) +
                  blockText("S  Ni.mf", {8.9, 100, 4}) + blockText("S  C.mf", {2.2, 30, 4}));
    loadParam(dir.file("capped.par"));
    ASSERT_EQ(store->nfile, 2);
    click("Button12");
    EXPECT_EQ(field(4), "Error->nlay is not same ");
    EXPECT_TRUE(memoLines().isEmpty());
}

TEST_F(FitActions, MultiFitWritesEachSlotsScalarsIntoItsOwnRow) {
    loadTemplateIntoSlot();
    loadTemplateIntoSlot();
    setCell("StringGrid2", 2, LOGI0_COLUMN, "6.3");
    chooseItem("RGM", 0);
    click("Button12");
    ASSERT_TRUE(field(4).startsWith("-->OK")) << field(4).toStdString();
    QStringList log = memoLines();
    ASSERT_GE(log.size(), 3);
    EXPECT_TRUE(log[2].startsWith("chi2: ") && log[2].contains("   dif: ")) << log[2].toStdString();
    EXPECT_EQ(field(8), "6") << "two logI0 and four layer quantities";
    for (int slot : {0, 1})
        EXPECT_EQ(cell("StringGrid2", slot + 1, LOGI0_COLUMN).toStdString(),
                  fittedText(store->dataSet(slot).logI0.value))
            << slot;
    EXPECT_EQ(store->layerModel(0).entries[1].t.value, store->layerModel(1).entries[1].t.value);
}

TEST_F(FitActions, RecovPutsBackTheValuesBeforeTheFit) {
    setField(23, "1");
    fitTemplateByLeastSquares();
    QString status = field(4);
    QStringList log = memoLines();
    click("Button9");
    EXPECT_EQ(store->layerModel(0).entries[1].t.value, 15.6);
    EXPECT_EQ(store->dataSet(0).logI0.value, 6.1);
    EXPECT_EQ(cell("StringGrid1", W_ROW, T_COLUMN), "15.6000   ");
    EXPECT_EQ(cell("StringGrid2", 1, LOGI0_COLUMN), "6.1000    ");
    EXPECT_EQ(points("Chart1", 1), store->dataSet(0).npoints) << "every point, not the range";
    EXPECT_EQ(seriesPoints("Chart1", 1)[0].y(), store->dataSet(0).calcLog[0]);
    EXPECT_EQ(field(4), status);
    EXPECT_EQ(memoLines(), log);

    QStringList layer = layerTexts();
    click("Button9");
    EXPECT_EQ(layerTexts(), layer) << "a second Recov changes nothing";
}

TEST_F(FitActions, RecovAfterMultiFitRestoresEverySlot) {
    loadTemplateIntoSlot();
    loadTemplateIntoSlot();
    chooseItem("RGM", 0);
    click("Button12");
    ASSERT_NE(store->layerModel(0).entries[1].t.value, 15.6);
    click("Button9");
    for (int slot : {0, 1}) EXPECT_EQ(store->layerModel(slot).entries[1].t.value, 15.6) << slot;
}

TEST_F(FitActions, RecovRightAfterALoadDoesNothing) {
    loadTemplate();
    QStringList layer = layerTexts(), data = dataTexts();
    std::vector<QPointF> calc = seriesPoints("Chart1", 1);
    click("Button9");
    EXPECT_EQ(layerTexts(), layer);
    EXPECT_EQ(dataTexts(), data);
    EXPECT_EQ(seriesPoints("Chart1", 1), calc);
    EXPECT_EQ(field(4), "--->OK");

    chooseItem("RGM", 0);
    click("Button4");
    click("Button5");
    loadParam(writeFilm("a.par", 100));
    layer = layerTexts();
    click("Button9");
    EXPECT_EQ(layerTexts(), layer) << "a load forgets the fit";
}

// While a fit runs (on its own thread) the window stays live, takes no second action, and can
// stop the fit.
class BusyWindow : public FitTest {
  protected:
    // The template's values, to compare with after a cancelled fit.
    std::vector<double> modelValues() const {
        std::vector<double> v;
        const LayerModel& m = store->layerModel(0);
        for (int j = 0; j < m.nlay; ++j)
            for (int q = 0; q < 4; ++q) v.push_back(m.entries[j].param(q).value);
        const DataSet& d = store->dataSet(0);
        v.insert(v.end(), {d.x0_shift.value, d.logI0.value, d.bg.value});
        for (int i = 0; i < d.npoints; ++i) v.push_back(d.calcLin[i]);
        return v;
    }
    // Starts a fit of the template that the observer holds at its first evaluation until the
    // test lets it go (release), so that the test acts while it surely runs.
    void startHeldFit(int method) {
        loadTemplate();
        chooseItem("RGM", method);
        if (method == 1) setField(20, "1000");
        window->runObserver = [this](int) {
            while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        clickWithoutWaiting("Button4");
        ASSERT_TRUE(window->running());
    }
    std::atomic<bool> release{false};
};

TEST_F(BusyWindow, ClicksDuringAFitAreNotActedOnAndTheControlsSaySo) {
    startHeldFit(0);
    // The controls that change the model are disabled, the tables and fields read-only.
    for (const char* name : {"Button1", "Button2", "Button3", "Button4", "Button5", "Button6",
                             "Button9", "Button10", "Button12", "OpenProject", "SaveProject"})
        EXPECT_FALSE(find<QPushButton>(name)->isEnabled()) << name;
    EXPECT_TRUE(find<QPushButton>("cancelButton")->isEnabled());
    EXPECT_FALSE(find<ui::RadioGroup>("RGF")->isEnabled());
    EXPECT_EQ(find<QTableWidget>("StringGrid1")->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_TRUE(find<QLineEdit>("Edit23")->isReadOnly());
    EXPECT_TRUE(find<QProgressBar>("fitProgress")->isVisible());
    for (const char* action : {"actionFit", "actionTemplate", "actionLoadParam"})
        EXPECT_FALSE(find<QAction>(action)->isEnabled()) << action;
    EXPECT_TRUE(find<QAction>("actionCancel")->isEnabled());
    // Clicks on them do nothing; the log and the status line are live.
    for (const char* name : {"Button5", "Button4", "Button9", "OpenProject", "SaveProject"})
        postClick(find<QPushButton>(name));
    QApplication::processEvents();
    EXPECT_EQ(field(4), "-->Fit started, wait for a while");
    release = true;
    waitForRun();
    EXPECT_EQ(linesStartingWith(memoLines(), "---> LM Fit end"), 1);
    EXPECT_EQ(cell("StringGrid1", W_ROW, 2), "W") << "All Clear did not run";
    EXPECT_NE(store->layerModel(0).entries[1].t.value, 15.6) << "Recov did not run";
    EXPECT_TRUE(errors->messages.isEmpty());
    // Afterwards everything is as before, and buttons act again.
    EXPECT_TRUE(find<QPushButton>("Button4")->isEnabled());
    EXPECT_FALSE(find<QPushButton>("cancelButton")->isEnabled());
    EXPECT_FALSE(find<QLineEdit>("Edit23")->isReadOnly());
    EXPECT_TRUE(find<QLineEdit>("Edit4")->isReadOnly()) << "a display stays a display";
    EXPECT_NE(find<QTableWidget>("StringGrid1")->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_FALSE(find<QProgressBar>("fitProgress")->isVisible());
    click("Button9");
    EXPECT_EQ(store->layerModel(0).entries[1].t.value, 15.6);
}

// Cancel stops least squares and the genetic search at their next evaluation: the model as it
// was, no report, the status line says so.
TEST_F(BusyWindow, CancelLeavesTheModelAsItWasAndWritesNoReport) {
    for (int method : {0, 1}) {
        release = false;
        startHeldFit(method);
        std::vector<double> before = modelValues();
        int memo = static_cast<int>(memoLines().size());
        QString layer = cell("StringGrid1", W_ROW, T_COLUMN);
        clickWithoutWaiting("cancelButton");  // Cancel acts while the fit is held
        release = true;
        waitForRun();
        EXPECT_EQ(field(4), "--->Fit cancelled") << method;
        EXPECT_EQ(memoLines().size(), memo) << "no report";
        EXPECT_EQ(modelValues(), before) << method;
        EXPECT_EQ(cell("StringGrid1", W_ROW, T_COLUMN), layer);
        EXPECT_TRUE(errors->messages.isEmpty());
        EXPECT_TRUE(find<QPushButton>("Button4")->isEnabled());
    }
    // Esc, through the Fit menu's Cancel, does the same.
    release = false;
    startHeldFit(0);
    QTest::keyClick(window.get(), Qt::Key_Escape);
    release = true;
    waitForRun();
    EXPECT_EQ(field(4), "--->Fit cancelled");
}

// The progress shows evaluations, the best chi-square and the seconds.
TEST_F(BusyWindow, ProgressShowsEvaluationsAndTheBestCost) {
    startHeldFit(0);
    window->runObserver = nullptr;  // the next notes pass
    release = true;
    auto* bar = find<QProgressBar>("fitProgress");
    QString seen;
    QElapsedTimer clock;
    clock.start();
    while (window->running()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (bar->format().contains("evaluations")) seen = bar->format();
    }
    // A fit this short may end before the first refresh; then the format was not seen.
    if (!seen.isEmpty()) {
        EXPECT_TRUE(QRegularExpression("^LM: \\d+ evaluations, best chi2 \\S+, \\d+ s$")
                        .match(seen)
                        .hasMatch())
            << seen.toStdString();
    }
}

TEST_F(BusyWindow, ClosingDuringAFitCancelsItAndWaits) {
    startHeldFit(1);
    std::vector<double> before = modelValues();
    release = true;  // a search of 1000 generations: still running when the close comes
    window->close();
    EXPECT_FALSE(window->running());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(field(4), "--->Fit cancelled");
    EXPECT_EQ(modelValues(), before);
    QApplication::processEvents();  // the fit's own notice of its end finds nothing to do
    EXPECT_TRUE(errors->messages.isEmpty());
}

}  // namespace
}  // namespace tolvi::test
