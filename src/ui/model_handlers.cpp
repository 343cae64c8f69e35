// The model page: the three parameter-file buttons, the ambient medium, the data-file selector
// and the transfers that show a slot in the tables, fields and charts.
#include <QCheckBox>
#include <QLineEdit>

#include "actions/curves.h"
#include "actions/exports.h"
#include "actions/load.h"
#include "model/param_file.h"
#include "physics/profile.h"
#include "ui/chart_view.h"
#include "ui/main_window.h"

namespace tolvi::ui {

void MainWindow::setStatus(const std::string& message) {
    Edit4->setText(qText(message));
}

// Edit1, Edit3, Edit5 to Edit7 and, unless a slot switch keeps the range the user sees,
// Edit23 and Edit24; the material group's wavelength and the data settings' summary.
void MainWindow::showSlotFields(int slot, bool withRange) {
    SlotTexts t = slotTexts(store_, slot);
    Edit1->setText(qText(t.paramPath));
    Edit3->setText(qText(t.dataPath));
    Edit5->setText(qText(t.nlay));
    Edit6->setText(qText(t.nglay));
    Edit7->setText(qText(t.layall));
    if (withRange) {
        Edit23->setText(qText(t.xmin));
        Edit24->setText(qText(t.xmax));
    }
    showMaterialWavelength(slot);
    showDataSettings();
}

// The density profile, or (the "SLD profile" box) the real and imaginary SLD.
void MainWindow::showProfile(int slot) {
    // A posterior's band belongs to the values it was sampled around.
    clearProfileBand();
    if (sldProfile_->isChecked()) {
        int n = computeSldProfile(store_, slot);
        Chart2->setYTitle("SLD (1e-6/Å²)");
        Chart2->setSeriesName(0, "SLD real");
        // The imaginary part gets a series of its own the first time it is shown.
        if (Chart2->seriesCount() < 2) Chart2->addSeries({"Series23", Qt::blue, "SLD imag"});
        Chart2->setPoints(0, store_.profileZ.data(), store_.profileSldRe.data(), n);
        Chart2->setPoints(1, store_.profileZ.data(), store_.profileSldIm.data(), n);
        return;
    }
    int n = computeProfile(store_, slot);
    Chart2->setYTitle("Profile (g/cm3)");
    Chart2->setSeriesName(0, "Density");
    Chart2->setPoints(0, store_.profileZ.data(), store_.profileRho.data(), n);
    if (Chart2->seriesCount() > 1) Chart2->clearSeries(1);
}

// A slot just read: its fields, its table rows, the visible part of its curve in the first
// series pair, and its density profile.
void MainWindow::showSlot(int slot, bool ratio) {
    showSlotFields(slot, true);
    showLayerRows(store_, slot, layerCells_);
    showDataRow(store_, slot, dataCells_);
    showSettings(store_, slot, settingsCells_);
    showCurve(slot, 0, CurvePart::XRange, ratio);
    showProfile(slot);
}

// A slot made current by the selector: its fields and tables (the data table has a row per slot
// anyway, and the x range stays as shown), then its whole curve, not only the x range.
void MainWindow::refillSlot(int slot) {
    showSlotFields(slot, false);
    showLayerRows(store_, slot, layerCells_);
    showSettings(store_, slot, settingsCells_);
    Chart1->clearAll();
    refreshReference(store_, slot);
    showCurve(slot, 0, CurvePart::Whole, store_.rRfMode);
    showProfile(slot);
}

void MainWindow::emptySlotView() {
    clearLayerTable(layerCells_);
    clearSettingsValues(settingsCells_);
    for (QLineEdit* field : slotFields()) field->clear();
}

void MainWindow::Button1Click() {
    guarded([this] {
        store_.nfitParam = 0;
        clearLayerTable(layerCells_);
        clearSettingsValues(settingsCells_);
        // A cancelled dialog loads the file chosen last once more.
        QString chosen = services_.dialogs->openFile(paramOpenDialog());
        std::string path = chosen.isEmpty() ? store_.lastParamPath : chosen.toStdString();
        if (path.empty()) return;
        int slot = store_.nfile;
        // Selector and path field move to the new slot before it is read: a failed read leaves
        // them on the uncounted slot, which the next load reads into again.
        if (slot < MAX_SLOTS) {
            RGF->setItemIndex(slot);
            Edit1->setText(qText(path));
        }
        Status s = loadParamSlot(store_, path);
        setStatus(s.message);
        // Also after a failed read: the summary is the slot's that the next load fills.
        showDataSettings();
        if (s.code != 0) return;
        showSlot(slot, store_.rRfMode);
        if (s.succeeded()) noteRecentFile(qText(path), FileKind::Param);
    });
}

void MainWindow::Button2Click() {
    guarded([this] {
        bool refused = store_.nfile != 0;
        Status s;
        try {
            s = loadTemplateSlot(store_, programDir_);
        } catch (...) {
            // The path field names the template even when reading it failed.
            Edit1->setText(qText(store_.layerModel(0).paramPath));
            throw;
        }
        setStatus(s.message);
        if (refused) return;
        Edit1->setText(qText(store_.layerModel(0).paramPath));
        if (s.code != 0) return;
        // The template is shown as measured, whatever the R/Rf' switch says.
        showSlot(0, false);
    });
}

void MainWindow::Button3Click() {
    guarded([this] {
        QString chosen = services_.dialogs->saveFile(paramSaveDialog());
        if (chosen.isEmpty()) return;
        Edit2->setText(chosen);
        Status s = writeParamFile(store_, store_.curfile, chosen.toStdString());
        if (!s.ok()) setStatus(s.message);
        if (s.ok()) noteRecentFile(chosen, FileKind::Param);
    });
}

void MainWindow::Button23Click() {
    guarded([this] {
        Status s = applyAmbientBox();
        if (!s.ok()) setStatus(s.message);
        showDataSettings();
    });
}

void MainWindow::RGFClick() {
    guarded([this] {
        int n = RGF->itemIndex();
        if (n == store_.curfile) return;
        if (n >= store_.nfile) {
            setStatus("-->Error, No data ");
            return;
        }
        store_.curfile = n;
        Chart1->clearSeries(0);
        Chart1->clearSeries(1);
        store_.nfitParam = 0;
        emptySlotView();
        refillSlot(n);
    });
}

void MainWindow::CheckBox1Click() {
    guarded([this] { store_.rRfMode = CheckBox1->isChecked(); });
}

}  // namespace tolvi::ui
