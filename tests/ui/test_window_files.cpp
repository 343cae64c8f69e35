// Files by name in the window: the "Recent files" menu (newest first, ten at most, each once, a
// file that has gone taken off), files dropped on the window (parameter files, a project, an ORSO
// or plain data file for the current slot, refusals), and the question about unsaved changes to
// the open project when the window closes.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGraphicsView>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include "actions/project.h"
#include "base/text_io.h"
#include "model/tables.h"
#include "window_fixture.h"

namespace tolvi::test {
namespace {

using Answer = ui::UnsavedQuestion::Answer;

const std::string EXAMPLE = std::string(TOLVI_SOURCE_DIR) + "/examples/neutron/";
constexpr int FILM_ROW = 2;  // the film's row in the layer table; row 1 is the substrate

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

class Files : public WindowTest {
  protected:
    // The list lives in the test program's settings, which every window shares: each test
    // starts with an empty one and leaves it so.
    Files() { QSettings("Tolvi", "Tolvi").remove("recent"); }
    ~Files() override { QSettings("Tolvi", "Tolvi").remove("recent"); }

    QStringList recentPaths() const {
        return QSettings("Tolvi", "Tolvi").value("recent/files").toStringList();
    }
    std::vector<QAction*> recentEntries() const {
        std::vector<QAction*> entries;
        for (QAction* a : find<QMenu>("menuRecent")->actions())
            if (a->isVisible() && a->objectName().startsWith("actionRecentFile"))
                entries.push_back(a);
        return entries;
    }
    QStringList recentNames() const {
        QStringList names;
        for (QAction* a : recentEntries()) names.append(a->text());
        return names;
    }
    // Entry n (from 1) as the menu triggers it.
    void chooseRecent(int n) {
        find<QAction>(QString("actionRecentFile%1").arg(n).toLatin1().constData())->trigger();
    }

    // A drag of `mime` entering `target`, as the system sends it: whether it was taken.
    bool dragEnters(const QMimeData& mime, QWidget* target) {
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        if (enter.isAccepted()) {
            EXPECT_EQ(enter.dropAction(), Qt::CopyAction) << "never moved";
        }
        return enter.isAccepted();
    }
    // A drag of `mime` over `target` and its drop there, the files read once the drop has ended.
    bool dropOn(const QMimeData& mime, QWidget* target) {
        if (!dragEnters(mime, target)) return false;
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton,
                        Qt::NoModifier);
        QCoreApplication::sendEvent(target, &drop);
        EXPECT_TRUE(drop.isAccepted());
        QCoreApplication::processEvents();
        return true;
    }
    bool drop(const std::vector<std::string>& files) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const std::string& f : files) urls.append(QUrl::fromLocalFile(q(f)));
        mime.setUrls(urls);
        return dropOn(mime, window.get());
    }

    // A 2θ curve of the nickel film of writeFilm, `points` points from 0.2° with `scale` on R.
    std::string writeCurve(const std::string& name, int points, double scale) {
        std::string text = "# 2theta  R\n";
        for (int i = 0; i < points; ++i)
            text += formatText("%.6f %.6e\n", 0.2 + 0.15 * i, scale * std::pow(10.0, -0.3 * i));
        writeText(dir.file(name), text);
        return dir.file(name);
    }
    void saveParam(const std::string& path) {
        dialogs->answers.push_back(q(path));
        click("Button3");
    }
    void saveProjectFile(const std::string& path) {
        dialogs->answers.push_back(q(path));
        click("SaveProject");
    }
    void openProjectFile(const std::string& path) {
        dialogs->answers.push_back(q(path));
        click("OpenProject");
    }
    // The film's thickness as a user types it, without "Plot".
    void editThickness(const char* text) {
        setCell("StringGrid1", FILM_ROW, LAYER_VALUE_COLUMN[PARAM_T], text);
    }
    double savedThickness(const std::string& project) {
        auto opened = makeStore();
        EXPECT_TRUE(openProject(*opened, project).succeeded());
        return opened->layerModel(0).entries[1].t.value;
    }
};

