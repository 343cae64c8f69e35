// The dialog of "Sample…": walkers, length, burn-in, seed and where the walkers start.
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include "ui/services.h"

namespace tolvi::ui {

namespace {

QSpinBox* spinBox(const char* name, int min, int max, const QString& special, QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(min, max);
    box->setSpecialValueText(special);  // shown for the minimum
    return box;
}

class RealSampleDialog : public SampleDialog {
  public:
    std::optional<SampleChoice> edit(const SampleChoice& current) override {
        QDialog dialog;
        dialog.setObjectName("sampleDialog");
        dialog.setWindowTitle("Sample the posterior");
        QSpinBox* walkers = spinBox("walkers", 0, 100000, "auto: max(32, 4 × parameters)", &dialog);
        walkers->setSingleStep(2);
        walkers->setValue(current.walkers);
        walkers->setToolTip("Walkers of the ensemble: even, at least twice the free parameters.");
        QSpinBox* length = spinBox("length", 1, 10000000, {}, &dialog);
        length->setValue(current.length);
        length->setToolTip("Steps of every walker, the burn-in included.");
        QSpinBox* burn = spinBox("burn", -1, 10000000, "auto: a quarter of the length", &dialog);
        burn->setValue(current.burn);
        burn->setToolTip("Steps dropped at the start, before the walkers have settled.");
        auto* seed = new QLineEdit(&dialog);
        seed->setObjectName("seed");
        seed->setPlaceholderText("from the clock");
        if (current.seed) seed->setText(QString::number(*current.seed));
        seed->setToolTip("A whole number from 0 to 4294967295: the same seed gives the same "
                         "chain. Empty: taken from the clock and written in the log.");
        auto* start = new QCheckBox("Start from a least-squares fit", &dialog);
        start->setObjectName("startFromFit");
        start->setChecked(current.startFromFit);
        start->setToolTip("Fits first and starts the walkers around its result; otherwise "
                          "around the values in the table.");
        auto* multi = new QCheckBox("Every loaded data set (as Multi Fit)", &dialog);
        multi->setObjectName("multi");
        multi->setChecked(current.multi);

        auto* form = new QFormLayout;
        form->addRow("Walkers", walkers);
        form->addRow("Length (steps)", length);
        form->addRow("Burn-in (steps)", burn);
        form->addRow("Seed", seed);
        form->addRow(start);
        form->addRow(multi);
        auto* buttons =
            new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
        auto* layout = new QVBoxLayout(&dialog);
        layout->addLayout(form);
        layout->addWidget(buttons);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
            // A seed that is no whole number in range keeps the dialog open.
            bool ok = true;
            if (!seed->text().trimmed().isEmpty()) seed->text().trimmed().toUInt(&ok);
            if (ok)
                dialog.accept();
            else
                seed->setFocus();
        });
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        SampleChoice choice;
        choice.walkers = walkers->value();
        choice.length = length->value();
        choice.burn = burn->value();
        if (!seed->text().trimmed().isEmpty()) choice.seed = seed->text().trimmed().toUInt();
        choice.startFromFit = start->isChecked();
        choice.multi = multi->isChecked();
        return choice;
    }
};

}  // namespace

std::unique_ptr<SampleDialog> realSampleDialog() {
    return std::make_unique<RealSampleDialog>();
}

}  // namespace tolvi::ui
