// The simulated fleet for quorvane.testing: an SSH fleet of controllers and APs on loopback,
// run in this process on threads of its own. Links nothing of the engine library.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include "fleetsim/fleet.hpp"
#include "fleetsim/simulator.hpp"

namespace py = pybind11;

PYBIND11_MODULE(_fleetsim, m) {
    m.doc() = "Simulated controllers and APs on loopback, for tests without devices.";

    py::class_<fleetsim::Device>(m, "Device")
        .def_property_readonly(
            "kind",
            [](const fleetsim::Device& d) {
                return d.kind == fleetsim::DeviceKind::controller ? "controller" : "access_point";
            })
        .def_readonly("address", &fleetsim::Device::address)
        .def_readonly("hostname", &fleetsim::Device::hostname)
        .def_readonly("username", &fleetsim::Device::username)
        .def_readonly("password", &fleetsim::Device::password)
        .def_readonly("enable_secret", &fleetsim::Device::enable_secret)
        .def_readonly("model", &fleetsim::Device::model)
        .def_readonly("controller", &fleetsim::Device::controller);

    py::class_<fleetsim::Simulator>(m, "Simulator")
        .def(py::init([](const std::string& fleet, int aps, const std::filesystem::path& state_dir,
                         int max_seconds) {
                 fleetsim::Options options;
                 options.port = 0;
                 options.state_dir = state_dir;
                 options.max_seconds = max_seconds;
                 return std::make_unique<fleetsim::Simulator>(
                     fleet == "demo" ? fleetsim::demo_fleet() : fleetsim::default_fleet(aps),
                     options);
             }),
             py::arg("fleet"), py::arg("aps"), py::arg("state_dir"), py::arg("max_seconds"))
        .def("start", &fleetsim::Simulator::start, py::call_guard<py::gil_scoped_release>())
        .def("stop", &fleetsim::Simulator::stop, py::call_guard<py::gil_scoped_release>())
        .def_property_readonly("port", &fleetsim::Simulator::port)
        .def_property_readonly("devices",
                               [](const fleetsim::Simulator& s) { return s.fleet().devices; });
}
