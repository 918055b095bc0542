#pragma once
// Shared pieces of the quorvane module's glue: how texts cross into Python, how host
// callbacks are called, how engine errors become Python exceptions and how an operation
// runs so that Ctrl-C can stop it.

#include <pybind11/pybind11.h>

#include <string>

namespace quorvane::python {

namespace py = pybind11;

// Device output may hold bytes that are not UTF-8; they reach Python as U+FFFD instead of
// failing the call that carries them.
py::str to_py_str(const std::string& text);

void bind_errors(py::module_& m);
void bind_paths(py::module_& m);
void bind_config(py::module_& m);
void bind_inventory(py::module_& m);
void bind_engine(py::module_& m);

}  // namespace quorvane::python
