#pragma once
// Ctrl-C while an operation runs: the first one asks the operation to stop (the caller's
// stop action, typically the engine's shutdown), the second ends the program at once with
// status 130. SIGTERM counts like Ctrl-C.

#include <atomic>
#include <functional>
#include <thread>

namespace quorvane::cli {

inline constexpr int kExitInterrupted = 130;

class InterruptHandler {
  public:
    // Installs the handlers; `stop` runs on a watcher thread, never in signal context.
    explicit InterruptHandler(std::function<void()> stop);
    // Restores the default handling.
    ~InterruptHandler();
    InterruptHandler(const InterruptHandler&) = delete;
    InterruptHandler& operator=(const InterruptHandler&) = delete;

    // True once a first Ctrl-C arrived.
    bool interrupted() const;

  private:
    std::function<void()> stop_;
    std::thread watcher_;
};

}  // namespace quorvane::cli
