#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "actions/chart_views.h"
#include "actions/exports.h"
#include "fit/fit_runs.h"
#include "model/model_store.h"
#include "model/results_file.h"
#include "model/tables.h"
#include "ui/services.h"
#include "ui/widgets.h"

class QCheckBox;
class QDialog;
class QComboBox;
class QCloseEvent;
class QLabel;
class QLayout;
class QLineEdit;
class QAbstractItemView;
class QAction;
class QActionGroup;
class QMenu;
class QToolBar;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QTabWidget;
class QTableWidget;

namespace tolvi {
struct EnsembleChain;
struct FitState;
struct ProfileBand;
struct FourierWorkspace;
struct GeneticState;
}  // namespace tolvi

namespace tolvi::ui {

class ChartView;
class UndoHistory;
struct WindowState;

// The one window of the program. It owns no model data: its handlers read the tables and
// fields, call the core on the store, and show the results. Besides the store it is given, it
// keeps the fit's state and the Fourier page's workspace (each made once, on the heap). Controls
// and handlers carry the names of the window's layout (StringGrid1, Edit4, Button6Click, ...),
// and every handler runs inside guarded(), so that an error ends the action in the error box
// and never reaches Qt.
class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    // programDir: where "Template" finds template/template.par (normally beside the program).
    MainWindow(ModelStore& store, Services services, std::string programDir,
               QWidget* parent = nullptr);
    ~MainWindow() override;

  public slots:
    // The correlation matrix of the last fit's results, in a window of its own.
    void CorrelationClick();

    // Model page (model_handlers.cpp)
    void Button1Click();    // Load Param
    void Button2Click();    // Template
    void Button3Click();    // Save Param
    void Button23Click();   // Set (ambient medium)
    void RGFClick();        // Data File
    void CheckBox1Click();  // R/Rf'

    // Project files (project_handlers.cpp)
    void OpenProjectClick();
    void SaveProjectClick();

    // Plotting (plot_handlers.cpp)
    void Button6Click();   // Plot
    void Button10Click();  // Plot All
    void Button11Click();  // Clear Plot
    void Button5Click();   // All Clear
    void Button17Click();  // Rdata/Fit

    // Exports and printing (output_handlers.cpp)
    void Button7Click();   // Save data/fit
    void Button8Click();   // Save data
    void Button15Click();  // Save Fit
    void Button14Click();  // Save Profiles
    void SaveOrtClick();   // Save .ort (the workspace as an ORSO file)
    void Button13Click();  // Print Graph
    void Button16Click();  // Print Profiles
    void Button18Click();  // Reserve

    // Fit actions (fit_handlers.cpp)
    void Button4Click();   // Fit
    void Button9Click();   // Recov
    void Button12Click();  // Multi Fit
    void CancelClick();    // Cancel a running fit
    void SampleClick();    // Sample the posterior (sample_handlers.cpp)
    void CornerClick();    // The corner plot of the last sample

    // Undo and redo of the actions that change the workspace (undo_handlers.cpp).
    void UndoClick();
    void RedoClick();

    // Fourier page (fourier_handlers.cpp)
    void Button19Click();  // Template data
    void Button20Click();  // Load data
    void Button21Click();  // FT
    void Button22Click();  // Save FT
    void RG0Click();
    void RG1Click();
    void RG2Click();
    void RG3Click();
    void RG4Click();
    void RG5Click();

    // The "Material file" group of the utilities page (material_group.cpp)
    void MaterialSaveClick();

    // Options for measured data (data_options.cpp): the data settings dialog, the fronting
    // medium as an SLD, the SLD profile.
    void DataSettingsClick();
    void AmbientKindChange();
    void SldProfileClick();

  public:
    // A fit runs on its own thread (fit_handlers.cpp): the window stays live, the actions that
    // change the model are disabled until it ends.
    bool running() const { return fitRunning_; }
    // Called on the fit's thread with the evaluations so far, each time the fit notes progress:
    // lets a test act at a known point of a run (cancel it, hold it while it clicks).
    std::function<void(int evaluations)> runObserver;

  protected:
    // Closing cancels a running fit and waits for it (fit_handlers.cpp).
    void closeEvent(QCloseEvent* event) override;

  private:
    // Runs one handler's work: a NumberError (or any other exception) ends it in the error box,
    // and the window goes on with the state the work left. While a fit runs, the window keeps
    // processing its events, and a handler reached then does nothing: one action at a time.
    void guarded(const std::function<void()>& work) noexcept;

