// One thread carrying many SSH connections: epoll tells which sockets have work, libssh
// handles each of them without blocking. Connections are handed over by the acceptor;
// delayed answers wait on timers computed from the connections.
#pragma once

#include <libssh/libssh.h>
#include <libssh/server.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "connection.hpp"
#include "device_record.hpp"
#include "host_keys.hpp"

namespace fleetsim {

class EventLoop {
  public:
    EventLoop(const HostKeyFiles& keys, const std::vector<const Device*>& aps,
              std::atomic<int>& open_connections);
    ~EventLoop();  // stops
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    void start();
    void stop();
    // Takes ownership of an accepted socket; callable from any thread.
    void hand_over(int fd, DeviceRecord* device);

  private:
    void run();
    void adopt(int fd, DeviceRecord* device);
    void wake();
    void watch(Connection& c, bool modify);

    ssh_bind primary_ = nullptr;
    ssh_bind alternate_ = nullptr;
    ssh_bind legacy_ = nullptr;  // only for fleets with a legacy_ssh_only device
    int epoll_fd_ = -1;
    int wake_fd_ = -1;
    const std::vector<const Device*>& aps_;
    std::atomic<int>& open_connections_;
    std::mutex mutex_;
    std::vector<std::pair<int, DeviceRecord*>> incoming_;
    std::atomic<bool> stopping_{false};
    std::vector<std::unique_ptr<Connection>> connections_;
    std::vector<bool> watching_write_;  // per connection, the epoll interest in writability
    std::thread thread_;
};

}  // namespace fleetsim
