#include "operation_runner.hpp"

#include <atomic>
#include <chrono>
#include <vector>

#include "quorvane/engine/errors.hpp"

namespace quorvane::python {

namespace {

using namespace std::chrono_literals;

// Short enough that Ctrl-C feels immediate, long enough to cost nothing.
constexpr auto kSignalCheckInterval = 50ms;
constexpr auto kGraceAfterShutdown = 1s;

struct Operation {
    std::mutex mutex;
    std::condition_variable finished_cv;
    bool finished = false;
    std::exception_ptr error;
};

// Engines with an operation running, so that a second call is refused instead of
// breaking the engine's one-operation-at-a-time rule.
std::mutex busy_mutex;
std::vector<const Quorvane*> busy_engines;

struct BackgroundOperation {
    std::shared_ptr<Quorvane> engine;
    std::thread thread;
};
std::mutex background_mutex;
std::vector<BackgroundOperation> background_operations;

class BusyMark {
  public:
    explicit BusyMark(const Quorvane* engine) : engine_(engine) {
        std::lock_guard lock(busy_mutex);
        for (const Quorvane* busy : busy_engines) {
            if (busy == engine) {
                throw EngineError(
                    "another operation of this engine is still running; the engine runs one "
                    "operation at a time (create a new Quorvane for a new run)");
            }
        }
        busy_engines.push_back(engine);
    }
    ~BusyMark() {
        std::lock_guard lock(busy_mutex);
        std::erase(busy_engines, engine_);
    }
    BusyMark(const BusyMark&) = delete;
    BusyMark& operator=(const BusyMark&) = delete;

  private:
    const Quorvane* engine_;
};

bool wait_finished(Operation& op, std::chrono::milliseconds how_long) {
    py::gil_scoped_release release;
    std::unique_lock lock(op.mutex);
    return op.finished_cv.wait_for(lock, how_long, [&] { return op.finished; });
}

}  // namespace

void OperationRunner::run_erased(std::function<void()> operation) {
    auto busy = std::make_shared<BusyMark>(engine_.get());
    auto op = std::make_shared<Operation>();
    // The thread holds the engine and the busy mark until the operation has returned,
    // however long the caller stays.
    std::thread thread([engine = engine_, busy, op, operation = std::move(operation)]() mutable {
        std::exception_ptr error;
        try {
            operation();
        } catch (...) {
            error = std::current_exception();
        }
        busy.reset();
        std::lock_guard lock(op->mutex);
        op->error = error;
        op->finished = true;
        op->finished_cv.notify_all();
    });
    busy.reset();

    while (!wait_finished(*op, kSignalCheckInterval)) {
        if (PyErr_CheckSignals() == 0) continue;
        // The pending exception (KeyboardInterrupt, or whatever a signal handler raised)
        // is raised once the engine has been told to stop.
        py::error_already_set interrupted;
        {
            py::gil_scoped_release release;
            engine_->shutdown();
        }
        if (wait_finished(*op, kGraceAfterShutdown)) {
            py::gil_scoped_release release;
            thread.join();
        } else {
            std::lock_guard lock(background_mutex);
            background_operations.push_back({engine_, std::move(thread)});
        }
        throw interrupted;
    }
    {
        py::gil_scoped_release release;
        thread.join();
    }
    if (op->error) std::rethrow_exception(op->error);
}

void OperationRunner::wait_for_background_operations() {
    std::vector<BackgroundOperation> operations;
    {
        std::lock_guard lock(background_mutex);
        operations.swap(background_operations);
    }
    py::gil_scoped_release release;
    for (auto& operation : operations) {
        operation.engine->shutdown();
        operation.thread.join();
    }
}

}  // namespace quorvane::python
