#include "model/project_file.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <memory>
#include <span>

#include <nlohmann/json.hpp>

#include "base/text_io.h"

namespace tolvi {

namespace {

using json = nlohmann::json;

constexpr std::string_view PROJECT_FORMAT = "tolvi-project";
constexpr int JSON_INDENT = 2;
// What a ShortText holds (identifiers and material names): one character goes to the zero.
constexpr size_t SHORT_TEXT_CHARS = std::tuple_size_v<decltype(ShortText::chars)> - 1;

// The words of every coded setting in a project file, beside their codes.
struct Name {
    int code;
    std::string_view text;
};
constexpr Name Y_SCALES[] = {{0, "linear"}, {1, "log10"}};
constexpr Name PROBES[] = {{0, "xray"}, {1, "neutron"}};
constexpr Name HEADER_PROBES[] = {{-1, "unknown"}, {0, "xray"}, {1, "neutron"}};
constexpr Name X_AXES[] = {{0, "theta"}, {1, "2theta"}, {2, "q"}};
constexpr Name ENTRY_KINDS[] = {{0, "single"}, {1, "group"}, {2, "group-member"}};
constexpr Name FIT_METHODS[] = {{0, "least-squares"}, {1, "genetic"}};
constexpr Name ERROR_SOURCES[] = {{static_cast<int>(ErrorSource::Builtin), "builtin"},
                                  {static_cast<int>(ErrorSource::Data), "data"}};
constexpr Name STEP_RULES[] = {{static_cast<int>(StepRule::Fixed), "fixed"},
                               {static_cast<int>(StepRule::Relative), "relative"}};
constexpr Name RESOLUTION_KINDS[] = {
    {static_cast<int>(ResolutionKind::Divergence), "divergence"},
    {static_cast<int>(ResolutionKind::Column), "column"},
    {static_cast<int>(ResolutionKind::ColumnFwhm), "column:fwhm"},
    {static_cast<int>(ResolutionKind::ColumnSigma), "column:sigma"},
    {static_cast<int>(ResolutionKind::Relative), "relative"}};
constexpr Name FOOTPRINT_KINDS[] = {{static_cast<int>(FootprintKind::None), "none"},
                                    {static_cast<int>(FootprintKind::Gaussian), "gauss"},
                                    {static_cast<int>(FootprintKind::Uniform), "uniform"}};
constexpr Name WIDTHS[] = {{static_cast<int>(DataFileHeader::Width::Sigma), "sigma"},
                           {static_cast<int>(DataFileHeader::Width::Fwhm), "fwhm"},
                           {static_cast<int>(DataFileHeader::Width::Rectangular), "rectangular"}};

// The layer quantities under their keys, in LayerParam order.
constexpr const char* PARAM_KEYS[] = {"rho", "t", "sig", "mag"};

std::string nameOf(std::span<const Name> names, int code) {
    for (const Name& n : names)
        if (n.code == code) return std::string(n.text);
    // A code outside its set is written as it is, so that reading it back refuses it by name.
    return std::to_string(code);
}

// ---- The workspace as JSON ----

json paramJson(const BoundedParam& p) {
    return {{"value", p.value}, {"min", p.min}, {"max", p.max}, {"fit", p.fit}, {"step", p.step}};
}

json numbersJson(const std::array<double, MAX_DATA>& values, int count) {
    json out = json::array();
    for (int i = 0; i < count; ++i) out.push_back(values[i]);
    return out;
}

json dataJson(const DataSet& d, int n) {
    return {{"yScale", nameOf(Y_SCALES, d.yScale)},
            {"probe", nameOf(PROBES, d.probe)},
            {"xAxis", nameOf(X_AXES, d.xAxis)},
            {"lamd", d.lamd},
            {"divergence", d.divergence},
            {"magMode", d.magMode},
            {"xmin", d.xmin},
            {"xmax", d.xmax},
            {"x0_shift", paramJson(d.x0_shift)},
            {"logI0", paramJson(d.logI0)},
            {"bg", paramJson(d.bg)},
            {"npoints", n},
            {"xData", numbersJson(d.xData, n)},
            {"yLin", numbersJson(d.yLin, n)},
            {"yLog", numbersJson(d.yLog, n)},
            {"sigmaLog", numbersJson(d.sigmaLog, n)}};
}

json optionsJson(const DataOptions& o) {
    const ResolutionSettings& r = o.resolution;
    const FootprintSettings& f = o.footprint;
    return {{"errors", nameOf(ERROR_SOURCES, static_cast<int>(o.errors))},
            {"steps", nameOf(STEP_RULES, static_cast<int>(o.steps))},
            {"resolution",
             {{"kind", nameOf(RESOLUTION_KINDS, static_cast<int>(r.kind))},
              {"relativeFwhm", r.relativeFwhm},
              {"scale", paramJson(r.scale)}}},
            {"footprint",
             {{"kind", nameOf(FOOTPRINT_KINDS, static_cast<int>(f.kind))},
              {"beam", paramJson(f.beam)},
              {"sample", f.sample}}},
            {"dataSet", o.dataSet}};
}

json headerJson(const DataFileHeader& h) {
    return {{"orso", h.orso},
            {"dataSets", h.dataSets},
            {"dataSet", h.dataSet},
            {"qUnit", h.qUnit},
            {"resolutionWidth", nameOf(WIDTHS, static_cast<int>(h.resolutionWidth))},
            {"errorsFwhm", h.errorsFwhm},
            {"probe", nameOf(HEADER_PROBES, h.probe)},
            {"wavelength", h.wavelength}};
}

json entryJson(const LayerEntry& e) {
    json out = {{"id", std::string(e.id.view())},
                {"material", std::string(e.material.view())},
                {"kind", nameOf(ENTRY_KINDS, e.kind)},
                {"rept", e.rept},
                {"groupSize", e.groupSize},
                {"sigjoin", e.sigjoin},
                {"molarMass", e.molarMass},
                {"f1", e.f1},
                {"f2", e.f2},
                {"bCoh", e.bCoh},
                {"absXs", e.absXs}};
    for (int q = PARAM_RHO; q <= PARAM_MAG; ++q) out[PARAM_KEYS[q]] = paramJson(e.param(q));
    return out;
}

json slotJson(const ModelStore& store, int slot) {
    const DataSet& d = store.dataSet(slot);
    const LayerModel& model = store.layerModel(slot);
    const PointErrors& errors = store.pointErrors[slot];
    const PointResolution& widths = store.pointResolution[slot];
    int n = std::clamp(d.npoints, 0, MAX_DATA);
    int nlay = std::clamp(model.nlay, 0, MAX_ENTRIES);
    json layers = json::array();
    for (int k = 0; k < nlay; ++k) layers.push_back(entryJson(model.entries[k]));
    // Per-point arrays of a read that did not take them hold nothing of this data.
    return {{"paramPath", model.paramPath},
            {"dataPath", d.dataPath},
            {"simFit", model.simFit},
            {"data", dataJson(d, n)},
            {"pointErrors",
             {{"loaded", errors.loaded},
              {"y", numbersJson(errors.y, errors.loaded ? n : 0)},
              {"dy", numbersJson(errors.dy, errors.loaded ? n : 0)}}},
            {"pointResolution",
             {{"loaded", widths.loaded},
              {"sigmaX", numbersJson(widths.sigmaX, widths.loaded ? n : 0)}}},
            {"dataHeader", headerJson(store.dataHeaders[slot])},
            {"options", optionsJson(store.dataOptions[slot])},
            {"nlay", nlay},
            {"layers", std::move(layers)}};
}

json workspaceJson(const ModelStore& store) {
    const FitSettings& fit = store.fitSettings;
    int slots = workspaceSlots(store);
    json slotList = json::array();
    for (int s = 0; s < slots; ++s) slotList.push_back(slotJson(store, s));
    return {{"format", std::string(PROJECT_FORMAT)},
            {"version", PROJECT_VERSION},
            {"ambient", {{"delta", store.ambient.delta}, {"beta", store.ambient.beta}}},
            {"ambientSld",
             {{"given", store.ambientSld.given},
              {"re", store.ambientSld.re},
              {"im", store.ambientSld.im}}},
            {"rRfMode", store.rRfMode},
            {"curfile", store.curfile},
            {"fitSettings",
             {{"method", nameOf(FIT_METHODS, fit.method)},
              {"population", fit.population},
              {"maxGene", fit.maxGene},
              {"seeded", fit.seeded},
              {"seed", fit.seed}}},
            {"slots", std::move(slotList)}};
}

// Lays `current` over `base`: objects key by key (keys only `base` has stay), arrays element by
// element up to the length of `current` (so that the unknown keys of a layer stay with it),
// everything else replaced.
void overlay(json& base, const json& current) {
    if (base.is_object() && current.is_object()) {
        for (auto it = current.begin(); it != current.end(); ++it) overlay(base[it.key()], *it);
    } else if (base.is_array() && current.is_array()) {
        json::array_t& elements = base.get_ref<json::array_t&>();
        if (elements.size() > current.size()) elements.resize(current.size());
        for (size_t i = 0; i < current.size(); ++i) {
            if (i < elements.size())
                overlay(elements[i], current[i]);
            else
                elements.push_back(current[i]);
        }
    } else {
        base = current;
    }
}

// ---- Reading, key by key ----

constexpr double INF = std::numeric_limits<double>::infinity();

// What a number must be, and the words that ask for it. JSON has no NaN or infinity (a writer
// puts null in their place): every number read must be finite as well.
struct Range {
    double lo = -INF;
    double hi = INF;
    bool openLo = false;  // lo itself excluded
    bool openHi = false;  // hi itself excluded
    const char* expected = "a finite number";

