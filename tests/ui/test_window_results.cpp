// The named results of the last fit beside the message log, against the --results file that
// tolvi-cli writes for the same fit.
#include <QDialog>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "model/results_file.h"
#include "window_fixture.h"

namespace tolvi::test {
namespace {

using Results = WindowTest;

QString text(QTableWidget* table, int row, int column) {
    QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QString();
}

TEST_F(Results, TheTableHoldsTheNumbersOfTheResultsFile) {
    loadTemplate();
    chooseItem("RGM", 0);
    click("Button4");
    ASSERT_TRUE(field(4).startsWith("-->OK")) << field(4).toStdString();

    std::string json = dir.file("r.json");
    std::string command =
        programDirectory() + "tolvi-cli fit --template --results " + json + " > /dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    nlohmann::json r = nlohmann::json::parse(readText(json));

    auto* table = find<QTableWidget>("resultsTable");
    expectTableShowsResults(table, readText(json));
    EXPECT_EQ(find<QTabWidget>("fitInfoTabs")->tabText(1), "Results");

    // The correlation matrix on request.
    click("correlationButton");
    auto* dialog = window->findChild<QDialog*>("correlationDialog");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    auto* c = dialog->findChild<QTableWidget*>("correlationTable");
    ASSERT_EQ(c->rowCount(), table->rowCount());
    for (int i = 0; i < c->rowCount(); ++i) {
        EXPECT_EQ(text(c, i, i), "1.000");
        for (int j = 0; j < c->rowCount(); ++j)
            EXPECT_EQ(
                text(c, i, j),
                QString::number(
                    r["correlation"][static_cast<size_t>(i)][static_cast<size_t>(j)].get<double>(),
                    'f', 3));
    }

    // A genetic search has no errors and no correlation; All Clear empties the table.
    click("Button9");
    chooseItem("RGM", 1);
    setField(20, "5");
    click("Button4");
    EXPECT_EQ(text(table, 0, 2), "-");
    EXPECT_FALSE(find<QPushButton>("correlationButton")->isEnabled());
    click("Button5");
    EXPECT_EQ(table->rowCount(), 0);
}

}  // namespace
}  // namespace tolvi::test
