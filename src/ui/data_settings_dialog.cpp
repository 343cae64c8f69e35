#include "ui/data_settings_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/services.h"
#include "ui/widgets.h"

namespace tolvi::ui {

namespace {

// The item of a value in its group's item table (the first when it is not there).
template <class T, size_t N>
int itemOf(const std::array<T, N>& items, T value) {
    for (size_t i = 0; i < N; ++i)
        if (items[i] == value) return static_cast<int>(i);
    return 0;
}

// The value of a group's checked item (the first item while none is checked).
template <class T, size_t N>
T valueOf(const std::array<T, N>& items, const RadioGroup* group) {
    int i = group->itemIndex();
    return i >= 0 && i < static_cast<int>(N) ? items[i] : items[0];
}

QLineEdit* numberField(const char* name, QWidget* parent) {
    QLineEdit* field = makeField(name, false, parent);
    field->setFixedWidth(80);
    return field;
}

QCheckBox* checkBox(const char* name, const QString& text, QWidget* parent) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(name);
    return box;
}

// The fields beside an option group of a fittable quantity: two labelled fields, the "fit" check
// box and the fit's min and max, the group taking the width that is left.
struct QuantityFields {
    QString firstLabel;
    QLineEdit* first;
    QString secondLabel;
    QLineEdit* second;
    QCheckBox* fit;
    QLineEdit* min;
    QLineEdit* max;
};

void layOutQuantity(QWidget* box, QWidget* group, const QuantityFields& f) {
    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(f.firstLabel, box), 0, 0, 1, 3);
    fields->addWidget(f.first, 0, 3);
    fields->addWidget(new QLabel(f.secondLabel, box), 1, 0, 1, 3);
    fields->addWidget(f.second, 1, 3);
    fields->addWidget(f.fit, 2, 0, 1, 4);
    fields->addWidget(new QLabel("min", box), 3, 0);
    fields->addWidget(f.min, 3, 1);
    fields->addWidget(new QLabel("max", box), 3, 2);
    fields->addWidget(f.max, 3, 3);
    fields->setRowStretch(4, 1);
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(group, 1);
    layout->addLayout(fields);
}

std::string textOf(const QLineEdit* field) {
    return field->text().toStdString();
}

class QtDataSettingsDialog : public DataSettingsDialog {
  public:
    std::optional<DataSettingsChoice> edit(const DataSettingsChoice& current) override {
        DataSettingsForm form(QApplication::activeWindow());
        form.setChoice(current);
        if (form.exec() != QDialog::Accepted) return std::nullopt;
        return form.choice();
    }
};

}  // namespace

std::unique_ptr<DataSettingsDialog> realDataSettingsDialog() {
    return std::make_unique<QtDataSettingsDialog>();
}

DataSettingsForm::DataSettingsForm(QWidget* parent) : QDialog(parent) {
    setObjectName("DataSettingsDialog");
    errors_ = new RadioGroup("Errors", "Errors",
                             {"built-in model", "from the data file (column 3)"}, 1, this);
    steps_ = new RadioGroup("Steps", "Steps", {"fixed", "relative"}, 1, this);
    allSlots_ = checkBox("ApplyToAll", "Apply to all data sets (F1 to F6)", this);
    allSlots_->setToolTip(
        "Errors, steps, resolution and footprint for every data set, also those not loaded yet; "
        "each keeps the data set of its file");
    message_ = new QLabel(this);
    message_->setObjectName("DataSettingsMessage");
    message_->setWordWrap(true);
    message_->setStyleSheet("color: #b00000");
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons_->setObjectName("DataSettingsButtons");
    buttons_->button(QDialogButtonBox::Ok)->setObjectName("DataSettingsOk");
    buttons_->button(QDialogButtonBox::Cancel)->setObjectName("DataSettingsCancel");
    connect(buttons_, &QDialogButtonBox::accepted, this, &DataSettingsForm::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &DataSettingsForm::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(errors_, 1);
    top->addWidget(steps_);
    top->addWidget(buildDataSet());
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buildResolution());
    layout->addWidget(buildFootprint());
    layout->addWidget(buildFronting());
    layout->addWidget(allSlots_);
    layout->addWidget(message_);
    layout->addWidget(buttons_);
    setChoice({});
}

