// Construction of the window: its two tab controls and their pages, laid out in code so that
// tables and charts take up what the window gains when it grows.
#include <QAbstractAxis>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "fit/ensemble_sampler.h"
#include "fit/fit_runs.h"
#include "fourier/fourier_workspace.h"
#include "ui/chart_view.h"
#include "ui/main_window.h"
#include "ui/undo_history.h"

namespace tolvi::ui {

namespace {

// Sizes of the window and of its two tab controls at that size.
constexpr int WINDOW_WIDTH = 1205;
constexpr int WINDOW_HEIGHT = 754;
constexpr int UPPER_HEIGHT = 449;
constexpr int LOWER_HEIGHT = 257;
// The residual panel's share of the chart column: a quarter, in the splitter's units.
constexpr int RESIDUAL_HEIGHT = 100;
// Widths of the panels of controls beside the reflectivity chart and beside the tables, unless
// their controls need more.
constexpr int MODEL_PANEL_WIDTH = 372;
constexpr int SLOT_PANEL_WIDTH = 210;
// Margins of a page in its tab control, narrow above and below: the default window holds the
// menu bar and both pages at their full height with little to spare.
constexpr QMargins PAGE_MARGINS(4, 2, 4, 2);

QColor rgb(int r, int g, int b) {
    return QColor(r, g, b);
}

ChartDesign reflectivityDesign() {
    const QColor black = Qt::black, aqua = rgb(0, 255, 255);
    return {"Chart1",
            "Reflected Intensity",
            AS_LOADED_X_TITLE,
            INTENSITY_TITLE,
            false,
            std::nullopt,
            {{"Series1", black, "F1 data"},
             {"Series2", rgb(255, 0, 128), "F1 model"},
             {"Series3", rgb(0, 64, 64), "F2 data"},
             {"Series4", aqua, "F2 model"},
             {"Series5", black, "F3 data"},
             {"Series6", rgb(0, 255, 128), "F3 model"},
             {"Series7", rgb(64, 0, 0), "F4 data"},
             {"Series8", rgb(255, 128, 0), "F4 model"},
             {"Series9", black, "F5 data"},
             {"Series10", aqua, "F5 model"},
             {"Series11", black, "F6 data"},
             {"Series12", rgb(255, 128, 128), "F6 model"}}};
}

// Under the reflectivity chart: each slot's residuals in the colour of its model curve (Chart1's
// legend names them), then the zero line.
ChartDesign residualDesign() {
    ChartDesign design{"ChartResidual", "", "", "Residual", false, std::nullopt, {}};
    const ChartDesign reflectivity = reflectivityDesign();
    for (int slot = 0; slot < MAX_SLOTS; ++slot)
        design.series.push_back(
            {QString("Residual%1").arg(slot + 1), reflectivity.series[2 * slot + 1].colour});
    design.series.push_back({"ResidualZero", QColor(128, 128, 128)});
    // Qt Charts gives each label of a left axis its share of the axis' height, less padding, and
    // elides a label taller than that: a quarter of the chart's height has room for three labels
    // in a smaller font (fitResidualLabels).
    design.maxYIntervals = 2;
    return design;
}

// The residual panel's left-axis labels in a smaller font. Without a title above them or labels
// below, those at the ends of the axis reach half their height beyond the plot area: the chart
// leaves them room.
void fitResidualLabels(ChartView* residual) {
    QAbstractAxis* axis = residual->chart()->axes(Qt::Vertical).front();
    QFont labels = axis->labelsFont();
    labels.setPointSizeF(labels.pointSizeF() * 0.8);
    axis->setLabelsFont(labels);
    QMargins m = residual->chart()->margins();
    int half = QFontMetrics(labels).height() / 2 + 1;
    residual->chart()->setMargins(QMargins(m.left(), m.top() + half, m.right(), m.bottom() + half));
}

QHBoxLayout* row(std::initializer_list<QWidget*> widgets) {
    auto* layout = new QHBoxLayout;
    layout->setSpacing(4);
    for (QWidget* w : widgets) layout->addWidget(w);
    return layout;
}

QLabel* makeLabel(const QString& text, QWidget* parent) {
    return new QLabel(text, parent);
}

void setColumnWidths(QTableWidget* table, std::initializer_list<int> widths) {
    int c = 0;
    for (int w : widths) table->setColumnWidth(c++, w);
}

// A panel of controls beside a chart or tables keeps its width when the window grows, but is
// never narrower than its controls need (a larger font, another style): none of them is cut off.
void keepWidth(QWidget* panel, int width) {
    panel->setFixedWidth(std::max(width, panel->minimumSizeHint().width()));
}

}  // namespace

MainWindow::MainWindow(ModelStore& store, Services services, std::string programDir,
                       QWidget* parent)
    : QMainWindow(parent),
      store_(store),
      services_(std::move(services)),
      programDir_(std::move(programDir)),
      fitState_(std::make_unique<FitState>()),
      genetic_(std::make_unique<GeneticState>()),
      fourier_(std::make_unique<FourierWorkspace>()) {
    fitState_->progress = {&MainWindow::fitProgress, this};
    if (!services_.dialogs) services_.dialogs = realFileDialogs();
    if (!services_.errorBox) services_.errorBox = realErrorBox();
    if (!services_.printer) services_.printer = defaultPrinter();
    if (!services_.dataSettings) services_.dataSettings = realDataSettingsDialog();
    if (!services_.aboutBox) services_.aboutBox = realAboutBox();
    if (!services_.sampleDialog) services_.sampleDialog = realSampleDialog();
    buildWindow();
    buildRunControls();
    // Every control is in its panel now (buildRunControls adds to the fit's): the panels' widths.
    keepWidth(findChild<QWidget*>("ModelPanel"), MODEL_PANEL_WIDTH);
    keepWidth(findChild<QWidget*>("SlotPanel"), SLOT_PANEL_WIDTH);
    connectHandlers();
    setStartupState();
    buildMenus();
    setToolTips();
    restoreLayout();
    setUpFiles();
    setUpHistory();
}

MainWindow::~MainWindow() = default;

void MainWindow::guarded(const std::function<void()>& work) noexcept {
    // Reached from the events a running fit lets through (a posted click, a timer): the fit
    // holds the model, and the action would start in the middle of it.
    if (fitRunning_) return;
    try {
        work();
    } catch (const std::exception& e) {
        // Usually a NumberError: a field or cell that is no number, or a calculation fault.
        services_.errorBox->show(qText(e.what()));
    } catch (...) {
        services_.errorBox->show(QStringLiteral("An unknown error ended the action."));
    }
    // The state the action left (a failed one included) is a step of the history.
    recordStep();
}

void MainWindow::buildWindow() {
    setObjectName("Form1");
    setWindowTitle("Tolvi v.4     2018");
    resize(WINDOW_WIDTH, WINDOW_HEIGHT);

    // The grey fields are displays: status lines, counts and results.
    struct FieldLayout {
        QLineEdit* MainWindow::*field;
        const char* name;
        bool grey;
    };
    const std::array<FieldLayout, 24> fields = {{
        {&MainWindow::Edit1, "Edit1", false},   {&MainWindow::Edit2, "Edit2", false},
        {&MainWindow::Edit3, "Edit3", false},   {&MainWindow::Edit4, "Edit4", true},
        {&MainWindow::Edit5, "Edit5", true},    {&MainWindow::Edit6, "Edit6", true},
        {&MainWindow::Edit7, "Edit7", true},    {&MainWindow::Edit8, "Edit8", true},
        {&MainWindow::Edit9, "Edit9", false},   {&MainWindow::Edit10, "Edit10", false},
        {&MainWindow::Edit11, "Edit11", false}, {&MainWindow::Edit12, "Edit12", false},
        {&MainWindow::Edit13, "Edit13", false}, {&MainWindow::Edit14, "Edit14", true},
        {&MainWindow::Edit15, "Edit15", false}, {&MainWindow::Edit16, "Edit16", false},
        {&MainWindow::Edit17, "Edit17", true},  {&MainWindow::Edit18, "Edit18", true},
        {&MainWindow::Edit19, "Edit19", false}, {&MainWindow::Edit20, "Edit20", false},
        {&MainWindow::Edit21, "Edit21", false}, {&MainWindow::Edit22, "Edit22", false},
        {&MainWindow::Edit23, "Edit23", false}, {&MainWindow::Edit24, "Edit24", false},
    }};
    for (const FieldLayout& f : fields) this->*f.field = makeField(f.name, f.grey, this);

    Plot = new QTabWidget;
    Plot->setObjectName("Plot");
    TabSheet2 = buildUpperModelPage();
    TabSheet7 = buildFourierPage();
    Plot->addTab(TabSheet2, "Model Fit");
    Plot->addTab(TabSheet7, "Fourier");

    PageControl3 = new QTabWidget;
    PageControl3->setObjectName("PageControl3");
    TabSheet3 = buildLowerModelPage();
    TabSheet1 = buildUtilitiesPage();
    PageControl3->addTab(TabSheet3, "Model Fit");
    PageControl3->addTab(TabSheet1, "Fit info and utilities");

    // A splitter keeps the two tab controls' proportions when the window grows and lets the user
    // give the tables or the charts more room.
    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->setObjectName("PageSplitter");
    splitter->addWidget(Plot);
    splitter->addWidget(PageControl3);
    splitter->setStretchFactor(0, UPPER_HEIGHT);
    splitter->setStretchFactor(1, LOWER_HEIGHT);
    splitter->setSizes({UPPER_HEIGHT, LOWER_HEIGHT});
    splitter->setChildrenCollapsible(false);

    // The menu bar already separates the pages from the window's top edge.
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 0, 6, 2);
    layout->addWidget(splitter);
    // A window made smaller than the pages need (a small screen) scrolls them rather than cut
    // off their lower part; at its default size and above they fill it.
    auto* scroll = new QScrollArea;
    scroll->setObjectName("PageScroll");
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(central);
    setCentralWidget(scroll);
}

