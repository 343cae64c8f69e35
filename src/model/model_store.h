#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/complex.h"
#include "base/constants.h"
#include "base/status.h"
#include "base/text_io.h"

namespace tolvi {

// Capacities of the model store; nothing grows beyond them.
constexpr int MAX_SLOTS = 6;       // data sets F1 to F6
constexpr int MAX_ENTRIES = 200;   // layer-table rows per slot
constexpr int MAX_SLABS = 400;     // expanded slabs per slot
constexpr int MAX_DATA = 2000;     // points per curve
constexpr int SIM_POINTS = 201;    // points of a simulated curve
constexpr int MAX_TIES = 50;       // ties recorded per slot
constexpr int MAX_PROFILE = 1000;  // density-profile points

// A parameter-file line holds at most 99 characters, so no token of it is longer.
using ShortText = FixedText<100>;

// Every fittable quantity. fit: 0 fixed, > 0 free, -k tied to the same quantity of table row k
// (1-based) when that row comes earlier. step is set by the reader, never stored in files.
struct BoundedParam {
    double value = 0.0;
    double min = 0.0;
    double max = 0.0;
    int fit = 0;
    double step = 0.0;
};

// Quantity order of the tie table and of the layer-table columns.
enum LayerParam { PARAM_RHO = 0, PARAM_T = 1, PARAM_SIG = 2, PARAM_MAG = 3 };

// rho, t, sig or mag of a layer entry (const or not) by its LayerParam code.
template <typename Entry>
auto& layerParam(Entry& e, int which) {
    switch (which) {
        case PARAM_RHO:
            return e.rho;
        case PARAM_T:
            return e.t;
        case PARAM_SIG:
            return e.sig;
        default:
            return e.mag;
    }
}

struct LayerEntry {
    ShortText id;            // upper-cased identifier: "S..." single layer, "G..." group member
    ShortText material;      // material name = name of the material file beside the parameter file
    int kind = 0;            // 0 single layer, 1 first layer of a group, 2 further group layer
    int rept = 0;            // kind 1: repetitions of the group
    int groupSize = 0;       // kind 1: layers in the group; kind 2: 1-based position in it
    int sigjoin = 0;         // kind 1: roughness-join flag of the group
    BoundedParam rho;        // density, g/cm3
    BoundedParam t;          // thickness, Å
    BoundedParam sig;        // roughness of the top interface, Å
    BoundedParam mag;        // magnetic moment per formula unit, Bohr magnetons
    double molarMass = 0.0;  // g/mol
    double f1 = 0.0;         // X-ray scattering factor, electrons per formula unit
    double f2 = 0.0;
    double bCoh = 0.0;   // neutron coherent scattering length, fm
    double absXs = 0.0;  // neutron absorption cross-section, barn
    Complex n;           // refractive index (1 - delta) + i beta, as shown
    Medium medium;       // the same index as delta and beta, as the calculation uses it
    Complex magTerm;     // magnetic contribution to n (real): delta grows by magMode times it

