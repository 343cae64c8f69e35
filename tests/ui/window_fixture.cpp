#include "window_fixture.h"

#include <QCheckBox>
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

#include "actions/load.h"
#include "ui/chart_view.h"
#include "ui/widgets.h"

namespace tolvi::test {

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

PdfPrinter::PdfPrinter() : printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
    printer_->setOutputFormat(QPrinter::PdfFormat);
}

PdfPrinter::~PdfPrinter() = default;

WindowTest::WindowTest() : store(makeStore()) {
    ui::Services services;
    auto d = std::make_unique<ScriptedDialogs>();
    auto e = std::make_unique<RecordingErrorBox>();
    auto p = std::make_unique<PdfPrinter>();
    dialogs = d.get();
    errors = e.get();
    printer = p.get();
    services.dialogs = std::move(d);
    services.errorBox = std::move(e);
    services.printer = std::move(p);
    window = std::make_unique<ui::MainWindow>(*store, std::move(services), programDirectory());
    window->show();
}

WindowTest::~WindowTest() {
    EXPECT_TRUE(dialogs->answers.empty()) << "dialog answers left unused";
}

void WindowTest::click(const char* button) {
    QTest::mouseClick(find<QPushButton>(button), Qt::LeftButton);
}

// A radio button in a stretched layout is wider than its click area, and a click at the
// widget's centre would miss it: click where the style says the button reacts.
void WindowTest::chooseItem(const char* group, int index) {
    QRadioButton* b = find<ui::RadioGroup>(group)->item(index);
    QStyleOptionButton option;
    option.initFrom(b);
    QRect area = b->style()->subElementRect(QStyle::SE_RadioButtonClickRect, &option, b);
    QTest::mouseClick(b, Qt::LeftButton, {}, area.center());
}

int WindowTest::itemIndex(const char* group) const {
    return find<ui::RadioGroup>(group)->itemIndex();
}

void WindowTest::toggle(const char* checkBox) {
    QCheckBox* b = find<QCheckBox>(checkBox);
    QStyleOptionButton option;
    option.initFrom(b);
    QRect area = b->style()->subElementRect(QStyle::SE_CheckBoxClickRect, &option, b);
    QTest::mouseClick(b, Qt::LeftButton, {}, area.center());
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
