#include "model/orso_file.h"

#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string_view>
#include <vector>

#include "base/text_io.h"

namespace tolvi {

namespace {

// One data set of the file: its header block as YAML (the "#" and one blank taken off each
// line), the file line of each YAML line, and its rows.
struct DataSetBlock {
    std::string yaml;
    std::vector<int> lineOf;
    OrsoRows rows;
};

// The YAML of a header line: the text after its "#" and the blank that follows it.
std::string_view yamlOf(std::string_view line) {
    size_t hash = line.find('#');
    line.remove_prefix(hash + 1);
    if (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    return line;
}

// "# data_set: ..." starts the header block of a further data set.
bool startsDataSet(std::string_view line) {
    std::string_view text = yamlOf(line);
    size_t start = text.find_first_not_of(' ');
    return start != std::string_view::npos && text.substr(start).rfind("data_set:", 0) == 0;
}

bool isBlank(std::string_view line) {
    return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

// The YAML parser recurses once per level of nesting; a header nested deeper than any ORSO
// header is refused before it is parsed, so that no file can exhaust the stack.
constexpr int MAX_NESTING = 64;

// How deep a block's YAML nests: brackets and braces opened, and steps of indentation.
int nestingOf(std::string_view yaml) {
    int deepest = 0, open = 0;
    size_t lineStart = 0;
    while (lineStart < yaml.size()) {
        size_t lineEnd = yaml.find('\n', lineStart);
        if (lineEnd == std::string_view::npos) lineEnd = yaml.size();
        std::string_view line = yaml.substr(lineStart, lineEnd - lineStart);
        size_t indent = line.find_first_not_of(" -");
        if (indent == std::string_view::npos) indent = line.size();
        for (char c : line) {
            if (c == '[' || c == '{') ++open;
            if ((c == ']' || c == '}') && open > 0) --open;
            deepest = std::max(deepest, open + static_cast<int>(indent / 2));
        }
        lineStart = lineEnd + 1;
    }
    return deepest;
}

// Splits the file into its data sets.
std::vector<DataSetBlock> dataSetsOf(std::ifstream& in) {
    std::vector<DataSetBlock> sets(1);
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (isBlank(line)) continue;
        DataSetBlock* set = &sets.back();
        if (!isHashComment(line)) {
            if (set->rows.first == 0) set->rows.first = lineNo;
            set->rows.end = lineNo + 1;
            continue;
        }
        // A data set's header ends at its first row; later "#" lines are comments among the
        // rows, unless one starts the next data set.
        if (set->rows.first != 0) {
            if (!startsDataSet(line)) continue;
            sets.emplace_back();
            set = &sets.back();
        }
        set->yaml += yamlOf(line);
        set->yaml += '\n';
        set->lineOf.push_back(lineNo);
    }
    return sets;
}

// The file line of a place in a block's YAML (0-based line of the YAML text).
int fileLine(const DataSetBlock& set, int yamlLine) {
    if (set.lineOf.empty()) return 1;
    if (yamlLine < 0) return set.lineOf.front();
    return set.lineOf[std::min<size_t>(static_cast<size_t>(yamlLine), set.lineOf.size() - 1)];
}

Status refused(const std::string& what, const std::string& path, int line) {
    return {1, "--->Error, " + what + " (" + placeOf(path, line) + ")", Outcome::FileRefused};
}

// The child of a map at `key`, or an undefined node when there is none. (A const map's missing
// key gives a node on which every question throws; this never does.)
YAML::Node childOf(const YAML::Node& node, const std::string& key) {
    if (!node.IsMap()) return YAML::Node(YAML::NodeType::Undefined);
    const YAML::Node child = node[key];
    return child.IsDefined() ? child : YAML::Node(YAML::NodeType::Undefined);
}

// `over` laid over `base`: maps merged key by key, everything else replaced.
YAML::Node overlay(const YAML::Node& base, const YAML::Node& over) {
    if (!base.IsMap() || !over.IsMap()) return YAML::Clone(over);
    YAML::Node out = YAML::Clone(base);
    for (const auto& item : over) {
        const std::string key = item.first.Scalar();
        out[key] = overlay(childOf(base, key), item.second);
    }
    return out;
}

// The node at a path of maps, undefined when any step is missing. (A node's handle is moved with
// reset(): assigning one node to another would copy values into the first.)
YAML::Node nodeAt(const YAML::Node& root, std::initializer_list<const char*> path) {
    YAML::Node node;
    node.reset(root);
    for (const char* key : path) {
        YAML::Node next = childOf(node, key);
        node.reset(next);
    }
    return node;
}

// The text of a scalar at a path of maps, empty when any step is missing.
std::string scalarAt(const YAML::Node& root, std::initializer_list<const char*> path) {
    YAML::Node node = nodeAt(root, path);
    return node.IsScalar() ? node.Scalar() : std::string();
}

bool sameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// A number of the header, or 0 when it is missing or not one.
double numberOf(const std::string& text) {
    try {
        return text.empty() ? 0.0 : parseReal(text);
    } catch (const NumberError&) {
        return 0.0;
    }
}

// The values of a header: the Qz unit, the resolution column's width, the probe and the
// wavelength. False, with the reason and its line, for a header without a column list or with a
// Qz unit other than 1/angstrom and 1/nm. `own` (data set 0 only) gives the lines of its nodes.
bool headerValues(const YAML::Node& root, const DataSetBlock* own, DataFileHeader& header,
                  std::string& warning, std::string& message, int& line) {
    YAML::Node columns = childOf(root, "columns");
    if (!columns.IsSequence() || columns.size() < 2) {
        message = "the ORSO header has no list of columns";
        return false;
    }
    DataFileHeader h;
    h.orso = true;
    std::string unit = scalarAt(columns[0], {"unit"});
    if (unit == "1/angstrom") {
        h.qUnit = 1.0;
    } else if (unit == "1/nm") {
        h.qUnit = 0.1;
    } else {
        if (own) line = fileLine(*own, columns[0].Mark().line);
        message = unit.empty() ? "the ORSO header gives no unit of Qz"
                               : "the ORSO unit of Qz \"" + unit + "\" is neither 1/angstrom nor 1/nm";
        return false;
    }
    if (columns.size() >= 3) h.errorsFwhm = sameText(scalarAt(columns[2], {"value_is"}), "FWHM");
    if (columns.size() >= 4) {
        bool fwhm = sameText(scalarAt(columns[3], {"value_is"}), "FWHM");
        bool rectangular = sameText(scalarAt(columns[3], {"distribution"}), "rectangular");
        h.resolutionWidth = rectangular && fwhm ? DataFileHeader::Width::Rectangular
                            : fwhm              ? DataFileHeader::Width::Fwhm
                                                : DataFileHeader::Width::Sigma;
        if (rectangular) warning = " is rectangular: read as the Gaussian of the same variance";
    }
    std::string probe = scalarAt(root, {"data_source", "experiment", "probe"});
    if (sameText(probe, "neutron")) h.probe = 1;
    if (sameText(probe, "x-ray") || sameText(probe, "xray")) h.probe = 0;
    YAML::Node node =
        nodeAt(root, {"data_source", "measurement", "instrument_settings", "wavelength"});
    double magnitude = numberOf(scalarAt(node, {"magnitude"}));
    std::string lengthUnit = scalarAt(node, {"unit"});
    if (magnitude > 0.0 && (lengthUnit == "angstrom" || lengthUnit == "nm"))
        h.wavelength = lengthUnit == "nm" ? 10.0 * magnitude : magnitude;
    header = h;
    return true;
}

}  // namespace

bool isOrsoFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string first;
    if (!in || !std::getline(in, first)) return false;
    return first.rfind("# # ORSO", 0) == 0;
}

Status readOrsoHeader(const std::string& path, int dataSet, DataFileHeader& header, OrsoRows& rows,
                      std::string& warning) {
    warning.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) return {-1, "--->Error, cant find data", Outcome::FileNotFound};
    std::vector<DataSetBlock> sets = dataSetsOf(in);
    int count = static_cast<int>(sets.size());
    if (dataSet < 0 || dataSet >= count)
        return {1,
                formatText("--->Error, %s holds %d data set%s: there is no data set %d",
                           path.c_str(), count, count == 1 ? "" : "s", dataSet),
                Outcome::FileRefused};