    bool holds(double v) const {
        return std::isfinite(v) && (openLo ? v > lo : v >= lo) && (openHi ? v < hi : v <= hi);
    }
};
constexpr Range FINITE{};
constexpr Range ABOVE_ZERO{0.0, INF, true, false, "a number above 0"};
constexpr Range NOT_NEGATIVE{0.0, INF, false, false, "a number of 0 or more"};
constexpr Range BELOW_ONE{-INF, 1.0, false, true, "a number below 1"};
constexpr Range FRACTION{0.0, 1.0, false, true, "a number from 0 to below 1"};

std::string keyOf(const std::string& at, std::string_view name) {
    return at.empty() ? std::string(name) : at + "." + std::string(name);
}
std::string keyOf(const std::string& at, size_t index) {
    return at + "[" + std::to_string(index) + "]";
}

const json& emptyObject() {
    static const json empty = json::object();
    return empty;
}

// Reads the values of a project, each at its key path. The first refusal is kept and every
// later read gives a default without looking, so that a reader can run on and be asked once.
class Reader {
  public:
    explicit Reader(const std::string& path) : path_(path) {}

    bool failed() const { return !refusal_.empty(); }
    Status refusal() const { return {1, refusal_, Outcome::FileRefused}; }
    void refuse(const std::string& key, const std::string& what) {
        if (!failed())
            refusal_ = "--->Error, project key " + key + ": " + what + " (in " + path_ + ")";
    }

