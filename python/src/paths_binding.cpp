// The free functions and path constants of the engine library.

#include <pybind11/stl.h>

#include "binding.hpp"
#include "quorvane/config/secrets.hpp"
#include "quorvane/inventory/qca.hpp"
#include "quorvane/paths/paths.hpp"
#include "quorvane/poller/poll_run.hpp"

namespace quorvane::python {

void bind_paths(py::module_& m) {
    using release = py::call_guard<py::gil_scoped_release>;
    m.attr("BASE_DIR") = BASE_DIR;
    m.attr("CONFD") = CONFD;
    m.attr("DATA_ROOT") = DATA_ROOT;
    m.attr("ENC_PREFIX") = ENC_PREFIX;
    m.attr("_XOR_KEY") = _XOR_KEY;
    py::tuple prefixes(QCA_PREFIXES.size());
    for (std::size_t i = 0; i < QCA_PREFIXES.size(); ++i) {
        prefixes[i] = py::str(QCA_PREFIXES[i].data(), QCA_PREFIXES[i].size());
    }
    m.attr("QCA_PREFIXES") = prefixes;

    m.def("get_app_base_dir", &get_app_base_dir, release(),
          "The application base directory the library computes when it is loaded.");
    m.def("ensure_dir", &ensure_dir, py::arg("path"), release(),
          "Creates the folder with its parents (existing is fine) and returns the path.");
    m.def("today_data_dir", &today_data_dir, release(),
          "DATA_ROOT/YYYY/MM/DD for today's local date, created with its parents.");
    m.def("_safe_write_append", &_safe_write_append, py::arg("path"), py::arg("text"), release(),
          "Appends the text to the file in one write, creating missing parent folders.");
    m.def("_safe_filename", &_safe_filename, py::arg("name"),
          "The name with every character but letters, digits, '_', '-' and '.' replaced by "
          "'_', trailing dots removed, at most 120 characters; 'UNKNOWN' when nothing is left.");
    m.def("_is_ipv4", &_is_ipv4, py::arg("s"), "True for a dotted-quad IPv4 address.");
    m.def("ssh_port_open", &ssh_port_open, py::arg("ip"), py::arg("port") = 22,
          py::arg("timeout") = 5.0, release(),
          "True when a TCP connection to (ip, port) opens within timeout seconds. Never raises.");
    m.def("compute_max_workers", &compute_max_workers, py::arg("ap_filtered_cnt"),
          "The poll's pool size for this many APs: n up to 49, then n/2, n/4 and n/10 rounded "
          "up from 50, 100 and 500 APs; never below 1.");
    m.def("encrypt_value", &encrypt_value, py::arg("val"),
          "The stored form 'ENC::' + base64 of a secret; empty stays empty.");
    m.def("decrypt_value", &decrypt_value, py::arg("val"),
          "The plain text of a stored form; any other text is returned unchanged.");
    m.def(
        "_xor_bytes",
        [](const py::bytes& data, const py::bytes& key) {
            return py::bytes(_xor_bytes(std::string(data), std::string(key)));
        },
        py::arg("data"), py::arg("key"), "The bytes XOR-ed with the repeated key.");
}

}  // namespace quorvane::python