    // Data set 0's header, and the data set's own over it.
    YAML::Node root;
    int blocks[2] = {0, dataSet};
    for (int b = 0; b < (dataSet == 0 ? 1 : 2); ++b) {
        const DataSetBlock& set = sets[blocks[b]];
        if (nestingOf(set.yaml) > MAX_NESTING)
            return refused(formatText("the ORSO header nests deeper than %d levels", MAX_NESTING),
                           path, fileLine(set, 0));
        YAML::Node node;
        try {
            node = YAML::Load(set.yaml);
        } catch (const YAML::Exception& e) {
            return refused("the ORSO header is not YAML: " + e.msg, path,
                           fileLine(set, e.mark.line));
        }
        if (b == 0)
            root.reset(node);
        else
            root.reset(overlay(root, node));
    }

    int headerLine = fileLine(sets[0], 0);
    try {
        std::string message;
        int line = headerLine;
        if (!headerValues(root, dataSet == 0 ? &sets[0] : nullptr, header, warning, message, line))
            return refused(message, path, line);
    } catch (const YAML::Exception& e) {
        return refused("the ORSO header cannot be read: " + e.msg, path, headerLine);
    }
    header.dataSets = count;
    header.dataSet = dataSet;
    rows = sets[dataSet].rows;
    if (!warning.empty()) warning = "--->Warning, the resolution of " + path + warning;
    return Status::success("--->OK");
}

}  // namespace tolvi
