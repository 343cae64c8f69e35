#include "model/orso_writer.h"

#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

#include "base/constants.h"
#include "base/text_io.h"

namespace tolvi {

namespace {

constexpr const char* FIRST_LINE =
    "# # ORSO reflectivity data file | 1.1 standard | YAML encoding | "
    "https://www.reflectometry.org/";
constexpr const char* MODEL_REFERENCE =
    "ORSO model language | 1.0 | https://www.reflectometry.org/projects/simple_model";
constexpr const char* Q_UNIT = "1/angstrom";
constexpr const char* LENGTH_UNIT = "angstrom";
constexpr const char* SLD_UNIT = "1/angstrom^2";
// The width of a column: "%-22.16e" and the blank after it.
constexpr int COLUMN_WIDTH = 23;

// The shortest text that reads back to the same double, independent of the locale. An exponent
// form gets a decimal point ("2.0e-06"), without which a YAML 1.1 reader takes it for a string.
std::string numberText(double value) {
    std::array<char, 32> buffer{};
    auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    std::string text(buffer.data(), ec == std::errc() ? end : buffer.data());
    size_t exponent = text.find('e');
    if (exponent != std::string::npos && text.find('.') == std::string::npos)
        text.insert(exponent, ".0");
    return text;
}

// SLD (1/Å²) of a refractive-index decrement at the wavelength lamd (Å): 2π δ / λ².
double sldOf(double decrement, double lamd) {
    return TWO_PI * decrement / (lamd * lamd);
}

// A name of the model language: letters, digits and "_" of the material's name without ".mf".
std::string slabName(std::string_view material, int index) {
    if (material.size() > 3 && material.substr(material.size() - 3) == ".mf")
        material.remove_suffix(3);
    std::string name;
    for (char c : material)
        name += std::isalnum(static_cast<unsigned char>(c)) || c == '_' ? c : '_';
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name.front())))
        name.insert(0, "slab");
    return name + formatText("_%d", index);
}

void emitNumber(YAML::Emitter& out, const char* key, double value) {
    out << YAML::Key << key << YAML::Value << numberText(value);
}

// {magnitude: V, unit: U}
void emitQuantity(YAML::Emitter& out, const char* key, double value, const char* unit) {
    out << YAML::Key << key << YAML::Value << YAML::Flow << YAML::BeginMap;
    emitNumber(out, "magnitude", value);
    out << YAML::Key << "unit" << YAML::Value << unit << YAML::EndMap;
}

void emitModel(YAML::Emitter& out, const std::vector<OrsoSlab>& stack) {
    std::string line;
    for (const OrsoSlab& slab : stack) line += (line.empty() ? "" : " | ") + slab.name;
    out << YAML::Key << "model" << YAML::Value << YAML::BeginMap;
    out << YAML::Key << "stack" << YAML::Value << line;
    out << YAML::Key << "layers" << YAML::Value << YAML::BeginMap;
    for (const OrsoSlab& slab : stack) {
        out << YAML::Key << slab.name << YAML::Value << YAML::BeginMap;
        if (slab.hasThickness) emitQuantity(out, "thickness", slab.thickness, LENGTH_UNIT);
        if (slab.hasRoughness) emitQuantity(out, "roughness", slab.roughness, LENGTH_UNIT);
        out << YAML::Key << "material" << YAML::Value << YAML::Flow << YAML::BeginMap;
        out << YAML::Key << "sld" << YAML::Value << YAML::BeginMap;
        emitNumber(out, "real", slab.sldRe);
        emitNumber(out, "imag", slab.sldIm);
        out << YAML::Key << "unit" << YAML::Value << SLD_UNIT << YAML::EndMap;
        out << YAML::EndMap << YAML::EndMap;
    }
    out << YAML::EndMap;
    out << YAML::Key << "globals" << YAML::Value << YAML::Flow << YAML::BeginMap << YAML::Key
        << "length_unit" << YAML::Value << LENGTH_UNIT << YAML::Key << "sld_unit" << YAML::Value
        << SLD_UNIT << YAML::EndMap;
    out << YAML::Key << "reference" << YAML::Value << MODEL_REFERENCE;
    out << YAML::Key << "origin" << YAML::Value
        << "the expanded slab stack of the Tolvi model whose curve is column Rcalc";
    out << YAML::EndMap;
}