    // The quantity of a LayerParam code (rho, t, sig, mag).
    BoundedParam& param(int which) { return layerParam(*this, which); }
    const BoundedParam& param(int which) const { return layerParam(*this, which); }
};

struct DataSet {
    std::string dataPath;
    int yScale = 0;           // 0 linear intensities in the data file, 1 log10 values
    int probe = 0;            // 0 X-ray, 1 neutron
    int xAxis = 0;            // 0 theta, 1 2theta (degrees), 2 q (1/Å)
    double lamd = 0.0;        // wavelength, Å
    double divergence = 0.0;  // FWHM in x units
    double magMode = 0.0;     // 0 non-magnetic, 1 polarised +, -1 polarised -
    double xmin = 0.0;
    double xmax = 0.0;
    BoundedParam x0_shift;
    BoundedParam logI0;
    BoundedParam bg;
    int npoints = 0;
    std::array<double, MAX_DATA> xData{};
    std::array<double, MAX_DATA> yLin{};
    std::array<double, MAX_DATA> yLog{};
    std::array<double, MAX_DATA> calcLin{};
    std::array<double, MAX_DATA> calcLog{};
    std::array<double, MAX_DATA> sigmaLog{};
    std::array<double, MAX_DATA> rfLin{};
    std::array<double, MAX_DATA> rfLog{};
};

struct LayerModel {
    std::string paramPath;
    int simFit = 0;  // 0 simulate on the 201-point grid, otherwise fit measured data
    int nlay = 0;
    int nglay = 0;
    int layall = 0;
    std::array<LayerEntry, MAX_ENTRIES> entries{};  // entry 0 is the substrate
    std::array<LayerEntry, MAX_SLABS> slabs{};      // slab 0 is the substrate
};

// Ties found by the last slab expansion of a slot; they only serve the table display.
struct TieTable {
    int count = 0;
    std::array<int, MAX_TIES> param{};   // LayerParam
    std::array<int, MAX_TIES> source{};  // 0-based row the value comes from
    std::array<int, MAX_TIES> target{};  // 0-based row that receives it
};

// Options of a slot beyond its parameter file, for measured data as instruments deliver it. Their
// defaults are the program's classic behaviour, which a parameter file alone always gets.
enum class ErrorSource {
    Builtin,  // the error model of pointSigma, residuals in log10 units
    Data,     // the 1-σ errors of the data file's third column, residuals (y - calc) / dy
};
enum class StepRule {
    Fixed,     // the fixed finite-difference step of each quantity
    Relative,  // a step that follows the value's magnitude and its bounds (relativeStep)
};

// The instrument's resolution. Divergence is the parameter file's divergence averaged over four
// nodes; the others give each point a Gaussian in q of its own width σ_i, averaged by the
// resolution plan (physics/resolution.h), and replace the divergence.
enum class ResolutionKind {
    Divergence,   // the parameter file's divergence (FWHM in x units), four nodes
    ColumnFwhm,   // the fourth number of each data line: the FWHM in x units
    ColumnSigma,  // the fourth number of each data line: σ in x units
    Relative,     // a constant FWHM dQ/Q (relativeFwhm)
    Column,       // the fourth number as the data file's header says (an ORSO file's sQz)
};
// Fixed finite-difference steps of the two instrument quantities (StepRule::Fixed).
constexpr double STEP_RESOLUTION_SCALE = 1e-3;
constexpr double STEP_BEAM_MM = 1e-3;
struct ResolutionSettings {
    ResolutionKind kind = ResolutionKind::Divergence;
    double relativeFwhm = 0.0;  // Relative: FWHM dQ/Q as a fraction, 0 < F < 1
    // Multiplies every σ_i (not the divergence); free in a fit when scale.fit > 0.
    BoundedParam scale{1.0, 1.0, 1.0, 0, STEP_RESOLUTION_SCALE};
};

// The fraction of the beam that the sample intercepts (the footprint): none, a Gaussian beam of
// FWHM `beam`, or a uniform beam of full width `beam`, on a sample of length `sample` (both mm).
enum class FootprintKind { None, Gaussian, Uniform };
struct FootprintSettings {
    FootprintKind kind = FootprintKind::None;
    BoundedParam beam{0.0, 0.0, 0.0, 0, STEP_BEAM_MM};  // mm; free in a fit when beam.fit > 0
    double sample = 0.0;                                // mm
};

struct DataOptions {
    ErrorSource errors = ErrorSource::Builtin;
    StepRule steps = StepRule::Fixed;
    ResolutionSettings resolution;
    FootprintSettings footprint;
    int dataSet = 0;  // the data set read from a file that holds several (ORSO), 0-based
};

// Whether a slot's curve is averaged over a pointwise Gaussian resolution rather than over the
// parameter file's divergence.
inline bool pointwiseResolution(const DataOptions& options) {
    return options.resolution.kind != ResolutionKind::Divergence;
}
// Whether the data reader takes each point's resolution from the fourth number of its line.
inline bool readsResolutionColumn(const DataOptions& options) {
    return options.resolution.kind == ResolutionKind::ColumnFwhm ||
           options.resolution.kind == ResolutionKind::ColumnSigma ||
           options.resolution.kind == ResolutionKind::Column;
}

// What the header of a slot's data file says, as its last read found it: an ORSO reflectivity
// file's columns, data sets, probe and wavelength. A plain file has none (orso false).
struct DataFileHeader {
    bool orso = false;
    int dataSets = 0;   // data sets in the file
    int dataSet = 0;    // the one read, 0-based
    double qUnit = 1.0;  // 1/Å per unit of the file's Qz (and sQz): 1 for 1/angstrom, 0.1 for 1/nm
    // The resolution column sQz as the header describes it: σ, a FWHM, or the full width of a
    // rectangular distribution (read as the Gaussian of the same variance).
    enum class Width { Sigma, Fwhm, Rectangular } resolutionWidth = Width::Sigma;
    bool errorsFwhm = false;  // the error column sR holds FWHM rather than σ
    int probe = -1;           // 0 X-ray, 1 neutron, -1 not said
    double wavelength = 0.0;  // Å, 0 when not said (or a range)
};

// The options of the fits, kept with the model so that a project file holds them (the window's
// method, population and generation fields, tolvi-cli's --method, --pop, --gens and --seed).
struct FitSettings {
    int method = 0;        // 0 least squares, 1 the genetic search
    int population = 15;   // genetic: NP
    int maxGene = 200;     // genetic: the largest number of generations
    bool seeded = false;   // genetic: `seed` given, otherwise the clock's
    uint32_t seed = 0;
};

// The points of a slot as read, for errors from the data: y linear as read (no floor, so that a
// background-subtracted value at or below 0 keeps its weight) and its 1-σ error dy > 0.
struct PointErrors {
    bool loaded = false;  // the last read of the slot's data file took its errors
    std::array<double, MAX_DATA> y{};
    std::array<double, MAX_DATA> dy{};
};

// The resolution of each point of a slot as read from the fourth number of its data file
// (ResolutionKind::ColumnFwhm or ColumnSigma): σ in x units (degrees of θ or 2θ, or 1/Å).
struct PointResolution {
    bool loaded = false;  // the last read of the slot's data file took its resolutions
    std::array<double, MAX_DATA> sigmaX{};
};

// Capacities of a resolution plan (per slot): panels of the q axis, kernel evaluations (nodes)
// and averaging weights of all points together.
constexpr int MAX_RES_PANELS = 4096;
constexpr int MAX_RES_NODES = 16384;
constexpr int MAX_RES_WEIGHTS = 196608;

// How a slot's curve is averaged over a pointwise resolution (made by physics/resolution.h): the
// reflectivity is computed once at the nodes of a shared grid in q, which covers every point's
// window q_i ± 3.5 σ_i in panels of Gauss-Legendre nodes, and each point's value is a weighted
// sum of the node values of its window. A plan is made afresh for each curve, or made once for a
// fit (`frozen`), covering the ranges of the fit's free offset and scale, so that the curve is a
// smooth function of every parameter while the fit runs.
struct ResolutionPlan {
    bool valid = false;      // made for the slot's current points and settings
    bool frozen = false;     // kept until the fit that made it ends
    bool coarsened = false;  // the grid was made coarser than its accuracy asks, to fit
    bool nodesFresh = false;  // the node values are the whole stack's as the plan was made
    int sampleCount = 0;      // reflectivities computed to make the plan (its nodes and checks)
    // The offset and scale the weights were made for.
    double weightShift = 0.0;
    double weightScale = 0.0;
    int points = 0;
    // Panels [panelLo, panelHi] in 1/Å, sorted and disjoint; panel p holds the nodes
    // panelNode[p] to panelNode[p + 1] - 1.
    int panelCount = 0;
    std::array<double, MAX_RES_PANELS> panelLo{};
    std::array<double, MAX_RES_PANELS> panelHi{};
    std::array<int, MAX_RES_PANELS + 1> panelNode{};
    // Nodes: q (1/Å) and the value f R there of the last evaluation (f the footprint fraction).
    int nodeCount = 0;
    std::array<double, MAX_RES_NODES> nodeQ{};
    std::array<double, MAX_RES_NODES> nodeValue{};
    // Per point: q_i, σ_i (1/Å, at scale 1), its nodes firstNode .. firstNode + nodeSpan - 1 and
    // their weights from firstWeight on.
    std::array<double, MAX_DATA> center{};
    std::array<double, MAX_DATA> sigma{};
    std::array<int, MAX_DATA> firstNode{};
    std::array<int, MAX_DATA> nodeSpan{};
    std::array<int, MAX_DATA> firstWeight{};
    int weightCount = 0;
    std::array<double, MAX_RES_WEIGHTS> weight{};
};

// The fronting medium given as a scattering length density in 1e-6 1/Å² (the imaginary part
// absorbing) rather than by δ and β: each slot then has its own δ = λ² RE 1e-6 / 2π and
// β = λ² IM 1e-6 / 2π at its own wavelength. The medium is one for all slots.
struct AmbientSld {
    bool given = false;
    double re = 0.0;
    double im = 0.0;
};

// The one store of the program: six slots and the shared globals. Over a megabyte, so it is
// made once on the heap (std::make_unique) and passed by reference.
struct ModelStore {
    std::array<DataSet, MAX_SLOTS> data{};
    std::array<LayerModel, MAX_SLOTS> layers{};
    std::array<TieTable, MAX_SLOTS> ties{};

