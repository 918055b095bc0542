#include "fleetsim/simulator.hpp"

#include <libssh/libssh.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <map>
#include <set>
#include <stdexcept>
#include <thread>

#include "device_record.hpp"
#include "event_loop.hpp"
#include "host_keys.hpp"
#include "listeners.hpp"

namespace fleetsim {
namespace {

void raise_open_file_limit() {
    rlimit lim{};
    if (::getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < lim.rlim_max) {
        lim.rlim_cur = lim.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &lim);
    }
}

std::filesystem::path default_state_dir() {
    return std::filesystem::temp_directory_path() / ("fleetsim-" + std::to_string(::getuid()));
}

}  // namespace

struct Simulator::Impl {
    Fleet fleet;
    Options options;
    std::vector<std::unique_ptr<DeviceRecord>> records;
    std::map<std::string, DeviceRecord*> by_address;
    std::vector<const Device*> aps;
    std::vector<int> listeners;
    std::vector<DeviceRecord*> listening;  // the device of each listener
    SessionCounters sessions;
    std::vector<std::unique_ptr<EventLoop>> loops;
    std::atomic<int> open_connections{0};
    std::thread acceptor;
    int stop_fd = -1;
    int port = 0;
    bool running = false;

    DeviceRecord& record(const std::string& address) const {
        auto it = by_address.find(address);
        if (it == by_address.end()) throw std::out_of_range("fleetsim: no device at " + address);
        return *it->second;
    }

    void accept_loop(int epoll_fd) {
        auto deadline =
            std::chrono::steady_clock::now() + std::chrono::seconds(options.max_seconds);
        size_t next_loop = 0;
        epoll_event events[64];
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            int n = ::epoll_wait(epoll_fd, events, 64,
                                 static_cast<int>(std::min<long long>(left.count(), 1000)));
            bool stop = false;
            for (int i = 0; i < n; ++i) {
                int index = events[i].data.u32 > 0 ? static_cast<int>(events[i].data.u32) - 1 : -1;
                if (index < 0) {
                    stop = true;
                    continue;
                }
                for (;;) {
                    int fd =
                        ::accept4(listeners[index], nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                    if (fd < 0) {
                        // Out of descriptors the listener stays readable; pausing keeps
                        // this thread from spinning until sessions end.
                        if (errno == EMFILE || errno == ENFILE)
                            std::this_thread::sleep_for(std::chrono::milliseconds(10));
                        break;
                    }
                    // Echo and answer often leave in separate small writes; Nagle's wait
                    // for the client's delayed ACK would add up to 40 ms to each answer.
                    int one = 1;
                    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                    loops[next_loop]->hand_over(fd, listening[index]);
                    next_loop = (next_loop + 1) % loops.size();
                }
            }
            if (stop) return;
        }
        // Out of time: the fleet goes quiet by itself; stop() still joins and cleans up.
        for (auto& loop : loops) loop->stop();
        close_all(listeners);
    }
};

DeviceState initial_state(const Device& device) {
    DeviceState state;
    state.tmp_usage_percent = device.tmp_usage_percent;
    state.clients = device.clients;
    return state;
}

Simulator::Simulator(Fleet fleet, Options options) : impl_(std::make_unique<Impl>()) {
    impl_->fleet = std::move(fleet);
    impl_->options = std::move(options);
    if (impl_->options.port < 0 || impl_->options.port > 65535)
        throw std::invalid_argument("fleetsim: port out of range");
    if (impl_->options.max_seconds <= 0)
        throw std::invalid_argument("fleetsim: max_seconds must be positive");
    if (impl_->options.state_dir.empty()) impl_->options.state_dir = default_state_dir();
    std::string first_controller;
    for (const Device& d : impl_->fleet.devices)
        if (d.kind == DeviceKind::controller && first_controller.empty())
            first_controller = d.address;
    for (Device d : impl_->fleet.devices) {
        // An AP that names no controller is listed by the first one.
        if (d.kind == DeviceKind::access_point && d.controller.empty())
            d.controller = first_controller;
        if (!is_loopback_address(d.address))
            throw std::invalid_argument("fleetsim: " + d.address + " is not a loopback address");
        auto record = std::make_unique<DeviceRecord>(d, impl_->sessions);
        if (!impl_->by_address.emplace(d.address, record.get()).second)
            throw std::invalid_argument("fleetsim: address " + d.address + " is used twice");
        impl_->records.push_back(std::move(record));
    }
    for (const auto& r : impl_->records)
        if (r->config.kind == DeviceKind::access_point) impl_->aps.push_back(&r->config);
}

