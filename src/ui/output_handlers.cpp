// Text exports of the current slot, the workspace as an ORSO file, and printing of the two model
// charts.
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>

#include "actions/exports.h"
#include "actions/orso_export.h"
#include "model/project_file.h"
#include "ui/chart_view.h"
#include "ui/main_window.h"

namespace tolvi::ui {

void MainWindow::saveExport(ExportKind kind) {
    QString chosen = services_.dialogs->saveFile(curveSaveDialog());
    if (chosen.isEmpty()) return;
    Edit2->setText(chosen);
    Status s = writeExport(store_, store_.curfile, kind, chosen.toStdString());
    if (!s.ok()) setStatus(s.message);
}

void MainWindow::Button7Click() {
    guarded([this] { saveExport(ExportKind::DataFit); });
}

void MainWindow::Button8Click() {
    guarded([this] { saveExport(ExportKind::Data); });
}

void MainWindow::Button15Click() {
    guarded([this] { saveExport(ExportKind::Fit); });
}

void MainWindow::Button14Click() {
    guarded([this] { saveExport(ExportKind::Profiles); });
}

// Every slot of the workspace as a data set of an ORSO file, the current slot's tables taken
// first (as "Save project" takes them), so that the header's model is the curve's.
void MainWindow::SaveOrtClick() {
    guarded([this] {
        if (workspaceSlots(store_) == 0) {
            setStatus("--->Error, nothing to save: load a parameter file or open a project first");
            return;
        }
        QString chosen = services_.dialogs->saveFile(orsoSaveDialog());
        if (chosen.isEmpty()) return;
        plotCurrentSlot();
        Status s = writeOrsoFile(store_, chosen.toStdString());
        setStatus(s.message);
        if (s.succeeded()) Edit2->setText(chosen);
    });
}

// The chart on one landscape page as vector graphics, scaled to the page with the proportions
// it has on the screen (a chart on a page never shown takes the page's). The printer's
// orientation is put back afterwards, as the user had it.
void MainWindow::printChart(ChartView* view) {
    QPrinter& printer = services_.printer->printer();
    QPageLayout::Orientation previous = printer.pageLayout().orientation();
    printer.setPageOrientation(QPageLayout::Landscape);
    QPainter painter;
    // Without a print service Qt quietly falls back to a PDF printer without a file name, and
    // only begin() tells.
    if (!painter.begin(&printer)) {
        printer.setPageOrientation(previous);
        setStatus("--->Error no printer available");
        return;
    }
    QRectF page(painter.viewport());
    double aspect = view->isVisible() && view->height() > 0
                        ? static_cast<double>(view->width()) / view->height()
                        : page.width() / page.height();
    view->paintScaled(painter, page, aspect);
    painter.end();
    printer.setPageOrientation(previous);
}

void MainWindow::Button13Click() {
    guarded([this] { printChart(Chart1); });
}

void MainWindow::Button16Click() {
    guarded([this] { printChart(Chart2); });
}

void MainWindow::Button18Click() {
    // "Reserve" keeps its place on the page for a later action; it does nothing.
}

}  // namespace tolvi::ui
