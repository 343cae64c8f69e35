// The window as it opens, its controls, the ambient medium and the button that does nothing.
#include <QAbstractAxis>
#include <QApplication>
#include <QCheckBox>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QValueAxis>
#include <map>

#include "ui/chart_view.h"
#include "ui/widgets.h"
#include "window_fixture.h"

namespace tolvi::test {
namespace {

using StartUp = WindowTest;

TEST_F(StartUp, CaptionAndSize) {
    EXPECT_EQ(window->windowTitle(), "Tolvi v.4     2018");
    EXPECT_EQ(window->size(), QSize(1205, 754));
}

TEST_F(StartUp, FieldsOptionGroupsAndStore) {
    const std::map<int, QString> texts = {{10, "1.54"}, {15, "1000"}, {16, "200"}, {19, "15"},
                                          {20, "200"},  {21, "0."},   {22, "0."}};
    for (int n = 1; n <= 24; ++n) {
        auto it = texts.find(n);
        EXPECT_EQ(field(n), it == texts.end() ? QString() : it->second) << "Edit" << n;
    }
    const std::pair<const char*, int> items[] = {{"RG0", 0}, {"RG1", 1}, {"RG2", 0}, {"RG3", 0},
                                                 {"RG4", 1}, {"RG5", 1}, {"RGF", 0}, {"RGM", 1}};
    for (auto [group, index] : items) EXPECT_EQ(itemIndex(group), index) << group;
    EXPECT_FALSE(find<QCheckBox>("CheckBox1")->isChecked());
    EXPECT_TRUE(find<QPlainTextEdit>("Memo1")->toPlainText().isEmpty());
    EXPECT_EQ(store->nfile, 0);
    EXPECT_EQ(store->curfile, 0);
    EXPECT_EQ(store->ambientN(), (Complex{1.0, 0.0}));
}

TEST_F(StartUp, TablesWithHeadingsAndLabels) {
    EXPECT_EQ(find<QTableWidget>("StringGrid1")->rowCount(), 200);
    EXPECT_EQ(find<QTableWidget>("StringGrid1")->columnCount(), 19);
    EXPECT_EQ(find<QTableWidget>("StringGrid2")->rowCount(), 6);
    EXPECT_EQ(find<QTableWidget>("StringGrid2")->columnCount(), 13);
    EXPECT_EQ(cell("StringGrid1", 0, 2), "materi");
    EXPECT_EQ(cell("StringGrid1", 0, 11), "sig[A]");
    EXPECT_EQ(cell("StringGrid1", 1, 0), "1 Base");
    EXPECT_EQ(cell("StringGrid1", 200, 0), "200");
    EXPECT_EQ(cell("StringGrid1", 1, 3), "");
    EXPECT_EQ(cell("StringGrid2", 0, 9), "BG(cnt)");
    EXPECT_EQ(cell("StringGrid2", 6, 0), "File 6");
    EXPECT_EQ(cell("StringGrid3", 5, 0), "⊿θ[FWHM x-unit]");
    EXPECT_EQ(cell("StringGrid3", 5, 1), "");
}

TEST_F(StartUp, ButtonsWithTheirCaptions) {
    const std::pair<int, const char*> buttons[] = {{1, "Load Param"},
                                                   {2, "Template"},
                                                   {3, "Save Param"},
                                                   {4, "Fit"},
                                                   {5, "All Clear"},
                                                   {6, "Plot"},
                                                   {7, "Save data/fit"},
                                                   {8, "Save data"},
                                                   {9, "Recov"},
                                                   {10, "Plot All"},
                                                   {11, "Clear Plot"},
                                                   {12, "Multi Fit"},
                                                   {13, "Print Graph"},
                                                   {14, "Save Profiles"},
                                                   {15, "Save Fit"},
                                                   {16, "Print Profiles"},
                                                   {17, "Rdata/Fit"},
                                                   {18, "Reserve"},
                                                   {19, "Template data"},
                                                   {20, "Load data"},
                                                   {21, "FT"},
                                                   {22, "Save FT"},
                                                   {23, "Set"}};
    for (auto [number, caption] : buttons) {
        QString name = QString("Button%1").arg(number);
        EXPECT_EQ(find<QPushButton>(name.toLatin1().constData())->text(), caption) << number;
    }
    EXPECT_EQ(find<QPushButton>("OpenProject")->text(), "Open project");
    EXPECT_EQ(find<QPushButton>("SaveProject")->text(), "Save project");
    EXPECT_EQ(find<QCheckBox>("CheckBox1")->text(), "R/Rf'");
    EXPECT_EQ(find<ui::RadioGroup>("RGF")->count(), 6);
    EXPECT_EQ(find<ui::RadioGroup>("RG5")->item(1)->text(), "(R-RF)*Q^4");
}

TEST_F(StartUp, ChartsWithTheirAxesAndSeries) {
    struct Case {
        const char* chart;
        int series;
        QString x, y;
    };
    const Case cases[] = {{"Chart1", 12, "x (θ/2θ/q)", "Log10 ( I )"},
                          {"Chart2", 1, "Z (Å)", "Profile (g/cm3)"},
                          {"Chart6", 1, "Generation", "L1_norm"},
                          {"Chart3", 2, "q (1/Å)", "I"},
                          {"Chart4", 1, "q (1/Å)", ""},
                          {"Chart5", 5, "d (Å)", ""}};
    for (const Case& c : cases) {
        ui::ChartView* v = find<ui::ChartView>(c.chart);
        EXPECT_EQ(v->seriesCount(), c.series) << c.chart;
        EXPECT_EQ(v->chart()->axes(Qt::Horizontal).first()->titleText(), c.x) << c.chart;
        EXPECT_EQ(v->chart()->axes(Qt::Vertical).first()->titleText(), c.y) << c.chart;
    }
    auto logAxis = [this](const char* chart) {
        return qobject_cast<QLogValueAxis*>(
                   find<ui::ChartView>(chart)->chart()->axes(Qt::Vertical).first()) != nullptr;
    };
    EXPECT_FALSE(logAxis("Chart1")) << "log10 values on a linear axis";
    EXPECT_TRUE(logAxis("Chart3"));

    const QColor colours[] = {Qt::black,           QColor(255, 0, 128), QColor(0, 64, 64),
                              QColor(0, 255, 255), Qt::black,           QColor(0, 255, 128),
                              QColor(64, 0, 0),    QColor(255, 128, 0), Qt::black,
                              QColor(0, 255, 255), Qt::black,           QColor(255, 128, 128)};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(series("Chart1", i)->pen().color(), colours[i]) << i;
    EXPECT_EQ(series("Chart2", 0)->pen().color(), QColor(Qt::red));
}

TEST_F(StartUp, SetTakesTheAmbientMediumAndShowsShortestForm) {
    typeInto(21, "1e-5");
    typeInto(22, "1e-7");
    click("Button23");
    EXPECT_DOUBLE_EQ(store->ambientN().re, 0.99999);
    EXPECT_EQ(store->ambientN().im, 1e-7);
    EXPECT_EQ(field(21), "1e-05");
    EXPECT_EQ(field(22), "1e-07");
    EXPECT_TRUE(errors->messages.isEmpty());
}

TEST_F(StartUp, SetRefusesAMediumWithoutIndexOrWithGain) {
    setField(21, "0.25");
    click("Button23");
    for (auto [delta, beta] : {std::pair{"1", "0"}, std::pair{"0.1", "-1e-6"}}) {
        setField(21, delta);
        setField(22, beta);
        click("Button23");
        EXPECT_TRUE(field(4).startsWith("--->Error")) << field(4).toStdString();
        EXPECT_EQ(store->ambientN(), (Complex{0.75, 0.0})) << "the previous medium stays";
        EXPECT_EQ(field(21), delta);
    }
}

TEST_F(StartUp, SetWithTextThatIsNoNumberShowsTheErrorBox) {
    setField(21, "1e-5x");
    click("Button23");
    ASSERT_EQ(errors->messages.size(), 1);
    EXPECT_TRUE(errors->messages[0].contains("1e-5x"));
    EXPECT_EQ(store->ambientN(), (Complex{1.0, 0.0}));
}

TEST_F(StartUp, ReserveChangesNothing) {
    loadTemplate();
    QString status = field(4);
    std::vector<QPointF> measured = seriesPoints("Chart1", 0);
    QString thickness = cell("StringGrid1", 2, 7);
    click("Button18");
    EXPECT_EQ(field(4), status);
    EXPECT_EQ(seriesPoints("Chart1", 0), measured);
    EXPECT_EQ(cell("StringGrid1", 2, 7), thickness);
    EXPECT_TRUE(find<QPlainTextEdit>("Memo1")->toPlainText().isEmpty());
    EXPECT_TRUE(errors->messages.isEmpty());
}

TEST_F(StartUp, TablesAndChartsTakeTheRoomWhenTheWindowGrows) {
    QWidget* chart = find<QWidget>("Chart1");
    QWidget* table = find<QWidget>("StringGrid1");
    QSize chartBefore = chart->size(), tableBefore = table->size();
    EXPECT_LE(window->minimumSizeHint().width(), 1205);
    EXPECT_LE(window->minimumSizeHint().height(), 754);
    window->resize(1600, 1000);
    QApplication::processEvents();
    EXPECT_GT(chart->width(), chartBefore.width());
    EXPECT_GT(chart->height(), chartBefore.height());
    EXPECT_GT(table->width(), tableBefore.width());
    EXPECT_GT(table->height(), tableBefore.height());
}

}  // namespace
}  // namespace tolvi::test