Simulator::~Simulator() { stop(); }

void Simulator::start() {
    Impl& m = *impl_;
    if (m.running) return;
    ssh_init();
    raise_open_file_limit();
    const bool legacy = std::any_of(m.records.begin(), m.records.end(),
                                    [](const auto& r) { return r->config.legacy_ssh_only; });
    HostKeyFiles keys = ensure_host_keys(m.options.state_dir, legacy);
    std::vector<std::string> addresses;
    m.listening.clear();
    for (const auto& r : m.records) {
        if (r->config.faults.unreachable) continue;
        addresses.push_back(r->config.address);
        m.listening.push_back(r.get());
    }
    m.port = m.options.port;
    m.listeners = open_listeners(addresses, m.port);

    int threads = m.options.threads > 0 ? m.options.threads
                                        : static_cast<int>(std::thread::hardware_concurrency());
    if (threads <= 0) threads = 1;
    try {
        for (int i = 0; i < threads; ++i)
            m.loops.push_back(std::make_unique<EventLoop>(keys, m.aps, m.open_connections));
    } catch (...) {
        m.loops.clear();
        close_all(m.listeners);
        throw;
    }
    for (auto& loop : m.loops) loop->start();

    int epoll_fd = ::epoll_create1(EPOLL_CLOEXEC);
    m.stop_fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u32 = 0;
    ::epoll_ctl(epoll_fd, EPOLL_CTL_ADD, m.stop_fd, &ev);
    for (size_t i = 0; i < m.listeners.size(); ++i) {
        ev.data.u32 = static_cast<uint32_t>(i + 1);
        ::epoll_ctl(epoll_fd, EPOLL_CTL_ADD, m.listeners[i], &ev);
    }
    m.acceptor = std::thread([&m, epoll_fd] {
        m.accept_loop(epoll_fd);
        ::close(epoll_fd);
    });
    m.running = true;
}

void Simulator::stop() {
    Impl& m = *impl_;
    if (!m.running) return;
    uint64_t one = 1;
    ssize_t n = ::write(m.stop_fd, &one, sizeof one);
    (void)n;
    if (m.acceptor.joinable()) m.acceptor.join();
    close_all(m.listeners);
    for (auto& loop : m.loops) loop->stop();
    m.loops.clear();
    ::close(m.stop_fd);
    m.stop_fd = -1;
    m.running = false;
}

bool Simulator::running() const { return impl_->running; }
int Simulator::port() const { return impl_->port; }
const Fleet& Simulator::fleet() const { return impl_->fleet; }
std::filesystem::path Simulator::state_dir() const { return impl_->options.state_dir; }
int Simulator::open_connections() const { return impl_->open_connections; }
int Simulator::open_sessions(DeviceKind kind) const { return impl_->sessions.open(kind); }
int Simulator::peak_sessions(DeviceKind kind) const { return impl_->sessions.peak(kind); }
void Simulator::reset_peak_sessions() { impl_->sessions.reset_peaks(); }

std::vector<std::string> Simulator::transcript(const std::string& address) const {
    DeviceRecord& r = impl_->record(address);
    std::lock_guard lock(r.mutex);
    return r.transcript;
}

void Simulator::clear_transcript(const std::string& address) {
    DeviceRecord& r = impl_->record(address);
    std::lock_guard lock(r.mutex);
    r.transcript.clear();
}

DeviceState Simulator::state(const std::string& address) const {
    DeviceRecord& r = impl_->record(address);
    std::lock_guard lock(r.mutex);
    return r.state;
}

void Simulator::update_state(const std::string& address,
                             const std::function<void(DeviceState&)>& change) {
    DeviceRecord& r = impl_->record(address);
    std::lock_guard lock(r.mutex);
    change(r.state);
}

void Simulator::set_alternate_host_key(const std::string& address, bool alternate) {
    impl_->record(address).alternate_key = alternate;
}

}  // namespace fleetsim
