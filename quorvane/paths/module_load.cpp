// The path constants and the load-time folder creation live together in this one
// translation unit so that their initialisation order is the order written here.
//
// Nothing here may throw: an exception during static initialisation would end the host
// inside its dlopen() call. A failure is printed on standard error and kept, and every
// later engine construction raises it instead.

#include <cstdio>
#include <filesystem>
#include <string>

#include "quorvane/engine/stdout_lines.hpp"
#include "quorvane/paths/library_file.hpp"
#include "quorvane/paths/paths.hpp"

namespace quorvane {

namespace fs = std::filesystem;

namespace {

constexpr const char* kBaseDirHint = " (set QUORVANE_BASE_DIR to a writable folder)";

struct LoadState {
    std::string base_dir;
    std::string failure;  // empty while the load goes well
};

std::string failure_text(const std::string& reason) {
    return "Quorvane cannot be loaded: " + reason + kBaseDirHint;
}

LoadState announce_load_and_find_base_dir() noexcept {
    LoadState state;
    try {
        print_diagnostic_line(">>> LOADED Quorvane FROM: " + library_file_path());
        state.base_dir = get_app_base_dir();
    } catch (const std::exception& e) {
        state.failure = failure_text(e.what());
    } catch (...) {
        state.failure = failure_text("the base directory cannot be determined");
    }
    return state;
}

const LoadState load_state = announce_load_and_find_base_dir();

std::string create_load_folders(const std::string& confd, const std::string& data_root) noexcept {
    if (!load_state.failure.empty()) return load_state.failure;
    try {
        for (const std::string& folder : {confd, data_root}) {
            std::error_code ec;
            fs::create_directories(folder, ec);
            if (ec) return failure_text("cannot create the folder " + folder + ": " + ec.message());
        }
        return {};
    } catch (const std::exception& e) {
        return failure_text(e.what());
    }
}

void report_on_stderr(const std::string& failure) noexcept {
    if (failure.empty()) return;
    std::fprintf(stderr, "%s\n", failure.c_str());
    std::fflush(stderr);
}

}  // namespace

const std::string BASE_DIR = load_state.base_dir;
const std::string CONFD =
    BASE_DIR.empty() ? std::string() : (fs::path(BASE_DIR) / "confd").string();
const std::string DATA_ROOT =
    BASE_DIR.empty() ? std::string() : (fs::path(BASE_DIR) / "data").string();

namespace {

const std::string load_failure = create_load_folders(CONFD, DATA_ROOT);
[[maybe_unused]] const bool reported = (report_on_stderr(load_failure), true);

}  // namespace

void require_loaded() {
    if (!load_failure.empty()) throw LoadError(load_failure);
}

}  // namespace quorvane
