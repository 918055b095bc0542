#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

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

// The rest of a run folder's name as a number: decimal digits and nothing else (no sign,
// no blanks), without its leading zeros. Kept as digits so that no number is too large.
std::optional<std::string> run_number_digits(std::string_view rest) {
    if (rest.empty()) return std::nullopt;
    for (const char c : rest) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    const std::size_t first = rest.find_first_not_of('0');
    return std::string(first == std::string_view::npos ? "0" : rest.substr(first));
}

bool numerically_less(const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

std::string plus_one(std::string digits) {
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return digits;
        }
        *it = '0';
    }
    return "1" + digits;
}

}  // namespace

std::string ensure_dir(const std::string& path) {
    fs::create_directories(path);
    return path;
}

std::string today_data_dir() {
    require_loaded();
    return ensure_dir(dated_folder(local_now()));
}

std::string next_run_number(const std::string& dated_dir) {
    std::optional<std::string> highest;
    for (const fs::directory_entry& entry : fs::directory_iterator(dated_dir)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("RUN", 0) != 0) continue;
        std::error_code ec;
        if (!entry.is_directory(ec)) continue;
        std::optional<std::string> number = run_number_digits(without_run_tags(name));
        if (number && (!highest || numerically_less(*highest, *number)))
            highest = std::move(number);
    }
    return highest ? plus_one(*highest) : "1";
}

RunFolder create_run_folder(const std::string& dated_dir) {
    // Every failed attempt passes a name that exists, so the numbers run out of taken
    // names long before they could run out of anything else.
    for (std::string number = next_run_number(dated_dir);; number = plus_one(number)) {
        const std::string run_id = "RUN" + number;
        const fs::path folder = fs::path(dated_dir) / run_id;
        if (::mkdir(folder.c_str(), 0777) == 0) return {run_id, folder.string()};
        if (errno != EEXIST) {
            throw fs::filesystem_error("cannot create the run folder", folder,
                                       std::error_code(errno, std::generic_category()));
        }
    }
}

RunFolder allocate_run_folder() {
    require_loaded();
    try {
        ensure_dir(CONFD);
        return create_run_folder(ensure_dir(dated_folder(local_now())));
    } catch (const fs::filesystem_error& e) {
        // A shared install next to a library in a system folder: the folders exist, made
        // by whoever installed it, but this user may not write into them.
        const std::error_code code = e.code();
        if (code != std::errc::permission_denied && code != std::errc::read_only_file_system &&
            code != std::errc::operation_not_permitted) {
            throw;
        }
        throw fs::filesystem_error("the base directory " + BASE_DIR +
                                       " cannot be written (set QUORVANE_BASE_DIR to a "
                                       "writable folder)",
                                   e.path1(), code);
    }
}

}  // namespace quorvane
