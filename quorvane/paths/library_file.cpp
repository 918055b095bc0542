#include "quorvane/paths/library_file.hpp"

#include <dlfcn.h>

#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace quorvane {

namespace fs = std::filesystem;

namespace {

// Any object of this library will do for dladdr; a variable avoids casting a function
// pointer to void*.
const char library_anchor = 0;

std::string resolved(const fs::path& path) {
    std::error_code ec;
    fs::path canonical = fs::canonical(path, ec);
    if (ec) return fs::absolute(path, ec).lexically_normal().string();
    return canonical.string();
}

}  // namespace

std::string library_file_path() {
    Dl_info info{};
    if (dladdr(&library_anchor, &info) == 0 || info.dli_fname == nullptr ||
        info.dli_fname[0] == '\0') {
        throw std::runtime_error("cannot determine the path of the Quorvane library file");
    }
    return resolved(info.dli_fname);
}

std::string executable_file_path() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return resolved(exe);
}

}  // namespace quorvane