    // Layout (window_layout.cpp, fourier_page.cpp)
    void buildWindow();
    QWidget* buildUpperModelPage();
    QWidget* buildModelPanel(QWidget* page);
    QLayout* buildSettingsRow(QWidget* panel);
    QLayout* buildRangeFields(QWidget* panel);
    QWidget* buildAmbientBox(QWidget* panel);
    QWidget* buildFourierPage();
    QWidget* buildFourierControls(QWidget* page);
    QWidget* buildLowerModelPage();
    QWidget* buildSlotControls(QWidget* page);
    QWidget* buildUtilitiesPage();
    QWidget* buildMaterialGroup(QWidget* page);
    QWidget* buildDataOptions(QWidget* panel);
    QWidget* buildAmbientKind(QWidget* box);
    QWidget* buildDataSettingsSummary(QWidget* panel);
    void connectDataOptions();
    bool ambientAsSld() const;
    void showAmbientKind();
    void showAmbientMedium();
    Status applyAmbientBox();
    Status applyFronting(const DataSettingsChoice& choice);
    std::string applyDataOptions(const DataOptions& options, bool allSlots);
    Status readSlotData(int slot);
    void showDataSettings();
    void connectHandlers();
    void setStartupState();

    // The model page's transfers (model_handlers.cpp)
    void showSlot(int slot, bool ratio);
    void refillSlot(int slot);
    void showSlotFields(int slot, bool withRange);
    void showProfile(int slot);
    enum class CurvePart { XRange, Whole };
    // Series pair `pair` of the reflectivity chart in the chosen view, its error bars and its
    // residuals (view_handlers.cpp); `ratio` is the R/Rf' display.
    void showCurve(int slot, int pair, CurvePart part, bool ratio);
    void emptySlotView();
    void setStatus(const std::string& message);
    void plotCurrentSlot();

    // The reflectivity chart's views and its residual panel (view_handlers.cpp).
    void buildViewActions(QMenu* menu);
    void ViewChange();  // a view chosen from the View menu or the view tool bar
    void redrawCurves();
    CurveView shownQuantity(bool ratio) const;
    void showDataFitRatio(int slot);
    void showResiduals(int pair, const std::vector<double>& x, const std::vector<double>& residual);
    void forgetDrawnPair(int series);
    void alignResidualAxis();

    // Project files (project_handlers.cpp)
    void showWorkspace();
    void showFitSettings();
    FitSettings fitSettingsOfFields() const;

    // Outputs (output_handlers.cpp)
    void saveExport(ExportKind kind);
    void printChart(ChartView* view);

    // Fits (fit_handlers.cpp)
    void fitAction(bool multi);
    // Before a fit or sample: with `multi` the check that every loaded slot can take part, then
    // `started` in the status line and the tables and x range into the model. False (the check's
    // message shown) when the run cannot start.
    bool takeTablesForRun(bool multi, const std::string& started);
    void startFit(const FitOptions& options);
    struct FitRun;  // the running fit or sample: its thread, options, progress and result
    void launchRun(std::shared_ptr<FitRun> run);
    void finishFit();
    void showFitReport(const FitReport& report, bool genetic);
    // A fit's or sample's end: the status line and, when it ended with values, its lines and
    // warnings in the log (returns true); a cancelled run's curves drawn as before it.
    bool showRunReport(int status, Outcome outcome, const std::string& statusText,
                       const std::vector<std::string>& lines,
                       const std::vector<std::string>& warnings);
    // The values a run ended with: in the tables and the settings' summary, and their curves and
    // profile (the curves of other slots cleared).
    void showRunValues();
    // The sampler (sample_handlers.cpp): its report, results and the profile's band, and the
    // corner plot of its chain.
    void buildSampleControls();
    void showSampleReport(FitRun& run);
    void showProfileBand(const ProfileBand& band);
    void clearProfileBand();
    void setRunning(bool running);
    void showRunProgress();
    void buildRunControls();
    void showFittedValues();
    void showGeneticHistory(int generations);
    static void fitProgress(void* context, int evaluations, double bestCost);

    // The named results of the last fit, in a tab beside the message log (results_panel.cpp).
    void buildResultsPanel();
    void showResults(const NamedResults& results);
    void clearResults();

    // Fourier page (fourier_handlers.cpp)
    void clearFourierCharts();
    void showFourierCurve(const Status& read, bool mainStatusToo);

