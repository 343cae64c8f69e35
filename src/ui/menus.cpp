// The window's menu bar and its remembered layout. Each menu action calls the handler of the
// button it stands for, so that a menu and a button can never do different things.
#include <QAction>
#include <QCheckBox>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSplitter>
#include <QTabWidget>

#include "ui/main_window.h"

namespace tolvi::ui {

namespace {

// One action standing for a button: its object name, caption, handler and shortcut, and whether
// it changes the model or reads files into it (modelActions_).
struct MenuEntry {
    const char* name;
    const char* caption;
    void (MainWindow::*handler)();
    QKeySequence shortcut;
    bool model;
};

// The user's settings of the window (also where the tests put theirs).
QSettings layoutSettings() {
    return QSettings(QStringLiteral("Tolvi"), QStringLiteral("Tolvi"));
}

QString splitterKey(const QSplitter* splitter) {
    return QStringLiteral("layout/splitter/") + splitter->objectName();
}

constexpr const char* GEOMETRY_KEY = "layout/geometry";

}  // namespace

void MainWindow::buildMenus() {
    const QKeySequence none;
    auto add = [this](QMenu* menu, const MenuEntry& entry) {
        QAction* action = menu->addAction(entry.caption);
        action->setObjectName(entry.name);
        action->setShortcut(entry.shortcut);
        connect(action, &QAction::triggered, this, entry.handler);
        if (entry.model) modelActions_.append(action);
        return action;
    };
    auto addAll = [&](QMenu* menu, std::initializer_list<MenuEntry> entries) {
        for (const MenuEntry& entry : entries) add(menu, entry);
    };

    QMenu* file = menuBar()->addMenu("&File");
    file->setObjectName("menuFile");
    addAll(file, {{"actionLoadParam", "Load Param", &MainWindow::Button1Click,
                   QKeySequence(Qt::CTRL | Qt::Key_O), true},
                  {"actionTemplate", "Template", &MainWindow::Button2Click, none, true},
                  {"actionSaveParam", "Save Param", &MainWindow::Button3Click,
                   QKeySequence(Qt::CTRL | Qt::Key_S), false}});
    file->addSeparator();
    addAll(file,
           {{"actionOpenProject", "Open project…", &MainWindow::OpenProjectClick, none, true},
            {"actionSaveProject", "Save project…", &MainWindow::SaveProjectClick, none, false}});
    // Its entries come from the user's settings (recent_files.cpp); it reads files into the model.
    recentMenu_ = file->addMenu("Recent files");
    recentMenu_->setObjectName("menuRecent");
    modelActions_.append(recentMenu_->menuAction());
    file->addSeparator();
    addAll(file, {{"actionSaveDataFit", "Save data/fit", &MainWindow::Button7Click, none, false},
                  {"actionSaveData", "Save data", &MainWindow::Button8Click, none, false},
                  {"actionSaveFit", "Save Fit", &MainWindow::Button15Click, none, false},
                  {"actionSaveProfiles", "Save Profiles", &MainWindow::Button14Click, none, false},
                  {"actionSaveOrt", "Save .ort…", &MainWindow::SaveOrtClick, none, false}});
    file->addSeparator();
    addAll(file,
           {{"actionPrintGraph", "Print Graph", &MainWindow::Button13Click, none, false},
            {"actionPrintProfiles", "Print Profiles", &MainWindow::Button16Click, none, false}});
    file->addSeparator();
    QAction* quit = file->addAction("Quit");
    quit->setObjectName("actionQuit");
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, &QWidget::close);

