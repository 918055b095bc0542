#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "quorvane/paths/paths.hpp"
#include "quorvane/paths/utf8.hpp"

namespace quorvane {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const char* what, const std::string& path) {
    throw fs::filesystem_error(what, fs::path(path),
                               std::error_code(errno, std::generic_category()));
}

}  // namespace

// Concurrent writers of one file rely on O_APPEND with a single write call: the kernel
// positions and writes each call as a unit, so one call's text is never split by another.
void _safe_write_append(const std::string& path, const std::string& text) {
    const fs::path parent = fs::path(path).parent_path();
    if (!parent.empty()) fs::create_directories(parent);

    const std::string data = drop_invalid_utf8(text);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) fail("cannot open for appending", path);

    std::size_t written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int saved = errno;
            ::close(fd);
            errno = saved;
            fail("cannot write", path);
        }
        written += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0 && errno != EINTR) fail("cannot close", path);
}

}  // namespace quorvane
