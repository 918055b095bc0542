#include <cstdlib>
#include <filesystem>

#include "quorvane/paths/library_file.hpp"
#include "quorvane/paths/paths.hpp"

namespace quorvane {

namespace fs = std::filesystem;

namespace {

// Name.app when the executable sits in Name.app/Contents/MacOS/, otherwise empty.
fs::path bundle_of(const fs::path& executable) {
    const fs::path macos = executable.parent_path();
    const fs::path contents = macos.parent_path();
    if (macos.filename() == "MacOS" && contents.filename() == "Contents") {
        return contents.parent_path();
    }
    return {};
}

bool lies_inside(const fs::path& file, const fs::path& folder) {
    if (folder.empty()) return false;
    auto f = file.begin();
    for (auto d = folder.begin(); d != folder.end(); ++d, ++f) {
        if (d->empty()) continue;  // a trailing separator
        if (f == file.end() || *f != *d) return false;
    }
    return f != file.end();
}

}  // namespace

std::string base_dir_for(bool packaged, const std::string& executable_path,
                         const std::string& library_path) {
    if (!packaged) return fs::path(library_path).parent_path().string();
    const fs::path executable(executable_path);
    const fs::path bundle = bundle_of(executable);
    if (!bundle.empty()) return bundle.parent_path().string();
    return executable.parent_path().string();
}

bool is_packaged_layout(const std::string& executable_path, const std::string& library_path) {
    if (executable_path.empty() || library_path.empty()) return false;
    const fs::path executable(executable_path);
    const fs::path library(library_path);
    const fs::path bundle = bundle_of(executable);
    if (!bundle.empty() && lies_inside(library, bundle)) return true;
    return lies_inside(library, executable.parent_path());
}

std::string get_app_base_dir() {
    // An empty value counts as unset: it would otherwise mean the current folder.
    if (const char* override_dir = std::getenv("QUORVANE_BASE_DIR");
        override_dir != nullptr && override_dir[0] != '\0') {
        return fs::absolute(override_dir).lexically_normal().string();
    }
    const std::string executable = executable_file_path();
    const std::string library = library_file_path();
    return base_dir_for(is_packaged_layout(executable, library), executable, library);
}

}  // namespace quorvane