    QMenu* edit = menuBar()->addMenu("&Edit");
    edit->setObjectName("menuEdit");
    undoAction_ = add(edit, {"actionUndo", "Undo", &MainWindow::UndoClick,
                             QKeySequence(Qt::CTRL | Qt::Key_Z), false});
    redoAction_ = add(edit, {"actionRedo", "Redo", &MainWindow::RedoClick,
                             QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), false});
    showUndoActions();
    edit->addSeparator();
    addAll(edit,
           {{"actionDataSettings", "Data settings…", &MainWindow::DataSettingsClick, none, true},
            {"actionClearPlot", "Clear Plot", &MainWindow::Button11Click, none, true},
            {"actionAllClear", "All Clear", &MainWindow::Button5Click, none, true}});

    QMenu* view = menuBar()->addMenu("&View");
    view->setObjectName("menuView");
    addAll(view, {{"actionPlot", "Plot", &MainWindow::Button6Click, QKeySequence(Qt::Key_F5), true},
                  {"actionPlotAll", "Plot All", &MainWindow::Button10Click, none, true},
                  {"actionRdataFit", "Rdata/Fit", &MainWindow::Button17Click, none, true}});
    // R/Rf' acts through the box itself, so that the action is a click on it; the box's state,
    // however it changes (a click, a project opened), is the action's.
    QAction* ratio = view->addAction("R/Rf'");
    ratio->setObjectName("actionRRf");
    ratio->setCheckable(true);
    ratio->setChecked(CheckBox1->isChecked());
    connect(ratio, &QAction::triggered, this, [this, ratio] {
        CheckBox1->click();
        // A disabled box takes no click: the action stays as the box is.
        ratio->setChecked(CheckBox1->isChecked());
    });
    connect(CheckBox1, &QCheckBox::toggled, ratio, &QAction::setChecked);
    modelActions_.append(ratio);
    view->addSeparator();
    buildViewActions(view);
    struct PageEntry {
        const char* name;
        const char* caption;
        QTabWidget* tabs;
        QWidget* page;
    };
    const std::array<PageEntry, 4> pages = {
        {{"actionShowModelChart", "Model Fit: chart and settings", Plot, TabSheet2},
         {"actionShowFourier", "Fourier", Plot, TabSheet7},
         {"actionShowModelTables", "Model Fit: tables and fit", PageControl3, TabSheet3},
         {"actionShowUtilities", "Fit info and utilities", PageControl3, TabSheet1}}};
    for (const PageEntry& p : pages) {
        QAction* action = view->addAction(p.caption);
        action->setObjectName(p.name);
        connect(action, &QAction::triggered, p.tabs,
                [tabs = p.tabs, page = p.page] { tabs->setCurrentWidget(page); });
    }

    QMenu* fit = menuBar()->addMenu("F&it");
    fit->setObjectName("menuFit");
    addAll(fit, {{"actionFit", "Fit", &MainWindow::Button4Click, QKeySequence(Qt::Key_F9), true},
                 {"actionMultiFit", "Multi Fit", &MainWindow::Button12Click, none, true},
                 {"actionRecov", "Recov", &MainWindow::Button9Click, none, true},
                 {"actionSample", "Sample…", &MainWindow::SampleClick, none, true}});
    fit->addSeparator();
    cancelAction_ = add(fit, {"actionCancel", "Cancel", &MainWindow::CancelClick,
                              QKeySequence(Qt::Key_Escape), false});
    // Only a running fit has something to cancel.
    cancelAction_->setEnabled(false);

    QMenu* help = menuBar()->addMenu("&Help");
    help->setObjectName("menuHelp");
    QAction* about = help->addAction("About Tolvi…");
    about->setObjectName("actionAbout");
    connect(about, &QAction::triggered, this, [this] {
        guarded([this] {
            services_.aboutBox->show(
                "About Tolvi",
                QStringLiteral("Tolvi %1\n\n"
                               "X-ray and neutron reflectivity of thin films and multilayers: "
                               "simulation, fits, density profiles and film thicknesses by "
                               "Fourier analysis.\n\nBuilt with Qt %2.")
                    .arg(TOLVI_VERSION, QT_VERSION_STR));
        });
    });
}

void MainWindow::saveLayout() {
    QSettings settings = layoutSettings();
    settings.setValue(GEOMETRY_KEY, saveGeometry());
    for (const QSplitter* splitter : findChildren<QSplitter*>())
        settings.setValue(splitterKey(splitter), splitter->saveState());
}

// What the last window saved; without it (a first start) the window keeps the sizes it was built
// with. A state that does not fit (saved by a window with other splitters) is ignored by Qt.
void MainWindow::restoreLayout() {
    QSettings settings = layoutSettings();
    QByteArray geometry = settings.value(GEOMETRY_KEY).toByteArray();
    if (!geometry.isEmpty()) restoreGeometry(geometry);
    for (QSplitter* splitter : findChildren<QSplitter*>()) {
        QByteArray state = settings.value(splitterKey(splitter)).toByteArray();
        if (!state.isEmpty()) splitter->restoreState(state);
    }
}

}  // namespace tolvi::ui
