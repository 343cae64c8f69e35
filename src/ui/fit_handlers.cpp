// The fit actions of the model page: "Fit", "Multi Fit", "Recov" and "Cancel". The window takes
// the tables into the model, runs the fit on a thread of its own and shows the report, the fitted
// cells and the curves when it has ended. While it runs the window stays live (charts zoom, the
// log scrolls, the progress shows), and every action that would change the model waits.
#include <QAbstractItemView>
#include <QBoxLayout>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <atomic>
#include <exception>
#include <thread>
#include <vector>

#include "actions/curves.h"
#include "base/text_io.h"
#include "fit/fit_results.h"
#include "fit/fit_runs.h"
#include "ui/chart_view.h"
#include "ui/fit_run.h"
#include "ui/main_window.h"

namespace tolvi::ui {

namespace {

// How often the progress bar is brought up to date while a fit runs.
constexpr int PROGRESS_INTERVAL_MS = 100;

}  // namespace

// On the fit's thread: the counters for the window's timer, nothing else.
void MainWindow::fitProgress(void* context, int evaluations, double bestCost) {
    auto* window = static_cast<MainWindow*>(context);
    if (!window->run_) return;
    window->run_->evaluations.store(evaluations, std::memory_order_relaxed);
    window->run_->bestCost.store(bestCost, std::memory_order_relaxed);
    if (window->runObserver) window->runObserver(evaluations);
}

namespace {

// The box layout below `root` that holds `widget` directly, or none.
QBoxLayout* boxHolding(QLayout* root, QWidget* widget) {
    if (!root) return nullptr;
    if (auto* box = qobject_cast<QBoxLayout*>(root); box && box->indexOf(widget) >= 0) return box;
    for (int i = 0; i < root->count(); ++i)
        if (QBoxLayout* found = boxHolding(root->itemAt(i)->layout(), widget)) return found;
    return nullptr;
}

// Puts `added` right of `widget` in the row or column that holds it.
void placeBeside(QWidget* widget, QWidget* added) {
    QWidget* owner = widget->parentWidget();
    if (auto* grid = qobject_cast<QGridLayout*>(owner->layout());
        grid && grid->indexOf(widget) >= 0) {
        int row = 0, column = 0, rowSpan = 1, columnSpan = 1;
        grid->getItemPosition(grid->indexOf(widget), &row, &column, &rowSpan, &columnSpan);
        grid->removeWidget(widget);
        auto* pair = new QHBoxLayout;
        pair->setSpacing(2);
        pair->addWidget(widget, 1);
        pair->addWidget(added);
        grid->addLayout(pair, row, column, rowSpan, columnSpan);
        return;
    }
    if (QBoxLayout* box = boxHolding(owner->layout(), widget)) {
        int index = box->indexOf(widget);
        box->removeWidget(widget);
        auto* pair = new QHBoxLayout;
        pair->setSpacing(4);
        pair->addWidget(widget, 1);
        pair->addWidget(added);
        box->insertLayout(index, pair);
    }
}

}  // namespace

// The Cancel button beside "Fit" and the progress bar beside the status line (shown while a fit
// runs). The Fit menu's Cancel (Esc) calls the same handler.
void MainWindow::buildRunControls() {
    QWidget* panel = Button4->parentWidget();
    cancelButton_ = new QPushButton("Cancel", panel);
    cancelButton_->setObjectName("cancelButton");
    cancelButton_->setEnabled(false);
    cancelButton_->setToolTip(
        "Stops the running fit at its next evaluation (Esc): the model goes back to where it was "
        "before the fit, and no report is written.");
    fitProgress_ = new QProgressBar(Edit4->parentWidget());
    fitProgress_->setObjectName("fitProgress");
    fitProgress_->setTextVisible(true);
    fitProgress_->setVisible(false);
    fitProgress_->setToolTip(
        "The running fit: model evaluations so far, the best cost (chi-square for least squares, "
        "the L1 norm of the genetic search) and the seconds since it started.");
    fitProgress_->setFixedWidth(380);
    placeBeside(Button4, cancelButton_);
    sampleButton_ = new QPushButton("Sample…", panel);
    sampleButton_->setObjectName("sampleButton");
    sampleButton_->setToolTip(
        "Samples the posterior of the free parameters with an ensemble of walkers (walkers, "
        "length, burn-in and seed in its dialog): medians, 68 % and 95 % intervals in the log and "
        "the Results tab, the profile's spread over the samples, and the corner plot. Meaningful "
        "with errors from the data; runs like a fit, with progress and Cancel.");
    placeBeside(cancelButton_, sampleButton_);
    connect(sampleButton_, &QPushButton::clicked, this, &MainWindow::SampleClick);
    placeBeside(Edit4, fitProgress_);
    connect(cancelButton_, &QPushButton::clicked, this, &MainWindow::CancelClick);
    buildResultsPanel();  // the fit's named results, beside its report
    progressTimer_ = new QTimer(this);
    progressTimer_->setInterval(PROGRESS_INTERVAL_MS);
    connect(progressTimer_, &QTimer::timeout, this, &MainWindow::showRunProgress);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!fitRunning_ && !confirmClose()) {
        event->ignore();
        return;
    }
    if (fitRunning_) {
        // The fit stops at its next evaluation; its end is shown before the window goes.
        fitState_->cancelRequested = true;
        finishFit();
    }
    saveLayout();  // the geometry and splitters, for the next start
    QMainWindow::closeEvent(event);
}