    const json* member(const json& obj, const std::string& at, std::string_view name) {
        if (failed()) return nullptr;
        auto it = obj.find(name);
        if (it != obj.end()) return &*it;
        refuse(keyOf(at, name), "missing");
        return nullptr;
    }

    // An object (a refused one reads as empty).
    const json& object(const json& value, const std::string& key) {
        if (!failed() && !value.is_object()) refuse(key, "an object expected");
        return failed() ? emptyObject() : value;
    }
    const json& object(const json& obj, const std::string& at, std::string_view name) {
        const json* v = member(obj, at, name);
        return v ? object(*v, keyOf(at, name)) : emptyObject();
    }

    // An array, of `length` elements when that is not negative (a refused one reads as empty).
    const json& array(const json& obj, const std::string& at, std::string_view name,
                      long long length = -1, const char* elements = "elements") {
        static const json empty = json::array();
        const json* v = member(obj, at, name);
        if (!v) return empty;
        if (!v->is_array()) {
            refuse(keyOf(at, name), "an array expected");
        } else if (length >= 0 && static_cast<long long>(v->size()) != length) {
            refuse(keyOf(at, name), formatText("an array of %lld %s expected, not %zu", length,
                                               elements, v->size()));
        }
        return failed() ? empty : *v;
    }