    // Material group (material_group.cpp)
    void showMaterialWavelength(int slot);

    ModelStore& store_;
    Services services_;
    std::string programDir_;
    std::unique_ptr<FitState> fitState_;
    std::unique_ptr<GeneticState> genetic_;
    std::unique_ptr<FourierWorkspace> fourier_;

    // A fit runs on its thread: handlers do nothing until it has ended and been shown.
    bool fitRunning_ = false;
    std::shared_ptr<FitRun> run_;  // shared: its type is complete in fit_run.h only
    QPushButton* cancelButton_ = nullptr;  // beside "Fit"
    QPushButton* sampleButton_ = nullptr;  // "Sample…", beside "Cancel"
    QPushButton* cornerButton_ = nullptr;  // "Corner plot…", under the results
    SampleChoice sampleChoice_;            // the sampler dialog's last choice
    std::unique_ptr<EnsembleChain> chain_;  // of the last sample
    QDialog* cornerDialog_ = nullptr;
    QProgressBar* fitProgress_ = nullptr;  // under the fit's controls while a fit runs
    QTimer* progressTimer_ = nullptr;
    // What setRunning(true) changed, to be put back as it was.
    std::vector<std::pair<QWidget*, bool>> enabledBeforeRun_;
    std::vector<QAbstractItemView*> editableBeforeRun_;
    std::vector<QLineEdit*> writableBeforeRun_;
    // The results of the last fit (results_panel.cpp).
    QTabWidget* fitInfoTabs_ = nullptr;  // "Log" (Memo1) and "Results"
    QTableWidget* resultsTable_ = nullptr;
    QPushButton* correlationButton_ = nullptr;
    QDialog* correlationDialog_ = nullptr;
    NamedResults lastResults_;

    // Upper tab control and its pages
    QTabWidget* Plot = nullptr;
    QWidget* TabSheet2 = nullptr;
    QWidget* TabSheet7 = nullptr;
    // Lower tab control and its pages
    QTabWidget* PageControl3 = nullptr;
    QWidget* TabSheet3 = nullptr;
    QWidget* TabSheet1 = nullptr;

    ChartView* Chart1 = nullptr;  // reflectivity: measured 2d, calculated 2d+1 of slot d
    ChartView* Chart2 = nullptr;  // density profile
    ChartView* Chart3 = nullptr;  // Fourier: reflection (logarithmic)
    ChartView* Chart4 = nullptr;  // Fourier: fringe
    ChartView* Chart5 = nullptr;  // Fourier: thickness
    ChartView* Chart6 = nullptr;  // genetic-fit history
    // Under Chart1, sharing its x axis: each drawn slot's residual of each point (series `pair`
    // of Chart1's pair), and the zero line (its last series).
    ChartView* ChartResidual = nullptr;

    // The view of Chart1, chosen from the View menu and the view tool bar beside the status line,
    // for as long as the window is open: what it draws, on which x axis, in log10 or linear.
    QToolBar* viewToolBar_ = nullptr;
    QActionGroup* quantityGroup_ = nullptr;
    QActionGroup* scaleGroup_ = nullptr;
    QActionGroup* axisGroup_ = nullptr;
    CurveView viewQuantity_ = CurveView::Intensity;
    YScale viewScale_ = YScale::Log10;
    AxisView viewAxis_ = AxisView::AsLoaded;
    // What each series pair of Chart1 shows, so that a change of view draws it again: a slot's
    // curve as showCurve drew it, or (pair 0) "Rdata/Fit". Forgotten when the pair is cleared.
    struct DrawnCurve {
        int slot = 0;
        CurvePart part = CurvePart::XRange;
        bool ratio = false;
        bool dataFitRatio = false;
    };
    std::array<std::optional<DrawnCurve>, MAX_SLOTS> drawn_{};

    QTableWidget* StringGrid1 = nullptr;  // layer table
    QTableWidget* StringGrid2 = nullptr;  // data-set table
    QTableWidget* StringGrid3 = nullptr;  // instrument settings
    GridCells layerGrid_{nullptr, true};
    GridCells dataGrid_{nullptr, true};
    // The two tables as the transfers see them: a cell is read back only where it was edited.
    WatchedGrid layerCells_{layerGrid_, LAYER_ROWS, LAYER_COLUMNS};
    WatchedGrid dataCells_{dataGrid_, DATA_ROWS, DATA_COLUMNS};
    GridCells settingsCells_{nullptr, false};

