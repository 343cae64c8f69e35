#include "ui/chart_view.h"

#include <QCategoryAxis>
#include <QGraphicsLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

namespace tolvi::ui {

namespace {

struct Extent {
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    bool empty() const { return !(lo <= hi); }
    void add(double v) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
};

// A linear range on round numbers: the smallest step of 1, 2, 2.5 or 5 times a power of ten
// that covers the data in at most seven intervals, so that the "%g" tick labels stay short and
// the data fill most of the axis.
struct LinearScale {
    double min = 0.0;
    double max = 1.0;
    int ticks = 5;
    double step = 0.25;
};

// Around a chart, inside its view: a little more on the right, where the last x label reaches out.
constexpr QMargins MARGINS(2, 2, 6, 2);

constexpr int MAX_INTERVALS = 7;  // unless the design asks for fewer on the left axis
// Steps tried, in units of a tenth of the power of ten below the range.
constexpr double ROUND_MULTIPLES[] = {1.0, 2.0, 2.5, 5.0, 10.0, 20.0, 25.0, 50.0, 100.0};

LinearScale niceScale(Extent e, std::optional<double> fixedMin, int maxIntervals) {
    if (e.empty()) e = {0.0, 1.0};
    if (fixedMin) e.lo = *fixedMin;
    if (!(e.hi > e.lo)) {
        // One value (or none above the fixed minimum): show a unit-sized window around it.
        double pad = std::max(std::abs(e.hi) * 0.1, 1.0);
        if (!fixedMin) e.lo -= pad;
        e.hi += pad;
    }
    double base = std::pow(10.0, std::floor(std::log10(e.hi - e.lo))) / 10.0;
    LinearScale s;
    for (double multiple : ROUND_MULTIPLES) {
        double step = multiple * base;
        s.min = fixedMin ? *fixedMin : std::floor(e.lo / step) * step;
        s.max = std::ceil(e.hi / step) * step;
        long intervals = std::lround((s.max - s.min) / step);
        s.ticks = static_cast<int>(intervals) + 1;
        s.step = step;
        if (intervals <= maxIntervals) break;
    }
    return s;
}

// Labelled categories ending on `count` values from `first` in steps of `step` (the first one
// starts a step before, outside the range, so that its own value is labelled too).
void setRoundLabels(QCategoryAxis* axis, double first, double step, int count) {
    axis->setTickCount(std::max(count, 2));
    axis->setStartValue(first - step);
    QStringList labels = roundTickLabels(first, step, count - 1);
    for (int k = 0; k < labels.size(); ++k) axis->append(labels[k], first + k * step);
}

// The range widened to round values, and the ticks as labelled categories on them.
void applyLinear(QCategoryAxis* axis, const Extent& e, std::optional<double> fixedMin,
                 int maxIntervals = MAX_INTERVALS) {
    LinearScale s = niceScale(e, fixedMin, maxIntervals);
    for (const QString& label : axis->categoriesLabels()) axis->remove(label);
    axis->setRange(s.min, s.max);
    setRoundLabels(axis, s.min, s.step, s.ticks);
}

// A range the user chose (lo < hi), kept exactly: labels on the round values inside it only,
// the smallest step of niceScale's that puts at most maxIntervals intervals between them.
// Widening the range to round values instead would undo a small zoom (a wheel notch) and make a
// pan jump.
void applyLinearView(QCategoryAxis* axis, double lo, double hi, int maxIntervals = MAX_INTERVALS) {
    double base = std::pow(10.0, std::floor(std::log10(hi - lo))) / 10.0;
    double step = 0.0, k0 = 0.0, k1 = 0.0;
    for (double multiple : ROUND_MULTIPLES) {
        step = multiple * base;
        // A value within a billionth of a step of an end counts as inside (rounding of lo/step).
        k0 = std::ceil(lo / step - 1e-9);
        k1 = std::floor(hi / step + 1e-9);
        if (k1 - k0 <= maxIntervals) break;
    }
    for (const QString& label : axis->categoriesLabels()) axis->remove(label);
    axis->setRange(lo, hi);
    setRoundLabels(axis, k0 * step, step, static_cast<int>(k1 - k0) + 1);
}

// Whole decades around the positive values.
void applyLog(QLogValueAxis* axis, const Extent& e) {
    if (e.empty()) {
        axis->setRange(1.0, 10.0);
        return;
    }
    double lo = std::pow(10.0, std::floor(std::log10(e.lo)));
    double hi = std::pow(10.0, std::ceil(std::log10(e.hi)));
    if (!(hi > lo)) hi = lo * 10.0;
    axis->setRange(lo, hi);
}

// A linear axis labelled by applyLinear: its labels on the values they name.
QCategoryAxis* linearAxis() {
    auto* axis = new QCategoryAxis;
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    axis->setLabelFormat("%g");
    return axis;
}

}  // namespace

QStringList roundTickLabels(double min, double step, int intervals) {
    for (int digits = 6; digits <= 17; ++digits) {
        QStringList labels;
        for (int k = 0; k <= intervals; ++k) {
            double v = min + k * step;
            if (std::fabs(v) < 1e-9 * step) v = 0.0;
            labels << QString::asprintf("%.*g", digits, v);
        }
        if (labels.removeDuplicates() == 0) return labels;
    }
    // Values too close for any number of digits: numbered instead, so that each is its own.
    QStringList labels;
    for (int k = 0; k <= intervals; ++k) labels << QString::asprintf("%d", k);
    return labels;
}

// The legend: a line sample and the name of each series, one under the other, in a box.
class LegendBox : public QGraphicsItem {
  public:
    struct Entry {
        QString name;
        QPen pen;
    };