QWidget* MainWindow::buildUpperModelPage() {
    auto* page = new QWidget;
    page->setObjectName("TabSheet2");
    Chart1 = new ChartView(reflectivityDesign(), page);
    ChartResidual = new ChartView(residualDesign(), page);
    fitResidualLabels(ChartResidual);
    // The residual panel under the chart, about a quarter of the height; the user may give either
    // more room.
    auto* charts = new QSplitter(Qt::Vertical, page);
    charts->setObjectName("ChartSplitter");
    charts->addWidget(Chart1);
    charts->addWidget(ChartResidual);
    charts->setStretchFactor(0, 3);
    charts->setStretchFactor(1, 1);
    charts->setSizes({3 * RESIDUAL_HEIGHT, RESIDUAL_HEIGHT});
    charts->setChildrenCollapsible(false);

    // The tool bar of the chart's views (filled with the View menu) beside the status line.
    viewToolBar_ = new QToolBar("Chart view", page);
    viewToolBar_->setObjectName("viewToolBar");
    viewToolBar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    viewToolBar_->setMovable(false);
    viewToolBar_->setFloatable(false);
    viewToolBar_->setContentsMargins(0, 0, 0, 0);

    // The status line under the chart, so that the panel beside them has the page's full height.
    Edit4->setPlaceholderText("status");
    QHBoxLayout* status = row({Edit4, viewToolBar_});
    status->setStretch(0, 1);
    auto* chart = new QVBoxLayout;
    chart->setSpacing(4);
    chart->addWidget(charts, 1);
    chart->addLayout(status);

    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(PAGE_MARGINS);
    layout->setSpacing(4);
    layout->addLayout(chart, 1);
    layout->addWidget(buildModelPanel(page));
    return page;
}

