#include "cli/batch_table.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>

#include "base/text_io.h"

namespace tolvi::cli {

namespace {

// The columns before the parameters'.
const std::vector<std::string> FIXED_COLUMNS = {"index",   "file", "status",
                                                "message", "chi2", "chi2/DOF"};

// The words of the status column, in the order of RowStatus.
constexpr const char* STATUS_WORDS[] = {"ok", "warning", "failed"};

std::string statusWord(RowStatus status) {
    return STATUS_WORDS[static_cast<int>(status)];
}

std::optional<RowStatus> statusOfWord(const std::string& word) {
    for (int s = 0; s < 3; ++s)
        if (word == STATUS_WORDS[s]) return static_cast<RowStatus>(s);
    return std::nullopt;
}

void addField(std::string& line, const std::string& field) {
    line += ',';
    line += field;
}

std::string numberField(double value) {
    return formatText("%.17g", value);
}

std::string optionalField(const std::optional<double>& value) {
    return value ? numberField(*value) : std::string();
}

// A positive decimal integer, all of the text.
std::optional<int> positiveInteger(const std::string& text) {
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 1)
        return std::nullopt;
    return value;
}

Status refused(const std::string& path, int lineNo, const std::string& what) {
    return {1, "--->Error, " + path + formatText(", line %d: ", lineNo) + what,
            Outcome::FileRefused};
}

}  // namespace

std::string batchHeader(const std::vector<std::string>& names) {
    std::string line = FIXED_COLUMNS[0];
    for (size_t c = 1; c < FIXED_COLUMNS.size(); ++c) addField(line, FIXED_COLUMNS[c]);
    for (const std::string& name : names) {
        addField(line, csvField(name));
        addField(line, csvField(name + " error"));
    }
    return line + "\n";
}

std::string batchRow(const BatchResult& result, const std::vector<std::string>& names) {
    std::string line = formatText("%d", indexOfPosition(result.position));
    addField(line, csvField(result.file));
    addField(line, statusWord(result.status));
    addField(line, csvField(result.message));
    const NamedResults* r = result.results ? &*result.results : nullptr;
    addField(line, r ? numberField(r->chi2) : std::string());
    addField(line, r && r->dof > 0 ? numberField(r->chi2 / r->dof) : std::string());
    for (const std::string& name : names) {
        const ParameterResult* p = nullptr;
        if (r)
            for (const ParameterResult& candidate : r->parameters)
                if (candidate.name == name) p = &candidate;
        addField(line, p ? numberField(p->value) : std::string());
        addField(line, p ? optionalField(p->error) : std::string());
    }
    return line + "\n";
}

bool splitCsvLine(std::string_view line, std::vector<std::string>& fields) {
    fields.clear();
    size_t i = 0;
    while (true) {
        std::string field;
        if (i < line.size() && line[i] == '"') {
            ++i;
            while (true) {
                if (i >= line.size()) return false;  // the quote is never closed
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += line[i++];
            }
            if (i < line.size() && line[i] != ',') return false;
        } else {
            size_t end = line.find(',', i);
            if (end == std::string_view::npos) end = line.size();
            field = std::string(line.substr(i, end - i));
            if (field.find('"') != std::string::npos) return false;
            i = end;
        }
        fields.push_back(std::move(field));
        if (i >= line.size()) return true;
        ++i;  // the comma
    }
}

Status readBatchTable(const std::string& path, BatchTable& table) {
    table = BatchTable{};
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {-1, "--->Error, cannot open " + path + ": " + std::strerror(errno),
                Outcome::FileNotFound};
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return {-1, "--->Error, cannot read " + path, Outcome::FileNotFound};

    size_t start = 0;
    int lineNo = 0;
    std::vector<std::string> fields;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        ++lineNo;
        if (end == std::string::npos) {
            // A row cut short by a stopped run; a header without its line end is no table.
            if (lineNo == 1) return refused(path, lineNo, "not a batch table (no header line)");
            table.incompleteEnd = true;
            break;
        }
        std::string line = text.substr(start, end + 1 - start);
        start = end + 1;
        std::string_view content(line.data(), line.size() - 1);
        if (!splitCsvLine(content, fields))
            return refused(path, lineNo, "a field's quotes are not closed as CSV closes them");
        if (lineNo == 1) {
            if (fields.size() < FIXED_COLUMNS.size() ||
                (fields.size() - FIXED_COLUMNS.size()) % 2 ||
                !std::equal(FIXED_COLUMNS.begin(), FIXED_COLUMNS.end(), fields.begin()))
                return refused(path, lineNo,
                               "not a batch table (the header must begin index,file,status,"
                               "message,chi2,chi2/DOF)");
            table.header = line;
            table.columns = fields;
            continue;
        }
        if (fields.size() != table.columns.size())
            return refused(path, lineNo,
                           formatText("%zu fields where the header has %zu", fields.size(),
                                      table.columns.size()));
        TableRow row;
        std::optional<int> index = positiveInteger(fields[0]);
        if (!index)
            return refused(path, lineNo, "the index \"" + fields[0] + "\" is not 1, 2, ...");
        std::optional<RowStatus> status = statusOfWord(fields[2]);
        if (!status)
            return refused(path, lineNo,
                           "the status \"" + fields[2] + "\" is not ok, warning or failed");
        row.index = *index;
        row.file = fields[1];
        row.status = *status;
        row.fields = fields;
        row.text = std::move(line);
        table.rows.push_back(std::move(row));
    }
    if (lineNo == 0) return refused(path, 1, "not a batch table (the file is empty)");
    return Status::success("--->OK");
}

std::optional<double> rowValue(const BatchTable& table, const TableRow& row,
                               const std::string& name) {
    for (size_t c = FIXED_COLUMNS.size(); c < table.columns.size(); c += 2)
        if (table.columns[c] == name && !row.fields[c].empty()) return parseReal(row.fields[c]);
    return std::nullopt;
}

}  // namespace tolvi::cli
