// "Sample…" in the window: the same posterior as tolvi-cli's for the same seed, its corner plot's
// histograms counted again from the chain file, the profile's bands, and Cancel.
#include <QDialog>
#include <QLineSeries>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "fit/corner_data.h"
#include "fit/profile_band.h"
#include "model/results_file.h"
#include "ui/chart_view.h"
#include "ui/corner_plot.h"
#include "window_fixture.h"

namespace tolvi::test {
namespace {

constexpr int WALKERS = 32, LENGTH = 120, BURN = 20;
constexpr quint32 SEED = 7;

class Sample : public WindowTest {
  protected:
    // The template with the counting errors of its data file, as `--errors data` reads it.
    void loadTemplateWithErrors() {
        loadTemplate();
        editDataSettings([](ui::DataSettingsChoice& c) { c.errors = ErrorSource::Data; });
        ASSERT_EQ(store->dataOptions[0].errors, ErrorSource::Data);
        // The template's slot is not counted, but its data file is read again for the errors.
        ASSERT_TRUE(store->pointErrors[0].loaded);
    }
    void sample() {
        ui::SampleChoice choice;
        choice.walkers = WALKERS;
        choice.length = LENGTH;
        choice.burn = BURN;
        choice.seed = SEED;
        sampleDialog->answers.push_back(choice);
        click("sampleButton");
    }
    // The chain (walker, step, log-probability, the parameters) of the same run by tolvi-cli,
    // and its named results.
    std::vector<std::vector<double>> cliChain(nlohmann::json& results) {
        std::string json = dir.file("r.json"), chain = dir.file("c.csv");
        std::string command = programDirectory() +
                              "tolvi-cli sample --template --errors data --walkers " +
                              std::to_string(WALKERS) + " --length " + std::to_string(LENGTH) +
                              " --burn " + std::to_string(BURN) + " --seed " +
                              std::to_string(SEED) + " --results " + json + " --chain " + chain +
                              " > /dev/null 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0);
        results = nlohmann::json::parse(readText(json));
        std::vector<std::vector<double>> rows;
        std::istringstream lines(readText(chain));
        std::string line;
        std::getline(lines, line);  // the heading
        while (std::getline(lines, line)) {
            std::vector<double> row;
            std::istringstream cells(line);
            std::string cell;
            while (std::getline(cells, cell, ',')) row.push_back(std::stod(cell));
            rows.push_back(row);
        }
        return rows;
    }
};

TEST_F(Sample, TheWindowsPosteriorIsTheCommandLinesAndItsCornerPlotCountsTheChain) {
    loadTemplateWithErrors();
    sample();
    ASSERT_TRUE(errors->messages.isEmpty()) << errors->messages.join("\n").toStdString();
    nlohmann::json r;
    std::vector<std::vector<double>> chain = cliChain(r);

    // The results table: the command line's numbers for the same seed.
    auto* table = find<QTableWidget>("resultsTable");
    expectTableShowsResults(table, r.dump());
    const int dims = table->rowCount();
    ASSERT_EQ(chain.size(), size_t(WALKERS) * (LENGTH - BURN));

    // The corner plot: every histogram bin counted again from the chain file.
    click("cornerButton");
    auto* dialog = window->findChild<QDialog*>("cornerDialog");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    const CornerData& corner = dialog->findChild<ui::CornerPlot*>()->data();
    ASSERT_EQ(corner.dims, dims);
    EXPECT_EQ(corner.samples, static_cast<long>(chain.size()));
    for (int k = 0; k < dims; ++k) {
        const Marginal& m = corner.marginals[static_cast<size_t>(k)];
        std::vector<double> values;
        for (const auto& row : chain) values.push_back(row[3 + static_cast<size_t>(k)]);
        auto [lo, hi] = std::minmax_element(values.begin(), values.end());
        ASSERT_EQ(m.lo, *lo) << k;
        ASSERT_EQ(m.hi, *hi) << k;
        std::vector<long> counts(static_cast<size_t>(corner.bins));
        for (double v : values) {
            int bin = static_cast<int>((v - m.lo) / (m.hi - m.lo) * corner.bins);
            ++counts[static_cast<size_t>(std::clamp(bin, 0, corner.bins - 1))];
        }
        EXPECT_EQ(m.counts, counts) << "parameter " << k;
        std::sort(values.begin(), values.end());
        EXPECT_EQ(m.median, sortedQuantile(values.data(), static_cast<int>(values.size()), 0.5));
    }

    // The profile's bands: BAND_POINTS depths, in the order of their percentiles.
    std::vector<std::vector<QPointF>> band;
    for (int s = 2; s < 7; ++s) band.push_back(seriesPoints("Chart2", s));
    for (const auto& b : band) ASSERT_EQ(static_cast<int>(b.size()), BAND_POINTS);
    const int median = 0, low68 = 1, high68 = 2, low95 = 3, high95 = 4;
    for (int i = 0; i < BAND_POINTS; ++i) {
        EXPECT_LE(band[low95][i].y(), band[low68][i].y());
        EXPECT_LE(band[low68][i].y(), band[median][i].y());
        EXPECT_LE(band[median][i].y(), band[high68][i].y());
        EXPECT_LE(band[high68][i].y(), band[high95][i].y());
    }
    EXPECT_TRUE(find<ui::ChartView>("Chart2")->legendTexts().contains("68 %"));

    // A fit's results take the corner plot and the bands away.
    chooseItem("RGM", 0);
    click("Button4");
    EXPECT_FALSE(find<QPushButton>("cornerButton")->isEnabled());
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(points("Chart2", 2), 0);
}

// Cancel stops the sampler as it stops a fit: the model as before, no report, no corner plot.
TEST_F(Sample, CancelLeavesTheModelAsItWas) {
    loadTemplateWithErrors();
    std::vector<double> values;
    for (const LayerEntry& e : store->layerModel(0).entries) values.push_back(e.t.value);
    int memo = static_cast<int>(memoLines().size());
    QString progress;
    window->runObserver = [&](int evaluations) {
        if (evaluations > 200 && progress.isEmpty()) {
            QMetaObject::invokeMethod(
                window.get(),
                [&] {
                    progress = find<QProgressBar>("fitProgress")->format();
                    window->CancelClick();
                },
                Qt::QueuedConnection);
        }
    };
    ui::SampleChoice choice;
    choice.walkers = WALKERS;
    choice.length = 100000;
    choice.seed = SEED;
    sampleDialog->answers.push_back(choice);
    click("sampleButton");
    window->runObserver = nullptr;
    EXPECT_EQ(field(4), "--->Sample cancelled");
    EXPECT_TRUE(progress.startsWith("MCMC")) << progress.toStdString();
    EXPECT_EQ(static_cast<int>(memoLines().size()), memo);
    std::vector<double> after;
    for (const LayerEntry& e : store->layerModel(0).entries) after.push_back(e.t.value);
    EXPECT_EQ(after, values);
    EXPECT_FALSE(find<QPushButton>("cornerButton")->isEnabled());
    EXPECT_TRUE(find<QPushButton>("sampleButton")->isEnabled());

    // A cancelled dialog starts nothing.
    sampleDialog->answers.push_back(std::nullopt);
    click("sampleButton");
    EXPECT_EQ(field(4), "--->Sample cancelled");
}

// A refusal of the sampler (an odd number of walkers) is its status line, as the command line's.
TEST_F(Sample, ARefusalIsTheStatusLine) {
    loadTemplateWithErrors();
    ui::SampleChoice choice;
    choice.walkers = 33;
    sampleDialog->answers.push_back(choice);
    click("sampleButton");
    EXPECT_TRUE(field(4).contains("walkers")) << field(4).toStdString();
    EXPECT_TRUE(errors->messages.isEmpty());
    sampleDialog->answers.push_back(std::nullopt);
    click("sampleButton");
    EXPECT_EQ(sampleDialog->shown.back().walkers, 33) << "the dialog shows the last choice";
}

}  // namespace
}  // namespace tolvi::test
