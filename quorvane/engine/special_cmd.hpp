#pragma once
// Classification of one command-list entry: a timed pause ("sleep_N", "pause(N)"), a
// command that must be confirmed with "y" ("%cmd%"), or a plain command.

#include <optional>
#include <string>

namespace quorvane {

inline constexpr int MAX_SLEEP_SECS = 3600;

struct SpecialCmdResult {
    bool is_special = false;
    std::optional<std::string> actual_cmd;  // none for pauses
    bool needs_confirm = false;
    int sleep_secs = 0;
    bool operator==(const SpecialCmdResult&) const = default;
};

// The pure rule behind Quorvane::SpecialCmdCheck. When a pause is rejected for being
// longer than MAX_SLEEP_SECS, rejected_secs receives its value as decimal digits.
SpecialCmdResult classify_command(const std::string& cmd, std::string* rejected_secs);

// The text without Unicode white space at either end.
std::string strip_whitespace(const std::string& text);

}  // namespace quorvane
