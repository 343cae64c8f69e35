#include "model/param_file.h"

#include <cstring>

#include "base/text_io.h"

namespace tolvi {

namespace {

constexpr int MAX_LINE_CHARS = 99;  // what readLines takes as one line

constexpr double STEP_X0 = 0.02;
constexpr double STEP_LOGI0 = 0.02;
constexpr double STEP_BG = 0.1;

// The header as read, kept apart until it has been checked so that a refused file leaves the
// slot unchanged.
struct Header {
    int simFit = 0, yScale = 0, probe = 0, xAxis = 0;
    double magMode = 0.0, lamd = 0.0, divergence = 0.0, xmin = 0.0, xmax = 0.0;
    std::string dataName;
    BoundedParam scalar[3];
};

Header readHeader(ModelStore& store, const std::vector<CountedLine>& lines,
                  const std::string& path) {
    Header h;
    auto fields = [&](int index) {
        int count = splitLine(lines[index].text, 200, store.tokens);
        return LineFields(store.tokens, count, placeOf(path, lines[index].lineNo));
    };
    h.simFit = fields(0).integer(0);
    h.yScale = fields(1).integer(0);
    h.probe = fields(2).integer(0);
    h.xAxis = fields(3).integer(0);
    h.magMode = fields(4).real(0);
    h.lamd = fields(5).real(0);
    h.divergence = fields(6).real(0);
    LineFields range = fields(7);
    h.xmin = range.real(0);
    h.xmax = range.real(1);
    h.dataName = std::string(fields(8).text(0));
    for (int k = 0; k < 3; ++k) {
        LineFields f = fields(9 + k);
        BoundedParam& p = h.scalar[k];
        p.value = f.real(0);
        p.fit = f.truncated(1);
        p.min = f.real(2);
        p.max = f.real(3);
    }
    h.scalar[0].step = STEP_X0;
    h.scalar[1].step = STEP_LOGI0;
    h.scalar[2].step = STEP_BG;
    return h;
}

// Header values outside their sets would make later steps divide by zero or index nothing.
std::string checkHeader(const Header& h) {
    if (h.yScale != 0 && h.yScale != 1) return "--->Error Lin/Log (line 2) must be 0 or 1";
    if (h.probe != 0 && h.probe != 1) return "--->Error Xray/Neutron (line 3) must be 0 or 1";
    if (h.xAxis < 0 || h.xAxis > 2) return "--->Error th/2th/q (line 4) must be 0, 1 or 2";
    if (!(h.lamd > 0.0)) return "--->Error lamd (line 6) must be above 0";
    return {};
}

// A line in the writer's format, or, should that exceed what a reader takes as one line, the
// same fields with single blanks and as much of the comment as fits.
std::string fitLine(const std::string& full, const std::string& compact, const char* comment) {
    if (full.size() <= MAX_LINE_CHARS + 1) return full;
    std::string_view c(comment);
    c.remove_prefix(std::min(c.find_first_not_of(' '), c.size()));
    std::string shorter = compact + " " + std::string(c);
    if (shorter.size() <= MAX_LINE_CHARS) return shorter + "\n";
    return compact + "\n";
}

std::string scalarLine(const BoundedParam& p, const char* comment) {
    return fitLine(
        formatText("%10.6e %4d  %10.6e  %10.6e  %s \n", p.value, p.fit, p.min, p.max, comment),
        formatText("%.6e %d %.6e %.6e", p.value, p.fit, p.min, p.max), comment);
}

std::string entryParamLine(const BoundedParam& p, const char* comment) {
    return fitLine(
        formatText("%10.6e %4d  %10.6e  %10.6e %s \n", p.value, p.fit, p.min, p.max, comment),
        formatText("%.6e %d %.6e %.6e", p.value, p.fit, p.min, p.max), comment);
}

std::string fixedLine(double v, const char* comment) {
    return fitLine(formatText("%9.6f %s \n", v, comment), formatText("%.17g", v), comment);
}

}  // namespace

Status readParamHeader(ModelStore& store, int slot, ParamFileLines& file) {
    LayerModel& model = store.layerModel(slot);
    const std::string path = model.paramPath;
    file.list = readLines(path, MAX_PARAM_LINES);
    file.entries = 0;
    const LineList& list = file.list;
    if (list.status != 0 || list.lines.empty())
        return {-1, "--->Error open file ", Outcome::FileNotFound};
    if (list.overflow)
        return {1, "--->Error more than 200 layers in the parameter file", Outcome::FileRefused};
    int n = static_cast<int>(list.lines.size());
    if (n < PARAM_HEADER_LINES || (n - PARAM_HEADER_LINES) % PARAM_BLOCK_LINES != 0)
        return {1, "--->Error param line number. Line end space? ", Outcome::FileRefused};

    Header h = readHeader(store, list.lines, path);
    if (std::string refusal = checkHeader(h); !refusal.empty())
        return {1, refusal, Outcome::FileRefused};

    DataSet& d = store.dataSet(slot);
    model.simFit = h.simFit;
    d.yScale = h.yScale;
    d.probe = h.probe;
    d.xAxis = h.xAxis;
    d.magMode = h.magMode;
    d.lamd = h.lamd;
    d.divergence = h.divergence;
    d.xmin = h.xmin;
    d.xmax = h.xmax;
    store.paramDir = directoryOf(path);
    d.dataPath = store.paramDir + h.dataName;
    d.x0_shift = h.scalar[0];
    d.logI0 = h.scalar[1];
    d.bg = h.scalar[2];

    model.nlay = 0;
    model.nglay = 0;
    model.layall = 0;
    file.entries = (n - PARAM_HEADER_LINES) / PARAM_BLOCK_LINES;
    return Status::success("--->OK");
}

std::string formatParamFile(const ModelStore& store, int slot) {
    const DataSet& d = store.dataSet(slot);
    const LayerModel& model = store.layerModel(slot);
    std::string out;
    out += formatText("%10d %s \n", model.simFit, "           ; (0/1=sim/fit)");
    out += formatText("%10d %s \n", d.yScale, "           ; (0/1=Lin/Log)");
    out += formatText("%10d %s \n", d.probe, "           ; (0/1=Xray/Neutron) ");
    out += formatText("%10d %s \n", d.xAxis, "           ; (0/1/2=th, 2th, q)");
    out += fitLine(formatText("%10.0f %s \n", d.magMode, "           ; (0/1/-1=nonmag/pol+/pol-)"),
                   formatText("%.17g", d.magMode), "; (0/1/-1=nonmag/pol+/pol-)");
    // A wavelength too small for six decimals would read back as 0, which a load refuses.
    if (d.lamd > 0.0 && parseReal(formatText("%9.6f", d.lamd)) == 0.0)
        out += formatText("%.17g %s \n", d.lamd, "          ; lamd(A)");
    else
        out += fixedLine(d.lamd, "          ; lamd(A)");
    out += fixedLine(d.divergence, "         ; beam divergence (x-unit FWHM)");
    out += fitLine(
        formatText("%9.6f      %9.6f %s \n", d.xmin, d.xmax, "              ; x min max range"),
        formatText("%.17g %.17g", d.xmin, d.xmax), "; x min max range");
    // An empty name could not be read back (the line would hold no field).
    std::string dataName = fileNameOf(d.dataPath);
    if (dataName.empty()) dataName = "none";
    out += fitLine(formatText("%s %s \n", dataName.c_str(), "         ; data file name"), dataName,
                   "; data file name");
    out += scalarLine(d.x0_shift, "   ; x0_shift, fit, min, max");
    out += scalarLine(d.logI0, "   ; Log(I0), fit, min, max");
    out += scalarLine(d.bg, "   ; BG(cps), fit, min, max");

    for (int k = 0; k < model.nlay; ++k) {
        const LayerEntry& e = model.entries[k];
        const char* id = e.id.c_str();
        const char* material = e.material.c_str();
        if (e.kind == 1) {
            const char* comment = "                       ; group, name, rept, sigjoin";
            out +=
                fitLine(formatText("%s  %s %4d %3d %s\n", id, material, e.rept, e.sigjoin, comment),
                        formatText("%s %s %d %d", id, material, e.rept, e.sigjoin), comment);
        } else {
            const char* comment = e.kind == 2 ? "                               ; group, name"
                                  : k == 0    ? "                               ; layer, name "
                                                "--->(Substrate)"
                                              : "                               ; layer, name";
            out += fitLine(formatText("%s  %s  %s \n", id, material, comment),
                           formatText("%s %s", id, material), comment);
        }
        out += entryParamLine(e.rho, "   ; rho(g/cm3), fit, min, max");
        out += entryParamLine(e.t, "   ; t(A), fit, min, max");
        out += entryParamLine(e.sig, "   ; sig(A), fit, min, max");
        out += entryParamLine(e.mag, "   ; mag, fit, min, max");
    }
    return out;
}

Status writeParamFile(const ModelStore& store, int slot, const std::string& path) {
    return writeFileSafely(path, formatParamFile(store, slot));
}

}  // namespace tolvi
