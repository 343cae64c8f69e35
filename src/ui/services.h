#pragma once

#include <QString>
#include <memory>
#include <optional>

#include "ui/data_settings.h"

class QPrinter;

// What the window asks of the desktop besides its own widgets: file dialogs, the error box, a
// printer, the data settings and sampler dialogs, the About box and the question about unsaved
// changes. Each sits behind a small interface so that tests can answer for the user and print
// into a file; the real ones open Qt's dialogs and use the default printer.
namespace tolvi::ui {

// Filter (Qt syntax) and default extension of one of the window's file dialogs.
struct DialogFilter {
    QString filter;         // empty: every file
    QString defaultSuffix;  // appended when the typed name has none; empty: none
};

// OpenDialog1: parameter files, no filter.
inline DialogFilter paramOpenDialog() {
    return {};
}
// SaveDialog1: "*.par|*.par", default extension "*.par".
inline DialogFilter paramSaveDialog() {
    return {"*.par (*.par)", "par"};
}
// SaveDialog2 and SaveDialog3: the curve and profile exports, "*.dat|*.dat", default "*.dat".
inline DialogFilter curveSaveDialog() {
    return {"*.dat (*.dat)", "dat"};
}
// OpenDialog2: the Fourier page's curve, "all|*.*". On this platform "*.*" would hide names
// without a dot, so "all" is every file: plain curves and ORSO files (".ort") alike.
inline DialogFilter curveOpenDialog() {
    return {"all (*)", {}};
}
// "Open project" and "Save project": project files, default extension ".tolvi". (Opening
// recognises a project by its content; the filter only narrows what the dialog lists.)
inline DialogFilter projectDialog() {
    return {"Tolvi project (*.tolvi)", "tolvi"};
}
// "Save .ort": an ORSO reflectivity file of the workspace, default extension ".ort".
inline DialogFilter orsoSaveDialog() {
    return {"ORSO (*.ort)", "ort"};
}
// The material file of the utilities page: "*.mf", default extension ".mf".
inline DialogFilter materialSaveDialog() {
    return {"*.mf (*.mf)", "mf"};
}

class FileDialogs {
  public:
    virtual ~FileDialogs() = default;
    // The chosen path, or an empty string when the user cancelled.
    virtual QString openFile(const DialogFilter& kind) = 0;
    virtual QString saveFile(const DialogFilter& kind) = 0;
};

// Shows the message of an error that ended an action.
class ErrorBox {
  public:
    virtual ~ErrorBox() = default;
    virtual void show(const QString& message) = 0;
};

// The printer of "Print Graph" and "Print Profiles". It lives as long as the window, so that
// its settings (and the orientation the window restores) carry from one print to the next.
class PrinterSource {
  public:
    virtual ~PrinterSource() = default;
    virtual QPrinter& printer() = 0;
};

// The settings of the current data set and the fronting medium ("Data settings…"). The real
// dialog stays open on a choice that readDataSettings refuses; the window reads the returned
// choice with it in any case.
class DataSettingsDialog {
  public:
    virtual ~DataSettingsDialog() = default;
    // The accepted choice, or nothing when the user cancelled.
    virtual std::optional<DataSettingsChoice> edit(const DataSettingsChoice& current) = 0;
};

// "About Tolvi…": the program's name and version.
class AboutBox {
  public:
    virtual ~AboutBox() = default;
    virtual void show(const QString& title, const QString& text) = 0;
};

// Closing the window while the project it opened or saved last has changes that are not in the
// file: save them to that file, close without them, or keep the window open.
class UnsavedQuestion {
  public:
    enum class Answer { Save, Discard, Cancel };
    virtual ~UnsavedQuestion() = default;
    // project: the path of the project file.
    virtual Answer ask(const QString& project) = 0;
};

// "Sample…": the shape of a run of the ensemble sampler over the posterior of the free parameters.
struct SampleChoice {
    int walkers = 0;       // 0: max(32, 4 x the parameters)
    int length = 2000;     // steps, the burn-in included
    int burn = -1;         // -1: a quarter of the length
    std::optional<quint32> seed;  // none: from the clock
    bool startFromFit = false;    // a least-squares fit first, the walkers around its result
    bool multi = false;           // every loaded data set, the layers shared (as "Multi Fit")
};

class SampleDialog {
  public:
    virtual ~SampleDialog() = default;
    // The accepted choice, or nothing when the user cancelled.
    virtual std::optional<SampleChoice> edit(const SampleChoice& current) = 0;
};

// A missing member is replaced by the real implementation when the window is made.
struct Services {
    std::unique_ptr<FileDialogs> dialogs;
    std::unique_ptr<ErrorBox> errorBox;
    std::unique_ptr<PrinterSource> printer;
    std::unique_ptr<DataSettingsDialog> dataSettings;
    std::unique_ptr<AboutBox> aboutBox;
    std::unique_ptr<UnsavedQuestion> unsavedQuestion;
    std::unique_ptr<SampleDialog> sampleDialog;
};

std::unique_ptr<FileDialogs> realFileDialogs();
std::unique_ptr<ErrorBox> realErrorBox();
std::unique_ptr<PrinterSource> defaultPrinter();
std::unique_ptr<AboutBox> realAboutBox();
std::unique_ptr<UnsavedQuestion> realUnsavedQuestion();
std::unique_ptr<DataSettingsDialog> realDataSettingsDialog();  // data_settings_dialog.cpp
std::unique_ptr<SampleDialog> realSampleDialog();              // sample_dialog.cpp

}  // namespace tolvi::ui
