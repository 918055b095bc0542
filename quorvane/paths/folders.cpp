#include <cctype>
#include <climits>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string_view>

#include "quorvane/paths/paths.hpp"

namespace quorvane {

namespace fs = std::filesystem;

namespace {

std::tm local_now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

std::string dated_folder(const std::tm& date) {
    char parts[32];
    std::snprintf(parts, sizeof parts, "%04d/%02d/%02d", date.tm_year + 1900, date.tm_mon + 1,
                  date.tm_mday);
    return (fs::path(DATA_ROOT) / parts).string();
}

std::string without_run_tags(std::string name) {
    const std::string_view tag = "RUN";
    std::string out;
    std::size_t pos = 0;
    for (std::size_t hit; (hit = name.find(tag, pos)) != std::string::npos;
         pos = hit + tag.size()) {
        out.append(name, pos, hit - pos);
    }
    out.append(name, pos);
    return out;
}

// Reads a run number the way a lenient integer conversion does: blanks around it, an
// optional sign, then decimal digits only. Numbers beyond int are not run numbers we
// could ever produce, so they are skipped like any other unreadable name.
std::optional<int> parse_run_number(std::string_view text) {
    const auto is_blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)); };
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > INT_MAX) return std::nullopt;
    }
    return static_cast<int>(negative ? -value : value);
}

}  // namespace

std::string ensure_dir(const std::string& path) {
    fs::create_directories(path);
    return path;
}

std::string today_data_dir() { return ensure_dir(dated_folder(local_now())); }

int next_run_number(const std::string& dated_dir) {
    std::optional<int> highest;
    for (const fs::directory_entry& entry : fs::directory_iterator(dated_dir)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("RUN", 0) != 0) continue;
        std::error_code ec;
        if (!entry.is_directory(ec)) continue;
        const std::optional<int> number = parse_run_number(without_run_tags(name));
        if (number && (!highest || *number > *highest)) highest = number;
    }
    return highest ? *highest + 1 : 1;
}

RunFolder allocate_run_folder() {
    ensure_dir(CONFD);
    const std::string dated = ensure_dir(dated_folder(local_now()));
    const std::string run_id = "RUN" + std::to_string(next_run_number(dated));
    return {run_id, ensure_dir((fs::path(dated) / run_id).string())};
}

}  // namespace quorvane
