// The menu bar (each action as its button), the tooltips of the form's controls, and the layout:
// six data rows in view, nothing cut off on a 1280×800 screen or at scale factor 2, the window's
// geometry and splitters remembered (in the test program's own settings).
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <functional>

#include "ui/chart_view.h"
#include "ui/widgets.h"
#include "window_fixture.h"

namespace tolvi::test {
namespace {

// The window tests' settings are their own (ui_test_main.cpp) and start empty; each test here
// leaves them so, whatever it saved.
class MenuTest : public WindowTest {
  protected:
    ~MenuTest() override { QSettings("Tolvi", "Tolvi").clear(); }

    QAction* action(const char* name) const { return find<QAction>(name); }
    // An action as its menu or its shortcut triggers it; a fit it starts has ended on return.
    void trigger(const char* name) {
        action(name)->trigger();
        waitForRun();
    }
};

// The first line where two descriptions differ, or nothing.
std::string firstDifference(const QStringList& a, const QStringList& b) {
    for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i)
        if (a[i] != b[i]) return (a[i] + "\n  vs  " + b[i]).toStdString();
    if (a.size() != b.size()) return "different lengths";
    return {};
}

// ---------------------------------------------------------------------------------------------
// Menus

using Menus = MenuTest;

TEST_F(Menus, EveryActionIsNamedAndTheShortcutsAreSet) {
    QStringList unnamed, shortcuts;
    for (QMenu* menu : window->menuBar()->findChildren<QMenu*>()) {
        for (QAction* a : menu->actions()) {
            if (a->isSeparator() || a->menu()) continue;
            if (!a->objectName().startsWith("action")) unnamed.append(a->text());
            if (!a->shortcut().isEmpty()) shortcuts.append(a->shortcut().toString());
        }
    }
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(", ").toStdString();
    EXPECT_EQ(shortcuts.removeDuplicates(), 0) << "a shortcut on two actions";

    const std::pair<const char*, QKeySequence> expected[] = {
        {"actionLoadParam", QKeySequence(Qt::CTRL | Qt::Key_O)},
        {"actionSaveParam", QKeySequence(Qt::CTRL | Qt::Key_S)},
        {"actionPlot", QKeySequence(Qt::Key_F5)},
        {"actionFit", QKeySequence(Qt::Key_F9)},
        {"actionCancel", QKeySequence(Qt::Key_Escape)},
        {"actionQuit", QKeySequence(Qt::CTRL | Qt::Key_Q)}};
    for (auto [name, keys] : expected) EXPECT_EQ(action(name)->shortcut(), keys) << name;
    EXPECT_FALSE(action("actionCancel")->isEnabled()) << "no fit runs";
}

// Each action and its button, started from the same window, leave the same window behind: the
// action calls the button's handler.
class ActionsAndButtons : public MenuTest {
  protected:
    enum class Start { Empty, Template };

    struct Twin {
        const char* action;
        const char* button;
        Start start;
        std::function<void()> prepare;  // e.g. the answer to the dialog the action opens
        std::string output;             // the file the action writes, if any
    };

    // What a user sees of the window, the questions it asked and the file it wrote. Times in the
    // fit's status and report and a PDF's creation date are left out: they differ from one run to
    // the next.
    QStringList outcome(const std::string& output) const {
        QStringList lines;
        for (int n = 1; n <= 24; ++n) lines.append(QString("Edit%1 %2").arg(n).arg(field(n)));
        const std::pair<const char*, int> grids[] = {
            {"StringGrid1", 12}, {"StringGrid2", 6}, {"StringGrid3", 7}};
        for (auto [grid, rows] : grids) {
            int columns = find<QTableWidget>(grid)->columnCount();
            for (int r = 0; r <= rows; ++r)
                for (int c = 0; c < columns; ++c)
                    lines.append(
                        QString("%1 %2 %3 %4").arg(grid).arg(r).arg(c).arg(cell(grid, r, c)));
        }
        const std::pair<const char*, int> charts[] = {{"Chart1", 12}, {"Chart2", 1}, {"Chart6", 1}};
        for (auto [chart, count] : charts)
            for (int s = 0; s < count; ++s) {
                QStringList points;
                for (QPointF p : seriesPoints(chart, s))
                    points.append(QString("%1:%2").arg(p.x(), 0, 'g', 17).arg(p.y(), 0, 'g', 17));
                lines.append(QString("%1 %2 %3").arg(chart).arg(s).arg(points.join(' ')));
            }
        lines.append("Memo1 " + find<QPlainTextEdit>("Memo1")->toPlainText());
        lines.append("summary " + find<QLabel>("DataSettingsSummary")->text());
        lines.append("errors " + errors->messages.join(" | "));
        for (const ui::DialogFilter& f : dialogs->asked) lines.append("dialog " + f.filter);
        lines.append(QString("data settings shown %1").arg(dataSettings->shown.size()));
        lines.append(QString("R/Rf' %1, slot %2").arg(store->rRfMode).arg(itemIndex("RGF")));
        if (!output.empty()) {
            QFile file(QString::fromStdString(output));
            QString content = file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll())
                                                             : QString("(no file)");
            content.remove(QRegularExpression("/CreationDate \\([^)]*\\)"));
            lines.append(
                "file " +
                QCryptographicHash::hash(content.toLatin1(), QCryptographicHash::Sha256).toHex());
        }
        for (QString& line : lines) {
            line.replace(QRegularExpression("\\d{4}-\\d\\d-\\d\\d +\\d\\d:\\d\\d:\\d\\d"),
                         "<time>");
            line.replace(QRegularExpression("Elapsed time\\(sec\\) *= *\\d+"), "Elapsed time");
        }
        return lines;
    }

