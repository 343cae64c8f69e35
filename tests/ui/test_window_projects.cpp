// Project files in the window: a round trip of two data sets with their settings and the window's
// fields, an edited cell saved, refusals and cancels. ORSO files: the summary of what their header
// says, the data set and the resolution column chosen in the data settings, the Fourier page.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <cmath>
#include <memory>
#include <vector>

#include "actions/project.h"
#include "base/constants.h"
#include "base/text_io.h"
#include "fourier/fourier_workspace.h"
#include "model/project_file.h"
#include "ui/data_settings.h"
#include "window_fixture.h"

namespace tolvi::test {
namespace {

const std::string EXAMPLE = std::string(TOLVI_SOURCE_DIR) + "/examples/neutron/";

using Choice = ui::DataSettingsChoice;

// A slot's calculated curve, point by point as computed.
std::vector<double> calculated(const ModelStore& store, int slot) {
    const DataSet& d = store.dataSet(slot);
    return {d.calcLin.begin(), d.calcLin.begin() + d.npoints};
}

void expectSameParam(const BoundedParam& a, const BoundedParam& b, const char* what) {
    EXPECT_EQ(a.value, b.value) << what;
    EXPECT_EQ(a.min, b.min) << what;
    EXPECT_EQ(a.max, b.max) << what;
    EXPECT_EQ(a.fit, b.fit) << what;
}

// What a project holds of a workspace: the slots with their models, data and options, the
// fronting medium, the display mode and the fit's settings.
void expectSameWorkspace(const ModelStore& a, const ModelStore& b) {
    ASSERT_EQ(a.nfile, b.nfile);
    EXPECT_EQ(a.curfile, b.curfile);
    for (int s = 0; s < a.nfile; ++s) {
        SCOPED_TRACE(s);
        const LayerModel &ma = a.layerModel(s), &mb = b.layerModel(s);
        EXPECT_EQ(ma.paramPath, mb.paramPath);
        EXPECT_EQ(ma.simFit, mb.simFit);
        ASSERT_EQ(ma.nlay, mb.nlay);
        EXPECT_EQ(ma.layall, mb.layall);
        for (int e = 0; e < ma.nlay; ++e)
            for (int q = PARAM_RHO; q <= PARAM_MAG; ++q)
                expectSameParam(ma.entries[e].param(q), mb.entries[e].param(q), "layer");
        const DataSet &da = a.dataSet(s), &db = b.dataSet(s);
        EXPECT_EQ(da.dataPath, db.dataPath);
        EXPECT_EQ(da.lamd, db.lamd);
        EXPECT_EQ(da.xmin, db.xmin);
        EXPECT_EQ(da.xmax, db.xmax);
        expectSameParam(da.logI0, db.logI0, "logI0");
        expectSameParam(da.bg, db.bg, "bg");
        ASSERT_EQ(da.npoints, db.npoints);
        for (int i = 0; i < da.npoints; ++i) {
            EXPECT_EQ(da.xData[i], db.xData[i]) << i;
            EXPECT_EQ(da.yLin[i], db.yLin[i]) << i;
        }
        EXPECT_TRUE(ui::sameDataOptions(a.dataOptions[s], b.dataOptions[s]));
        EXPECT_EQ(a.pointErrors[s].loaded, b.pointErrors[s].loaded);
    }
    EXPECT_EQ(a.ambientSld.given, b.ambientSld.given);
    EXPECT_EQ(a.ambientSld.re, b.ambientSld.re);
    EXPECT_EQ(a.ambientSld.im, b.ambientSld.im);
    EXPECT_EQ(a.ambient.delta, b.ambient.delta);
    EXPECT_EQ(a.ambient.beta, b.ambient.beta);
    EXPECT_EQ(a.rRfMode, b.rRfMode);
    EXPECT_EQ(a.fitSettings.method, b.fitSettings.method);
    EXPECT_EQ(a.fitSettings.population, b.fitSettings.population);
    EXPECT_EQ(a.fitSettings.maxGene, b.fitSettings.maxGene);
    EXPECT_EQ(a.fitSettings.seeded, b.fitSettings.seeded);
}

// Whether a dialog filter ("name (pattern ...)") lists a file of this name.
bool filterLists(const ui::DialogFilter& kind, const QString& name) {
    if (kind.filter.isEmpty()) return true;
    QRegularExpressionMatch m = QRegularExpression("\\(([^)]*)\\)").match(kind.filter);
    return m.hasMatch() && QDir::match(m.captured(1), name);
}

class Projects : public WindowTest {
  protected:
    void openProjectFile(const std::string& path) {
        dialogs->answers.push_back(QString::fromStdString(path));
        click("OpenProject");
    }
    void saveProjectFile(const std::string& path) {
        dialogs->answers.push_back(QString::fromStdString(path));
        click("SaveProject");
    }
    QString summary() const { return find<QLabel>("DataSettingsSummary")->text(); }
    // Every cell of a table, row by row.
    QStringList tableTexts(const char* grid) const {
        QTableWidget* t = find<QTableWidget>(grid);
        QStringList texts;
        for (int r = 0; r < t->rowCount(); ++r)
            for (int c = 0; c < t->columnCount(); ++c)
                texts << (t->item(r, c) ? t->item(r, c)->text() : QString());
        return texts;
    }
    // The neutron example with errors from its data, relative steps and an SLD fronting medium,
    // then the template: two slots, the second current.
    void loadTwoSlots() {
        loadParam(EXAMPLE + "film.par");
        ASSERT_EQ(field(4), "--->OK");
        editDataSettings([](Choice& c) {
            c.errors = ErrorSource::Data;
            c.steps = StepRule::Relative;
            c.frontingSld = true;
            c.fronting1 = "2.07";
        });
        ASSERT_EQ(field(4), "--->OK");
        loadParam(programDirectory() + "template/template.par");
        ASSERT_EQ(field(4), "--->OK");
        ASSERT_EQ(store->nfile, 2);
    }
};

TEST_F(Projects, ARoundTripRestoresTheWorkspaceItsWidgetsAndItsCurvesBitForBit) {
    loadTwoSlots();
    toggle("CheckBox1");
    chooseItem("RGM", 1);
    typeInto(19, "20");
    typeInto(20, "50");
    const std::vector<double> before0 = calculated(*store, 0), before1 = calculated(*store, 1);
    ASSERT_GT(before0.size(), 10u);
    ASSERT_GT(before1.size(), 10u);

    const std::string path = dir.file("two.tolvi");
    saveProjectFile(path);
    EXPECT_EQ(field(4), "--->OK");
    EXPECT_EQ(field(2).toStdString(), path) << "the last saved file";
    EXPECT_EQ(dialogs->asked.back().filter, "Tolvi project (*.tolvi)");
    EXPECT_EQ(dialogs->asked.back().defaultSuffix, "tolvi");
    EXPECT_EQ(store->fitSettings.method, 1);
    EXPECT_EQ(store->fitSettings.population, 20);
    EXPECT_EQ(store->fitSettings.maxGene, 50);
    EXPECT_FALSE(store->fitSettings.seeded);
    const auto saved = std::make_unique<ModelStore>(*store);
    const QStringList layer = tableTexts("StringGrid1"), data = tableTexts("StringGrid2"),
                      settings = tableTexts("StringGrid3");
    const QString shown = summary();

    click("Button5");
    ASSERT_EQ(store->nfile, 0);
    // Other fields than a project holds, which the open sets back.
    chooseItem("RGM", 0);
    setField(19, "15");
    setField(20, "200");
    toggle("CheckBox1");
    find<QComboBox>("AmbientKind")->setCurrentIndex(0);
    setField(21, "0.");

    openProjectFile(path);
    EXPECT_EQ(field(4), "--->OK");
    expectSameWorkspace(*store, *saved);
    EXPECT_EQ(calculated(*store, 0), before0);
    EXPECT_EQ(calculated(*store, 1), before1);
    EXPECT_EQ(store->curfile, 1);
    EXPECT_EQ(itemIndex("RGF"), 1);
    EXPECT_TRUE(find<QCheckBox>("CheckBox1")->isChecked());
    EXPECT_EQ(itemIndex("RGM"), 1);
    EXPECT_EQ(field(19), "20");
    EXPECT_EQ(field(20), "50");
    EXPECT_EQ(find<QComboBox>("AmbientKind")->currentIndex(), 1) << "SLD";
    EXPECT_EQ(field(21), "2.07");
    EXPECT_EQ(field(22), "0");
    EXPECT_EQ(tableTexts("StringGrid1"), layer);
    EXPECT_EQ(tableTexts("StringGrid2"), data) << "both slots' rows";
    EXPECT_EQ(tableTexts("StringGrid3"), settings);
    EXPECT_EQ(summary(), shown);
    EXPECT_TRUE(field(1).endsWith("template/template.par")) << field(1).toStdString();
    EXPECT_EQ(points("Chart1", 1), store->dataSet(1).npoints) << "the current slot's curve";
    EXPECT_GT(points("Chart2", 0), 0) << "its profile";

    // Saved again as it was opened: the same file.
    const std::string again = dir.file("again.tolvi");
    saveProjectFile(again);
    EXPECT_EQ(field(4), "--->OK");
    EXPECT_EQ(readText(again), readText(path));

    // Both slots are there to switch between, and no third.
    chooseItem("RGF", 0);
    EXPECT_EQ(store->curfile, 0);
    EXPECT_EQ(field(1).toStdString(), EXAMPLE + "film.par");
    EXPECT_TRUE(summary().startsWith("errors: data · steps: relative")) << summary().toStdString();
    chooseItem("RGF", 2);
    EXPECT_EQ(field(4), "-->Error, No data ");
    EXPECT_TRUE(errors->messages.isEmpty()) << errors->messages.join(";").toStdString();
}

TEST_F(Projects, AnEditedCellThatWasNotPlottedIsSaved) {
    loadParam(writeFilm("a.par", 100));
    const int filmRow = 2;  // row 1 is the substrate
    setCell("StringGrid1", filmRow, LAYER_VALUE_COLUMN[PARAM_T], "123");
    const std::string path = dir.file("edited.tolvi");
    saveProjectFile(path);
    ASSERT_EQ(field(4), "--->OK");
    EXPECT_EQ(store->layerModel(0).entries[1].t.value, 123.0);
    const std::vector<double> shown = calculated(*store, 0);

    auto reopened = makeStore();
    ASSERT_EQ(openProject(*reopened, path).message, "--->OK");
    EXPECT_EQ(reopened->layerModel(0).entries[1].t.value, 123.0);
    EXPECT_EQ(calculated(*reopened, 0), shown) << "the curve drawn is the one saved";
}

TEST_F(Projects, ARefusedProjectChangesNothingAndACancelDoesNothing) {
    loadParam(writeFilm("a.par", 100));
    const QStringList layer = tableTexts("StringGrid1"), data = tableTexts("StringGrid2");
    const std::vector<double> curve = calculated(*store, 0);
    const auto before = std::make_unique<ModelStore>(*store);

    const std::string bad = dir.file("bad.tolvi");
    writeText(bad, "{\"format\": \"tolvi-project\"}\n");
    openProjectFile(bad);
    EXPECT_TRUE(field(4).startsWith("--->Error, ")) << field(4).toStdString();
    EXPECT_TRUE(field(4).contains("version")) << field(4).toStdString();
    expectSameWorkspace(*store, *before);
    EXPECT_EQ(calculated(*store, 0), curve);
    EXPECT_EQ(tableTexts("StringGrid1"), layer);
    EXPECT_EQ(tableTexts("StringGrid2"), data);
    EXPECT_EQ(field(1), QString::fromStdString(before->layerModel(0).paramPath));

    openProjectFile(dir.file("missing.tolvi"));
    EXPECT_TRUE(field(4).startsWith("--->Error open file ")) << field(4).toStdString();
    EXPECT_EQ(store->nfile, 1);

    setField(4, "before");
    openProjectFile("");
    saveProjectFile("");
    EXPECT_EQ(field(4), "before");
    expectSameWorkspace(*store, *before);
    EXPECT_EQ(tableTexts("StringGrid1"), layer);

    // A file that cannot be written: the message, and no "last saved file".
    saveProjectFile(dir.file("no/such/folder/p.tolvi"));
    EXPECT_TRUE(field(4).startsWith("--->Error can not write ")) << field(4).toStdString();
    EXPECT_EQ(field(2), "");
    EXPECT_TRUE(errors->messages.isEmpty()) << errors->messages.join(";").toStdString();
}

TEST_F(Projects, SavingWithNothingLoadedWritesNothing) {
    click("SaveProject");
    EXPECT_TRUE(field(4).startsWith("--->Error, nothing to save")) << field(4).toStdString();
    EXPECT_TRUE(dialogs->asked.empty()) << "no file asked for";
    EXPECT_TRUE(QDir(QString::fromStdString(dir.path())).isEmpty());
    EXPECT_TRUE(errors->messages.isEmpty());
}

TEST_F(Projects, AFieldThatIsNoNumberEndsTheSaveBeforeAnythingChanges) {
    loadParam(writeFilm("a.par", 100));
    setField(19, "many");
    const std::string path = dir.file("p.tolvi");
    saveProjectFile(path);
    ASSERT_EQ(errors->messages.size(), 1);
    EXPECT_TRUE(errors->messages[0].contains("GA popul")) << errors->messages[0].toStdString();
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(path)));
    EXPECT_EQ(store->fitSettings.population, FitSettings{}.population);
}

