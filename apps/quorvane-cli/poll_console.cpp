#include "apps/quorvane-cli/poll_console.hpp"

namespace quorvane::cli {

std::string duration_text(double seconds) {
    const long s = static_cast<long>(seconds);
    char buf[32];
    if (s >= 3600) {
        std::snprintf(buf, sizeof buf, "%ldh%02ldm%02lds", s / 3600, s / 60 % 60, s % 60);
    } else if (s >= 60) {
        std::snprintf(buf, sizeof buf, "%ldm%02lds", s / 60, s % 60);
    } else {
        std::snprintf(buf, sizeof buf, "%lds", s);
    }
    return buf;
}

PollConsole::PollConsole(bool live) : live_(live), started_(std::chrono::steady_clock::now()) {}

PollConsole::~PollConsole() { stop(); }

void PollConsole::start(std::size_t total) {
    std::lock_guard lock(mutex_);
    total_ = total;
    started_ = std::chrono::steady_clock::now();
    running_ = true;
    if (live_) ticker_ = std::thread([this] { tick(); });
}

void PollConsole::stop() {
    {
        std::lock_guard lock(mutex_);
        if (!running_) return;
        running_ = false;
        clear_progress();
    }
    tick_.notify_all();
    if (ticker_.joinable()) ticker_.join();
}

void PollConsole::finished(bool ok) {
    std::lock_guard lock(mutex_);
    ++(ok ? succeeded_ : failed_);
    draw_progress();
}

std::size_t PollConsole::done() const {
    std::lock_guard lock(mutex_);
    return succeeded_ + failed_;
}

double PollConsole::seconds() const {
    std::lock_guard lock(mutex_);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
}

void PollConsole::write(std::FILE* stream, const std::string& line) {
    std::lock_guard lock(mutex_);
    clear_progress();
    const std::string text = line + "\n";
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
    draw_progress();
}

void PollConsole::clear_progress() {
    if (!drawn_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    drawn_ = false;
}

void PollConsole::draw_progress() {
    if (!live_ || !running_) return;
    const std::size_t done = succeeded_ + failed_;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    std::string text = "\r\033[K[" + std::to_string(done) + "/" + std::to_string(total_) + "] ok " +
                       std::to_string(succeeded_) + ", failed " + std::to_string(failed_) + ", " +
                       duration_text(elapsed);
    if (done > 0 && done < total_) {
        text += ", about " +
                duration_text(elapsed / static_cast<double>(done) *
                              static_cast<double>(total_ - done)) +
                " left";
    }
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
    drawn_ = true;
}

void PollConsole::tick() {
    std::unique_lock lock(mutex_);
    while (running_) {
        draw_progress();
        tick_.wait_for(lock, std::chrono::seconds(1));
    }
}

}  // namespace quorvane::cli
