#include "callbacks.hpp"

#include <atomic>

namespace quorvane::python {

namespace {

std::atomic<bool> callbacks_closed{false};

// An engine worker calls back many times: its Python thread state is kept for the
// thread's life instead of being made and dropped around every call.
struct KeptThreadState {
    bool kept = false;
    ~KeptThreadState() {
        // At interpreter exit the state is left to the process's end.
        if (!kept || callbacks_closed.load() || !Py_IsInitialized()) return;
        py::gil_scoped_acquire gil;
        gil.dec_ref();
    }
};
thread_local KeptThreadState kept_thread_state;

bool connected(const py::object& fn) { return !fn.is_none() && py::bool_(fn); }

// Runs `call` under the GIL, turning a Python exception into CallbackError.
template <class Call>
void call_python(const char* which, Call&& call) {
    if (callbacks_closed.load()) return;
    const bool foreign_thread = PyGILState_GetThisThreadState() == nullptr;
    py::gil_scoped_acquire gil;
    if (foreign_thread && !kept_thread_state.kept) {
        gil.inc_ref();
        kept_thread_state.kept = true;
    }
    try {
        call();
    } catch (py::error_already_set& e) {
        report_callback_failure(which, e);
    }
}

}  // namespace

SharedPyObject::SharedPyObject(py::object object) : object_(std::move(object)) {}

SharedPyObject::~SharedPyObject() {
    if (!Py_IsInitialized()) {
        object_.release();  // the interpreter is gone; nothing left to count references on
        return;
    }
    py::gil_scoped_acquire gil;
    object_ = py::object();
}

void report_callback_failure(const char* which, py::error_already_set& e) {
    std::string text = std::string(which) + " raised ";
    try {
        text += py::str(e.type().attr("__name__")).cast<std::string>() + ": " +
                py::str(e.value()).cast<std::string>();
        py::module_::import("logging")
            .attr("getLogger")("quorvane")
            .attr("error")(
                "%s raised an exception; the engine treats it as a failure at that "
                "point",
                which, py::arg("exc_info") = py::make_tuple(e.type(), e.value(), e.trace()));
    } catch (py::error_already_set& logging_failed) {
        // The report itself failed (a broken handler): the interpreter's own hook still
        // shows both.
        e.restore();
        PyErr_WriteUnraisable(nullptr);
        logging_failed.restore();
        PyErr_WriteUnraisable(nullptr);
    }
    throw CallbackError(text);
}

LogCallback make_log_callback(const py::object& fn) {
    if (!connected(fn)) return nullptr;
    auto holder = std::make_shared<SharedPyObject>(fn);
    return [holder](const std::string& msg) {
        call_python("log_cb", [&] { holder->get()(to_py_str(msg)); });
    };
}

ProgressCallback make_progress_callback(const py::object& fn) {
    if (!connected(fn)) return nullptr;
    auto holder = std::make_shared<SharedPyObject>(fn);
    return [holder](int pct) { call_python("progress_cb", [&] { holder->get()(pct); }); };
}

ApUpdateCallback make_ap_update_callback(const py::object& fn) {
    if (!connected(fn)) return nullptr;
    auto holder = std::make_shared<SharedPyObject>(fn);
    return [holder](int index, const std::string& ip, const std::string& model,
                    const std::string& status, const std::string& name, const std::string& wlc_ip) {
        call_python("ap_update_cb", [&] {
            holder->get()(index, to_py_str(ip), to_py_str(model), to_py_str(status),
                          to_py_str(name), to_py_str(wlc_ip));
        });
    };
}

std::function<void(const PollResult&)> make_poll_result_callback(const py::object& fn) {
    if (!connected(fn)) return nullptr;
    auto holder = std::make_shared<SharedPyObject>(fn);
    return [holder](const PollResult& result) {
        call_python("on_poll_result", [&] { holder->get()(py::cast(result)); });
    };
}

void close_callbacks() { callbacks_closed.store(true); }

}  // namespace quorvane::python
