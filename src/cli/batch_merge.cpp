#include <algorithm>

#include "base/text_io.h"
#include "cli/batch_command.h"
#include "cli/batch_table.h"

namespace tolvi::cli {

std::vector<CommandOption> batchMergeOptions() {
    return {{"output", true, "o"}};
}

CommandResult runBatchMerge(const Arguments& args) {
    if (args.positional.empty()) throw UsageError{"batch-merge needs one table or more"};
    CommandResult result;
    auto refuse = [&](const Status& s) {
        result.outcome = s.outcome;
        result.err += s.message + "\n";
        return result;
    };
    std::vector<BatchTable> tables(args.positional.size());
    struct Source {
        int index;
        size_t table;
        const std::string* text;
    };
    std::vector<Source> rows;
    for (size_t t = 0; t < tables.size(); ++t) {
        const std::string& path = args.positional[t];
        Status s = readBatchTable(path, tables[t]);
        if (!s.succeeded()) return refuse(s);
        if (tables[t].incompleteEnd)
            return refuse({1,
                           "--->Error, the last row of " + path +
                               " is cut short (a run that "
                               "was stopped): run its batch again to finish it",
                           Outcome::FileRefused});
        if (tables[t].header != tables[0].header)
            return refuse({1,
                           "--->Error, " + path + " has other columns than " + args.positional[0] +
                               ": only the tables of one batch merge",
                           Outcome::FileRefused});
        for (const TableRow& row : tables[t].rows) rows.push_back({row.index, t, &row.text});
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Source& a, const Source& b) { return a.index < b.index; });
    std::string merged = tables[0].header;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i > 0 && rows[i].index == rows[i - 1].index) {
            const std::string& first = args.positional[rows[i - 1].table];
            const std::string& second = args.positional[rows[i].table];
            std::string where = rows[i].table == rows[i - 1].table
                                    ? "twice in " + first
                                    : "in both " + first + " and " + second;
            return refuse({1, formatText("--->Error, index %d is ", rows[i].index) + where,
                           Outcome::FileRefused});
        }
        merged += *rows[i].text;
    }
    if (!args.values.count("output")) {
        result.out = merged;
        result.err += "--->OK\n";
        return result;
    }
    Status written = writeFileSafely(args.value("output"), merged);
    if (!written.succeeded()) return refuse(written);
    result.err += "--->OK\n";
    return result;
}

}  // namespace tolvi::cli