// ---------------------------------------------------------------------------------------------
// The recent list

using RecentFiles = Files;

TEST_F(RecentFiles, LoadsAndSavesGoOnTopNewestFirstEachOnce) {
    const std::string a = writeFilm("a.par", 100), b = writeFilm("b.par", 120);
    loadParam(a);
    loadParam(b);
    saveParam(dir.file("c.par"));
    saveProjectFile(dir.file("p.tolvi"));
    loadParam(a);  // again: to the top, not twice
    loadParam(dir.file("missing.par"));
    ASSERT_NE(field(4), "--->OK") << "a failed load is not noted";

    EXPECT_EQ(recentNames(), QStringList({"a.par", "p.tolvi", "c.par", "b.par"}));
    EXPECT_EQ(recentPaths(),
              QStringList({q(a), q(dir.file("p.tolvi")), q(dir.file("c.par")), q(b)}));
    for (QAction* entry : recentEntries())
        EXPECT_EQ(entry->toolTip(), QDir::toNativeSeparators(q(dir.path()))) << "the folder";
    EXPECT_TRUE(find<QMenu>("menuRecent")->toolTipsVisible());
    EXPECT_TRUE(find<QAction>("actionClearRecent")->isEnabled());
    EXPECT_TRUE(errors->messages.isEmpty()) << errors->messages.join(";").toStdString();
}

TEST_F(RecentFiles, TheTenNewestAreKept) {
    loadParam(writeFilm("a.par", 100));
    for (int i = 1; i <= 12; ++i) saveParam(dir.file(formatText("s%d.par", i)));
    QStringList expected;
    for (int i = 12; i >= 3; --i) expected.append(QString("s%1.par").arg(i));
    EXPECT_EQ(recentNames(), expected);
    EXPECT_EQ(recentPaths().size(), 10);
}

TEST_F(RecentFiles, EachEntryOpensItsFileAsItsKindWould) {
    // A parameter file need not be named ".par": the entry remembers what read it.
    const std::string film = writeFilm("film.txt", 90, 0.1, 4, 1, "d.dat");
    writeCurve("d.dat", 20, 1.0);
    const std::string other = writeCurve("e.dat", 12, 2.0);
    const std::string project = dir.file("p.tolvi");
    loadParam(film);
    saveProjectFile(project);
    click("Button5");  // All Clear
    ASSERT_EQ(store->nfile, 0);
    ASSERT_EQ(recentNames(), QStringList({"p.tolvi", "film.txt"}));
    const size_t asked = dialogs->asked.size();

    chooseRecent(2);  // film.txt: "Load Param" into the next slot
    EXPECT_EQ(store->nfile, 1);
    EXPECT_EQ(field(1).toStdString(), film);
    EXPECT_EQ(field(4), "--->OK");
    EXPECT_EQ(store->dataSet(0).npoints, 20);

    chooseRecent(2);  // p.tolvi: "Open project", the workspace replaced
    EXPECT_EQ(store->nfile, 1);
    EXPECT_EQ(field(4), "--->OK");
    EXPECT_EQ(recentNames(), QStringList({"p.tolvi", "film.txt"}));

    ASSERT_TRUE(drop({other}));  // a data file, noted as such
    ASSERT_EQ(store->dataSet(0).npoints, 12);
    loadParam(film);
    ASSERT_EQ(store->curfile, 1);
    ASSERT_EQ(store->dataSet(1).npoints, 20);
    ASSERT_EQ(recentNames(), QStringList({"film.txt", "e.dat", "p.tolvi"}));
    chooseRecent(2);  // e.dat: the current slot's data
    EXPECT_EQ(store->nfile, 2);
    EXPECT_EQ(store->dataSet(1).npoints, 12);
    EXPECT_EQ(store->dataSet(1).dataPath, other);
    EXPECT_EQ(dialogs->asked.size(), asked + 1) << "only the Load Param above asked";
    EXPECT_TRUE(errors->messages.isEmpty()) << errors->messages.join(";").toStdString();
}

