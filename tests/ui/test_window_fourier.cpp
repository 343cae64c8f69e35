// The Fourier page: its two loads, the option groups, "FT" and "Save FT".
#include <QRegularExpression>
#include <algorithm>

#include "actions/load.h"
#include "base/text_io.h"
#include "window_fixture.h"

namespace tolvi::test {
namespace {

// template.dat: a 250 Å Ni film on the θ axis, linear intensities, one point per line.
constexpr int TEMPLATE_POINTS = 591;
constexpr double TEMPLATE_FILM = 250.0;

bool eightDecimals(const QString& text) {
    return QRegularExpression("^\\d+\\.\\d{8}$").match(text).hasMatch();
}

int lineCount(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

class FourierTest : public WindowTest {
  protected:
    // The template curve copied to the test's directory as `name`, loaded by "Load data".
    std::string loadCopyOfTemplate(const std::string& name) {
        std::string path = dir.file(name);
        writeText(path, readText(programDirectory() + "template/template.dat"));
        chooseItem("RG1", 0);  // θ
        dialogs->answers.push_back(QString::fromStdString(path));
        click("Button20");
        return path;
    }
    double peakThickness(int series) const {
        std::vector<QPointF> p = seriesPoints("Chart5", series);
        auto peak = std::max_element(p.begin(), p.end(),
                                     [](QPointF a, QPointF b) { return a.y() < b.y(); });
        return peak == p.end() ? 0.0 : peak->x();
    }
};

using FourierPage = FourierTest;

TEST_F(FourierPage, TemplateDataLoadsTheCurveAndItsEstimates) {
    chooseItem("RG0", 1);
    typeInto(10, "0.71");
    click("Button19");
    EXPECT_EQ(itemIndex("RG0"), 0) << "linear";
    EXPECT_EQ(itemIndex("RG1"), 0) << "θ";
    EXPECT_EQ(field(10), "1.54");
    EXPECT_TRUE(field(9).endsWith("/template/template.dat")) << field(9).toStdString();
    EXPECT_EQ(field(14), "--->OK");
    EXPECT_EQ(field(4), "--->OK");
    for (int n : {11, 12, 13}) EXPECT_TRUE(eightDecimals(field(n))) << n << field(n).toStdString();
    EXPECT_EQ(points("Chart3", 0), TEMPLATE_POINTS);
    EXPECT_EQ(points("Chart3", 1), 0);
    EXPECT_EQ(points("Chart4", 0), 0);
}

TEST_F(FourierPage, TransformOfTheTemplateFindsTheFilm) {
    click("Button19");
    QString estimate = field(13);
    click("Button21");
    ASSERT_TRUE(errors->messages.isEmpty()) << errors->messages.join(";").toStdString();
    EXPECT_EQ(field(14), "--->OK");
    EXPECT_TRUE(eightDecimals(field(13)));
    EXPECT_NE(field(13), estimate) << "the fitted edge replaces the estimate";
    EXPECT_TRUE(QRegularExpression("^\\d+\\.\\d{3}$").match(field(17)).hasMatch())
        << field(17).toStdString();
    EXPECT_TRUE(QRegularExpression("^\\d+\\.\\d{3}$").match(field(18)).hasMatch());
    EXPECT_GT(points("Chart3", 1), TEMPLATE_POINTS / 2) << "the edge model";
    EXPECT_EQ(points("Chart4", 0), TEMPLATE_POINTS);

    std::vector<QPointF> dft = seriesPoints("Chart5", 4);
    ASSERT_EQ(dft.size(), 200u);
    EXPECT_EQ(dft.front().x(), 5.0);
    EXPECT_EQ(dft.back().x(), 1000.0);
    EXPECT_NEAR(peakThickness(4), TEMPLATE_FILM, 10.0);
    for (int s = 0; s < 4; ++s) EXPECT_EQ(points("Chart5", s), 0) << s;
}

TEST_F(FourierPage, WaveletAfterADftKeepsTheDftInTheFirstSeries) {
    click("Button19");
    click("Button21");
    std::vector<QPointF> dft = seriesPoints("Chart5", 4);
    chooseItem("RG2", 1);
    click("Button21");
    EXPECT_EQ(itemIndex("RG2"), 1);
    EXPECT_EQ(seriesPoints("Chart5", 0), dft);
    for (int s = 1; s < 5; ++s) EXPECT_EQ(points("Chart5", s), 200) << s;
}

TEST_F(FourierPage, RqFourFringeDrawsNoEdgeModel) {
    click("Button19");
    chooseItem("RG5", 0);
    click("Button21");
    EXPECT_EQ(field(14), "--->OK");
    EXPECT_EQ(points("Chart3", 1), 0);
    EXPECT_EQ(field(17), "");
    EXPECT_EQ(points("Chart4", 0), TEMPLATE_POINTS);
    EXPECT_EQ(points("Chart5", 4), 200);
}

TEST_F(FourierPage, ManualQAreaKeepsTheFringeInsideTheTypedWindow) {
    click("Button19");
    chooseItem("RG3", 1);
    setField(11, "0.1");
    setField(12, "0.3");
    click("Button21");
    EXPECT_EQ(field(11), "0.1") << "typed bounds stay as typed";
    for (const QPointF& p : seriesPoints("Chart4", 0))
        if (p.x() < 0.1 || p.x() >= 0.3) {
            EXPECT_EQ(p.y(), 0.0) << p.x();
        }
}

TEST_F(FourierPage, SaveFtWritesTheFileBesideTheCurve) {
    std::string curve = loadCopyOfTemplate("film.dat");
    EXPECT_EQ(field(9).toStdString(), curve);
    EXPECT_EQ(points("Chart3", 0), TEMPLATE_POINTS);
    click("Button22");
    EXPECT_EQ(field(14), "--->OK") << "no transform yet: nothing saved";

    click("Button21");
    click("Button22");
    std::string saved = dir.file("film.FT");
    EXPECT_EQ(field(14).toStdString(), saved);
    std::string text = readText(saved);
    EXPECT_EQ(lineCount(text), 9 + 200);
    EXPECT_EQ(text.substr(0, 23), " (Background Shape)  \n ");
    EXPECT_NE(text.find("\n        5.00  "), std::string::npos);
    EXPECT_NE(text.find("\n     1000.00  "), std::string::npos);
}

TEST_F(FourierPage, CancelledLoadReadsThePreviousFileAgain) {
    std::string curve = loadCopyOfTemplate("film.dat");
    std::string text = readText(curve);
    writeText(curve, text.substr(0, text.find("\n", text.size() / 2) + 1));
    dialogs->answers.push_back("");
    click("Button20");
    EXPECT_EQ(field(9).toStdString(), curve);
    EXPECT_EQ(field(14), "--->OK");
    EXPECT_LT(points("Chart3", 0), TEMPLATE_POINTS) << "the file was read again";
    EXPECT_GT(points("Chart3", 0), 0);
}

TEST_F(FourierPage, LoadWithoutWavelengthOrFileSaysSo) {
    setField(10, "");
    dialogs->answers.push_back(QString::fromStdString(dir.file("none.dat")));
    click("Button20");
    EXPECT_EQ(field(14), "--->Error set lamda");
    EXPECT_EQ(field(4), "") << "the reader did not run";

    setField(10, "1.54");
    dialogs->answers.push_back("");
    click("Button20");
    EXPECT_EQ(field(14), "--->Error, cant find data");
    EXPECT_EQ(field(4), "--->Error, cant find data");
    EXPECT_EQ(points("Chart3", 0), 0);
}

TEST_F(FourierPage, FieldsThatAreNoNumbersShowTheErrorBoxAndChangeNothing) {
    click("Button19");
    click("Button21");
    std::vector<QPointF> dft = seriesPoints("Chart5", 4);
    struct Case {
        int field;
        const char* text;
        int qArea;
    };
    const Case cases[] = {
        {15, "1e3x", 0}, {16, "200.5", 0}, {13, "", 0}, {11, "", 1}, {12, "q", 1}};
    int shown = 0;
    for (const Case& c : cases) {
        chooseItem("RG3", c.qArea);
        QString before = field(c.field);
        setField(c.field, c.text);
        setField(14, "unchanged");
        click("Button21");
        ASSERT_EQ(errors->messages.size(), ++shown) << c.field;
        EXPECT_TRUE(errors->messages.back().contains(QString("\"%1\"").arg(c.text)))
            << errors->messages.back().toStdString();
        EXPECT_EQ(field(14), "unchanged");
        EXPECT_EQ(seriesPoints("Chart5", 4), dft);
        setField(c.field, before);
    }
}

TEST_F(FourierPage, ABinNumberOutsideTheArraysIsRefusedInTheStatusLine) {
    click("Button19");
    setField(16, "2001");
    click("Button21");
    EXPECT_TRUE(field(14).startsWith("--->Error")) << field(14).toStdString();
    EXPECT_TRUE(errors->messages.isEmpty());
    EXPECT_EQ(points("Chart5", 4), 0);
}

}  // namespace
}  // namespace tolvi::test
