#include "quorvane/engine/ssh/known_hosts.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace quorvane {
namespace {

std::string_view next_field(std::string_view& line) {
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        line = {};
        return {};
    }
    line.remove_prefix(start);
    const std::size_t end = std::min(line.find_first_of(" \t"), line.size());
    std::string_view field = line.substr(0, end);
    line.remove_prefix(end);
    return field;
}

bool names_host(std::string_view hosts, std::string_view name) {
    while (!hosts.empty()) {
        const std::size_t comma = std::min(hosts.find(','), hosts.size());
        if (hosts.substr(0, comma) == name) return true;
        hosts.remove_prefix(std::min(comma + 1, hosts.size()));
    }
    return false;
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

std::runtime_error file_error(const char* what, const std::filesystem::path& file) {
    return std::runtime_error(std::string(what) + " " + file.string() + ": " +
                              std::strerror(errno));
}

std::string read_all(int fd, const std::filesystem::path& file) {
    std::string text;
    char chunk[16384];
    for (off_t offset = 0;;) {
        const ssize_t n = ::pread(fd, chunk, sizeof chunk, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw file_error("cannot read", file);
        if (n == 0) return text;
        text.append(chunk, static_cast<std::size_t>(n));
        offset += n;
    }
}

void write_all(int fd, const std::string& text, const std::filesystem::path& file) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw file_error("cannot write", file);
        done += static_cast<std::size_t>(n);
    }
}

std::mutex& known_hosts_mutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

std::string known_hosts_name(const std::string& host, int port) {
    return port == 22 ? host : "[" + host + "]:" + std::to_string(port);
}

namespace {

// Calls found(line number, key) for every key recorded for name, in file order.
template <class Found>
void for_each_key(std::string_view file_text, std::string_view name, Found found) {
    for (int number = 1; !file_text.empty(); ++number) {
        const std::size_t eol = std::min(file_text.find('\n'), file_text.size());
        std::string_view line = file_text.substr(0, eol);
        file_text.remove_prefix(std::min(eol + 1, file_text.size()));
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

        const std::string_view hosts = next_field(line);
        if (hosts.empty() || hosts.front() == '#' || hosts.front() == '@' || hosts.front() == '|') {
            continue;
        }
        const std::string_view type = next_field(line);
        const std::string_view blob = next_field(line);
        if (blob.empty() || !names_host(hosts, name)) continue;
        found(number, HostKey{std::string(type), std::string(blob)});
    }
}

}  // namespace

std::vector<HostKey> known_keys_for(std::string_view file_text, std::string_view name) {
    std::vector<HostKey> keys;
    for_each_key(file_text, name, [&](int, HostKey key) { keys.push_back(std::move(key)); });
    return keys;
}

int first_key_line(std::string_view file_text, std::string_view name) {
    int first = 0;
    for_each_key(file_text, name, [&](int number, const HostKey&) {
        if (first == 0) first = number;
    });
    return first;
}

HostKeyCheck check_and_record_host_key(const std::filesystem::path& file, const std::string& host,
                                       int port, const HostKey& key, int* remembered_line) {
    std::lock_guard<std::mutex> guard(known_hosts_mutex());
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());

    const FileDescriptor fd(::open(file.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
    if (fd.get() < 0) throw file_error("cannot open", file);
    while (::flock(fd.get(), LOCK_EX) != 0) {
        if (errno != EINTR) throw file_error("cannot lock", file);
    }

    const std::string text = read_all(fd.get(), file);
    const std::string name = known_hosts_name(host, port);
    const std::vector<HostKey> keys = known_keys_for(text, name);
    if (std::find(keys.begin(), keys.end(), key) != keys.end()) return HostKeyCheck::known;
    if (!keys.empty()) {
        if (remembered_line != nullptr) *remembered_line = first_key_line(text, name);
        return HostKeyCheck::changed;
    }

    std::string entry;
    if (!text.empty() && text.back() != '\n') entry += '\n';
    entry += name + " " + key.type + " " + key.base64 + "\n";
    write_all(fd.get(), entry, file);
    return HostKeyCheck::recorded;
}

}  // namespace quorvane
