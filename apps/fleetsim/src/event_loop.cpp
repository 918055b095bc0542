#include "event_loop.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <stdexcept>

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

}  // namespace

EventLoop::EventLoop(const HostKeyFiles& keys, const std::vector<const Device*>& aps,
                     std::atomic<int>& open_connections)
    : aps_(aps), open_connections_(open_connections) {
    primary_ = make_bind(keys.primary);
    alternate_ = make_bind(keys.alternate);
    event_ = ssh_event_new();
    wake_fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (!event_ || wake_fd_ < 0) throw std::runtime_error("fleetsim: cannot create event loop");
    ssh_event_add_fd(event_, wake_fd_, POLLIN, &EventLoop::on_wake, this);
}

EventLoop::~EventLoop() {
    stop();
    {
        std::lock_guard lock(mutex_);
        for (auto& [fd, device] : incoming_) ::close(fd);
        incoming_.clear();
    }
    ssh_event_remove_fd(event_, wake_fd_);
    ssh_event_free(event_);
    ::close(wake_fd_);
    ssh_bind_free(primary_);
    ssh_bind_free(alternate_);
}

void EventLoop::start() { thread_ = std::thread([this] { run(); }); }

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

int EventLoop::on_wake(socket_t fd, int, void*) {
    uint64_t count;
    ssize_t n = ::read(fd, &count, sizeof count);
    (void)n;
    return 0;
}

void EventLoop::hand_over(int fd, DeviceRecord* device) {
    {
        std::lock_guard lock(mutex_);
        incoming_.emplace_back(fd, device);
    }
    wake();
}

void EventLoop::adopt(int fd, DeviceRecord* device) {
    ssh_session session = ssh_new();
    if (!session) {
        ::close(fd);
        return;
    }
    ssh_bind bind = device->alternate_key ? alternate_ : primary_;
    if (ssh_bind_accept_fd(bind, session, fd) != SSH_OK) {
        ssh_free(session);
        ::close(fd);
        return;
    }
    auto connection = std::make_unique<Connection>(session, *device, aps_);
    if (!connection->begin()) return;
    ssh_event_add_session(event_, session);
    ++open_connections_;
    connections_.push_back(std::move(connection));
}

void EventLoop::run() {
    using Clock = Connection::Clock;
    std::vector<std::pair<int, DeviceRecord*>> arrived;
    while (!stopping_) {
        Clock::time_point now = Clock::now();
        int timeout = kIdlePollMs;
        for (const auto& c : connections_) {
            if (auto due = c->next_due()) {
                auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - now).count();
                timeout = std::max(0, std::min<int>(timeout, static_cast<int>(wait)));
            }
        }
        ssh_event_dopoll(event_, timeout);
        {
            std::lock_guard lock(mutex_);
            arrived.swap(incoming_);
        }
        for (auto& [fd, device] : arrived) adopt(fd, device);
        arrived.clear();
        now = Clock::now();
        for (auto& c : connections_) c->service(now);
        auto gone = std::remove_if(connections_.begin(), connections_.end(), [this](auto& c) {
            if (!c->finished()) return false;
            ssh_event_remove_session(event_, c->session());
            --open_connections_;
            return true;
        });
        connections_.erase(gone, connections_.end());
    }
    for (auto& c : connections_) {
        ssh_event_remove_session(event_, c->session());
        ssh_disconnect(c->session());
        --open_connections_;
    }
    connections_.clear();
}

}  // namespace fleetsim
