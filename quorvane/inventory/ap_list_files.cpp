#include "quorvane/inventory/ap_list_files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
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

namespace {

// A new file next to `target`, created the way any program creates a file: mode 0666 less
// the umask. mkostemp would make it 0600 and a fixed chmod would ignore the umask.
int create_temp_next_to(const fs::path& target, std::string& temp) {
    static std::atomic<unsigned> serial{0};
    for (int attempt = 0;; ++attempt) {
        temp =
            (target.parent_path() / ("." + target.filename().string() + "." +
                                     std::to_string(::getpid()) + "." + std::to_string(serial++)))
                .string();
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST || attempt == 100) return fd;
    }
}

}  // namespace

void replace_text_file(const std::string& path, const std::string& text) {
    const fs::path target(path);
    std::string temp;
    const int fd = create_temp_next_to(target, temp);
    if (fd < 0) fail("cannot create a temporary file for", path, errno);
    // A list that someone made private, or shared, stays so.
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0) ::fchmod(fd, existing.st_mode & 07777);
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