    // Text fields, under the names of the window's layout.
    QLineEdit* Edit1 = nullptr;   // path of the parameter file
    QLineEdit* Edit2 = nullptr;   // name of the last saved file
    QLineEdit* Edit3 = nullptr;   // path of the data file
    QLineEdit* Edit4 = nullptr;   // the main status line
    QLineEdit* Edit5 = nullptr;   // "SLAY": table entries
    QLineEdit* Edit6 = nullptr;   // "GLAY": groups
    QLineEdit* Edit7 = nullptr;   // "LayAll": expanded slabs
    QLineEdit* Edit8 = nullptr;   // "Params": fit parameters
    QLineEdit* Edit9 = nullptr;   // Fourier page: the curve file
    QLineEdit* Edit10 = nullptr;  // Fourier page: "λ(Å)"
    QLineEdit* Edit11 = nullptr;  // Fourier page: "q_min(1/Å)"
    QLineEdit* Edit12 = nullptr;  // Fourier page: "q_max(1/Å)"
    QLineEdit* Edit13 = nullptr;  // Fourier page: q_critical
    QLineEdit* Edit14 = nullptr;  // Fourier page: its status line
    QLineEdit* Edit15 = nullptr;  // Fourier page: "d_max (A)"
    QLineEdit* Edit16 = nullptr;  // Fourier page: "Bin_No"
    QLineEdit* Edit17 = nullptr;  // Fourier page: "dens (g)" of the edge fit
    QLineEdit* Edit18 = nullptr;  // Fourier page: "roughness (A)" of the edge fit
    QLineEdit* Edit19 = nullptr;  // "GA popul <100"
    QLineEdit* Edit20 = nullptr;  // "max_gene"
    QLineEdit* Edit21 = nullptr;  // ambient δ
    QLineEdit* Edit22 = nullptr;  // ambient β
    QLineEdit* Edit23 = nullptr;  // xmin
    QLineEdit* Edit24 = nullptr;  // xmax
    // Edit1 to Edit8 (paths, status line, counts), which the slot switch and "All Clear" empty.
    std::array<QLineEdit*, 8> slotFields() const {
        return {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit7, Edit8};
    }

    // Buttons, under the names of the window's layout (their handlers are ButtonNClick).
    QPushButton* Button1 = nullptr;   // "Load Param"
    QPushButton* Button2 = nullptr;   // "Template"
    QPushButton* Button3 = nullptr;   // "Save Param"
    QPushButton* Button4 = nullptr;   // "Fit"
    QPushButton* Button5 = nullptr;   // "All Clear"
    QPushButton* Button6 = nullptr;   // "Plot"
    QPushButton* Button7 = nullptr;   // "Save data/fit"
    QPushButton* Button8 = nullptr;   // "Save data"
    QPushButton* Button9 = nullptr;   // "Recov"
    QPushButton* Button10 = nullptr;  // "Plot All"
    QPushButton* Button11 = nullptr;  // "Clear Plot"
    QPushButton* Button12 = nullptr;  // "Multi Fit"
    QPushButton* Button13 = nullptr;  // "Print Graph"
    QPushButton* Button14 = nullptr;  // "Save Profiles"
    QPushButton* Button15 = nullptr;  // "Save Fit"
    QPushButton* Button16 = nullptr;  // "Print Profiles"
    QPushButton* Button17 = nullptr;  // "Rdata/Fit"
    QPushButton* Button18 = nullptr;  // "Reserve"
    QPushButton* Button19 = nullptr;  // Fourier page: "Template data"
    QPushButton* Button20 = nullptr;  // Fourier page: "Load data"
    QPushButton* Button21 = nullptr;  // Fourier page: "FT"
    QPushButton* Button22 = nullptr;  // Fourier page: "Save FT"
    QPushButton* Button23 = nullptr;  // ambient "Set"

    // The project files (project_handlers.cpp).
    QPushButton* openProject_ = nullptr;
    QPushButton* saveProject_ = nullptr;

    RadioGroup* RGF = nullptr;
    RadioGroup* RGM = nullptr;
    RadioGroup* RG0 = nullptr;
    RadioGroup* RG1 = nullptr;
    RadioGroup* RG2 = nullptr;
    RadioGroup* RG3 = nullptr;
    RadioGroup* RG4 = nullptr;
    RadioGroup* RG5 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;

