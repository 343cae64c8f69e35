#include "fit/worker_pool.h"

#include <cstdlib>

#include "model/status.h"
#include "model/text_io.h"

namespace tolvi {

WorkerPool::WorkerPool(int threads) {
    for (int w = 1; w < threads; ++w) workers_.emplace_back(&WorkerPool::workerLoop, this, w);
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : workers_) t.join();
}

// Takes task indices one at a time until none is left. Tasks are whole evaluations of the
// calculation chain, so the mutex is not where the time goes.
void WorkerPool::drain(int worker) {
    for (;;) {
        int index;
        Task task;
        void* context;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (next_ >= count_) return;
            index = next_++;
            task = task_;
            context = context_;
        }
        try {
            task(context, index, worker);
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!failure_) failure_ = std::current_exception();
            next_ = count_;  // the others stop taking tasks
        }
    }
}

void WorkerPool::workerLoop(int worker) {
    unsigned long seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
            if (stopping_) return;
            seen = generation_;
            ++busy_;
        }
        drain(worker);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            --busy_;
        }
        finished_.notify_one();
    }
}

void WorkerPool::run(int count, Task task, void* context) {
    if (count <= 0) return;
    if (workers_.empty() || count == 1) {
        for (int i = 0; i < count; ++i) task(context, i, 0);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        task_ = task;
        context_ = context;
        count_ = count;
        next_ = 0;
        failure_ = nullptr;
        ++generation_;
    }
    wake_.notify_all();
    drain(0);
    std::exception_ptr failure;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        // Every worker that woke for this run must leave it before its tasks' results are used
        // (and before the next run changes the task).
        finished_.wait(lock, [&] { return busy_ == 0 && next_ >= count_; });
        failure = failure_;
        failure_ = nullptr;
    }
    if (failure) std::rethrow_exception(failure);
}

int defaultThreadCount() {
    if (const char* text = std::getenv("TOLVI_THREADS")) {
        try {
            int n = parseInt(text);
            if (n >= 1 && n <= 256) return n;
        } catch (const NumberError&) {
        }
    }
    unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores);
}

}  // namespace tolvi
