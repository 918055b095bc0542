#pragma once
// The engine holds the poll run's worker pool only so that shutdown can stop it from
// another thread and the destructor can wait for it; the pool itself belongs to the run.

#include <memory>
#include <mutex>

namespace quorvane {

class WorkerPool {
  public:
    virtual ~WorkerPool() = default;
    // Stops accepting tasks. With wait, returns once every started task has ended;
    // without, returns at once and leaves running and queued tasks alone.
    virtual void shutdown(bool wait = false) = 0;
};

// The engine's `executor` field: set by the poll run, read by shutdown on any thread.
class ExecutorSlot {
  public:
    void set(std::shared_ptr<WorkerPool> pool) {
        std::lock_guard lock(mutex_);
        pool_ = std::move(pool);
    }
    void reset() { set(nullptr); }
    std::shared_ptr<WorkerPool> get() const {
        std::lock_guard lock(mutex_);
        return pool_;
    }
    explicit operator bool() const { return get() != nullptr; }

  private:
    mutable std::mutex mutex_;
    std::shared_ptr<WorkerPool> pool_;
};

}  // namespace quorvane
