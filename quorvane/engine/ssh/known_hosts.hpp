#pragma once
// Remembered device host keys in an OpenSSH known_hosts file: the first key a device
// shows is recorded, a different key later is refused. Plain host entries ("host" or
// "[host]:port", comma-separated lists) are understood; hashed entries and marker lines
// (@cert-authority, @revoked) are left alone, since this file is written by us.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

struct HostKey {
    std::string type;    // "ssh-ed25519", "ecdsa-sha2-nistp256", "ssh-rsa", ...
    std::string base64;  // the public key blob
    bool operator==(const HostKey&) const = default;
};

// The name OpenSSH writes for a host: "host" on port 22, "[host]:port" otherwise.
std::string known_hosts_name(const std::string& host, int port);

// Keys recorded for name in the text of a known_hosts file, in file order.
std::vector<HostKey> known_keys_for(std::string_view file_text, std::string_view name);
// The 1-based line of the first key recorded for name; 0 when there is none.
int first_key_line(std::string_view file_text, std::string_view name);

enum class HostKeyCheck { known, recorded, changed };

// Compares key with what file remembers for host:port and records it on first use. Safe
// from several threads and processes at once: the decision and the append happen under a
// process-wide mutex and an exclusive lock on the file, and each entry is one write().
// Creates the file and its folder when missing; throws std::runtime_error when it cannot.
// For a changed key, remembered_line receives the line of the key remembered first.
HostKeyCheck check_and_record_host_key(const std::filesystem::path& file, const std::string& host,
                                       int port, const HostKey& key,
                                       int* remembered_line = nullptr);

}  // namespace quorvane