    // A new window brought to the twin's start and prepared: its outcome before and after `act`.
    std::pair<QStringList, QStringList> run(const Twin& t, const std::function<void()>& act) {
        openWindow();  // what one run leaves (an x range, a fit to recover) stays behind
        if (t.start == Start::Template) loadTemplate();
        chooseItem("RGM", 0);
        if (!t.output.empty()) QFile::remove(QString::fromStdString(t.output));
        if (t.prepare) t.prepare();
        QStringList before = outcome(t.output);
        act();
        return {before, outcome(t.output)};
    }

    void answer(const std::string& path) {
        dialogs->answers.push_back(QString::fromStdString(path));
    }
};

TEST_F(ActionsAndButtons, EachActionLeavesTheWindowAsItsButtonDoes) {
    // A project of the template for "Open project", and a film for "Load Param".
    std::string project = dir.file("template.tolvi");
    loadTemplate();
    answer(project);
    click("SaveProject");
    std::string film = writeFilm("film.par", 120);
    std::string out = dir.file("out.dat"), pdf = dir.file("out.pdf");
    auto toFile = [this](const std::string& path) { return [this, path] { answer(path); }; };
    auto toPdf = [this, pdf] { printer->printer().setOutputFileName(QString::fromStdString(pdf)); };

    const Twin twins[] = {
        {"actionLoadParam", "Button1", Start::Empty, toFile(film), {}},
        {"actionTemplate", "Button2", Start::Empty, {}, {}},
        {"actionSaveParam", "Button3", Start::Template, toFile(dir.file("out.par")),
         dir.file("out.par")},
        {"actionOpenProject", "OpenProject", Start::Empty, toFile(project), {}},
        {"actionSaveProject", "SaveProject", Start::Template, toFile(dir.file("out.tolvi")),
         dir.file("out.tolvi")},
        {"actionSaveDataFit", "Button7", Start::Template, toFile(out), out},
        {"actionSaveData", "Button8", Start::Template, toFile(out), out},
        {"actionSaveFit", "Button15", Start::Template, toFile(out), out},
        {"actionSaveProfiles", "Button14", Start::Template, toFile(out), out},
        {"actionPrintGraph", "Button13", Start::Template, toPdf, pdf},
        {"actionPrintProfiles", "Button16", Start::Template, toPdf, pdf},
        {"actionDataSettings",
         "DataSettingsButton",
         Start::Template,
         [this] {
             dataSettings->answers.push_back(
                 [](ui::DataSettingsChoice& c) { c.steps = StepRule::Relative; });
         },
         {}},
        {"actionClearPlot", "Button11", Start::Template, {}, {}},
        {"actionAllClear", "Button5", Start::Template, {}, {}},
        {"actionPlot",
         "Button6",
         Start::Template,
         [this] { setCell("StringGrid1", 4, 7, "27"); },
         {}},
        {"actionPlotAll", "Button10", Start::Template, [this] { setField(23, "1"); }, {}},
        {"actionRdataFit", "Button17", Start::Template, {}, {}},
        {"actionFit", "Button4", Start::Template, {}, {}},
        {"actionMultiFit", "Button12", Start::Template, {}, {}},
        {"actionRecov", "Button9", Start::Template, [this] { click("Button4"); }, {}},
        {"actionSample",
         "sampleButton",
         Start::Template,
         [this] {
             ui::SampleChoice choice;
             choice.length = 20;
             choice.seed = 3;
             sampleDialog->answers.push_back(choice);
         },
         {}},
    };
    for (const Twin& t : twins) {
        auto [beforeAction, viaAction] = run(t, [&] { trigger(t.action); });
        QStringList viaButton = run(t, [&] { click(t.button); }).second;
        EXPECT_EQ(firstDifference(viaAction, viaButton), "") << t.action << " and " << t.button;
        EXPECT_NE(firstDifference(viaAction, beforeAction), "") << t.action << " changed nothing";
    }
}