// The template read by "Template" counts no slot, and its project holds it as the one slot.
TEST_F(Projects, TheTemplateAloneIsSavedAsOneSlot) {
    loadTemplate();
    ASSERT_EQ(store->nfile, 0);
    const std::vector<double> curve = calculated(*store, 0);
    const std::string path = dir.file("template.tolvi");
    saveProjectFile(path);
    ASSERT_EQ(field(4), "--->OK");
    openProjectFile(path);
    EXPECT_EQ(field(4), "--->OK");
    EXPECT_EQ(store->nfile, 1);
    EXPECT_EQ(calculated(*store, 0), curve);
    EXPECT_TRUE(field(1).endsWith("template/template.par")) << field(1).toStdString();
}

// A project of a newer version opens for what it shares, and says so.
TEST_F(Projects, ANewerProjectOpensWithItsWarning) {
    loadParam(writeFilm("a.par", 100));
    const std::string path = dir.file("p.tolvi");
    saveProjectFile(path);
    ASSERT_EQ(field(4), "--->OK");
    std::string text = readText(path);
    const std::string version = formatText("\"version\": %d", PROJECT_VERSION);
    size_t at = text.find(version);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, version.size(), formatText("\"version\": %d", PROJECT_VERSION + 1));
    const std::string newer = dir.file("newer.tolvi");
    writeText(newer, text);
    click("Button5");
    openProjectFile(newer);
    EXPECT_TRUE(field(4).startsWith("--->Warning, ")) << field(4).toStdString();
    EXPECT_EQ(store->nfile, 1);
    EXPECT_EQ(points("Chart1", 1), store->dataSet(0).npoints) << "shown as opened";
}

