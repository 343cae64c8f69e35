// The corner plot of a posterior, offscreen: its lower-triangular layout, the medians painted where
// its pixel mapping puts them, the numbers of its titles, and the cases of one and no parameter.
// Saves bin/corner-plot.png, a correlated Gaussian in four parameters, to be looked at.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <cmath>
#include <random>
#include <vector>

#include "fit/corner_data.h"
#include "ui/corner_plot.h"

namespace tolvi::ui {
namespace {

// `count` draws of a Gaussian of means `mean` whose standardised values are `mixing` (dims x
// dims, lower-triangular, row by row) times independent unit normals; scaled by `sd`.
std::vector<double> gaussianDraws(const std::vector<double>& mean, const std::vector<double>& sd,
                                  const std::vector<double>& mixing, long count) {
    const int dims = static_cast<int>(mean.size());
    std::mt19937 random(42);
    std::normal_distribution<double> normal;
    std::vector<double> values(static_cast<size_t>(count) * dims);
    std::vector<double> z(static_cast<size_t>(dims));
    for (long k = 0; k < count; ++k) {
        for (double& v : z) v = normal(random);
        for (int i = 0; i < dims; ++i) {
            double u = 0.0;
            for (int j = 0; j <= i; ++j) u += mixing[static_cast<size_t>(i) * dims + j] * z[j];
            values[k * dims + i] = mean[i] + sd[i] * u;
        }
    }
    return values;
}

// Three parameters of different scales, the second and third correlated.
CornerData threeParameters() {
    std::vector<double> mixing = {1, 0, 0, 0, 1, 0, 0, 0.7, 0.71};
    std::vector<double> draws = gaussianDraws({50, -2, 0.01}, {3, 0.4, 0.002}, mixing, 20000);
    return cornerData(draws.data(), 20000, 3);
}

// Pixels of a cell's column not of the median's colour although its line runs there: the frame
// above and below, and a tick mark at the bottom (4 pixels) when a round value is the median.
constexpr int LINE_GAPS = 2 + 4;

QImage grabbed(CornerPlot& plot) {
    return plot.grab().toImage();
}

// Pixels of exactly `colour` in image column x between rows top and bottom (widget pixels).
int pixelsOf(const QImage& image, const QColor& colour, int x, int top, int bottom) {
    const double ratio = image.devicePixelRatio();
    const int column = static_cast<int>(std::floor(x * ratio));
    int found = 0;
    for (int y = static_cast<int>(top * ratio); y < static_cast<int>(bottom * ratio); ++y)
        if (image.pixelColor(column, y).rgb() == colour.rgb()) ++found;
    return found;
}

TEST(CornerPlot, CellsFormALowerTriangleOfEqualSquares) {
    CornerPlot plot;
    EXPECT_EQ(plot.objectName(), "cornerPlot");
    plot.setData(threeParameters(), {"thickness", "roughness", "density"});
    plot.resize(600, 640);
    const QRect first = plot.cellRect(0, 0);
    ASSERT_FALSE(first.isEmpty());
    EXPECT_EQ(first.width(), first.height());
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) {
            QRect c = plot.cellRect(row, col);
            if (col > row) {
                EXPECT_TRUE(c.isEmpty()) << row << col;
                continue;
            }
            EXPECT_EQ(c.size(), first.size()) << row << col;
            EXPECT_TRUE(plot.rect().contains(c)) << row << col;
            // Columns share their left edge, rows their top edge; each lies beyond the one before.
            EXPECT_EQ(c.left(), plot.cellRect(2, col).left());
            EXPECT_EQ(c.top(), plot.cellRect(row, 0).top());
            if (col > 0) {
                EXPECT_GT(c.left(), plot.cellRect(row, col - 1).right());
            }
            if (row > col) {
                EXPECT_GT(c.top(), plot.cellRect(row - 1, col).bottom());
            }
        }
    EXPECT_TRUE(plot.cellRect(3, 0).isEmpty());
    EXPECT_TRUE(plot.cellRect(-1, 0).isEmpty());
    EXPECT_TRUE(plot.cellRect(1, -1).isEmpty());
}

TEST(CornerPlot, MediansArePaintedWhereTheMappingPutsThem) {
    CornerPlot plot;
    plot.setData(threeParameters(), {"thickness", "roughness", "density"});
    plot.resize(600, 640);
    const QImage image = grabbed(plot);
    ASSERT_FALSE(image.isNull());
    for (int i = 0; i < 3; ++i) {
        const Marginal& m = plot.data().marginals[i];
        const QRect c = plot.cellRect(i, i);
        const double median = *plot.xPixel(i, m.median);
        ASSERT_GE(median, c.left()) << i;
        ASSERT_LT(median, c.right()) << i;
        EXPECT_EQ(*plot.xPixel(i, m.lo), c.left());
        EXPECT_EQ(*plot.xPixel(i, m.hi), c.left() + c.width());
        // The median's solid line runs down the cell but for its frame and a tick mark.
        EXPECT_GE(pixelsOf(image, CORNER_MEDIAN, static_cast<int>(median), c.top(), c.bottom()),
                  c.height() - LINE_GAPS)
            << i;
        // Halfway to the upper end of the interval there is no line of that colour.
        const int between = static_cast<int>(0.5 * (median + *plot.xPixel(i, m.p84_13)));
        ASSERT_GT(between, static_cast<int>(median) + 2) << i;
        EXPECT_EQ(pixelsOf(image, CORNER_MEDIAN, between, c.top(), c.bottom()), 0) << i;
        // The interval's ends are dashed: part of their columns only.
        const int upper = static_cast<int>(*plot.xPixel(i, m.p84_13));
        const int dashes = pixelsOf(image, CORNER_MEDIAN, upper, c.top(), c.bottom());
        EXPECT_GT(dashes, c.height() / 4) << i;
        EXPECT_LT(dashes, c.height() * 3 / 4) << i;
    }
    // Below the diagonal the density is shaded: the cell holds pixels that are not white.
    const QRect pair = plot.cellRect(2, 1);
    int shaded = 0;
    for (int y = pair.top() + 2; y < pair.bottom() - 2; ++y)
        for (int x = pair.left() + 2; x < pair.right() - 2; ++x)
            if (image.pixelColor(x, y) != Qt::white) ++shaded;
    EXPECT_GT(shaded, pair.width() * pair.height() / 10);
    EXPECT_TRUE(plot.yPixel(2, plot.data().marginals[2].median).has_value());
    EXPECT_FALSE(plot.yPixel(0, 0.0).has_value()) << "the first row has no pair";
}

TEST(CornerPlot, OneParameterIsItsHistogramAlone) {
    std::vector<double> draws = gaussianDraws({7.5}, {0.25}, {1}, 5000);
    CornerPlot plot;
    plot.setData(cornerData(draws.data(), 5000, 1), {"scale"});
    plot.resize(plot.sizeHint());
    const QRect c = plot.cellRect(0, 0);
    ASSERT_FALSE(c.isEmpty());
    EXPECT_TRUE(plot.cellRect(1, 0).isEmpty());
    EXPECT_TRUE(plot.cellRect(0, 1).isEmpty());
    const QImage image = grabbed(plot);
    const double median = *plot.xPixel(0, plot.data().marginals[0].median);
    EXPECT_GE(pixelsOf(image, CORNER_MEDIAN, static_cast<int>(median), c.top(), c.bottom()),
              c.height() - LINE_GAPS);
}

TEST(CornerPlot, NoParameterShowsNoCell) {
    CornerPlot plot;
    plot.setData(CornerData{}, {});
    plot.resize(plot.sizeHint());
    EXPECT_FALSE(plot.sizeHint().isEmpty());
    EXPECT_TRUE(plot.cellRect(0, 0).isEmpty());
    EXPECT_FALSE(plot.xPixel(0, 1.0).has_value());
    const QImage image = grabbed(plot);
    EXPECT_FALSE(image.isNull());
    // A chain without samples gives the same.
    plot.setData(cornerData(EnsembleChain{}), {"a", "b"});
    EXPECT_EQ(plot.data().dims, 0);
    EXPECT_TRUE(plot.names().isEmpty());
    EXPECT_FALSE(grabbed(plot).isNull());
}

TEST(CornerPlot, DataThatDoNotHoldTogetherAreNotDrawn) {
    CornerData broken = threeParameters();
    broken.marginals[1].counts.pop_back();
    CornerPlot plot;
    plot.setData(broken, {"a", "b", "c"});
    EXPECT_EQ(plot.data().dims, 0);
    CornerData notFinite = threeParameters();
    notFinite.marginals[2].hi = std::nan("");
    plot.setData(notFinite, {"a", "b", "c"});
    EXPECT_EQ(plot.data().dims, 0);
    // Names missing are made up; names to spare are dropped.
    plot.setData(threeParameters(), {"a"});
    EXPECT_EQ(plot.names(), (QStringList{"a", "p2", "p3"}));
    plot.setData(threeParameters(), {"a", "b", "c", "d"});
    EXPECT_EQ(plot.names(), (QStringList{"a", "b", "c"}));
}

TEST(CornerPlot, TitlesRoundToTwoDigitsOfTheSmallerError) {
    const QString minus(QChar(0x2212));
    struct Case {
        double median, p16, p84;
        QString text;
    };
    const Case cases[] = {
        {1.23456, 1.2, 1.27, "1.235 +0.035 " + minus + "0.035"},
        {-2.5, -2.7, -2.4, minus + "2.50 +0.10 " + minus + "0.20"},
        {12345, 12123, 12611, "12350 +270 " + minus + "220"},
        {3.47e-6, 3.42e-6, 3.53e-6, "3.470 +0.060 " + minus + "0.050 ×10⁻⁶"},
        {2.5e7, 2.38e7, 2.71e7, "2.50 +0.21 " + minus + "0.12 ×10⁷"},
        {5, 5, 5, "5 +0 " + minus + "0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cornerTitleNumbers(c.median, c.p16, c.p84), c.text) << c.median;
    EXPECT_TRUE(cornerTitleNumbers(std::nan(""), 0, 1).isEmpty());
}

TEST(CornerPlot, PictureOfFourCorrelatedParameters) {
    // Thickness, roughness, density and a background of a film: the first two anticorrelated, the
    // density tied to the thickness, the background nearly free.
    const std::vector<double> mixing = {1,    0,   0,    0,  //
                                        -0.8, 0.6, 0,    0,  //
                                        0.5,  0.3, 0.81, 0,  //
                                        0,    0.1, 0,    0.995};
    const long count = 40 * 1500;
    std::vector<double> draws =
        gaussianDraws({182.4, 4.7, 2.33, 3.1e-7}, {1.6, 0.45, 0.04, 0.4e-7}, mixing, count);
    CornerPlot plot;
    plot.setData(cornerData(draws.data(), count, 4),
                 {"thickness (Å)", "roughness (Å)", "density (g/cm³)", "background"});
    plot.resize(plot.sizeHint());
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(plot.cellRect(i, i).isEmpty());
    const QImage image = grabbed(plot);
    const QString path = QCoreApplication::applicationDirPath() + "/corner-plot.png";
    EXPECT_TRUE(image.save(path)) << path.toStdString();
}

}  // namespace
}  // namespace tolvi::ui
