#pragma once
// Where the engine's log lines go. Every line goes, whole, to quorvane.log in the run
// folder, so nothing is lost. Standard error shows them too, unless it is a terminal and
// -v was not given: a person then sees the progress line and the result. Standard output
// never carries them; it holds the command's answer alone.

#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace quorvane::cli {

class EngineLog {
  public:
    using Line = std::function<void(const std::string&)>;

    explicit EngineLog(bool verbose);
    EngineLog(const EngineLog&) = delete;
    EngineLog& operator=(const EngineLog&) = delete;

    // Whether log lines reach standard error.
    bool shown() const { return shown_; }

    // Shown lines are written through `show` (a console that keeps its live line intact)
    // instead of straight to standard error.
    void show_through(Line show);
    // Called with every line, shown or not, on the thread that logs.
    void watch(Line watcher);
    // Lines logged so far and from now on go to <run_dir>/quorvane.log.
    void write_to(const std::string& run_dir);
    // What the engine is given as its log callback. Safe from several threads.
    void operator()(const std::string& line);

  private:
    const bool shown_;
    std::mutex mutex_;
    Line show_;
    std::vector<Line> watchers_;
    std::vector<std::string> waiting_;  // lines logged before the run folder was known
    std::ofstream file_;
};

}  // namespace quorvane::cli
