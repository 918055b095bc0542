#include "quorvane/config/ini_store.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sys/file.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "quorvane/config/ini_format.hpp"
#include "quorvane/config/ini_key.hpp"
#include "quorvane/config/secrets.hpp"
#include "quorvane/paths/utf8.hpp"

namespace quorvane {

namespace fs = std::filesystem;

namespace {

struct LegacyKey {
    const char* section;
    const char* key;
    const char* legacy_key;  // as spelled in the flat file; matched case-sensitively
    const char* fallback;
};

constexpr std::array<LegacyKey, 11> kLegacyKeys{{
    {"WLC", "wlcipaddr", "WlcIpaddr", ""},
    {"WLC", "wlc_user", "wlc_user", ""},
    {"WLC", "wlc_pasw", "wlc_pasw", ""},
    {"AP", "ap_user", "ap_user", ""},
    {"AP", "ap_pasw", "ap_pasw", ""},
    {"AP", "ap_enable", "ap_enable", ""},
    {"FTP", "ftp_addr", "ftp_addr", ""},
    {"FTP", "ftp_path", "ftp_path", ""},
    {"FTP", "ftp_user", "ftp_user", ""},
    {"FTP", "ftp_pasw", "ftp_pasw", ""},
    {"FTP", "scp_port", "scp_port", "22"},
}};

constexpr const char* kCollectCountKey = "collect_archive_wnccore_count";

[[noreturn]] void fail_read(const std::string& path, int error) {
    throw fs::filesystem_error("cannot read the configuration file", fs::path(path),
                               std::error_code(error, std::generic_category()));
}

// The whole file, or no value when there is no file. Any other failure is an error: a
// file that exists but cannot be read must never be taken for a missing one, or the
// skeleton written in its place would wipe every controller and secret in it.
std::optional<std::string> read_whole_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return std::nullopt;
        fail_read(path, errno);
    }
    std::string content;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            fail_read(path, error);
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return content;
}

std::string_view trim(std::string_view text) { return trim_unicode_space(text); }

// The flat form: one "key: value" (or "key = value") per line, later lines winning.
std::map<std::string, std::string> read_legacy_pairs(const std::string& content) {
    std::map<std::string, std::string> pairs;
    const std::string text = drop_invalid_utf8(without_byte_order_mark(content));
    for (std::string_view raw : split_lines(text)) {
        const std::string_view line = trim(raw);
        if (line.empty() || line.front() == '#') continue;
        std::size_t split = line.find(':');
        if (split == std::string_view::npos) split = line.find('=');
        if (split == std::string_view::npos) continue;
        pairs[std::string(trim(line.substr(0, split)))] = std::string(trim(line.substr(split + 1)));
    }
    return pairs;
}

[[noreturn]] void fail_save(const char* what, const fs::path& path, int error) {
    throw fs::filesystem_error(what, path, std::error_code(error, std::generic_category()));
}

void write_all(int fd, const std::string& data, const fs::path& path) {
    std::size_t written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail_save("cannot write", path, errno);
        }
        written += static_cast<std::size_t>(n);
    }
}

// The replacement belongs to whoever owned the file before: a host run once with sudo
// must not leave a config.ini that its real owner can no longer read. Without the right
// to give the file away, keeping at least the group is tried; failing both, it stays ours.
void take_owner_of(int fd, const fs::path& target) {
    struct stat old_file {};
    if (::stat(target.c_str(), &old_file) != 0) return;
    struct stat new_file {};
    if (::fstat(fd, &new_file) != 0) return;
    if (old_file.st_uid == new_file.st_uid && old_file.st_gid == new_file.st_gid) return;
    if (::fchown(fd, old_file.st_uid, old_file.st_gid) == 0) return;
    [[maybe_unused]] const int ignored = ::fchown(fd, static_cast<uid_t>(-1), old_file.st_gid);
}

