// The pictures of the fit and Fourier pages and of the data settings in the documentation: saved
// beside the test program (bin/window-fit.png, bin/window-ga.png, bin/window-fourier.png,
// bin/window-resolution.png, bin/data-settings.png) and copied to docs/ by hand.
#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QLineEdit>
#include <QTabWidget>

#include "actions/load.h"
#include "ui/chart_view.h"
#include "ui/data_settings_dialog.h"
#include "window_fixture.h"

namespace tolvi::test {
namespace {

using Pictures = WindowTest;

void save(QWidget* window, const char* name) {
    QApplication::processEvents();
    QImage image = window->grab().toImage();
    EXPECT_TRUE(image.save(QString::fromStdString(programDirectory() + name))) << name;
}

TEST_F(Pictures, FitReportHistoryAndFourierPage) {
    auto* upper = find<QTabWidget>("Plot");
    auto* lower = find<QTabWidget>("PageControl3");

    // The template fitted by least squares: the fitted cells and curves.
    loadTemplate();
    chooseItem("RGM", 0);
    click("Button4");
    ASSERT_TRUE(field(4).startsWith("-->OK")) << field(4).toStdString();
    save(window.get(), "window-fit.png");

    // A genetic search from the template's start values: its report and its history.
    click("Button9");
    chooseItem("RGM", 1);
    setField(20, "60");
    click("Button4");
    ASSERT_TRUE(field(4).startsWith("--->GA Fit end")) << field(4).toStdString();
    ASSERT_EQ(points("Chart6", 0), 60);
    lower->setCurrentIndex(1);
    // A material computed (the dialog cancelled): its values under the group.
    find<QLineEdit>("MaterialFormula")->setText("SiO2");
    dialogs->answers.push_back("");
    click("MaterialSave");
    save(window.get(), "window-ga.png");

    // The Fourier page after "Template data" and "FT".
    upper->setCurrentIndex(1);
    click("Button19");
    click("Button21");
    ASSERT_EQ(field(14), "--->OK");
    save(window.get(), "window-fourier.png");
    EXPECT_TRUE(errors->messages.isEmpty());
}

// The template fitted with the counting errors of its data: error bars on the measured points
// and the residuals (y - calc) / dy under the chart, zoomed into the last fringes, where the
// counts are lowest.
TEST_F(Pictures, AFitWithErrorBarsAndResiduals) {
    loadTemplate();
    editDataSettings([](ui::DataSettingsChoice& c) { c.errors = ErrorSource::Data; });
    chooseItem("RGM", 0);
    click("Button4");
    ASSERT_TRUE(field(4).startsWith("-->OK")) << field(4).toStdString();
    find<ui::ChartView>("Chart1")->zoomTo(QRectF(QPointF(4.4, 0.0), QPointF(6.0, 2.6)));
    save(window.get(), "window-fit-errors.png");
}

// The template's posterior with the counting errors of its data, up to 2θ = 1.2° and with the
// carbon cap's density and roughness free as well: the results table beside the log, the
// profile's bands at the surface, the corner plot. Before that, a fringe zoomed into.
TEST_F(Pictures, AZoomedFringeThePosteriorAndItsCornerPlot) {
    loadTemplate();
    // The fringes of the template between 2θ = 1.2° and 2.4°, zoomed into.
    find<ui::ChartView>("Chart1")->zoomTo(QRectF(QPointF(1.2, 2.4), QPointF(2.4, 4.7)));
    save(window.get(), "window-zoom.png");
    find<ui::ChartView>("Chart1")->resetView();

    editDataSettings([](ui::DataSettingsChoice& c) { c.errors = ErrorSource::Data; });
    setField(24, "1.2");
    const int capRow = 4, rhoFit = 6, sigFit = 14;
    setCell("StringGrid1", capRow, rhoFit, "1");
    setCell("StringGrid1", capRow, sigFit, "1");
    ui::SampleChoice choice;
    choice.walkers = 32;
    choice.length = 600;
    choice.burn = 200;
    choice.seed = 1;
    choice.startFromFit = true;
    sampleDialog->answers.push_back(choice);
    click("sampleButton");
    ASSERT_TRUE(errors->messages.isEmpty()) << errors->messages.join("\n").toStdString();
    ASSERT_GT(points("Chart2", 2), 0) << field(4).toStdString();
    find<QTabWidget>("PageControl3")->setCurrentIndex(1);
    find<QTabWidget>("fitInfoTabs")->setCurrentIndex(1);
    find<ui::ChartView>("Chart2")->zoomTo(QRectF(QPointF(395, -0.1), QPointF(465, 2.6)));
    save(window.get(), "window-posterior.png");

    click("cornerButton");
    auto* corner = window->findChild<QDialog*>("cornerDialog");
    ASSERT_NE(corner, nullptr);
    corner->resize(760, 760);
    save(corner, "window-corner.png");
}

// The neutron film of examples/neutron-dq fitted with its resolution column and the scale free:
// the summary under the settings table shows the settings and the fitted scale. Then the dialog
// as it shows those settings.
TEST_F(Pictures, AResolutionFitAndTheDataSettings) {
    editDataSettings([](ui::DataSettingsChoice& c) {
        c.errors = ErrorSource::Data;
        c.steps = StepRule::Relative;
        c.resolution = ResolutionKind::ColumnFwhm;
        c.fitScale = true;
        c.scaleMin = "0.5";
        c.scaleMax = "2.0";
    });
    loadParam(std::string(TOLVI_SOURCE_DIR) + "/examples/neutron-dq/film.par");
    ASSERT_EQ(field(4), "--->OK");
    chooseItem("RGM", 0);
    click("Button4");
    ASSERT_TRUE(field(4).startsWith("-->OK")) << field(4).toStdString();
    EXPECT_NEAR(store->dataOptions[0].resolution.scale.value, 1.0, 0.01);
    save(window.get(), "window-resolution.png");

    ui::DataSettingsForm form;
    form.setChoice(ui::dataSettingsChoice(*store, 0));
    form.show();
    save(&form, "data-settings.png");
    EXPECT_TRUE(errors->messages.isEmpty());
}

}  // namespace
}  // namespace tolvi::test
