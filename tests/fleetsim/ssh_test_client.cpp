#include "ssh_test_client.hpp"

#include <chrono>

namespace fleetsim_test {

SshTestClient::SshTestClient(const std::string& host, int port, const std::string& user,
                             const std::string& password, Auth auth) {
    session_ = ssh_new();
    if (!session_) throw std::runtime_error("ssh_new failed");
    long timeout = 10;
    bool no = false;
    int nodelay = 1;
    ssh_options_set(session_, SSH_OPTIONS_HOST, host.c_str());
    ssh_options_set(session_, SSH_OPTIONS_PORT, &port);
    ssh_options_set(session_, SSH_OPTIONS_USER, user.c_str());
    ssh_options_set(session_, SSH_OPTIONS_TIMEOUT, &timeout);
    ssh_options_set(session_, SSH_OPTIONS_PROCESS_CONFIG, &no);
    ssh_options_set(session_, SSH_OPTIONS_NODELAY, &nodelay);
    ssh_options_set(session_, SSH_OPTIONS_KNOWNHOSTS, "/dev/null");
    ssh_options_set(session_, SSH_OPTIONS_HOSTKEYS, "ssh-ed25519");
    if (ssh_connect(session_) != SSH_OK) {
        std::string e = ssh_get_error(session_);
        ssh_free(session_);
        throw std::runtime_error("connect: " + e);
    }
    int rc;
    if (auth == Auth::password) {
        rc = ssh_userauth_password(session_, nullptr, password.c_str());
    } else {
        rc = ssh_userauth_kbdint(session_, nullptr, nullptr);
        while (rc == SSH_AUTH_INFO) {
            for (int i = 0; i < ssh_userauth_kbdint_getnprompts(session_); ++i)
                ssh_userauth_kbdint_setanswer(session_, i, password.c_str());
            rc = ssh_userauth_kbdint(session_, nullptr, nullptr);
        }
    }
    if (rc != SSH_AUTH_SUCCESS) {
        ssh_disconnect(session_);
        ssh_free(session_);
        throw LoginError("authentication failed");
    }
    channel_ = ssh_channel_new(session_);
    if (!channel_ || ssh_channel_open_session(channel_) != SSH_OK ||
        ssh_channel_request_pty_size(channel_, "vt100", 200, 24) != SSH_OK ||
        ssh_channel_request_shell(channel_) != SSH_OK) {
        std::string e = ssh_get_error(session_);
        if (channel_) ssh_channel_free(channel_);
        ssh_disconnect(session_);
        ssh_free(session_);
        throw std::runtime_error("shell: " + e);
    }
}

SshTestClient::~SshTestClient() {
    if (channel_) {
        ssh_channel_close(channel_);
        ssh_channel_free(channel_);
    }
    ssh_disconnect(session_);
    ssh_free(session_);
}

void SshTestClient::send(const std::string& text) {
    if (ssh_channel_write(channel_, text.data(), static_cast<uint32_t>(text.size())) !=
        static_cast<int>(text.size()))
        throw std::runtime_error("write failed");
}

std::string SshTestClient::read_until(const std::string& marker, int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    char buf[65536];
    for (;;) {
        size_t at = buffer_.find(marker);
        if (at != std::string::npos) {
            std::string out = buffer_.substr(0, at + marker.size());
            buffer_.erase(0, at + marker.size());
            return out;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0 || ssh_channel_is_eof(channel_)) {
            std::string seen;
            seen.swap(buffer_);
            throw ReadTimeout("no '" + marker + "' within " + std::to_string(timeout_ms) + " ms",
                              seen);
        }
        int n = ssh_channel_read_timeout(channel_, buf, sizeof buf, 0, static_cast<int>(left));
        if (n == SSH_ERROR) {
            std::string seen;
            seen.swap(buffer_);
            throw ReadTimeout(std::string("read failed: ") + ssh_get_error(session_), seen);
        }
        if (n > 0) buffer_.append(buf, static_cast<size_t>(n));
    }
}

std::string SshTestClient::command(const std::string& cmd, const std::string& prompt,
                                   int timeout_ms) {
    send(cmd + "\n");
    return read_until(prompt, timeout_ms);
}

std::string SshTestClient::drain(int ms) {
    try {
        read_until(std::string("\x01\x02unlikely\x03", 11), ms);
    } catch (const ReadTimeout& t) {
        return t.received;
    }
    return {};
}

bool SshTestClient::wait_closed(int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    char buf[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        if (ssh_channel_is_eof(channel_) || !ssh_channel_is_open(channel_)) return true;
        int n = ssh_channel_read_timeout(channel_, buf, sizeof buf, 0, 100);
        if (n == SSH_ERROR) return true;
        if (n == 0 && ssh_channel_is_eof(channel_)) return true;
    }
    return false;
}

std::string SshTestClient::host_key_fingerprint() const {
    ssh_key key = nullptr;
    if (ssh_get_server_publickey(session_, &key) != SSH_OK) return {};
    unsigned char* hash = nullptr;
    size_t len = 0;
    ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &len);
    char* text = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, len);
    std::string out = text ? text : "";
    ssh_string_free_char(text);
    ssh_clean_pubkey_hash(&hash);
    ssh_key_free(key);
    return out;
}

}  // namespace fleetsim_test
