// The views of the reflectivity chart (what it draws, on which x axis, in log10 or linear), the
// error bars of measured points and the residual panel under the chart. The numbers come from
// viewCurve (actions/chart_views.h); here they are only drawn.
//
// How the views combine with the older controls:
// - The R/Rf' switch keeps its meaning on the intensity view: intensities are drawn as their
//   ratio to the reference, exactly as "I / Rf'" draws them. R·q⁴ already takes the Fresnel fall
//   out of view and ignores it; "I / Rf'" is the ratio with the switch on or off (without it,
//   the reference is computed for the view).
// - "Rdata/Fit" keeps its meaning too, the ratio of measured to calculated intensity of every
//   point, whatever the quantity chosen: it follows the x axis and the y scale chosen (log10 of
//   the ratio, or the ratio).
// - A change of view draws again what the chart shows, in the new view, and goes back to the full
//   view (a range in the old units means nothing in the new ones). The model is not changed.
#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QToolBar>

#include "ui/chart_view.h"
#include "ui/main_window.h"

namespace tolvi::ui {

namespace {

// A view as the menu and the tool bar offer it: the menu's caption, the tool button's shorter
// text, and the enumerator it stands for.
struct ViewEntry {
    const char* name;
    const char* caption;
    const char* buttonText;
    int value;
};

const ViewEntry QUANTITIES[] = {
    {"actionViewIntensity", "Intensity", "I", static_cast<int>(CurveView::Intensity)},
    {"actionViewQ4", "R·q⁴", "R·q⁴", static_cast<int>(CurveView::NormalisedQ4)},
    {"actionViewRatio", "I / Rf'", "I/Rf'", static_cast<int>(CurveView::ReferenceRatio)}};
const ViewEntry SCALES[] = {
    {"actionViewLogY", "Log scale", "log", static_cast<int>(YScale::Log10)},
    {"actionViewLinearY", "Linear scale", "lin", static_cast<int>(YScale::Linear)}};
const ViewEntry AXES[] = {
    {"actionViewAsLoaded", "x as loaded", "x", static_cast<int>(AxisView::AsLoaded)},
    {"actionViewTheta", "θ (deg)", "θ", static_cast<int>(AxisView::Theta)},
    {"actionViewTwoTheta", "2θ (deg)", "2θ", static_cast<int>(AxisView::TwoTheta)},
    {"actionViewQ", "q (1/Å)", "q", static_cast<int>(AxisView::Q)}};

// The series of ChartResidual after the six slots' residuals.
constexpr int RESIDUAL_ZERO_LINE = MAX_SLOTS;

QString xTitleOf(AxisView axis) {
    switch (axis) {
        case AxisView::Theta:
            return QStringLiteral("θ (deg)");
        case AxisView::TwoTheta:
            return QStringLiteral("2θ (deg)");
        case AxisView::Q:
            return QStringLiteral("q (1/Å)");
        case AxisView::AsLoaded:
            break;
    }
    return AS_LOADED_X_TITLE;
}

QString yTitleOf(CurveView quantity, YScale scale) {
    bool log = scale == YScale::Log10;
    switch (quantity) {
        case CurveView::NormalisedQ4:
            return log ? QStringLiteral("Log10 ( R q^4 )") : QStringLiteral("R q^4 (1/Å^4)");
        case CurveView::ReferenceRatio:
            return log ? REFERENCE_RATIO_TITLE : QStringLiteral("I / Rf'");
        case CurveView::Intensity:
            break;
    }
    return log ? INTENSITY_TITLE : QStringLiteral("I");
}

template <class Enum>
Enum checkedView(const QActionGroup* group) {
    return static_cast<Enum>(group->checkedAction()->data().toInt());
}

}  // namespace

// Three exclusive groups (quantity, y scale, x axis) in the View menu and the view tool bar, each
// starting on the view the chart has always had, and "Residuals", which shows the residual panel.
// The views read the model, which a running fit writes: they are model actions.
void MainWindow::buildViewActions(QMenu* menu) {
    auto addGroup = [this, menu](const auto& entries) {
        auto* group = new QActionGroup(this);
        group->setExclusive(true);
        for (const ViewEntry& e : entries) {
            QAction* action = menu->addAction(e.caption);
            action->setObjectName(e.name);
            action->setIconText(e.buttonText);
            action->setCheckable(true);
            action->setData(e.value);
            group->addAction(action);
            viewToolBar_->addAction(action);
            modelActions_.append(action);
        }
        group->actions().front()->setChecked(true);
        connect(group, &QActionGroup::triggered, this, &MainWindow::ViewChange);
        menu->addSeparator();
        viewToolBar_->addSeparator();
        return group;
    };
    quantityGroup_ = addGroup(QUANTITIES);
    scaleGroup_ = addGroup(SCALES);
    axisGroup_ = addGroup(AXES);

    QAction* residuals = menu->addAction("Residuals");
    residuals->setObjectName("actionViewResiduals");
    residuals->setIconText("res");
    residuals->setCheckable(true);
    residuals->setChecked(true);
    connect(residuals, &QAction::toggled, ChartResidual, &QWidget::setVisible);
    viewToolBar_->addAction(residuals);
    menu->addSeparator();

    ChartResidual->alignPlotAreaWith(Chart1);
    connect(Chart1, &ChartView::viewChanged, this, &MainWindow::alignResidualAxis);
    connect(Chart1, &ChartView::seriesCleared, this, &MainWindow::forgetDrawnPair);
    alignResidualAxis();
}

void MainWindow::ViewChange() {
    guarded([this] {
        viewQuantity_ = checkedView<CurveView>(quantityGroup_);
        viewScale_ = checkedView<YScale>(scaleGroup_);
        viewAxis_ = checkedView<AxisView>(axisGroup_);
        redrawCurves();
    });
}

// The titles say what the next "Plot" would draw; each pair drawn again says what it draws,
// "Rdata/Fit" last, as its button leaves the title.
void MainWindow::redrawCurves() {
    Chart1->setXTitle(xTitleOf(viewAxis_));
    Chart1->setYTitle(yTitleOf(shownQuantity(store_.rRfMode), viewScale_));
    const std::array<std::optional<DrawnCurve>, MAX_SLOTS> drawn = drawn_;
    for (int pair = 0; pair < MAX_SLOTS; ++pair)
        if (drawn[pair] && !drawn[pair]->dataFitRatio)
            showCurve(drawn[pair]->slot, pair, drawn[pair]->part, drawn[pair]->ratio);
    if (drawn[0] && drawn[0]->dataFitRatio) showDataFitRatio(drawn[0]->slot);
    Chart1->resetView();
}

CurveView MainWindow::shownQuantity(bool ratio) const {
    return viewQuantity_ == CurveView::Intensity && ratio ? CurveView::ReferenceRatio
                                                          : viewQuantity_;
}

// In the default view (intensity, log10, x as loaded) the points are the stored log10
// intensities over the file's x values, as this chart has always drawn them.
void MainWindow::showCurve(int slot, int pair, CurvePart part, bool ratio) {
    CurveView quantity = shownQuantity(ratio);
    // With the R/Rf' switch on, the reference is kept up to date (refreshReference).
    if (quantity == CurveView::ReferenceRatio && !ratio) prepareView(store_, slot, quantity);
    Chart1->setXTitle(xTitleOf(viewAxis_));
    Chart1->setYTitle(yTitleOf(quantity, viewScale_));
    ViewPoints points = part == CurvePart::XRange ? ViewPoints::XRange : ViewPoints::All;
    ViewCurve c = viewCurve(store_, slot, quantity, viewAxis_, points, viewScale_);
    Chart1->setSeriesName(2 * pair, QString("F%1 data").arg(slot + 1));
    Chart1->setSeriesName(2 * pair + 1, QString("F%1 model").arg(slot + 1));
    Chart1->setPoints(2 * pair, c.x, c.measured);
    Chart1->setPoints(2 * pair + 1, c.x, c.calculated);
    if (c.errorLow.empty())
        Chart1->clearErrorBars(2 * pair);
    else
        Chart1->setErrorBars(2 * pair, c.x, c.errorLow, c.errorHigh);
    drawn_[pair] = DrawnCurve{slot, part, ratio, false};
    showResiduals(pair, c.x, c.residual);
}

// "Rdata/Fit" of a slot in the first series; its residuals are those of every point.
void MainWindow::showDataFitRatio(int slot) {
    ViewCurve c = dataFitRatioView(store_.dataSet(slot), viewAxis_, viewScale_);
    Chart1->setPoints(0, c.x, c.measured);
    Chart1->setXTitle(xTitleOf(viewAxis_));
    Chart1->setYTitle(viewScale_ == YScale::Log10 ? RATIO_TO_FIT_TITLE
                                                  : QStringLiteral("Rdata / Fit"));
    drawn_[0] = DrawnCurve{slot, CurvePart::Whole, false, true};
    ViewCurve all =
        viewCurve(store_, slot, CurveView::Intensity, viewAxis_, ViewPoints::All, viewScale_);
    showResiduals(0, all.x, all.residual);
}

void MainWindow::showResiduals(int pair, const std::vector<double>& x,
                               const std::vector<double>& residual) {
    ChartResidual->setPoints(pair, x, residual);
    alignResidualAxis();
}

// A series of Chart1 cleared: its pair shows nothing to draw again, and no residuals.
void MainWindow::forgetDrawnPair(int series) {
    int pair = series / 2;
    if (pair >= MAX_SLOTS) return;
    drawn_[pair].reset();
    ChartResidual->clearSeries(pair);
    alignResidualAxis();
}

// The residual panel's x range is Chart1's, and its zero line spans it while there are
// residuals to compare with it.
void MainWindow::alignResidualAxis() {
    QRectF range = Chart1->viewRange();
    ChartResidual->holdXRange(range.left(), range.right());
    bool any = false;
    for (int pair = 0; pair < MAX_SLOTS; ++pair) any = any || ChartResidual->pointCount(pair) > 0;
    if (any)
        ChartResidual->setPoints(RESIDUAL_ZERO_LINE, {range.left(), range.right()}, {0.0, 0.0});
    else
        ChartResidual->clearSeries(RESIDUAL_ZERO_LINE);
}

}  // namespace tolvi::ui
