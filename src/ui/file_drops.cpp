// Files dropped on the window from a file manager: parameter files load into the next slots, a
// project opens, a data file replaces the current slot's measured data. Each goes through the
// action that reads its kind, as the "Recent files" menu does (recent_files.cpp).
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

#include "base/text_io.h"
#include "model/orso_file.h"
#include "model/project_file.h"
#include "ui/chart_view.h"
#include "ui/main_window.h"

namespace tolvi::ui {

namespace {

// The local files a drag carries, or none when it carries anything else as well (a web address,
// a folder): such a drop is refused whole.
QStringList droppedFiles(const QMimeData* mime) {
    if (!mime || !mime->hasUrls()) return {};
    QStringList files;
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile() || !QFileInfo(url.toLocalFile()).isFile()) return {};
        files.append(url.toLocalFile());
    }
    return files;
}

// Copied, never moved: the file manager must not take the file away from where it was. While a
// fit runs, the window takes nothing.
void answerDrag(QDropEvent* event, bool running) {
    if (running || droppedFiles(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

}  // namespace

MainWindow::FileKind MainWindow::kindOfFile(const QString& path) {
    const std::string p = path.toStdString();
    if (isProjectFile(p)) return FileKind::Project;
    if (isOrsoFile(p)) return FileKind::Data;
    // A parameter file has no mark in its content: its name tells it from a plain curve.
    return QFileInfo(path).suffix().compare("par", Qt::CaseInsensitive) == 0 ? FileKind::Param
                                                                             : FileKind::Data;
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    answerDrag(event, running());
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
    answerDrag(event, running());
}

// The files are read once the drop has ended: the file manager waits for the drop, and a load
// may end in the error box.
void MainWindow::dropEvent(QDropEvent* event) {
    answerDrag(event, running());
    if (!event->isAccepted()) return;
    QStringList files = droppedFiles(event->mimeData());
    QMetaObject::invokeMethod(
        this, [this, files] { dropFiles(files); }, Qt::QueuedConnection);
}

// A field or the message log would take a dropped file's name as text, and a chart would take
// the drag and drop nothing: over them, a drag of files is the window's.
bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (droppedFiles(drag->mimeData()).isEmpty()) break;
            answerDrag(drag, running());
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            if (droppedFiles(drop->mimeData()).isEmpty()) break;
            dropEvent(drop);
            return true;
        }
        default:
            break;
    }
    return QMainWindow::eventFilter(watched, event);
}

// Several parameter files fill the next slots in the order given, up to the first that is not
// counted (a refused file, a seventh slot); a project or a data file comes alone.
void MainWindow::dropFiles(const QStringList& paths) {
    guarded([&] {
        QList<FileKind> kinds;
        for (const QString& path : paths) kinds.append(kindOfFile(path));
        for (qsizetype i = 0; i < paths.size() && paths.size() > 1; ++i) {
            if (kinds[i] == FileKind::Param) continue;
            const char* what = kinds[i] == FileKind::Project ? "project" : "data";
            setStatus(formatText("--->Error, a %s file comes alone: ", what) +
                      paths[i].toStdString());
            return;
        }
        for (qsizetype i = 0; i < paths.size(); ++i) {
            int loaded = store_.nfile;
            openFileAs(paths[i], kinds[i]);
            if (paths.size() > 1 && store_.nfile == loaded) return;
        }
    });
}

// The current slot's measured curve from another file, its model kept: the file goes through the
// reader of the data settings (readSlotData) on its first data set, and a simulated slot becomes
// one fitted to data (simFit 1: a simulation would not read the file). A file that is refused
// puts the slot back on its own file, as the data settings do. Runs inside its caller's guarded().
void MainWindow::replaceSlotData(const QString& path) {
    // Also after a failed load, which leaves the selector on the slot it could not fill.
    if (store_.curfile >= store_.nfile) {
        setStatus("--->Error, the current data set is not loaded: load a parameter file first");
        return;
    }
    const int slot = store_.curfile;
    std::string& dataPath = store_.dataSet(slot).dataPath;
    int& simFit = store_.layerModel(slot).simFit;
    int& dataSet = store_.dataOptions[slot].dataSet;
    const std::string previousPath = dataPath;
    const int previousSimFit = simFit;
    const int previousDataSet = dataSet;
    dataPath = path.toStdString();
    simFit = 1;
    dataSet = 0;
    Status s = readSlotData(slot);
    const bool taken = s.succeeded();
    // As after every load: the values "Recov" would put back belong to a fit of other data.
    if (taken) store_.nfitParam = 0;
    if (!taken) {
        dataPath = previousPath;
        simFit = previousSimFit;
        dataSet = previousDataSet;
        Status back = readSlotData(slot);
        if (!back.succeeded()) s = back;
    }
    setStatus(s.message);
    // The fields, the settings table and the whole curve, as the data settings show a slot read
    // again; the layer table is left as it is, so that a cell typed in and not yet plotted stays.
    showSlotFields(slot, false);
    showSettings(store_, slot, settingsCells_);
    Chart1->clearAll();
    showCurve(slot, 0, CurvePart::Whole, store_.rRfMode);
    if (taken) noteRecentFile(path, FileKind::Data);
}

}  // namespace tolvi::ui
