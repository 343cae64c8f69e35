#include "ui/corner_plot.h"

#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <vector>

#include "ui/chart_view.h"

namespace tolvi::ui {

namespace {

constexpr int PAD = 4;                    // pixels between a label and what it labels
constexpr int TICK = 4;                   // length of a tick mark, inside the cell
constexpr int COLUMN_GAP = 6;             // pixels between two columns of cells
constexpr int MAX_INTERVALS = 4;          // an axis shows at most five round values
constexpr double TICK_FONT = 0.85;        // tick labels against the widget's font
constexpr double MIN_TITLE_FONT = 0.6;    // a long title shrinks to this before it is elided,
constexpr double TITLE_FONT_STEP = 0.05;  // in steps of this
constexpr double HISTOGRAM_HEIGHT = 0.9;  // the highest bar against its cell's height
// The size hint gives each cell HINT_GRID / n pixels within these bounds; below MIN_CELL the
// tick labels begin to drop out.
constexpr int HINT_GRID = 720;
constexpr int HINT_CELL_MIN = 70;
constexpr int HINT_CELL_MAX = 200;
constexpr int MIN_CELL = 36;
constexpr int DASH_ON = 4;  // the dashes of the intervals' lines
constexpr int DASH_OFF = 3;
constexpr int CROSS_ALPHA = 170;  // opacity of the medians' lines over a pair's density
const QColor TEXT_COLOUR(30, 30, 30);
const QColor FRAME_COLOUR(150, 150, 150);
const QColor TICK_COLOUR(90, 90, 90);

QFont scaledFont(const QFont& font, double factor) {
    QFont f(font);
    if (f.pointSizeF() > 0)
        f.setPointSizeF(f.pointSizeF() * factor);
    else if (f.pixelSize() > 0)
        f.setPixelSize(std::max(1, static_cast<int>(std::lround(f.pixelSize() * factor))));
    return f;
}

// Round values along an axis, their labels, and where the labels go.
struct Ticks {
    std::vector<double> values;
    QStringList labels;
    std::vector<double> labelAt;  // where each label is placed (left edge or vertical centre)
};

// The round values within [lo, hi]: the multiples of the smallest step of 1, 2, 2.5 or 5 times a
// power of ten that splits the range into at most `intervals` parts, with their labels.
Ticks roundTicks(double lo, double hi, int intervals) {
    Ticks t;
    if (!(hi > lo) || !std::isfinite(hi - lo) || intervals < 1) return t;
    const double rough = (hi - lo) / intervals;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = 10.0 * power;
    for (double multiple : {1.0, 2.0, 2.5, 5.0})
        if (multiple * power >= rough) {
            step = multiple * power;
            break;
        }
    // A billionth of a step of slack, so that a value on an end of the range is not lost to
    // the rounding of lo / step.
    const double first = std::ceil(lo / step - 1e-9) * step;
    if (!(step > 0.0) || !std::isfinite(first)) return t;
    const int count = static_cast<int>(std::floor((hi - first) / step + 1e-9)) + 1;
    if (count < 1) return t;
    for (int k = 0; k < count; ++k) {
        double v = first + k * step;
        t.values.push_back(std::fabs(v) < 1e-9 * step ? 0.0 : v);
    }
    t.labels = roundTickLabels(first, step, count - 1);
    return t;
}

// The largest set of round values (at most MAX_INTERVALS intervals) whose labels, each centred on
// its value at position(v) and moved inside [slotLo, slotHi] when it would stick out, leave a gap
// between neighbours; `extent` is a label's size along the axis. No labels when none fits.
template <class Position, class Extent>
Ticks fittedTicks(double lo, double hi, double slotLo, double slotHi, double gap, Position position,
                  Extent extent) {
    for (int intervals = MAX_INTERVALS; intervals >= 1; --intervals) {
        Ticks t = roundTicks(lo, hi, intervals);
        if (t.values.empty()) continue;
        bool fits = true;
        double previousEnd = -1e300;
        for (size_t k = 0; k < t.values.size() && fits; ++k) {
            // Along an upward axis the values run downwards: order the labels by position.
            size_t m = position(t.values.front()) <= position(t.values.back())
                           ? k
                           : t.values.size() - 1 - k;
            double size = extent(t.labels[static_cast<int>(m)]);
            if (size > slotHi - slotLo) {
                fits = false;
                break;
            }
            double start = std::clamp(position(t.values[m]) - size / 2, slotLo, slotHi - size);
            fits = start >= previousEnd + gap;
            previousEnd = start + size;
        }
        if (!fits) continue;
        for (size_t k = 0; k < t.values.size(); ++k) {
            double size = extent(t.labels[static_cast<int>(k)]);
            t.labelAt.push_back(
                std::clamp(position(t.values[k]) - size / 2, slotLo, slotHi - size));
        }
        return t;
    }
    return {};
}

// A fill of the pixels [x0, x1) x [y0, y1), exact on the pixel grid whatever the antialiasing.
void fillSpan(QPainter& painter, int x0, int y0, int x1, int y1, const QColor& colour) {
    if (x1 > x0 && y1 > y0) painter.fillRect(QRect(x0, y0, x1 - x0, y1 - y0), colour);
}

// A vertical line `width` pixels wide from pixel column x, solid or dashed, within [top, bottom).
void verticalLine(QPainter& painter, int x, int top, int bottom, int width, bool dashed,
                  const QColor& colour) {
    if (!dashed) return fillSpan(painter, x, top, x + width, bottom, colour);
    for (int y = top; y < bottom; y += DASH_ON + DASH_OFF)
        fillSpan(painter, x, y, x + width, std::min(y + DASH_ON, bottom), colour);
}

QString superscript(int n) {
    static const QString digits = QStringLiteral("⁰¹²³⁴⁵⁶⁷⁸⁹");
    QString s = n < 0 ? QStringLiteral("⁻") : QString();
    for (QChar c : QString::number(std::abs(n))) s += digits[c.digitValue()];
    return s;
}

// v with `decimals` decimals (a negative count rounds to tens, hundreds, ...), a true minus sign,
// and no sign on a value that rounds to zero.
QString fixed(double v, int decimals) {
    if (decimals < 0) {
        double unit = std::pow(10.0, -decimals);
        v = std::round(v / unit) * unit;
    }
    QString s = QString::asprintf("%.*f", std::max(decimals, 0), v);
    bool zero = std::all_of(s.begin(), s.end(), [](QChar c) { return !c.isDigit() || c == '0'; });
    if (zero && s.startsWith('-')) s.remove(0, 1);
    if (s.startsWith('-')) s.replace(0, 1, QChar(0x2212));
    return s;
}

}  // namespace

QString cornerTitleNumbers(double median, double p15_87, double p84_13) {
    double up = p84_13 - median, down = median - p15_87;
    if (!std::isfinite(median) || !std::isfinite(up) || !std::isfinite(down)) return {};
    up = std::max(up, 0.0);
    down = std::max(down, 0.0);
    double error = std::min(up, down) > 0.0 ? std::min(up, down) : std::max(up, down);
    // Beyond a thousandth and below 10⁵ the numbers read plainly; otherwise as multiples of a
    // shared power of ten.
    int exponent = 0;
    double largest = std::max(std::fabs(median), error);
    if (largest > 0.0) {
        int e = static_cast<int>(std::floor(std::log10(largest)));
        if (e < -3 || e >= 5) exponent = e;
    }
    double unit = std::pow(10.0, exponent);
    median /= unit;
    up /= unit;
    down /= unit;
    error /= unit;
    QString text;
    if (error > 0.0) {
        // Two significant digits of the smaller error; at most twelve decimals for an error far
        // below the value.
        int decimals = std::min(1 - static_cast<int>(std::floor(std::log10(error))), 12);
        text = QStringLiteral("%1 +%2 %3%4")
                   .arg(fixed(median, decimals), fixed(up, decimals), QChar(0x2212),
                        fixed(down, decimals));
    } else {
        // A constant parameter: its value, and an interval of nothing.
        text = QString::number(median, 'g', 6).replace('-', QChar(0x2212)) +
               QStringLiteral(" +0 ") + QChar(0x2212) + QStringLiteral("0");
    }
    if (exponent != 0) text += QStringLiteral(" ×10") + superscript(exponent);
    return text;
}

// Where everything goes for one target: square cells of `cell` pixels, cell (0, 0) at origin,
// the round values of each parameter along the bottom row (x) and the left column (y).
struct CornerPlot::Layout {
    int n = 0;
    int cell = 0;
    int rowGap = 0;  // holds the title of the diagonal cell below it
    QPoint origin;
    QRect target;
    QFont font;
    QFont tickFont;
    int lineHeight = 0;
    int tickHeight = 0;
    int yLabelWidth = 0;
    std::vector<Ticks> xTicks;  // per parameter; labels at their left edges
    std::vector<Ticks> yTicks;  // per parameter from the second; labels at their centres