// Writes `data` next to `target`, flushes it to disk and renames it over `target`, so a
// crash or a full disk leaves either the old file or the new one, never a truncated one.
// The file holds credentials: it is readable by its owner only.
void replace_file_atomically(const fs::path& target, const std::string& data) {
    const fs::path folder = target.parent_path();
    std::string temp_name = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkostemp(temp_name.data(), O_CLOEXEC);
    if (fd < 0) fail_save("cannot create a temporary file for", target, errno);
    const fs::path temp(temp_name);
    int open_fd = fd;
    try {
        take_owner_of(fd, target);
        // After the change of owner, which may clear mode bits of its own.
        if (::fchmod(fd, S_IRUSR | S_IWUSR) != 0) fail_save("cannot set the mode of", temp, errno);
        write_all(fd, data, temp);
        if (::fsync(fd) != 0) fail_save("cannot flush", temp, errno);
        open_fd = -1;
        if (::close(fd) != 0) fail_save("cannot close", temp, errno);
    } catch (...) {
        if (open_fd >= 0) ::close(open_fd);
        ::unlink(temp_name.c_str());
        throw;
    }
    if (::rename(temp_name.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp_name.c_str());
        fail_save("cannot replace", target, error);
    }
    // Make the rename itself durable; a folder that cannot be synced is no reason to fail.
    const std::string folder_name = folder.empty() ? "." : folder.string();
    if (const int dir = ::open(folder_name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

// Every writer of config.ini holds an exclusive lock on its folder while it reads and
// replaces the file, so a `config set` in one terminal and the collect counter of a
// running engine never undo each other. The folder, not the file: the file is replaced
// by rename, and a lock on the old file would not stop a writer of the new one. The wait
// is bounded; a lock held longer belongs to a program that is stuck.
class FolderLock {
  public:
    explicit FolderLock(const fs::path& file) {
        const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
        fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0) fail_save("cannot open the folder of", file, errno);
        constexpr auto kPatience = std::chrono::seconds(10);
        const auto give_up = std::chrono::steady_clock::now() + kPatience;
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            if (error == EINTR) continue;
            if (error != EWOULDBLOCK || std::chrono::steady_clock::now() > give_up) {
                ::close(fd_);
                fail_save(error == EWOULDBLOCK
                              ? "another program has been writing it for 10 s; try again"
                              : "cannot lock the folder of",
                          file, error);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ~FolderLock() { ::close(fd_); }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

  private:
    int fd_ = -1;
};

// The flat file as it was, next to it as "config.ini.flat-<time>", readable by its owner
// only (it holds passwords); a name already taken gets a number.
void keep_flat_copy(const fs::path& target, const std::string& content) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d_%H%M%S", &local);
    const std::string base = target.string() + ".flat-" + stamp;
    for (int n = 0;; ++n) {
        const std::string name = n == 0 ? base : base + "-" + std::to_string(n);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST && n < 100) continue;
            fail_save("cannot keep a copy of", target, errno);
        }
        try {
            write_all(fd, content, name);
            if (::fsync(fd) != 0) fail_save("cannot flush", name, errno);
        } catch (...) {
            ::close(fd);
            throw;
        }
        ::close(fd);
        return;
    }
}

std::string shown(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            out += c;
        }
    }
    return out + "'";
}

[[noreturn]] void refuse(const std::string& what, const std::string& text, const char* why) {
    throw std::invalid_argument("config.ini cannot hold the " + what + " " + shown(text) + ": " +
                                why);
}

bool has_line_break(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// What the reader would take for something else, or not read back at all.
void check_section_name(const std::string& sec) {
    if (sec.empty()) refuse("section name", sec, "it is empty");
    if (has_line_break(sec)) refuse("section name", sec, "it holds a line break");
    if (sec.find(']') != std::string::npos) refuse("section name", sec, "it holds \"]\"");
    if (!is_valid_utf8(sec)) refuse("section name", sec, "it is not valid UTF-8");
}

void check_key(const std::string& key) {
    if (key.empty()) refuse("key", key, "it is empty");
    if (has_line_break(key)) refuse("key", key, "it holds a line break");
    if (key.find_first_of("=:") != std::string::npos) {
        refuse("key", key, "it holds \"=\" or \":\"");
    }
    if (key.front() == '#' || key.front() == ';' || key.front() == '[') {
        refuse("key", key, "it begins with \"#\", \";\" or \"[\"");
    }
    if (!is_valid_utf8(key)) refuse("key", key, "it is not valid UTF-8");
    if (trim_unicode_space(key).size() != key.size()) {
        refuse("key", key, "it has white space around it");
    }
}

void check_stored_value(const std::string& key, const std::string& stored) {
    if (!is_valid_utf8(stored)) refuse("value of", key, "it is not valid UTF-8");
}

}  // namespace

bool is_secret_key(const std::string& key) {
    const std::string folded = fold_key(key);
    return folded.find("pasw") != std::string::npos ||
           folded.find("password") != std::string::npos ||
           folded.find("enable") != std::string::npos;
}

IniStore::IniStore(std::string path_) : path(std::move(path_)) {
    if (const std::optional<std::string> content = read_whole_file(path)) {
        try {
            cfg = parse_ini(*content, path);
        } catch (const MissingSectionHeaderError& not_ini) {
            convert_legacy(*content, not_ini.line());
        }
    }
    fill_in_defaults();
    migrate_old_address_key();
}

