// The in-process SSH fleet: every device of a Fleet listens on its own loopback address,
// all on one TCP port, and answers like a controller or an AP at the wire.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fleetsim/fleet.hpp"

namespace fleetsim {

struct Options {
    // Shared TCP port of all devices. 0 lets the simulator pick a free one (see port()),
    // which is what tests should use so that parallel runs never collide.
    int port = 0;
    // Folder for the persistent host keys; empty means a folder under the temp directory.
    std::filesystem::path state_dir;
    // The simulator stops itself after this long, so that it never runs unbounded.
    int max_seconds = 3600;
    // Event-loop threads carrying the sessions; 0 means one per core.
    int threads = 0;
};

// What a device remembers between sessions.
struct DeviceState {
    int tmp_usage_percent = 0;
    int reload_count = 0;
    int cleanup_count = 0;
    int archive_count = 0;
    int core_count = 0;
    int transfer_count = 0;
    int logins = 0;  // successful authentications
    int failed_logins = 0;
    std::vector<Client> clients;               // controller: clients still known
    std::vector<std::string> deauthenticated;  // controller: MACs removed, in order
    std::string sftp_username;                 // AP: from "ip sftp username"
    std::string sftp_password;
};

// What a device remembers when the simulator starts.
DeviceState initial_state(const Device& device);

class Simulator {
  public:
    // Throws std::invalid_argument when a device address is not loopback or repeats.
    Simulator(Fleet fleet, Options options = {});
    ~Simulator();  // stops
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Returns once every device listens; throws std::runtime_error when a listener
    // cannot be bound (with a chosen port; with port 0 another port is tried first).
    void start();
    // Closes all listeners and sessions; harmless when not started or already stopped.
    void stop();
    bool running() const;

    int port() const;  // the port in use once started
    const Fleet& fleet() const;
    std::filesystem::path state_dir() const;

    // Every line the device received, in order, over all its sessions (passwords and
    // answers to prompts included; a key pressed at a --More-- prompt is one entry).
    std::vector<std::string> transcript(const std::string& address) const;
    void clear_transcript(const std::string& address);
    // Throws std::out_of_range for an unknown address.
    DeviceState state(const std::string& address) const;
    // Changes what a device remembers, for instance a client that finishes
    // authenticating between two looks; new sessions see the change.
    void update_state(const std::string& address, const std::function<void(DeviceState&)>& change);
    // Switches the host key a device presents to new connections.
    void set_alternate_host_key(const std::string& address, bool alternate);
    // Number of SSH connections open right now, over all devices.
    int open_connections() const;
    // Logged-in sessions of one device kind open right now, and the most that were open at
    // the same time since start() or the last reset_peak_sessions(). A session counts from
    // its successful login until the client ends it (end of input, channel close or
    // disconnection) or the device drops it.
    int open_sessions(DeviceKind kind) const;
    int peak_sessions(DeviceKind kind) const;
    // Starts a new high-water mark from the sessions open now.
    void reset_peak_sessions();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace fleetsim
