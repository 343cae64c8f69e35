// The text exports, printing, and the picture of the window after "Template" and "Plot".
#include <yaml-cpp/yaml.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPrinter>
#include <QTabWidget>
#include <cmath>
#include <filesystem>

#include "actions/load.h"
#include "actions/orso_export.h"
#include "base/text_io.h"
#include "model/orso_file.h"
#include "ui/chart_view.h"
#include "window_fixture.h"

namespace tolvi::test {
namespace {

using Output = WindowTest;

// The rows an export must hold, formatted here from the store with the documented formats.
std::string expectedRows(const ModelStore& store, const char* button) {
    const DataSet& d = store.dataSet(store.curfile);
    std::string out;
    std::string b = button;
    if (b == "Button14") {
        for (int i = 0; i < store.nprofile; ++i)
            out += formatText("%f   %f\n", store.profileZ[i], store.profileRho[i]);
        return out;
    }
    for (int i = 0; i < d.npoints; ++i) {
        if (b == "Button7" && store.rRfMode)
            out += formatText("%f  %e  %e\n", d.xData[i], d.yLin[i] / d.rfLin[i],
                              d.calcLin[i] / d.rfLin[i]);
        else if (b == "Button7")
            out += formatText("%f  %e  %e\n", d.xData[i], d.yLin[i], d.calcLin[i]);
        else
            out += formatText("%f  %e\n", d.xData[i], b == "Button8" ? d.yLin[i] : d.calcLin[i]);
    }
    return out;
}

TEST_F(Output, ExportsWriteTheirRowsByteForByte) {
    loadTemplate();
    setField(23, "2");
    click("Button6");  // the x range does not limit the curve exports
    for (const char* button : {"Button7", "Button8", "Button15", "Button14"}) {
        std::string path = dir.file(std::string(button) + ".dat");
        dialogs->answers.push_back(QString::fromStdString(path));
        click(button);
        EXPECT_EQ(field(2).toStdString(), path);
        std::string text = readText(path);
        EXPECT_EQ(text, expectedRows(*store, button)) << button;
        EXPECT_EQ(dialogs->asked.back().filter, "*.dat (*.dat)");
        EXPECT_EQ(dialogs->asked.back().defaultSuffix, "dat");
    }
    std::string data = readText(dir.file("Button8.dat"));
    EXPECT_EQ(std::count(data.begin(), data.end(), '\n'), 591);
    EXPECT_EQ(data.substr(0, 23), "0.100000  9.929660e+05\n");
}

TEST_F(Output, DataFitInRatioModeWritesLinearRatios) {
    loadParam(writeFilm("a.par", 100));
    toggle("CheckBox1");
    click("Button6");
    std::string path = dir.file("ratio.dat");
    dialogs->answers.push_back(QString::fromStdString(path));
    click("Button7");
    EXPECT_EQ(readText(path), expectedRows(*store, "Button7"));
}

TEST_F(Output, CancelledExportWritesNothing) {
    loadTemplate();
    dialogs->answers.push_back("");
    click("Button8");
    EXPECT_EQ(field(2), "");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              0);
}

TEST_F(Output, AnExportThatCannotBeCreatedIsReportedInTheStatusLine) {
    loadTemplate();
    std::string path = dir.file("no/such/folder/x.dat");
    dialogs->answers.push_back(QString::fromStdString(path));
    click("Button15");
    EXPECT_TRUE(field(4).startsWith("--->Error can not write")) << field(4).toStdString();
    EXPECT_TRUE(field(4).contains("x.dat"));
    EXPECT_TRUE(errors->messages.isEmpty());
}

TEST_F(Output, AFaultingExportLeavesTheOldFileUntouched) {
    loadParam(writeFilm("a.par", 100));
    toggle("CheckBox1");  // the reference was never computed for this slot: R/RF divides by zero
    std::string path = dir.file("keep.dat");
    writeText(path, "keep\n");
    dialogs->answers.push_back(QString::fromStdString(path));
    click("Button7");
    ASSERT_EQ(errors->messages.size(), 1);
    EXPECT_EQ(readText(path), "keep\n");
}

TEST_F(Output, PrintsEachChartOnALandscapePageAsVectorGraphics) {
    loadTemplate();
    QApplication::processEvents();
    QRectF plotArea = find<ui::ChartView>("Chart1")->chart()->plotArea();
    for (const char* button : {"Button13", "Button16"}) {
        std::string path = dir.file(std::string(button) + ".pdf");
        printer->printer().setOutputFileName(QString::fromStdString(path));
        printer->printer().setPageOrientation(QPageLayout::Portrait);
        click(button);

        std::string pdf = readText(path);
        ASSERT_EQ(pdf.substr(0, 5), "%PDF-") << button;
        EXPECT_NE(pdf.find("/Type /Page\n"), std::string::npos);
        EXPECT_NE(pdf.find("/MediaBox [0 0 842.000000 595.000000]"), std::string::npos)
            << "A4 landscape";
        EXPECT_EQ(pdf.find("/Subtype /Image"), std::string::npos) << "no bitmap of the chart";
        EXPECT_EQ(printer->printer().pageLayout().orientation(), QPageLayout::Portrait)
            << "the printer's orientation is put back";
    }
    EXPECT_EQ(find<ui::ChartView>("Chart1")->chart()->plotArea(), plotArea)
        << "the chart on the screen is as it was";
}

TEST_F(Output, WithoutAPrinterTheStatusLineSaysSo) {
    loadTemplate();
    printer->printer().setOutputFileName({});  // what Qt falls back to without a print service
    click("Button13");
    EXPECT_EQ(field(4), "--->Error no printer available");
    EXPECT_TRUE(errors->messages.isEmpty());
}

// "Save .ort" after Template and Fit: the fitted workspace as an ORSO file, which the core's
// reader reads back to the window's points; the header holds the fitted model.
TEST_F(Output, SaveOrtWritesTheFittedWorkspace) {
    loadTemplate();
    click("Button4");
    std::string path = dir.file("fit.ort");
    dialogs->answers.push_back(QString::fromStdString(path));
    find<QAction>("actionSaveOrt")->trigger();
    EXPECT_EQ(dialogs->asked.back().filter, "ORSO (*.ort)");
    EXPECT_EQ(dialogs->asked.back().defaultSuffix, "ort");
    EXPECT_EQ(field(4).toStdString(), "--->OK, wrote 1 data set to " + path);
    EXPECT_EQ(field(2).toStdString(), path);
    ASSERT_TRUE(isOrsoFile(path));

    // Read back on the q axis by a parameter file of the same probe and wavelength.
    writeMaterial(dir.file("Si.mf"), 28.0855, 14.28, 0.33, 4.1491, 0.171, 0.0);
    writeText(dir.file("back.par"), headerText(1, 0, 0, 2, 1.54, "fit.ort", 0.0, 1.0) +
                                        blockText("S Si.mf", {2.33, 0.0, 3.0}));
    auto back = makeStore();
    ASSERT_EQ(loadParamSlot(*back, dir.file("back.par")).message, "--->OK");
    const DataSet& d = store->dataSet(0);
    OrsoDataSet written = orsoDataSet(*store, 0);
    ASSERT_EQ(back->dataSet(0).npoints, d.npoints);
    for (int i = 0; i < d.npoints; ++i) {
        EXPECT_EQ(back->dataSet(0).xData[i], written.q[i]) << i;
        EXPECT_EQ(back->dataSet(0).yLin[i], d.yLin[i]) << i;
    }

    // The header's model is the fitted one, and the fifth column its curve.
    std::string text = readText(path);
    std::string yaml;
    size_t start = text.find('\n') + 1;
    while (text[start] == '#') {
        size_t end = text.find('\n', start);
        yaml += text.substr(start + 2, end - start - 2) + "\n";
        start = end + 1;
    }
    YAML::Node h = YAML::Load(yaml);
    const LayerModel& m = store->layerModel(0);
    EXPECT_EQ(h["data_source"]["sample"]["model"]["layers"]["C_21"]["thickness"]["magnitude"]
                  .as<double>(),
              m.slabs[21].t.value);
    EXPECT_EQ(h["analysis"]["intensity_scale"].as<double>(), std::pow(10.0, d.logI0.value));
    TokenTable tokens;
    ASSERT_EQ(splitLine(text.substr(start, text.find('\n', start) - start), 10, tokens), 5);
    EXPECT_EQ(parseReal(tokens.token[4].view()), d.calcLin[0]);
}

// With nothing loaded there is nothing to save: no dialog, the reason in the status line; a
// file that cannot be written is named there too.
TEST_F(Output, SaveOrtSaysWhyNothingWasWritten) {
    find<QAction>("actionSaveOrt")->trigger();
    EXPECT_TRUE(dialogs->asked.empty());
    EXPECT_EQ(field(4).toStdString(),
              "--->Error, nothing to save: load a parameter file or open a project first");
    loadTemplate();
    std::string path = dir.file("no/such/fit.ort");
    dialogs->answers.push_back(QString::fromStdString(path));
    find<QAction>("actionSaveOrt")->trigger();
    EXPECT_EQ(field(4).toStdString().rfind("--->Error can not write " + path, 0), 0u)
        << field(4).toStdString();
    EXPECT_TRUE(errors->messages.isEmpty());
}

// The pictures of the window in the documentation come from here (bin/window.png with the
// profile, bin/window-tables.png with the tables).
TEST_F(Output, TemplateAndPlotShowCurvesAndProfile) {
    loadTemplate();
    click("Button6");
    auto* lower = find<QTabWidget>("PageControl3");
    QApplication::processEvents();
    window->grab().save(QString::fromStdString(programDirectory() + "window-tables.png"));
    lower->setCurrentIndex(1);  // the profile chart's page
    QApplication::processEvents();
    window->grab().save(QString::fromStdString(programDirectory() + "window.png"));

    auto colourShown = [](const QImage& image, QColor colour) {
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y) == colour) return true;
        return false;
    };
    QImage reflectivity = find<ui::ChartView>("Chart1")->grab().toImage();
    EXPECT_TRUE(colourShown(reflectivity, QColor(255, 0, 128))) << "the calculated curve";
    EXPECT_TRUE(colourShown(reflectivity, Qt::black));
    EXPECT_TRUE(colourShown(find<ui::ChartView>("Chart2")->grab().toImage(), Qt::red))
        << "the density profile";
}

}  // namespace
}  // namespace tolvi::test