TEST_F(RecentFiles, AFileThatHasGoneIsTakenOffWhenChosen) {
    const std::string a = writeFilm("a.par", 100), b = writeFilm("b.par", 120);
    loadParam(a);
    loadParam(b);
    std::filesystem::remove(a);
    chooseRecent(2);
    EXPECT_EQ(field(4).toStdString(), "--->Error, cant find " + a);
    EXPECT_EQ(recentNames(), QStringList({"b.par"}));
    EXPECT_EQ(recentPaths(), QStringList({q(b)}));
    EXPECT_EQ(store->nfile, 2) << "nothing loaded";
    EXPECT_TRUE(errors->messages.isEmpty());
}

TEST_F(RecentFiles, ClearListEmptiesIt) {
    loadParam(writeFilm("a.par", 100));
    ASSERT_EQ(recentNames().size(), 1);
    find<QAction>("actionClearRecent")->trigger();
    EXPECT_TRUE(recentNames().isEmpty());
    EXPECT_TRUE(recentPaths().isEmpty());
    EXPECT_FALSE(find<QAction>("actionClearRecent")->isEnabled());
}

// ---------------------------------------------------------------------------------------------
// Drops

using Drops = Files;

TEST_F(Drops, ParameterFilesFillTheNextSlotsInOrder) {
    const std::string a = writeFilm("a.par", 100), b = writeFilm("b.par", 120);
    ASSERT_TRUE(drop({a}));
    EXPECT_EQ(store->nfile, 1);
    EXPECT_EQ(field(4), "--->OK");
    EXPECT_EQ(field(1).toStdString(), a);
    ASSERT_TRUE(drop({b, a}));
    EXPECT_EQ(store->nfile, 3);
    EXPECT_EQ(store->layerModel(1).paramPath, b);
    EXPECT_EQ(store->layerModel(2).paramPath, a);
    EXPECT_EQ(store->curfile, 2);
    EXPECT_EQ(itemIndex("RGF"), 2);
    EXPECT_EQ(cell("StringGrid1", FILM_ROW, LAYER_VALUE_COLUMN[PARAM_T]).trimmed(), "100");
    EXPECT_EQ(recentNames(), QStringList({"a.par", "b.par"}));
    EXPECT_TRUE(dialogs->asked.empty()) << "no dialog";
    EXPECT_TRUE(errors->messages.isEmpty()) << errors->messages.join(";").toStdString();
}

TEST_F(Drops, AProjectOpensAsOpenProjectOpensIt) {
    loadParam(writeFilm("a.par", 100));
    loadParam(writeFilm("b.par", 120));
    const std::string project = dir.file("two.tolvi");
    saveProjectFile(project);
    click("Button5");
    ASSERT_EQ(store->nfile, 0);
    ASSERT_TRUE(drop({project}));
    EXPECT_EQ(store->nfile, 2);
    EXPECT_EQ(store->curfile, 1);
    EXPECT_EQ(field(4), "--->OK");
    EXPECT_EQ(store->layerModel(1).entries[1].t.value, 120.0);
    EXPECT_EQ(cell("StringGrid1", FILM_ROW, LAYER_VALUE_COLUMN[PARAM_T]).trimmed(), "120");
    EXPECT_EQ(recentNames().first(), "two.tolvi");
}

