// The "Material file" group of the utilities page.
#include <QLabel>
#include <QLineEdit>
#include <filesystem>

#include "physics/material_calc.h"
#include "window_fixture.h"

namespace tolvi::test {
namespace {

class MaterialTest : public WindowTest {
  protected:
    QString materialField(const char* name) const { return find<QLineEdit>(name)->text(); }
    void setMaterial(const QString& formula, const QString& wavelength, const QString& mag) {
        find<QLineEdit>("MaterialFormula")->setText(formula);
        find<QLineEdit>("MaterialWavelength")->setText(wavelength);
        find<QLineEdit>("MaterialMoment")->setText(mag);
    }
    int filesInDir() const {
        return static_cast<int>(std::distance(std::filesystem::directory_iterator(dir.path()),
                                              std::filesystem::directory_iterator()));
    }
};

using MaterialGroup = MaterialTest;

TEST_F(MaterialGroup, WritesTheFileOfTheValuesItShows) {
    setMaterial("Fe0.8Ni0.2", "1.5406", "2.1");
    std::string path = dir.file("FeNi.mf");
    dialogs->answers.push_back(QString::fromStdString(path));
    click("MaterialSave");
    ASSERT_TRUE(errors->messages.isEmpty()) << errors->messages.join(";").toStdString();
    EXPECT_EQ(field(4), "--->OK");
    EXPECT_EQ(dialogs->asked.back().filter, "*.mf (*.mf)");
    EXPECT_EQ(dialogs->asked.back().defaultSuffix, "mf");

    MaterialResult expected = calculateMaterial("Fe0.8Ni0.2", 1.5406, 2.1);
    ASSERT_TRUE(expected.status.ok());
    EXPECT_EQ(readText(path), materialFileText("Fe0.8Ni0.2", expected.values));
    QString shown = find<QLabel>("MaterialValues")->text();
    EXPECT_TRUE(shown.contains(QString::asprintf("M %.6g g/mol", expected.values.molarMass)))
        << shown.toStdString();
    EXPECT_TRUE(shown.contains("bCoh") && shown.contains("absXs"));
}

TEST_F(MaterialGroup, RefusedFormulaOrWavelengthWritesNothing) {
    struct Case {
        const char *formula, *wavelength;
    };
    for (const Case& c : {Case{"Xx", "1.54"}, Case{"Si", "-1"}, Case{"", "1.54"}}) {
        setField(4, "");
        setMaterial(c.formula, c.wavelength, "0");
        click("MaterialSave");
        EXPECT_TRUE(field(4).startsWith("--->Error")) << c.formula << " " << field(4).toStdString();
        EXPECT_TRUE(dialogs->asked.empty()) << "no file name asked for";
        EXPECT_EQ(find<QLabel>("MaterialValues")->text(), "");
    }
    EXPECT_EQ(filesInDir(), 0);
    EXPECT_TRUE(errors->messages.isEmpty());
}

TEST_F(MaterialGroup, AWavelengthThatIsNoNumberShowsTheErrorBox) {
    setMaterial("Si", "1,54", "0");
    click("MaterialSave");
    ASSERT_EQ(errors->messages.size(), 1);
    EXPECT_TRUE(errors->messages[0].contains("\"1,54\""));
    EXPECT_TRUE(dialogs->asked.empty());
}

TEST_F(MaterialGroup, CancelledDialogWritesNothing) {
    setMaterial("Si", "1.54", "0");
    dialogs->answers.push_back("");
    click("MaterialSave");
    EXPECT_EQ(filesInDir(), 0);
    EXPECT_FALSE(find<QLabel>("MaterialValues")->text().isEmpty()) << "the values are shown";
}

TEST_F(MaterialGroup, WavelengthFollowsTheDataSetShown) {
    EXPECT_EQ(materialField("MaterialWavelength"), "1.54");
    EXPECT_EQ(materialField("MaterialMoment"), "0");
    writeMaterial(dir.file("Si.mf"), 28.0855, 14.28, 0.33, 4.1491, 0.171, 0.0);
    writeText(dir.file("mo.par"), headerText(0, 0, 0, 1, 0.7093) + blockText("S  Si.mf", {2.33}));
    loadParam(dir.file("mo.par"));
    EXPECT_EQ(materialField("MaterialWavelength"), "0.7093");
    loadParam(writeFilm("cu.par", 100));
    EXPECT_EQ(materialField("MaterialWavelength"), "1.54");
    chooseItem("RGF", 0);
    EXPECT_EQ(materialField("MaterialWavelength"), "0.7093") << "the slot made current";
    click("Button5");
    EXPECT_EQ(materialField("MaterialWavelength"), "1.54");
}

}  // namespace
}  // namespace tolvi::test
