#include "apps/quorvane-cli/engine_log.hpp"

#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace quorvane::cli {

EngineLog::EngineLog(bool verbose) : shown_(verbose || ::isatty(STDERR_FILENO) != 1) {}

void EngineLog::show_through(Line show) {
    std::lock_guard lock(mutex_);
    show_ = std::move(show);
}

void EngineLog::watch(Line watcher) {
    std::lock_guard lock(mutex_);
    watchers_.push_back(std::move(watcher));
}

void EngineLog::write_to(const std::string& run_dir) {
    std::lock_guard lock(mutex_);
    file_.open(std::filesystem::path(run_dir) / "quorvane.log", std::ios::app | std::ios::binary);
    for (const auto& line : waiting_) file_ << line << "\n";
    file_.flush();
    waiting_.clear();
}

void EngineLog::operator()(const std::string& line) {
    std::lock_guard lock(mutex_);
    if (file_.is_open()) {
        file_ << line << "\n" << std::flush;
    } else {
        waiting_.push_back(line);
    }
    for (const auto& watcher : watchers_) watcher(line);
    if (!shown_) return;
    if (show_) {
        show_(line);
    } else {
        const std::string text = line + "\n";
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    }
}

}  // namespace quorvane::cli
