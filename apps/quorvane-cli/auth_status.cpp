#include "apps/quorvane-cli/auth_status.hpp"

#include <algorithm>
#include <cstdio>
#include <iostream>

namespace quorvane::cli {

namespace {

bool starts_with(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The name between `prefix` and `suffix` when the line is exactly that.
std::optional<std::string> between(const std::string& line, const std::string& prefix,
                                   const std::string& suffix) {
    if (line.size() < prefix.size() + suffix.size() || !starts_with(line, prefix) ||
        line.compare(line.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return std::nullopt;
    }
    return line.substr(prefix.size(), line.size() - prefix.size() - suffix.size());
}

std::string clock_text(long long seconds) {
    char buf[32];
    if (seconds >= 3600) {
        std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                      seconds % 60);
    } else {
        std::snprintf(buf, sizeof buf, "%lld:%02lld", seconds / 60, seconds % 60);
    }
    return buf;
}

}  // namespace

void AuthRunStatus::observe(const std::string& line, TimePoint now) {
    if (auto section = between(line, "[AUTH] ===== WLC: ", " =====")) {
        controller_ = *section;
        phase_ = "first look";
    } else if (line == "[AUTH] Waiting 15 minutes...") {
        phase_ = "observation window";
        window_start_ = now;
    } else if (line == "[AUTH] Reconnecting after wait...") {
        phase_ = "second look and client details";
        window_start_.reset();
    } else if (line == "\n[AUTH] ===== CLIENT DETAIL (PRE-DELETION) =====") {
        controller_ = "all controllers";
        phase_ = "details before deletion";
    } else if (auto section = between(line, "[DEBUG] ===== Collecting debugs for [", "] =====")) {
        controller_ = *section;
        phase_ = "archive and core collection";
    }
}

std::string AuthRunStatus::text(TimePoint now) const {
    if (controller_.empty()) return "";
    std::string out = controller_ + ": " + phase_;
    if (window_start_) {
        const long long waited =
            std::chrono::duration_cast<std::chrono::seconds>(now - *window_start_).count();
        out += ", " + clock_text(std::max(0LL, window_seconds_ - waited)) + " left";
    }
    return out;
}

AuthLiveLine::AuthLiveLine(std::ostream& out, bool enabled, int window_seconds)
    : out_(out), enabled_(enabled), status_(window_seconds) {
    if (!enabled_) return;
    ticker_ = std::thread([this] {
        std::unique_lock lock(mutex_);
        while (!finished_) {
            draw_locked();
            stop_.wait_for(lock, std::chrono::seconds(1));
        }
    });
}

AuthLiveLine::~AuthLiveLine() { finish(); }

void AuthLiveLine::observe(const std::string& line) {
    std::lock_guard lock(mutex_);
    status_.observe(line, std::chrono::steady_clock::now());
}

void AuthLiveLine::print(const std::string& line) {
    std::lock_guard lock(mutex_);
    erase_locked();
    out_ << line << "\n" << std::flush;
    if (!finished_) draw_locked();
}

void AuthLiveLine::finish() {
    {
        std::lock_guard lock(mutex_);
        if (finished_) return;
        finished_ = true;
        erase_locked();
    }
    stop_.notify_all();
    if (ticker_.joinable()) ticker_.join();
}

void AuthLiveLine::draw_locked() {
    if (!enabled_) return;
    const std::string text = status_.text(std::chrono::steady_clock::now());
    if (text.empty()) return;
    std::cerr << "\r\033[K[auth-loop] " << text << std::flush;
    drawn_ = true;
}

void AuthLiveLine::erase_locked() {
    if (!drawn_) return;
    std::cerr << "\r\033[K" << std::flush;
    drawn_ = false;
}

}  // namespace quorvane::cli
