// Files the window remembers: the "Recent files" menu (the files last loaded or saved, kept in the
// user's settings), and the project opened or saved last, whose unsaved changes closing asks
// about. A file chosen from the menu or dropped (file_drops.cpp) is read by the handler of its
// kind's button, with the file as the answer of its dialog.
#include <QAction>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <algorithm>
#include <array>
#include <optional>
#include <utility>
#include <vector>

#include "model/project_file.h"
#include "physics/slab_stack.h"
#include "ui/main_window.h"

namespace tolvi::ui {

namespace {

using FileKind = MainWindow::FileKind;

constexpr int MAX_RECENT_FILES = 10;

// The paths, newest first, and beside them their kinds, under the names below: a kind says which
// action read or wrote the file (a parameter file need not be named ".par").
constexpr const char* FILES_KEY = "recent/files";
constexpr const char* KINDS_KEY = "recent/kinds";
constexpr std::array<std::pair<FileKind, const char*>, 3> KIND_NAMES = {
    {{FileKind::Param, "param"}, {FileKind::Data, "data"}, {FileKind::Project, "project"}}};

QString kindName(FileKind kind) {
    for (auto [k, name] : KIND_NAMES)
        if (k == kind) return name;
    return {};
}

std::optional<FileKind> kindNamed(const QString& name) {
    for (auto [k, n] : KIND_NAMES)
        if (name == n) return k;
    return std::nullopt;
}

struct RecentFile {
    QString path;
    FileKind kind;
};

// The user's settings of the window, where the layout is kept too (menus.cpp).
QSettings recentSettings() {
    return QSettings(QStringLiteral("Tolvi"), QStringLiteral("Tolvi"));
}

// The list as kept. A kind that is missing or unknown (a list edited by hand) is told by the file.
std::vector<RecentFile> readRecent() {
    QSettings settings = recentSettings();
    const QStringList files = settings.value(FILES_KEY).toStringList();
    const QStringList kinds = settings.value(KINDS_KEY).toStringList();
    std::vector<RecentFile> list;
    for (qsizetype i = 0; i < std::min<qsizetype>(files.size(), MAX_RECENT_FILES); ++i) {
        std::optional<FileKind> kind = i < kinds.size() ? kindNamed(kinds[i]) : std::nullopt;
        list.push_back({files[i], kind ? *kind : MainWindow::kindOfFile(files[i])});
    }
    return list;
}

void writeRecent(const std::vector<RecentFile>& list) {
    QStringList files, kinds;
    for (const RecentFile& entry : list) {
        files.append(entry.path);
        kinds.append(kindName(entry.kind));
    }
    QSettings settings = recentSettings();
    settings.setValue(FILES_KEY, files);
    settings.setValue(KINDS_KEY, kinds);
}

bool sameFile(const QString& a, const QString& b) {
    return QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath();
}

void forgetRecent(std::vector<RecentFile>& list, const QString& path) {
    std::erase_if(list, [&](const RecentFile& entry) { return sameFile(entry.path, path); });
}

// Answers a handler's file dialog with a file already chosen.
class ChosenFile : public FileDialogs {
  public:
    explicit ChosenFile(QString path) : path_(std::move(path)) {}
    QString openFile(const DialogFilter&) override { return path_; }
    QString saveFile(const DialogFilter&) override { return path_; }