    double number(const json& obj, const std::string& at, std::string_view name,
                  const Range& range = FINITE) {
        const json* v = member(obj, at, name);
        return v ? numberOf(*v, keyOf(at, name), range) : 0.0;
    }
    double numberOf(const json& v, const std::string& key, const Range& range) {
        if (v.is_number() && range.holds(v.get<double>())) return v.get<double>();
        refuse(key, std::string(range.expected) + " expected");
        return 0.0;
    }

    long long integer(const json& obj, const std::string& at, std::string_view name,
                      long long lo = INT_MIN, long long hi = INT_MAX) {
        const json* v = member(obj, at, name);
        if (!v) return lo;
        bool whole = v->is_number_integer();
        // A count beyond what a signed integer holds is beyond every range asked for here.
        if (whole && v->is_number_unsigned() && v->get<uint64_t>() > uint64_t(LLONG_MAX))
            whole = false;
        long long x = whole ? v->get<long long>() : 0;
        if (whole && lo <= x && x <= hi) return x;
        std::string expected = lo == INT_MIN && hi == INT_MAX ? "an integer"
                               : hi == INT_MAX || hi == LLONG_MAX
                                   ? formatText("an integer of %lld or more", lo)
                                   : formatText("an integer from %lld to %lld", lo, hi);
        refuse(keyOf(at, name), expected + " expected");
        return lo;
    }

    bool flag(const json& obj, const std::string& at, std::string_view name) {
        const json* v = member(obj, at, name);
        if (v && v->is_boolean()) return v->get<bool>();
        if (v) refuse(keyOf(at, name), "true or false expected");
        return false;
    }

    std::string text(const json& obj, const std::string& at, std::string_view name) {
        const json* v = member(obj, at, name);
        if (v && v->is_string()) return v->get<std::string>();
        if (v) refuse(keyOf(at, name), "a text expected");
        return {};
    }

    int choice(const json& obj, const std::string& at, std::string_view name,
               std::span<const Name> names) {
        const json* v = member(obj, at, name);
        if (!v) return names[0].code;
        if (v->is_string())
            for (const Name& n : names)
                if (v->get_ref<const std::string&>() == n.text) return n.code;
        std::string expected = "one of";
        for (const Name& n : names) expected += " \"" + std::string(n.text) + "\"";
        refuse(keyOf(at, name), expected + " expected");
        return names[0].code;
    }

    BoundedParam param(const json& obj, const std::string& at, std::string_view name,
                       const Range& valueRange = FINITE) {
        std::string key = keyOf(at, name);
        const json& o = object(obj, at, name);
        BoundedParam p;
        p.value = number(o, key, "value", valueRange);
        p.min = number(o, key, "min");
        p.max = number(o, key, "max");
        p.fit = static_cast<int>(integer(o, key, "fit"));
        p.step = number(o, key, "step");
        return p;
    }

    // `count` numbers of the array `name` into the front of `out`.
    void numbers(const json& obj, const std::string& at, std::string_view name, int count,
                 std::array<double, MAX_DATA>& out, const Range& range = FINITE) {
        const json& values = array(obj, at, name, count, "numbers");
        for (int i = 0; i < count && !failed(); ++i)
            out[i] = numberOf(values[i], keyOf(keyOf(at, name), static_cast<size_t>(i)), range);
    }