// The keys that differ between data sets: the source (title, probe, sample model, wavelength,
// angles, data file) and the analysis (scale and background). Data set 0 also says who owns
// the data, which no later data set repeats.
void emitDataSource(YAML::Emitter& out, const OrsoDataSet& set, bool first) {
    static const char* const PROBE[] = {"x-ray", "neutron"};
    out << YAML::Key << "data_source" << YAML::Value << YAML::BeginMap;
    if (first)
        out << YAML::Key << "owner" << YAML::Value << YAML::Flow << YAML::BeginMap << YAML::Key
            << "name" << YAML::Value << YAML::Null << YAML::Key << "affiliation" << YAML::Value
            << YAML::Null << YAML::EndMap;
    out << YAML::Key << "experiment" << YAML::Value << YAML::BeginMap;
    out << YAML::Key << "title" << YAML::Value << set.title;
    if (first) {
        out << YAML::Key << "instrument" << YAML::Value << YAML::Null;
        out << YAML::Key << "start_date" << YAML::Value << YAML::Null;
    }
    out << YAML::Key << "probe" << YAML::Value << PROBE[set.probe == 1 ? 1 : 0] << YAML::EndMap;
    out << YAML::Key << "sample" << YAML::Value << YAML::BeginMap;
    out << YAML::Key << "name" << YAML::Value << set.title;
    emitModel(out, set.stack);
    out << YAML::EndMap;
    out << YAML::Key << "measurement" << YAML::Value << YAML::BeginMap;
    out << YAML::Key << "instrument_settings" << YAML::Value << YAML::BeginMap;
    if (set.q.empty()) {
        out << YAML::Key << "incident_angle" << YAML::Value << YAML::Null;
    } else {
        auto [lo, hi] = std::minmax_element(set.q.begin(), set.q.end());
        out << YAML::Key << "incident_angle" << YAML::Value << YAML::Flow << YAML::BeginMap;
        emitNumber(out, "min", DEG_PER_RAD * thetaOfQ(set.wavelength, *lo));
        emitNumber(out, "max", DEG_PER_RAD * thetaOfQ(set.wavelength, *hi));
        out << YAML::Key << "unit" << YAML::Value << "deg" << YAML::EndMap;
    }
    emitQuantity(out, "wavelength", set.wavelength, LENGTH_UNIT);
    out << YAML::EndMap;
    out << YAML::Key << "data_files" << YAML::Value << YAML::Flow << YAML::BeginSeq;
    if (!set.dataFile.empty()) out << set.dataFile;
    out << YAML::EndSeq << YAML::EndMap;
    out << YAML::EndMap;
}

void emitAnalysis(YAML::Emitter& out, const OrsoDataSet& set) {
    out << YAML::Key << "analysis" << YAML::Value << YAML::BeginMap;
    emitNumber(out, "intensity_scale", set.scale);
    emitNumber(out, "background", set.background);
    out << YAML::EndMap;
}

void emitSoftware(YAML::Emitter& out, const OrsoCreation& creation) {
    out << YAML::Key << "reduction" << YAML::Value << YAML::BeginMap;
    out << YAML::Key << "software" << YAML::Value << YAML::Flow << YAML::BeginMap << YAML::Key
        << "name" << YAML::Value << "Tolvi" << YAML::Key << "version" << YAML::Value
        << creation.version << YAML::EndMap;
    out << YAML::Key << "timestamp" << YAML::Value << creation.timestamp;
    out << YAML::Key << "creator" << YAML::Value << YAML::Flow << YAML::BeginMap << YAML::Key
        << "name" << YAML::Value << "Tolvi " + creation.version << YAML::Key << "affiliation"
        << YAML::Value << YAML::Null << YAML::EndMap;
    out << YAML::Key << "comment" << YAML::Value
        << "R and Qz as Tolvi loaded them (no correction); Rcalc is the model's intensity, "
           "intensity_scale times its reflectivity plus background";
    out << YAML::EndMap;
}