// An ORSO file of two data sets, Qz and its FWHM in 1/nm, neutrons at 0.5 nm; a parameter file of
// neutrons at 5 Å on the q axis reading it.
class OrsoInTheWindow : public Projects {
  protected:
    struct Point {
        double qz, r, dr, dqz;  // 1/nm, as in the file
    };
    const std::vector<Point> first = {{0.05, 1.0, 0.01, 0.003},  {0.08, 0.95, 0.01, 0.003},
                                      {0.12, 0.9, 0.01, 0.004},  {0.2, 0.05, 0.001, 0.006},
                                      {0.3, 0.006, 1e-4, 0.008}, {0.5, 4e-4, 1e-5, 0.012},
                                      {0.8, 3e-5, 1e-6, 0.020},  {1.2, 4e-6, 2e-7, 0.030}};
    const std::vector<Point> second = {
        {0.15, 0.7, 0.01, 0.005}, {0.25, 0.03, 0.001, 0.007}, {0.4, 1e-3, 1e-5, 0.01}};

    static std::string rows(const std::vector<Point>& points) {
        std::string s;
        for (const Point& p : points)
            s += formatText("%.17g %.17g %.17g %.17g\n", p.qz, p.r, p.dr, p.dqz);
        return s;
    }
    std::string writeOrso() {
        std::string path = dir.file("d.ort");
        writeText(path,
                  "# # ORSO reflectivity data file | 1.0 standard | YAML encoding\n"
                  "# data_source: {experiment: {probe: neutron}, measurement: "
                  "{instrument_settings: {wavelength: {magnitude: 0.5, unit: nm}}}}\n"
                  "# columns:\n"
                  "# - {name: Qz, unit: 1/nm}\n"
                  "# - {name: R}\n"
                  "# - {error_of: R}\n"
                  "# - {error_of: Qz, value_is: FWHM}\n"
                  "# # Qz R sR sQz\n" +
                      rows(first) + "# data_set: 1\n" + rows(second));
        return path;
    }
    std::string writeOrsoFilm() {
        writeMaterial(dir.file("Si.mf"), 28.0855, 14.28, 0.33, 4.1491, 0.171, 0.0);
        writeMaterial(dir.file("Ni.mf"), 58.6934, 24.97, 0.51, 10.3, 4.49, 0.0);
        std::string path = dir.file("n.par");
        writeText(path, headerText(1, 0, 1, 2, 5.0, "d.ort", 0.0, 3.0) +
                            blockText("S  Si.mf", {2.33, 0, 3}) +
                            blockText("S  Ni.mf", {8.9, 200, 4}));
        return path;
    }
    QString summaryLine(int n) const { return summary().split('\n').value(n); }
};

