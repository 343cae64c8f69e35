// Drawing the slots: Plot, Plot All, Clear Plot, All Clear and Rdata/Fit.
#include <QLineEdit>
#include <QPlainTextEdit>

#include "actions/curves.h"
#include "actions/exports.h"
#include "physics/slab_stack.h"
#include "ui/chart_view.h"
#include "ui/main_window.h"

namespace tolvi::ui {

// The current slot's tables and x range into its model, its slab stack and curves computed
// afresh and drawn, "--->OK" in the status line: "Plot", and the first step of "Save project".
void MainWindow::plotCurrentSlot() {
    int d = store_.curfile;
    FieldText xmin(Edit23), xmax(Edit24);
    takeTables(store_, d, false, xmin, xmax, dataCells_, layerCells_);
    showSettings(store_, d, settingsCells_);  // the range as taken
    buildSlabStack(store_, d);
    showTiedCells(store_, d, layerCells_);
    computeCurves(store_, d, false);
    // Both calculations report faults by exception, so reaching here is success.
    setStatus("--->OK");
    // The other slots' curves go one by one, so that a zoomed view stays.
    for (int s = 2; s < Chart1->seriesCount(); ++s) Chart1->clearSeries(s);
    showCurve(d, 0, CurvePart::XRange, store_.rRfMode);
    showProfile(d);
}

void MainWindow::Button6Click() {
    guarded([this] { plotCurrentSlot(); });
}

void MainWindow::Button10Click() {
    guarded([this] {
        // Each slot gets the range the fields show, and the fields then show that slot's result:
        // the range is handed on from slot to slot. Nothing but the reference is recomputed.
        for (int d = 0; d < MAX_SLOTS; ++d) {
            Chart1->clearSeries(2 * d);
            Chart1->clearSeries(2 * d + 1);
            FieldText xmin(Edit23), xmax(Edit24);
            applyXRange(store_.dataSet(d), xmin, xmax);
            if (d >= store_.nfile) continue;
            refreshReference(store_, d);
            showCurve(d, d, CurvePart::XRange, store_.rRfMode);
        }
        // Afterwards the fields show the current slot's range, not the last empty slot's (0 to
        // 0, which the next fit would take without a word), and so does the settings table.
        const DataSet& current = store_.dataSet(store_.curfile);
        Edit23->setText(qText(numberText(current.xmin)));
        Edit24->setText(qText(numberText(current.xmax)));
        if (store_.layerModel(store_.curfile).nlay > 0)
            showSettings(store_, store_.curfile, settingsCells_);
    });
}

void MainWindow::Button11Click() {
    guarded([this] { Chart1->clearAll(); });
}

void MainWindow::Button5Click() {
    guarded([this] {
        clearAll(store_);
        Chart1->clearAll();
        Chart2->clearAll();
        Chart6->clearAll();
        clearLayerTable(layerCells_);
        clearDataTable(dataCells_);
        clearSettingsValues(settingsCells_);
        for (QLineEdit* field : slotFields()) field->clear();
        RGF->setItemIndex(0);
        Memo1->clear();
        clearResults();
        showMaterialWavelength(-1);
        showDataSettings();
    });
}

void MainWindow::Button17Click() {
    guarded([this] {
        Chart1->clearSeries(0);
        Chart1->clearSeries(1);
        showDataFitRatio(store_.curfile);
    });
}

}  // namespace tolvi::ui
