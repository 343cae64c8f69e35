// Options for measured data: the 1-σ errors of the data files, relative finite-difference steps,
// the fronting medium as a scattering length density and the SLD profile. Unchecked and on "δ β",
// the window behaves as it always has.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "actions/load.h"
#include "base/text_io.h"
#include "physics/profile.h"
#include "ui/chart_view.h"
#include "ui/main_window.h"

namespace tolvi::ui {

namespace {

// The item of AmbientKind that reads the fields as an SLD (item 0: δ and β).
constexpr int AMBIENT_SLD = 1;

}  // namespace

QWidget* MainWindow::buildDataOptions(QWidget* panel) {
    auto* group = new QGroupBox("Data", panel);
    group->setObjectName("DataOptions");
    errorsFromData_ = new QCheckBox("errors from data", group);
    errorsFromData_->setObjectName("ErrorsFromData");
    relativeSteps_ = new QCheckBox("relative steps", group);
    relativeSteps_->setObjectName("RelativeSteps");
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->setSpacing(0);
    layout->addWidget(errorsFromData_);
    layout->addWidget(relativeSteps_);
    return group;
}

QWidget* MainWindow::buildAmbientKind(QWidget* box) {
    ambientKind_ = new QComboBox(box);
    ambientKind_->setObjectName("AmbientKind");
    ambientKind_->addItems({"δ β", "SLD (1e-6/Å²)"});
    return ambientKind_;
}

void MainWindow::connectDataOptions() {
    connect(errorsFromData_, &QCheckBox::clicked, this, &MainWindow::ErrorsFromDataClick);
    connect(relativeSteps_, &QCheckBox::clicked, this, &MainWindow::RelativeStepsClick);
    connect(ambientKind_, &QComboBox::activated, this, &MainWindow::AmbientKindChange);
    connect(sldProfile_, &QCheckBox::clicked, this, &MainWindow::SldProfileClick);
}

bool MainWindow::ambientAsSld() const {
    return ambientKind_->currentIndex() == AMBIENT_SLD;
}

// Every slot reads its data again with the new weights; a file whose errors cannot serve keeps
// the classic weights, and the status line says why.
void MainWindow::ErrorsFromDataClick() {
    guarded([this] {
        ErrorSource errors =
            errorsFromData_->isChecked() ? ErrorSource::Data : ErrorSource::Builtin;
        std::string message = "--->OK";
        for (int slot = 0; slot < MAX_SLOTS; ++slot) store_.dataOptions[slot].errors = errors;
        for (int slot = 0; slot < store_.nfile; ++slot) {
            Status s = readDataAndCurves(store_, slot);
            if (s.succeeded()) {
                if (s.outcome == Outcome::Warning) message = s.message;
                continue;
            }
            store_.dataOptions[slot].errors = ErrorSource::Builtin;
            Status classic = readDataAndCurves(store_, slot);
            message = formatText("F%d: ", slot + 1) + (classic.succeeded() ? s : classic).message;
        }
        setStatus(message);
        if (store_.nfile > 0) refillSlot(store_.curfile);
    });
}

void MainWindow::RelativeStepsClick() {
    guarded([this] {
        StepRule steps = relativeSteps_->isChecked() ? StepRule::Relative : StepRule::Fixed;
        for (DataOptions& options : store_.dataOptions) options.steps = steps;
    });
}

// The two fields take δ and β, or the real and imaginary SLD; "Set" applies them.
void MainWindow::AmbientKindChange() {
    guarded([this] {
        bool sld = ambientAsSld();
        ambientLabels_[0]->setText(sld ? "Re" : "δ");
        ambientLabels_[1]->setText(sld ? "Im" : "β");
    });
}

void MainWindow::SldProfileClick() {
    guarded([this] {
        if (store_.nfile > 0 || store_.layerModel(store_.curfile).layall > 0)
            showProfile(store_.curfile);
    });
}

}  // namespace tolvi::ui