TEST_F(OrsoInTheWindow, TheSummarySaysWhatTheHeaderSaidAndTheDataSetChosen) {
    const std::string orso = writeOrso();
    loadParam(writeOrsoFilm());
    ASSERT_EQ(field(4), "--->OK");
    ASSERT_EQ(store->dataSet(0).npoints, static_cast<int>(first.size()));
    EXPECT_EQ(summaryLine(2), "ORSO: data set 0 of 2 · Qz in 1/nm · sQz FWHM · neutron, 5 Å");
    EXPECT_EQ(summary().toStdString(), ui::dataSettingsSummary(*store, 0));

    editDataSettings([](Choice& c) { c.dataSet = "1"; });
    EXPECT_EQ(dataSettings->shown.back().dataSet, "0") << "the dialog showed the slot's";
    EXPECT_EQ(field(4), "--->OK");
    EXPECT_EQ(store->dataOptions[0].dataSet, 1);
    ASSERT_EQ(store->dataSet(0).npoints, 3);
    EXPECT_NEAR(store->dataSet(0).xData[0], 0.015, 1e-16) << "1/nm read in 1/Å";
    EXPECT_EQ(summaryLine(2), "ORSO: data set 1 of 2 · Qz in 1/nm · sQz FWHM · neutron, 5 Å");

    // The fourth column as the header says: a FWHM in 1/nm.
    editDataSettings([](Choice& c) { c.resolution = ResolutionKind::Column; });
    EXPECT_EQ(field(4), "--->OK");
    ASSERT_TRUE(store->pointResolution[0].loaded);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(store->pointResolution[0].sigmaX[i], FWHM_TO_SIGMA * 0.1 * second[i].dqz, 1e-15)
            << i;
    EXPECT_TRUE(store->resolutionPlans[0].valid) << "the curve averaged over them";
    EXPECT_TRUE(summaryLine(0).contains("resolution: column 4 as the file's header says, scale 1"))
        << summary().toStdString();
    // Four lines, the first wrapped: all of them shown, in the window's size.
    QLabel* label = find<QLabel>("DataSettingsSummary");
    EXPECT_GE(label->height(), label->heightForWidth(label->width())) << "no line cut off";
    EXPECT_EQ(window->size(), QSize(1205, 754));

    // A data set the file lacks: refused, and the slot read as before.
    const QString shown = summary();
    editDataSettings([](Choice& c) { c.dataSet = "2"; });
    EXPECT_EQ(field(4).toStdString(),
              "F1: --->Error, " + orso + " holds 2 data sets: there is no data set 2");
    EXPECT_EQ(store->dataOptions[0].dataSet, 1);
    EXPECT_EQ(store->dataOptions[0].resolution.kind, ResolutionKind::Column);
    EXPECT_EQ(store->dataSet(0).npoints, 3);
    EXPECT_EQ(points("Chart1", 0), 3);
    EXPECT_EQ(summary(), shown);
    EXPECT_TRUE(errors->messages.isEmpty()) << errors->messages.join(";").toStdString();
}