TEST_F(Menus, TheRRfActionAndTheBoxStayInStepBothWays) {
    loadTemplate();
    QAction* ratio = action("actionRRf");
    ASSERT_TRUE(ratio->isCheckable());
    EXPECT_FALSE(ratio->isChecked());

    trigger("actionRRf");
    EXPECT_TRUE(find<QCheckBox>("CheckBox1")->isChecked());
    EXPECT_TRUE(ratio->isChecked());
    EXPECT_TRUE(store->rRfMode) << "as a click on the box";

    toggle("CheckBox1");
    EXPECT_FALSE(ratio->isChecked());
    EXPECT_FALSE(store->rRfMode);

    toggle("CheckBox1");
    EXPECT_TRUE(ratio->isChecked());
    trigger("actionRRf");
    EXPECT_FALSE(find<QCheckBox>("CheckBox1")->isChecked());
    EXPECT_FALSE(store->rRfMode);

    // Set by the window itself (as an opened project sets it): the action follows too.
    find<QCheckBox>("CheckBox1")->setChecked(true);
    EXPECT_TRUE(ratio->isChecked());
}

TEST_F(Menus, TheViewActionsShowEachPage) {
    const std::tuple<const char*, const char*, const char*> pages[] = {
        {"actionShowFourier", "Plot", "TabSheet7"},
        {"actionShowModelChart", "Plot", "TabSheet2"},
        {"actionShowUtilities", "PageControl3", "TabSheet1"},
        {"actionShowModelTables", "PageControl3", "TabSheet3"}};
    for (auto [name, tabs, page] : pages) {
        trigger(name);
        EXPECT_EQ(find<QTabWidget>(tabs)->currentWidget()->objectName(), page) << name;
    }
}

TEST_F(Menus, QuitClosesTheWindow) {
    ASSERT_TRUE(window->isVisible());
    trigger("actionQuit");
    EXPECT_FALSE(window->isVisible());
}

// The version in the About box is the project's, as CMakeLists.txt gives it.
TEST_F(Menus, AboutShowsTheNameAndTheProjectVersion) {
    QString cmake = QString::fromStdString(readText(TOLVI_SOURCE_DIR "/CMakeLists.txt"));
    QRegularExpressionMatch m =
        QRegularExpression("project\\(tolvi VERSION ([0-9.]+)").match(cmake);
    ASSERT_TRUE(m.hasMatch());
    trigger("actionAbout");
    ASSERT_EQ(about->texts.size(), 1);
    EXPECT_EQ(about->titles[0], "About Tolvi");
    EXPECT_TRUE(about->texts[0].startsWith("Tolvi " + m.captured(1) + "\n"))
        << about->texts[0].toStdString();
}

// ---------------------------------------------------------------------------------------------
// Tooltips

using ToolTips = MenuTest;

// The kinds of control whose purpose a tooltip explains.
bool explained(const QWidget* w) {
    return qobject_cast<const QPushButton*>(w) || qobject_cast<const QLineEdit*>(w) ||
           qobject_cast<const QTableWidget*>(w) || qobject_cast<const ui::RadioGroup*>(w) ||
           qobject_cast<const QRadioButton*>(w) || qobject_cast<const QCheckBox*>(w) ||
           qobject_cast<const QComboBox*>(w) || qobject_cast<const QPlainTextEdit*>(w);
}

QString nameOf(const QWidget* w) {
    return w->objectName().isEmpty() ? QString(w->metaObject()->className()) : w->objectName();
}

