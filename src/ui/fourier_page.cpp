// The Fourier page: one measured curve analysed on its own, with its settings on the left and
// the reflection, fringe and thickness charts beside them.
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/chart_view.h"
#include "ui/main_window.h"

namespace tolvi::ui {

namespace {

// A label over its field, the way the page's numbers are captioned.
QVBoxLayout* captioned(const QString& caption, QLineEdit* field, QWidget* parent) {
    auto* box = new QVBoxLayout;
    box->setSpacing(1);
    box->addWidget(new QLabel(caption, parent));
    box->addWidget(field);
    return box;
}

}  // namespace

QWidget* MainWindow::buildFourierPage() {
    auto* page = new QWidget;
    page->setObjectName("TabSheet7");

    // The reflection chart shows linear intensities over many decades: the one logarithmic axis.
    Chart3 = new ChartView(
        {"Chart3",
         "Reflection",
         "q (1/Å)",
         "I",
         true,
         std::nullopt,
         {{"Series14", Qt::red, "Data"}, {"Series17", QColor(0, 128, 0), "Edge fit"}}},
        page);
    Chart4 = new ChartView(
        {"Chart4", "Fringe", "q (1/Å)", "", false, std::nullopt, {{"Series15", Qt::red, "Fringe"}}},
        page);
    Chart5 = new ChartView({"Chart5",
                            "Thickness",
                            "d (Å)",
                            "",
                            false,
                            std::nullopt,
                            {{"Series16", Qt::black, "DFT"},
                             {"Series18", QColor(128, 0, 255), "MH c=0.4 d_max"},
                             {"Series19", QColor(0, 255, 0), "MH c=0.6 d_max"},
                             {"Series20", QColor(255, 128, 0), "MH c=0.8 d_max"},
                             {"Series21", Qt::red, "MH c=d_max"}}},
                           page);

    auto* top = new QHBoxLayout;
    top->addWidget(buildFourierControls(page));
    top->addWidget(Chart3, 1);
    top->addWidget(Chart4, 1);
    top->addWidget(Chart5, 1);

    Edit14->setPlaceholderText("status");
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addLayout(top, 1);
    layout->addWidget(Edit14);
    return page;
}

// The curve's buttons and file, its axes, the q window and critical edge, the transform's
// settings and the results of the critical-edge fit.
QWidget* MainWindow::buildFourierControls(QWidget* page) {
    auto* controls = new QWidget(page);
    controls->setFixedWidth(400);
    Button19 = makeButton("Button19", "Template data", controls);
    Button20 = makeButton("Button20", "Load data", controls);
    Button21 = makeButton("Button21", "FT", controls);
    Button22 = makeButton("Button22", "Save FT", controls);
    Edit9->setPlaceholderText("curve file");

    RG1 = new RadioGroup("RG1", "Data_X_axis", {"θ", "2θ", "q"}, 3, controls);
    RG0 = new RadioGroup("RG0", "Data_Y", {"Linear", "Log"}, 2, controls);
    RG3 = new RadioGroup("RG3", " q_area", {"Auto", "Manual"}, 2, controls);
    RG4 = new RadioGroup("RG4", " q_critical", {"Fit", "Manual"}, 2, controls);
    RG5 = new RadioGroup("RG5", "Fringe", {"R*Q^4", "(R-RF)*Q^4"}, 2, controls);
    RG2 = new RadioGroup("RG2", "Transform", {"DFT", "Wavelet MH"}, 2, controls);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(3);
    grid->addWidget(Button19, 0, 0);
    grid->addWidget(Button20, 0, 1);
    grid->addWidget(Button21, 0, 2);
    grid->addWidget(Button22, 0, 3);
    grid->addWidget(Edit9, 1, 0, 1, 4);
    grid->addWidget(RG1, 2, 0, 1, 2);
    grid->addWidget(RG0, 2, 2, 1, 2);
    grid->addLayout(captioned("λ(Å)", Edit10, controls), 3, 0);
    grid->addLayout(captioned("d_max (A)", Edit15, controls), 3, 1);
    grid->addLayout(captioned("Bin_No", Edit16, controls), 3, 2);
    grid->addWidget(RG3, 4, 0, 1, 2);
    grid->addLayout(captioned("q_min(1/Å)", Edit11, controls), 4, 2);
    grid->addLayout(captioned("q_max(1/Å)", Edit12, controls), 4, 3);
    grid->addWidget(RG4, 5, 0, 1, 2);
    grid->addLayout(captioned("q_critical", Edit13, controls), 5, 2);
    grid->addWidget(RG5, 6, 0, 1, 2);
    grid->addWidget(RG2, 6, 2, 1, 2);
    grid->addLayout(captioned("dens (g)", Edit17, controls), 7, 0);
    grid->addLayout(captioned("roughness (A)", Edit18, controls), 7, 1);
    grid->setRowStretch(8, 1);
    grid->setContentsMargins(0, 0, 0, 0);
    controls->setLayout(grid);
    return controls;
}

}  // namespace tolvi::ui
