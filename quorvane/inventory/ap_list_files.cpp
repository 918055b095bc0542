#include "quorvane/inventory/ap_list_files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "quorvane/engine/engine.hpp"
#include "quorvane/paths/paths.hpp"

namespace quorvane {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const char* what, const std::string& path, int error) {
    throw fs::filesystem_error(what, fs::path(path),
                               std::error_code(error, std::generic_category()));
}

}  // namespace

void append_all_aps_list(const ApRows& rows) {
    std::string block;
    for (const auto& row : rows) block += row->ip + " " + row->model + " " + row->name + "\n";
    _safe_write_append((fs::path(CONFD) / "ap_ip_list_all.txt").string(), block);
}

std::string filtered_ap_list_text(const ApRows& rows) {
    std::string text;
    for (const auto& row : rows) {
        text += row->ip + " " + row->model;
        if (!row->site_tag.empty()) text += " " + row->site_tag;
        text += "\n";
    }
    return text;
}

void replace_text_file(const std::string& path, const std::string& text) {
    const fs::path target(path);
    std::string temp =
        (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) fail("cannot create a temporary file for", path, errno);
    // mkostemp creates the file for its owner only; the list is as readable as any output.
    ::fchmod(fd, S_IRUSR | S_IWUSR | S_IRGRP | S_IROTH);
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            fail("cannot write", temp, error);
        }
        written += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0 && errno != EINTR) {
        const int error = errno;
        ::unlink(temp.c_str());
        fail("cannot close", temp, error);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        fail("cannot replace", path, error);
    }
}

std::string Quorvane::write_filtered_ap_list(const ApRows& rows) {
    const std::string text = filtered_ap_list_text(rows);
    const std::string confd_copy = (fs::path(CONFD) / "ap_ip_list.txt").string();
    replace_text_file(confd_copy, text);
    replace_text_file((fs::path(data_dir) / "ap_ip_list.txt").string(), text);
    return confd_copy;
}

}  // namespace quorvane
