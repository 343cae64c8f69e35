// The tooltips of the window's controls: what each one is, in plain words, with its units and
// the values it takes.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>

#include "ui/main_window.h"

namespace tolvi::ui {

namespace {

// A quantity of the layer or data table: its value column is followed by min, max and fit.
struct QuantityTip {
    const char* what;  // the value column's tooltip
    const char* unit;  // of its bounds
};

const char* const LAYER_FIT_FLAG =
    "Fit flag: 0 fixed, 1 free between min and max, −k tied to the value in row k (an earlier "
    "row)";
const char* const DATA_FIT_FLAG = "Fit flag: 0 fixed, 1 free between min and max";

// The tooltips of a table's columns: the leading ones as given, then for each quantity its value,
// min, max and fit flag.
QStringList columnTips(std::initializer_list<const char*> leading,
                       std::initializer_list<QuantityTip> quantities, const char* fitFlag) {
    QStringList tips;
    for (const char* tip : leading) tips.append(tip);
    for (const QuantityTip& q : quantities) {
        tips.append(q.what);
        tips.append(QStringLiteral("Lower bound of the fit, %1").arg(q.unit));
        tips.append(QStringLiteral("Upper bound of the fit, %1").arg(q.unit));
        tips.append(fitFlag);
    }
    return tips;
}

QStringList layerColumnTips() {
    return columnTips(
        {"Row number: row 1 (Base) is the substrate, the rows after it the layers towards the "
         "surface; a fit flag −k refers to row k",
         "Identifier from the parameter file: S… a single layer, G… a layer of a repeated group",
         "Material: the name of its material file (.mf) beside the parameter file"},
        {{"Density ρ, g/cm³", "g/cm³"},
         {"Thickness t, Å", "Å"},
         {"Roughness σ of the layer's top interface (rms), Å", "Å"},
         {"Magnetic moment per formula unit, Bohr magnetons (μB); it acts with polarised "
          "neutrons (non_mag/mag_pol ±1). Its fit flag may be typed as a real: it is truncated",
          "μB"}},
        LAYER_FIT_FLAG);
}

QStringList dataColumnTips() {
    return columnTips(
        {"Data set F1 to F6"},
        {{"x0_shift: offset of the x axis in x units (degrees of θ or 2θ, or 1/Å for q); each "
          "measured x is computed at x − x0_shift",
          "x units"},
         {"logI0: log10 of the incident intensity (counts/s); the calculated intensity is "
          "10^logI0 · R + bg",
          "log10 counts/s"},
         {"bg: background, counts/s (cps), added to the calculated intensity", "cps"}},
        DATA_FIT_FLAG);
}

// Rows of the settings table, as the parameter file gives them.
QStringList settingsRowTips() {
    return {
        "simul/fit: 0 simulates the curve on a grid of 201 points from x-min to x-max; 1 fits "
        "the measured data read from the data file",
        "Probe: 0 X-rays, 1 neutrons",
        "x axis of the data and the chart: 0 θ (degrees), 1 2θ (degrees), 2 q (1/Å)",
        "λ: wavelength, Å",
        "non_mag/mag_pol: 0 non-magnetic; 1 or −1 polarised neutrons, the layers' magnetic term "
        "added (+1) or subtracted (−1)",
        "⊿θ: beam divergence as a full width at half maximum, in the units of the x axis; the "
        "curve is averaged over it (0: none)",
        "x-min: the lower end of the parameter file's x range, x units",
        "x-max: the upper end of the parameter file's x range, x units"};
}

// The heading row is written as new header items (GridCells), which come without tooltips: each
// new one gets its column's tooltip again.
void keepHeaderTips(QTableWidget* table, const QStringList& tips) {
    auto apply = [table, tips](int first, int last) {
        for (int c = first; c <= last && c < tips.size(); ++c) {
            QTableWidgetItem* h = table->horizontalHeaderItem(c);
            // Setting a tooltip changes the header again: only a new one is set.
            if (h && h->toolTip() != tips[c]) h->setToolTip(tips[c]);
        }
    };
    apply(0, static_cast<int>(tips.size()) - 1);
    QObject::connect(table->model(), &QAbstractItemModel::headerDataChanged, table,
                     [apply](Qt::Orientation orientation, int first, int last) {
                         if (orientation == Qt::Horizontal) apply(first, last);
                     });
}

void setGroupTips(RadioGroup* group, const char* tip, std::initializer_list<const char*> items) {
    group->setToolTip(tip);
    int i = 0;
    for (const char* itemTip : items) group->item(i++)->setToolTip(itemTip);
}

}  // namespace

void MainWindow::setToolTips() {
    StringGrid1->setToolTip(
        "Layer table of the current data set, from the substrate (row 1) up: density (g/cm³), "
        "thickness and roughness (Å) and magnetic moment (μB), each with the bounds and the flag "
        "of the fit (0 fixed, 1 free, −k tied to row k). Plot and Fit take the edited cells");
    keepHeaderTips(StringGrid1, layerColumnTips());
    StringGrid2->setToolTip(
        "Data-set table, a row for each data set F1 to F6: x0_shift (x units), logI0 (log10 of "
        "the incident intensity) and bg (background, cps), each with the bounds and the flag of "
        "the fit (0 fixed, 1 free)");
    keepHeaderTips(StringGrid2, dataColumnTips());
    StringGrid3->setToolTip("Settings of the current data set, as its parameter file gives them");
    const QStringList settingsTips = settingsRowTips();
    for (int r = 0; r < StringGrid3->rowCount() && r < settingsTips.size(); ++r)
        for (int c = 0; c < StringGrid3->columnCount(); ++c)
            if (QTableWidgetItem* item = StringGrid3->item(r, c)) item->setToolTip(settingsTips[r]);

    const std::array<std::pair<QWidget*, const char*>, 31> fields = {{
        {Edit1, "Parameter file (.par) of the current data set, as Load Param or Template read it"},
        {Edit2, "The file saved last (Save Param, an export or Save project)"},
        {Edit3, "Data file of the current data set: the measured curve its parameter file names"},
        {Edit4,
         "Status line: the outcome of the last action (--->OK, or an error or warning with "
         "its reason)"},
        {Edit5,
         "SLAY: rows of the layer table (entries of the parameter file, the substrate "
         "included)"},
        {Edit6, "GLAY: repeated groups in the layer table"},
        {Edit7, "LayAll: slabs after the groups are expanded (at most 400)"},
        {Edit8, "Params: free parameters of the last fit"},
        {Edit9, "Curve file of the Fourier page, as Template data or Load data read it"},
        {Edit10,
         "λ: wavelength of the Fourier page's curve, Å; Load data converts θ or 2θ into q "
         "with it"},
        {Edit11,
         "q_min: lower end of the q window of the transform, 1/Å (q_area Auto fills it "
         "from the curve, Manual takes it as typed)"},
        {Edit12,
         "q_max: upper end of the q window of the transform, 1/Å (q_area Auto fills it "
         "from the curve, Manual takes it as typed)"},
        {Edit13,
         "q_critical: the critical edge, 1/Å; q_critical Fit refines it from this value, "
         "Manual keeps it"},
        {Edit14, "Status line of the Fourier page"},
        {Edit15, "d_max: the largest thickness of the spectrum, Å (more than 0)"},
        {Edit16,
         "Bin_No: thickness bins of the spectrum, from d_max/Bin_No to d_max (1 to "
         "2000)"},
        {Edit17, "dens: density that the critical-edge fit of (R-RF)*Q^4 finds, g/cm³"},
        {Edit18, "roughness: roughness that the critical-edge fit of (R-RF)*Q^4 finds, Å"},
        {Edit19, "GA popul: population of the genetic search (GA), at least 4 and at most 1500"},
        {Edit20,
         "max_gene: the largest number of generations of the genetic search (GA), at "
         "most 1000"},
        {Edit21,
         "Ambient medium, the medium above the sample: δ of its refractive index n = 1 − "
         "δ + iβ (below 1); with SLD chosen, the real part of its SLD in 1e-6/Å²"},
        {Edit22,
         "Ambient medium: β of its refractive index n = 1 − δ + iβ (0 or more); with SLD "
         "chosen, the imaginary part of its SLD in 1e-6/Å² (0 or more)"},
        {Edit23,
         "xmin: lower end of the x range that is plotted and fitted, x units; taken only "
         "when below xmax"},
        {Edit24,
         "xmax: upper end of the x range that is plotted and fitted, x units; taken only "
         "when above xmin"},
        {materialFormula_,
         "Chemical formula (SiO2, Fe0.8Ni0.2, Ca(OH)2, D2O with D for "
         "deuterium); with SLD chosen Re[:Im] in 1e-6/Å², with δ:β chosen δ:β"},
        {materialWavelength_,
         "λ: wavelength of the material file, Å; its X-ray values and "
         "absorption hold for this wavelength only"},
        {materialMoment_, "mag: magnetic moment per formula unit, Bohr magnetons (μB)"},
        {materialKind_,
         "What the material field holds: a chemical formula, an SLD (1e-6/Å²) or "
         "δ:β"},
        {ambientKind_,
         "How the two fields give the ambient medium: δ and β, or the real and "
         "imaginary part of its SLD in 1e-6/Å² (converted with each data set's "
         "wavelength)"},
        {CheckBox1,
         "R/Rf': shows the curves divided by the Fresnel reflectivity of the bare "
         "substrate (log10 R − log10 RF), so that the fringes stand out; Save data/fit "
         "follows it"},
        {sldProfile_,
         "Draws the scattering length density (real and imaginary part, 1e-6/Å²) "
         "against depth instead of the density (g/cm³)"},
    }};
    for (auto [widget, tip] : fields) widget->setToolTip(tip);
    Memo1->setToolTip(
        "Message log: the report of each fit (χ², each parameter with its error) and its "
        "warnings");

    const std::array<std::pair<QPushButton*, const char*>, 24> buttons = {{
        {Button1,
         "Load Param (Ctrl+O): reads a parameter file (.par) with its material and data "
         "files into the next free data set, F1 to F6, and shows it"},
        {Button2,
         "Template: loads the W/Si multilayer of template/ with its measured curve into "
         "F1 (while no data set is loaded)"},
        {Button3,
         "Save Param (Ctrl+S): writes the current data set's model as a parameter file "
         "(.par)"},
        {Button4,
         "Fit (F9): fits the free values (fit flag 1) of the current data set by least "
         "squares (LM) or the genetic search (GA); the fitted values go into the tables, "
         "the report into the message log"},
        {Button5, "All Clear: empties every data set, table, field and chart and the message log"},
        {Button6,
         "Plot (F5): takes the edited tables and the x range into the current data set "
         "and draws its curve and density profile afresh"},
        {Button7,
         "Save data/fit: writes x, the measured and the calculated intensity of the "
         "current data set as text (.dat)"},
        {Button8,
         "Save data: writes x and the measured intensity of the current data set as "
         "text (.dat)"},
        {Button9, "Recov: puts back the values from before the last fit"},
        {Button10, "Plot All: draws the curve of every loaded data set in the x range shown"},
        {Button11, "Clear Plot: empties the reflectivity chart; the data sets stay"},
        {Button12,
         "Multi Fit: fits all loaded data sets (at least two) at once, the layer values "
         "shared and each data set's x0_shift, logI0 and bg its own; their layer "
         "tables must have the same structure"},
        {Button13,
         "Print Graph: prints the reflectivity chart on one landscape page of the "
         "default printer"},
        {Button14,
         "Save Profiles: writes the density profile of the current data set (z in Å, "
         "ρ in g/cm³) as text (.dat)"},
        {Button15,
         "Save Fit: writes x and the calculated intensity of the current data set as "
         "text (.dat)"},
        {Button16,
         "Print Profiles: prints the density profile on one landscape page of the "
         "default printer"},
        {Button17,
         "Rdata/Fit: draws log10 of measured over calculated intensity (on the linear "
         "scale the ratio itself) for every point of the current data set"},
        {Button18, "Reserve: does nothing; it keeps its place for a later action"},
        {Button19,
         "Template data: reads template/template.dat (θ, linear, λ 1.54 Å: a 250 Å Ni "
         "film)"},
        {Button20,
         "Load data: reads a curve file with the x axis, y scale and λ set on this "
         "page"},
        {Button21,
         "FT: turns the curve into its fringe and the fringe into the thickness "
         "spectrum; a film shows as a peak at its thickness"},
        {Button22,
         "Save FT: writes the edge parameters and the spectrum as a .FT file beside the "
         "curve file"},
        {Button23,
         "Set: takes the two fields as the ambient medium, the medium above the sample "
         "of every data set"},
        {materialSave_,
         "Save .mf: computes the material's values and writes them as a material "
         "file (.mf) where the dialog says"},
    }};
    for (auto [button, tip] : buttons) button->setToolTip(tip);

    // The reflectivity chart's views (View menu), whose tool bar buttons show these.
    const std::array<std::pair<const char*, const char*>, 10> views = {{
        {"actionViewIntensity",
         "Intensity: the measured and calculated intensities (with R/Rf' on, divided by the "
         "Fresnel reflectivity of the bare substrate)"},
        {"actionViewQ4",
         "R·q⁴: the reflectivity times q⁴, (I − bg) / 10^logI0 · q⁴ with q in 1/Å, which "
         "takes the Fresnel fall out of view"},
        {"actionViewRatio",
         "I / Rf': the intensities divided by the Fresnel reflectivity of the bare substrate "
         "(the R/Rf' ratio), with or without R/Rf'"},
        {"actionViewLogY", "Log scale: draws log10 of the values"},
        {"actionViewLinearY", "Linear scale: draws the values themselves"},
        {"actionViewAsLoaded",
         "x as loaded: x as the data file gives it, θ or 2θ in degrees or q in 1/Å"},
        {"actionViewTheta", "θ: x as the glancing angle θ, degrees"},
        {"actionViewTwoTheta", "2θ: x as the scattering angle 2θ, degrees"},
        {"actionViewQ", "q: x as the wave-vector transfer 4π sinθ / λ, 1/Å"},
        {"actionViewResiduals",
         "Residuals: shows under the chart the fit's residual of each point drawn, (y − calc) "
         "/ dy with errors from the data, otherwise (log10 y − log10 calc) / σ"},
    }};
    for (auto [name, tip] : views) findChild<QAction*>(name)->setToolTip(tip);
    findChild<QAction*>("actionSaveOrt")
        ->setToolTip(
            "Save .ort: writes every data set as an ORSO reflectivity file: Qz, R, its errors and "
            "resolution as loaded, the calculated curve, and the model (probe, wavelength, scale, "
            "background, slab stack) in the header");

    RGF->setToolTip("Data File: the data set shown, plotted and fitted (F1 to F6)");
    for (int i = 0; i < RGF->count(); ++i)
        RGF->item(i)->setToolTip(
            QStringLiteral("Shows data set F%1 (Load Param fills the next free one)").arg(i + 1));
    setGroupTips(RGM, "Method of Fit and Multi Fit",
                 {"LM: least squares (Levenberg-Marquardt) from the values in the tables, with "
                  "each parameter's error",
                  "GA: genetic search (differential evolution) between the bounds, GA popul "
                  "members for at most max_gene generations"});
    setGroupTips(RG1, "Data_X_axis: what x is in the curve file",
                 {"θ: the glancing angle, degrees", "2θ: the scattering angle, degrees",
                  "q: the wave-vector transfer 4π sinθ / λ, 1/Å"});
    setGroupTips(RG0, "Data_Y: how the curve file gives the intensity",
                 {"Linear intensities", "log10 of the intensities"});
    setGroupTips(RG3, "q_area: the q window of the transform",
                 {"Auto: the whole curve", "Manual: from q_min to q_max as typed"});
    setGroupTips(RG4, "q_critical: the critical edge",
                 {"Fit: the edge fit refines q_critical from its field",
                  "Manual: q_critical as typed, held in the edge fit"});
    setGroupTips(RG5, "Fringe: the signal that is transformed",
                 {"R*Q^4: R·q⁴ above a flat background",
                  "(R-RF)*Q^4: fits the critical edge first (dens and roughness below) and takes "
                  "the Fresnel reflectivity off"});
    setGroupTips(RG2, "Transform: from the fringe to the thickness spectrum",
                 {"DFT: discrete Fourier transform over the q window",
                  "Wavelet MH: Mexican-hat wavelets of four widths, beside the last DFT"});

    Plot->setTabToolTip(Plot->indexOf(TabSheet2),
                        "The reflectivity chart and the current data set's files and settings");
    Plot->setTabToolTip(Plot->indexOf(TabSheet7),
                        "Film thicknesses from one curve by a Fourier or wavelet transform");
    PageControl3->setTabToolTip(PageControl3->indexOf(TabSheet3),
                                "The layer and data-set tables, the data-set selector and the fit");
    PageControl3->setTabToolTip(
        PageControl3->indexOf(TabSheet1),
        "Message log, density profile, genetic-fit history, exports, printing and material files");
}

}  // namespace tolvi::ui
