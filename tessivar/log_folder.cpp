#include "tessivar/log_folder.hpp"

#include <string>

namespace tessivar {
namespace {

bool ends_with_log(std::string_view name) {
    if (name.size() < 4) return false;
    std::string tail(name.substr(name.size() - 4));
    for (char& c : tail) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return tail == ".log";
}

}  // namespace

std::vector<std::filesystem::path> list_logs(const std::filesystem::path& log_dir) {
    std::vector<std::filesystem::path> logs;
    for (const auto& entry : std::filesystem::directory_iterator(log_dir)) {
        const std::string name = entry.path().filename().string();
        // Counting an earlier report would add one phantom AP per earlier run.
        if (!ends_with_log(name) || name.starts_with(REPORT_PREFIX)) continue;
        std::error_code ec;
        if (!entry.is_regular_file(ec)) continue;
        logs.push_back(entry.path());
    }
    return logs;
}

}  // namespace tessivar