// Beside the reflectivity chart: the file and project buttons and paths, the settings of the
// current data set with its counts, the slot buttons, and at the bottom the x range and the ambient
// medium.
QWidget* MainWindow::buildModelPanel(QWidget* page) {
    auto* panel = new QWidget(page);
    panel->setObjectName("ModelPanel");
    Button1 = makeButton("Button1", "Load Param", panel);
    Button2 = makeButton("Button2", "Template", panel);
    Button3 = makeButton("Button3", "Save Param", panel);
    openProject_ = makeButton("OpenProject", "Open project", panel);
    openProject_->setToolTip(
        "Opens a whole workspace: its data sets with their models, data and settings, the "
        "fronting medium and the fit's settings");
    saveProject_ = makeButton("SaveProject", "Save project", panel);
    saveProject_->setToolTip(
        "Saves the whole workspace in one file (.tolvi), the tables as they stand");
    Edit1->setPlaceholderText("parameter file");
    Edit3->setPlaceholderText("data file");
    Edit2->setPlaceholderText("last saved file");
    Button10 = makeButton("Button10", "Plot All", panel);
    Button5 = makeButton("Button5", "All Clear", panel);
    Button11 = makeButton("Button11", "Clear Plot", panel);
    Button12 = makeButton("Button12", "Multi Fit", panel);

    auto* bottomRow = new QHBoxLayout;
    bottomRow->addLayout(buildRangeFields(panel));
    bottomRow->addStretch(1);
    bottomRow->addWidget(buildAmbientBox(panel));

    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addLayout(row({Button1, Button2, Button3}));
    layout->addWidget(Edit1);
    layout->addWidget(Edit3);
    // The last saved file (a parameter file or a project) beside the project buttons.
    QHBoxLayout* projectRow = row({openProject_, saveProject_, Edit2});
    projectRow->setStretch(2, 1);
    layout->addLayout(projectRow);
    layout->addLayout(buildSettingsRow(panel));
    layout->addLayout(row({Button10, Button5, Button11, Button12}));
    layout->addStretch(1);
    layout->addLayout(bottomRow);
    return panel;
}

