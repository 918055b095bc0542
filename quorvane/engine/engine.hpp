#pragma once
// Quorvane: one engine object per run. It owns the run folder, the configuration store,
// the host's callbacks, the stop flag and what shutdown must reach.

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "quorvane/config/ini_store.hpp"
#include "quorvane/engine/controller_failures.hpp"
#include "quorvane/engine/device_session.hpp"
#include "quorvane/engine/engine_options.hpp"
#include "quorvane/engine/session_registry.hpp"
#include "quorvane/engine/special_cmd.hpp"
#include "quorvane/engine/task_pool.hpp"
#include "quorvane/engine/worker_pool.hpp"
#include "quorvane/inventory/ap_row.hpp"
#include "quorvane/inventory/site_tag_answer.hpp"
#include "quorvane/paths/paths.hpp"
#include "quorvane/poller/poll_result.hpp"

namespace quorvane {

using LogCallback = std::function<void(const std::string& msg)>;
using ProgressCallback = std::function<void(int pct)>;
using ApUpdateCallback = std::function<void(int index, const std::string& ip,
                                            const std::string& model, const std::string& status,
                                            const std::string& name, const std::string& wlc_ip)>;

class Quorvane {
  public:
    explicit Quorvane(LogCallback log_cb = nullptr, ProgressCallback progress_cb = nullptr,
                      ApUpdateCallback ap_update_cb = nullptr);
    explicit Quorvane(EngineOptions options, LogCallback log_cb = nullptr,
                      ProgressCallback progress_cb = nullptr,
                      ApUpdateCallback ap_update_cb = nullptr);
    // Stops what the engine started and waits for it, so no worker outlives the object:
    // sessions are ended, sleeping workers woken, and the pools of runs that returned
    // after a stop are waited for. Every step a worker can then be in ends by itself
    // (at worst a connection attempt within its own time-outs).
    ~Quorvane();
    Quorvane(const Quorvane&) = delete;
    Quorvane& operator=(const Quorvane&) = delete;

    void _log(const std::string& msg);
    void _progress(int pct);
    // Truncates toward zero; a value that is not a finite number throws.
    void _progress(double pct);
    // Sets the stop flag, stops the poll's pool without waiting and ends every
    // registered AP session. Never throws.
    void shutdown() noexcept;
    bool stop_requested() const { return _shutdown_event.load(); }
    // AP sessions go here so that shutdown can end them. False when shutdown has already
    // swept the registry: the session has then been ended.
    bool register_session(const DeviceSessionPtr& session) { return _open_sessions.add(session); }

    // Controller sections in visiting order.
    std::vector<std::string> _get_wlc_sections() const;
    std::vector<std::string> _get_wlc_sections_list() const;
    // A logged-in controller session with paging off. The caller disconnects it.
    DeviceSessionPtr _wlc_connect(const std::string& section = "WLC");

    SpecialCmdResult SpecialCmdCheck(const std::string& cmd);

    // Runs the list on every controller; returns the output file of the last controller
    // that completed, or "" when none did.
    std::string run_wlc_cmds(const std::vector<std::string>& wlc_cmds);
    // Runs the list on one controller section; returns its output file, or "" on failure.
    std::string _run_wlc_cmds_for_section(const std::string& section,
                                          const std::vector<std::string>& wlc_cmds);

    // AP inventory (quorvane/inventory).
    ApRows _process_single_wlc(const std::string& section);
    ApRows fetch_full_ap_list();
    ApRows _fetch_ap_list_for_section(const std::string& section);
    std::pair<ApRows, int> filter_by_site_tag(const ApRows& full_rows, const std::string& site_tag);
    // A controller that cannot be asked leaves the rows unfiltered; a host that must not
    // widen its selection then asks query_site_tag, whose answer says why.
    std::pair<ApRows, int> _filter_by_site_tag_section(const std::string& section,
                                                       const ApRows& full_rows,
                                                       const std::string& site_tag);
    // The two site-tag queries on one controller, or why it could not be asked. Never
    // throws; logs nothing.
    SiteTagAnswer query_site_tag(const std::string& section, const std::string& site_tag);
    ApRows filter_by_model_group(const ApRows& full_rows, const std::string& model_group_label);
    std::string write_filtered_ap_list(const ApRows& rows);

