// Undo and redo: the window's state after each action, kept by the history (undo_history.h), and
// put back on request.
#include <QAction>
#include <QLineSeries>
#include <QLineEdit>
#include <QTableWidget>
#include <QTimer>

#include "actions/workspace_snapshot.h"
#include "ui/chart_view.h"
#include "ui/main_window.h"
#include "ui/undo_history.h"
#include "ui/widgets.h"

namespace tolvi::ui {

namespace {

QStringList cellTexts(const QTableWidget* table) {
    QStringList texts;
    texts.reserve(table->rowCount() * table->columnCount());
    for (int r = 0; r < table->rowCount(); ++r)
        for (int c = 0; c < table->columnCount(); ++c) {
            const QTableWidgetItem* item = table->item(r, c);
            texts.append(item ? item->text() : QString());
        }
    return texts;
}

// The texts as they were, cell by cell where they differ from what the table shows now (the
// model's values): those cells are then edits again, read back by the next action.
void showCellTexts(QTableWidget* table, const QStringList& texts) {
    if (texts.size() != table->rowCount() * table->columnCount()) return;
    int i = 0;
    for (int r = 0; r < table->rowCount(); ++r)
        for (int c = 0; c < table->columnCount(); ++c, ++i) {
            QTableWidgetItem* item = table->item(r, c);
            if (item && item->text() != texts[i]) item->setText(texts[i]);
        }
}

ChartContents contentsOf(const ChartView* chart) {
    ChartContents c;
    c.yTitle = chart->yTitle();
    for (int i = 0; i < chart->seriesCount(); ++i) {
        c.points.append(chart->series(i)->points());
        c.names.append(chart->series(i)->name());
    }
    return c;
}

// Series the chart gained after the step (the posterior's bands) are emptied.
void showContents(ChartView* chart, const ChartContents& c) {
    if (c.names.size() != c.points.size()) return;
    chart->setYTitle(c.yTitle);
    std::vector<double> x, y;
    for (int i = 0; i < chart->seriesCount(); ++i) {
        if (i >= c.points.size()) {
            chart->clearSeries(i);
            continue;
        }
        const QList<QPointF>& points = c.points[i];
        if (points == chart->series(i)->points()) continue;
        x.clear();
        y.clear();
        for (const QPointF& p : points) {
            x.push_back(p.x());
            y.push_back(p.y());
        }
        chart->setPoints(i, x, y);
    }
    for (int i = 0; i < chart->seriesCount() && i < c.names.size(); ++i)
        chart->setSeriesName(i, c.names[i]);
}

}  // namespace

std::array<QLineEdit*, 14> MainWindow::stateFields() const {
    return {Edit1, Edit2,  Edit3,  Edit4,  Edit5,  Edit6,  Edit7,
            Edit8, Edit19, Edit20, Edit21, Edit22, Edit23, Edit24};
}

WindowState MainWindow::windowState() const {
    WindowState state;
    state.workspace = takeSnapshot(store_, *fitState_);
    state.layerCells = cellTexts(StringGrid1);
    state.dataCells = cellTexts(StringGrid2);
    state.settingsCells = cellTexts(StringGrid3);
    for (const QLineEdit* field : stateFields()) state.fields.append(field->text());
    for (const std::optional<DrawnCurve>& d : drawn_)
        state.drawn << (d ? 1 : 0) << (d ? d->slot : 0)
                    << (d ? static_cast<int>(d->part) : 0) << (d && d->ratio) << (d && d->dataFitRatio);
    state.profiles = contentsOf(Chart2);
    return state;
}

void MainWindow::showState(const WindowState& state) {
    Status s = restoreSnapshot(store_, *fitState_, state.workspace);
    if (!s.ok()) {
        setStatus(s.message);
        return;
    }
    showWorkspace();
    // The template read into a slot that is not counted: its tables as "Template" shows them.
    int slot = store_.curfile;
    if (store_.nfile == 0 && store_.layerModel(slot).nlay > 0) showSlot(slot, false);
    showContents(Chart2, state.profiles);
    // The curves that were drawn, in the view chosen now.
    if (state.drawn.size() == 5 * MAX_SLOTS) {
        for (int pair = 0; pair < MAX_SLOTS; ++pair) {
            const int* d = state.drawn.constData() + 5 * pair;
            bool shown = d[0] != 0 && d[1] >= 0 && d[1] < MAX_SLOTS && (d[2] == 0 || d[2] == 1);
            if (shown) {
                drawn_[pair] = DrawnCurve{d[1], static_cast<CurvePart>(d[2]), d[3] != 0, d[4] != 0};
                continue;
            }
            Chart1->clearSeries(2 * pair);
            Chart1->clearSeries(2 * pair + 1);
            forgetDrawnPair(2 * pair);
        }
        redrawCurves();
    }
    showCellTexts(StringGrid1, state.layerCells);
    showCellTexts(StringGrid2, state.dataCells);
    showCellTexts(StringGrid3, state.settingsCells);
    const auto fields = stateFields();
    if (state.fields.size() == static_cast<qsizetype>(fields.size())) {
        int i = 0;
        for (QLineEdit* field : fields) field->setText(state.fields[i++]);
    }
    clearResults();
}

void MainWindow::recordStep() noexcept {
    stepPending_ = false;
    // A running fit holds the model; its end is recorded when it is shown.
    if (fitRunning_ || !history_) return;
    try {
        history_->record(packState(windowState()));
    } catch (...) {
        // Memory short for a step: the history goes on without it.
    }
    showUndoActions();
}

void MainWindow::scheduleStep() {
    if (stepPending_) return;
    stepPending_ = true;
    QTimer::singleShot(0, this, [this] { recordStep(); });
}

void MainWindow::setUpHistory() {
    history_ = std::make_unique<UndoHistory>();
    for (QTableWidget* table : {StringGrid1, StringGrid2, StringGrid3})
        connect(table, &QTableWidget::itemChanged, this, [this] { scheduleStep(); });
    for (QLineEdit* field : stateFields())
        connect(field, &QLineEdit::editingFinished, this, [this] { scheduleStep(); });
    recordStep();
}

void MainWindow::moveInHistory(bool forward) {
    guarded([this, forward] {
        // An edit not yet recorded is a step of its own, which undo then takes back.
        recordStep();
        std::optional<QByteArray> packed = forward ? history_->redo() : history_->undo();
        if (!packed) return;
        std::optional<WindowState> state = unpackState(*packed);
        if (!state) return;
        showState(*state);
        // What the window shows now, which is the state put back.
        history_->replaceCurrent(packState(windowState()));
    });
    showUndoActions();
}

void MainWindow::UndoClick() {
    moveInHistory(false);
}

void MainWindow::RedoClick() {
    moveInHistory(true);
}

void MainWindow::showUndoActions() {
    if (!undoAction_ || !history_) return;
    undoAction_->setEnabled(!fitRunning_ && history_->canUndo());
    redoAction_->setEnabled(!fitRunning_ && history_->canRedo());
}

}  // namespace tolvi::ui