TEST_F(Drops, APlainDataFileReplacesTheCurrentSlotsCurveAndKeepsItsModel) {
    writeCurve("d.dat", 20, 1.0);
    loadParam(writeFilm("a.par", 100, 0.1, 4, 1, "d.dat"));
    loadParam(writeFilm("b.par", 120, 0.1, 4, 1, "d.dat"));
    ASSERT_EQ(store->dataSet(1).npoints, 20);
    editThickness("130");  // typed in, not yet plotted: it stays as typed
    const QStringList layerCells = [&] {
        QStringList cells;
        for (int c = 0; c < LAYER_COLUMNS; ++c) cells.append(cell("StringGrid1", FILM_ROW, c));
        return cells;
    }();
    const std::vector<QPointF> measured = seriesPoints("Chart1", 0);
    const LayerEntry film = store->layerModel(1).entries[1];

    const std::string other = writeCurve("e.dat", 12, 3.0);
    ASSERT_TRUE(drop({other}));
    EXPECT_EQ(field(4), "--->OK");
    const DataSet& d = store->dataSet(1);
    EXPECT_EQ(d.dataPath, other);
    EXPECT_EQ(field(3).toStdString(), other);
    ASSERT_EQ(d.npoints, 12);
    EXPECT_DOUBLE_EQ(d.xData[11], 0.2 + 0.15 * 11);
    EXPECT_DOUBLE_EQ(d.yLin[0], 3.0);
    EXPECT_EQ(store->layerModel(1).entries[1].t.value, film.t.value) << "the model kept";
    EXPECT_EQ(store->layerModel(1).entries[1].rho.value, film.rho.value);
    QStringList after;
    for (int c = 0; c < LAYER_COLUMNS; ++c) after.append(cell("StringGrid1", FILM_ROW, c));
    EXPECT_EQ(after, layerCells) << "the table as it was, the cell typed in included";
    EXPECT_NE(seriesPoints("Chart1", 0), measured) << "the measured curve is the new one";
    EXPECT_EQ(points("Chart1", 0), 12);
    EXPECT_EQ(store->dataSet(0).npoints, 20) << "the other slot keeps its data";
    EXPECT_EQ(recentNames().first(), "e.dat");
    EXPECT_TRUE(errors->messages.isEmpty()) << errors->messages.join(";").toStdString();
}

TEST_F(Drops, ASimulatedSlotTakesTheDataAndIsFittedToIt) {
    loadParam(writeFilm("a.par", 100));  // simulated on 201 points
    ASSERT_EQ(store->layerModel(0).simFit, 0);
    ASSERT_TRUE(drop({writeCurve("e.dat", 12, 1.0)}));
    EXPECT_EQ(field(4), "--->OK");
    EXPECT_EQ(store->layerModel(0).simFit, 1);
    EXPECT_EQ(store->dataSet(0).npoints, 12);
    EXPECT_EQ(cell("StringGrid3", 0, 1).trimmed(), "1") << "the settings table says so";
}

TEST_F(Drops, AnOrsoFileReplacesTheCurrentSlotsCurve) {
    loadParam(EXAMPLE + "film.par");
    ASSERT_EQ(field(4), "--->OK");
    const double thickness = store->layerModel(0).entries[1].t.value;
    const std::string orso = dir.file("scan.ort");
    writeText(orso,
              "# # ORSO reflectivity data file | 1.0 standard | YAML encoding\n"
              "# data_source: {experiment: {probe: neutron}}\n"
              "# columns:\n"
              "# - {name: Qz, unit: 1/angstrom}\n"
              "# - {name: R}\n"
              "# - {error_of: R}\n"
              "# # Qz R sR\n"
              "0.01 0.9 0.01\n0.02 0.2 0.005\n0.05 0.001 1e-4\n0.1 5e-5 1e-6\n");
    ASSERT_TRUE(drop({orso}));
    EXPECT_EQ(field(4), "--->OK");
    ASSERT_EQ(store->dataSet(0).npoints, 4);
    EXPECT_EQ(store->dataSet(0).xData[3], 0.1);
    EXPECT_TRUE(store->dataHeaders[0].orso);
    EXPECT_EQ(store->layerModel(0).entries[1].t.value, thickness);
    EXPECT_EQ(points("Chart1", 0), 4);
    EXPECT_EQ(recentNames().first(), "scan.ort");
}

