// The engine class Quorvane as Python sees it. Every operation that talks to devices runs
// through OperationRunner (GIL released, Ctrl-C stops it); quick local ones just release
// the GIL. Arguments are copied before an operation starts, because an operation given up
// after Ctrl-C may outlive the call.

#include <pybind11/functional.h>
#include <pybind11/stl.h>

#include <map>

#include "binding.hpp"
#include "callbacks.hpp"
#include "operation_runner.hpp"
#include "quorvane/engine/engine.hpp"

namespace quorvane::python {

namespace {

using release = py::call_guard<py::gil_scoped_release>;
using Commands = std::vector<std::string>;

// The engine options a Python host sets as keyword arguments of Quorvane(). A new option
// is one more line here (and in the stub).
using OptionSetter = void (*)(EngineOptions&, const py::handle&);
const std::map<std::string, OptionSetter>& engine_option_setters() {
    static const std::map<std::string, OptionSetter> setters = {
        {"ssh_port", [](EngineOptions& o, const py::handle& v) { o.ssh_port = v.cast<int>(); }},
        {"wlc_read_timeout",
         [](EngineOptions& o, const py::handle& v) { o.wlc_read_timeout = v.cast<double>(); }},
        {"ap_read_timeout_cap",
         [](EngineOptions& o, const py::handle& v) {
             o.ap_read_timeout_cap = v.cast<std::optional<double>>();
         }},
        {"auth_window_seconds",
         [](EngineOptions& o, const py::handle& v) { o.auth_window_seconds = v.cast<int>(); }},
        {"auth_debug_collection",
         [](EngineOptions& o, const py::handle& v) { o.auth_debug_collection = v.cast<bool>(); }},
        {"on_poll_result",
         [](EngineOptions& o, const py::handle& v) {
             o.on_poll_result = make_poll_result_callback(py::reinterpret_borrow<py::object>(v));
         }},
    };
    return setters;
}

EngineOptions engine_options_from(const py::kwargs& kwargs) {
    EngineOptions options;
    const auto& setters = engine_option_setters();
    for (auto [key, value] : kwargs) {
        const auto name = key.cast<std::string>();
        const auto setter = setters.find(name);
        if (setter == setters.end()) {
            throw py::type_error("Quorvane() got an unexpected keyword argument '" + name + "'");
        }
        setter->second(options, value);
    }
    return options;
}

class PyEngine {
  public:
    PyEngine(py::object log_cb, py::object progress_cb, py::object ap_update_cb,
             const py::kwargs& kwargs)
        : log_cb_(std::move(log_cb)),
          progress_cb_(std::move(progress_cb)),
          ap_update_cb_(std::move(ap_update_cb)),
          on_poll_result_(kwargs.contains("on_poll_result") ? py::object(kwargs["on_poll_result"])
                                                            : py::none()) {
        EngineOptions options = engine_options_from(kwargs);
        LogCallback log = make_log_callback(log_cb_);
        ProgressCallback progress = make_progress_callback(progress_cb_);
        ApUpdateCallback ap_update = make_ap_update_callback(ap_update_cb_);
        py::gil_scoped_release release;
        engine = std::make_shared<Quorvane>(std::move(options), std::move(log), std::move(progress),
                                            std::move(ap_update));
    }

    // The engine's destructor waits for its workers, which may be waiting for the GIL to
    // log a line.
    ~PyEngine() {
        py::gil_scoped_release release;
        engine.reset();
    }

    PyEngine(const PyEngine&) = delete;
    PyEngine& operator=(const PyEngine&) = delete;

    template <class Operation>
    auto run(Operation operation) {
        return OperationRunner(engine).run(std::move(operation));
    }