void MainWindow::Button4Click() {
    fitAction(false);
}

void MainWindow::Button12Click() {
    fitAction(true);
}

void MainWindow::CancelClick() {
    if (fitRunning_) fitState_->cancelRequested = true;
}

// "Fit" and "Multi Fit": the current slot alone, or every loaded slot with the layer quantities
// shared. Multi Fit shows the start message too, once it is sure to have the slots to fit.
void MainWindow::fitAction(bool multi) {
    guarded([this, multi] {
        if (!takeTablesForRun(multi, "-->Fit started, wait for a while")) return;

        FitOptions options;
        options.multi = multi;
        bool genetic = RGM->itemIndex() == 1;
        options.method = genetic ? FitMethod::Genetic : FitMethod::LeastSquares;
        if (genetic) {
            options.population = parseInt(Edit19->text().toStdString(), "field GA popul <100");
            options.maxGene = parseInt(Edit20->text().toStdString(), "field max_gene");
        }
        startFit(options);
    });
}

void MainWindow::startFit(const FitOptions& options) {
    auto run = std::make_shared<FitRun>(fitState_->cancelRequested);
    run->options = options;
    launchRun(std::move(run));
}

bool MainWindow::takeTablesForRun(bool multi, const std::string& started) {
    if (multi) {
        Status enough = multiFitDataCheck(store_);
        if (!enough.ok()) {
            setStatus(enough.message);
            return false;
        }
    }
    setStatus(started);
    Edit4->repaint();
    int d = store_.curfile;
    FieldText xmin(Edit23), xmax(Edit24);
    takeTables(store_, d, multi, xmin, xmax, dataCells_, layerCells_);
    showSettings(store_, d, settingsCells_);  // the range as taken
    return true;
}

// Starts the fit or sample on its thread; finishFit shows it when the thread is done.
void MainWindow::launchRun(std::shared_ptr<FitRun> run) {
    run_ = std::move(run);
    run_->slot = store_.curfile;
    run_->clock.start();
    fitState_->cancelRequested = false;
    setRunning(true);
    run_->thread = std::thread([this, run = run_.get()] {
        try {
            if (run->sampling) {
                run->sampleReport = runSample(store_, *fitState_, *chain_, run->sampleOptions);
                if (succeeded(run->sampleReport.outcome))
                    profileBand(store_, *fitState_, *chain_, run->sld, *run->band);
            } else {
                run->report = runFit(store_, *fitState_, *genetic_, run->options);
            }
        } catch (...) {
            run->failure = std::current_exception();
        }
        QMetaObject::invokeMethod(
            this, [this] { finishFit(); }, Qt::QueuedConnection);
    });
}

// Joins the fit's thread (waiting for it when it has not ended) and shows what it did. A second
// call, from the notice the thread posted after a close had already finished it, does nothing.
void MainWindow::finishFit() {
    if (!run_) return;
    if (run_->thread.joinable()) run_->thread.join();
    std::shared_ptr<FitRun> run = std::move(run_);
    setRunning(false);
    guarded([this, &run] {
        if (run->failure) std::rethrow_exception(run->failure);
        if (run->sampling)
            showSampleReport(*run);
        else
            showFitReport(run->report, run->options.method == FitMethod::Genetic);
    });
}

void MainWindow::showFitReport(const FitReport& report, bool genetic) {
    if (report.populationRefused) Memo1->appendPlainText("Error! too many popuration");
    if (!showRunReport(report.status, report.outcome, report.statusText, report.lines,
                       report.warnings))
        return;
    showResults(
        namedFitResults(store_, *fitState_, genetic ? "ga" : "lm", report.status, !genetic));
    showRunValues();
    if (genetic) showGeneticHistory(report.generations);
}