QWidget* DataSettingsForm::buildResolution() {
    auto* box = new QWidget(this);
    resolution_ =
        new RadioGroup("Resolution", "Resolution",
                       {"divergence of the parameter file", "FWHM from column 4", "σ from column 4",
                        "constant dQ/Q (FWHM)", "column 4 as the file's header says"},
                       1, box);
    relativeFwhm_ = numberField("RelativeFwhm", box);
    relativeFwhm_->setPlaceholderText("0.05");
    scale_ = numberField("ResolutionScale", box);
    fitScale_ = checkBox("FitScale", "fit the scale", box);
    scaleMin_ = numberField("ScaleMin", box);
    scaleMax_ = numberField("ScaleMax", box);
    layOutQuantity(box, resolution_,
                   {"dQ/Q, as a fraction (0.05 = 5 %)", relativeFwhm_, "scale of every σ", scale_,
                    fitScale_, scaleMin_, scaleMax_});
    for (int i = 0; i < resolution_->count(); ++i)
        connect(resolution_->item(i), &QRadioButton::toggled, this,
                &DataSettingsForm::updateEnabled);
    connect(fitScale_, &QCheckBox::toggled, this, &DataSettingsForm::updateEnabled);
    return box;
}

// Which data set of a file that holds several (an ORSO file) the slot reads, numbered from 0 as
// the file numbers them.
QWidget* DataSettingsForm::buildDataSet() {
    auto* box = new QGroupBox("Data set in the file", this);
    dataSet_ = numberField("DataSet", box);
    dataSet_->setFixedWidth(48);
    dataSet_->setToolTip(
        "The data set of a file that holds several (an ORSO file), counted from 0 as the file "
        "counts them; a plain file holds data set 0 alone. Each data file keeps its own, also "
        "when the settings are applied to all.");
    auto* layout = new QHBoxLayout(box);
    layout->addWidget(new QLabel("number", box));
    layout->addWidget(dataSet_);
    return box;
}

QWidget* DataSettingsForm::buildFootprint() {
    auto* box = new QWidget(this);
    footprint_ =
        new RadioGroup("Footprint", "Footprint",
                       {"none", "Gaussian beam (FWHM)", "uniform beam (full width)"}, 1, box);
    beam_ = numberField("BeamWidth", box);
    sample_ = numberField("SampleLength", box);
    fitBeam_ = checkBox("FitBeam", "fit the beam width", box);
    beamMin_ = numberField("BeamMin", box);
    beamMax_ = numberField("BeamMax", box);
    layOutQuantity(box, footprint_,
                   {"beam width (mm)", beam_, "sample length (mm)", sample_, fitBeam_, beamMin_,
                    beamMax_});
    for (int i = 0; i < footprint_->count(); ++i)
        connect(footprint_->item(i), &QRadioButton::toggled, this,
                &DataSettingsForm::updateEnabled);
    connect(fitBeam_, &QCheckBox::toggled, this, &DataSettingsForm::updateEnabled);
    return box;
}

// One medium above every sample: the group says so, since everything else here is per data set.
QWidget* DataSettingsForm::buildFronting() {
    auto* box = new QGroupBox("Fronting medium (for all data sets)", this);
    box->setObjectName("Fronting");
    frontingKind_ = new QComboBox(box);
    frontingKind_->setObjectName("FrontingKind");
    frontingKind_->addItems({"δ β", "SLD (1e-6/Å²)"});
    frontingLabel1_ = new QLabel(box);
    frontingLabel2_ = new QLabel(box);
    fronting1_ = numberField("Fronting1", box);
    fronting2_ = numberField("Fronting2", box);
    auto* layout = new QHBoxLayout(box);
    layout->addWidget(frontingKind_);
    layout->addWidget(frontingLabel1_);
    layout->addWidget(fronting1_);
    layout->addWidget(frontingLabel2_);
    layout->addWidget(fronting2_);
    layout->addStretch(1);
    connect(frontingKind_, &QComboBox::currentIndexChanged, this,
            &DataSettingsForm::showFrontingKind);
    return box;
}

