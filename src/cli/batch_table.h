#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "model/results_file.h"

// The table of `tolvi-cli batch`: one CSV row per data file, in the order the files were given.
// Columns: index, file, status, message, chi2, chi2/DOF, then "NAME" and "NAME error" for each
// fitted parameter. Numbers "%.17g", an absent number an empty field; no times or dates, so that
// the same inputs give the same table byte for byte.
namespace tolvi::cli {

// How the fit of one file ended, as its status column says it.
enum class RowStatus { Ok, Warning, Failed };

// What one data file gave: its place among the files given (0-based), its name as given, how it
// ended, the message (the fit's status text, or the failure's), and the named results of a fit
// that ended.
struct BatchResult {
    int position = 0;
    std::string file;
    RowStatus status = RowStatus::Failed;
    std::string message;
    std::optional<NamedResults> results;
};

// The index column of the file at a 0-based position, and back: the one place where the 1-based
// numbers of the table are made.
inline int indexOfPosition(int position) {
    return position + 1;
}
inline int positionOfIndex(int index) {
    return index - 1;
}

// The header line (ending in "\n") for the parameters `names`.
std::string batchHeader(const std::vector<std::string>& names);

// The row of one file (ending in "\n"), its numbers in the columns of `names`.
std::string batchRow(const BatchResult& result, const std::vector<std::string>& names);

// The fields of one CSV line as csvField writes them (a quoted field with doubled inner quotes).
// False for a line that is not one: an open quote, text after a closing quote.
bool splitCsvLine(std::string_view line, std::vector<std::string>& fields);

// One row read back: the index, file and status columns, every field, and the line as written.
struct TableRow {
    int index = 0;
    std::string file;
    RowStatus status = RowStatus::Failed;
    std::vector<std::string> fields;
    std::string text;  // the line with its "\n"
};

// A table read back. A run that was stopped while it appended a row may leave a last line
// without its line end: it is not among the rows, and `incompleteEnd` says so.
struct BatchTable {
    std::string header;  // with its "\n"
    std::vector<std::string> columns;
    std::vector<TableRow> rows;
    bool incompleteEnd = false;
};

// Reads a batch table. FileNotFound when it cannot be opened; FileRefused (naming the file and
// the line) for a header that is not one of a batch table, or a row whose fields do not fit it.
Status readBatchTable(const std::string& path, BatchTable& table);

// The value of parameter `name` in a row of `table` (its "NAME" column), when it has one.
std::optional<double> rowValue(const BatchTable& table, const TableRow& row,
                               const std::string& name);

}  // namespace tolvi::cli