TEST_F(Drops, ARefusedDataFileLeavesTheSlotAsItWas) {
    writeCurve("d.dat", 20, 1.0);
    loadParam(writeFilm("a.par", 100, 0.1, 4, 1, "d.dat"));
    const std::string bad = dir.file("bad.dat");
    writeText(bad, "0.2 1\n0.4 one\n");
    ASSERT_TRUE(drop({bad}));
    EXPECT_TRUE(field(4).contains("bad.dat"))
        << "the refusal names the file: " << field(4).toStdString();
    EXPECT_EQ(store->dataSet(0).dataPath, dir.file("d.dat"));
    EXPECT_EQ(store->dataSet(0).npoints, 20);
    EXPECT_EQ(points("Chart1", 0), 20);
    EXPECT_EQ(recentNames(), QStringList({"a.par"}));
}

TEST_F(Drops, DataWithoutALoadedSlotChangesNothing) {
    const std::string data = writeCurve("e.dat", 12, 1.0);
    ASSERT_TRUE(drop({data}));
    EXPECT_EQ(field(4),
              "--->Error, the current data set is not loaded: load a parameter file first");
    EXPECT_EQ(store->nfile, 0);
    EXPECT_TRUE(store->dataSet(0).dataPath.empty());
    EXPECT_TRUE(recentNames().isEmpty());

    // A failed load leaves the selector on the slot it could not fill.
    loadParam(writeFilm("a.par", 100));
    loadParam(dir.file("missing.par"));
    ASSERT_EQ(store->curfile, 1);
    ASSERT_TRUE(drop({data}));
    EXPECT_EQ(field(4),
              "--->Error, the current data set is not loaded: load a parameter file first");
    EXPECT_EQ(store->nfile, 1);
    EXPECT_TRUE(store->dataSet(1).dataPath.empty());
    EXPECT_EQ(recentNames(), QStringList({"a.par"}));
}

TEST_F(Drops, AProjectOrADataFileComesAlone) {
    const std::string a = writeFilm("a.par", 100);
    loadParam(a);
    const std::string project = dir.file("p.tolvi");
    saveProjectFile(project);
    const std::string data = writeCurve("e.dat", 12, 1.0);
    ASSERT_TRUE(drop({a, project}));
    EXPECT_EQ(field(4).toStdString(), "--->Error, a project file comes alone: " + project);
    ASSERT_TRUE(drop({data, a}));
    EXPECT_EQ(field(4).toStdString(), "--->Error, a data file comes alone: " + data);
    EXPECT_EQ(store->nfile, 1) << "nothing loaded";
    EXPECT_EQ(store->layerModel(0).simFit, 0);
}

TEST_F(Drops, OnlyLocalFilesAreTaken) {
    const std::string a = writeFilm("a.par", 100);
    QMimeData web;
    web.setUrls({QUrl("https://example.org/a.par")});
    EXPECT_FALSE(dragEnters(web, window.get()));
    QMimeData folder;
    folder.setUrls({QUrl::fromLocalFile(q(dir.path()))});
    EXPECT_FALSE(dragEnters(folder, window.get()));
    QMimeData mixed;
    mixed.setUrls({QUrl::fromLocalFile(q(a)), QUrl("https://example.org/b.par")});
    EXPECT_FALSE(dragEnters(mixed, window.get()));
    QMimeData text;
    text.setText("a.par");
    EXPECT_FALSE(dragEnters(text, window.get()));
    EXPECT_EQ(store->nfile, 0);
}

// A file manager also offers the path as text, which a field would take: over a field, the drop
// is the window's all the same.
TEST_F(Drops, AFileDroppedOnAFieldIsLoadedNotTyped) {
    const std::string a = writeFilm("a.par", 100);
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(q(a))});
    mime.setText(q(a));
    QLineEdit* population = find<QLineEdit>("Edit19");  // a field no load writes
    const QString before = population->text();
    ASSERT_TRUE(dropOn(mime, population));
    EXPECT_EQ(store->nfile, 1);
    EXPECT_EQ(population->text(), before) << "nothing typed";
    EXPECT_EQ(field(1).toStdString(), a);
}