// The settings table with, beside it, the four counts and, under both, the summary of the data
// settings.
QLayout* MainWindow::buildSettingsRow(QWidget* panel) {
    StringGrid3 =
        makeTable("StringGrid3", SETTINGS_ROWS, SETTINGS_COLUMNS, SETTINGS_COLUMNS, panel);
    StringGrid3->horizontalHeader()->setVisible(false);
    StringGrid3->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid3->setColumnWidth(0, 122);
    StringGrid3->horizontalHeader()->setStretchLastSection(true);
    StringGrid3->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid3->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid3->setFixedHeight(SETTINGS_ROWS * 19 + 4);
    settingsCells_ = GridCells(StringGrid3, false);

    auto* counts = new QGridLayout;
    counts->setVerticalSpacing(2);
    const std::array<std::pair<const char*, QLineEdit*>, 4> countFields = {
        {{"SLAY", Edit5}, {"GLAY", Edit6}, {"LayAll", Edit7}, {"Params", Edit8}}};
    for (int i = 0; i < static_cast<int>(countFields.size()); ++i) {
        auto [label, field] = countFields[i];
        counts->addWidget(makeLabel(label, panel), i, 0);
        field->setFixedWidth(56);
        counts->addWidget(field, i, 1);
    }
    counts->setRowStretch(4, 1);
    auto* settingsRow = new QHBoxLayout;
    settingsRow->addWidget(StringGrid3, 1);
    settingsRow->addLayout(counts);
    auto* settings = new QVBoxLayout;
    settings->setSpacing(2);
    settings->addLayout(settingsRow);
    settings->addWidget(buildDataSettingsSummary(panel));
    return settings;
}