    // "Material file" group: formula, wavelength (Å), moment, and the values last computed.
    QLineEdit* materialFormula_ = nullptr;
    QLineEdit* materialWavelength_ = nullptr;
    QLineEdit* materialMoment_ = nullptr;
    QPushButton* materialSave_ = nullptr;
    QLabel* materialValues_ = nullptr;
    QComboBox* materialKind_ = nullptr;  // formula, SLD or δ:β

    // Options for measured data (data_options.cpp).
    QPushButton* dataSettingsButton_ = nullptr;
    QLabel* dataSettingsSummary_ = nullptr;  // the current slot's settings, under StringGrid3
    QComboBox* ambientKind_ = nullptr;  // the fields δ, β, or the SLD's real and imaginary part
    std::array<QLabel*, 2> ambientLabels_{};
    QCheckBox* sldProfile_ = nullptr;

    // Files by name (recent_files.cpp, file_drops.cpp): the "Recent files" menu, files dropped on
    // the window, and the project opened or saved last, whose unsaved changes closing asks about.
  public:
    // What a file is to the window, and so which action reads it: "Load Param", the current
    // slot's data (as a dropped data file is read), or "Open project".
    enum class FileKind { Param, Data, Project };
    // A project or an ORSO file by its content (isProjectFile, isOrsoFile), a parameter file by
    // its name (".par"), any other file a plain curve.
    static FileKind kindOfFile(const QString& path);
    // Whether the window may close: yes without a project opened or saved, or with one whose
    // workspace has not changed since; otherwise as the user answers (UnsavedQuestion): after a
    // successful save, on Discard; no on Cancel or a failed save. Called by closeEvent.
    bool confirmClose();

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Drags of files over the window's own drop targets (fields, charts) go to the window.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void setUpFiles();
    // A file loaded or saved successfully goes to the top of the recent list (at most
    // MAX_RECENT_FILES, each once).
    void noteRecentFile(const QString& path, FileKind kind);
    // A project opened or saved: a recent file, and the project whose changes closing asks about.
    void noteProjectFile(const QString& path);
    void showRecentFiles();
    void openRecentFile(const QString& path, FileKind kind);
    void clearRecentFiles();
    // Runs a button's handler with `path` as the answer of its file dialog, so that a file
    // chosen without the dialog is read or written exactly as the button does it.
    void runWithFile(const QString& path, void (MainWindow::*handler)());
    void openFileAs(const QString& path, FileKind kind);
    void replaceSlotData(const QString& path);
    void dropFiles(const QStringList& paths);
    std::optional<QByteArray> workspaceFingerprint();
    bool workspaceChanged();

    QMenu* recentMenu_ = nullptr;             // "Recent files" in the File menu
    QList<QAction*> recentActions_;           // its entries, hidden when not in use
    QAction* clearRecentAction_ = nullptr;    // "Clear list"
    QString projectPath_;                     // the project opened or saved last
    std::optional<QByteArray> projectPrint_;  // its workspace's fingerprint then

    // Undo and redo (undo_handlers.cpp): after every action, and after an edit of a table or a
    // field once the events of the edit are through, the state is a step of the history unless
    // nothing changed. Not while a fit runs: its end is the step.
  public:
    const UndoHistory& history() const { return *history_; }

  private:
    void setUpHistory();
    // The text fields a step keeps: the paths, status line and counts, the genetic search's
    // fields, the ambient medium and the x range.
    std::array<QLineEdit*, 14> stateFields() const;
    WindowState windowState() const;
    void showState(const WindowState& state);
    void recordStep() noexcept;
    void scheduleStep();
    void moveInHistory(bool forward);
    void showUndoActions();
    std::unique_ptr<UndoHistory> history_;
    bool stepPending_ = false;
    QAction* undoAction_ = nullptr;
    QAction* redoAction_ = nullptr;

    // Menus, tooltips and the remembered layout (menus.cpp, tooltips.cpp)
  public:
    // The window's geometry and the positions of its splitters into the user's settings
    // (QSettings "Tolvi", "Tolvi"), which the next window takes up; called when the window closes.
    void saveLayout();

  private:
    void buildMenus();
    void setToolTips();
    void restoreLayout();
    // The menu actions that change the model or read files into it, and "Cancel" (made disabled):
    // a running fit disables the first and enables the second.
    QList<QAction*> modelActions_;
    QAction* cancelAction_ = nullptr;
};

}  // namespace tolvi::ui
