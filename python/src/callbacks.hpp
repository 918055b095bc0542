#pragma once
// Host callbacks written in Python, called from the engine's threads.
//
// Every call takes the GIL first. A callback that raises is reported with its traceback
// through the "quorvane" logger, and the engine then sees a CallbackError carrying the
// exception's text, which it handles like any other failure at that point: a raising log
// callback fails the step that logged, a raising progress callback ends the run, and an
// AP update callback's error is ignored by the poll.

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "binding.hpp"
#include "quorvane/engine/engine.hpp"

namespace quorvane::python {

class CallbackError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A Python object that may be released on any thread: the last owner takes the GIL to
// drop it.
class SharedPyObject {
  public:
    explicit SharedPyObject(py::object object);
    ~SharedPyObject();
    SharedPyObject(const SharedPyObject&) = delete;
    SharedPyObject& operator=(const SharedPyObject&) = delete;
    const py::object& get() const { return object_; }

  private:
    py::object object_;
};
using SharedPy = std::shared_ptr<SharedPyObject>;

// Empty functions for None (or anything that tests false: the slot is then unconnected).
LogCallback make_log_callback(const py::object& fn);
ProgressCallback make_progress_callback(const py::object& fn);
ApUpdateCallback make_ap_update_callback(const py::object& fn);
std::function<void(const PollResult&)> make_poll_result_callback(const py::object& fn);

// Called with the GIL held while the Python error `e` is pending as an exception object:
// logs it with its traceback and throws CallbackError.
[[noreturn]] void report_callback_failure(const char* which, py::error_already_set& e);

// After interpreter exit has begun, callbacks are no longer called.
void close_callbacks();

}  // namespace quorvane::python
