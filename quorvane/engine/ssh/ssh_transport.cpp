#include "quorvane/engine/ssh/ssh_transport.hpp"

#include <libssh/callbacks.h>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <sstream>

#include "quorvane/engine/ssh/known_hosts.hpp"
#include "quorvane/engine/ssh/ssh_algorithms.hpp"
#include "quorvane/engine/ssh/ssh_error.hpp"
#include "quorvane/engine/ssh/ssh_failure.hpp"

namespace quorvane {
namespace {

// Keyboard-interactive servers may ask several rounds (OpenSSH ends with an empty one).
constexpr int kMaxKeyboardInteractiveRounds = 8;

// libssh reports a failed negotiation as an error that the connection's end, read in the
// same step, may overwrite with "Socket error"; its warning log line keeps the text.
// libssh's log level and log callback belong to each thread, as does the text kept here.
thread_local std::string t_negotiation_error;

void keep_negotiation_error(int, const char*, const char* message, void*) {
    if (message != nullptr && std::strstr(message, "no match for method") != nullptr) {
        t_negotiation_error = message;
    }
}

// Everything libssh logs on this thread goes to the callback, never to standard error.
void watch_negotiation_errors() {
    thread_local bool watching = false;
    if (!watching) ssh_set_log_callback(keep_negotiation_error);
    watching = true;
    t_negotiation_error.clear();
}

void init_libssh_once() {
    static std::once_flag once;
    std::call_once(once, [] { ssh_init(); });
}

int poll_timeout_ms(SshClock::time_point deadline) {
    const auto left = deadline - SshClock::now();
    if (left <= SshClock::duration::zero()) return 0;
    const double ms = std::chrono::duration<double, std::milli>(left).count();
    return static_cast<int>(std::min(std::ceil(ms), 3.6e6));
}

struct AddrInfoDeleter {
    void operator()(addrinfo* ai) const { freeaddrinfo(ai); }
};

}  // namespace

SshClock::time_point deadline_after(double seconds) {
    // Converting NaN, or more seconds than the clock's integer ticks hold, is undefined.
    if (std::isnan(seconds)) throw SshError("Invalid time-out: not a number of seconds");
    const double bounded = std::clamp(seconds, 0.0, kLongestWaitSeconds);
    return SshClock::now() +
           std::chrono::duration_cast<SshClock::duration>(std::chrono::duration<double>(bounded));
}

std::string seconds_text(double seconds) {
    std::ostringstream out;
    out << seconds << "s";
    return out.str();
}

SshInterrupter::SshInterrupter() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (fd_ < 0)
        throw SshError(std::string("cannot create an event descriptor: ") + std::strerror(errno));
}

SshInterrupter::~SshInterrupter() { release(); }

void SshInterrupter::interrupt() noexcept {
    const std::lock_guard<std::mutex> lock(mutex_);
    interrupted_.store(true, std::memory_order_release);
    if (fd_ < 0) return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
}