    // AP poller (quorvane/poller).
    std::pair<int, int> run_ap_poller(const ApRows& ap_rows, const std::string& device,
                                      std::vector<std::string> ap_cmds,
                                      const std::string& ap_mode = "AP Custom Cmd List");
    // Leaves `ap` as it is; the AP's "Model Number" comes back in the result.
    PollResult _poll_one_ap(int idx, const ApRowPtr& ap, const std::string& device,
                            const std::vector<std::string>& cmds);
    DeviceParams _ap_connect_params(const std::string& ip, const std::string& model);
    static std::string _ap_send_command(DeviceSession& conn, const std::string& cmd,
                                        int read_timeout);
    std::string run_command_interactive(DeviceSession& conn, const std::string& cmd,
                                        const std::optional<std::string>& ftp_user = std::nullopt,
                                        const std::optional<std::string>& ftp_pass = std::nullopt);
    std::vector<std::string> _build_image_download_cmd();
    static int _get_tmp_usage_percent(const std::string& output);

    // Stuck clients (quorvane/clientauth).
    std::vector<std::string> run_client_auth_workflow();
    void deauth_clients(const std::vector<std::string>& mac_list);
    static std::vector<std::string> _extract_macs(const std::string& output);
    static long long _extract_value(const std::string& text, const std::string& key);
    void _run_auth_debug_collection(const std::vector<std::string>& wlc_sections,
                                    const std::string& ts);
    // The capped debug collection that run_client_auth_workflow ends with: runs it while
    // the collect counter is below 2, raising the counter first, and logs either way. For
    // a host that left it out of the workflow (EngineOptions::auth_debug_collection) and
    // asks the user first; `ts` names the archive, normally the deleted-clients file's
    // stamp.
    void collect_auth_debugs(const std::vector<std::string>& wlc_sections, const std::string& ts);
    int _get_collect_counter();
    void _increment_collect_counter();

    // The session factory, clock, port and probe every network step uses.
    DeviceSessionPtr connect_device(const DeviceParams& params) const;
    bool probe_port(const std::string& ip, double timeout = 5) const;
    void sleep_seconds(double seconds) const;
    // The same sleep, ended early by shutdown. False when the engine is stopping.
    bool sleep_unless_stopped(double seconds) const;
    // A sleep_N pause: slices of at most 30 s, a line before and after each slice but the
    // last. Controller runs and AP polls share it. With `until_stop`, shutdown ends the
    // pause (an AP poll must not keep a stopped run alive for up to an hour); false then.
    bool sleep_with_progress(int seconds, bool until_stop = false);
    // A fixed AP wait, shortened to EngineOptions::ap_read_timeout_cap when set.
    double ap_wait(double seconds) const;
    // "port 22" in error texts, or whichever port is configured.
    std::string port_text() const;

    EngineOptions options;

    std::string run_id;
    std::string data_dir;
    IniStore ini;
    std::pair<std::string, std::string> _collect_counter_key;
    LogCallback log_cb;
    ProgressCallback progress_cb;
    ApUpdateCallback ap_update_cb;
    int success = 0;
    int failed = 0;
    std::atomic<bool> _shutdown_event{false};
    ExecutorSlot executor;
    SessionRegistry _open_sessions;
    // The cause of each controller section's last failed visit, by section name.
    ControllerFailures controller_failures;
    std::string operation;
    std::string workflow;

  private:
    // Wakes the sleeps that shutdown must cut short.
    StopSignal stop_wake_;

    Quorvane(RunFolder folder, EngineOptions options, LogCallback log_cb,
             ProgressCallback progress_cb, ApUpdateCallback ap_update_cb);

    std::string run_on_controller(const std::string& section,
                                  const std::vector<std::string>& wlc_cmds, bool full_run);

    // Set by the destructor; ends the sleeps of workers left running.
    StopSignal closing_;
    // Pools of poll runs that returned while tasks still ran; touched only by the thread
    // that runs operations and by the destructor.
    std::vector<std::shared_ptr<TaskPool<PollResult>>> pools_left_running_;
};

}  // namespace quorvane