bool MainWindow::showRunReport(int status, Outcome outcome, const std::string& statusText,
                               const std::vector<std::string>& lines,
                               const std::vector<std::string>& warnings) {
    setStatus(statusLine(statusText));
    if (status < 0) {
        // A cancelled run put the model back as it was: its curves as before the run.
        if (outcome == Outcome::Cancelled) {
            int d = store_.curfile;
            refreshReference(store_, d);
            showCurve(d, 0, CurvePart::XRange, store_.rRfMode);
        }
        return false;
    }
    for (const std::string& line : lines) Memo1->appendPlainText(logLine(line));
    for (const std::string& warning : warnings) Memo1->appendPlainText(qText(warning));
    Edit8->setText(QString::number(fitState_->list.npar));
    return true;
}

void MainWindow::showRunValues() {
    int d = store_.curfile;
    showFittedValues();
    showDataSettings();
    showTiedCells(store_, d, layerCells_);
    refreshReference(store_, d);
    // Curves of other slots (from "Plot All") belong to values the run may have changed. They go
    // one by one, so that a zoomed view stays.
    for (int s = 2; s < Chart1->seriesCount(); ++s) Chart1->clearSeries(s);
    showCurve(d, 0, CurvePart::XRange, store_.rRfMode);
    showProfile(d);
}

// While a fit runs: the controls that would change the model (or read it while the fit writes
// it) are disabled, the tables and fields read-only, Cancel enabled and the progress shown.
// Tab pages, charts and the message log stay live. Afterwards everything is as it was.
void MainWindow::setRunning(bool running) {
    fitRunning_ = running;
    showUndoActions();
    if (running) {
        enabledBeforeRun_.clear();
        editableBeforeRun_.clear();
        writableBeforeRun_.clear();
        for (QWidget* w : findChildren<QWidget*>()) {
            bool control = qobject_cast<QPushButton*>(w) || qobject_cast<QCheckBox*>(w) ||
                           qobject_cast<QComboBox*>(w) || qobject_cast<RadioGroup*>(w);
            if (!control || w == cancelButton_) continue;
            enabledBeforeRun_.emplace_back(w, w->isEnabled());
            w->setEnabled(false);
        }
        for (QTableWidget* table : findChildren<QTableWidget*>()) {
            if (table->editTriggers() == QAbstractItemView::NoEditTriggers) continue;
            editableBeforeRun_.push_back(table);
            table->setProperty("editTriggersBeforeRun", static_cast<int>(table->editTriggers()));
            table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        }
        for (QLineEdit* field : findChildren<QLineEdit*>()) {
            if (field->isReadOnly()) continue;
            writableBeforeRun_.push_back(field);
            field->setReadOnly(true);
        }
        cancelButton_->setEnabled(true);
        bool genetic = run_ && !run_->sampling && run_->options.method == FitMethod::Genetic;
        // The genetic search costs its population once per generation, the sampler (with its
        // walkers given) each walker once a step at most: a known end.
        int total = genetic ? run_->options.population * (run_->options.maxGene + 1) : 0;
        if (run_ && run_->sampling && run_->sampleOptions.walkers > 0 &&
            !run_->sampleOptions.startFromFit)
            total = static_cast<int>(std::min<long>(
                long(run_->sampleOptions.walkers) * run_->sampleOptions.steps, INT_MAX));
        fitProgress_->setRange(0, total);
        fitProgress_->setValue(0);
        fitProgress_->setFormat(run_->label() + ": starting");
        fitProgress_->setVisible(true);
        progressTimer_->start();
    } else {
        progressTimer_->stop();
        fitProgress_->setVisible(false);
        cancelButton_->setEnabled(false);
        for (auto [w, enabled] : enabledBeforeRun_) w->setEnabled(enabled);
        for (QAbstractItemView* table : editableBeforeRun_)
            table->setEditTriggers(
                QAbstractItemView::EditTriggers(table->property("editTriggersBeforeRun").toInt()));
        for (QLineEdit* field : writableBeforeRun_) field->setReadOnly(false);
        enabledBeforeRun_.clear();
        editableBeforeRun_.clear();
        writableBeforeRun_.clear();
    }
    for (QAction* action : modelActions_) action->setEnabled(!running);
    if (cancelAction_) cancelAction_->setEnabled(running);
}

void MainWindow::showRunProgress() {
    if (!run_) return;
    int evaluations = run_->evaluations.load(std::memory_order_relaxed);
    double best = run_->bestCost.load(std::memory_order_relaxed);
    qint64 seconds = run_->clock.elapsed() / 1000;
    bool genetic = !run_->sampling && run_->options.method == FitMethod::Genetic;
    if (fitProgress_->maximum() > 0)
        fitProgress_->setValue(std::min(evaluations, fitProgress_->maximum()));
    QString cost = evaluations > 0 ? QString::number(best, 'g', 6) : QString("-");
    fitProgress_->setFormat(QString("%1: %2 evaluations, best %3 %4, %5 s")
                                .arg(run_->label())
                                .arg(evaluations)
                                .arg(genetic ? "L1" : "chi2")
                                .arg(cost)
                                .arg(seconds));
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
