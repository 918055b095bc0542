// The native half of the Python package `quorvane`. Loading it loads the engine library,
// which fixes its base directory at that moment (QUORVANE_BASE_DIR); the package therefore
// imports it only when a name that needs the engine is first used.

#include "binding.hpp"
#include "callbacks.hpp"
#include "operation_runner.hpp"

namespace quorvane::python {

py::str to_py_str(const std::string& text) {
    return py::reinterpret_steal<py::str>(
        PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
}

}  // namespace quorvane::python

PYBIND11_MODULE(_quorvane, m) {
    namespace qp = quorvane::python;
    m.doc() =
        "The engine library Quorvane: controller command runs, AP inventory and "
        "filters, parallel AP polls, the stuck-client workflow.";
    qp::bind_errors(m);
    qp::bind_paths(m);
    qp::bind_config(m);
    qp::bind_inventory(m);
    qp::bind_engine(m);

    // Before the interpreter tears down: operations left running after Ctrl-C are waited
    // for, and callbacks stop, so that no engine thread calls into a dying interpreter.
    pybind11::module_::import("atexit").attr("register")(pybind11::cpp_function([] {
        qp::OperationRunner::wait_for_background_operations();
        qp::close_callbacks();
    }));
}