void emitColumns(YAML::Emitter& out) {
    auto column = [&out](std::initializer_list<std::pair<const char*, const char*>> keys) {
        out << YAML::Flow << YAML::BeginMap;
        for (auto [key, value] : keys) out << YAML::Key << key << YAML::Value << value;
        out << YAML::EndMap;
    };
    out << YAML::Key << "columns" << YAML::Value << YAML::BeginSeq;
    column({{"name", "Qz"}, {"unit", Q_UNIT}, {"physical_quantity", "normal_wavevector_transfer"}});
    column({{"name", "R"}, {"physical_quantity", "reflectivity"}});
    column({{"error_of", "R"}, {"error_type", "uncertainty"}, {"value_is", "sigma"}});
    column({{"error_of", "Qz"}, {"error_type", "resolution"}, {"value_is", "sigma"}});
    column({{"name", "Rcalc"}, {"physical_quantity", "calculated_reflectivity"}});
    out << YAML::EndSeq;
}

// Every line of an emitted YAML document behind "# ".
void appendCommented(std::string& text, const char* yaml) {
    std::string_view rest(yaml);
    while (!rest.empty()) {
        size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        text += "# ";
        text += line;
        text += '\n';
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
}

std::string columnNames() {
    static const char* const NAMES[] = {"Qz (1/angstrom)", "R", "sR", "sQz (1/angstrom)", "Rcalc"};
    std::string line = "# # ";
    for (const char* name : NAMES) {
        // The names stand over their columns, which start every COLUMN_WIDTH characters.
        size_t column = (line.size() + COLUMN_WIDTH - 1) / COLUMN_WIDTH * COLUMN_WIDTH;
        if (line.size() > 4) line.append(column - line.size(), ' ');
        line += name;
    }
    return line + "\n";
}

void appendRows(std::string& text, const OrsoDataSet& set) {
    for (size_t i = 0; i < set.q.size(); ++i) {
        std::string row = formatText("%-22.16e %-22.16e ", set.q[i], set.r[i]);
        row += i < set.sr.size() ? formatText("%-22.16e ", set.sr[i]) : formatText("%-22s ", "nan");
        row += i < set.sq.size() ? formatText("%-22.16e ", set.sq[i]) : formatText("%-22s ", "nan");
        row += formatText("%.16e", set.calc[i]);
        text += row + "\n";
    }
}

}  // namespace

std::vector<OrsoSlab> orsoStack(const ModelStore& store, int slot) {
    const DataSet& d = store.dataSet(slot);
    const LayerModel& model = store.layerModel(slot);
    std::vector<OrsoSlab> stack;
    Medium ambient = ambientOf(store, slot);
    stack.push_back({"ambient", false, false, 0.0, 0.0, sldOf(ambient.delta, d.lamd),
                     sldOf(ambient.beta, d.lamd)});
    for (int s = std::min(model.layall, MAX_SLABS) - 1; s >= 0; --s) {
        const LayerEntry& slab = model.slabs[s];
        Medium m = effectiveMedium(slab, d.magMode);
        stack.push_back({slabName(slab.material.view(), s), s > 0, true, slab.t.value,
                         slab.sig.value, sldOf(m.delta, d.lamd), sldOf(m.beta, d.lamd)});
    }
    return stack;
}

std::string orsoText(const std::vector<OrsoDataSet>& sets, const OrsoCreation& creation) {
    std::string text = std::string(FIRST_LINE) + "\n";
    for (size_t k = 0; k < sets.size(); ++k) {
        bool first = k == 0;
        YAML::Emitter out;
        out << YAML::BeginMap;
        if (!first) out << YAML::Key << "data_set" << YAML::Value << static_cast<int>(k);
        emitDataSource(out, sets[k], first);
        if (first) {
            emitSoftware(out, creation);
            emitColumns(out);
        }
        emitAnalysis(out, sets[k]);
        out << YAML::EndMap;
        appendCommented(text, out.c_str());
        text += columnNames();
        appendRows(text, sets[k]);
    }
    return text;
}

}  // namespace tolvi