    explicit LegendBox(QGraphicsItem* parent) : QGraphicsItem(parent) {
        font_.setPointSizeF(font_.pointSizeF() * 0.85);
        setZValue(100.0);  // above the series and the grid
    }

    const QFont& font() const { return font_; }
    QStringList texts() const {
        QStringList t;
        for (const Entry& e : entries_) t << e.name;
        return t;
    }

    void setEntries(std::vector<Entry> entries) {
        prepareGeometryChange();
        entries_ = std::move(entries);
        QFontMetricsF metrics(font_);
        double textWidth = 0.0;
        for (const Entry& e : entries_)
            textWidth = std::max(textWidth, metrics.horizontalAdvance(e.name));
        size_ = QSizeF(2 * PAD + SAMPLE + GAP + textWidth,
                       2 * PAD + metrics.height() * static_cast<double>(entries_.size()));
        update();
    }

    QRectF boundingRect() const override { return QRectF(QPointF(), size_); }

    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override {
        painter->setPen(QPen(QColor(160, 160, 160), 0.0));
        painter->setBrush(QColor(255, 255, 255, 220));
        painter->drawRect(boundingRect());
        painter->setFont(font_);
        QFontMetricsF metrics(font_);
        double y = PAD;
        for (const Entry& e : entries_) {
            double middle = y + metrics.height() / 2.0;
            QPen pen = e.pen;
            pen.setWidthF(std::max(pen.widthF(), 1.5));
            painter->setPen(pen);
            painter->drawLine(QPointF(PAD, middle), QPointF(PAD + SAMPLE, middle));
            painter->setPen(Qt::black);
            painter->drawText(QPointF(PAD + SAMPLE + GAP, y + metrics.ascent()), e.name);
            y += metrics.height();
        }
    }

  private:
    static constexpr double PAD = 4.0;      // inside the frame
    static constexpr double SAMPLE = 16.0;  // length of the line sample
    static constexpr double GAP = 4.0;      // between sample and name

    std::vector<Entry> entries_;
    QFont font_;
    QSizeF size_;
};

// The error bars of a chart's series: vertical segments that the chart view lays out in the
// chart's coordinates, painted in their series' colour and clipped to the plot area.
class ErrorBarItem : public QGraphicsItem {
  public:
    struct Bars {
        std::vector<double> x, low, high;
        std::vector<QLineF> segments;  // one per bar; a null line for a bar out of view
        QPen pen;
    };

    explicit ErrorBarItem(QGraphicsItem* parent) : QGraphicsItem(parent) {
        setZValue(50.0);  // above the series, under the legend
    }

    std::map<int, Bars>& bars() { return bars_; }
    const std::map<int, Bars>& bars() const { return bars_; }