void IniStore::convert_legacy(const std::string& content, std::size_t first_entry_line) {
    const std::map<std::string, std::string> pairs = read_legacy_pairs(content);
    // A file that is neither INI nor flat (a broken first header, notes at the top) is not
    // replaced: every controller and secret in it would be gone. Flat means at least one
    // setting of the flat form and no section header anywhere.
    const auto lines = split_lines(without_byte_order_mark(content));
    const bool has_header = std::any_of(lines.begin(), lines.end(), [](std::string_view raw) {
        const std::string_view line = trim(raw);
        return line.size() >= 2 && line.front() == '[' && line.back() == ']';
    });
    const bool has_flat_key =
        std::any_of(kLegacyKeys.begin(), kLegacyKeys.end(),
                    [&](const LegacyKey& k) { return pairs.count(k.legacy_key) != 0; });
    if (has_header || !has_flat_key) {
        const std::string line = first_entry_line - 1 < lines.size()
                                     ? std::string(lines[first_entry_line - 1])
                                     : std::string();
        throw IniParseError(path, first_entry_line,
                            shown(line) +
                                " is not a section header, and the file is not in the older "
                                "flat form either; correct that line and run again");
    }
    keep_flat_copy(path, content);
    cfg = IniDocument{};
    for (const LegacyKey& entry : kLegacyKeys) {
        cfg.add_section(entry.section);
        const auto found = pairs.find(entry.legacy_key);
        cfg.set(entry.section, entry.key, found != pairs.end() ? found->second : entry.fallback);
    }
    save();
}

void IniStore::fill_in_defaults() {
    bool changed = false;
    for (const char* section : {"WLC", "AP", "FTP"}) {
        if (!cfg.has_section(section)) {
            cfg.add_section(section);
            changed = true;
        }
    }
    if (!cfg.has_option("FTP", "scp_port")) {
        cfg.set("FTP", "scp_port", "22");
        changed = true;
    }
    if (cfg.has_section("CRONJOB") && !cfg.has_option("CRONJOB", kCollectCountKey)) {
        cfg.set("CRONJOB", kCollectCountKey, "0");
        changed = true;
    }
    if (changed) save();
}

void IniStore::migrate_old_address_key() {
    // Only a key of WLC itself moves; one inherited from DEFAULT stays where it is.
    const std::optional<std::string> old_address = cfg.get("WLC", "wlcipaddr");
    if (!old_address || !cfg.remove_option("WLC", "wlcipaddr")) return;
    cfg.set("WLC", "wlc_ip", *old_address);
    save();
}

std::string IniStore::get(const std::string& sec, const std::string& key,
                          const std::string& default_value) const {
    const std::optional<std::string> stored = cfg.get(sec, key);
    const std::string& value = stored ? *stored : default_value;
    return is_secret_key(key) ? decrypt_value(value) : value;
}

// Nothing is stored that the next load could not read back, so a refused entry is an
// error here and not a config.ini that no engine can load.
void IniStore::set(const std::string& sec, const std::string& key, const std::string& val) {
    bulk_set(sec, {{key, val}});
}

void IniStore::bulk_set(const std::string& sec,
                        const std::vector<std::pair<std::string, std::string>>& mapping) {
    check_section_name(sec);
    std::vector<std::string> stored;
    stored.reserve(mapping.size());
    for (const auto& [key, val] : mapping) {
        check_key(key);
        stored.push_back(stored_form(key, val));
        check_stored_value(key, stored.back());
    }
    cfg.add_section(sec);
    for (std::size_t i = 0; i < mapping.size(); ++i) cfg.set(sec, mapping[i].first, stored[i]);
}

// A secret is scrambled, which also drops the bytes that are not UTF-8; a value already in
// the scrambled form is stored as given.
std::string IniStore::stored_form(const std::string& key, const std::string& val) {
    const bool scramble = is_secret_key(key) && !val.empty() && val.rfind(ENC_PREFIX, 0) != 0;
    return scramble ? encrypt_value(val) : val;
}

void IniStore::save() const {
    if (fs::path(path).has_parent_path()) fs::create_directories(fs::path(path).parent_path());
    const FolderLock lock(path);
    write_locked();
}

void IniStore::update(const std::function<void(IniStore&)>& change) {
    if (fs::path(path).has_parent_path()) fs::create_directories(fs::path(path).parent_path());
    const FolderLock lock(path);
    IniDocument before = cfg;
    try {
        const std::optional<std::string> content = read_whole_file(path);
        cfg = content ? parse_ini(*content, path) : IniDocument{};
        change(*this);
        write_locked();
    } catch (...) {
        cfg = std::move(before);
        throw;
    }
}

void IniStore::write_locked() const {
    fs::path target(path);
    // A config.ini that links elsewhere stays a link: the file it points to is replaced.
    std::error_code ec;
    if (fs::is_symlink(target, ec)) {
        if (fs::path resolved = fs::weakly_canonical(target, ec); !ec) target = resolved;
    }
    replace_file_atomically(target, write_ini(cfg));
}

}  // namespace quorvane
