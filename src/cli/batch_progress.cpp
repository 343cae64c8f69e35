#include "cli/batch_progress.h"

#include <cerrno>
#include <cstring>

namespace tolvi::cli {

RowSink::RowSink(const std::vector<std::string>& names, int total, std::vector<std::string>& rows,
                 std::vector<RowStatus>& statuses)
    : names_(names), total_(total), rows_(rows), statuses_(statuses) {}

RowSink::~RowSink() {
    if (append_) std::fclose(append_);
}

void RowSink::appendTo(const std::string& path) {
    appendPath_ = path;
    append_ = std::fopen(path.c_str(), "ab");
    if (!append_)
        appendError_ = "--->Warning, rows cannot be appended to " + path +
                       " as files finish: " + std::strerror(errno);
}

void RowSink::start(int skipped, const std::string& path) {
    std::lock_guard lock(mutex_);
    if (skipped > 0)
        std::fprintf(stderr, "batch: %d file%s already in %s (ok or warning): skipped\n", skipped,
                     skipped == 1 ? "" : "s", path.c_str());
    started_ = std::chrono::steady_clock::now();
    showProgress();
}

void RowSink::finished(BatchResult result) {
    std::string row = batchRow(result, names_);
    std::lock_guard lock(mutex_);
    if (append_ && appendError_.empty()) {
        // Flushed row by row: what a stopped run finished stays in the file.
        if (std::fwrite(row.data(), 1, row.size(), append_) != row.size() ||
            std::fflush(append_) != 0)
            appendError_ = "--->Warning, rows cannot be appended to " + appendPath_ +
                           " as files finish: " + std::strerror(errno);
    }
    rows_[result.position] = std::move(row);
    statuses_[result.position] = result.status;
    ++done_;
    if (result.status == RowStatus::Failed) ++failed_;
    showProgress();
}

void RowSink::end() {
    std::lock_guard lock(mutex_);
    std::fputc('\n', stderr);
    if (append_) std::fclose(append_);
    append_ = nullptr;
}

void RowSink::showProgress() {
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    double rate = seconds > 0.0 ? done_ / seconds : 0.0;
    std::fprintf(stderr, "\rbatch: %d/%d fitted, %d failed, %.2f files/s", done_, total_, failed_,
                 rate);
    std::fflush(stderr);
}

}  // namespace tolvi::cli