    void setArea(const QRectF& area) {
        if (area != area_) {
            prepareGeometryChange();
            area_ = area;
        }
        update();
    }

    QRectF boundingRect() const override { return area_; }

    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override {
        painter->setClipRect(area_);
        for (const auto& [index, b] : bars_) {
            painter->setPen(b.pen);
            for (const QLineF& segment : b.segments)
                if (!segment.isNull()) painter->drawLine(segment);
        }
    }

  private:
    std::map<int, Bars> bars_;  // by series index
    QRectF area_;               // the plot area
};

ChartView::ChartView(const ChartDesign& design, QWidget* parent)
    : QChartView(parent),
      logY_(design.logY),
      fixedYMin_(design.fixedYMin),
      maxYIntervals_(design.maxYIntervals) {
    setObjectName(design.objectName);
    setRenderHint(QPainter::Antialiasing);
    setRubberBand(QChartView::NoRubberBand);

    auto* chart = new QChart;
    chart->setTitle(design.title);
    QFont titleFont = chart->titleFont();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 0.9);
    titleFont.setBold(true);
    chart->setTitleFont(titleFont);
    chart->setMargins(MARGINS);
    chart->setBackgroundRoundness(0);
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    setChart(chart);

    // Qt's own legend either takes room from the plot area or, detached, gives no size to fit
    // its box to: ours floats over the plot area (placeLegend), and prints with the chart.
    chart->legend()->hide();
    legend_ = new LegendBox(chart);
    legend_->hide();
    errorBars_ = new ErrorBarItem(chart);

    auto* x = linearAxis();
    x->setTitleText(design.xTitle);
    chart->addAxis(x, Qt::AlignBottom);
    QAbstractAxis* y = nullptr;
    if (logY_) {
        auto* log = new QLogValueAxis;
        log->setBase(10.0);
        log->setLabelFormat("%g");
        log->setMinorTickCount(8);
        y = log;
    } else {
        y = linearAxis();
    }
    y->setTitleText(design.yTitle);
    chart->addAxis(y, Qt::AlignLeft);
    for (QAbstractAxis* axis : {static_cast<QAbstractAxis*>(x), y}) {
        QFont f = axis->titleFont();
        f.setBold(false);
        f.setPointSizeF(f.pointSizeF() * 0.9);
        axis->setTitleFont(f);
    }

    band_ = new QRubberBand(QRubberBand::Rectangle, viewport());
    readout_ = new QLabel(viewport());
    readout_->setObjectName("ChartReadout");
    readout_->setAttribute(Qt::WA_TransparentForMouseEvents);
    readout_->setStyleSheet("background: rgba(255, 255, 255, 200); padding: 1px 3px;");
    readout_->setFont(legend_->font());
    readout_->hide();
    connect(chart, &QChart::plotAreaChanged, this, [this] {
        placeLegend();
        placeReadout();
        layOutErrorBars();
    });

    for (const SeriesStyle& s : design.series) addSeries(s);
    followData();
}

int ChartView::addSeries(const SeriesStyle& style) {
    auto* series = new QLineSeries;
    series->setObjectName(style.name);
    series->setName(style.legend);
    QPen pen(style.colour);
    pen.setWidthF(1.2);
    series->setPen(pen);
    chart()->addSeries(series);
    series->attachAxis(chart()->axes(Qt::Horizontal).front());
    series->attachAxis(chart()->axes(Qt::Vertical).front());
    series_.push_back(series);
    updateLegend();
    return static_cast<int>(series_.size()) - 1;
}

void ChartView::setPoints(int index, const std::vector<double>& x, const std::vector<double>& y) {
    setPoints(index, x.data(), y.data(), static_cast<int>(std::min(x.size(), y.size())));
}

void ChartView::setPoints(int index, const double* x, const double* y, int count) {
    QList<QPointF> points;
    points.reserve(count);
    for (int i = 0; i < count; ++i)
        if (!logY_ || y[i] > 0.0) points.append(QPointF(x[i], y[i]));
    series(index)->replace(points);
    dataChanged();
}

void ChartView::clearSeries(int index) {
    clearErrorBars(index);
    if (series(index)->count() > 0) {
        series(index)->clear();
        dataChanged();
    }
    emit seriesCleared(index);
}

