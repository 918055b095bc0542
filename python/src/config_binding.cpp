// IniStore over config.ini, and a read-only view of its parsed document.

#include <pybind11/stl.h>

#include "binding.hpp"
#include "quorvane/config/ini_store.hpp"

namespace quorvane::python {

namespace {

using Mapping = std::vector<std::pair<std::string, std::string>>;

// A dict keeps its insertion order, which is the order bulk_set stores the keys in.
Mapping mapping_from(const py::handle& items) {
    Mapping mapping;
    if (py::isinstance<py::dict>(items)) {
        for (auto [key, value] : py::reinterpret_borrow<py::dict>(items)) {
            mapping.emplace_back(key.cast<std::string>(), value.cast<std::string>());
        }
    } else {
        mapping = items.cast<Mapping>();
    }
    return mapping;
}

py::list entries_list(const IniDocument::Entries& entries) {
    py::list list;
    for (const auto& [key, value] : entries) list.append(py::make_tuple(key, to_py_str(value)));
    return list;
}

}  // namespace

void bind_config(py::module_& m) {
    using release = py::call_guard<py::gil_scoped_release>;

    py::class_<IniDocument>(m, "IniDocument",
                            "The parsed config.ini as read by the store: sections and keys in "
                            "file order, values raw (secrets in their stored 'ENC::' form).")
        .def("sections", &IniDocument::sections, "Section names in order, without DEFAULT.")
        .def("has_section", &IniDocument::has_section, py::arg("name"))
        .def("has_option", &IniDocument::has_option, py::arg("section"), py::arg("key"))
        .def(
            "get",
            [](const IniDocument& doc, const std::string& section, const std::string& key,
               py::object fallback) -> py::object {
                auto value = doc.get(section, key);
                return value ? py::object(to_py_str(*value)) : fallback;
            },
            py::arg("section"), py::arg("key"), py::arg("fallback") = py::none(),
            "The raw value (DEFAULT consulted), or fallback when the section or key is missing.")
        .def(
            "items",
            [](const IniDocument& doc, const std::string& section) {
                for (const auto& s : doc.all_sections()) {
                    if (s.name == section) return entries_list(s.entries);
                }
                if (section == "DEFAULT") return entries_list(doc.defaults());
                throw py::key_error(section);
            },
            py::arg("section"), "The (key, raw value) pairs of one section, in file order.")
        .def("__contains__", &IniDocument::has_section)
        .def("__iter__", [](const IniDocument& doc) { return py::iter(py::cast(doc.sections())); });

    py::class_<IniStore>(m, "IniStore",
                         "The engine's settings in config.ini. Keys are folded to lower case; "
                         "values of secret keys (containing 'pasw', 'password' or 'enable') are "
                         "stored scrambled and handed out in plain text.")
        .def(py::init<std::string>(), py::arg("path"), release(),
             "Loads the file (converting the old flat form, filling in defaults); a missing "
             "file is created.")
        .def("get", &IniStore::get, py::arg("sec"), py::arg("key"), py::arg("default") = "",
             "The value, unscrambled for secret keys; `default` when missing.")
        .def("set", &IniStore::set, py::arg("sec"), py::arg("key"), py::arg("val"),
             "Stores one value (the section is created when missing). Does not save.")
        .def(
            "bulk_set",
            [](IniStore& store, const std::string& sec, const py::handle& mapping) {
                Mapping entries = mapping_from(mapping);
                py::gil_scoped_release release;
                store.bulk_set(sec, entries);
            },
            py::arg("sec"), py::arg("mapping"),
            "set() for each entry of a dict (or list of pairs), in order. Does not save.")
        .def("save", &IniStore::save, release(),
             "Writes the whole file (atomic replace); missing folders are created.")
        .def_readonly("path", &IniStore::path)
        .def_property_readonly(
            "cfg", [](IniStore& store) -> IniDocument& { return store.cfg; },
            py::return_value_policy::reference_internal, "The parsed document, read-only.");
}

}  // namespace quorvane::python
