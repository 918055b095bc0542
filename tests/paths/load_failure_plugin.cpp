// Constructs one engine and reports how it went, for load_failure_host.
#include <exception>
#include <string>

#include "quorvane/engine/engine.hpp"

extern "C" const char* construct_engine() {
    static std::string outcome;
    try {
        quorvane::Quorvane engine([](const std::string&) {});
        outcome = "constructed";
    } catch (const std::exception& e) {
        outcome = e.what();
    }
    return outcome.c_str();
}
