// The fit actions of the model page: "Fit", "Multi Fit" and "Recov". The core runs the fit; the
// window takes the tables into the model first and shows the report, the fitted cells and the
// curves afterwards.
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <vector>

#include "actions/curves.h"
#include "base/text_io.h"
#include "fit/fit_runs.h"
#include "ui/chart_view.h"
#include "ui/main_window.h"

namespace tolvi::ui {

namespace {

// How often a running fit lets the window repaint and answer the system: often enough that it
// never looks dead, rarely enough that the fit does not pay for it.
constexpr qint64 EVENT_INTERVAL_MS = 50;

// Marks a fit as running for as long as it lives, also when the fit ends by an exception.
class FitRunning {
  public:
    explicit FitRunning(bool& flag) : flag_(flag) { flag_ = true; }
    ~FitRunning() { flag_ = false; }
    FitRunning(const FitRunning&) = delete;
    FitRunning& operator=(const FitRunning&) = delete;

  private:
    bool& flag_;
};

// The report's lines are formatted for a text stream; a log line shows them without the
// line end.
QString logLine(const std::string& line) {
    std::string_view text = line;
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void MainWindow::fitProgress(void* context, int, double) {
    auto* window = static_cast<MainWindow*>(context);
    // The first report of a fit always gets through, so that the start message is painted.
    if (window->sinceEvents_.isValid() && window->sinceEvents_.elapsed() < EVENT_INTERVAL_MS)
        return;
    window->sinceEvents_.start();
    // Clicks and keys wait for the end of the fit; paints, timers and posted events go on.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (fitRunning_) {
        closeWaiting_ = true;
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::Button4Click() {
    fitAction(false);
}

void MainWindow::Button12Click() {
    fitAction(true);
}

// "Fit" and "Multi Fit": the current slot alone, or every loaded slot with the layer quantities
// shared. Multi Fit shows the start message too, once it is sure to have the slots to fit.
void MainWindow::fitAction(bool multi) {
    guarded([this, multi] {
        if (multi) {
            Status enough = multiFitDataCheck(store_);
            if (!enough.ok()) {
                setStatus(enough.message);
                return;
            }
        }
        setStatus("-->Fit started, wait for a while");
        Edit4->repaint();

        int d = store_.curfile;
        FieldText xmin(Edit23), xmax(Edit24);
        takeTables(store_, d, multi, xmin, xmax, dataCells_, layerCells_);

        FitOptions options;
        options.multi = multi;
        bool genetic = RGM->itemIndex() == 1;
        options.method = genetic ? FitMethod::Genetic : FitMethod::LeastSquares;
        if (genetic) {
            options.population = parseInt(Edit19->text().toStdString(), "field GA popul <100");
            options.maxGene = parseInt(Edit20->text().toStdString(), "field max_gene");
        }

        FitReport report;
        {
            FitRunning running(fitRunning_);
            sinceEvents_.invalidate();
            report = runFit(store_, *fitState_, *genetic_, options);
        }

        if (report.populationRefused) Memo1->appendPlainText("Error! too many popuration");
        setStatus(statusLine(report.statusText));
        if (report.status < 0) return;
        for (const std::string& line : report.lines) Memo1->appendPlainText(logLine(line));
        for (const std::string& warning : report.warnings) Memo1->appendPlainText(qText(warning));
        Edit8->setText(QString::number(fitState_->list.npar));

        showFittedValues();
        showDataSettings();
        showTiedCells(store_, d, layerCells_);
        refreshReference(store_, d);
        showCurve(d, 0, CurvePart::XRange, store_.rRfMode);
        if (genetic) showGeneticHistory(report.generations);
        showProfile(d);
    });
    if (closeWaiting_ && !fitRunning_) {
        closeWaiting_ = false;
        close();
    }
}

void MainWindow::Button9Click() {
    guarded([this] {
        if (!recoverFit(store_, *fitState_)) return;
        showFittedValues();
        showDataSettings();
        int d = store_.curfile;
        showCurve(d, 0, CurvePart::Whole, store_.rRfMode);
        showProfile(d);
    });
}

// Each fitted value into its value cell: layer quantities in the row of their table entry,
// scalars in the row of their slot (for "Fit" that is the current slot). The resolution scale and
// the beam width have no cell: the data settings' summary shows them.
void MainWindow::showFittedValues() {
    const FitParamList& list = fitState_->list;
    for (int k = 0; k < list.npar; ++k) {
        int q = list.quantity[k];
        int row = list.owner[k] + 1;
        std::string text = fittedText(list.x[k]);
        if (q <= FIT_MAG)
            layerCells_.setText(row, LAYER_VALUE_COLUMN[q], text);
        else if (q <= FIT_BG)
            dataCells_.setText(row, DATA_VALUE_COLUMN[q - FIT_X0], text);
    }
}

// The best cost after each generation: generation g + 1 drawn at g.
void MainWindow::showGeneticHistory(int generations) {
    std::vector<double> g(static_cast<size_t>(generations)), cost(g.size());
    for (int i = 0; i < generations; ++i) {
        g[i] = i;
        cost[i] = genetic_->gaHistory[i + 1];
    }
    Chart6->setPoints(0, g, cost);
}

}  // namespace tolvi::ui
