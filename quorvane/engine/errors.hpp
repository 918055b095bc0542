#pragma once
// The engine's own failures. Callers only ever use the text.

#include <stdexcept>

namespace quorvane {

class EngineError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace quorvane