void ChartView::clearAll() {
    for (QLineSeries* s : series_) s->clear();
    errorBars_->bars().clear();
    view_.reset();
    dataChanged();
    for (int i = 0; i < seriesCount(); ++i) emit seriesCleared(i);
}

void ChartView::paintScaled(QPainter& painter, const QRectF& target, double aspect) {
    // Laid out at a width of about a screen's, the labels come out near their screen size on a
    // sheet of paper. The layout is made here rather than taken from the screen, which may be
    // stale (its update waits for the event loop) or missing (a page never shown).
    constexpr double LAYOUT_WIDTH = 1000.0;
    QChart* c = chart();
    QRectF onScreen = c->geometry();
    QRectF print(0.0, 0.0, LAYOUT_WIDTH, LAYOUT_WIDTH / aspect);
    c->setGeometry(print);
    c->layout()->activate();
    scene()->render(&painter, target, print, Qt::KeepAspectRatio);
    c->setGeometry(onScreen);
    c->layout()->activate();
}

int ChartView::pointCount(int index) const {
    return series(index)->count();
}

void ChartView::dataChanged() {
    updateLegend();
    if (!view_) followData();
}

void ChartView::followData() {
    Extent ex, ey;
    for (QLineSeries* s : series_)
        for (const QPointF& p : s->points()) {
            // Under a held x range, y follows the points in view.
            if (heldX_ && !(p.x() >= heldX_->first && p.x() <= heldX_->second)) continue;
            ex.add(p.x());
            ey.add(p.y());
        }
    auto* x = static_cast<QCategoryAxis*>(chart()->axes(Qt::Horizontal).first());
    QAbstractAxis* y = chart()->axes(Qt::Vertical).first();
    if (heldX_)
        applyLinearView(x, heldX_->first, heldX_->second);
    else
        applyLinear(x, ex, std::nullopt);
    if (logY_)
        applyLog(static_cast<QLogValueAxis*>(y), ey);
    else
        applyLinear(static_cast<QCategoryAxis*>(y), ey, fixedYMin_, maxYIntervals_);
    rangesChanged();
}

// After every change of the axes' ranges: the error bars laid out for them, and viewChanged
// when the ranges are not those it last announced.
void ChartView::rangesChanged() {
    layOutErrorBars();
    QRectF r = viewRange();
    std::array<double, 4> sides = {r.left(), r.right(), r.top(), r.bottom()};
    if (sides == lastRange_) return;
    lastRange_ = sides;
    emit viewChanged();
}

void ChartView::setErrorBars(int index, const std::vector<double>& x,
                             const std::vector<double>& low, const std::vector<double>& high) {
    size_t n = std::min({x.size(), low.size(), high.size()});
    ErrorBarItem::Bars& b = errorBars_->bars()[index];
    b.x.assign(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n));
    b.low.assign(low.begin(), low.begin() + static_cast<std::ptrdiff_t>(n));
    b.high.assign(high.begin(), high.begin() + static_cast<std::ptrdiff_t>(n));
    layOutErrorBars();
}

void ChartView::clearErrorBars(int index) {
    if (errorBars_->bars().erase(index) > 0) errorBars_->update();
}

std::vector<ChartView::ErrorBar> ChartView::errorBars(int index) const {
    // Laid out for the axes' latest labels (as in valueAt): a new plot area lays the bars out.
    chart()->layout()->activate();
    std::vector<ErrorBar> out;
    auto found = errorBars_->bars().find(index);
    if (found == errorBars_->bars().end()) return out;
    const ErrorBarItem::Bars& b = found->second;
    for (size_t k = 0; k < b.x.size(); ++k)
        out.push_back({b.x[k], b.low[k], b.high[k], b.segments[k]});
    return out;
}