TEST_F(OrsoInTheWindow, ADataSetStaysWithItsSlotWhenSettingsAreAppliedToAll) {
    writeOrso();
    loadParam(writeOrsoFilm());
    editDataSettings([](Choice& c) { c.dataSet = "1"; });
    ASSERT_EQ(store->dataOptions[0].dataSet, 1);
    loadParam(writeFilm("a.par", 100));
    ASSERT_EQ(store->curfile, 1);
    editDataSettings([](Choice& c) {
        c.steps = StepRule::Relative;
        c.allSlots = true;
    });
    EXPECT_EQ(field(4), "--->OK");
    EXPECT_EQ(store->dataOptions[0].dataSet, 1) << "F1 reads its data set 1 still";
    EXPECT_EQ(store->dataOptions[0].steps, StepRule::Relative);
    EXPECT_EQ(store->dataSet(0).npoints, 3);
    for (int slot = 1; slot < MAX_SLOTS; ++slot) EXPECT_EQ(store->dataOptions[slot].dataSet, 0);
    EXPECT_EQ(summary().count('\n'), 1) << "no header line for a simulated slot";
}

TEST_F(OrsoInTheWindow, AHeaderColumnOfAPlainFileIsRefusedAndUndone) {
    writeText(dir.file("d.dat"), "0.5 100 3 0.01\n1.0 10 1 0.01\n1.5 1 0.3 0.01\n");
    loadParam(writeFilm("a.par", 100, 0.1, 4, 1));
    ASSERT_EQ(store->dataSet(0).npoints, 3);
    editDataSettings([](Choice& c) { c.resolution = ResolutionKind::Column; });
    EXPECT_TRUE(field(4).startsWith("F1: --->Error, " + QString::fromStdString(dir.file("d.dat")) +
                                    " has no header to say what its resolution column holds"))
        << field(4).toStdString();
    EXPECT_EQ(store->dataOptions[0].resolution.kind, ResolutionKind::Divergence);
    EXPECT_EQ(summary().count('\n'), 1) << "no ORSO line for a plain file";
}

