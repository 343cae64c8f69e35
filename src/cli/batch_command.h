#pragma once

#include <vector>

#include "cli/commands.h"
#include "cli/options.h"

namespace tolvi::cli {

// "batch MODEL DATA... [--chain] [--results TABLE.csv] [--jobs N] [--shard K/N]": each data
// file fitted with one model (a parameter file, a project of one slot, or --template), as the
// window fits after a data file is dropped on the slot; one row per file in the table (see
// cli/batch_table.h), written to TABLE.csv (rows appended as files finish, the whole table
// rewritten safely in index order at the end) or printed on standard output at the end. A table
// that already holds a file's row with status ok or warning skips that file. Progress on
// standard error. Outcome FitFailed (exit status 1) when any file failed; UsageError for wrong
// usage.
CommandResult runBatch(const Arguments& args);
std::vector<CommandOption> batchOptions();

// "batch-merge TABLE... [-o|--output ALL.csv]": the rows of several batch tables (the shards of
// one batch) in index order, under their common header. FileRefused (exit status 1) for tables
// whose columns differ, an index found twice, or a table cut short by a stopped run.
CommandResult runBatchMerge(const Arguments& args);
std::vector<CommandOption> batchMergeOptions();

}  // namespace tolvi::cli
