#include "window_fixture.h"

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <QCheckBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QLineSeries>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QTableWidget>
#include <QTest>
#include <nlohmann/json.hpp>

#include "actions/load.h"
#include "model/results_file.h"
#include "ui/chart_view.h"
#include "ui/widgets.h"

namespace tolvi::test {

std::unique_ptr<QTemporaryDir> isolateWindowSettings() {
    QStandardPaths::setTestModeEnabled(true);
    auto dir = std::make_unique<QTemporaryDir>();
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        for (QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope})
            QSettings::setPath(format, scope, dir->path());
    QSettings("Tolvi", "Tolvi").clear();
    return dir;
}

QString ScriptedDialogs::answer(const ui::DialogFilter& kind) {
    asked.push_back(kind);
    if (answers.empty()) {
        ADD_FAILURE() << "a dialog opened that the test did not expect";
        return {};
    }
    QString a = answers.front();
    answers.pop_front();
    return a;
}

std::optional<ui::SampleChoice> ScriptedSampleDialog::edit(const ui::SampleChoice& current) {
    shown.push_back(current);
    if (answers.empty()) {
        ADD_FAILURE() << "a sampler dialog opened that the test did not expect";
        return std::nullopt;
    }
    std::optional<ui::SampleChoice> a = answers.front();
    answers.pop_front();
    return a;
}

std::optional<ui::DataSettingsChoice> ScriptedDataSettings::edit(
    const ui::DataSettingsChoice& current) {
    shown.push_back(current);
    if (answers.empty()) {
        ADD_FAILURE() << "a data settings dialog opened that the test did not expect";
        return std::nullopt;
    }
    Answer a = std::move(answers.front());
    answers.pop_front();
    if (!a) return std::nullopt;
    ui::DataSettingsChoice chosen = current;
    a(chosen);
    return chosen;
}

ui::UnsavedQuestion::Answer ScriptedUnsavedQuestion::ask(const QString& project) {
    asked.append(project);
    if (answers.empty()) {
        ADD_FAILURE() << "a question about unsaved changes that the test did not expect";
        return Answer::Discard;
    }
    Answer a = answers.front();
    answers.pop_front();
    return a;
}

void clickCheckBox(QCheckBox* box) {
    QStyleOptionButton option;
    option.initFrom(box);
    QRect area = box->style()->subElementRect(QStyle::SE_CheckBoxClickRect, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, {}, area.center());
}

void clickRadio(QRadioButton* button) {
    QStyleOptionButton option;
    option.initFrom(button);
    QRect area = button->style()->subElementRect(QStyle::SE_RadioButtonClickRect, &option, button);
    QTest::mouseClick(button, Qt::LeftButton, {}, area.center());
}

PdfPrinter::PdfPrinter() : printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
    printer_->setOutputFormat(QPrinter::PdfFormat);
}

PdfPrinter::~PdfPrinter() = default;

void expectTableShowsResults(const QTableWidget* table, const std::string& resultsJson) {
    nlohmann::json r = nlohmann::json::parse(resultsJson);
    auto text = [table](int row, int column) {
        const QTableWidgetItem* item = table->item(row, column);
        return item ? item->text().toStdString() : std::string();
    };
    ASSERT_EQ(table->rowCount(), static_cast<int>(r["parameters"].size()));
    for (int k = 0; k < table->rowCount(); ++k) {
        const auto& p = r["parameters"][static_cast<size_t>(k)];
        EXPECT_EQ(text(k, 0), p["name"].get<std::string>());
        EXPECT_EQ(text(k, 1), shortestText(p["value"].get<double>()));
        EXPECT_EQ(text(k, 2), p["error"].is_null() ? std::string("-")
                                                   : shortestText(p["error"].get<double>()));
        EXPECT_EQ(text(k, 3), p["at_bound"].is_null() ? "" : p["at_bound"].get<std::string>());
    }
}

WindowTest::WindowTest() {
    openWindow();
}

void WindowTest::openWindow() {
    window.reset();
    store = makeStore();
    ui::Services services;
    auto d = std::make_unique<ScriptedDialogs>();
    auto s = std::make_unique<ScriptedDataSettings>();
    auto e = std::make_unique<RecordingErrorBox>();
    auto p = std::make_unique<PdfPrinter>();
    auto a = std::make_unique<RecordingAboutBox>();
    auto u = std::make_unique<ScriptedUnsavedQuestion>();
    auto m = std::make_unique<ScriptedSampleDialog>();
    dialogs = d.get();
    dataSettings = s.get();
    errors = e.get();
    printer = p.get();
    about = a.get();
    unsaved = u.get();
    sampleDialog = m.get();
    services.dialogs = std::move(d);
    services.dataSettings = std::move(s);
    services.errorBox = std::move(e);
    services.printer = std::move(p);
    services.aboutBox = std::move(a);
    services.unsavedQuestion = std::move(u);
    services.sampleDialog = std::move(m);
    window = std::make_unique<ui::MainWindow>(*store, std::move(services), programDirectory());
    window->show();
}

