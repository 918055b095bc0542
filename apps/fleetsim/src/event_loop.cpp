#include "event_loop.hpp"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <utility>

namespace fleetsim {
namespace {

// Housekeeping (login grace, drain limits) needs a wake-up now and then even when idle.
constexpr int kIdlePollMs = 500;

ssh_bind make_bind(const std::filesystem::path& key) {
    ssh_bind bind = ssh_bind_new();
    if (!bind) throw std::runtime_error("fleetsim: ssh_bind_new failed");
    bool no = false;
    ssh_bind_options_set(bind, SSH_BIND_OPTIONS_PROCESS_CONFIG, &no);
    if (ssh_bind_options_set(bind, SSH_BIND_OPTIONS_HOSTKEY, key.c_str()) != SSH_OK) {
        ssh_bind_free(bind);
        throw std::runtime_error("fleetsim: cannot use host key " + key.string());
    }
    return bind;
}

// What older device firmware offers, and nothing newer.
ssh_bind make_legacy_bind(const std::filesystem::path& rsa_key) {
    ssh_bind bind = make_bind(rsa_key);
    const std::pair<ssh_bind_options_e, const char*> offer[] = {
        {SSH_BIND_OPTIONS_KEY_EXCHANGE, "diffie-hellman-group14-sha1,diffie-hellman-group1-sha1"},
        {SSH_BIND_OPTIONS_HOSTKEY_ALGORITHMS, "ssh-rsa"},
        {SSH_BIND_OPTIONS_CIPHERS_C_S, "aes128-cbc,aes256-cbc,3des-cbc"},
        {SSH_BIND_OPTIONS_CIPHERS_S_C, "aes128-cbc,aes256-cbc,3des-cbc"},
        {SSH_BIND_OPTIONS_HMAC_C_S, "hmac-sha1"},
        {SSH_BIND_OPTIONS_HMAC_S_C, "hmac-sha1"},
    };
    for (const auto& [option, value] : offer) {
        if (ssh_bind_options_set(bind, option, value) != SSH_OK) {
            ssh_bind_free(bind);
            throw std::runtime_error(std::string("fleetsim: libssh refuses ") + value);
        }
    }
    return bind;
}

}  // namespace

EventLoop::EventLoop(const HostKeyFiles& keys, const std::vector<const Device*>& aps,
                     std::atomic<int>& open_connections)
    : aps_(aps), open_connections_(open_connections) {
    primary_ = make_bind(keys.primary);
    alternate_ = make_bind(keys.alternate);
    if (!keys.rsa.empty()) legacy_ = make_legacy_bind(keys.rsa);
    epoll_fd_ = ::epoll_create1(EPOLL_CLOEXEC);
    wake_fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (epoll_fd_ < 0 || wake_fd_ < 0)
        throw std::runtime_error("fleetsim: cannot create event loop");
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.ptr = nullptr;
    ::epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, wake_fd_, &ev);
}

EventLoop::~EventLoop() {
    stop();
    {
        std::lock_guard lock(mutex_);
        for (auto& [fd, device] : incoming_) ::close(fd);
        incoming_.clear();
    }
    ::close(epoll_fd_);
    ::close(wake_fd_);
    ssh_bind_free(primary_);
    ssh_bind_free(alternate_);
    if (legacy_ != nullptr) ssh_bind_free(legacy_);
}

void EventLoop::start() {
    thread_ = std::thread([this] { run(); });
}

void EventLoop::stop() {
    stopping_ = true;
    wake();
    if (thread_.joinable()) thread_.join();
}

void EventLoop::wake() {
    uint64_t one = 1;
    ssize_t n = ::write(wake_fd_, &one, sizeof one);
    (void)n;
}

void EventLoop::hand_over(int fd, DeviceRecord* device) {
    {
        std::lock_guard lock(mutex_);
        incoming_.emplace_back(fd, device);
    }
    wake();
}

void EventLoop::watch(Connection& c, bool modify) {
    epoll_event ev{};
    ev.events = c.wants_write() ? (EPOLLIN | EPOLLOUT) : EPOLLIN;
    ev.data.ptr = &c;
    ::epoll_ctl(epoll_fd_, modify ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, c.fd(), &ev);
}

void EventLoop::adopt(int fd, DeviceRecord* device) {
    ssh_session session = ssh_new();
    if (!session) {
        ::close(fd);
        return;
    }
    ssh_bind bind = device->config.legacy_ssh_only ? legacy_
                    : device->alternate_key        ? alternate_
                                                   : primary_;
    if (ssh_bind_accept_fd(bind, session, fd) != SSH_OK) {
        ssh_free(session);
        ::close(fd);
        return;
    }
    auto connection = std::make_unique<Connection>(session, *device, aps_);
    if (!connection->begin()) return;
    watch(*connection, false);
    ++open_connections_;
    connections_.push_back(std::move(connection));
    watching_write_.push_back(connections_.back()->wants_write());
}

void EventLoop::run() {
    using Clock = Connection::Clock;
    std::vector<std::pair<int, DeviceRecord*>> arrived;
    std::vector<epoll_event> events(256);
    while (!stopping_) {
        Clock::time_point now = Clock::now();
        // Delayed answers are due to the microsecond; a millisecond poll time-out would add
        // up to a millisecond to each of them.
        auto wait = std::chrono::microseconds(kIdlePollMs * 1000);
        for (const auto& c : connections_) {
            if (auto due = c->next_due()) {
                auto left = std::chrono::ceil<std::chrono::microseconds>(*due - now);
                wait = std::max(std::chrono::microseconds(0), std::min(wait, left));
            }
        }
        timespec ts{static_cast<time_t>(wait.count() / 1000000),
                    static_cast<long>(wait.count() % 1000000) * 1000};
        int n =
            ::epoll_pwait2(epoll_fd_, events.data(), static_cast<int>(events.size()), &ts, nullptr);
        for (int i = 0; i < n; ++i) {
            if (events[i].data.ptr == nullptr) {
                uint64_t count;
                ssize_t r = ::read(wake_fd_, &count, sizeof count);
                (void)r;
                continue;
            }
            static_cast<Connection*>(events[i].data.ptr)->pump();
        }
        {
            std::lock_guard lock(mutex_);
            arrived.swap(incoming_);
        }
        for (auto& [fd, device] : arrived) adopt(fd, device);
        arrived.clear();
        now = Clock::now();
        size_t kept = 0;
        for (size_t i = 0; i < connections_.size(); ++i) {
            Connection& c = *connections_[i];
            c.service(now);
            if (c.finished()) {
                ::epoll_ctl(epoll_fd_, EPOLL_CTL_DEL, c.fd(), nullptr);
                connections_[i].reset();
                --open_connections_;
                continue;
            }
            bool want = c.wants_write();
            if (want != watching_write_[i]) watch(c, true);
            connections_[kept] = std::move(connections_[i]);
            watching_write_[kept] = want;
            ++kept;
        }
        connections_.resize(kept);
        watching_write_.resize(kept);
    }
    for (auto& c : connections_) {
        ::epoll_ctl(epoll_fd_, EPOLL_CTL_DEL, c->fd(), nullptr);
        ssh_disconnect(c->session());
        --open_connections_;
    }
    connections_.clear();
    watching_write_.clear();
}

}  // namespace fleetsim