// The two fields sit under the one label, "xmin" over the first and "xmax" over the second.
QLayout* MainWindow::buildRangeFields(QWidget* panel) {
    auto* range = new QGridLayout;
    range->setSpacing(4);
    range->addWidget(makeLabel("xmin           xmax", panel), 0, 0, 1, 2);
    Edit23->setFixedWidth(60);
    Edit24->setFixedWidth(60);
    range->addWidget(Edit23, 1, 0);
    range->addWidget(Edit24, 1, 1);
    return range;
}

QWidget* MainWindow::buildAmbientBox(QWidget* panel) {
    auto* ambient = new QGroupBox("Ambient", panel);
    auto* layout = new QGridLayout(ambient);
    layout->setContentsMargins(6, 2, 6, 4);
    layout->setHorizontalSpacing(4);
    layout->setVerticalSpacing(2);
    Button23 = makeButton("Button23", "Set", ambient);
    Edit21->setFixedWidth(64);
    Edit22->setFixedWidth(64);
    ambientLabels_ = {makeLabel("δ", ambient), makeLabel("β", ambient)};
    layout->addWidget(ambientLabels_[0], 0, 0);
    layout->addWidget(Edit21, 0, 1);
    layout->addWidget(ambientLabels_[1], 0, 2);
    layout->addWidget(Edit22, 0, 3);
    layout->addWidget(Button23, 0, 4);
    layout->addWidget(buildAmbientKind(ambient), 1, 0, 1, 5);
    return ambient;
}

QWidget* MainWindow::buildLowerModelPage() {
    auto* page = new QWidget;
    page->setObjectName("TabSheet3");

    StringGrid1 = makeTable("StringGrid1", LAYER_ROWS - 1, LAYER_COLUMNS, 3, page);
    setColumnWidths(StringGrid1, {50, 34, 52});
    // A fitted value is written "%-10.4f", trailing blanks included: its column is wide enough
    // for that text up to 123.4568 without an ellipsis. Min and max (shortest form) and the fit
    // flags are narrower.
    for (int c = 3; c < LAYER_COLUMNS; ++c) {
        int width = c % 4 == 3 ? 68 : c % 4 == 2 ? 32 : 50;
        StringGrid1->setColumnWidth(c, width);
    }
    layerGrid_ = GridCells(StringGrid1, true);

    StringGrid2 = makeTable("StringGrid2", DATA_ROWS - 1, DATA_COLUMNS, 1, page);
    StringGrid2->setColumnWidth(0, 50);
    for (int c = 1; c < DATA_COLUMNS; ++c) {
        int width = c % 4 == 1 ? 68 : c % 4 == 0 ? 32 : 60;  // value as in the layer table
        StringGrid2->setColumnWidth(c, width);
    }
    dataGrid_ = GridCells(StringGrid2, true);

    // All six rows of the data-set table stay in view: it never gets less than its heading, its
    // rows and its frame, nor narrower than its columns (a horizontal scroll bar would cover the
    // last row).
    int frame = 2 * StringGrid2->frameWidth();
    StringGrid2->setMinimumSize(StringGrid2->horizontalHeader()->length() + frame,
                                StringGrid2->horizontalHeader()->sizeHint().height() +
                                    StringGrid2->verticalHeader()->length() + frame);

    // The layer table takes what the window gains; the splitter lets the user move it.
    auto* tables = new QSplitter(Qt::Vertical, page);
    tables->setObjectName("TableSplitter");
    tables->addWidget(StringGrid1);
    tables->addWidget(StringGrid2);
    tables->setStretchFactor(0, 1);
    tables->setStretchFactor(1, 0);
    tables->setSizes({130, StringGrid2->minimumHeight()});
    tables->setChildrenCollapsible(false);

    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(PAGE_MARGINS);
    layout->addWidget(tables, 1);
    layout->addWidget(buildSlotControls(page));
    return page;
}