void SshInterrupter::release() noexcept {
    const std::lock_guard<std::mutex> lock(mutex_);
    interrupted_.store(true, std::memory_order_release);
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

SshTransport::SshTransport(const DeviceParams& params, const SshInterrupter& interrupter)
    : interrupter_(interrupter), label_(ssh_address_label(params.host, params.port)) {
    init_libssh_once();
    const int fd = connect_tcp(params);
    session_ = ssh_new();
    if (session_ == nullptr) {
        ::close(fd);
        throw SshError("cannot create an SSH session for " + label_);
    }
    ssh_set_counters(session_, &socket_counter_, nullptr);
    try {
        handshake(params, fd);
        verify_host_key(params);
        authenticate(params);
    } catch (...) {
        release();
        throw;
    }
}

SshTransport::~SshTransport() { release(); }

void SshTransport::release() noexcept {
    // ssh_disconnect() would leave the socket open, as libssh was handed it; this closes
    // it through libssh, which knows whether an error has closed it already.
    ssh_silent_disconnect(session_);
    ssh_free(session_);
    session_ = nullptr;
}

void SshTransport::throw_timeout(const std::string& text, const std::string& reason) {
    throw SshError(text, reason);
}

void SshTransport::throw_if_interrupted() const {
    if (interrupter_.interrupted()) {
        throw SshError("Session to " + label_ + " was disconnected",
                       "the session was ended by a stop");
    }
}

bool SshTransport::wait(SshClock::time_point deadline) {
    throw_if_interrupted();
    const int fd = ssh_get_fd(session_);
    // A closed socket never becomes ready; the caller's next libssh step reports why.
    if (fd < 0) return true;
    short events = POLLIN;
    // Output libssh could not hand to the kernel (a window adjustment, say) leaves only
    // once libssh sees the socket writable in one of its own steps, which the caller takes
    // as soon as this returns. ssh_get_status() does not tell about such output; the poll
    // flags do, and may also ask for one needless wake-up after a write.
    if (ssh_get_poll_flags(session_) & SSH_WRITE_PENDING) events |= POLLOUT;
    pollfd fds[2] = {{fd, events, 0}, {interrupter_.fd(), POLLIN, 0}};
    for (;;) {
        const int rc = ::poll(fds, 2, poll_timeout_ms(deadline));
        if (rc < 0 && errno == EINTR) continue;
        if (rc < 0) throw SshError("waiting on " + label_ + " failed: " + std::strerror(errno));
        throw_if_interrupted();
        // One poll() lasts at most an hour; a later deadline takes several.
        if (rc == 0 && SshClock::now() < deadline) continue;
        return rc > 0;
    }
}

std::string SshTransport::ssh_error_text() const {
    const char* text = ssh_get_error(session_);
    return text != nullptr && *text != '\0' ? text : "unknown SSH error";
}

int SshTransport::connect_tcp(const DeviceParams& params) {
    const auto deadline = deadline_after(params.conn_timeout);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(params.port);
    const int gai = ::getaddrinfo(params.host.c_str(), port.c_str(), &hints, &found);
    if (gai != 0) {
        throw SshError("cannot resolve " + label_ + ": " + ::gai_strerror(gai),
                       "cannot resolve the address " + params.host);
    }
    const std::unique_ptr<addrinfo, AddrInfoDeleter> addresses(found);

    int failure = EADDRNOTAVAIL;
    for (const addrinfo* ai = addresses.get(); ai != nullptr; ai = ai->ai_next) {
        const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                ai->ai_protocol);
        if (fd < 0) {
            failure = errno;
            continue;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        int err = 0;
        if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
            err = errno;
            if (err == EINPROGRESS) {
                pollfd pfd{fd, POLLOUT, 0};
                int rc;
                do {
                    rc = ::poll(&pfd, 1, poll_timeout_ms(deadline));
                } while ((rc < 0 && errno == EINTR) || (rc == 0 && SshClock::now() < deadline));
                if (rc == 0) {
                    ::close(fd);
                    throw SshError("TCP connection to " + label_ + " timed out after " +
                                       seconds_text(params.conn_timeout),
                                   no_answer_reason(params.conn_timeout));
                }
                socklen_t len = sizeof err;
                if (rc < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) {
                    err = errno;
                }
            }
        }
        if (err == 0) return fd;
        failure = err;
        ::close(fd);
    }
    throw SshError("TCP connection to " + label_ + " failed: " + std::strerror(failure),
                   failure == ETIMEDOUT ? no_answer_reason(params.conn_timeout)
                                        : tcp_failure_reason(failure, params.port));
}

void SshTransport::handshake(const DeviceParams& params, int fd) {
    watch_negotiation_errors();
    const bool no_config = false;
    // Warnings carry the negotiation errors (see watch_negotiation_errors).
    const int verbosity = SSH_LOG_WARNING;
    const unsigned int port = static_cast<unsigned int>(params.port);
    ssh_options_set(session_, SSH_OPTIONS_PROCESS_CONFIG, &no_config);
    ssh_options_set(session_, SSH_OPTIONS_LOG_VERBOSITY, &verbosity);
    ssh_options_set(session_, SSH_OPTIONS_HOST, params.host.c_str());
    ssh_options_set(session_, SSH_OPTIONS_PORT, &port);
    // libssh puts the host key types it finds remembered for the device first, so a
    // device with several host keys keeps showing the one we know.
    ssh_options_set(
        session_, SSH_OPTIONS_KNOWNHOSTS,
        params.known_hosts_path.empty() ? "/dev/null" : params.known_hosts_path.c_str());
    ssh_options_set(session_, SSH_OPTIONS_GLOBAL_KNOWNHOSTS, "/dev/null");
    if (!offer_ssh_algorithms(session_, params.legacy_algorithms)) {
        ::close(fd);
        throw SshError("libssh refused the algorithm lists for " + label_ + ": " +
                       ssh_error_text());
    }
    if (!params.username.empty()) {
        ssh_options_set(session_, SSH_OPTIONS_USER, params.username.c_str());
    }
    // From here on the socket is libssh's: release() closes it.
    if (ssh_options_set(session_, SSH_OPTIONS_FD, &fd) != SSH_OK) {
        ::close(fd);
        throw SshError("cannot hand the connection to " + label_ + " to libssh");
    }
    ssh_set_blocking(session_, 0);
    const auto deadline = deadline_after(params.banner_timeout);
    int rc;
    for (;;) {
        throw_if_interrupted();
        rc = ssh_connect(session_);
        if (rc != SSH_AGAIN) break;
        if (!wait(deadline)) {
            // A device that never greets is stuck or busy; one that greeted but stalls
            // in the key exchange is too slow for its keys.
            const bool greeted = ssh_get_serverbanner(session_) != nullptr;
            throw SshError(
                "SSH handshake with " + label_ + " timed out after " +
                    seconds_text(params.banner_timeout),
                (greeted ? "key exchange did not finish within " : "no SSH greeting within ") +
                    seconds_phrase(params.banner_timeout));
        }
    }
    if (rc != SSH_OK) {
        const std::string error =
            t_negotiation_error.empty() ? ssh_error_text() : t_negotiation_error;
        std::string reason = negotiation_failure_reason(error, params.legacy_algorithms);
        // A device that finds no common algorithm may hang up before its offer is read.
        if (reason.empty() && closed()) {
            reason = ssh_get_serverbanner(session_) != nullptr
                         ? closed_in_key_exchange_reason(params.legacy_algorithms)
                         : kClosedByDevice;
        }
        throw SshError("SSH handshake with " + label_ + " failed: " + error, reason);
    }
}