// Where most drops land: on the reflectivity chart, whose view would take a drag for its scene.
TEST_F(Drops, AFileDroppedOnTheChartIsLoaded) {
    const std::string a = writeFilm("a.par", 100);
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(q(a))});
    auto* chart = find<QGraphicsView>("Chart1");
    ASSERT_TRUE(dropOn(mime, chart->viewport()));
    EXPECT_EQ(store->nfile, 1);
    ASSERT_TRUE(dropOn(mime, chart));
    EXPECT_EQ(store->nfile, 2);
}

TEST_F(Drops, NothingIsTakenWhileAFitRuns) {
    const std::string a = writeFilm("a.par", 100);
    loadParam(a);
    click("Button5");
    loadTemplate();
    std::atomic<bool> release{false};
    window->runObserver = [&release](int) {
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    clickWithoutWaiting("Button4");
    ASSERT_TRUE(window->running());
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(q(a))});
    EXPECT_FALSE(dragEnters(mime, window.get()));
    EXPECT_FALSE(find<QMenu>("menuRecent")->menuAction()->isEnabled());
    chooseRecent(1);  // a trigger that arrives all the same
    release = true;
    waitForRun();
    EXPECT_EQ(store->nfile, 0) << "the template alone, uncounted";
    EXPECT_TRUE(find<QMenu>("menuRecent")->menuAction()->isEnabled());
}

// ---------------------------------------------------------------------------------------------
// Closing with unsaved changes

class UnsavedChanges : public Files {
  protected:
    // A film saved as a project: the project the window remembers.
    std::string savedProject() {
        loadParam(writeFilm("a.par", 100));
        const std::string project = dir.file("p.tolvi");
        saveProjectFile(project);
        EXPECT_EQ(field(4), "--->OK");
        return project;
    }
};

TEST_F(UnsavedChanges, SaveWritesTheProjectAndCloses) {
    const std::string project = savedProject();
    click("Button5");
    openProjectFile(project);
    editThickness("150");
    click("Button6");  // Plot
    unsaved->answers.push_back(Answer::Save);
    EXPECT_TRUE(window->close());
    EXPECT_EQ(unsaved->asked, QStringList({q(project)}));
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(savedThickness(project), 150.0);
}

TEST_F(UnsavedChanges, DiscardClosesWithoutWriting) {
    const std::string project = savedProject();
    const std::string text = readText(project);
    editThickness("150");
    click("Button6");
    unsaved->answers.push_back(Answer::Discard);
    EXPECT_TRUE(window->close());
    EXPECT_EQ(unsaved->asked.size(), 1);
    EXPECT_EQ(readText(project), text);
}

TEST_F(UnsavedChanges, CancelKeepsTheWindowOpen) {
    const std::string project = savedProject();
    const std::string text = readText(project);
    editThickness("150");  // typed, not yet plotted: a change all the same
    unsaved->answers.push_back(Answer::Cancel);
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(readText(project), text);
    EXPECT_EQ(cell("StringGrid1", FILM_ROW, LAYER_VALUE_COLUMN[PARAM_T]), "150");
    unsaved->answers.push_back(Answer::Discard);
    EXPECT_TRUE(window->close());
    EXPECT_EQ(unsaved->asked.size(), 2);
}

TEST_F(UnsavedChanges, AFailedSaveKeepsTheWindowOpen) {
    std::filesystem::create_directory(dir.file("sub"));
    loadParam(writeFilm("a.par", 100));
    const std::string project = dir.file("sub/p.tolvi");
    saveProjectFile(project);
    ASSERT_EQ(field(4), "--->OK");
    std::filesystem::remove_all(dir.file("sub"));
    editThickness("150");
    unsaved->answers.push_back(Answer::Save);
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(field(4).startsWith("--->Error")) << field(4).toStdString();
    unsaved->answers.push_back(Answer::Discard);
    EXPECT_TRUE(window->close());
}