    std::shared_ptr<Quorvane> engine;
    py::object log_cb_, progress_cb_, ap_update_cb_, on_poll_result_;
};

py::tuple special_cmd_tuple(const SpecialCmdResult& r) {
    return py::make_tuple(r.is_special,
                          r.actual_cmd ? py::object(py::str(*r.actual_cmd)) : py::none(),
                          r.needs_confirm, r.sleep_secs);
}

void bind_session(py::module_& m) {
    py::class_<DeviceParams>(m, "DeviceParams",
                             "The parameter set a device session is opened with.")
        .def(py::init<>())
        .def_readwrite("device_type", &DeviceParams::device_type)
        .def_readwrite("host", &DeviceParams::host)
        .def_readwrite("port", &DeviceParams::port)
        .def_readwrite("username", &DeviceParams::username)
        .def_readwrite("password", &DeviceParams::password)
        .def_readwrite("secret", &DeviceParams::secret)
        .def_readwrite("timeout", &DeviceParams::timeout)
        .def_readwrite("conn_timeout", &DeviceParams::conn_timeout)
        .def_readwrite("banner_timeout", &DeviceParams::banner_timeout)
        .def_readwrite("auth_timeout", &DeviceParams::auth_timeout)
        .def_readwrite("fast_cli", &DeviceParams::fast_cli)
        .def_readwrite("known_hosts_path", &DeviceParams::known_hosts_path)
        .def("__repr__", [](const DeviceParams& p) {
            // The password and secret stay out of the text.
            return "DeviceParams(device_type='" + p.device_type + "', host='" + p.host +
                   "', port=" + std::to_string(p.port) + ", username='" + p.username + "')";
        });

    py::class_<DeviceSession, DeviceSessionPtr>(
        m, "DeviceSession", "An interactive CLI session to a controller or an AP.")
        .def("enable", &DeviceSession::enable, release())
        .def(
            "send_command",
            [](DeviceSession& s, const std::string& cmd, std::optional<double> read_timeout) {
                std::string out;
                {
                    py::gil_scoped_release release;
                    out = s.send_command(cmd, read_timeout);
                }
                return to_py_str(out);
            },
            py::arg("cmd"), py::arg("read_timeout") = py::none())
        .def(
            "send_command_timing",
            [](DeviceSession& s, const std::string& cmd, std::optional<double> read_timeout) {
                std::string out;
                {
                    py::gil_scoped_release release;
                    out = s.send_command_timing(cmd, read_timeout);
                }
                return to_py_str(out);
            },
            py::arg("cmd"), py::arg("read_timeout") = py::none())
        .def("write_channel", &DeviceSession::write_channel, py::arg("text"), release())
        .def("read_channel",
             [](DeviceSession& s) {
                 std::string out;
                 {
                     py::gil_scoped_release release;
                     out = s.read_channel();
                 }
                 return to_py_str(out);
             })
        .def_property_readonly("base_prompt", &DeviceSession::base_prompt)
        .def("disconnect", &DeviceSession::disconnect, release())
        .def("close", &DeviceSession::close, release());

    py::class_<SiteTagAnswer>(m, "SiteTagAnswer",
                              "One controller's answer to the site-tag queries.")
        .def_property_readonly("section",
                               [](const SiteTagAnswer& a) { return to_py_str(a.section); })
        .def_property_readonly("error", [](const SiteTagAnswer& a) { return to_py_str(a.error); })
        .def_readonly("total", &SiteTagAnswer::total)
        .def_property_readonly("summary",
                               [](const SiteTagAnswer& a) { return to_py_str(a.summary); })
        .def_property_readonly("tagged",
                               [](const SiteTagAnswer& a) { return to_py_str(a.tagged); });

    py::class_<PollResult>(m, "PollResult",
                           "One AP's poll result; reason is the cause of a failure, '' when "
                           "none is known.")
        .def_readonly("idx", &PollResult::idx)
        .def_property_readonly("ip", [](const PollResult& r) { return to_py_str(r.ip); })
        .def_property_readonly("model", [](const PollResult& r) { return to_py_str(r.model); })
        .def_property_readonly("status", [](const PollResult& r) { return to_py_str(r.status); })
        .def_property_readonly("name", [](const PollResult& r) { return to_py_str(r.name); })
        .def_property_readonly("wlc_ip", [](const PollResult& r) { return to_py_str(r.wlc_ip); })
        .def_property_readonly("reason", [](const PollResult& r) { return to_py_str(r.reason); })
        .def_property_readonly("model_number",
                               [](const PollResult& r) { return to_py_str(r.model_number); })
        .def("__repr__", [](const PollResult& r) {
            return py::str(
                       "PollResult(idx={}, ip={!r}, model={!r}, status={!r}, name={!r}, "
                       "wlc_ip={!r}, reason={!r})")
                .format(r.idx, to_py_str(r.ip), to_py_str(r.model), to_py_str(r.status),
                        to_py_str(r.name), to_py_str(r.wlc_ip), to_py_str(r.reason));
        });
}

}  // namespace

void bind_engine(py::module_& m) {
    bind_session(m);

    py::class_<PyEngine> cls(m, "Quorvane", R"doc(
One engine object per run: it owns the run folder (run_id, data_dir), the configuration store
(ini), the callbacks and the stop flag. Call one operation at a time; shutdown() may come from
any thread. Operations release the GIL, so other Python threads keep running, and Ctrl-C
during one shuts the engine down and raises KeyboardInterrupt.

Callbacks are called from the engine's threads: log_cb(text) from several at once,
progress_cb(percent) and ap_update_cb(idx, ip, model, status, name, wlc_ip) from the thread
running the operation. Engine options are keyword arguments: ssh_port, wlc_read_timeout,
ap_read_timeout_cap, auth_window_seconds, on_poll_result (called with each PollResult).
)doc");
    cls.def(py::init<py::object, py::object, py::object, const py::kwargs&>(),
            py::arg("log_cb") = py::none(), py::arg("progress_cb") = py::none(),
            py::arg("ap_update_cb") = py::none());

    // Fields.
    cls.def_property_readonly("run_id", [](PyEngine& s) { return s.engine->run_id; })
        .def_property_readonly("data_dir", [](PyEngine& s) { return s.engine->data_dir; })
        .def_property_readonly(
            "ini", [](PyEngine& s) -> IniStore& { return s.engine->ini; },
            py::return_value_policy::reference_internal)
        .def_property_readonly("_collect_counter_key",
                               [](PyEngine& s) { return s.engine->_collect_counter_key; })
        .def_property_readonly("log_cb", [](PyEngine& s) { return s.log_cb_; })
        .def_property_readonly("progress_cb", [](PyEngine& s) { return s.progress_cb_; })
        .def_property_readonly("ap_update_cb", [](PyEngine& s) { return s.ap_update_cb_; })
        .def_property_readonly("on_poll_result", [](PyEngine& s) { return s.on_poll_result_; })
        .def_property_readonly("success", [](PyEngine& s) { return s.engine->success; })
        .def_property_readonly("failed", [](PyEngine& s) { return s.engine->failed; })
        .def_property_readonly("_shutdown_event",
                               [](PyEngine& s) { return s.engine->stop_requested(); })
        .def_property_readonly("ssh_port", [](PyEngine& s) { return s.engine->options.ssh_port; })
        .def_property(
            "operation", [](PyEngine& s) { return s.engine->operation; },
            [](PyEngine& s, std::string v) { s.engine->operation = std::move(v); })
        .def_property(
            "workflow", [](PyEngine& s) { return s.engine->workflow; },
            [](PyEngine& s, std::string v) { s.engine->workflow = std::move(v); });

    // Reporting and stopping.
    cls.def(
           "shutdown", [](PyEngine& s) { s.engine->shutdown(); }, release(),
           "Sets the stop flag, stops the poll's pool and ends the open AP sessions. Never "
           "raises; safe from any thread.")
        .def(
            "_log", [](PyEngine& s, const std::string& msg) { s.engine->_log(msg); },
            py::arg("msg"), release())
        .def(
            "_progress", [](PyEngine& s, int pct) { s.engine->_progress(pct); }, py::arg("pct"),
            release())
        .def(
            "_progress", [](PyEngine& s, double pct) { s.engine->_progress(pct); }, py::arg("pct"),
            release());

    // Controller sections and command runs.
    cls.def(
           "_get_wlc_sections", [](PyEngine& s) { return s.engine->_get_wlc_sections(); },
           release())
        .def(
            "_get_wlc_sections_list",
            [](PyEngine& s) { return s.engine->_get_wlc_sections_list(); }, release())
        .def(
            "_wlc_connect",
            [](PyEngine& s, std::string section) {
                return s.run([e = s.engine, section] { return e->_wlc_connect(section); });
            },
            py::arg("section") = "WLC")
        .def(
            "SpecialCmdCheck",
            [](PyEngine& s, const std::string& cmd) {
                SpecialCmdResult r;
                {
                    py::gil_scoped_release release;
                    r = s.engine->SpecialCmdCheck(cmd);
                }
                return special_cmd_tuple(r);
            },
            py::arg("cmd"), "(is_special, command to send or None, needs_confirm, pause_seconds)")
        .def(
            "run_wlc_cmds",
            [](PyEngine& s, Commands cmds) {
                return s.run([e = s.engine, cmds] { return e->run_wlc_cmds(cmds); });
            },
            py::arg("wlc_cmds"),
            "Runs the list on every controller; returns the output file of the last one that "
            "completed, or ''.")
        .def(
            "_run_wlc_cmds_for_section",
            [](PyEngine& s, std::string section, Commands cmds) {
                return s.run([e = s.engine, section, cmds] {
                    return e->_run_wlc_cmds_for_section(section, cmds);
                });
            },
            py::arg("section"), py::arg("wlc_cmds"));

    // AP inventory.
    cls.def(
           "_process_single_wlc",
           [](PyEngine& s, std::string section) {
               return s.run([e = s.engine, section] { return e->_process_single_wlc(section); });
           },
           py::arg("section"))
        .def(
            "fetch_full_ap_list",
            [](PyEngine& s) { return s.run([e = s.engine] { return e->fetch_full_ap_list(); }); },
            "The APs of every controller, without repeated addresses (QCA models only when "
            "workflow is 'AP Flash Checker').")
        .def(
            "_fetch_ap_list_for_section",
            [](PyEngine& s, std::string section) {
                return s.run(
                    [e = s.engine, section] { return e->_fetch_ap_list_for_section(section); });
            },
            py::arg("section"))
        .def(
            "filter_by_site_tag",
            [](PyEngine& s, ApRows rows, std::string tag) {
                return s.run(
                    [e = s.engine, rows, tag] { return e->filter_by_site_tag(rows, tag); });
            },
            py::arg("full_rows"), py::arg("site_tag"),
            "(rows carrying the site tag, the controller's AP count for it)")
        .def(
            "_filter_by_site_tag_section",
            [](PyEngine& s, std::string section, ApRows rows, std::string tag) {
                return s.run([e = s.engine, section, rows, tag] {
                    return e->_filter_by_site_tag_section(section, rows, tag);
                });
            },
            py::arg("section"), py::arg("full_rows"), py::arg("site_tag"))
        .def(
            "query_site_tag",
            [](PyEngine& s, std::string section, std::string tag) {
                return s.run(
                    [e = s.engine, section, tag] { return e->query_site_tag(section, tag); });
            },
            py::arg("section"), py::arg("site_tag"),
            "One controller's answer to the site-tag queries; error is '' when it answered.")
        .def(
            "filter_by_model_group",
            [](PyEngine& s, const ApRows& rows, const std::string& label) {
                return s.engine->filter_by_model_group(rows, label);
            },
            py::arg("full_rows"), py::arg("model_group_label"), release())
        .def(
            "write_filtered_ap_list",
            [](PyEngine& s, const ApRows& rows) { return s.engine->write_filtered_ap_list(rows); },
            py::arg("rows"), release(),
            "Writes ap_ip_list.txt in confd and in the run folder; returns the confd path.");

    // AP poller.
    cls.def(
           "run_ap_poller",
           [](PyEngine& s, ApRows rows, std::string device, Commands cmds, std::string mode) {
               return s.run([e = s.engine, rows, device, cmds, mode] {
                   return e->run_ap_poller(rows, device, cmds, mode);
               });
           },
           py::arg("ap_rows"), py::arg("device"), py::arg("ap_cmds"),
           py::arg("ap_mode") = "AP Custom Cmd List",
           "Polls every row in parallel; returns (success, failed).")
        .def(
            "_poll_one_ap",
            [](PyEngine& s, int idx, ApRowPtr row, std::string device, Commands cmds) {
                return s.run([e = s.engine, idx, row, device, cmds] {
                    return e->_poll_one_ap(idx, row, device, cmds);
                });
            },
            py::arg("idx"), py::arg("ap"), py::arg("device"), py::arg("cmds"))
        .def(
            "_ap_connect_params",
            [](PyEngine& s, const std::string& ip, const std::string& model) {
                return s.engine->_ap_connect_params(ip, model);
            },
            py::arg("ip"), py::arg("model"), release())
        .def_static(
            "_ap_send_command",
            [](DeviceSession& conn, const std::string& cmd, int read_timeout) {
                std::string out;
                {
                    py::gil_scoped_release release;
                    out = Quorvane::_ap_send_command(conn, cmd, read_timeout);
                }
                return to_py_str(out);
            },
            py::arg("conn"), py::arg("cmd"), py::arg("read_timeout"))
        .def(
            "run_command_interactive",
            [](PyEngine& s, DeviceSession& conn, const std::string& cmd,
               std::optional<std::string> ftp_user, std::optional<std::string> ftp_pass) {
                std::string out;
                {
                    py::gil_scoped_release release;
                    out = s.engine->run_command_interactive(conn, cmd, ftp_user, ftp_pass);
                }
                return to_py_str(out);
            },
            py::arg("conn"), py::arg("cmd"), py::arg("ftp_user") = py::none(),
            py::arg("ftp_pass") = py::none())
        .def(
            "_build_image_download_cmd",
            [](PyEngine& s) { return s.engine->_build_image_download_cmd(); }, release())
        .def_static("_get_tmp_usage_percent", &Quorvane::_get_tmp_usage_percent, py::arg("output"));

    // Stuck clients.
    cls.def(
           "run_client_auth_workflow",
           [](PyEngine& s) {
               return s.run([e = s.engine] { return e->run_client_auth_workflow(); });
           },
           "Finds clients stuck authenticating over the observation window; returns the "
           "confirmed MACs ([] when shutdown ended the wait).")
        .def(
            "deauth_clients",
            [](PyEngine& s, Commands macs) {
                s.run([e = s.engine, macs] { e->deauth_clients(macs); });
            },
            py::arg("mac_list"))
        .def_static("_extract_macs", &Quorvane::_extract_macs, py::arg("output"))
        .def_static("_extract_value", &Quorvane::_extract_value, py::arg("text"), py::arg("key"))
        .def(
            "_run_auth_debug_collection",
            [](PyEngine& s, Commands sections, std::string ts) {
                s.run(
                    [e = s.engine, sections, ts] { e->_run_auth_debug_collection(sections, ts); });
            },
            py::arg("wlc_sections"), py::arg("ts"))
        .def(
            "collect_auth_debugs",
            [](PyEngine& s, Commands sections, std::string ts) {
                s.run([e = s.engine, sections, ts] { e->collect_auth_debugs(sections, ts); });
            },
            py::arg("wlc_sections"), py::arg("ts"),
            "The counter-capped debug collection, for a host that left it out of the workflow.")
        .def(
            "_get_collect_counter", [](PyEngine& s) { return s.engine->_get_collect_counter(); },
            release())
        .def(
            "_increment_collect_counter",
            [](PyEngine& s) { s.engine->_increment_collect_counter(); }, release());
}

}  // namespace quorvane::python