  private:
    std::string path_;
    std::string refusal_;
};

void readDataSet(Reader& r, const json& o, const std::string& at, DataSet& d) {
    d.yScale = r.choice(o, at, "yScale", Y_SCALES);
    d.probe = r.choice(o, at, "probe", PROBES);
    d.xAxis = r.choice(o, at, "xAxis", X_AXES);
    d.lamd = r.number(o, at, "lamd", ABOVE_ZERO);
    d.divergence = r.number(o, at, "divergence");
    d.magMode = r.number(o, at, "magMode");
    d.xmin = r.number(o, at, "xmin");
    d.xmax = r.number(o, at, "xmax");
    d.x0_shift = r.param(o, at, "x0_shift");
    d.logI0 = r.param(o, at, "logI0");
    d.bg = r.param(o, at, "bg");
    d.npoints = static_cast<int>(r.integer(o, at, "npoints", 0, MAX_DATA));
    r.numbers(o, at, "xData", d.npoints, d.xData);
    r.numbers(o, at, "yLin", d.npoints, d.yLin);
    r.numbers(o, at, "yLog", d.npoints, d.yLog);
    r.numbers(o, at, "sigmaLog", d.npoints, d.sigmaLog);
}

void readPointArrays(Reader& r, const json& slot, const std::string& at, int n, PointErrors& e,
                     PointResolution& w) {
    std::string errorsAt = keyOf(at, "pointErrors");
    const json& errors = r.object(slot, at, "pointErrors");
    e.loaded = r.flag(errors, errorsAt, "loaded");
    int count = e.loaded ? n : 0;
    r.numbers(errors, errorsAt, "y", count, e.y);
    // The data reader leaves out a point whose error is 0: a loaded error is above 0.
    r.numbers(errors, errorsAt, "dy", count, e.dy, ABOVE_ZERO);

    std::string widthsAt = keyOf(at, "pointResolution");
    const json& widths = r.object(slot, at, "pointResolution");
    w.loaded = r.flag(widths, widthsAt, "loaded");
    r.numbers(widths, widthsAt, "sigmaX", w.loaded ? n : 0, w.sigmaX, NOT_NEGATIVE);
}

void readHeader(Reader& r, const json& o, const std::string& at, DataFileHeader& h) {
    h.orso = r.flag(o, at, "orso");
    h.dataSets = static_cast<int>(r.integer(o, at, "dataSets", 0));
    h.dataSet = static_cast<int>(r.integer(o, at, "dataSet", 0));
    h.qUnit = r.number(o, at, "qUnit", ABOVE_ZERO);
    h.resolutionWidth =
        static_cast<DataFileHeader::Width>(r.choice(o, at, "resolutionWidth", WIDTHS));
    h.errorsFwhm = r.flag(o, at, "errorsFwhm");
    h.probe = r.choice(o, at, "probe", HEADER_PROBES);
    h.wavelength = r.number(o, at, "wavelength", NOT_NEGATIVE);
}

void readOptions(Reader& r, const json& o, const std::string& at, DataOptions& options) {
    options.errors = static_cast<ErrorSource>(r.choice(o, at, "errors", ERROR_SOURCES));
    options.steps = static_cast<StepRule>(r.choice(o, at, "steps", STEP_RULES));
    options.dataSet = static_cast<int>(r.integer(o, at, "dataSet", 0));

    std::string resolutionAt = keyOf(at, "resolution");
    const json& resolution = r.object(o, at, "resolution");
    ResolutionSettings& res = options.resolution;
    res.kind =
        static_cast<ResolutionKind>(r.choice(resolution, resolutionAt, "kind", RESOLUTION_KINDS));
    res.relativeFwhm = r.number(resolution, resolutionAt, "relativeFwhm", FRACTION);
    // The scale multiplies every width, and no width is negative.
    res.scale = r.param(resolution, resolutionAt, "scale", NOT_NEGATIVE);

    std::string footprintAt = keyOf(at, "footprint");
    const json& footprint = r.object(o, at, "footprint");
    FootprintSettings& f = options.footprint;
    f.kind = static_cast<FootprintKind>(r.choice(footprint, footprintAt, "kind", FOOTPRINT_KINDS));
    f.beam = r.param(footprint, footprintAt, "beam", NOT_NEGATIVE);
    f.sample = r.number(footprint, footprintAt, "sample", NOT_NEGATIVE);
}

// An identifier or material name as the parameter-file reader takes one.
ShortText shortText(Reader& r, const json& o, const std::string& at, std::string_view name) {
    std::string text = r.text(o, at, name);
    if (!r.failed() && (text.empty() || text.size() > SHORT_TEXT_CHARS))
        r.refuse(keyOf(at, name),
                 formatText("a text of 1 to %zu characters expected", SHORT_TEXT_CHARS));
    ShortText out;
    out.assign(text);
    return out;
}

void readEntry(Reader& r, const json& value, const std::string& at, LayerEntry& e) {
    const json& o = r.object(value, at);
    e.id = shortText(r, o, at, "id");
    if (!r.failed() && e.id.chars[0] != 'S' && e.id.chars[0] != 'G')
        r.refuse(keyOf(at, "id"), "an identifier starting with S or G expected");
    e.material = shortText(r, o, at, "material");
    e.kind = r.choice(o, at, "kind", ENTRY_KINDS);
    e.rept = static_cast<int>(r.integer(o, at, "rept"));
    e.groupSize = static_cast<int>(r.integer(o, at, "groupSize"));
    e.sigjoin = static_cast<int>(r.integer(o, at, "sigjoin"));
    for (int q = PARAM_RHO; q <= PARAM_MAG; ++q) e.param(q) = r.param(o, at, PARAM_KEYS[q]);
    // The material reader refuses a molar mass that is not above 0: the index divides by it.
    e.molarMass = r.number(o, at, "molarMass", ABOVE_ZERO);
    e.f1 = r.number(o, at, "f1");
    e.f2 = r.number(o, at, "f2");
    e.bCoh = r.number(o, at, "bCoh");
    e.absXs = r.number(o, at, "absXs");
}

void readLayers(Reader& r, const json& slot, const std::string& at, LayerModel& model) {
    std::string layersAt = keyOf(at, "layers");
    const json& layers = r.array(slot, at, "layers");
    if (!r.failed() && layers.size() > size_t(MAX_ENTRIES))
        r.refuse(layersAt, formatText("at most %d layers expected", MAX_ENTRIES));
    int nlay = static_cast<int>(r.integer(slot, at, "nlay", 0, MAX_ENTRIES));
    if (!r.failed() && size_t(nlay) != layers.size())
        r.refuse(keyOf(at, "nlay"),
                 formatText("the number of layers (%zu) expected", layers.size()));
    model.nlay = 0;
    model.nglay = 0;
    model.layall = 0;
    for (int k = 0; k < nlay && !r.failed(); ++k) {
        std::string entryAt = keyOf(layersAt, static_cast<size_t>(k));
        LayerEntry& e = model.entries[k];
        readEntry(r, layers[k], entryAt, e);
        // A member belongs to the group above it, as in a parameter file.
        if (e.kind == 2 && (k == 0 || model.entries[k - 1].kind == 0))
            r.refuse(keyOf(entryAt, "kind"), "a group member below a group expected");
        if (e.kind == 1) ++model.nglay;
    }
    model.nlay = nlay;
}

void readSlot(Reader& r, const json& value, const std::string& at, ModelStore& store, int slot) {
    const json& o = r.object(value, at);
    LayerModel& model = store.layerModel(slot);
    DataSet& d = store.dataSet(slot);
    model.paramPath = r.text(o, at, "paramPath");
    d.dataPath = r.text(o, at, "dataPath");
    model.simFit = static_cast<int>(r.integer(o, at, "simFit"));
    readDataSet(r, r.object(o, at, "data"), keyOf(at, "data"), d);
    readPointArrays(r, o, at, d.npoints, store.pointErrors[slot], store.pointResolution[slot]);
    readHeader(r, r.object(o, at, "dataHeader"), keyOf(at, "dataHeader"), store.dataHeaders[slot]);
    readOptions(r, r.object(o, at, "options"), keyOf(at, "options"), store.dataOptions[slot]);
    readLayers(r, o, at, model);
}

void readWorkspace(Reader& r, const json& root, ModelStore& store) {
    const std::string top;
    const json& ambient = r.object(root, top, "ambient");
    store.ambient.delta = r.number(ambient, "ambient", "delta", BELOW_ONE);
    store.ambient.beta = r.number(ambient, "ambient", "beta", NOT_NEGATIVE);
    const json& sld = r.object(root, top, "ambientSld");
    store.ambientSld.given = r.flag(sld, "ambientSld", "given");
    store.ambientSld.re = r.number(sld, "ambientSld", "re");
    store.ambientSld.im = r.number(sld, "ambientSld", "im", NOT_NEGATIVE);
    store.rRfMode = r.flag(root, top, "rRfMode");

    const json& fit = r.object(root, top, "fitSettings");
    FitSettings& f = store.fitSettings;
    f.method = r.choice(fit, "fitSettings", "method", FIT_METHODS);
    f.population = static_cast<int>(r.integer(fit, "fitSettings", "population"));
    f.maxGene = static_cast<int>(r.integer(fit, "fitSettings", "maxGene"));
    f.seeded = r.flag(fit, "fitSettings", "seeded");
    f.seed = static_cast<uint32_t>(r.integer(fit, "fitSettings", "seed", 0, UINT32_MAX));

    const json& slots = r.array(root, top, "slots");
    if (!r.failed() && slots.size() > size_t(MAX_SLOTS))
        r.refuse("slots", formatText("at most %d slots expected", MAX_SLOTS));
    int count = r.failed() ? 0 : static_cast<int>(slots.size());
    for (int s = 0; s < count && !r.failed(); ++s)
        readSlot(r, slots[s], keyOf("slots", static_cast<size_t>(s)), store, s);
    store.nfile = count;
    long long curfile = r.integer(root, top, "curfile");
    long long last = std::max(count - 1, 0);
    store.curfile = static_cast<int>(std::clamp(curfile, 0LL, last));
}

// The parser's words without the library's error number in front of them.
std::string reasonOf(const json::exception& e) {
    std::string_view what = e.what();
    size_t end = what.find("] ");
    return std::string(end == std::string_view::npos ? what : what.substr(end + 2));
}

Status notAProject(const std::string& path, const std::string& why) {
    return {1, "--->Error, " + path + " is not a project file: " + why, Outcome::FileRefused};
}

// Stops at the value of the top-level key "format": whether it is the project format. Any
// other shape of text (an array, a scalar, no JSON at all) ends the search at once.
class FormatProbe : public json::json_sax_t {
  public:
    bool found = false;

