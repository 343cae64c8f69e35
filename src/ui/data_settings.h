#pragma once

#include <array>
#include <string>

#include "base/status.h"
#include "model/model_store.h"

// The settings of a slot's measured data (errors, steps, resolution, footprint) and the fronting
// medium, as the data settings dialog shows and takes them. Plain C++ so that the dialog, the
// window and their tests share one reading of the choices and one set of rules.
namespace tolvi::ui {

// The items of the dialog's option groups, in the order they are shown.
constexpr std::array<ErrorSource, 2> ERROR_SOURCE_ITEMS = {ErrorSource::Builtin, ErrorSource::Data};
constexpr std::array<StepRule, 2> STEP_RULE_ITEMS = {StepRule::Fixed, StepRule::Relative};
constexpr std::array<ResolutionKind, 5> RESOLUTION_ITEMS = {
    ResolutionKind::Divergence, ResolutionKind::ColumnFwhm, ResolutionKind::ColumnSigma,
    ResolutionKind::Relative, ResolutionKind::Column};
constexpr std::array<FootprintKind, 3> FOOTPRINT_ITEMS = {
    FootprintKind::None, FootprintKind::Gaussian, FootprintKind::Uniform};

// What the dialog shows and what the user accepted: the options as picked and the fields as
// typed. Numbers stay texts until readDataSettings reads them, so that a refused value is shown
// as it was typed.
struct DataSettingsChoice {
    int slot = 0;  // the data set (0-based) whose settings these are, for the dialog's title
    ErrorSource errors = ErrorSource::Builtin;
    StepRule steps = StepRule::Fixed;
    ResolutionKind resolution = ResolutionKind::Divergence;
    std::string relativeFwhm;  // Relative: FWHM dQ/Q as a fraction (0.05 for 5 %)
    std::string scale = "1";   // multiplies every σ_i; the start value of a fit
    bool fitScale = false;
    std::string scaleMin;
    std::string scaleMax;
    FootprintKind footprint = FootprintKind::None;
    std::string beam;    // mm, FWHM of a Gaussian beam or full width of a uniform one
    std::string sample;  // mm
    bool fitBeam = false;
    std::string beamMin;
    std::string beamMax;
    bool frontingSld = false;     // the two fields are the SLD (1e-6/Å²), not δ and β
    std::string fronting1 = "0";  // δ, or the SLD's real part
    std::string fronting2 = "0";  // β, or the SLD's imaginary part
    // The data set read from a file that holds several (an ORSO file), 0-based as the file
    // numbers them. Each slot keeps its own: "apply to all" does not hand it on.
    std::string dataSet = "0";
    bool allSlots = false;  // errors, steps, resolution and footprint for F1 to F6
};

// The values of an accepted choice.
struct DataSettingsValues {
    DataOptions options;
    bool frontingSld = false;
    double fronting1 = 0.0;
    double fronting2 = 0.0;
    bool allSlots = false;
};

// The choice that shows a slot's options and the store's fronting medium.
DataSettingsChoice dataSettingsChoice(const ModelStore& store, int slot);

// Reads a choice under the rules of tolvi-cli's options: a data set from 0 on (whether the file
// holds it is the reader's to say); dQ/Q with 0 < F < 1; a resolution scale above 0, free only
// for a pointwise resolution, with 0 <= min < max and the scale within; a beam width and sample
// length above 0 for a footprint, the beam free only with a footprint, with
// 0 < min < max and the beam within; δ below 1, β and the SLD's imaginary part not negative.
// Fields of options not chosen are not read. Status 0, or 1 (Refused) with the reason of the
// first refusal ("--->Error, ..."), an unreadable number included; `values` is then incomplete.
Status readDataSettings(const DataSettingsChoice& choice, DataSettingsValues& values);

// Whether two slots' options are the same in every field (the data then need no new reading).
bool sameDataOptions(const DataOptions& a, const DataOptions& b);

// A slot's settings and the fronting medium in two or three lines for the window, e.g.
// "errors: data · steps: relative · resolution: dQ/Q 5 %, scale 1.2 (fit)\n
//  footprint: Gaussian 0.1 mm / 20 mm · fronting: SLD 2.07" (beam width / sample length). For a
// loaded slot whose data file is an ORSO file a third line says what its header said:
// "ORSO: data set 1 of 2 · Qz in 1/nm · sQz FWHM · neutron, 5 Å"; without that line, a data set
// other than 0 is said at the end of the first (" · data set 1").
std::string dataSettingsSummary(const ModelStore& store, int slot);

}  // namespace tolvi::ui
