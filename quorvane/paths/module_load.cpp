// The path constants and the load-time folder creation live together in this one
// translation unit so that their initialisation order is the order written here.

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "quorvane/engine/stdout_lines.hpp"
#include "quorvane/paths/library_file.hpp"
#include "quorvane/paths/paths.hpp"

namespace quorvane {

namespace fs = std::filesystem;

namespace {

std::string announce_load_and_find_base_dir() {
    print_diagnostic_line(">>> LOADED Quorvane FROM: " + library_file_path());
    return get_app_base_dir();
}

void create_load_folder(const std::string& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        throw std::runtime_error("Quorvane cannot be loaded: cannot create the folder " + folder +
                                 ": " + ec.message() +
                                 " (set QUORVANE_BASE_DIR to a writable folder)");
    }
}

}  // namespace

const std::string BASE_DIR = announce_load_and_find_base_dir();
const std::string CONFD = (fs::path(BASE_DIR) / "confd").string();
const std::string DATA_ROOT = (fs::path(BASE_DIR) / "data").string();

namespace {

struct LoadFolders {
    LoadFolders() {
        create_load_folder(CONFD);
        create_load_folder(DATA_ROOT);
    }
};
[[maybe_unused]] const LoadFolders load_folders;

}  // namespace

}  // namespace quorvane
