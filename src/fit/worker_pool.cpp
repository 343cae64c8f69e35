#include "fit/worker_pool.h"

#include <cstdlib>

#include "base/status.h"
#include "base/text_io.h"

namespace tolvi {

namespace {

// About 100 microseconds of spinning: longer than the pause between two evaluations of a fit,
// far shorter than the pause between two fits.
constexpr int SPIN_ROUNDS = 20000;

inline void relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

}  // namespace

WorkerPool::WorkerPool(int threads) {
    for (int w = 1; w < threads; ++w) workers_.emplace_back(&WorkerPool::workerLoop, this, w);
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        stopFlag_.store(true);
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
            // The others stop taking tasks; the ones nobody took count as ended.
            pending_.fetch_sub(count_ - next_);
            next_ = count_;
        }
        if (pending_.fetch_sub(1) == 1) {
            std::lock_guard<std::mutex> lock(mutex_);
            finished_.notify_one();
        }
    }
}

void WorkerPool::workerLoop(int worker) {
    unsigned long seen = 0;
    for (;;) {
        for (int k = 0; k < SPIN_ROUNDS && published_.load() == seen && !stopFlag_.load(); ++k)
            relax();
        {
            std::unique_lock<std::mutex> lock(mutex_);
            ++sleepers_;
            wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
            --sleepers_;
            if (stopping_) return;
            seen = generation_;
        }
        drain(worker);
    }
}

void WorkerPool::run(int count, Task task, void* context) {
    if (count <= 0) return;
    if (workers_.empty() || count == 1) {
        for (int i = 0; i < count; ++i) task(context, i, 0);
        return;
    }
    bool wake;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        task_ = task;
        context_ = context;
        count_ = count;
        next_ = 0;
        failure_ = nullptr;
        pending_.store(count);
        ++generation_;
        published_.store(generation_);
        wake = sleepers_ > 0;
    }
    if (wake) wake_.notify_all();
    drain(0);
    for (int k = 0; k < SPIN_ROUNDS && pending_.load() != 0; ++k) relax();
    std::exception_ptr failure;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        finished_.wait(lock, [&] { return pending_.load() == 0; });
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
