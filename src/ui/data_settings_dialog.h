#pragma once

#include <QDialog>

#include "ui/data_settings.h"

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace tolvi::ui {

class RadioGroup;

// The data settings dialog: errors, steps, resolution and footprint of one data set (or of all),
// the data set of a file that holds several, and the fronting medium of all. OK reads the fields
// with readDataSettings; a refused value keeps the dialog open with the reason under the fields.
class DataSettingsForm : public QDialog {
    Q_OBJECT

  public:
    explicit DataSettingsForm(QWidget* parent = nullptr);
    void setChoice(const DataSettingsChoice& choice);
    DataSettingsChoice choice() const;

  public slots:
    void accept() override;

  private:
    QWidget* buildDataSet();
    QWidget* buildResolution();
    QWidget* buildFootprint();
    QWidget* buildFronting();
    // Fields of options not chosen are greyed out: they would not be read.
    void updateEnabled();
    void showFrontingKind();

    int slot_ = 0;
    RadioGroup* errors_ = nullptr;
    RadioGroup* steps_ = nullptr;
    QLineEdit* dataSet_ = nullptr;
    RadioGroup* resolution_ = nullptr;
    QLineEdit* relativeFwhm_ = nullptr;
    QLineEdit* scale_ = nullptr;
    QCheckBox* fitScale_ = nullptr;
    QLineEdit* scaleMin_ = nullptr;
    QLineEdit* scaleMax_ = nullptr;
    RadioGroup* footprint_ = nullptr;
    QLineEdit* beam_ = nullptr;
    QLineEdit* sample_ = nullptr;
    QCheckBox* fitBeam_ = nullptr;
    QLineEdit* beamMin_ = nullptr;
    QLineEdit* beamMax_ = nullptr;
    QComboBox* frontingKind_ = nullptr;
    QLabel* frontingLabel1_ = nullptr;
    QLabel* frontingLabel2_ = nullptr;
    QLineEdit* fronting1_ = nullptr;
    QLineEdit* fronting2_ = nullptr;
    QCheckBox* allSlots_ = nullptr;
    QLabel* message_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
};

}  // namespace tolvi::ui
