#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "quorvane/paths/paths.hpp"

namespace quorvane {
namespace {

TEST(IsIpv4, AcceptsOnlyFourDottedDecimalsInRange) {
    EXPECT_TRUE(_is_ipv4("10.0.0.1"));
    EXPECT_TRUE(_is_ipv4("0.0.0.0"));
    EXPECT_TRUE(_is_ipv4("255.255.255.255"));
    for (const char* text : {"10.0.0", "10.0.0.256", " 10.0.0.1", "10.0.0.1 ", "host", "", "::1",
                             "10..0.1", "1.2.3.4.5", "0x1.2.3.4"}) {
        EXPECT_FALSE(_is_ipv4(text)) << text;
    }
    EXPECT_FALSE(_is_ipv4(std::string("10.0.0.1\0junk", 13)));
}

// A loopback listener on a free port; closed again at the end of the test.
class Listener {
  public:
    explicit Listener(int backlog = 16) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(fd_, backlog) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            ADD_FAILURE() << "cannot listen on loopback";
        }
        port_ = ntohs(address.sin_port);
    }
    ~Listener() { ::close(fd_); }
    int port() const { return port_; }

    // Takes the connection a successful probe left in the queue, so the queue never fills.
    void drop_pending() {
        pollfd pfd{fd_, POLLIN, 0};
        if (::poll(&pfd, 1, 1000) == 1) ::close(::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC));
    }

  private:
    int fd_;
    int port_ = 0;
};

// A loopback port with nothing listening: bound once to find a free one, then released.
int closed_port() {
    Listener probe;
    return probe.port();
}

std::size_t open_descriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

TEST(SshPortOpen, ListeningPortIsOpen) {
    Listener listener;
    EXPECT_TRUE(ssh_port_open("127.0.0.1", listener.port(), 2));
    EXPECT_TRUE(ssh_port_open("localhost", listener.port(), 2));
}

TEST(SshPortOpen, ClosedPortIsNotOpen) {
    EXPECT_FALSE(ssh_port_open("127.0.0.1", closed_port(), 2));
}

TEST(SshPortOpen, UnresolvableNamesAndBadArgumentsGiveFalse) {
    EXPECT_FALSE(ssh_port_open("no-such-host.invalid", 22, 2));
    EXPECT_FALSE(ssh_port_open("", 22, 1));
    EXPECT_FALSE(ssh_port_open("127.0.0.1", 70000, 1));
    EXPECT_FALSE(ssh_port_open("127.0.0.1", -1, 1));
    EXPECT_FALSE(ssh_port_open("127.0.0.1", 22, -1));
}

TEST(SshPortOpen, ManyProbesLeaveNoDescriptorOpen) {
    Listener listener;
    const int closed = closed_port();
    const std::size_t before = open_descriptors();
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(ssh_port_open("127.0.0.1", listener.port(), 2));
        listener.drop_pending();
        ASSERT_FALSE(ssh_port_open("127.0.0.1", closed, 2));
    }
    EXPECT_FALSE(ssh_port_open("no-such-host.invalid", 22, 1));
    EXPECT_EQ(open_descriptors(), before);
}

// Workers of a poll run probe at the same time; host names resolve on helper threads.
TEST(SshPortOpen, ConcurrentProbesAgree) {
    Listener listener(64);
    std::atomic<int> open{0};
    std::atomic<int> closed{0};
    const int closed_one = closed_port();
    std::vector<std::thread> workers;
    for (int t = 0; t < 8; ++t) {
        workers.emplace_back([&, t] {
            const char* host = t % 2 == 0 ? "127.0.0.1" : "localhost";
            if (ssh_port_open(host, listener.port(), 2)) ++open;
            if (!ssh_port_open(host, closed_one, 2)) ++closed;
        });
    }
    for (std::thread& worker : workers) worker.join();
    EXPECT_EQ(open.load(), 8);
    EXPECT_EQ(closed.load(), 8);
}

// A listener that never accepts and whose queue is full drops further SYNs, so a connect
// to it does not complete: the nearest thing to a silent host that loopback offers.
TEST(SshPortOpen, PeerThatDoesNotAnswerTimesOut) {
    Listener listener(0);
    std::vector<int> fillers;
    bool queue_full = false;
    for (int i = 0; i < 8 && !queue_full; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        fillers.push_back(fd);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(listener.port()));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) continue;
        pollfd pfd{fd, POLLOUT, 0};
        queue_full = ::poll(&pfd, 1, 100) == 0;
    }
    if (!queue_full) {
        for (int fd : fillers) ::close(fd);
        GTEST_SKIP() << "this kernel completes connects beyond the listen queue";
    }

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ssh_port_open("127.0.0.1", listener.port(), 0.3));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(250));
    // Bounded by the time-out, not by the kernel's two minutes of SYN retries; the margin
    // leaves room for a loaded machine.
    EXPECT_LT(elapsed, std::chrono::seconds(30));
    for (int fd : fillers) ::close(fd);
}

}  // namespace
}  // namespace quorvane
