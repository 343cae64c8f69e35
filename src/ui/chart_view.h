#pragma once

#include <QChartView>
#include <QColor>
#include <QLineF>
#include <array>
#include <optional>
#include <utility>
#include <vector>

class QLabel;
class QLineSeries;
class QRubberBand;

namespace tolvi::ui {

class ErrorBarItem;
class LegendBox;

// The reflectivity chart's left-axis titles: what it draws.
inline const QString INTENSITY_TITLE = QStringLiteral("Log10 ( I )");
inline const QString REFERENCE_RATIO_TITLE = QStringLiteral("Log10 ( I / Rf' )");
inline const QString RATIO_TO_FIT_TITLE = QStringLiteral("Log10 ( Rdata / Fit )");
// Its bottom-axis title: the x values as the data file gives them.
inline const QString AS_LOADED_X_TITLE = QStringLiteral("x (θ/2θ/q)");

// The labels of a linear axis from `min` in `intervals` steps of `step`: each value as "%g" (with
// more digits where six would make two alike), a value within a billionth of a step of zero as
// "0". Qt's own labels add the step to the minimum in floating point and show the rounding
// ("-5.55112e-17" for 0).
QStringList roundTickLabels(double min, double step, int intervals);

struct SeriesStyle {
    QString name;  // object name ("Series1")
    QColor colour;
    QString legend = {};  // what the legend calls it ("F1 data"); empty: never in the legend
};

struct ChartDesign {
    QString objectName;  // "Chart1"
    QString title;       // may be empty
    QString xTitle;
    QString yTitle;
    bool logY = false;                // logarithmic left axis (base 10)
    std::optional<double> fixedYMin;  // left-axis minimum held here, maximum from the data
    std::vector<SeriesStyle> series;
    // At most this many intervals between the labels of a linear left axis: fewer for a chart
    // too low for seven labels to stand apart.
    int maxYIntervals = 7;
};

// A chart of line series addressed by their index, whose axes follow the data: every change of
// a series rescales both axes to the points of all series (a chart keeps its ranges otherwise).
//
// The user explores it with the mouse and keys, and the view then stays where it was put while
// the series change (a fit redrawing its curve), until a double-click, Home, resetView or clearAll:
// - a left-button drag over the plot area zooms to the rectangle dragged (a drag less than
//   MIN_DRAG pixels wide or high is a click); the wheel zooms by WHEEL_ZOOM a notch in both axes
//   around the value under the cursor, in log space on a logarithmic axis;
// - a middle-button drag, or a left-button drag with Shift, pans (the value grabbed stays under
//   the mouse); the arrow keys pan by a tenth of the view (Right to larger x, Up to larger y);
// - a legend at the top right of the plot area names the series that have points, when at least
//   two have; a readout at its lower left gives the values under the mouse.
// A series may carry error bars, drawn over the chart and laid out afresh whenever the plot area
// or the axes' ranges change. A chart may follow another's x axis (holdXRange): its x range is
// then the one held, whatever its data or the user's zoom, which only acts on y.
class ChartView : public QChartView {
    Q_OBJECT

  public:
    explicit ChartView(const ChartDesign& design, QWidget* parent = nullptr);

    // Replaces the points of series `index` in one step (per-point appends are far too slow for
    // curves of 2000 points). On a logarithmic axis points with y <= 0 are left out, since a
    // single one would hide the whole series.
    void setPoints(int index, const std::vector<double>& x, const std::vector<double>& y);
    void setPoints(int index, const double* x, const double* y, int count);
    // Empties series `index` and its error bars; seriesCleared follows, also for an empty series.
    void clearSeries(int index);
    // clearSeries of every series, and back to the full view.
    void clearAll();
    // A further series, after those of the design; returns its index.
    int addSeries(const SeriesStyle& style);
    // The left axis's title, for a chart that shows one of several quantities.
    void setYTitle(const QString& title);
    QString yTitle() const;
    void setXTitle(const QString& title);
    QString xTitle() const;

    // Error bars of series `index`: at each x a vertical segment from low to high, in the axes'
    // values as the series' points are, in the series' colour and clipped to the plot area. A
    // low end below every value the axis can show (-infinity, or 0 or less on a logarithmic
    // axis) runs to the bottom of the plot area. Replaces the series' bars; cleared with it.
    void setErrorBars(int index, const std::vector<double>& x, const std::vector<double>& low,
                      const std::vector<double>& high);
    void clearErrorBars(int index);
    // A bar as given, and as laid out: its segment in the chart's coordinates (those of its plot
    // area, as QChart::mapToPosition gives them) for the plot area and ranges of now.
    struct ErrorBar {
        double x = 0.0;
        double low = 0.0;
        double high = 0.0;
        QLineF segment;
    };
    std::vector<ErrorBar> errorBars(int index) const;