    bool null() override { return other(); }
    bool boolean(bool) override { return other(); }
    bool number_integer(number_integer_t) override { return other(); }
    bool number_unsigned(number_unsigned_t) override { return other(); }
    bool number_float(number_float_t, const string_t&) override { return other(); }
    bool binary(binary_t&) override { return other(); }
    bool string(string_t& s) override {
        if (!atFormat()) return true;
        found = s == PROJECT_FORMAT;
        return false;
    }
    bool start_object(std::size_t) override {
        if (atFormat()) return false;
        ++depth_;
        return true;
    }
    bool key(string_t& k) override {
        formatKey_ = depth_ == 1 && k == "format";
        return true;
    }
    bool end_object() override {
        --depth_;
        return depth_ > 0;
    }
    bool start_array(std::size_t) override {
        if (depth_ == 0 || atFormat()) return false;
        ++depth_;
        return true;
    }
    bool end_array() override {
        --depth_;
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

  private:
    bool atFormat() const { return depth_ == 1 && formatKey_; }
    bool other() { return !atFormat() && depth_ > 0; }
    int depth_ = 0;
    bool formatKey_ = false;
};

}  // namespace

int workspaceSlots(const ModelStore& store) {
    // The template is read into slot 0 without counting it; its table is still the workspace.
    int slots = std::clamp(store.nfile, 0, MAX_SLOTS);
    if (slots == 0 && store.layerModel(0).nlay > 0) slots = 1;
    return slots;
}

std::string projectText(const ModelStore& store) {
    json out;
    if (!store.projectSource.empty()) out = json::parse(store.projectSource, nullptr, false);
    if (!out.is_object()) out = json::object();
    overlay(out, workspaceJson(store));
    // A path or name that is not UTF-8 is written with U+FFFD in place of its stray bytes,
    // rather than not at all.
    return out.dump(JSON_INDENT, ' ', false, json::error_handler_t::replace) + "\n";
}

// Writing a document (dump) recurses once per level: a project nested deeper than any this
// program writes is refused as it is read, so that keeping its unknown keys cannot exhaust the
// stack when it is saved.
constexpr int MAX_PROJECT_DEPTH = 64;

Status readProjectText(ModelStore& store, std::string_view text, const std::string& path) {
    json root;
    bool tooDeep = false;
    auto limitDepth = [&tooDeep](int depth, json::parse_event_t, json&) {
        if (depth > MAX_PROJECT_DEPTH) tooDeep = true;
        return !tooDeep;
    };
    try {
        root = json::parse(text, limitDepth);
        if (tooDeep)
            return notAProject(path, formatText("nested deeper than %d levels", MAX_PROJECT_DEPTH));
    } catch (const json::parse_error& e) {
        return notAProject(path,
                           formatText("not JSON at byte %zu (%s)", e.byte, reasonOf(e).c_str()));
    } catch (const json::exception& e) {
        return notAProject(path, "not JSON (" + reasonOf(e) + ")");
    }
    if (!root.is_object()) return notAProject(path, "not a JSON object");
    auto format = root.find("format");
    if (format == root.end() || !format->is_string() ||
        format->get_ref<const std::string&>() != PROJECT_FORMAT)
        return notAProject(path, "its key format is not \"tolvi-project\"");

    Reader r(path);
    long long version = r.integer(root, {}, "version", 1, LLONG_MAX);
    auto read = std::make_unique<ModelStore>();
    readWorkspace(r, root, *read);
    if (r.failed()) return r.refusal();
    read->projectSource = std::string(text);
    takeWorkspace(store, *read);
    if (version > PROJECT_VERSION)
        return Status::warning(
            formatText("--->Warning, %s is a project of a newer version (%lld): "
                       "what this version does not know is kept as it is",
                       path.c_str(), version));
    return Status::success("--->OK");
}

bool isProjectFile(const std::string& path) noexcept {
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in) return false;
        FormatProbe probe;
        json::sax_parse(in, &probe);
        return probe.found;
    } catch (...) {
        return false;
    }
}

void takeWorkspace(ModelStore& store, const ModelStore& from) {
    store.data = from.data;
    store.layers = from.layers;
    store.ties = from.ties;
    store.nfile = from.nfile;
    store.curfile = from.curfile;
    store.ambient = from.ambient;
    store.ambientSld = from.ambientSld;
    store.dataOptions = from.dataOptions;
    store.pointErrors = from.pointErrors;
    store.pointResolution = from.pointResolution;
    store.dataHeaders = from.dataHeaders;
    store.fitSettings = from.fitSettings;
    store.projectSource = from.projectSource;
    store.resolutionPlans = from.resolutionPlans;
    store.rRfMode = from.rRfMode;
    store.nfitParam = 0;
}

}  // namespace tolvi