WindowTest::~WindowTest() {
    EXPECT_TRUE(dialogs->answers.empty()) << "dialog answers left unused";
    EXPECT_TRUE(dataSettings->answers.empty()) << "data settings answers left unused";
    EXPECT_TRUE(sampleDialog->answers.empty()) << "sampler answers left unused";
}

void WindowTest::click(const char* button) {
    clickWithoutWaiting(button);
    waitForRun();
}

void WindowTest::clickWithoutWaiting(const char* button) {
    QTest::mouseClick(find<QPushButton>(button), Qt::LeftButton);
}

void WindowTest::waitForRun() {
    while (window->running()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

void WindowTest::chooseItem(const char* group, int index) {
    clickRadio(find<ui::RadioGroup>(group)->item(index));
}

int WindowTest::itemIndex(const char* group) const {
    return find<ui::RadioGroup>(group)->itemIndex();
}

void WindowTest::toggle(const char* checkBox) {
    clickCheckBox(find<QCheckBox>(checkBox));
}

QString WindowTest::field(int number) const {
    return find<QLineEdit>(QString("Edit%1").arg(number).toLatin1().constData())->text();
}

void WindowTest::setField(int number, const QString& text) {
    find<QLineEdit>(QString("Edit%1").arg(number).toLatin1().constData())->setText(text);
}

void WindowTest::typeInto(int number, const QString& text) {
    QLineEdit* edit = find<QLineEdit>(QString("Edit%1").arg(number).toLatin1().constData());
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

namespace {

bool hasHeadingRow(const char* grid) {
    return QString(grid) != "StringGrid3";
}

}  // namespace

QString WindowTest::cell(const char* grid, int row, int column) const {
    QTableWidget* t = find<QTableWidget>(grid);
    if (hasHeadingRow(grid) && row == 0) {
        QTableWidgetItem* h = t->horizontalHeaderItem(column);
        return h ? h->text() : QString();
    }
    QTableWidgetItem* item = t->item(hasHeadingRow(grid) ? row - 1 : row, column);
    return item ? item->text() : QString();
}

void WindowTest::setCell(const char* grid, int row, int column, const QString& text) {
    QTableWidget* t = find<QTableWidget>(grid);
    t->item(hasHeadingRow(grid) ? row - 1 : row, column)->setText(text);
}

QStringList WindowTest::memoLines() const {
    QString text = find<QPlainTextEdit>("Memo1")->toPlainText();
    return text.isEmpty() ? QStringList() : text.split('\n');
}

QLineSeries* WindowTest::series(const char* chart, int index) const {
    return find<ui::ChartView>(chart)->series(index);
}

int WindowTest::points(const char* chart, int index) const {
    return series(chart, index)->count();
}

std::vector<QPointF> WindowTest::seriesPoints(const char* chart, int index) const {
    QList<QPointF> p = series(chart, index)->points();
    return {p.begin(), p.end()};
}

void WindowTest::editDataSettings(ScriptedDataSettings::Answer answer) {
    dataSettings->answers.push_back(std::move(answer));
    click("DataSettingsButton");
}

void WindowTest::loadParam(const std::string& path) {
    dialogs->answers.push_back(QString::fromStdString(path));
    click("Button1");
}

std::string WindowTest::writeFilm(const std::string& name, double thickness, double xmin,
                                  double xmax, int simFit, const std::string& dataFile) {
    writeMaterial(dir.file("Si.mf"), 28.0855, 14.28, 0.33, 4.1491, 0.171, 0.0);
    writeMaterial(dir.file("Ni.mf"), 58.6934, 24.97, 0.51, 10.3, 4.49, 0.6);
    std::string path = dir.file(name);
    writeText(path, headerText(simFit, 0, 0, 1, 1.54, dataFile, xmin, xmax) +
                        blockText("S  Si.mf", {2.33, 0, 3}) +
                        blockText("S  Ni.mf", {8.9, thickness, 4, 0, 0, 1, 0, 0}));
    return path;
}

}  // namespace tolvi::test
