// "Sample…": the ensemble sampler over the posterior of the free parameters, run as a fit is run
// (on its thread, with progress and Cancel), then its report, its named results, the profile's
// spread over the samples and the corner plot of the chain.
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "actions/curves.h"
#include "fit/corner_data.h"
#include "fit/fit_runs.h"
#include "fit/profile_band.h"
#include "fit/sample_run.h"
#include "ui/chart_view.h"
#include "ui/corner_plot.h"
#include "ui/fit_run.h"
#include "ui/main_window.h"
#include "ui/widgets.h"

namespace tolvi::ui {

namespace {

// The profile chart's series of the posterior band, after the profile's own two (the density or
// the SLD's real part, and the SLD's imaginary part).
constexpr int BAND_FIRST_SERIES = 2;
constexpr int BAND_SERIES = 5;  // median, 68 % low and high, 95 % low and high

}  // namespace

void MainWindow::SampleClick() {
    guarded([this] {
        std::optional<SampleChoice> choice = services_.sampleDialog->edit(sampleChoice_);
        if (!choice) return;
        sampleChoice_ = *choice;
        if (!takeTablesForRun(choice->multi, "-->Sampling started, wait for a while")) return;

        auto run = std::make_shared<FitRun>(fitState_->cancelRequested);
        run->sampling = true;
        run->sld = sldProfile_->isChecked();
        SampleOptions& options = run->sampleOptions;
        options.multi = choice->multi;
        options.walkers = choice->walkers;
        options.steps = choice->length;
        options.burn = choice->burn;
        if (choice->seed) options.seed = *choice->seed;
        options.startFromFit = choice->startFromFit;
        if (!chain_) chain_ = std::make_unique<EnsembleChain>();
        // The chain is the run's from now on: the corner plot waits for its end.
        cornerButton_->setEnabled(false);
        if (cornerDialog_) cornerDialog_->hide();
        launchRun(std::move(run));
    });
}

// As a fit's report: the status, the log's lines and warnings, the named results, the values of
// the most probable sample in the tables and its curves; then the band of the profiles.
void MainWindow::showSampleReport(FitRun& run) {
    const SampleReport& r = run.sampleReport;
    if (!showRunReport(r.status, r.outcome, r.statusText, r.lines, r.warnings)) return;
    showResults(r.results);
    cornerButton_->setEnabled(true);
    showRunValues();
    showProfileBand(*run.band);
}

// The median of the samples' profiles and its 68 % and 95 % bands, over the profile of the most
// probable sample (which showProfile drew).
void MainWindow::showProfileBand(const ProfileBand& band) {
    if (Chart2->seriesCount() < BAND_FIRST_SERIES)
        Chart2->addSeries({"Series23", Qt::blue, "SLD imag"});
    if (Chart2->seriesCount() < BAND_FIRST_SERIES + BAND_SERIES) {
        const QColor median(20, 60, 160), inner(70, 130, 220), outer(160, 195, 240);
        Chart2->addSeries({"BandMedian", median, "median"});
        Chart2->addSeries({"Band68Low", inner, "68 %"});
        Chart2->addSeries({"Band68High", inner});
        Chart2->addSeries({"Band95Low", outer, "95 %"});
        Chart2->addSeries({"Band95High", outer});
    }
    if (band.points == 0) {
        clearProfileBand();
        return;
    }
    const double* z = band.z.data();
    Chart2->setPoints(BAND_FIRST_SERIES, z, band.median.data(), band.points);
    Chart2->setPoints(BAND_FIRST_SERIES + 1, z, band.p15_87.data(), band.points);
    Chart2->setPoints(BAND_FIRST_SERIES + 2, z, band.p84_13.data(), band.points);
    Chart2->setPoints(BAND_FIRST_SERIES + 3, z, band.p2_5.data(), band.points);
    Chart2->setPoints(BAND_FIRST_SERIES + 4, z, band.p97_5.data(), band.points);
}

void MainWindow::clearProfileBand() {
    for (int s = BAND_FIRST_SERIES; s < Chart2->seriesCount(); ++s) Chart2->clearSeries(s);
}

// The corner plot of the last sample, in a window of its own beside the main one.
void MainWindow::CornerClick() {
    if (!chain_ || !lastResults_.sampler) return;
    if (!cornerDialog_) {
        cornerDialog_ = new QDialog(this);
        cornerDialog_->setObjectName("cornerDialog");
        cornerDialog_->setWindowTitle("Posterior of the last sample");
        auto* plot = new CornerPlot(cornerDialog_);
        auto* layout = new QVBoxLayout(cornerDialog_);
        layout->setContentsMargins(4, 4, 4, 4);
        layout->addWidget(plot);
        cornerDialog_->resize(plot->sizeHint());
    }
    QStringList names;
    for (const ParameterResult& p : lastResults_.parameters) names.append(qText(p.name));
    cornerDialog_->findChild<CornerPlot*>()->setData(cornerData(*chain_), names);
    cornerDialog_->show();
    cornerDialog_->raise();
}

}  // namespace tolvi::ui