bool SshTransport::closed() const {
    return (ssh_get_status(session_) & (SSH_CLOSED | SSH_CLOSED_ERROR)) != 0 ||
           !ssh_is_connected(session_);
}

void SshTransport::verify_host_key(const DeviceParams& params) {
    if (params.known_hosts_path.empty()) return;
    ssh_key key = nullptr;
    if (ssh_get_server_publickey(session_, &key) != SSH_OK) {
        throw SshError("cannot read the host key of " + label_ + ": " + ssh_error_text());
    }
    char* blob = nullptr;
    const int rc = ssh_pki_export_pubkey_base64(key, &blob);
    const char* type = ssh_key_type_to_char(ssh_key_type(key));
    HostKey host_key{type != nullptr ? type : "", blob != nullptr ? blob : ""};
    ssh_string_free_char(blob);
    ssh_key_free(key);
    if (rc != SSH_OK) throw SshError("cannot encode the host key of " + label_);

    HostKeyCheck check;
    int remembered_line = 0;
    try {
        check = check_and_record_host_key(params.known_hosts_path, params.host, params.port,
                                          host_key, &remembered_line);
    } catch (const std::exception& e) {
        throw SshError("cannot check the host key of " + label_ + ": " + e.what());
    }
    if (check == HostKeyCheck::changed) {
        throw HostKeyChangedError(
            "Host key of " + label_ + " has changed (" + host_key.type +
                " key differs from the one remembered in " + params.known_hosts_path +
                "); refusing to connect. Remove the line for " +
                known_hosts_name(params.host, params.port) +
                " from that file if the device was replaced.",
            "host key changed since it was first remembered (" + params.known_hosts_path +
                " line " + std::to_string(remembered_line) + ")");
    }
}

void SshTransport::authenticate(const DeviceParams& params) {
    const auto deadline = deadline_after(params.auth_timeout);
    const int rc =
        repeat([&] { return ssh_userauth_password(session_, nullptr, params.password.c_str()); },
               SSH_AUTH_AGAIN, deadline, auth_timeout_text(params), auth_timeout_reason(params));
    if (rc == SSH_AUTH_SUCCESS) return;
    if (rc == SSH_AUTH_ERROR) throw_auth_error();
    if (authenticate_keyboard_interactive(params, deadline)) return;
    const std::string text =
        "Authentication failed for user '" + params.username + "' on " + label_;
    // libssh has the methods the device listed in its refusal.
    const int methods = ssh_userauth_list(session_, nullptr);
    if ((methods & (SSH_AUTH_METHOD_PASSWORD | SSH_AUTH_METHOD_INTERACTIVE)) == 0) {
        throw SshError(text, "the device takes no password login");
    }
    throw SshError(text, kPasswordRefused);
}

std::string SshTransport::auth_timeout_text(const DeviceParams& params) const {
    return "Authentication with " + label_ + " timed out after " +
           seconds_text(params.auth_timeout);
}

std::string SshTransport::auth_timeout_reason(const DeviceParams& params) {
    return "login did not finish within " + seconds_phrase(params.auth_timeout);
}

void SshTransport::throw_auth_error() const {
    throw SshError("Authentication with " + label_ + " failed: " + ssh_error_text(),
                   closed() ? kClosedByDevice : "login failed: " + ssh_error_text());
}

bool SshTransport::authenticate_keyboard_interactive(const DeviceParams& params,
                                                     SshClock::time_point deadline) {
    const auto step = [&] { return ssh_userauth_kbdint(session_, nullptr, nullptr); };
    const auto answer = [&] {
        return repeat(step, SSH_AUTH_AGAIN, deadline, auth_timeout_text(params),
                      auth_timeout_reason(params));
    };
    int rc = answer();
    for (int round = 0; rc == SSH_AUTH_INFO && round < kMaxKeyboardInteractiveRounds; ++round) {
        const int prompts = ssh_userauth_kbdint_getnprompts(session_);
        for (int i = 0; i < prompts; ++i) {
            ssh_userauth_kbdint_setanswer(session_, static_cast<unsigned int>(i),
                                          params.password.c_str());
        }
        rc = answer();
    }
    if (rc == SSH_AUTH_ERROR) throw_auth_error();
    return rc == SSH_AUTH_SUCCESS;
}

}  // namespace quorvane