// Each bar from its low end up to its high end, mapped as its series' points are. An end the
// axis cannot show lies below the plot area: a bar whose high end does so is out of view, one
// whose low end does so starts at the bottom of the plot area.
void ChartView::layOutErrorBars() {
    QChart* c = chart();
    QRectF plot = c->plotArea();
    errorBars_->setArea(plot);
    auto belowAxis = [this](double v) { return !std::isfinite(v) || (logY_ && v <= 0.0); };
    for (auto& [index, b] : errorBars_->bars()) {
        QLineSeries* s = series(index);
        b.pen = QPen(s->pen().color(), 1.0);
        b.segments.assign(b.x.size(), QLineF());
        for (size_t k = 0; k < b.x.size(); ++k) {
            if (!std::isfinite(b.x[k]) || belowAxis(b.high[k])) continue;
            QPointF high = c->mapToPosition(QPointF(b.x[k], b.high[k]), s);
            double low = belowAxis(b.low[k]) ? std::max(plot.bottom(), high.y())
                                             : c->mapToPosition(QPointF(b.x[k], b.low[k]), s).y();
            b.segments[k] = QLineF(high.x(), low, high.x(), high.y());
        }
    }
    errorBars_->update();
}

void ChartView::alignPlotAreaWith(const ChartView* leader) {
    plotLeader_ = leader;
    QAbstractAxis* x = chart()->axes(Qt::Horizontal).front();
    x->setLabelsVisible(false);
    x->setTitleText(QString());
    connect(leader->chart(), &QChart::plotAreaChanged, this, &ChartView::alignPlotArea);
    connect(chart(), &QChart::plotAreaChanged, this, &ChartView::alignPlotArea);
    alignPlotArea();
}

// Both charts fill views of the same width, so that their plot areas line up where their sides
// lie at the same chart coordinates. A change of margins lays the chart out again and calls this
// once more, which then finds nothing to change.
void ChartView::alignPlotArea() {
    QMargins m = chart()->margins();
    QRectF mine = chart()->plotArea(), leader = plotLeader_->chart()->plotArea();
    if (mine.isEmpty() || leader.isEmpty()) return;
    int left = std::max(MARGINS.left(),
                        m.left() + static_cast<int>(std::lround(leader.left() - mine.left())));
    int right = std::max(MARGINS.right(),
                         m.right() + static_cast<int>(std::lround(mine.right() - leader.right())));
    if (left != m.left() || right != m.right())
        chart()->setMargins(QMargins(left, m.top(), right, m.bottom()));
}

void ChartView::holdXRange(double lo, double hi) {
    if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo)) return;
    heldX_ = {lo, hi};
    if (view_) {
        view_ = QRectF(QPointF(lo, view_->top()), QPointF(hi, view_->bottom()));
        applyView();
    } else {
        followData();
    }
}

void ChartView::setXTitle(const QString& title) {
    chart()->axes(Qt::Horizontal).front()->setTitleText(title);
}

QString ChartView::xTitle() const {
    return chart()->axes(Qt::Horizontal).front()->titleText();
}

void ChartView::setYTitle(const QString& title) {
    chart()->axes(Qt::Vertical).front()->setTitleText(title);
}

QString ChartView::yTitle() const {
    return chart()->axes(Qt::Vertical).front()->titleText();
}

void ChartView::setSeriesName(int index, const QString& name) {
    series(index)->setName(name);
    updateLegend();
}

QStringList ChartView::legendTexts() const {
    return legend_->isVisible() ? legend_->texts() : QStringList();
}

QRectF ChartView::legendRect() const {
    return legend_->isVisible() ? legend_->mapRectToParent(legend_->boundingRect()) : QRectF();
}

QString ChartView::readoutText() const {
    return readout_->text();
}

// A series is in the legend while it has points and a name; the legend itself only when it
// tells two or more apart (a single curve is named by the axis titles).
void ChartView::updateLegend() {
    std::vector<LegendBox::Entry> entries;
    for (QLineSeries* s : series_)
        if (s->count() > 0 && !s->name().isEmpty()) entries.push_back({s->name(), s->pen()});
    legend_->setVisible(entries.size() >= 2);
    legend_->setEntries(std::move(entries));
    placeLegend();
}

// At the top right of the plot area, a few pixels in.
void ChartView::placeLegend() {
    constexpr double INSET = 4.0;
    QRectF plot = chart()->plotArea();
    legend_->setPos(plot.right() - INSET - legend_->boundingRect().width(), plot.top() + INSET);
}

