#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "quorvane/paths/paths.hpp"

namespace quorvane {

namespace {

using Clock = std::chrono::steady_clock;

struct Socket {
    int fd;
    ~Socket() {
        if (fd >= 0) ::close(fd);
    }
};

int remaining_ms(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    return left > INT32_MAX ? INT32_MAX : static_cast<int>(left);
}

// getaddrinfo has no time-out of its own, so a host name is resolved on a helper thread
// that may outlive the probe; the shared state keeps its result slot valid until it ends.
std::optional<in_addr> resolve_ipv4(const std::string& host, Clock::time_point deadline) {
    in_addr literal{};
    if (inet_pton(AF_INET, host.c_str(), &literal) == 1) return literal;

    struct Lookup {
        std::mutex mutex;
        std::condition_variable done_cv;
        bool done = false;
        std::optional<in_addr> address;
    };
    auto lookup = std::make_shared<Lookup>();
    try {
        std::thread([lookup, host] {
            addrinfo hints{};
            hints.ai_family = AF_INET;
            hints.ai_socktype = SOCK_STREAM;
            addrinfo* found = nullptr;
            std::optional<in_addr> address;
            if (getaddrinfo(host.c_str(), nullptr, &hints, &found) == 0 && found != nullptr) {
                address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
            }
            if (found != nullptr) freeaddrinfo(found);
            std::lock_guard lock(lookup->mutex);
            lookup->address = address;
            lookup->done = true;
            lookup->done_cv.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return std::nullopt;
    }
    std::unique_lock lock(lookup->mutex);
    if (!lookup->done_cv.wait_until(lock, deadline, [&] { return lookup->done; })) {
        return std::nullopt;
    }
    return lookup->address;
}

bool wait_connected(int fd, Clock::time_point deadline) {
    pollfd pfd{fd, POLLOUT, 0};
    for (;;) {
        const int ready = ::poll(&pfd, 1, remaining_ms(deadline));
        if (ready > 0) break;
        if (ready == 0) return false;
        if (errno != EINTR) return false;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return false;
    return error == 0;
}

}  // namespace

bool _is_ipv4(const std::string& s) {
    if (s.find('\0') != std::string::npos) return false;
    in_addr address{};
    return inet_pton(AF_INET, s.c_str(), &address) == 1;
}

bool ssh_port_open(const std::string& ip, int port, double timeout) {
    if (!std::isfinite(timeout) || timeout < 0 || port < 0 || port > 65535) return false;
    if (ip.find('\0') != std::string::npos) return false;
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(std::min(timeout, 1e7)));

    const std::optional<in_addr> address = resolve_ipv4(ip, deadline);
    if (!address) return false;

    Socket sock{::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)};
    if (sock.fd < 0) return false;

    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(static_cast<std::uint16_t>(port));
    target.sin_addr = *address;
    if (::connect(sock.fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) {
        return true;
    }
    if (errno != EINPROGRESS && errno != EINTR) return false;
    return wait_connected(sock.fd, deadline);
}

}  // namespace quorvane