TEST_F(ToolTips, EveryControlOfTheFormHasOne) {
    QStringList without;
    int controls = 0;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!explained(w)) continue;
        ++controls;
        if (w->toolTip().trimmed().isEmpty()) without.append(nameOf(w));
    }
    EXPECT_GT(controls, 80);
    EXPECT_TRUE(without.isEmpty()) << without.join(", ").toStdString();

    for (const char* grid : {"StringGrid1", "StringGrid2"}) {
        QTableWidget* t = find<QTableWidget>(grid);
        for (int c = 0; c < t->columnCount(); ++c) {
            QTableWidgetItem* h = t->horizontalHeaderItem(c);
            ASSERT_NE(h, nullptr) << grid << " " << c;
            EXPECT_FALSE(h->toolTip().isEmpty()) << grid << " column " << c;
        }
    }
    QTableWidget* settings = find<QTableWidget>("StringGrid3");
    for (int r = 0; r < settings->rowCount(); ++r)
        for (int c = 0; c < settings->columnCount(); ++c)
            EXPECT_FALSE(settings->item(r, c)->toolTip().isEmpty()) << "StringGrid3 " << r;
}

// The heading row is written as new header items (an opened project writes it again): they get
// their tooltips all the same.
TEST_F(ToolTips, HeadingsWrittenAgainKeepTheirs) {
    QTableWidget* data = find<QTableWidget>("StringGrid2");
    QString tip = data->horizontalHeaderItem(9)->toolTip();
    ui::GridCells cells(data, true);
    cells.setText(0, 9, "BG(cnt)");
    EXPECT_EQ(data->horizontalHeaderItem(9)->toolTip(), tip);
}

// What the cryptic captions mean, with units and the values they take.
TEST_F(ToolTips, SayWhatTheValuesMeanWithUnitsAndLimits) {
    auto settingsTip = [this](int row) {
        return find<QTableWidget>("StringGrid3")->item(row, 1)->toolTip();
    };
    auto headerTip = [this](const char* grid, int column) {
        return find<QTableWidget>(grid)->horizontalHeaderItem(column)->toolTip();
    };
    auto fieldTip = [this](int n) {
        return find<QLineEdit>(QString("Edit%1").arg(n).toLatin1().constData())->toolTip();
    };
    const std::pair<QString, QStringList> cases[] = {
        {settingsTip(0), {"0 simulates", "1 fits", "data file"}},
        {settingsTip(4), {"non-magnetic", "polarised neutrons", "added", "subtracted"}},
        {settingsTip(5), {"divergence", "full width at half maximum", "units of the x axis"}},
        {headerTip("StringGrid1", 3), {"Density", "g/cm³"}},
        {headerTip("StringGrid1", 7), {"Thickness", "Å"}},
        {headerTip("StringGrid1", 11), {"Roughness", "Å"}},
        {headerTip("StringGrid1", 6), {"0 fixed", "1 free", "−k tied", "row k"}},
        {headerTip("StringGrid2", 1), {"x0_shift", "x units"}},
        {headerTip("StringGrid2", 5), {"logI0", "log10 of the incident intensity"}},
        {headerTip("StringGrid2", 9), {"background", "cps"}},
        {headerTip("StringGrid2", 12), {"0 fixed", "1 free"}},
        {fieldTip(10), {"λ", "Å"}},
        {fieldTip(11), {"q_min", "1/Å"}},
        {fieldTip(12), {"q_max", "1/Å"}},
        {fieldTip(15), {"d_max", "Å"}},
        {fieldTip(16), {"bins", "2000"}},
        {fieldTip(19), {"population", "at least 4", "at most 1500"}},
        {fieldTip(20), {"generations", "at most 1000"}},
    };
    for (const auto& [tip, words] : cases)
        for (const QString& word : words)
            EXPECT_TRUE(tip.contains(word))
                << tip.toStdString() << "\n  lacks " << word.toStdString();
}

// ---------------------------------------------------------------------------------------------
// Layout

// Controls whose text or content a squeeze or a clip would cut off.
bool isControl(const QWidget* w) {
    return explained(w) || qobject_cast<const QGroupBox*>(w) || qobject_cast<const QLabel*>(w) ||
           qobject_cast<const ui::ChartView*>(w) || qobject_cast<const QProgressBar*>(w);
}

// The part of a widget (in its own coordinates) that its parents up to the window leave in view.
QRect visiblePart(const QWidget* w) {
    QRect r = w->rect();
    QPoint offset(0, 0);
    for (const QWidget* c = w; !c->isWindow(); c = c->parentWidget()) {
        offset += c->pos();
        r &= c->parentWidget()->rect().translated(-offset);
    }
    return r;
}

