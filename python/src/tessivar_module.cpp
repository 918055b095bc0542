// The native half of the Python package `tessivar`: the folder analysis and the per-AP
// checks. Each releases the GIL while it reads files.

#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <filesystem>
#include <system_error>

#include "tessivar/recovery.hpp"
#include "tessivar/tessivar.hpp"

namespace py = pybind11;

namespace {

py::str to_py_str(const std::string& text) {
    return py::reinterpret_steal<py::str>(
        PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
}

py::dict susceptible_dict(const tessivar::SusceptibleAp& ap) {
    py::dict d;
    d["ap_name"] = to_py_str(ap.ap_name);
    d["ap_model"] = to_py_str(ap.ap_model);
    d["ap_ip"] = to_py_str(ap.ap_ip);
    d["recovery"] = to_py_str(ap.recovery);
    return d;
}

// A check with the GIL released, its errors turned into tessivar's exceptions.
template <class Check>
auto check(Check fn) {
    return [fn](const std::filesystem::path& path) {
        py::gil_scoped_release release;
        return fn(path);
    };
}

}  // namespace

PYBIND11_MODULE(_tessivar, m) {
    m.doc() = "The offline flash analyser Tessivar.";
    static py::object error_class = py::module_::import("tessivar.errors").attr("Error");
    static py::object file_error_class = py::module_::import("tessivar.errors").attr("FileError");
    py::register_local_exception_translator([](std::exception_ptr p) {
        try {
            std::rethrow_exception(p);
        } catch (const py::error_already_set&) {
            throw;
        } catch (const py::builtin_exception&) {
            throw;
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::system_error& e) {  // filesystem_error included
            PyErr_SetString(file_error_class.ptr(), e.what());
        } catch (const std::exception& e) {
            PyErr_SetString(error_class.ptr(), e.what());
        }
    });

    py::tuple recoveries(tessivar::RECOVERY_GROUP_COUNT);
    for (std::size_t g = 0; g < tessivar::RECOVERY_GROUP_COUNT; ++g) {
        const auto text =
            tessivar::recovery_group_text(static_cast<tessivar::RecoveryGroup>(g)).recovery;
        recoveries[g] = py::str(text.data(), text.size());
    }
    // The recovery texts in report order, for hosts that merge several folders' results.
    m.attr("RECOVERIES") = recoveries;

    m.def(
        "analyze_logs",
        [](const std::filesystem::path& log_dir) {
            tessivar::AnalysisResult result;
            {
                py::gil_scoped_release release;
                result = tessivar::analyze_logs(log_dir);
            }
            py::list records;
            for (const auto& ap : result.first) records.append(susceptible_dict(ap));
            return py::make_tuple(records, result.second);
        },
        py::arg("log_dir"),
        "Checks every '.log' file of the folder, appends the report to "
        "Status_check_results_<folder>.log there and returns (susceptible APs as dicts with "
        "ap_name, ap_model, ap_ip, recovery; report path, '' when no log was found).");

    m.def("_read_lines", check(&tessivar::_read_lines), py::arg("path"));
    m.def("ap_hostname_from_run_header", check(&tessivar::ap_hostname_from_run_header),
          py::arg("path"), "Host name of the first run header that has one, or None.");
    m.def("ap_ip_from_run_header", check(&tessivar::ap_ip_from_run_header), py::arg("path"),
          "Address of the first Ip attribute, or ''.");
    m.def("ap_model_from_log", check(&tessivar::ap_model_from_log), py::arg("path"),
          "(model signature, affected model family), either None.");
    m.def("primary_version_check", check(&tessivar::primary_version_check), py::arg("path"),
          "(running image version, buggy), either None.");
    m.def("backup_version_check", check(&tessivar::backup_version_check), py::arg("path"),
          "(backup image version, buggy), either None.");
    m.def("cnssdaemon_log_present", check(&tessivar::cnssdaemon_log_present), py::arg("path"));
    m.def("current_boot_partition", check(&tessivar::current_boot_partition), py::arg("path"),
          "(boot partition name, is part1), either None.");
    m.def("image_integrity_failed", check(&tessivar::image_integrity_failed), py::arg("path"),
          "True, False, or None when the report is missing or cut short.");
    m.def("part2_mem_available_mb", check(&tessivar::part2_mem_available_mb), py::arg("path"),
          "(free megabytes of part2, below 80 MB), either None.");
}