    int nfile = 0;
    int curfile = 0;
    Medium ambient;  // the medium above every sample, index ambientN() = (1 - delta) + i beta
    AmbientSld ambientSld;  // when given, it defines the medium instead (ambientOf)
    std::array<DataOptions, MAX_SLOTS> dataOptions{};
    std::array<PointErrors, MAX_SLOTS> pointErrors{};
    std::array<PointResolution, MAX_SLOTS> pointResolution{};
    std::array<DataFileHeader, MAX_SLOTS> dataHeaders{};
    FitSettings fitSettings;
    // The text of the project file last opened: the keys it holds that this program does not know
    // (those of a newer version) are written again when the project is saved.
    std::string projectSource;
    std::array<ResolutionPlan, MAX_SLOTS> resolutionPlans{};
    bool rRfMode = false;
    double radPerDeg = RAD_PER_DEG;
    double degPerRad = DEG_PER_RAD;
    TokenTable tokens;
    std::string lastParamPath;
    std::string paramDir;  // material files are looked up here
    std::array<double, MAX_PROFILE> profileZ{};
    std::array<double, MAX_PROFILE> profileRho{};
    std::array<double, MAX_PROFILE> profileSldRe{};  // 1e-6 1/Å², computeSldProfile
    std::array<double, MAX_PROFILE> profileSldIm{};
    int nprofile = 0;
    int nfitParam = 0;  // fit parameters kept for "Recov"; every load and slot change clears it