// The controls shown now that are cut off: partly outside a parent (after the page has scrolled
// them into view, with `scrollTo`), or smaller than the least size their content needs.
QStringList cutOffControls(QWidget* window, QScrollArea* scrollTo = nullptr) {
    QStringList cut;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!isControl(w) || !w->isVisible()) continue;
        if (scrollTo) {
            scrollTo->ensureWidgetVisible(w, 0, 0);
            QApplication::processEvents();
        }
        QSize least = w->minimumSizeHint();
        bool squeezed =
            least.isValid() && (w->width() < least.width() || w->height() < least.height());
        if (squeezed || visiblePart(w) != w->rect())
            cut.append(QString("%1 %2x%3 (needs %4x%5, shows %6x%7)")
                           .arg(nameOf(w))
                           .arg(w->width())
                           .arg(w->height())
                           .arg(least.width())
                           .arg(least.height())
                           .arg(visiblePart(w).width())
                           .arg(visiblePart(w).height()));
    }
    return cut;
}

// A 1280×800 screen less a title bar and a desktop panel.
constexpr QSize SMALL_SCREEN(1280, 800);
constexpr int WINDOW_DECORATION = 64;

class Layout : public MenuTest {
  protected:
    // Each control cut off on any of the four combinations of an upper and a lower page.
    QStringList cutOffOnEveryPage(QScrollArea* scrollTo = nullptr) {
        QStringList cut;
        auto* upper = find<QTabWidget>("Plot");
        auto* lower = find<QTabWidget>("PageControl3");
        for (int u = 0; u < upper->count(); ++u)
            for (int l = 0; l < lower->count(); ++l) {
                upper->setCurrentIndex(u);
                lower->setCurrentIndex(l);
                QApplication::processEvents();
                for (const QString& c : cutOffControls(window.get(), scrollTo))
                    cut.append(QString("pages %1/%2: %3").arg(u).arg(l).arg(c));
            }
        upper->setCurrentIndex(0);
        lower->setCurrentIndex(0);
        QApplication::processEvents();
        cut.removeDuplicates();
        return cut;
    }
    QScrollArea* pages() const { return find<QScrollArea>("PageScroll"); }
};

