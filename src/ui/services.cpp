#include "ui/services.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPrinter>

namespace tolvi::ui {

namespace {

class QtFileDialogs : public FileDialogs {
  public:
    QString openFile(const DialogFilter& kind) override {
        return run(kind, QFileDialog::AcceptOpen, QFileDialog::ExistingFile);
    }
    QString saveFile(const DialogFilter& kind) override {
        return run(kind, QFileDialog::AcceptSave, QFileDialog::AnyFile);
    }

  private:
    QString run(const DialogFilter& kind, QFileDialog::AcceptMode accept,
                QFileDialog::FileMode mode) {
        QFileDialog dialog(QApplication::activeWindow());
        dialog.setAcceptMode(accept);
        dialog.setFileMode(mode);
        if (!kind.filter.isEmpty()) dialog.setNameFilter(kind.filter);
        if (!kind.defaultSuffix.isEmpty()) dialog.setDefaultSuffix(kind.defaultSuffix);
        // Every dialog opens where the last one was left, as one expects within a session.
        if (!lastDirectory_.isEmpty()) dialog.setDirectory(lastDirectory_);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        lastDirectory_ = dialog.directory().absolutePath();
        return dialog.selectedFiles().first();
    }

    QString lastDirectory_;
};

class QtErrorBox : public ErrorBox {
  public:
    void show(const QString& message) override {
        QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("Tolvi"), message);
    }
};

class QtAboutBox : public AboutBox {
  public:
    void show(const QString& title, const QString& text) override {
        QMessageBox::about(QApplication::activeWindow(), title, text);
    }
};

class QtUnsavedQuestion : public UnsavedQuestion {
  public:
    Answer ask(const QString& project) override {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Tolvi"),
                        QStringLiteral("The workspace has changed since the project %1 was "
                                       "opened or saved.")
                            .arg(QFileInfo(project).fileName()),
                        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                        QApplication::activeWindow());
        box.setInformativeText(
            QStringLiteral("Save the changes to %1 before closing?").arg(project));
        box.setDefaultButton(QMessageBox::Save);
        switch (box.exec()) {
            case QMessageBox::Save:
                return Answer::Save;
            case QMessageBox::Discard:
                return Answer::Discard;
            default:  // Cancel, Esc or the box closed: the window stays
                return Answer::Cancel;
        }
    }
};

// Made on the first print: looking up the default printer can take a while, and most sessions
// never print.
class DefaultPrinter : public PrinterSource {
  public:
    QPrinter& printer() override {
        if (!printer_) printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
        return *printer_;
    }

  private:
    std::unique_ptr<QPrinter> printer_;
};

}  // namespace

std::unique_ptr<FileDialogs> realFileDialogs() {
    return std::make_unique<QtFileDialogs>();
}

std::unique_ptr<ErrorBox> realErrorBox() {
    return std::make_unique<QtErrorBox>();
}

std::unique_ptr<PrinterSource> defaultPrinter() {
    return std::make_unique<DefaultPrinter>();
}

std::unique_ptr<AboutBox> realAboutBox() {
    return std::make_unique<QtAboutBox>();
}

std::unique_ptr<UnsavedQuestion> realUnsavedQuestion() {
    return std::make_unique<QtUnsavedQuestion>();
}

}  // namespace tolvi::ui
