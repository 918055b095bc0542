#pragma once
// Runs one engine operation on a thread of its own while the calling Python thread waits
// with the GIL released, in short slices, so that the interpreter's other threads keep
// running and a KeyboardInterrupt is noticed at once. On Ctrl-C the engine is shut down,
// the operation is given up to a second to return, and the KeyboardInterrupt reaches the
// caller; an operation that keeps going (controller work does not heed the stop flag)
// finishes in the background and is waited for at interpreter exit.

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "binding.hpp"
#include "quorvane/engine/engine.hpp"

namespace quorvane::python {

class OperationRunner {
  public:
    explicit OperationRunner(std::shared_ptr<Quorvane> engine) : engine_(std::move(engine)) {}

    // Calls `operation` (which must not touch Python objects) and returns its result, or
    // throws its exception; throws error_already_set for KeyboardInterrupt.
    template <class Operation>
    auto run(Operation operation) -> decltype(operation()) {
        using Result = decltype(operation());
        if constexpr (std::is_void_v<Result>) {
            run_erased([operation] { operation(); });
        } else {
            auto result = std::make_shared<std::optional<Result>>();
            run_erased([operation, result] { result->emplace(operation()); });
            return std::move(**result);
        }
    }

    // Waits for operations given up after Ctrl-C; called at interpreter exit.
    static void wait_for_background_operations();

  private:
    void run_erased(std::function<void()> operation);

    std::shared_ptr<Quorvane> engine_;
};

}  // namespace quorvane::python