TEST_F(Layout, AllSixDataRowsAreInViewAtTheDefaultSize) {
    QApplication::processEvents();
    ASSERT_EQ(window->size(), QSize(1205, 754));
    QTableWidget* data = find<QTableWidget>("StringGrid2");
    EXPECT_EQ(pages()->verticalScrollBar()->maximum(), 0) << "the page does not scroll";
    EXPECT_EQ(visiblePart(data), data->rect());
    EXPECT_EQ(data->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(data->horizontalScrollBar()->maximum(), 0);
    for (int r = 0; r < data->rowCount(); ++r)
        EXPECT_TRUE(data->viewport()->rect().contains(data->visualRect(data->model()->index(r, 0))))
            << "row " << r + 1;
}

TEST_F(Layout, TheTablesStretchWithTheWindow) {
    QApplication::processEvents();
    QWidget* layers = find<QWidget>("StringGrid1");
    QWidget* data = find<QWidget>("StringGrid2");
    QSize layersBefore = layers->size(), dataBefore = data->size();
    window->resize(1600, 1000);
    QApplication::processEvents();
    EXPECT_GT(layers->width(), layersBefore.width());
    EXPECT_GT(layers->height(), layersBefore.height());
    EXPECT_GT(data->width(), dataBefore.width());
    EXPECT_GE(data->height(), dataBefore.height());
}

// At the default size the window fits a 1280×800 screen with its title bar, and every control
// on every page is whole. The device pixel ratio and the screen are recorded for the run at
// scale factor 2 below.
TEST_F(Layout, NothingIsCutOffAtTheDefaultSize) {
    QApplication::processEvents();
    ASSERT_EQ(window->size(), QSize(1205, 754));
    EXPECT_LE(window->frameGeometry().width(), SMALL_SCREEN.width());
    EXPECT_LE(window->frameGeometry().height() + WINDOW_DECORATION / 2, SMALL_SCREEN.height())
        << "room for a title bar";
    EXPECT_EQ(pages()->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(pages()->horizontalScrollBar()->maximum(), 0);
    QStringList cut = cutOffOnEveryPage();
    EXPECT_TRUE(cut.isEmpty()) << cut.join("\n").toStdString();

    QScreen* screen = window->screen();
    RecordProperty("devicePixelRatio", QString::number(window->devicePixelRatioF()).toStdString());
    RecordProperty("screen", QString("%1x%2")
                                 .arg(screen->geometry().width())
                                 .arg(screen->geometry().height())
                                 .toStdString());
    RecordProperty("frameOnScreen", screen->geometry().contains(window->frameGeometry()) ? 1 : 0);
}

// On a 1280×800 screen that leaves the window less than its default height, every control can
// still be brought into view whole: the pages scroll rather than lose their lower part.
TEST_F(Layout, EveryControlIsReachableOnA1280x800Screen) {
    window->resize(SMALL_SCREEN.width(), SMALL_SCREEN.height() - WINDOW_DECORATION);
    QApplication::processEvents();
    EXPECT_LE(window->minimumSizeHint().width(), SMALL_SCREEN.width());
    EXPECT_LE(window->minimumSizeHint().height(), SMALL_SCREEN.height() - WINDOW_DECORATION);
    QStringList cut = cutOffOnEveryPage(pages());
    EXPECT_TRUE(cut.isEmpty()) << cut.join("\n").toStdString();
}

// The test above once more in a program of its own, on a screen of 2560×1600 device pixels at
// scale factor 2 (offscreen, from a screen description): the window at its default size lies
// on that screen and nothing in it is cut off.
TEST_F(Layout, FitsA2560x1600ScreenAtScaleFactor2) {
    std::string screen = dir.file("screen.json");
    writeText(screen,
              R"({"screens": [{"name": "hidpi", "x": 0, "y": 0, "width": 2560, "height": 1600,)"
              R"( "logicalDpi": 96, "dpr": 1}]})");
    std::string report = dir.file("scale2.xml");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen:configfile=" + QString::fromStdString(screen));
    env.insert("QT_SCALE_FACTOR", "2");
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=Layout.NothingIsCutOffAtTheDefaultSize",
                 "--gtest_output=xml:" + QString::fromStdString(report)});
    ASSERT_TRUE(child.waitForFinished(120000));
    QString output = QString::fromLocal8Bit(child.readAll());
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    QString xml = QString::fromStdString(readText(report));
    auto recorded = [&xml](const QString& name) {
        QRegularExpressionMatch m =
            QRegularExpression("name=\"" + name + "\" value=\"([^\"]*)\"").match(xml);
        return m.hasMatch() ? m.captured(1) : QString("(not recorded)");
    };
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test.")) << output.toStdString();
    EXPECT_EQ(recorded("devicePixelRatio"), "2");
    EXPECT_EQ(recorded("screen"), "1280x800") << "2560×1600 device pixels";
    EXPECT_EQ(recorded("frameOnScreen"), "1");
}

TEST_F(Layout, GeometryAndSplittersComeBackInTheNextWindow) {
    // Only the test program's own settings are written, never the user's.
    QString settingsFile = QSettings("Tolvi", "Tolvi").fileName();
    EXPECT_TRUE(settingsFile.startsWith(QDir::tempPath())) << settingsFile.toStdString();

    window->setGeometry(40, 30, 1100, 820);
    QApplication::processEvents();
    auto* pageSplitter = find<QSplitter>("PageSplitter");
    auto* tableSplitter = find<QSplitter>("TableSplitter");
    QList<int> p = pageSplitter->sizes(), t = tableSplitter->sizes();
    pageSplitter->setSizes({p[0] - 30, p[1] + 30});
    tableSplitter->setSizes({t[0] - 10, t[1] + 10});
    QApplication::processEvents();
    QRect geometry = window->geometry();
    QList<int> pageSizes = pageSplitter->sizes(), tableSizes = tableSplitter->sizes();
    EXPECT_NE(pageSizes, p);
    EXPECT_NE(tableSizes, t);
    window->saveLayout();

    std::unique_ptr<ModelStore> nextStore = makeStore();
    ui::MainWindow next(*nextStore, {}, programDirectory());
    next.show();
    QApplication::processEvents();
    EXPECT_EQ(next.geometry(), geometry);
    EXPECT_EQ(next.findChild<QSplitter*>("PageSplitter")->sizes(), pageSizes);
    EXPECT_EQ(next.findChild<QSplitter*>("TableSplitter")->sizes(), tableSizes);
}

}  // namespace
}  // namespace tolvi::test
