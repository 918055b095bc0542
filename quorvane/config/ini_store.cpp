#include "quorvane/config/ini_store.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <filesystem>
#include <map>
#include <optional>
#include <system_error>

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

// The whole file, or no value when it cannot be opened or read.
std::optional<std::string> read_whole_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string content;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return std::nullopt;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return content;
}

std::string_view trim(std::string_view text) {
    const auto blank = [](char c) {
        return c == ' ' || c == '\t' || c == '\f' || c == '\v' || c == '\r' || c == '\n';
    };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

// The flat form: one "key: value" (or "key = value") per line, later lines winning.
std::map<std::string, std::string> read_legacy_pairs(const std::string& content) {
    std::map<std::string, std::string> pairs;
    const std::string text = drop_invalid_utf8(content);
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

}  // namespace

bool is_secret_key(const std::string& key) {
    const std::string folded = fold_key(key);
    return folded.find("pasw") != std::string::npos ||
           folded.find("password") != std::string::npos ||
           folded.find("enable") != std::string::npos;
}

IniStore::IniStore(std::string path_) : path(std::move(path_)) {
    const std::optional<std::string> content = read_whole_file(path);
    if (content) {
        try {
            cfg = parse_ini(*content, path);
        } catch (const MissingSectionHeaderError&) {
            convert_legacy(*content);
        }
    }
    fill_in_defaults();
    migrate_old_address_key();
}

void IniStore::convert_legacy(const std::string& content) {
    const std::map<std::string, std::string> pairs = read_legacy_pairs(content);
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

void IniStore::set(const std::string& sec, const std::string& key, const std::string& val) {
    cfg.add_section(sec);
    store(sec, key, val);
}

void IniStore::bulk_set(const std::string& sec,
                        const std::vector<std::pair<std::string, std::string>>& mapping) {
    cfg.add_section(sec);
    for (const auto& [key, val] : mapping) store(sec, key, val);
}

void IniStore::store(const std::string& sec, const std::string& key, const std::string& val) {
    const bool scramble = is_secret_key(key) && !val.empty() && val.rfind(ENC_PREFIX, 0) != 0;
    cfg.set(sec, key, scramble ? encrypt_value(val) : val);
}

void IniStore::save() const {
    fs::path target(path);
    if (target.has_parent_path()) fs::create_directories(target.parent_path());
    // A config.ini that links elsewhere stays a link: the file it points to is replaced.
    std::error_code ec;
    if (fs::is_symlink(target, ec)) {
        if (fs::path resolved = fs::weakly_canonical(target, ec); !ec) target = resolved;
    }
    replace_file_atomically(target, write_ini(cfg));
}

}  // namespace quorvane
