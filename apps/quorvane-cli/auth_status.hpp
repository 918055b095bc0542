#pragma once
// The live line of `auth-loop` on a terminal: which controller, which phase, and how much
// of the observation window is left, read from the workflow's own log lines.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>

namespace quorvane::cli {

class AuthRunStatus {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;

    explicit AuthRunStatus(int window_seconds) : window_seconds_(window_seconds) {}

    void observe(const std::string& log_line, TimePoint now);
    // "WLC2: observation window, 14:32 left"; empty before the run reached a controller.
    std::string text(TimePoint now) const;

  private:
    int window_seconds_;
    std::string controller_;
    std::string phase_;
    std::optional<TimePoint> window_start_;
};

// Log lines scroll on `out` while the status stays as the last line of standard error,
// redrawn every second. Disabled, it only prints the log lines it is given.
class AuthLiveLine {
  public:
    AuthLiveLine(std::ostream& out, bool enabled, int window_seconds);
    // Clears the status line.
    ~AuthLiveLine();
    AuthLiveLine(const AuthLiveLine&) = delete;
    AuthLiveLine& operator=(const AuthLiveLine&) = delete;

    // Every log line, shown or not, so that the status follows the run.
    void observe(const std::string& line);
    // A log line to show above the status.
    void print(const std::string& line);
    // Removes the status line for good, before the program prints its results.
    void finish();

  private:
    void draw_locked();
    void erase_locked();

    std::ostream& out_;
    bool enabled_;
    AuthRunStatus status_;
    std::mutex mutex_;
    std::condition_variable stop_;
    bool finished_ = false;
    bool drawn_ = false;
    std::thread ticker_;
};

}  // namespace quorvane::cli
