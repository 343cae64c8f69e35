#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "cli/batch_table.h"

namespace tolvi::cli {

// Where the finished files of a batch go while it runs, from any of its threads: the row into its
// place, the row appended to the table file (so that a run stopped on the way keeps it), and the
// progress line on standard error (done/total, failures, files per second), written over itself.
class RowSink {
  public:
    // `rows` and `statuses` are indexed by the files' positions and outlive the sink; `total` is
    // the number of files this run fits.
    RowSink(const std::vector<std::string>& names, int total, std::vector<std::string>& rows,
            std::vector<RowStatus>& statuses);
    ~RowSink();
    RowSink(const RowSink&) = delete;
    RowSink& operator=(const RowSink&) = delete;

    // Rows are appended to `path` from now on; a file that cannot be opened is noted in
    // appendError() and the run goes on (the table is written whole at the end).
    void appendTo(const std::string& path);
    // The first progress line; `skipped` files stood in the table `path` already.
    void start(int skipped, const std::string& path);
    void finished(BatchResult result);
    // Ends the progress line and closes the appended file.
    void end();
    // Empty, or a "--->Warning" line: rows could not be appended as the files finished.
    const std::string& appendError() const { return appendError_; }

  private:
    void showProgress();  // with the mutex held

    const std::vector<std::string>& names_;
    int total_;
    std::vector<std::string>& rows_;
    std::vector<RowStatus>& statuses_;
    std::mutex mutex_;
    std::FILE* append_ = nullptr;
    std::string appendPath_;
    std::string appendError_;
    int done_ = 0;
    int failed_ = 0;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

}  // namespace tolvi::cli
