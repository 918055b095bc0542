// ApRow, shared by reference: a row lives in one C++ shared_ptr, and pybind11 hands the
// same Python object out for it every time, so the row a poll updates is the row the host
// holds.

#include <pybind11/stl.h>

#include "binding.hpp"
#include "quorvane/inventory/ap_row.hpp"
#include "quorvane/inventory/wlc_parse.hpp"

namespace quorvane::python {

namespace {

std::string repr_text(const py::handle& value) { return py::repr(value).cast<std::string>(); }

template <auto Field>
void text_field(py::class_<ApRow, ApRowPtr>& cls, const char* name) {
    cls.def_property(
        name, [](const ApRow& row) { return to_py_str(row.*Field); },
        [](ApRow& row, std::string value) { row.*Field = std::move(value); });
}

}  // namespace

void bind_inventory(py::module_& m) {
    py::class_<ApRow, ApRowPtr> row(
        m, "ApRow",
        "One AP of the inventory. Rows are shared: the fetch stamps wlc_ip, the site-tag "
        "filters set site_tag and a poll may overwrite model, and every holder sees it.");
    row.def(py::init(&make_ap_row), py::arg("ip"), py::arg("model"), py::arg("name"),
            py::arg("site_tag") = "", py::arg("wlc_ip") = "");
    text_field<&ApRow::ip>(row, "ip");
    text_field<&ApRow::model>(row, "model");
    text_field<&ApRow::name>(row, "name");
    text_field<&ApRow::site_tag>(row, "site_tag");
    text_field<&ApRow::wlc_ip>(row, "wlc_ip");
    row.def(
           "__eq__",
           [](const ApRow& a, const py::object& other) -> py::object {
               if (!py::isinstance<ApRow>(other))
                   return py::reinterpret_borrow<py::object>(Py_NotImplemented);
               const ApRow& b = other.cast<const ApRow&>();
               return py::bool_(a.ip == b.ip && a.model == b.model && a.name == b.name &&
                                a.site_tag == b.site_tag && a.wlc_ip == b.wlc_ip);
           },
           py::is_operator())
        // Rows change while they are shared, so they cannot be dict keys.
        .attr("__hash__") = py::none();
    row.def("__repr__", [](const ApRow& r) {
        return "ApRow(ip=" + repr_text(to_py_str(r.ip)) +
               ", model=" + repr_text(to_py_str(r.model)) +
               ", name=" + repr_text(to_py_str(r.name)) +
               ", site_tag=" + repr_text(to_py_str(r.site_tag)) +
               ", wlc_ip=" + repr_text(to_py_str(r.wlc_ip)) + ")";
    });

    py::class_<WlcParse>(m, "WlcParse",
                         "Readers of controller output; column-blind, never failing on odd text.")
        .def_static("wlc_hostname_from_uptime", &WlcParse::wlc_hostname_from_uptime,
                    py::arg("output"))
        .def_static("parse_ap_summary", &WlcParse::parse_ap_summary, py::arg("output"),
                    "One ApRow per AP line of 'show ap summary'.")
        .def_static("parse_total_ap_cnt_from_tag_summary",
                    &WlcParse::parse_total_ap_cnt_from_tag_summary, py::arg("output"),
                    "The AP count of 'show ap tag summary', or None.")
        .def_static("parse_ap_names_from_tag_summary", &WlcParse::parse_ap_names_from_tag_summary,
                    py::arg("output"), py::arg("site_tag"));
}

}  // namespace quorvane::python
