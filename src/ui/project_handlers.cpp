// "Open project" and "Save project": the whole workspace in one file (actions/project.h). Opening
// replaces the workspace and shows all of it; saving first takes what the window holds beyond the
// model (edited cells, the fit's fields) into it.
#include <QCheckBox>
#include <QLineEdit>

#include "actions/project.h"
#include "base/text_io.h"
#include "ui/chart_view.h"
#include "ui/main_window.h"

namespace tolvi::ui {

namespace {

// RGM's items, numbered as FitSettings::method numbers the methods.
constexpr int METHOD_GENETIC = 1;

}  // namespace

// The fit's method and genetic settings as a fit would start with them.
void MainWindow::showFitSettings() {
    const FitSettings& f = store_.fitSettings;
    RGM->setItemIndex(f.method == METHOD_GENETIC ? METHOD_GENETIC : 0);
    Edit19->setText(qText(integerText(f.population)));
    Edit20->setText(qText(integerText(f.maxGene)));
}

// The fit's fields as FitSettings, read as a genetic fit reads them. A field that is no integer
// throws NumberError (naming it) before anything changed. The window has no seed field: a seed
// that a project brought (from tolvi-cli's --seed) is kept for the command line.
FitSettings MainWindow::fitSettingsOfFields() const {
    FitSettings f = store_.fitSettings;
    f.method = RGM->itemIndex() == METHOD_GENETIC ? METHOD_GENETIC : 0;
    f.population = parseInt(Edit19->text().toStdString(), "field GA popul <100");
    f.maxGene = parseInt(Edit20->text().toStdString(), "field max_gene");
    return f;
}

// A workspace just opened, everywhere the window shows one: the selector on its current slot and
// that slot's fields, tables, curve and profile as a load shows them, the data table's row of
// every slot, the R/Rf' switch, the Ambient box and the fit's fields. The other slots' curves,
// the genetic history and the path and count fields belong to the workspace that went.
void MainWindow::showWorkspace() {
    int slot = store_.curfile;
    RGF->setItemIndex(slot);
    CheckBox1->setChecked(store_.rRfMode);
    showAmbientMedium();
    showFitSettings();
    Chart1->clearAll();
    Chart6->clearAll();
    emptySlotView();
    initDataTable(dataCells_);
    for (int d = 0; d < store_.nfile; ++d) showDataRow(store_, d, dataCells_);
    if (store_.nfile > 0)
        showSlot(slot, store_.rRfMode);
    else
        showDataSettings();
}

void MainWindow::OpenProjectClick() {
    guarded([this] {
        QString chosen = services_.dialogs->openFile(projectDialog());
        if (chosen.isEmpty()) return;
        // A refused project leaves the store as it was, and so the window.
        Status s = openProject(store_, chosen.toStdString());
        if (s.succeeded()) showWorkspace();
        setStatus(s.message);
        if (s.succeeded()) noteProjectFile(chosen);
    });
}

// The project holds the model as the window shows it: the current slot's tables and x range are
// taken and plotted as "Plot" does (so that an edited cell is saved, and the curve drawn is the
// one the project reopens with), and the fit's fields go into the fit's settings.
void MainWindow::SaveProjectClick() {
    guarded([this] {
        // What a project holds (projectText): the loaded slots, or the template read into slot 0.
        if (store_.nfile == 0 && store_.layerModel(0).nlay == 0) {
            setStatus("--->Error, nothing to save: load a parameter file or open a project first");
            return;
        }
        QString chosen = services_.dialogs->saveFile(projectDialog());
        if (chosen.isEmpty()) return;
        FitSettings fit = fitSettingsOfFields();
        plotCurrentSlot();
        store_.fitSettings = fit;
        Status s = saveProject(store_, chosen.toStdString());
        setStatus(s.message);
        if (s.succeeded()) Edit2->setText(chosen);
        if (s.succeeded()) noteProjectFile(chosen);
    });
}

}  // namespace tolvi::ui
