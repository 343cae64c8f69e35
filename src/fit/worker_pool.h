#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace tolvi {

// A fixed set of threads kept for the life of the pool, so that a fit does not start threads per
// evaluation. run() hands out task indices to the calling thread (worker 0) and the pool's
// threads (workers 1 ... threads - 1) and returns when every task has ended. Which worker runs a
// task must not change its result: tasks write only to places of their own index or worker.
//
// An evaluation of a fit takes some tens of microseconds, about what it costs to wake a sleeping
// thread, so the threads spin for a short while after each run before they sleep: during a fit
// the next run finds them awake.
class WorkerPool {
  public:
    using Task = void (*)(void* context, int index, int worker);

    explicit WorkerPool(int threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int threads() const { return static_cast<int>(workers_.size()) + 1; }

    // Runs task(context, i, worker) for i = 0 ... count - 1. An exception thrown by a task is
    // rethrown here (the first one) after all tasks have ended.
    void run(int count, Task task, void* context);

  private:
    void workerLoop(int worker);
    void drain(int worker);

    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    unsigned long generation_ = 0;  // one more for every run
    int sleepers_ = 0;              // workers waiting on wake_
    bool stopping_ = false;

    Task task_ = nullptr;
    void* context_ = nullptr;
    int count_ = 0;
    int next_ = 0;  // next task index, taken under the mutex
    std::exception_ptr failure_;

    std::atomic<unsigned long> published_{0};  // generation_, to spin on without the mutex
    std::atomic<int> pending_{0};              // tasks of the current run not yet ended
    std::atomic<bool> stopFlag_{false};
};

// Threads a fit uses: the TOLVI_THREADS environment variable when it holds a whole number from 1
// to 256, otherwise the number of cores.
int defaultThreadCount();

}  // namespace tolvi
