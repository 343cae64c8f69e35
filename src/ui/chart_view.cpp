#include "ui/chart_view.h"

#include <QCategoryAxis>
#include <QGraphicsLayout>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <limits>

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

LinearScale niceScale(Extent e, std::optional<double> fixedMin) {
    if (e.empty()) e = {0.0, 1.0};
    if (fixedMin) e.lo = *fixedMin;
    if (!(e.hi > e.lo)) {
        // One value (or none above the fixed minimum): show a unit-sized window around it.
        double pad = std::max(std::abs(e.hi) * 0.1, 1.0);
        if (!fixedMin) e.lo -= pad;
        e.hi += pad;
    }
    constexpr int MAX_INTERVALS = 7;
    double base = std::pow(10.0, std::floor(std::log10(e.hi - e.lo))) / 10.0;
    LinearScale s;
    for (double multiple : {1.0, 2.0, 2.5, 5.0, 10.0, 20.0, 25.0, 50.0, 100.0}) {
        double step = multiple * base;
        s.min = fixedMin ? *fixedMin : std::floor(e.lo / step) * step;
        s.max = std::ceil(e.hi / step) * step;
        long intervals = std::lround((s.max - s.min) / step);
        s.ticks = static_cast<int>(intervals) + 1;
        s.step = step;
        if (intervals <= MAX_INTERVALS) break;
    }
    return s;
}

// The range, and the ticks as labelled categories ending on the round values (the first one,
// outside the range, ends on the minimum so that it is labelled too).
void applyLinear(QCategoryAxis* axis, const Extent& e, std::optional<double> fixedMin) {
    LinearScale s = niceScale(e, fixedMin);
    for (const QString& label : axis->categoriesLabels()) axis->remove(label);
    axis->setRange(s.min, s.max);
    axis->setTickCount(s.ticks);
    QStringList labels = roundTickLabels(s.min, s.step, s.ticks - 1);
    axis->setStartValue(s.min - s.step);
    for (int k = 0; k < labels.size(); ++k) axis->append(labels[k], s.min + k * s.step);
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

ChartView::ChartView(const ChartDesign& design, QWidget* parent)
    : QChartView(parent), logY_(design.logY), fixedYMin_(design.fixedYMin) {
    setObjectName(design.objectName);
    setRenderHint(QPainter::Antialiasing);
    setRubberBand(QChartView::NoRubberBand);

    auto* chart = new QChart;
    chart->setTitle(design.title);
    QFont titleFont = chart->titleFont();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 0.9);
    titleFont.setBold(true);
    chart->setTitleFont(titleFont);
    chart->legend()->hide();
    chart->setMargins(QMargins(2, 2, 6, 2));
    chart->setBackgroundRoundness(0);
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    setChart(chart);

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

    for (const SeriesStyle& s : design.series) addSeries(s);
    rescale();
}

int ChartView::addSeries(const SeriesStyle& style) {
    auto* series = new QLineSeries;
    series->setObjectName(style.name);
    series->setName(style.name);
    QPen pen(style.colour);
    pen.setWidthF(1.2);
    series->setPen(pen);
    chart()->addSeries(series);
    series->attachAxis(chart()->axes(Qt::Horizontal).front());
    series->attachAxis(chart()->axes(Qt::Vertical).front());
    series_.push_back(series);
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
    rescale();
}

void ChartView::clearSeries(int index) {
    if (series(index)->count() == 0) return;
    series(index)->clear();
    rescale();
}

void ChartView::clearAll() {
    for (QLineSeries* s : series_) s->clear();
    rescale();
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

void ChartView::rescale() {
    Extent ex, ey;
    for (QLineSeries* s : series_)
        for (const QPointF& p : s->points()) {
            ex.add(p.x());
            ey.add(p.y());
        }
    QList<QAbstractAxis*> horizontal = chart()->axes(Qt::Horizontal);
    QList<QAbstractAxis*> vertical = chart()->axes(Qt::Vertical);
    applyLinear(static_cast<QCategoryAxis*>(horizontal.first()), ex, std::nullopt);
    if (logY_)
        applyLog(static_cast<QLogValueAxis*>(vertical.first()), ey);
    else
        applyLinear(static_cast<QCategoryAxis*>(vertical.first()), ey, fixedYMin_);
}

void ChartView::setYTitle(const QString& title) {
    chart()->axes(Qt::Vertical).front()->setTitleText(title);
}

QString ChartView::yTitle() const {
    return chart()->axes(Qt::Vertical).front()->titleText();
}

}  // namespace tolvi::ui
