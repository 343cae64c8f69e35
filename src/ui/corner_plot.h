#pragma once

#include <QColor>
#include <QRect>
#include <QStringList>
#include <QWidget>
#include <optional>

#include "fit/corner_data.h"

class QPainter;
class QPaintDevice;

namespace tolvi::ui {

// The colours of the plot: the histograms' outline and fill, the densest cell of a pair (a cell
// of count c is blended from white towards it by sqrt(c / densest), so that the tails show), and
// the lines of the medians (solid) and of the 68 % intervals (dashed).
inline const QColor CORNER_HISTOGRAM_LINE = QColor(31, 78, 140);
inline const QColor CORNER_HISTOGRAM_FILL = QColor(196, 214, 236);
inline const QColor CORNER_DENSITY = QColor(24, 60, 120);
inline const QColor CORNER_MEDIAN = QColor(214, 39, 40);

// The corner plot of a posterior: a lower-triangular grid of cells, one row and one column per
// parameter. Cell (i, i) on the diagonal is parameter i's histogram with its median and 68 %
// interval, titled "name = median +up −down"; cell (i, j) below it is the 2-D histogram of
// parameter j (across) and parameter i (up), with the two medians as thin cross lines. Tick labels
// and names are drawn on the bottom row (x) and the left column (y, from the second row down).
// The cells are square, laid out again at every size; text uses the widget's font.
class CornerPlot : public QWidget {
    Q_OBJECT

  public:
    explicit CornerPlot(QWidget* parent = nullptr);

    // Shows `data` with `names` (one per parameter; missing ones are called p1, p2, ...). Data
    // whose arrays do not match its dims and bins, or whose ranges are not finite and ordered,
    // are shown as no data.
    void setData(CornerData data, QStringList names);
    const CornerData& data() const { return data_; }
    const QStringList& names() const { return names_; }

    // Where cell (row, col) lies in the widget (pixels): empty above the diagonal, outside the
    // grid, or with no data.
    QRect cellRect(int row, int col) const;
    // The horizontal pixel of parameter `col`'s `value` in the cells of column col; absent for a
    // column outside the grid.
    std::optional<double> xPixel(int col, double value) const;
    // The vertical pixel of parameter `row`'s `value` in the pair cells of row `row` (1 and down).
    std::optional<double> yPixel(int row, double value) const;

    // Draws the plot into `target` of any painter (an image, a printer page), laid out for it.
    void paintInto(QPainter& painter, const QRect& target) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    struct Layout;
    Layout layoutFor(const QRect& target, const QPaintDevice* device) const;
    void paintDiagonal(QPainter& painter, const Layout& layout, int i) const;
    void paintPair(QPainter& painter, const Layout& layout, int i, int j) const;
    void paintAxes(QPainter& painter, const Layout& layout) const;
    void paintTitle(QPainter& painter, const Layout& layout, int i) const;

    CornerData data_;
    QStringList names_;
};

// "median +up −down" of a parameter's median and 68 % interval, rounded to two significant
// digits of the smaller of up and down; very small or large values share a power of ten
// ("1.23 +0.05 −0.04 ×10⁻⁶").
QString cornerTitleNumbers(double median, double p15_87, double p84_13);

}  // namespace tolvi::ui