  private:
    QString path_;
};

}  // namespace

// The real question about unsaved changes unless the window was given one, drops on the window and
// on its children, and the menu's entries: made once and then shown or hidden, so that an entry is
// never deleted while it is being triggered.
void MainWindow::setUpFiles() {
    if (!services_.unsavedQuestion) services_.unsavedQuestion = realUnsavedQuestion();
    setAcceptDrops(true);
    for (QWidget* w : findChildren<QWidget*>())
        if (w->acceptDrops()) w->installEventFilter(this);

    recentMenu_->setToolTipsVisible(true);
    for (int i = 0; i < MAX_RECENT_FILES; ++i) {
        QAction* entry = recentMenu_->addAction(QString());
        entry->setObjectName(QStringLiteral("actionRecentFile%1").arg(i + 1));
        connect(entry, &QAction::triggered, this, [this, entry] {
            const QStringList file = entry->data().toStringList();  // path and kind
            std::optional<FileKind> kind = file.size() == 2 ? kindNamed(file[1]) : std::nullopt;
            if (kind) openRecentFile(file[0], *kind);
        });
        recentActions_.append(entry);
    }
    recentMenu_->addSeparator();
    clearRecentAction_ = recentMenu_->addAction("Clear list");
    clearRecentAction_->setObjectName("actionClearRecent");
    connect(clearRecentAction_, &QAction::triggered, this, &MainWindow::clearRecentFiles);
    // Another window may have changed the list since it was last shown.
    connect(recentMenu_, &QMenu::aboutToShow, this, &MainWindow::showRecentFiles);
    showRecentFiles();
}

void MainWindow::showRecentFiles() {
    const std::vector<RecentFile> list = readRecent();
    for (int i = 0; i < MAX_RECENT_FILES; ++i) {
        QAction* entry = recentActions_[i];
        entry->setVisible(i < static_cast<int>(list.size()));
        if (!entry->isVisible()) continue;
        const QFileInfo file(list[i].path);
        // "&" would mark a shortcut key in a menu entry.
        entry->setText(file.fileName().replace('&', "&&"));
        entry->setToolTip(QDir::toNativeSeparators(file.absolutePath()));
        entry->setData(QStringList{list[i].path, kindName(list[i].kind)});
    }
    clearRecentAction_->setEnabled(!list.empty());
}

void MainWindow::noteRecentFile(const QString& path, FileKind kind) {
    std::vector<RecentFile> list = readRecent();
    forgetRecent(list, path);
    list.insert(list.begin(), {QFileInfo(path).absoluteFilePath(), kind});
    if (static_cast<int>(list.size()) > MAX_RECENT_FILES) list.resize(MAX_RECENT_FILES);
    writeRecent(list);
    showRecentFiles();
}

void MainWindow::clearRecentFiles() {
    writeRecent({});
    showRecentFiles();
}

// A file that has gone is taken off the list.
void MainWindow::openRecentFile(const QString& path, FileKind kind) {
    guarded([&] {
        if (!QFileInfo(path).isFile()) {
            setStatus("--->Error, cant find " + path.toStdString());
            std::vector<RecentFile> list = readRecent();
            forgetRecent(list, path);
            writeRecent(list);
            showRecentFiles();
            return;
        }
        openFileAs(path, kind);
    });
}

void MainWindow::runWithFile(const QString& path, void (MainWindow::*handler)()) {
    std::unique_ptr<FileDialogs> dialogs =
        std::exchange(services_.dialogs, std::make_unique<ChosenFile>(path));
    (this->*handler)();  // guarded: it returns, whatever happened
    services_.dialogs = std::move(dialogs);
}

// A parameter file as "Load Param" reads it into the next slot, a project as "Open project"; a
// data file replaces the current slot's data. Runs inside its caller's guarded().
void MainWindow::openFileAs(const QString& path, FileKind kind) {
    switch (kind) {
        case FileKind::Param:
            runWithFile(path, &MainWindow::Button1Click);
            break;
        case FileKind::Project:
            runWithFile(path, &MainWindow::OpenProjectClick);
            break;
        case FileKind::Data:
            replaceSlotData(path);
            break;
    }
}

void MainWindow::noteProjectFile(const QString& path) {
    noteRecentFile(path, FileKind::Project);
    projectPath_ = path;
    projectPrint_ = workspaceFingerprint();
}

// What "Save project" would write now, as a hash: the fit's fields, the x range and the cells
// edited since they were shown taken in as the save takes them, but into a copy of the store, so
// that looking changes nothing. Nothing when a field or cell is no number: no save could keep it
// as it stands, and so it counts as a change.
std::optional<QByteArray> MainWindow::workspaceFingerprint() {
    try {
        auto copy = std::make_unique<ModelStore>(store_);
        copy->fitSettings = fitSettingsOfFields();
        TextValue xmin(Edit23->text().toStdString()), xmax(Edit24->text().toStdString());
        takeTables(*copy, copy->curfile, false, xmin, xmax, dataCells_, layerCells_);
        buildSlabStack(*copy, copy->curfile);
        return QCryptographicHash::hash(QByteArray::fromStdString(projectText(*copy)),
                                        QCryptographicHash::Sha256);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// Whether closing now would lose work: a workspace that differs from the project as it was opened
// or saved last. An empty one (after "All Clear") has nothing to lose: the file still holds it.
bool MainWindow::workspaceChanged() {
    if (store_.nfile == 0 && store_.layerModel(0).nlay == 0) return false;
    std::optional<QByteArray> now = workspaceFingerprint();
    return !now || !projectPrint_ || *now != *projectPrint_;
}

bool MainWindow::confirmClose() {
    if (projectPath_.isEmpty() || !workspaceChanged()) return true;
    switch (services_.unsavedQuestion->ask(projectPath_)) {
        case UnsavedQuestion::Answer::Save:
            // As "Save project" saves; a failed save says why in the status line or the error box.
            runWithFile(projectPath_, &MainWindow::SaveProjectClick);
            return !workspaceChanged();
        case UnsavedQuestion::Answer::Discard:
            return true;
        case UnsavedQuestion::Answer::Cancel:
            return false;
    }
    return false;
}

}  // namespace tolvi::ui
