#pragma once

#include <QChartView>
#include <QColor>
#include <optional>
#include <vector>

class QLineSeries;

namespace tolvi::ui {

// The reflectivity chart's left-axis titles: what it draws.
inline const QString INTENSITY_TITLE = QStringLiteral("Log10 ( I )");
inline const QString REFERENCE_RATIO_TITLE = QStringLiteral("Log10 ( I / Rf' )");
inline const QString RATIO_TO_FIT_TITLE = QStringLiteral("Log10 ( Rdata / Fit )");

// The labels of a linear axis from `min` in `intervals` steps of `step`: each value as "%g" (with
// more digits where six would make two alike), a value within a billionth of a step of zero as
// "0". Qt's own labels add the step to the minimum in floating point and show the rounding
// ("-5.55112e-17" for 0).
QStringList roundTickLabels(double min, double step, int intervals);

struct SeriesStyle {
    QString name;  // object name ("Series1")
    QColor colour;
};

struct ChartDesign {
    QString objectName;  // "Chart1"
    QString title;       // may be empty
    QString xTitle;
    QString yTitle;
    bool logY = false;                // logarithmic left axis (base 10)
    std::optional<double> fixedYMin;  // left-axis minimum held here, maximum from the data
    std::vector<SeriesStyle> series;
};

// A chart of line series addressed by their index, whose axes follow the data: every change of
// a series rescales both axes to the points of all series (a chart keeps its ranges otherwise).
class ChartView : public QChartView {
    Q_OBJECT

  public:
    explicit ChartView(const ChartDesign& design, QWidget* parent = nullptr);

    // Replaces the points of series `index` in one step (per-point appends are far too slow for
    // curves of 2000 points). On a logarithmic axis points with y <= 0 are left out, since a
    // single one would hide the whole series.
    void setPoints(int index, const std::vector<double>& x, const std::vector<double>& y);
    void setPoints(int index, const double* x, const double* y, int count);
    void clearSeries(int index);
    void clearAll();
    // A further series, after those of the design; returns its index.
    int addSeries(const SeriesStyle& style);
    // The left axis's title, for a chart that shows one of several quantities.
    void setYTitle(const QString& title);
    QString yTitle() const;

    // Draws the chart into `target` of a painter (a printer page) as vector graphics, laid out
    // afresh at the given width-to-height ratio and scaled to fit with that ratio kept.
    void paintScaled(QPainter& painter, const QRectF& target, double aspect);

    int seriesCount() const { return static_cast<int>(series_.size()); }
    QLineSeries* series(int index) const { return series_[static_cast<size_t>(index)]; }
    int pointCount(int index) const;

  private:
    void rescale();

    std::vector<QLineSeries*> series_;
    bool logY_;
    std::optional<double> fixedYMin_;
};

}  // namespace tolvi::ui
