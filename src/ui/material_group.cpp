// The "Material file" group of the utilities page: a material file made from a chemical
// formula or of a medium given by its SLD or its δ and β, so that a model can use a material
// that has no file yet.
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "base/text_io.h"
#include "physics/material_calc.h"
#include "ui/main_window.h"

namespace tolvi::ui {

namespace {

// Items of the material group's kind.
constexpr int MATERIAL_FORMULA = 0;
constexpr int MATERIAL_SLD = 1;
constexpr int MATERIAL_DELTA_BETA = 2;

// The wavelength shown while no data set is: the template's and the Fourier page's, Cu K-alpha.
constexpr const char* DEFAULT_WAVELENGTH = "1.54";

QString valuesText(const MaterialValues& v) {
    return QString::asprintf("M %.6g g/mol   f1 %.5g   f2 %.4g\nbCoh %.5g fm   absXs %.4g barn",
                             v.molarMass, v.f1, v.f2, v.bCoh, v.absXs);
}

}  // namespace

QWidget* MainWindow::buildMaterialGroup(QWidget* page) {
    auto* group = new QGroupBox("Material file", page);
    group->setObjectName("MaterialGroup");
    materialFormula_ = makeField("MaterialFormula", false, group);
    materialFormula_->setPlaceholderText("formula, e.g. SiO2");
    materialWavelength_ = makeField("MaterialWavelength", false, group);
    materialWavelength_->setText(DEFAULT_WAVELENGTH);
    materialMoment_ = makeField("MaterialMoment", false, group);
    materialMoment_->setText("0");
    materialSave_ = makeButton("MaterialSave", "Save .mf", group);
    materialKind_ = new QComboBox(group);
    materialKind_->setObjectName("MaterialKind");
    materialKind_->addItems({"formula", "SLD", "δ:β"});
    connect(materialKind_, &QComboBox::activated, this, [this](int kind) {
        const char* hints[] = {"formula, e.g. SiO2", "SLD Re[:Im], 1e-6/Å²", "δ:β"};
        materialFormula_->setPlaceholderText(hints[kind]);
    });
    materialValues_ = new QLabel(group);
    materialValues_->setObjectName("MaterialValues");
    materialValues_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont small = materialValues_->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    materialValues_->setFont(small);
    // Room for the two lines of values from the start, so that the page does not move when
    // they appear.
    materialValues_->setMinimumHeight(2 * QFontMetrics(small).lineSpacing());

    auto* layout = new QGridLayout(group);
    layout->setContentsMargins(6, 2, 6, 4);
    layout->setHorizontalSpacing(4);
    layout->setVerticalSpacing(2);
    layout->addWidget(materialKind_, 0, 0);
    layout->addWidget(materialFormula_, 0, 1, 1, 2);
    layout->addWidget(materialSave_, 0, 3);
    layout->addWidget(new QLabel("λ(Å)", group), 1, 0);
    layout->addWidget(materialWavelength_, 1, 1);
    layout->addWidget(new QLabel("mag", group), 1, 2);
    layout->addWidget(materialMoment_, 1, 3);
    layout->addWidget(materialValues_, 2, 0, 1, 4);
    return group;
}

// A data set just shown sets the wavelength, so that its materials come out at its wavelength;
// "All Clear" (slot -1) goes back to the default.
void MainWindow::showMaterialWavelength(int slot) {
    materialWavelength_->setText(slot < 0 ? QString(DEFAULT_WAVELENGTH)
                                          : qText(numberText(store_.dataSet(slot).lamd)));
}

// "Save .mf": a material file of a formula at the wavelength and moment, or of a medium given by
// its SLD ("Re[:Im]", 1e-6/Å²) or by "δ:β", which it gives at density 1.
void MainWindow::MaterialSaveClick() {
    guarded([this] {
        std::string text = materialFormula_->text().trimmed().toStdString();
        double wavelength =
            parseReal(materialWavelength_->text().toStdString(), "field material λ(Å)");
        int kind = materialKind_->currentIndex();
        MaterialResult result;
        std::string fileText;
        if (kind == MATERIAL_FORMULA) {
            double mag = parseReal(materialMoment_->text().toStdString(), "field material mag");
            // Computed before the dialog: a refused formula asks for no file name.
            result = calculateMaterial(text, wavelength, mag);
            if (result.status.ok()) fileText = materialFileText(text, result.values);
        } else {
            if (kind == MATERIAL_DELTA_BETA && text.find(':') == std::string::npos)
                throw NumberError("\"" + text + "\" is not δ:β (field material)");
            double a = 0.0, b = 0.0;
            parseRealPair(text, "field material", true, a, b);
            Medium medium = kind == MATERIAL_SLD ? mediumOfSld(a, b, wavelength) : Medium{a, b};
            std::string description = kind == MATERIAL_SLD
                                          ? formatText("SLD %.15g%+.15gi (1e-6/A^2)", a, b)
                                          : formatText("delta %.15g, beta %.15g", a, b);
            result = materialOfMedium(medium, wavelength);
            if (result.status.ok()) fileText = mediumFileText(result.values, description);
        }
        if (!result.status.ok()) {
            materialValues_->clear();
            setStatus(result.status.message);
            return;
        }
        materialValues_->setText(valuesText(result.values));
        QString chosen = services_.dialogs->saveFile(materialSaveDialog());
        if (chosen.isEmpty()) return;
        Status written = writeFileSafely(chosen.toStdString(), fileText);
        setStatus(written.message);
    });
}

}  // namespace tolvi::ui
