#pragma once

#include <gtest/gtest.h>

#include <QPointF>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "model/model_store.h"
#include "test_support.h"
#include "ui/main_window.h"
#include "ui/services.h"

class QCheckBox;
class QPrinter;
class QLineSeries;
class QRadioButton;
class QTableWidget;

// A failed comparison of Qt texts shows the texts (found by argument lookup in QString's
// namespace, the global one).
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

class QTemporaryDir;

namespace tolvi::test {

// Points the window's settings (its remembered layout) at a fresh directory of this test program,
// away from the user's and from those of test programs running beside it. Call once, after the
// application is made; the directory lives as long as the returned object.
std::unique_ptr<QTemporaryDir> isolateWindowSettings();

// Answers the window's file dialogs from a queue (an empty answer is a cancel) and remembers
// which dialog each question came from.
class ScriptedDialogs : public ui::FileDialogs {
  public:
    QString openFile(const ui::DialogFilter& kind) override { return answer(kind); }
    QString saveFile(const ui::DialogFilter& kind) override { return answer(kind); }

    std::deque<QString> answers;
    std::vector<ui::DialogFilter> asked;

  private:
    QString answer(const ui::DialogFilter& kind);
};

// Answers the data settings dialog: each answer edits the choice the window shows into the one
// the user accepts; an empty answer cancels. Remembers the choices shown.
class ScriptedDataSettings : public ui::DataSettingsDialog {
  public:
    using Answer = std::function<void(ui::DataSettingsChoice&)>;
    std::optional<ui::DataSettingsChoice> edit(const ui::DataSettingsChoice& current) override;

    std::deque<Answer> answers;
    std::vector<ui::DataSettingsChoice> shown;
};

// Answers the sampler's dialog from a queue (nothing: cancelled); a question the test did not
// expect fails it.
class ScriptedSampleDialog : public ui::SampleDialog {
  public:
    std::optional<ui::SampleChoice> edit(const ui::SampleChoice& current) override;
    std::deque<std::optional<ui::SampleChoice>> answers;
    std::vector<ui::SampleChoice> shown;
};

class RecordingErrorBox : public ui::ErrorBox {
  public:
    void show(const QString& message) override { messages.append(message); }
    QStringList messages;
};

// Remembers what each About box showed.
class RecordingAboutBox : public ui::AboutBox {
  public:
    void show(const QString& title, const QString& text) override {
        titles.append(title);
        texts.append(text);
    }
    QStringList titles;
    QStringList texts;
};

// Answers the question about unsaved changes on closing from a queue, and remembers the projects
// it was asked about. A question the test did not expect fails the test and is answered
// "Discard", so that the window closes as it would without the question.
class ScriptedUnsavedQuestion : public ui::UnsavedQuestion {
  public:
    Answer ask(const QString& project) override;

    std::deque<Answer> answers;
    QStringList asked;
};

// A PDF printer writing to a file of the test's choice (no file: no printer at all).
class PdfPrinter : public ui::PrinterSource {
  public:
    PdfPrinter();
    ~PdfPrinter() override;
    QPrinter& printer() override { return *printer_; }

  private:
    std::unique_ptr<QPrinter> printer_;
};

// A check box or radio button clicked where the style says it reacts: in a stretched layout the
// widget is wider than its click area, and a click at its centre would miss.
void clickCheckBox(QCheckBox* box);
void clickRadio(QRadioButton* button);

// The Results tab's table against the named results of a --results JSON file (its text): a
// row per parameter with its name, value, error and bound, each as the window writes them.
void expectTableShowsResults(const QTableWidget* table, const std::string& resultsJson);

// The real window on a fresh store, with scripted dialogs, a recording error box and a PDF
// printer, plus helpers that work its controls the way a user does.
class WindowTest : public ::testing::Test {
  protected:
    WindowTest();
    ~WindowTest() override;

    // A new window on a new store, with new fakes (the constructor's): what one window or its
    // store holds cannot reach the next.
    void openWindow();

    // Controls by object name.
    template <class T>
    T* find(const char* name) const {
        T* w = window->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // A click by mouse; a fit it starts has ended (and been shown) when it returns.
    void click(const char* button);
    // A click that returns at once, a fit it starts still running.
    void clickWithoutWaiting(const char* button);
    // Lets the window process its events until the running fit, if any, has ended and been shown.
    void waitForRun();
    void chooseItem(const char* group, int index);  // an option group's item, by mouse
    int itemIndex(const char* group) const;
    void toggle(const char* checkBox);
    QString field(int number) const;  // Edit<number>
    void setField(int number, const QString& text);
    void typeInto(int number, const QString& text);  // select all, type, as at the keyboard

    // Cells numbered as the window's tables number them: row 0 is the heading row of the
    // layer and data tables, and the settings table has none.
    QString cell(const char* grid, int row, int column) const;
    void setCell(const char* grid, int row, int column, const QString& text);

    // The message log, one entry per line.
    QStringList memoLines() const;

    QLineSeries* series(const char* chart, int index) const;
    int points(const char* chart, int index) const;
    std::vector<QPointF> seriesPoints(const char* chart, int index) const;

    // "Load Param" with `path` chosen in the dialog (empty: the dialog is cancelled).
    void loadParam(const std::string& path);
    void loadTemplate() { click("Button2"); }
    // "Data settings…" with the choice the window shows edited by `answer` and accepted.
    void editDataSettings(ScriptedDataSettings::Answer answer);

    // A parameter file in the test's directory: a `thickness` Å nickel film on silicon, simulated
    // on 201 points over [xmin, xmax] in 2θ, or with simFit measured points from `dataFile`.
    std::string writeFilm(const std::string& name, double thickness, double xmin = 0.1,
                          double xmax = 4, int simFit = 0, const std::string& dataFile = "d.dat");

    std::unique_ptr<ModelStore> store;
    ScriptedDialogs* dialogs = nullptr;
    ScriptedDataSettings* dataSettings = nullptr;
    RecordingErrorBox* errors = nullptr;
    PdfPrinter* printer = nullptr;
    RecordingAboutBox* about = nullptr;
    ScriptedUnsavedQuestion* unsaved = nullptr;
    ScriptedSampleDialog* sampleDialog = nullptr;
    std::unique_ptr<ui::MainWindow> window;
    TempDir dir;
};

}  // namespace tolvi::test