void DataSettingsForm::setChoice(const DataSettingsChoice& c) {
    slot_ = c.slot;
    setWindowTitle(QString("Data settings – F%1").arg(c.slot + 1));
    errors_->setItemIndex(itemOf(ERROR_SOURCE_ITEMS, c.errors));
    steps_->setItemIndex(itemOf(STEP_RULE_ITEMS, c.steps));
    resolution_->setItemIndex(itemOf(RESOLUTION_ITEMS, c.resolution));
    relativeFwhm_->setText(qText(c.relativeFwhm));
    scale_->setText(qText(c.scale));
    fitScale_->setChecked(c.fitScale);
    scaleMin_->setText(qText(c.scaleMin));
    scaleMax_->setText(qText(c.scaleMax));
    footprint_->setItemIndex(itemOf(FOOTPRINT_ITEMS, c.footprint));
    beam_->setText(qText(c.beam));
    sample_->setText(qText(c.sample));
    fitBeam_->setChecked(c.fitBeam);
    beamMin_->setText(qText(c.beamMin));
    beamMax_->setText(qText(c.beamMax));
    frontingKind_->setCurrentIndex(c.frontingSld ? 1 : 0);
    fronting1_->setText(qText(c.fronting1));
    fronting2_->setText(qText(c.fronting2));
    dataSet_->setText(qText(c.dataSet));
    allSlots_->setChecked(c.allSlots);
    // A long number shows from its first digit.
    for (QLineEdit* field : {relativeFwhm_, scale_, scaleMin_, scaleMax_, beam_, sample_, beamMin_,
                             beamMax_, fronting1_, fronting2_})
        field->setCursorPosition(0);
    message_->clear();
    showFrontingKind();
    updateEnabled();
}

DataSettingsChoice DataSettingsForm::choice() const {
    DataSettingsChoice c;
    c.slot = slot_;
    c.errors = valueOf(ERROR_SOURCE_ITEMS, errors_);
    c.steps = valueOf(STEP_RULE_ITEMS, steps_);
    c.resolution = valueOf(RESOLUTION_ITEMS, resolution_);
    c.relativeFwhm = textOf(relativeFwhm_);
    c.scale = textOf(scale_);
    // A check box greyed out with its option does not count.
    c.fitScale = c.resolution != ResolutionKind::Divergence && fitScale_->isChecked();
    c.scaleMin = textOf(scaleMin_);
    c.scaleMax = textOf(scaleMax_);
    c.footprint = valueOf(FOOTPRINT_ITEMS, footprint_);
    c.beam = textOf(beam_);
    c.sample = textOf(sample_);
    c.fitBeam = c.footprint != FootprintKind::None && fitBeam_->isChecked();
    c.beamMin = textOf(beamMin_);
    c.beamMax = textOf(beamMax_);
    c.frontingSld = frontingKind_->currentIndex() == 1;
    c.fronting1 = textOf(fronting1_);
    c.fronting2 = textOf(fronting2_);
    c.dataSet = textOf(dataSet_);
    c.allSlots = allSlots_->isChecked();
    return c;
}

void DataSettingsForm::accept() {
    // Reached from Qt's event loop: nothing may escape from here.
    try {
        DataSettingsValues values;
        Status s = readDataSettings(choice(), values);
        if (!s.ok()) {
            message_->setText(qText(s.message));
            return;
        }
    } catch (const std::exception& e) {
        message_->setText(qText(e.what()));
        return;
    }
    message_->clear();
    QDialog::accept();
}

void DataSettingsForm::updateEnabled() {
    ResolutionKind kind = valueOf(RESOLUTION_ITEMS, resolution_);
    bool pointwise = kind != ResolutionKind::Divergence;
    relativeFwhm_->setEnabled(kind == ResolutionKind::Relative);
    scale_->setEnabled(pointwise);
    fitScale_->setEnabled(pointwise);
    scaleMin_->setEnabled(pointwise && fitScale_->isChecked());
    scaleMax_->setEnabled(pointwise && fitScale_->isChecked());
    bool footprint = valueOf(FOOTPRINT_ITEMS, footprint_) != FootprintKind::None;
    beam_->setEnabled(footprint);
    sample_->setEnabled(footprint);
    fitBeam_->setEnabled(footprint);
    beamMin_->setEnabled(footprint && fitBeam_->isChecked());
    beamMax_->setEnabled(footprint && fitBeam_->isChecked());
}

void DataSettingsForm::showFrontingKind() {
    bool sld = frontingKind_->currentIndex() == 1;
    frontingLabel1_->setText(sld ? "Re" : "δ");
    frontingLabel2_->setText(sld ? "Im" : "β");
}

}  // namespace tolvi::ui
