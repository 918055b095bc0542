#pragma once
// What a host or a test may swap in under the engine: how sessions are made, how time
// passes, which TCP port the devices listen on, how reachability is probed and how
// worker threads start.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "quorvane/engine/clock.hpp"
#include "quorvane/engine/device_session.hpp"
#include "quorvane/engine/task_pool.hpp"
#include "quorvane/poller/poll_result.hpp"

namespace quorvane {

using PortProbe = std::function<bool(const std::string& ip, int port, double timeout)>;

struct EngineOptions {
    // Empty means the SSH session layer.
    ConnectHandler connect;
    // Every wait and every time stamp of the engine goes through it.
    std::shared_ptr<Clock> clock = system_clock();
    // SSH port of every device; the reachability probe checks the same port.
    int ssh_port = 22;
    // Empty means a real TCP connect probe.
    PortProbe port_probe;
    // Seconds a controller command may take to bring its prompt back.
    double wlc_read_timeout = 120;
    // Upper bound on every wait for an AP's answer (seconds); none keeps the fixed ones
    // (30 s to 3600 s). Tests shorten it so that a hanging AP fails in seconds.
    std::optional<double> ap_read_timeout_cap;
    // Whole seconds the stuck-client workflow watches each controller between its two
    // fetches.
    int auth_window_seconds = 900;
    // Whether run_client_auth_workflow ends, when it confirmed stuck clients, with the
    // capped debug collection (a trace archive and a wncd core dump on every controller).
    // A host that must ask before anything changes on a controller turns it off and calls
    // collect_auth_debugs itself.
    bool auth_debug_collection = true;
    // Called with each AP's whole poll result (reason included), from the operation's
    // thread, right after the AP update callback. The six-value callback stays the
    // host contract; this one is for hosts that also want the cause of a failure.
    std::function<void(const PollResult&)> on_poll_result;
    // Starts the poll's worker threads; empty means std::thread. Tests make it fail.
    ThreadStarter start_thread;
};

}  // namespace quorvane
