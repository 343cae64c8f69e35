#include "ui/data_settings.h"

#include "base/text_io.h"
#include "model/tables.h"

namespace tolvi::ui {

namespace {

Status refused(const std::string& reason) {
    return {1, "--->Error, " + reason, Outcome::Refused};
}

// A free quantity's range, as tolvi-cli's --fit-... options take it: min < max with the start
// inside.
Status readFitRange(const std::string& minText, const std::string& maxText, const std::string& name,
                    BoundedParam& p) {
    double lo = parseReal(minText, "field " + name + " min");
    double hi = parseReal(maxText, "field " + name + " max");
    if (!(lo < hi)) return refused("fitting the " + name + " needs min < max");
    if (!(lo <= p.value && p.value <= hi))
        return refused(
            formatText("the %s's start %g must lie within min and max", name.c_str(), p.value));
    p.min = lo;
    p.max = hi;
    p.fit = 1;
    return Status::success("");
}

Status readResolution(const DataSettingsChoice& c, ResolutionSettings& r) {
    r.kind = c.resolution;
    if (r.kind == ResolutionKind::Divergence) {
        if (c.fitScale)
            return refused("fitting the scale needs a resolution other than the divergence");
        return Status::success("");
    }
    if (r.kind == ResolutionKind::Relative) {
        double f = parseReal(c.relativeFwhm, "field dQ/Q");
        if (!(f > 0.0 && f < 1.0))
            return refused("dQ/Q needs 0 < F < 1 (0.05 for 5 %), not " + c.relativeFwhm);
        r.relativeFwhm = f;
    }
    double scale = parseReal(c.scale, "field scale");
    if (!(scale > 0.0)) return refused("the resolution scale must be above 0");
    r.scale.value = r.scale.min = r.scale.max = scale;
    if (!c.fitScale) return Status::success("");
    Status s = readFitRange(c.scaleMin, c.scaleMax, "scale", r.scale);
    if (s.ok() && r.scale.min < 0.0) return refused("the scale must not be negative");
    return s;
}

Status readFootprint(const DataSettingsChoice& c, FootprintSettings& f) {
    f.kind = c.footprint;
    if (f.kind == FootprintKind::None) {
        if (c.fitBeam) return refused("fitting the beam width needs a footprint");
        return Status::success("");
    }
    double beam = parseReal(c.beam, "field beam width");
    double sample = parseReal(c.sample, "field sample length");
    if (!(beam > 0.0 && sample > 0.0))
        return refused("the beam width and the sample length must be above 0");
    f.beam.value = f.beam.min = f.beam.max = beam;
    f.sample = sample;
    if (!c.fitBeam) return Status::success("");
    Status s = readFitRange(c.beamMin, c.beamMax, "beam width", f.beam);
    if (s.ok() && !(f.beam.min > 0.0)) return refused("the beam width must stay above 0");
    return s;
}

// The rules of setAmbient and of an SLD ambient ("Set"), checked before anything is applied;
// the texts are theirs.
Status readFronting(const DataSettingsChoice& c, DataSettingsValues& v) {
    v.frontingSld = c.frontingSld;
    if (c.frontingSld) {
        v.fronting1 = parseReal(c.fronting1, "field SLD Re");
        v.fronting2 = parseReal(c.fronting2, "field SLD Im");
        if (!(v.fronting2 >= 0.0)) return refused("ambient SLD Im must not be negative");
        return Status::success("");
    }
    v.fronting1 = parseReal(c.fronting1, "field δ");
    v.fronting2 = parseReal(c.fronting2, "field β");
    if (!(v.fronting1 < 1.0)) return refused("ambient delta must be below 1");
    if (!(v.fronting2 >= 0.0)) return refused("ambient beta must not be negative");
    return Status::success("");
}

// A data set from 0 on, as a whole number.
Status readDataSet(const DataSettingsChoice& c, int& dataSet) {
    dataSet = parseInt(c.dataSet, "field data set");
    if (dataSet < 0) return refused("the data set is counted from 0 (the file's first)");
    return Status::success("");
}

bool sameParam(const BoundedParam& a, const BoundedParam& b) {
    return a.value == b.value && a.min == b.min && a.max == b.max && a.fit == b.fit &&
           a.step == b.step;
}

// Four significant digits: enough to tell values apart in a one-line summary.
std::string shortNumber(double v) {
    return formatText("%.4g", v);
}

std::string freeMark(const BoundedParam& p) {
    return p.fit > 0 ? " (fit)" : "";
}

std::string resolutionText(const ResolutionSettings& r) {
    std::string text;
    switch (r.kind) {
        case ResolutionKind::Divergence:
            return "divergence";
        case ResolutionKind::ColumnFwhm:
            text = "FWHM from column 4";
            break;
        case ResolutionKind::ColumnSigma:
            text = "σ from column 4";
            break;
        case ResolutionKind::Column:
            text = "column 4 as the file's header says";
            break;
        case ResolutionKind::Relative:
            text = "dQ/Q " + shortNumber(100.0 * r.relativeFwhm) + " %";
            break;
    }
    return text + ", scale " + shortNumber(r.scale.value) + freeMark(r.scale);
}

// Beam width, then sample length.
std::string footprintText(const FootprintSettings& f) {
    if (f.kind == FootprintKind::None) return "none";
    return std::string(f.kind == FootprintKind::Gaussian ? "Gaussian " : "uniform ") +
           shortNumber(f.beam.value) + " mm" + freeMark(f.beam) + " / " + shortNumber(f.sample) +
           " mm";
}

std::string frontingText(const ModelStore& store) {
    const AmbientSld& sld = store.ambientSld;
    if (!sld.given)
        return "δ " + shortNumber(store.ambient.delta) + " β " + shortNumber(store.ambient.beta);
    std::string text = "SLD " + shortNumber(sld.re);
    if (sld.im != 0.0) text += formatText("%+.4gi", sld.im);
    return text;
}

// What an ORSO file's header said: which of its data sets was read, the unit of Qz, the meaning
// of sQz, the probe and wavelength where it says them.
std::string orsoText(const DataFileHeader& h) {
    std::string text = h.dataSets == 1
                           ? std::string("ORSO: 1 data set")
                           : formatText("ORSO: data set %d of %d", h.dataSet, h.dataSets);
    text += h.qUnit == 1.0 ? " · Qz in 1/Å" : " · Qz in 1/nm";
    switch (h.resolutionWidth) {
        case DataFileHeader::Width::Sigma:
            text += " · sQz σ";
            break;
        case DataFileHeader::Width::Fwhm:
            text += " · sQz FWHM";
            break;
        case DataFileHeader::Width::Rectangular:
            text += " · sQz rectangular (full width)";
            break;
    }
    std::string beam;
    if (h.probe == 0) beam = "X-ray";
    if (h.probe == 1) beam = "neutron";
    if (h.wavelength > 0.0) beam += (beam.empty() ? "" : ", ") + shortNumber(h.wavelength) + " Å";
    if (!beam.empty()) text += " · " + beam;
    return text;
}

}  // namespace

DataSettingsChoice dataSettingsChoice(const ModelStore& store, int slot) {
    const DataOptions& o = store.dataOptions[slot];
    DataSettingsChoice c;
    c.slot = slot;
    c.errors = o.errors;
    c.steps = o.steps;
    const ResolutionSettings& r = o.resolution;
    c.resolution = r.kind;
    if (r.kind == ResolutionKind::Relative) c.relativeFwhm = numberText(r.relativeFwhm);
    c.scale = numberText(r.scale.value);
    c.fitScale = r.scale.fit > 0;
    if (c.fitScale) {
        c.scaleMin = numberText(r.scale.min);
        c.scaleMax = numberText(r.scale.max);
    }
    const FootprintSettings& f = o.footprint;
    c.footprint = f.kind;
    if (f.kind != FootprintKind::None) {
        c.beam = numberText(f.beam.value);
        c.sample = numberText(f.sample);
    }
    c.fitBeam = f.beam.fit > 0;
    if (c.fitBeam) {
        c.beamMin = numberText(f.beam.min);
        c.beamMax = numberText(f.beam.max);
    }
    c.frontingSld = store.ambientSld.given;
    c.fronting1 = numberText(c.frontingSld ? store.ambientSld.re : store.ambient.delta);
    c.fronting2 = numberText(c.frontingSld ? store.ambientSld.im : store.ambient.beta);
    c.dataSet = integerText(o.dataSet);
    return c;
}

Status readDataSettings(const DataSettingsChoice& choice, DataSettingsValues& values) {
    values = {};
    values.options.errors = choice.errors;
    values.options.steps = choice.steps;
    values.allSlots = choice.allSlots;
    try {
        Status s = readDataSet(choice, values.options.dataSet);
        if (s.ok()) s = readResolution(choice, values.options.resolution);
        if (s.ok()) s = readFootprint(choice, values.options.footprint);
        if (s.ok()) s = readFronting(choice, values);
        return s;
    } catch (const NumberError& e) {
        return refused(e.what());
    }
}

bool sameDataOptions(const DataOptions& a, const DataOptions& b) {
    const ResolutionSettings &ra = a.resolution, &rb = b.resolution;
    const FootprintSettings &fa = a.footprint, &fb = b.footprint;
    return a.errors == b.errors && a.steps == b.steps && a.dataSet == b.dataSet &&
           ra.kind == rb.kind && ra.relativeFwhm == rb.relativeFwhm &&
           sameParam(ra.scale, rb.scale) && fa.kind == fb.kind && sameParam(fa.beam, fb.beam) &&
           fa.sample == fb.sample;
}

std::string dataSettingsSummary(const ModelStore& store, int slot) {
    const DataOptions& o = store.dataOptions[slot];
    std::string text = std::string("errors: ") +
                       (o.errors == ErrorSource::Data ? "data" : "built-in") +
                       " · steps: " + (o.steps == StepRule::Relative ? "relative" : "fixed") +
                       " · resolution: " + resolutionText(o.resolution);
    // A header is the last read data file's: a slot no longer loaded, or one that simulates
    // (and so reads no file), keeps the header of an earlier read, which says nothing now.
    const DataFileHeader& header = store.dataHeaders[slot];
    bool orso = slot < store.nfile && store.layerModel(slot).simFit != 0 && header.orso;
    // The header's line names the data set read; without it the choice is said here.
    if (o.dataSet != 0 && !orso) text += formatText(" · data set %d", o.dataSet);
    text += "\nfootprint: " + footprintText(o.footprint) + " · fronting: " + frontingText(store);
    if (orso) text += '\n' + orsoText(header);
    return text;
}

}  // namespace tolvi::ui