QRectF ChartView::viewRange() const {
    auto* x = static_cast<QValueAxis*>(chart()->axes(Qt::Horizontal).front());
    QAbstractAxis* y = chart()->axes(Qt::Vertical).front();
    double y0 = 0.0, y1 = 0.0;
    if (logY_) {
        y0 = static_cast<QLogValueAxis*>(y)->min();
        y1 = static_cast<QLogValueAxis*>(y)->max();
    } else {
        y0 = static_cast<QValueAxis*>(y)->min();
        y1 = static_cast<QValueAxis*>(y)->max();
    }
    return QRectF(QPointF(x->min(), y0), QPointF(x->max(), y1));
}

void ChartView::zoomTo(QRectF valueRect) {
    QRectF r = valueRect.normalized();
    if (heldX_) r = QRectF(QPointF(heldX_->first, r.top()), QPointF(heldX_->second, r.bottom()));
    // Below a 1e-10th of its values a side has too few digits left for distinct round labels.
    auto usable = [](double lo, double hi) {
        return std::isfinite(lo) && std::isfinite(hi) &&
               hi - lo > 1e-10 * std::max(std::fabs(lo), std::fabs(hi));
    };
    if (!usable(r.left(), r.right()) || !usable(r.top(), r.bottom())) return;
    if (logY_ && !(r.top() > 0.0)) return;
    view_ = r;
    applyView();
}

void ChartView::resetView() {
    view_.reset();
    followData();
}

void ChartView::applyView() {
    const QRectF& v = *view_;
    applyLinearView(static_cast<QCategoryAxis*>(chart()->axes(Qt::Horizontal).front()), v.left(),
                    v.right());
    QAbstractAxis* y = chart()->axes(Qt::Vertical).front();
    if (logY_)
        static_cast<QLogValueAxis*>(y)->setRange(v.top(), v.bottom());
    else
        applyLinearView(static_cast<QCategoryAxis*>(y), v.top(), v.bottom(), maxYIntervals_);
    rangesChanged();
}

QRectF ChartView::axisView() const {
    QRectF v = viewRange();
    if (!logY_) return v;
    return QRectF(QPointF(v.left(), std::log10(v.top())),
                  QPointF(v.right(), std::log10(v.bottom())));
}

void ChartView::zoomToAxis(const QRectF& a) {
    if (!logY_) {
        zoomTo(a);
        return;
    }
    zoomTo(QRectF(QPointF(a.left(), std::pow(10.0, a.top())),
                  QPointF(a.right(), std::pow(10.0, a.bottom()))));
}

QRectF ChartView::plotRect() const {
    chart()->layout()->activate();  // as in valueAt
    return viewportTransform().mapRect(chart()->mapRectToScene(chart()->plotArea()));
}

QPointF ChartView::valueAt(QPointF viewportPos) const {
    // Laid out for the axes' latest labels, which may be waiting for the event loop.
    chart()->layout()->activate();
    QPointF scenePos = viewportTransform().inverted().map(viewportPos);
    return chart()->mapToValue(chart()->mapFromScene(scenePos), series_.front());
}

QPointF ChartView::axisValueAt(QPointF viewportPos) const {
    QPointF v = valueAt(viewportPos);
    return logY_ ? QPointF(v.x(), std::log10(v.y())) : v;
}

// Shifts the view until `axisValue` (in axis space) lies under the pixel `viewportPos`: a pan,
// or after a zoom, a correction, since new labels of another width move the plot area and with
// it what lies under the mouse. Each pass changes the labels less, and a few settle it.
void ChartView::holdUnder(QPointF viewportPos, QPointF axisValue) {
    for (int pass = 0; pass < 3; ++pass) {
        QPointF shift = axisValue - axisValueAt(viewportPos);
        QRectF a = axisView();
        if (std::fabs(shift.x()) <= 1e-12 * a.width() && std::fabs(shift.y()) <= 1e-12 * a.height())
            return;
        zoomToAxis(a.translated(shift));
    }
}