    QRect cellRect(int row, int col) const {
        return QRect(origin.x() + col * (cell + COLUMN_GAP), origin.y() + row * (cell + rowGap),
                     cell, cell);
    }
};

CornerPlot::CornerPlot(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("cornerPlot"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

namespace {

// Data that can be drawn as they stand: arrays of their sizes, finite ordered ranges and
// quantiles, no negative count.
bool drawable(const CornerData& d) {
    if (d.dims == 0) return true;
    if (d.dims < 0 || d.bins < 1 || d.bins > MAX_CORNER_BINS) return false;
    if (d.marginals.size() != static_cast<size_t>(d.dims)) return false;
    for (const Marginal& m : d.marginals) {
        if (!(std::isfinite(m.lo) && std::isfinite(m.hi) && m.lo < m.hi)) return false;
        if (!(std::isfinite(m.median) && std::isfinite(m.p15_87) && std::isfinite(m.p84_13)))
            return false;
        if (m.counts.size() != static_cast<size_t>(d.bins)) return false;
        if (std::any_of(m.counts.begin(), m.counts.end(), [](long c) { return c < 0; }))
            return false;
    }
    size_t pairCells = static_cast<size_t>(CornerData::pairIndex(d.dims, 0)) * d.bins * d.bins;
    return d.pairs.size() == pairCells &&
           std::none_of(d.pairs.begin(), d.pairs.end(), [](long c) { return c < 0; });
}

}  // namespace

void CornerPlot::setData(CornerData data, QStringList names) {
    data_ = drawable(data) ? std::move(data) : CornerData{};
    names_ = std::move(names);
    while (names_.size() > data_.dims) names_.removeLast();
    while (names_.size() < data_.dims) names_ << QStringLiteral("p%1").arg(names_.size() + 1);
    update();
}

CornerPlot::Layout CornerPlot::layoutFor(const QRect& target, const QPaintDevice* device) const {
    Layout L;
    L.target = target;
    L.font = font();
    L.tickFont = scaledFont(font(), TICK_FONT);
    QFontMetricsF fm(L.font, device), tfm(L.tickFont, device);
    L.lineHeight = static_cast<int>(std::ceil(fm.height()));
    L.tickHeight = static_cast<int>(std::ceil(tfm.height()));
    L.n = data_.dims;
    const int n = L.n;
    if (n == 0) return L;

    // The widest y label any number of round values could need, so that the margin does not
    // depend on the cell size it helps decide.
    double widest = 0.0;
    for (int i = 1; i < n; ++i)
        for (int intervals = 1; intervals <= MAX_INTERVALS; ++intervals)
            for (const QString& s :
                 roundTicks(data_.marginals[i].lo, data_.marginals[i].hi, intervals).labels)
                widest = std::max(widest, tfm.horizontalAdvance(s));
    L.yLabelWidth = static_cast<int>(std::ceil(widest));
    const int left = n > 1 ? PAD + L.lineHeight + PAD + L.yLabelWidth + PAD : 2 * PAD;
    const int top = L.lineHeight + 2 * PAD;
    const int bottom = PAD + L.tickHeight + PAD + L.lineHeight + PAD;
    const int right = 2 * PAD;
    L.rowGap = L.lineHeight + 2 * PAD;
    const int width = target.width() - left - right - (n - 1) * COLUMN_GAP;
    const int height = target.height() - top - bottom - (n - 1) * L.rowGap;
    L.cell = std::max(std::min(width, height) / n, 4);
    // The grid in the middle of the room it has.
    int spareX = std::max(width - n * L.cell, 0), spareY = std::max(height - n * L.cell, 0);
    L.origin = QPoint(target.left() + left + spareX / 2, target.top() + top + spareY / 2);

    const double gap = tfm.horizontalAdvance(QStringLiteral("  "));
    L.xTicks.resize(static_cast<size_t>(n));
    L.yTicks.resize(static_cast<size_t>(n));
    for (int p = 0; p < n; ++p) {
        const Marginal& m = data_.marginals[p];
        QRect c = L.cellRect(n - 1, p);
        auto x = [&](double v) { return c.left() + (v - m.lo) / (m.hi - m.lo) * c.width(); };
        auto w = [&](const QString& s) { return tfm.horizontalAdvance(s); };
        double slotLeft = std::max<double>(c.left() - COLUMN_GAP / 2, target.left());
        double slotRight = std::min<double>(c.right() + 1 + COLUMN_GAP / 2, target.right() + 1);
        L.xTicks[p] = fittedTicks(m.lo, m.hi, slotLeft, slotRight, gap, x, w);
        if (p == 0) continue;
        QRect r = L.cellRect(p, 0);
        auto y = [&](double v) {
            return r.top() + r.height() - (v - m.lo) / (m.hi - m.lo) * r.height();
        };
        auto h = [&](const QString&) { return tfm.height(); };
        L.yTicks[p] = fittedTicks(m.lo, m.hi, r.top() - L.rowGap / 2.0,
                                  r.bottom() + 1 + L.rowGap / 2.0, 0.2 * tfm.height(), y, h);
        // fittedTicks places a label's top edge; the painter wants its centre.
        for (double& at : L.yTicks[p].labelAt) at += tfm.height() / 2;
    }
    return L;
}

QRect CornerPlot::cellRect(int row, int col) const {
    if (col < 0 || row < col || row >= data_.dims) return {};
    return layoutFor(rect(), this).cellRect(row, col);
}

std::optional<double> CornerPlot::xPixel(int col, double value) const {
    if (col < 0 || col >= data_.dims || !std::isfinite(value)) return std::nullopt;
    const Marginal& m = data_.marginals[col];
    QRect c = layoutFor(rect(), this).cellRect(col, col);
    return c.left() + (value - m.lo) / (m.hi - m.lo) * c.width();
}

std::optional<double> CornerPlot::yPixel(int row, double value) const {
    if (row < 1 || row >= data_.dims || !std::isfinite(value)) return std::nullopt;
    const Marginal& m = data_.marginals[row];
    QRect c = layoutFor(rect(), this).cellRect(row, 0);
    return c.top() + c.height() - (value - m.lo) / (m.hi - m.lo) * c.height();
}

namespace {

// The pixel edges of the bins of a cell along x (left to right) or y (bottom to top), rounded
// once so that neighbouring bins meet without a gap or an overlap.
std::vector<int> binEdges(int start, int length, int bins, bool upward) {
    std::vector<int> edges(static_cast<size_t>(bins) + 1);
    for (int b = 0; b <= bins; ++b) {
        int offset = static_cast<int>(std::lround(static_cast<double>(b) * length / bins));
        edges[b] = upward ? start + length - offset : start + offset;
    }
    return edges;
}

// The pixel column of x in a cell, kept inside it with room for a line `width` wide.
int columnOf(double x, const QRect& c, int width) {
    return std::clamp(static_cast<int>(std::floor(x)), c.left(), c.right() + 1 - width);
}

int rowOf(double y, const QRect& c, int width) {
    return std::clamp(static_cast<int>(std::floor(y)), c.top(), c.bottom() + 1 - width);
}

}  // namespace

void CornerPlot::paintDiagonal(QPainter& painter, const Layout& L, int i) const {
    const Marginal& m = data_.marginals[i];
    const QRect c = L.cellRect(i, i);
    const std::vector<int> x = binEdges(c.left(), c.width(), data_.bins, false);
    const long most = *std::max_element(m.counts.begin(), m.counts.end());
    const int bottom = c.bottom() + 1;
    auto topOf = [&](long count) {
        double h = most > 0 ? HISTOGRAM_HEIGHT * c.height() * count / most : 0.0;
        return bottom - static_cast<int>(std::lround(h));
    };
    // Bars, then their outline as one step line through the middle of their edge pixels.
    QPainterPath outline(QPointF(x[0] + 0.5, bottom - 0.5));
    for (int b = 0; b < data_.bins; ++b) {
        int top = topOf(m.counts[b]);
        fillSpan(painter, x[b], top, x[b + 1], bottom, CORNER_HISTOGRAM_FILL);
        outline.lineTo(x[b] + 0.5, top + 0.5);
        outline.lineTo(x[b + 1] + 0.5, top + 0.5);
    }
    outline.lineTo(x[data_.bins] + 0.5, bottom - 0.5);
    painter.setPen(QPen(CORNER_HISTOGRAM_LINE, 1.2));
    painter.setBrush(Qt::NoBrush);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.drawPath(outline);
    painter.setRenderHint(QPainter::Antialiasing, false);

    // The 68 % interval dashed, the median solid over it.
    auto at = [&](double v) { return c.left() + (v - m.lo) / (m.hi - m.lo) * c.width(); };
    for (double v : {m.p15_87, m.p84_13})
        verticalLine(painter, columnOf(at(v), c, 1), c.top(), bottom, 1, true, CORNER_MEDIAN);
    verticalLine(painter, columnOf(at(m.median), c, 2), c.top(), bottom, 2, false, CORNER_MEDIAN);
}

void CornerPlot::paintPair(QPainter& painter, const Layout& L, int i, int j) const {
    const Marginal& mx = data_.marginals[j];
    const Marginal& my = data_.marginals[i];
    const QRect c = L.cellRect(i, j);
    const int bins = data_.bins;
    const std::vector<int> x = binEdges(c.left(), c.width(), bins, false);
    const std::vector<int> y = binEdges(c.top(), c.height(), bins, true);
    const long* counts = data_.pairCounts(i, j);
    const long most = *std::max_element(counts, counts + static_cast<long>(bins) * bins);
    for (int a = 0; a < bins && most > 0; ++a)
        for (int b = 0; b < bins; ++b) {
            long count = counts[static_cast<long>(a) * bins + b];
            if (count == 0) continue;
            // The square root lifts the sparse tails into view against the densest cell.
            double t = std::sqrt(static_cast<double>(count) / most);
            auto blend = [t](int ink) {
                return static_cast<int>(std::lround(255 + t * (ink - 255)));
            };
            QColor shade(blend(CORNER_DENSITY.red()), blend(CORNER_DENSITY.green()),
                         blend(CORNER_DENSITY.blue()));
            fillSpan(painter, x[b], y[a + 1], x[b + 1], y[a], shade);
        }
    // The medians as thin cross lines, let through a little so that the density shows beneath.
    QColor cross = CORNER_MEDIAN;
    cross.setAlpha(CROSS_ALPHA);
    int column = columnOf(c.left() + (mx.median - mx.lo) / (mx.hi - mx.lo) * c.width(), c, 1);
    int row =
        rowOf(c.top() + c.height() - (my.median - my.lo) / (my.hi - my.lo) * c.height(), c, 1);
    fillSpan(painter, column, c.top(), column + 1, c.bottom() + 1, cross);
    fillSpan(painter, c.left(), row, c.right() + 1, row + 1, cross);
}

void CornerPlot::paintAxes(QPainter& painter, const Layout& L) const {
    const int n = L.n;
    QFontMetricsF fm(L.font, painter.device()), tfm(L.tickFont, painter.device());
    // Frames, and tick marks inside every cell on the values labelled on the outer row and column.
    for (int i = 0; i < n; ++i)
        for (int j = 0; j <= i; ++j) {
            QRect c = L.cellRect(i, j);
            const Marginal& mx = data_.marginals[j];
            for (double v : L.xTicks[j].values) {
                int col = columnOf(c.left() + (v - mx.lo) / (mx.hi - mx.lo) * c.width(), c, 1);
                fillSpan(painter, col, c.bottom() + 1 - TICK, col + 1, c.bottom() + 1, TICK_COLOUR);
            }
            if (i != j) {
                const Marginal& my = data_.marginals[i];
                for (double v : L.yTicks[i].values) {
                    int row = rowOf(
                        c.top() + c.height() - (v - my.lo) / (my.hi - my.lo) * c.height(), c, 1);
                    fillSpan(painter, c.left(), row, c.left() + TICK, row + 1, TICK_COLOUR);
                }
            }
            painter.setPen(FRAME_COLOUR);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(c.adjusted(0, 0, -1, -1));
        }

    painter.setPen(TEXT_COLOUR);
    // The bottom row: each column's round values, and its name under them.
    for (int j = 0; j < n; ++j) {
        QRect c = L.cellRect(n - 1, j);
        const Ticks& t = L.xTicks[j];
        painter.setFont(L.tickFont);
        const double baseline = c.bottom() + 1 + PAD + tfm.ascent();
        for (int k = 0; k < t.labels.size(); ++k)
            painter.drawText(QPointF(t.labelAt[k], baseline), t.labels[k]);
        painter.setFont(L.font);
        QRect name(c.left() - COLUMN_GAP / 2, c.bottom() + 1 + PAD + L.tickHeight + PAD,
                   c.width() + COLUMN_GAP, L.lineHeight);
        painter.drawText(name, Qt::AlignHCenter | Qt::AlignTop,
                         fm.elidedText(names_[j], Qt::ElideRight, name.width()));
    }
    // The left column from the second row: each row's round values, and its name turned upright.
    for (int i = 1; i < n; ++i) {
        QRect c = L.cellRect(i, 0);
        const Ticks& t = L.yTicks[i];
        painter.setFont(L.tickFont);
        for (int k = 0; k < t.labels.size(); ++k) {
            QRectF box(c.left() - PAD - L.yLabelWidth, t.labelAt[k] - tfm.height() / 2,
                       L.yLabelWidth, tfm.height());
            painter.drawText(box, Qt::AlignRight | Qt::AlignVCenter, t.labels[k]);
        }
        painter.setFont(L.font);
        const int room = c.height() + L.rowGap;
        painter.save();
        painter.translate(c.left() - PAD - L.yLabelWidth - PAD - L.lineHeight, c.center().y());
        painter.rotate(-90.0);
        painter.drawText(QRect(-room / 2, 0, room, L.lineHeight), Qt::AlignHCenter | Qt::AlignTop,
                         fm.elidedText(names_[i], Qt::ElideRight, room));
        painter.restore();
    }
}

void CornerPlot::paintTitle(QPainter& painter, const Layout& L, int i) const {
    const Marginal& m = data_.marginals[i];
    const QString text =
        names_[i] + QStringLiteral(" = ") + cornerTitleNumbers(m.median, m.p15_87, m.p84_13);
    const QRect c = L.cellRect(i, i);
    // The band above the cell is free from the grid's left edge to the right of the target (the
    // cells above the diagonal are empty): the title is centred on its cell and kept inside the
    // band, its font shrunk for a long title and the text elided at the smallest size.
    const double bandLeft = L.origin.x();
    const double bandRight = L.target.right() + 1 - PAD;
    QFont titleFont = L.font;
    double width = 0.0;
    for (int step = 0;; ++step) {
        const double factor = 1.0 - TITLE_FONT_STEP * step;
        titleFont = scaledFont(L.font, factor);
        width = QFontMetricsF(titleFont, painter.device()).horizontalAdvance(text);
        if (width <= bandRight - bandLeft || factor < MIN_TITLE_FONT + TITLE_FONT_STEP / 2) break;
    }
    QFontMetricsF tm(titleFont, painter.device());
    QString shown = tm.elidedText(text, Qt::ElideRight, bandRight - bandLeft);
    width = tm.horizontalAdvance(shown);
    double left =
        std::max(bandLeft, std::min(c.left() + c.width() / 2.0 - width / 2, bandRight - width));
    painter.setFont(titleFont);
    painter.setPen(TEXT_COLOUR);
    painter.drawText(QPointF(left, c.top() - PAD - tm.descent()), shown);
}

void CornerPlot::paintInto(QPainter& painter, const QRect& target) const {
    painter.save();
    painter.setClipRect(target);
    painter.fillRect(target, Qt::white);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const Layout L = layoutFor(target, painter.device());
    if (L.n == 0) {
        painter.setFont(L.font);
        painter.setPen(FRAME_COLOUR);
        painter.drawText(target, Qt::AlignCenter, tr("No samples to show"));
    } else {
        for (int i = 0; i < L.n; ++i) {
            paintDiagonal(painter, L, i);
            for (int j = 0; j < i; ++j) paintPair(painter, L, i, j);
        }
        paintAxes(painter, L);
        for (int i = 0; i < L.n; ++i) paintTitle(painter, L, i);
    }
    painter.restore();
}

void CornerPlot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintInto(painter, rect());
}

namespace {

// The margins and gaps around n cells of `cell` pixels, as layoutFor makes them (with a y label
// of about seven characters).
QSize gridSize(const QFont& font, int n, int cell) {
    QFontMetrics fm(font), tfm(scaledFont(font, TICK_FONT));
    const int line = fm.height(), ticks = tfm.height();
    const int labels = tfm.horizontalAdvance(QStringLiteral("\u22120.0025"));
    const int left = n > 1 ? 3 * PAD + line + labels : 2 * PAD;
    const int w = left + 2 * PAD + n * cell + (n - 1) * COLUMN_GAP;
    const int h = (line + 2 * PAD) * n + 3 * PAD + ticks + line + n * cell;
    return QSize(w, h);
}

}  // namespace

QSize CornerPlot::sizeHint() const {
    const int n = std::max(data_.dims, 1);
    return gridSize(font(), n, std::clamp(HINT_GRID / n, HINT_CELL_MIN, HINT_CELL_MAX));
}

QSize CornerPlot::minimumSizeHint() const {
    return gridSize(font(), std::max(data_.dims, 1), MIN_CELL);
}

}  // namespace tolvi::ui
