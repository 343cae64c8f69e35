// Options for measured data: the data settings dialog (errors, steps, resolution and footprint
// of a slot, the fronting medium of all) with its summary under the settings table, the fronting
// medium as a scattering length density and the SLD profile. With the defaults and on "δ β",
// the window behaves as it always has.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

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
    dataSettingsButton_ = makeButton("DataSettingsButton", "Data settings…", group);
    dataSettingsButton_->setToolTip(
        "Errors, steps, resolution and footprint of the current data set, and the fronting "
        "medium");
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->addWidget(dataSettingsButton_);
    return group;
}

QWidget* MainWindow::buildDataSettingsSummary(QWidget* panel) {
    dataSettingsSummary_ = new QLabel(panel);
    dataSettingsSummary_->setObjectName("DataSettingsSummary");
    dataSettingsSummary_->setWordWrap(true);
    dataSettingsSummary_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    dataSettingsSummary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont small = dataSettingsSummary_->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    dataSettingsSummary_->setFont(small);
    // Room for four lines from the start (the first wrapped, the third for an ORSO file's
    // header), so that the panel does not move when they appear. Lines are a fraction of a pixel
    // apart: rounded up, with a pixel more, the last one's descenders are not cut off.
    dataSettingsSummary_->setMinimumHeight(
        static_cast<int>(std::ceil(4 * QFontMetricsF(small).lineSpacing())) + 1);
    return dataSettingsSummary_;
}

QWidget* MainWindow::buildAmbientKind(QWidget* box) {
    ambientKind_ = new QComboBox(box);
    ambientKind_->setObjectName("AmbientKind");
    ambientKind_->addItems({"δ β", "SLD (1e-6/Å²)"});
    return ambientKind_;
}

void MainWindow::connectDataOptions() {
    connect(dataSettingsButton_, &QPushButton::clicked, this, &MainWindow::DataSettingsClick);
    connect(ambientKind_, &QComboBox::activated, this, &MainWindow::AmbientKindChange);
    connect(sldProfile_, &QCheckBox::clicked, this, &MainWindow::SldProfileClick);
}

bool MainWindow::ambientAsSld() const {
    return ambientKind_->currentIndex() == AMBIENT_SLD;
}

// The two fields take δ and β, or the real and imaginary SLD; "Set" applies them.
void MainWindow::showAmbientKind() {
    bool sld = ambientAsSld();
    ambientLabels_[0]->setText(sld ? "Re" : "δ");
    ambientLabels_[1]->setText(sld ? "Im" : "β");
}

// The store's fronting medium in the Ambient box, as "Set" would have left it.
void MainWindow::showAmbientMedium() {
    const AmbientSld& sld = store_.ambientSld;
    ambientKind_->setCurrentIndex(sld.given ? AMBIENT_SLD : 0);
    showAmbientKind();
    Edit21->setText(qText(numberText(sld.given ? sld.re : store_.ambient.delta)));
    Edit22->setText(qText(numberText(sld.given ? sld.im : store_.ambient.beta)));
}

// "Set": the Ambient box's fields, as δ and β or as an SLD.
Status MainWindow::applyAmbientBox() {
    FieldText first(Edit21), second(Edit22);
    return ambientAsSld() ? applyAmbientSldFields(store_, first, second)
                          : applyAmbientFields(store_, first, second);
}

void MainWindow::showDataSettings() {
    dataSettingsSummary_->setText(qText(dataSettingsSummary(store_, store_.curfile)));
}

// The dialog for the current slot. The returned choice is read once more here, so that a refused
// one changes nothing whichever dialog answered.
void MainWindow::DataSettingsClick() {
    guarded([this] {
        std::optional<DataSettingsChoice> chosen =
            services_.dataSettings->edit(dataSettingsChoice(store_, store_.curfile));
        if (!chosen) return;
        DataSettingsValues values;
        Status checked = readDataSettings(*chosen, values);
        if (!checked.ok()) {
            setStatus(checked.message);
            return;
        }
        Status fronting = applyFronting(*chosen);
        if (!fronting.ok()) {
            setStatus(fronting.message);
            return;
        }
        setStatus(applyDataOptions(values.options, values.allSlots));
        if (store_.nfile > 0) refillSlot(store_.curfile);
        showDataSettings();
    });
}

// The fronting medium goes through the Ambient box as "Set" takes it, so that the box shows it.
Status MainWindow::applyFronting(const DataSettingsChoice& choice) {
    ambientKind_->setCurrentIndex(choice.frontingSld ? AMBIENT_SLD : 0);
    showAmbientKind();
    Edit21->setText(qText(choice.fronting1));
    Edit22->setText(qText(choice.fronting2));
    return applyAmbientBox();
}

// The slot's data read again with its options. A number the reader cannot take (a fourth column
// that is text, say) refuses the options like any other content error.
Status MainWindow::readSlotData(int slot) {
    try {
        return readDataAndCurves(store_, slot);
    } catch (const NumberError& e) {
        return {1, e.what(), Outcome::FileRefused};
    }
}

// Gives the current slot (or every slot) the options, and reads each loaded slot whose options
// changed again. The data set belongs to a slot's file: the other slots keep theirs. A file that
// cannot serve the new options (no third or fourth column) puts its slot back on the previous ones.
// Returns the status line's text: "--->OK", or after its slot the last refusal, or without one the
// last warning.
std::string MainWindow::applyDataOptions(const DataOptions& options, bool allSlots) {
    int first = allSlots ? 0 : store_.curfile;
    int last = allSlots ? MAX_SLOTS - 1 : store_.curfile;
    std::string message = "--->OK";
    bool refusal = false;
    for (int slot = first; slot <= last; ++slot) {
        DataOptions previous = store_.dataOptions[slot];
        DataOptions wanted = options;
        if (slot != store_.curfile) wanted.dataSet = previous.dataSet;
        store_.dataOptions[slot] = wanted;
        // The template read into slot 0 is not counted, but its data are loaded all the same.
        bool loaded = slot < store_.nfile ||
                      (slot == 0 && store_.nfile == 0 && store_.layerModel(0).nlay > 0);
        if (!loaded || sameDataOptions(previous, wanted)) continue;
        std::string where = formatText("F%d: ", slot + 1);
        Status s = readSlotData(slot);
        if (s.succeeded()) {
            if (s.outcome == Outcome::Warning && !refusal) message = where + s.message;
            continue;
        }
        store_.dataOptions[slot] = previous;
        Status back = readSlotData(slot);
        message = where + (back.succeeded() ? s : back).message;
        refusal = true;
    }
    return message;
}

void MainWindow::AmbientKindChange() {
    guarded([this] { showAmbientKind(); });
}

void MainWindow::SldProfileClick() {
    guarded([this] {
        if (store_.nfile > 0 || store_.layerModel(store_.curfile).layall > 0)
            showProfile(store_.curfile);
    });
}

}  // namespace tolvi::ui
