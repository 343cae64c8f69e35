// Undo and redo: each action's state comes back bit for bit, tables, fields, model and curves.
#include <QAction>
#include <QLineSeries>
#include <QTableWidget>
#include <QTest>
#include <cmath>
#include <cstdio>
#include <random>

#include "base/text_io.h"

#include "model/project_file.h"
#include "ui/chart_view.h"
#include "ui/undo_history.h"
#include "window_fixture.h"

namespace tolvi::test {
namespace {

// What the user sees and what the model holds after an action.
struct Seen {
    QStringList cells;
    QStringList fields;
    std::string project;
    std::vector<double> values;  // every array of every slot's data set, point by point
    std::vector<QPointF> data, model, profile, residual;
    int nfile = 0, curfile = 0, nfitParam = 0;

    bool operator==(const Seen&) const = default;
};

class Undo : public WindowTest {
  protected:
    Seen seen() const {
        Seen s;
        for (const char* grid : {"StringGrid1", "StringGrid2", "StringGrid3"}) {
            auto* table = find<QTableWidget>(grid);
            for (int r = 0; r < table->rowCount(); ++r)
                for (int c = 0; c < table->columnCount(); ++c)
                    s.cells.append(table->item(r, c) ? table->item(r, c)->text() : QString());
        }
        for (int f : {1, 2, 3, 4, 5, 6, 7, 8, 19, 20, 21, 22, 23, 24}) s.fields.append(field(f));
        s.project = projectText(*store);
        for (const DataSet& d : store->data)
            for (const auto* a : {&d.xData, &d.yLin, &d.yLog, &d.calcLin, &d.calcLog,
                                  &d.sigmaLog, &d.rfLin, &d.rfLog})
                s.values.insert(s.values.end(), a->begin(), a->begin() + d.npoints);
        s.data = seriesPoints("Chart1", 0);
        s.model = seriesPoints("Chart1", 1);
        s.profile = seriesPoints("Chart2", 0);
        s.residual = seriesPoints("ChartResidual", 0);
        s.nfile = store->nfile;
        s.curfile = store->curfile;
        s.nfitParam = store->nfitParam;
        return s;
    }
    // A cell typed in by the user: the edit is a step of its own once its events are through.
    void editCell(int row, int column, const QString& text) {
        setCell("StringGrid1", row, column, text);
        QCoreApplication::processEvents();
    }
    QAction* action(const char* name) const { return find<QAction>(name); }
    const ui::UndoHistory& history() const { return window->history(); }
};

// Template, a cell edit, Plot, Fit, Recov, Set and All Clear: undone one by one back to the
// template, each state exactly as it was, then redone to the end.
TEST_F(Undo, EveryActionComesBackBitForBitAndGoesForwardAgain) {
    std::vector<Seen> states{seen()};
    loadTemplate();
    states.push_back(seen());
    editCell(3, 3, "95");  // the second film's thickness
    states.push_back(seen());
    ASSERT_NE(states[2].cells, states[1].cells);
    click("Button6");
    states.push_back(seen());
    ASSERT_NE(states[3].values, states[2].values) << "Plot took the edited thickness";
    chooseItem("RGM", 0);
    click("Button4");
    states.push_back(seen());
    ASSERT_TRUE(field(4).startsWith("-->OK")) << field(4).toStdString();
    click("Button9");
    states.push_back(seen());
    setField(21, "1e-6");
    click("Button23");
    states.push_back(seen());
    click("Button5");
    states.push_back(seen());
    for (size_t i = 1; i < states.size(); ++i)
        ASSERT_FALSE(states[i] == states[i - 1]) << "action " << i << " changed nothing";
    ASSERT_EQ(history().position(), static_cast<int>(states.size()) - 1);

    for (int i = static_cast<int>(states.size()) - 2; i >= 0; --i) {
        ASSERT_TRUE(action("actionUndo")->isEnabled()) << i;
        action("actionUndo")->trigger();
        EXPECT_TRUE(seen() == states[i]) << "undone to state " << i;
    }
    EXPECT_FALSE(action("actionUndo")->isEnabled());
    for (size_t i = 1; i < states.size(); ++i) {
        action("actionRedo")->trigger();
        Seen now = seen();
        EXPECT_TRUE(now == states[i]) << "redone to state " << i;
        EXPECT_EQ(now.cells, states[i].cells);
        EXPECT_EQ(now.fields, states[i].fields);
        EXPECT_EQ(now.project, states[i].project);
        EXPECT_TRUE(now.values == states[i].values);
        EXPECT_TRUE(now.data == states[i].data && now.model == states[i].model);
        EXPECT_TRUE(now.profile == states[i].profile);
        EXPECT_TRUE(now.residual == states[i].residual);
        EXPECT_EQ(now.nfile, states[i].nfile);
        EXPECT_EQ(now.curfile, states[i].curfile);
        EXPECT_EQ(now.nfitParam, states[i].nfitParam);
    }
    EXPECT_FALSE(action("actionRedo")->isEnabled());
    EXPECT_TRUE(errors->messages.isEmpty()) << errors->messages.join("\n").toStdString();
}

// Undone to before the fit, the fit's "Recov" is forgotten too; undone to after it, Recov puts
// back the values before the fit as it would have.
TEST_F(Undo, RecovActsOnTheStateUndoneTo) {
    loadTemplate();
    Seen before = seen();
    chooseItem("RGM", 0);
    click("Button4");
    click("Button6");  // a step after the fit
    action("actionUndo")->trigger();
    click("Button9");
    EXPECT_EQ(seen().project, before.project) << "Recov went back to the values before the fit";
}

// A new action after an undo forgets the steps redo would have reached; a step that changes
// nothing is none.
TEST_F(Undo, ANewActionForgetsTheRedoSteps) {
    loadTemplate();
    editCell(3, 3, "95");
    click("Button6");
    int steps = history().steps();
    click("Button6");  // the same plot again
    EXPECT_EQ(history().steps(), steps);
    action("actionUndo")->trigger();
    action("actionUndo")->trigger();
    ASSERT_TRUE(action("actionRedo")->isEnabled());
    editCell(3, 3, "80");
    EXPECT_FALSE(action("actionRedo")->isEnabled());
    EXPECT_EQ(cell("StringGrid1", 3, 3), "80");
}

// A change of the chart's view is no step; a step undone is drawn in the view of the moment.
TEST_F(Undo, AViewIsNoStepAndUndoDrawsInTheViewShown) {
    loadTemplate();
    editCell(3, 3, "95");
    click("Button6");
    int steps = history().steps();
    action("actionViewQ")->trigger();
    action("actionViewLinearY")->trigger();
    EXPECT_EQ(history().steps(), steps);
    std::vector<QPointF> linearQ = seriesPoints("Chart1", 1);
    action("actionUndo")->trigger();  // the plot of the edit
    action("actionRedo")->trigger();
    EXPECT_EQ(seriesPoints("Chart1", 1), linearQ);
    action("actionViewIntensity")->trigger();
    action("actionViewLogY")->trigger();
    action("actionViewAsLoaded")->trigger();
    std::vector<QPointF> drawn = seriesPoints("Chart1", 1);
    const DataSet& d = store->dataSet(0);
    ASSERT_EQ(static_cast<int>(drawn.size()), d.npoints);
    for (int i = 0; i < d.npoints; ++i) EXPECT_EQ(drawn[i].y(), d.calcLog[i]) << i;
}

// Fifty steps and more are kept; the menu's shortcuts are the usual ones.
TEST_F(Undo, KeepsAtLeastFiftySteps) {
    loadTemplate();
    for (int i = 0; i < ui::UndoHistory::MIN_STEPS + 5; ++i)
        editCell(3, 3, QString::number(50 + i));
    Seen last = seen();
    int undone = 0;
    while (action("actionUndo")->isEnabled() && undone < 200) {
        action("actionUndo")->trigger();
        ++undone;
    }
    EXPECT_GE(undone, ui::UndoHistory::MIN_STEPS);
    EXPECT_LE(history().steps(), ui::UndoHistory::MAX_STEPS);
    while (action("actionRedo")->isEnabled()) action("actionRedo")->trigger();
    EXPECT_TRUE(seen() == last);
    EXPECT_EQ(action("actionUndo")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    EXPECT_EQ(action("actionRedo")->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
}

// The largest workspace there is, six data sets of 2000 points with 200 table rows each, makes a
// step of about a megabyte: the figure the history's bound is given with.
TEST_F(Undo, AFullWorkspaceStepIsAboutAMegabyte) {
    writeFilm("film.par", 100);  // the material files
    std::string layers = headerText(1, 0, 0, 1, 1.54, "full.dat", 0.1, 8) +
                         blockText("S  Si.mf", {2.33, 0, 3});
    for (int row = 1; row < MAX_ENTRIES; ++row)
        layers += blockText("S  Ni.mf", {8.9 - row * 0.01, 10.0 + row, 4, 0, 0, 1, 0, 0});
    writeText(dir.file("full.par"), layers);
    std::string data;
    std::mt19937 random(3);
    std::uniform_real_distribution<double> noise(0.9, 1.1);
    for (int i = 0; i < MAX_DATA; ++i) {
        double x = 0.1 + 7.9 * i / (MAX_DATA - 1);
        double y = 1e6 * std::pow(x, -4) * noise(random);
        data += formatText("%.9g %.9g %.9g\n", x, y, std::sqrt(y));
    }
    writeText(dir.file("full.dat"), data);
    for (int slot = 0; slot < MAX_SLOTS; ++slot) loadParam(dir.file("full.par"));
    ASSERT_EQ(store->nfile, MAX_SLOTS) << field(4).toStdString();
    qint64 before = history().bytes();
    editCell(3, 3, "77");
    qint64 step = history().bytes() - before;
    std::printf("a full workspace's step: %lld bytes compressed, %lld at hand\n",
                static_cast<long long>(step), static_cast<long long>(history().stateBytes()));
    EXPECT_GT(step, 100'000);
    EXPECT_LT(step, 1'500'000);
    EXPECT_LT(history().stateBytes(), 4'000'000);
}

// While a fit runs there is nothing to undo; its end is one step.
TEST_F(Undo, AFitIsOneStepAndUndoWaitsForIt) {
    loadTemplate();
    int steps = history().steps();
    bool seenDisabled = false;
    window->runObserver = [&](int) {
        QMetaObject::invokeMethod(
            window.get(),
            [&] { seenDisabled = seenDisabled || !action("actionUndo")->isEnabled(); },
            Qt::QueuedConnection);
    };
    chooseItem("RGM", 0);
    click("Button4");
    window->runObserver = nullptr;
    EXPECT_TRUE(seenDisabled);
    EXPECT_EQ(history().steps(), steps + 1);
    EXPECT_TRUE(action("actionUndo")->isEnabled());
}

// The history's bounds with steps that do not compress: the oldest go first, never below the
// minimum, never the current one.
TEST(UndoHistoryBounds, DropsTheOldestBeyondItsBounds) {
    ui::UndoHistory history;
    std::mt19937 random(7);
    auto noise = [&](qsizetype bytes) {
        QByteArray a(bytes, Qt::Uninitialized);
        for (char& c : a) c = static_cast<char>(random());
        return a;
    };
    for (int i = 0; i < ui::UndoHistory::MAX_STEPS + 20; ++i) history.record(noise(1000));
    EXPECT_EQ(history.steps(), ui::UndoHistory::MAX_STEPS);
    EXPECT_EQ(history.position(), ui::UndoHistory::MAX_STEPS - 1);

    history.clear();
    const qsizetype big = ui::UndoHistory::MAX_BYTES / 40;  // 60 of them pass the bound
    QByteArray first = noise(big);
    history.record(first);
    for (int i = 0; i < 45; ++i) history.record(noise(big));
    EXPECT_EQ(history.steps(), 46) << "fewer than the minimum: all kept beyond the bound";
    for (int i = 0; i < 10; ++i) history.record(noise(big));
    EXPECT_EQ(history.steps(), ui::UndoHistory::MIN_STEPS);
    EXPECT_GT(history.bytes(), ui::UndoHistory::MAX_BYTES);
    EXPECT_TRUE(history.record(QByteArray()));
    EXPECT_FALSE(history.record(QByteArray())) << "the same state again is no step";
}

// Packed and unpacked, a state is the same; a damaged one is refused, not read.
TEST(UndoHistoryBounds, AStateSurvivesItsPacking) {
    ui::WindowState state;
    state.workspace.project = "{\"format\": \"tolvi-project\"}";
    state.workspace.nfile = 2;
    state.workspace.points = {3, 0, 0, 0, 0, 1};
    state.workspace.curves.assign(32, 0.1);
    state.workspace.savedX = {1.5, -2.0};
    state.workspace.owner = {0, 3};
    state.workspace.quantity = {1, 2};
    state.workspace.nfitParam = 2;
    state.layerCells = {"a", "", "ü"};
    state.fields = {"x"};
    QByteArray packed = ui::packState(state);
    std::optional<ui::WindowState> back = ui::unpackState(packed);
    ASSERT_TRUE(back.has_value());
    EXPECT_TRUE(*back == state);
    EXPECT_FALSE(ui::unpackState(packed.left(packed.size() / 2)).has_value());
    QByteArray huge = packed;
    huge[0] = '\x7f';  // a length no stream holds
    EXPECT_FALSE(ui::unpackState(huge).has_value());
}

}  // namespace
}  // namespace tolvi::test