// Beside the tables: the data-file selector, R/Rf' and Plot, and the fit's method, buttons and
// genetic settings.
QWidget* MainWindow::buildSlotControls(QWidget* page) {
    auto* panel = new QWidget(page);
    panel->setObjectName("SlotPanel");
    RGF = new RadioGroup("RGF", "Data File", {"F1", "F2", "F3", "F4", "F5", "F6"}, 3, panel);
    CheckBox1 = new QCheckBox("R/Rf'", panel);
    CheckBox1->setObjectName("CheckBox1");
    Button6 = makeButton("Button6", "Plot", panel);
    RGM = new RadioGroup("RGM", "Method", {"LM", "GA"}, 2, panel);
    Button4 = makeButton("Button4", "Fit", panel);
    Button9 = makeButton("Button9", "Recov", panel);
    Edit19->setFixedWidth(56);
    Edit20->setFixedWidth(56);

    auto* gaFields = new QGridLayout;
    gaFields->setSpacing(2);
    gaFields->addWidget(makeLabel("GA popul <100", panel), 0, 0);
    gaFields->addWidget(makeLabel("max_gene", panel), 0, 1);
    gaFields->addWidget(Edit19, 1, 0);
    gaFields->addWidget(Edit20, 1, 1);

    auto* layout = new QGridLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(RGF, 0, 0, 1, 2);
    layout->addWidget(CheckBox1, 1, 0);
    layout->addWidget(Button6, 1, 1);
    layout->addWidget(RGM, 2, 0, 2, 1);
    layout->addWidget(Button4, 2, 1);
    layout->addWidget(Button9, 3, 1);
    layout->addLayout(gaFields, 4, 0, 1, 2);
    layout->addWidget(buildDataOptions(panel), 5, 0, 1, 2);
    layout->setRowStretch(6, 1);
    return panel;
}

QWidget* MainWindow::buildUtilitiesPage() {
    auto* page = new QWidget;
    page->setObjectName("TabSheet1");

    Memo1 = new QPlainTextEdit(page);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setFixedWidth(300);

    Chart2 = new ChartView({"Chart2",
                            "",
                            "Z (Å)",
                            "Profile (g/cm3)",
                            false,
                            std::nullopt,
                            {{"Series13", Qt::red, "Density"}}},
                           page);
    // The genetic search's cost never falls below zero; the axis starts there so that the
    // history's approach to its floor stays visible.
    Chart6 = new ChartView({"Chart6",
                            "",
                            "Generation",
                            "L1_norm",
                            false,
                            0.0,
                            {{"Series22", Qt::red, "Best L1 norm"}}},
                           page);

    struct ButtonLayout {
        QPushButton* MainWindow::*button;
        const char* name;
        const char* caption;
    };
    const std::array<ButtonLayout, 8> buttons = {
        {{&MainWindow::Button17, "Button17", "Rdata/Fit"},
         {&MainWindow::Button13, "Button13", "Print Graph"},
         {&MainWindow::Button16, "Button16", "Print Profiles"},
         {&MainWindow::Button7, "Button7", "Save data/fit"},
         {&MainWindow::Button8, "Button8", "Save data"},
         {&MainWindow::Button15, "Button15", "Save Fit"},
         {&MainWindow::Button14, "Button14", "Save Profiles"},
         {&MainWindow::Button18, "Button18", "Reserve"}}};
    // Three columns of buttons (printing, then the exports) leave room below them for the
    // material group.
    constexpr int BUTTON_ROWS = 3;
    auto* grid = new QGridLayout;
    grid->setSpacing(4);
    for (int i = 0; i < static_cast<int>(buttons.size()); ++i) {
        const ButtonLayout& b = buttons[i];
        this->*b.button = makeButton(b.name, b.caption, page);
        grid->addWidget(this->*b.button, i % BUTTON_ROWS, i / BUTTON_ROWS);
    }
    grid->addWidget(buildMaterialGroup(page), BUTTON_ROWS, 0, 1, 3);
    sldProfile_ = new QCheckBox("SLD profile", page);
    sldProfile_->setObjectName("SldProfile");
    grid->addWidget(sldProfile_, BUTTON_ROWS + 1, 0, 1, 3);
    grid->setRowStretch(BUTTON_ROWS + 2, 1);

    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(PAGE_MARGINS);
    layout->addWidget(Memo1);
    layout->addWidget(Chart2, 3);
    layout->addWidget(Chart6, 2);
    layout->addLayout(grid);
    return page;
}

