// The named results of the last fit: a table in a tab beside the message log (name, value,
// error, at bound), and the correlation matrix in a window of its own on request. The numbers are
// those the command line's --results file holds, in the same shortest round-trip form.
#include <QBoxLayout>
#include <QDialog>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/main_window.h"

namespace tolvi::ui {

namespace {

QString numberOrDash(const std::optional<double>& v) {
    return v ? qText(shortestText(*v)) : QStringLiteral("-");
}

QTableWidgetItem* readOnlyItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

}  // namespace

// The message log moves into a tab "Log" of a small tab control whose second tab "Results" holds
// the table and the Correlation button; the log stays where it was and as wide.
void MainWindow::buildResultsPanel() {
    QWidget* page = Memo1->parentWidget();
    auto* box = qobject_cast<QBoxLayout*>(page->layout());
    int index = box ? box->indexOf(Memo1) : -1;
    fitInfoTabs_ = new QTabWidget(page);
    fitInfoTabs_->setObjectName("fitInfoTabs");
    fitInfoTabs_->setFixedWidth(Memo1->maximumWidth() + 8);
    if (box && index >= 0) {
        box->removeWidget(Memo1);
        box->insertWidget(index, fitInfoTabs_);
    }
    fitInfoTabs_->addTab(Memo1, "Log");

    auto* results = new QWidget;
    results->setObjectName("resultsPage");
    resultsTable_ = new QTableWidget(0, 4, results);
    resultsTable_->setObjectName("resultsTable");
    resultsTable_->setHorizontalHeaderLabels({"name", "value", "error", "at bound"});
    resultsTable_->verticalHeader()->setVisible(false);
    resultsTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    resultsTable_->horizontalHeader()->setStretchLastSection(true);
    resultsTable_->setToolTip(
        "The named results of the last fit: each free parameter's value, its 1-sigma error from "
        "the least-squares covariance (unscaled; none for the genetic search) and the bound it "
        "ends on, if any. The same numbers as tolvi-cli's --results file.");
    correlationButton_ = new QPushButton("Correlation…", results);
    correlationButton_->setObjectName("correlationButton");
    correlationButton_->setEnabled(false);
    correlationButton_->setToolTip(
        "Shows the correlation matrix of the last least-squares fit's parameters.");
    connect(correlationButton_, &QPushButton::clicked, this, &MainWindow::CorrelationClick);
    cornerButton_ = new QPushButton("Corner plot…", results);
    cornerButton_->setObjectName("cornerButton");
    cornerButton_->setEnabled(false);
    cornerButton_->setToolTip(
        "Shows the last sample's posterior: a histogram of each parameter with its median and "
        "68 % interval, and the density of each pair.");
    connect(cornerButton_, &QPushButton::clicked, this, &MainWindow::CornerClick);
    auto* layout = new QVBoxLayout(results);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(resultsTable_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(correlationButton_);
    buttons->addWidget(cornerButton_);
    layout->addLayout(buttons);
    fitInfoTabs_->addTab(results, "Results");
}

void MainWindow::showResults(const NamedResults& results) {
    lastResults_ = results;
    resultsTable_->setRowCount(static_cast<int>(results.parameters.size()));
    for (int r = 0; r < resultsTable_->rowCount(); ++r) {
        const ParameterResult& p = results.parameters[static_cast<size_t>(r)];
        resultsTable_->setItem(r, 0, readOnlyItem(qText(p.name)));
        resultsTable_->setItem(r, 1, readOnlyItem(qText(shortestText(p.value))));
        resultsTable_->setItem(r, 2, readOnlyItem(numberOrDash(p.error)));
        resultsTable_->setItem(r, 3, readOnlyItem(qText(p.atBound)));
    }
    resultsTable_->resizeColumnsToContents();
    correlationButton_->setEnabled(results.correlation.has_value());
    // The corner plot is a sample's: another run's results take it away.
    cornerButton_->setEnabled(false);
    if (cornerDialog_) cornerDialog_->hide();
    if (correlationDialog_ && correlationDialog_->isVisible()) CorrelationClick();
}

void MainWindow::clearResults() {
    lastResults_ = NamedResults{};
    resultsTable_->setRowCount(0);
    correlationButton_->setEnabled(false);
    if (correlationDialog_) correlationDialog_->hide();
    cornerButton_->setEnabled(false);
    if (cornerDialog_) cornerDialog_->hide();
}

void MainWindow::CorrelationClick() {
    if (!lastResults_.correlation) return;
    if (!correlationDialog_) {
        correlationDialog_ = new QDialog(this);
        correlationDialog_->setObjectName("correlationDialog");
        correlationDialog_->setWindowTitle("Correlation of the last fit");
        auto* table = new QTableWidget(correlationDialog_);
        table->setObjectName("correlationTable");
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        auto* layout = new QVBoxLayout(correlationDialog_);
        layout->addWidget(table);
        correlationDialog_->resize(640, 320);
    }
    auto* table = correlationDialog_->findChild<QTableWidget*>("correlationTable");
    const auto& names = lastResults_.parameters;
    const auto& c = *lastResults_.correlation;
    int n = static_cast<int>(names.size());
    table->setRowCount(n);
    table->setColumnCount(n);
    QStringList labels;
    for (const ParameterResult& p : names) labels << qText(p.name);
    table->setHorizontalHeaderLabels(labels);
    table->setVerticalHeaderLabels(labels);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const std::optional<double>& v = c[static_cast<size_t>(i) * n + j];
            table->setItem(i, j, readOnlyItem(v ? QString::number(*v, 'f', 3) : QString("-")));
        }
    table->resizeColumnsToContents();
    correlationDialog_->show();
    correlationDialog_->raise();
}

}  // namespace tolvi::ui