    Complex ambientN() const { return ambient.index(); }
    DataSet& dataSet(int slot) { return data[slot]; }
    const DataSet& dataSet(int slot) const { return data[slot]; }
    LayerModel& layerModel(int slot) { return layers[slot]; }
    const LayerModel& layerModel(int slot) const { return layers[slot]; }
};

// The medium of a slab as the polarisation p (magMode) sees it: n - p magTerm, so that δ grows
// by p magTerm.
inline Medium effectiveMedium(const LayerEntry& slab, double p) {
    return {slab.medium.delta + p * slab.magTerm.re, slab.medium.beta - p * slab.magTerm.im};
}

// The medium above slot `slot`'s sample: `ambient`, or, when the fronting medium is given as an
// SLD, that SLD at the slot's wavelength.
Medium ambientOf(const ModelStore& store, int slot);

// δ and β of a scattering length density (1e-6 1/Å²) at the wavelength lamd (Å), by the first-
// order relation δ = λ² RE 1e-6 / 2π, β = λ² IM 1e-6 / 2π that holds for X-rays and neutrons.
Medium mediumOfSld(double re, double im, double lamd);

// Whether point i of a data set lies inside its x range, both ends included. Plots and fits take
// exactly these points, wherever they lie in the file.
inline bool inXRange(const DataSet& d, int i) {
    return d.xmin <= d.xData[i] && d.xData[i] <= d.xmax;
}

// Points of a slot inside its x range: first and last index and their count. Without such a
// point first = 1000000 and last = -1000000, so a loop from first to last does nothing. For data
// whose x is not sorted the indices between first and last need not all lie inside the range.
struct VisibleRange {
    int first = 1000000;
    int last = -1000000;
    int count = 0;
};
VisibleRange visibleRange(const ModelStore& store, int slot);

// "All Clear": empties every loaded slot's table and slab counts and forgets all slots (and the
// unknown keys of a project opened before).
void clearAll(ModelStore& store);

// The ambient medium (1 - delta) + i beta above every sample ("Set"). A delta of 1 or more (an
// index of zero or below) or a negative beta (a medium with gain) is refused (Refused) and the
// previous medium kept.
Status setAmbient(ModelStore& store, double delta, double beta);

}  // namespace tolvi