void MainWindow::connectHandlers() {
    const std::array<std::pair<QPushButton*, void (MainWindow::*)()>, 23> buttons = {{
        {Button1, &MainWindow::Button1Click},   {Button2, &MainWindow::Button2Click},
        {Button3, &MainWindow::Button3Click},   {Button4, &MainWindow::Button4Click},
        {Button5, &MainWindow::Button5Click},   {Button6, &MainWindow::Button6Click},
        {Button7, &MainWindow::Button7Click},   {Button8, &MainWindow::Button8Click},
        {Button9, &MainWindow::Button9Click},   {Button10, &MainWindow::Button10Click},
        {Button11, &MainWindow::Button11Click}, {Button12, &MainWindow::Button12Click},
        {Button13, &MainWindow::Button13Click}, {Button14, &MainWindow::Button14Click},
        {Button15, &MainWindow::Button15Click}, {Button16, &MainWindow::Button16Click},
        {Button17, &MainWindow::Button17Click}, {Button18, &MainWindow::Button18Click},
        {Button19, &MainWindow::Button19Click}, {Button20, &MainWindow::Button20Click},
        {Button21, &MainWindow::Button21Click}, {Button22, &MainWindow::Button22Click},
        {Button23, &MainWindow::Button23Click},
    }};
    for (auto [button, handler] : buttons) connect(button, &QPushButton::clicked, this, handler);

    const std::array<std::pair<RadioGroup*, void (MainWindow::*)()>, 7> groups = {{
        {RGF, &MainWindow::RGFClick},
        {RG0, &MainWindow::RG0Click},
        {RG1, &MainWindow::RG1Click},
        {RG2, &MainWindow::RG2Click},
        {RG3, &MainWindow::RG3Click},
        {RG4, &MainWindow::RG4Click},
        {RG5, &MainWindow::RG5Click},
    }};
    for (auto [group, handler] : groups) connect(group, &RadioGroup::clicked, this, handler);
    // RGM has no handler: the fit reads its item when it starts.
    connect(CheckBox1, &QCheckBox::clicked, this, &MainWindow::CheckBox1Click);
    connect(openProject_, &QPushButton::clicked, this, &MainWindow::OpenProjectClick);
    connect(saveProject_, &QPushButton::clicked, this, &MainWindow::SaveProjectClick);
    connect(materialSave_, &QPushButton::clicked, this, &MainWindow::MaterialSaveClick);
    connectDataOptions();
}

void MainWindow::setStartupState() {
    const std::array<std::pair<QLineEdit*, const char*>, 7> texts = {{{Edit10, "1.54"},
                                                                      {Edit15, "1000"},
                                                                      {Edit16, "200"},
                                                                      {Edit19, "15"},
                                                                      {Edit20, "200"},
                                                                      {Edit21, "0."},
                                                                      {Edit22, "0."}}};
    for (auto [field, text] : texts) field->setText(text);

    const std::array<std::pair<RadioGroup*, int>, 8> items = {
        {{RG0, 0}, {RG1, 1}, {RG2, 0}, {RG3, 0}, {RG4, 1}, {RG5, 1}, {RGF, 0}, {RGM, 1}}};
    for (auto [group, index] : items) group->setItemIndex(index);
    CheckBox1->setChecked(false);
    Memo1->clear();

    initLayerTable(layerCells_);
    initDataTable(dataCells_);
    initSettingsTable(settingsCells_);

    store_.nfile = 0;
    store_.curfile = 0;
    store_.ambient = {};
    store_.ambientSld = {};
    store_.rRfMode = false;
    showDataSettings();
}

}  // namespace tolvi::ui