void ChartView::mousePressEvent(QMouseEvent* event) {
    QPointF pos = event->position();
    if (series_.empty() || !plotRect().contains(pos)) {
        QChartView::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    bool shift = event->modifiers() & Qt::ShiftModifier;
    if (event->button() == Qt::MiddleButton || (event->button() == Qt::LeftButton && shift)) {
        drag_ = Drag::Pan;
    } else if (event->button() == Qt::LeftButton) {
        drag_ = Drag::Zoom;
        band_->setGeometry(QRect(pos.toPoint(), QSize()));
        band_->show();
    } else {
        QChartView::mousePressEvent(event);
        return;
    }
    dragStart_ = pos;
    dragValue_ = axisValueAt(pos);
    event->accept();
}

void ChartView::mouseMoveEvent(QMouseEvent* event) {
    QPointF pos = event->position();
    if (drag_ == Drag::Zoom) {
        band_->setGeometry(QRect(dragStart_.toPoint(), pos.toPoint()).normalized() &
                           plotRect().toAlignedRect());
    } else if (drag_ == Drag::Pan) {
        holdUnder(pos, dragValue_);  // the value grabbed follows the mouse
    }
    showReadout(pos);
    QChartView::mouseMoveEvent(event);
}

void ChartView::mouseReleaseEvent(QMouseEvent* event) {
    if (drag_ == Drag::None) {
        QChartView::mouseReleaseEvent(event);
        return;
    }
    if (drag_ == Drag::Zoom) {
        band_->hide();
        QRectF r = QRectF(dragStart_, event->position()).normalized() & plotRect();
        if (r.width() >= MIN_DRAG && r.height() >= MIN_DRAG) {
            QPointF low = valueAt(r.bottomLeft()), high = valueAt(r.topRight());
            zoomTo(QRectF(low, high));
        }
    }
    drag_ = Drag::None;
    event->accept();
}

void ChartView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QChartView::mouseDoubleClickEvent(event);
        return;
    }
    resetView();
    event->accept();
}

void ChartView::wheelEvent(QWheelEvent* event) {
    QPointF pos = event->position();
    int eighths = event->angleDelta().y();
    // Outside the plot area the wheel is left to the window (a scrolled page).
    if (series_.empty() || eighths == 0 || !plotRect().contains(pos)) {
        QChartView::wheelEvent(event);
        return;
    }
    double factor = std::pow(WHEEL_ZOOM, eighths / 120.0);
    QRectF a = axisView();
    QPointF c = axisValueAt(pos);
    // The value under the cursor stays where it is.
    zoomToAxis(QRectF(
        QPointF(c.x() - (c.x() - a.left()) / factor, c.y() - (c.y() - a.top()) / factor),
        QPointF(c.x() + (a.right() - c.x()) / factor, c.y() + (a.bottom() - c.y()) / factor)));
    holdUnder(pos, c);
    showReadout(pos);
    event->accept();
}

void ChartView::keyPressEvent(QKeyEvent* event) {
    QRectF a = axisView();
    double dx = a.width() / 10.0, dy = a.height() / 10.0;
    switch (event->key()) {
        case Qt::Key_Home:
            resetView();
            break;
        case Qt::Key_Left:
            zoomToAxis(a.translated(-dx, 0.0));
            break;
        case Qt::Key_Right:
            zoomToAxis(a.translated(dx, 0.0));
            break;
        case Qt::Key_Up:
            zoomToAxis(a.translated(0.0, dy));
            break;
        case Qt::Key_Down:
            zoomToAxis(a.translated(0.0, -dy));
            break;
        default:
            QChartView::keyPressEvent(event);
            return;
    }
    event->accept();
}

bool ChartView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave) showReadout(QPointF(-1.0, -1.0));
    return QChartView::viewportEvent(event);
}

void ChartView::showReadout(QPointF viewportPos) {
    QString text;
    if (!series_.empty() && plotRect().contains(viewportPos)) {
        QPointF v = valueAt(viewportPos);
        text = QString::asprintf("x = %g  y = %g", v.x(), v.y());
    }
    if (text == readout_->text()) return;
    readout_->setText(text);
    readout_->setVisible(!text.isEmpty());
    placeReadout();
}

// Over the lower left corner of the plot area, where a reflectivity curve rarely runs.
void ChartView::placeReadout() {
    if (readout_->text().isEmpty()) return;
    constexpr int INSET = 4;
    readout_->adjustSize();
    QRect plot = plotRect().toRect();
    readout_->move(plot.left() + INSET, plot.bottom() - readout_->height() - INSET);
}

}  // namespace tolvi::ui