TEST_F(UnsavedChanges, NoQuestionWithoutAProject) {
    loadParam(writeFilm("a.par", 100));
    editThickness("150");
    click("Button6");
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(unsaved->asked.isEmpty());
}

TEST_F(UnsavedChanges, NoQuestionWithoutAChange) {
    const std::string project = savedProject();
    // What only shows the workspace changes nothing of it.
    click("Button6");   // Plot, no cell edited
    click("Button10");  // Plot All
    click("Button11");  // Clear Plot
    click("Button17");  // Rdata/Fit
    EXPECT_TRUE(window->confirmClose());
    click("Button5");
    openProjectFile(project);
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(unsaved->asked.isEmpty());
}

// Each change to the model is seen; a save makes the workspace the project's again.
TEST_F(UnsavedChanges, EveryKindOfChangeIsSeen) {
    const std::string project = savedProject();
    writeCurve("e.dat", 12, 1.0);
    struct Change {
        const char* what;
        std::function<void()> make;
    };
    const std::vector<Change> changes = {
        {"a plotted cell",
         [&] {
             editThickness("140");
             click("Button6");
         }},
        {"the data settings",
         [&] {
             editDataSettings([](ui::DataSettingsChoice& c) { c.steps = StepRule::Relative; });
         }},
        {"the ambient medium",
         [&] {
             setField(21, "1e-6");
             click("Button23");
         }},
        {"the fit's fields", [&] { setField(19, "30"); }},
        {"a load", [&] { loadParam(writeFilm("b.par", 80)); }},
        {"a dropped data file", [&] { ASSERT_TRUE(drop({dir.file("e.dat")})); }},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        ASSERT_TRUE(window->confirmClose()) << "saved: nothing to ask";
        change.make();
        unsaved->answers.push_back(Answer::Cancel);
        EXPECT_FALSE(window->confirmClose());
        saveProjectFile(project);
        ASSERT_EQ(field(4), "--->OK");
    }
    EXPECT_EQ(unsaved->asked.size(), changes.size());
}

// The fingerprint compares what a save would write: a fit changes it, "Recov" puts it back.
TEST_F(UnsavedChanges, AFitIsAChangeThatRecovTakesBack) {
    loadTemplate();
    chooseItem("RGM", 0);
    const std::string project = dir.file("t.tolvi");
    saveProjectFile(project);
    ASSERT_EQ(field(4), "--->OK");
    click("Button4");
    unsaved->answers.push_back(Answer::Cancel);
    EXPECT_FALSE(window->confirmClose());
    click("Button9");  // Recov
    EXPECT_TRUE(window->confirmClose());
    EXPECT_EQ(unsaved->asked.size(), 1);
}

TEST_F(UnsavedChanges, AnEmptiedWorkspaceHasNothingToLose) {
    savedProject();
    click("Button5");  // All Clear: the project file holds everything still
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(unsaved->asked.isEmpty());
}

// The real question: a message box whose buttons give the three answers; Esc is Cancel.
TEST(UnsavedQuestionBox, EachButtonGivesItsAnswer) {
    const std::pair<QMessageBox::StandardButton, Answer> cases[] = {
        {QMessageBox::Save, Answer::Save},
        {QMessageBox::Discard, Answer::Discard},
        {QMessageBox::Cancel, Answer::Cancel},
        {QMessageBox::NoButton, Answer::Cancel}};  // Esc
    for (auto [button, answer] : cases) {
        std::unique_ptr<ui::UnsavedQuestion> question = ui::realUnsavedQuestion();
        QString text;
        QTimer::singleShot(0, [button, &text] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            text = box->text() + "\n" + box->informativeText();
            if (button == QMessageBox::NoButton)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->button(button)->click();
        });
        EXPECT_EQ(question->ask("/data/films/p.tolvi"), answer) << button;
        EXPECT_TRUE(text.contains("p.tolvi")) << text.toStdString();
        EXPECT_TRUE(text.contains("/data/films/p.tolvi")) << "the whole path";
    }
}

}  // namespace
}  // namespace tolvi::test
