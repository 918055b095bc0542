#include "listeners.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "fleetsim/fleet.hpp"

namespace fleetsim {
namespace {

constexpr int kBacklog = 4096;
constexpr int kPortAttempts = 20;

// Returns the socket, or -1 with errno set.
int listen_on(const std::string& address, int port, int* bound_port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
        errno = EINVAL;
        return -1;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        ::listen(fd, kBacklog) != 0) {
        int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
    if (bound_port) {
        socklen_t len = sizeof sa;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
        *bound_port = ntohs(sa.sin_port);
    }
    return fd;
}

}  // namespace

void close_all(std::vector<int>& fds) {
    for (int fd : fds) ::close(fd);
    fds.clear();
}

std::vector<int> open_listeners(const std::vector<std::string>& addresses, int& port) {
    for (const std::string& a : addresses)
        if (!is_loopback_address(a))
            throw std::invalid_argument("fleetsim: refusing to listen on non-loopback " + a);
    bool choose = port == 0;
    for (int attempt = 0; attempt < (choose ? kPortAttempts : 1); ++attempt) {
        std::vector<int> fds;
        int use = choose ? 0 : port;
        bool collided = false;
        for (const std::string& a : addresses) {
            int fd = listen_on(a, use, use == 0 ? &use : nullptr);
            if (fd < 0) {
                int err = errno;
                close_all(fds);
                if (choose && err == EADDRINUSE) {
                    collided = true;
                    break;
                }
                throw std::runtime_error("fleetsim: cannot listen on " + a + ":" +
                                         std::to_string(use) + ": " + std::strerror(err));
            }
            fds.push_back(fd);
        }
        if (!collided) {
            port = use;
            return fds;
        }
    }
    throw std::runtime_error("fleetsim: no free shared port found for the fleet");
}

}  // namespace fleetsim
