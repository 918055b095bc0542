// The engine's C++ errors become the exceptions of quorvane.errors, with the same text, so
// that no C++ exception ever reaches the interpreter unconverted.

#include <filesystem>
#include <new>
#include <stdexcept>
#include <system_error>

#include "binding.hpp"
#include "callbacks.hpp"
#include "quorvane/config/ini_format.hpp"
#include "quorvane/engine/device_session.hpp"
#include "quorvane/engine/errors.hpp"
#include "quorvane/engine/ssh/ssh_error.hpp"
#include "quorvane/paths/paths.hpp"

namespace quorvane::python {

namespace {

// The exception classes live in pure Python (quorvane/errors.py) so that a host can catch
// quorvane.Error without loading the engine library.
struct ErrorClasses {
    py::object error, load, config, file, device, engine, callback;
};

ErrorClasses& classes() {
    // Leaked on purpose: the classes must outlive every translation, interpreter exit
    // included, and Python owns them anyway.
    static ErrorClasses* loaded = [] {
        py::module_ errors = py::module_::import("quorvane.errors");
        return new ErrorClasses{errors.attr("Error"),        errors.attr("LoadError"),
                                errors.attr("ConfigError"),  errors.attr("FileError"),
                                errors.attr("DeviceError"),  errors.attr("EngineError"),
                                errors.attr("CallbackError")};
    }();
    return *loaded;
}

void raise(const py::object& type, const char* text) { PyErr_SetString(type.ptr(), text); }

void translate(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const py::error_already_set&) {
        throw;  // a Python exception already: pybind11 restores it
    } catch (const py::builtin_exception&) {
        throw;  // TypeError and friends raised by the glue itself
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const CallbackError& e) {
        raise(classes().callback, e.what());
    } catch (const LoadError& e) {
        raise(classes().load, e.what());
    } catch (const IniParseError& e) {
        raise(classes().config, e.what());
    } catch (const std::invalid_argument& e) {
        raise(classes().config, e.what());
    } catch (const SshError& e) {
        raise(classes().device, e.what());
    } catch (const HostKeyChangedError& e) {
        raise(classes().device, e.what());
    } catch (const EngineError& e) {
        raise(classes().engine, e.what());
    } catch (const std::filesystem::filesystem_error& e) {
        raise(classes().file, e.what());
    } catch (const std::system_error& e) {
        raise(classes().file, e.what());
    } catch (const std::exception& e) {
        raise(classes().error, e.what());
    }
}

}  // namespace

void bind_errors(py::module_& m) {
    classes();
    py::register_local_exception_translator(translate);
    (void)m;
}

}  // namespace quorvane::python
