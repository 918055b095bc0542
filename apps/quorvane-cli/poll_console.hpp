#pragma once
// What the terminal shows while a poll runs: log lines (standard error) and per-AP lines
// (standard output) scroll above one progress line on standard error, redrawn every
// second. Without a terminal there is no progress line and lines are simply written.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

namespace quorvane::cli {

// 42s, 3m07s, 1h02m03s.
std::string duration_text(double seconds);

class PollConsole {
  public:
    explicit PollConsole(bool live);
    ~PollConsole();
    PollConsole(const PollConsole&) = delete;
    PollConsole& operator=(const PollConsole&) = delete;

    // From any thread.
    void log(const std::string& line) { write(stderr, line); }
    void out(const std::string& line) { write(stdout, line); }

    // Shows the progress line for `total` APs from now on.
    void start(std::size_t total);
    void finished(bool ok);
    // Removes the progress line; later lines are written plainly.
    void stop();

    std::size_t done() const;
    double seconds() const;

  private:
    void write(std::FILE* stream, const std::string& line);
    void clear_progress();
    void draw_progress();
    void tick();

    const bool live_;
    mutable std::mutex mutex_;
    std::condition_variable tick_;
    std::thread ticker_;
    std::chrono::steady_clock::time_point started_;
    std::size_t total_ = 0;
    std::size_t succeeded_ = 0;
    std::size_t failed_ = 0;
    bool running_ = false;
    bool drawn_ = false;
};

}  // namespace quorvane::cli
