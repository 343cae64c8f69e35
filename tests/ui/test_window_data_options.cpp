// The window's options for measured data: errors from the data and relative steps set through
// the data settings dialog, the fronting medium as an SLD, the SLD profile and materials made
// from an SLD.
#include <QComboBox>
#include <QLineEdit>

#include "window_fixture.h"

namespace tolvi::test {
namespace {

const std::string EXAMPLE = std::string(TOLVI_SOURCE_DIR) + "/examples/neutron/";

class DataOptionsTest : public WindowTest {
  protected:
    void choose(const char* combo, int index) {
        auto* box = find<QComboBox>(combo);
        box->setCurrentIndex(index);
        emit box->activated(index);
    }
    void setAmbientSld(const QString& re, const QString& im) {
        choose("AmbientKind", 1);
        setField(21, re);
        setField(22, im);
        click("Button23");
    }
};

using DataOptions = DataOptionsTest;

TEST_F(DataOptions, TheNeutronExampleFitsWithTheOptionsSetInTheWindow) {
    editDataSettings([](ui::DataSettingsChoice& c) {
        c.errors = ErrorSource::Data;
        c.steps = StepRule::Relative;
        c.frontingSld = true;
        c.fronting1 = "2.07";
    });
    ASSERT_TRUE(store->ambientSld.given);
    // The Ambient box shows the medium the dialog set.
    EXPECT_EQ(find<QComboBox>("AmbientKind")->currentIndex(), 1);
    EXPECT_EQ(field(21), "2.07");
    EXPECT_EQ(field(22), "0");
    loadParam(EXAMPLE + "film.par");
    ASSERT_EQ(field(4), "--->OK");
    EXPECT_TRUE(store->pointErrors[0].loaded);
    chooseItem("RGM", 0);
    click("Button4");
    ASSERT_TRUE(field(4).startsWith("-->OK")) << field(4).toStdString();
    QStringList log = memoLines();
    ASSERT_GE(log.size(), 1);
    // "---> LM Fit end chi2 = 295.9653  (296 DOF)"
    double chi2 = log[0].section('=', 1).section('(', 0, 0).toDouble();
    int dof = log[0].section('(', 1).section(' ', 0, 0).toInt();
    EXPECT_NEAR(chi2 / dof, 1.0, 0.2) << log[0].toStdString();
    for (const QString& line : log)
        EXPECT_FALSE(line.startsWith("--->Warning")) << line.toStdString();
    EXPECT_NEAR(store->layerModel(0).entries[1].t.value, 180.0, 0.05);

    // The fitted background, about 1e-7, shows as "0.0000" and survives the next Plot.
    double bg = store->dataSet(0).bg.value;
    EXPECT_GT(bg, 5e-8);
    EXPECT_LT(bg, 2e-7);
    EXPECT_EQ(cell("StringGrid2", 1, 9).trimmed(), "0.0000");
    click("Button6");
    EXPECT_EQ(store->dataSet(0).bg.value, bg);
}

TEST_F(DataOptions, AnSldAmbientIsSetAndAMediumWithGainRefused) {
    setAmbientSld("2.07", "0.5");
    EXPECT_TRUE(store->ambientSld.given);
    EXPECT_EQ(store->ambientSld.im, 0.5);
    setAmbientSld("1", "-0.1");
    EXPECT_EQ(field(4), "--->Error ambient SLD Im must not be negative");
    EXPECT_EQ(store->ambientSld.re, 2.07) << "the previous medium stays";
    // Back to δ and β: "Set" gives the medium by them again.
    choose("AmbientKind", 0);
    setField(21, "1e-6");
    setField(22, "0");
    click("Button23");
    EXPECT_FALSE(store->ambientSld.given);
    EXPECT_EQ(store->ambient.delta, 1e-6);
}

TEST_F(DataOptions, ErrorsFromTheDataReadTheLoadedDataAgain) {
    loadParam(EXAMPLE + "film.par");
    ASSERT_FALSE(store->pointErrors[0].loaded);
    editDataSettings([](ui::DataSettingsChoice& c) { c.errors = ErrorSource::Data; });
    EXPECT_EQ(field(4), "--->OK");
    EXPECT_TRUE(store->pointErrors[0].loaded);
    EXPECT_EQ(store->dataOptions[0].errors, ErrorSource::Data);

    // A file without errors keeps the classic weights, and the status line says why.
    writeText(dir.file("d.dat"), "0.5 100\n1.0 10\n1.5 1\n");
    loadParam(writeFilm("b.par", 100, 0.1, 4, 1));
    ASSERT_EQ(store->curfile, 1);
    editDataSettings([](ui::DataSettingsChoice& c) {
        c.errors = ErrorSource::Data;
        c.allSlots = true;
    });
    EXPECT_TRUE(field(4).startsWith("F2: --->Error, no error of y in column 3"))
        << field(4).toStdString();
    EXPECT_EQ(store->dataOptions[1].errors, ErrorSource::Builtin);
    EXPECT_EQ(store->dataSet(1).npoints, 3) << "F2 read again with its classic weights";
    EXPECT_EQ(store->dataOptions[0].errors, ErrorSource::Data);
    EXPECT_EQ(store->dataOptions[5].errors, ErrorSource::Data) << "a slot not loaded yet";
}

TEST_F(DataOptions, TheProfileChartShowsTheSldOnRequest) {
    loadParam(EXAMPLE + "film.par");
    int density = points("Chart2", 0);
    ASSERT_GT(density, 10);
    toggle("SldProfile");
    std::vector<QPointF> re = seriesPoints("Chart2", 0);
    ASSERT_FALSE(re.empty());
    EXPECT_NEAR(re.front().y(), 6.36, 1e-6) << "deep in the D2O";
    EXPECT_EQ(points("Chart2", 1), static_cast<int>(re.size())) << "the imaginary part";
    toggle("SldProfile");
    EXPECT_NEAR(seriesPoints("Chart2", 0).front().y(), 1.0, 1e-6) << "the density again";
    EXPECT_EQ(points("Chart2", 1), 0);
}

TEST_F(DataOptions, TheMaterialGroupWritesAFileOfAnSld) {
    choose("MaterialKind", 1);
    find<QLineEdit>("MaterialFormula")->setText("6.36:0.01");
    find<QLineEdit>("MaterialWavelength")->setText("5");
    std::string path = dir.file("d2o.mf");
    dialogs->answers.push_back(QString::fromStdString(path));
    click("MaterialSave");
    EXPECT_EQ(field(4), "--->OK");
    EXPECT_NE(readText(path).find("SLD 6.36+0.01i"), std::string::npos) << readText(path);

    choose("MaterialKind", 2);
    find<QLineEdit>("MaterialFormula")->setText("1e-6");  // δ without β
    click("MaterialSave");
    ASSERT_EQ(errors->messages.size(), 1);
    EXPECT_TRUE(errors->messages[0].contains("is not δ:β")) << errors->messages[0].toStdString();
}

}  // namespace
}  // namespace tolvi::test