TEST_F(OrsoInTheWindow, TheFourierPageReadsTheFileOnTheQAxisAndRefusesItOnTheta) {
    const std::string orso = writeOrso();
    chooseItem("RG0", fourier::Y_LINEAR);
    chooseItem("RG1", fourier::X_Q);
    setField(10, "5");
    dialogs->answers.push_back(QString::fromStdString(orso));
    click("Button20");
    EXPECT_TRUE(filterLists(dialogs->asked.back(), "d.ort")) << "the dialog lists .ort files";
    EXPECT_EQ(field(14), "--->OK");
    std::vector<QPointF> curve = seriesPoints("Chart3", 0);
    ASSERT_EQ(curve.size(), first.size()) << "its first data set";
    EXPECT_NEAR(curve[0].x(), 0.005, 1e-16) << "q in 1/Å";

    chooseItem("RG1", fourier::X_THETA);
    dialogs->answers.push_back(QString::fromStdString(orso));
    click("Button20");
    const QString refusal = QString::fromStdString("--->Error, " + orso + " holds q: choose q as");
    EXPECT_TRUE(field(14).startsWith(refusal)) << field(14).toStdString();
    EXPECT_EQ(field(4), field(14));
    EXPECT_TRUE(errors->messages.isEmpty()) << errors->messages.join(";").toStdString();
}

}  // namespace
}  // namespace tolvi::test