    // Holds the x axis at exactly lo..hi (lo < hi): the data and zooms change only y from now on,
    // and y follows the points inside lo..hi until the user zooms. For a chart under another that
    // shares its x axis; viewChanged of the other tells when to call it again.
    void holdXRange(double lo, double hi);
    // Lines the plot area up with `leader`'s, left and right, from now on, by widening this
    // chart's own side margins (never narrowing them below the design's): for a chart of the same
    // width stacked under the one whose x range it holds. Without labels of its own on the x axis
    // (Chart1's name the values of both).
    void alignPlotAreaWith(const ChartView* leader);

    // Draws the chart into `target` of a painter (a printer page) as vector graphics, laid out
    // afresh at the given width-to-height ratio and scaled to fit with that ratio kept.
    void paintScaled(QPainter& painter, const QRectF& target, double aspect);

    int seriesCount() const { return static_cast<int>(series_.size()); }
    QLineSeries* series(int index) const { return series_[static_cast<size_t>(index)]; }
    int pointCount(int index) const;

    // What the legend calls series `index`; an empty name keeps it out of the legend.
    void setSeriesName(int index, const QString& name);
    // The names the legend shows, in series order; empty while it is hidden.
    QStringList legendTexts() const;
    // Where the legend is, in the chart's coordinates (those of its plot area); empty while
    // hidden.
    QRectF legendRect() const;
    // "x = 1.234  y = 5.67" for the mouse inside the plot area, otherwise empty.
    QString readoutText() const;

    // The axes' ranges in values: left and right the x range, top and bottom the y range (top
    // the lower value).
    QRectF viewRange() const;
    // Shows `valueRect` (as viewRange gives it; normalised) and holds it while the series
    // change. Ignored when empty or not finite, when a side is narrower than a 1e-10th of its
    // values (too few digits left to label), or with y <= 0 on a logarithmic axis.
    void zoomTo(QRectF valueRect);
    // Back to the range of all the data, followed again as the series change.
    void resetView();
    bool zoomed() const { return view_.has_value(); }

    static constexpr double WHEEL_ZOOM = 1.25;  // per notch of 120 eighths of a degree
    static constexpr int MIN_DRAG = 5;          // pixels

  signals:
    // The axes' ranges (viewRange) changed: a zoom, a pan, a reset, or new data followed.
    void viewChanged();
    // Series `index` was emptied by clearSeries or clearAll.
    void seriesCleared(int index);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;

  private:
    enum class Drag { None, Zoom, Pan };

    void dataChanged();
    void followData();
    void applyView();
    void rangesChanged();
    void layOutErrorBars();
    void alignPlotArea();
    QRectF plotRect() const;  // the plot area in viewport pixels
    QPointF valueAt(QPointF viewportPos) const;
    QPointF axisValueAt(QPointF viewportPos) const;  // log10 of y on a logarithmic axis
    // The view in axis space (log10 of y on a logarithmic axis), and back.
    QRectF axisView() const;
    void zoomToAxis(const QRectF& axisRect);
    void holdUnder(QPointF viewportPos, QPointF axisValue);
    void updateLegend();
    void placeLegend();
    void showReadout(QPointF viewportPos);
    void placeReadout();

    std::vector<QLineSeries*> series_;
    bool logY_;
    std::optional<double> fixedYMin_;
    int maxYIntervals_;
    std::optional<QRectF> view_;                      // the user's range, while zoomed or panned
    std::optional<std::pair<double, double>> heldX_;  // holdXRange's
    std::array<double, 4> lastRange_{};  // viewRange's sides when viewChanged last went out
    Drag drag_ = Drag::None;
    QPointF dragStart_;
    QPointF dragValue_;  // in axis space, under the mouse when a pan began
    QRubberBand* band_ = nullptr;
    QLabel* readout_ = nullptr;
    LegendBox* legend_ = nullptr;            // an item of the chart, which owns it
    ErrorBarItem* errorBars_ = nullptr;      // likewise
    const ChartView* plotLeader_ = nullptr;  // alignPlotAreaWith's
};

}  // namespace tolvi::ui
