// How many debug collections have run, kept in config.ini so that the cap survives
// restarts.

#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>

#include "quorvane/engine/engine.hpp"

namespace quorvane {

namespace {

// A whole number with an optional sign and blanks around it; anything else is none.
// Values beyond int saturate, so a huge stored count still reads as "collected enough".
std::optional<int> parse_count(const std::string& text) {
    std::string_view s = text;
    const auto first = s.find_first_not_of(" \t\r\n\f\v");
    if (first == std::string_view::npos) return std::nullopt;
    s = s.substr(first, s.find_last_not_of(" \t\r\n\f\v") - first + 1);
    const bool negative = !s.empty() && s.front() == '-';
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) s.remove_prefix(1);
    if (s.empty() || s.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    long long value = 0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (error == std::errc::result_out_of_range) value = std::numeric_limits<long long>::max();
    value = std::min<long long>(value, std::numeric_limits<int>::max());
    return static_cast<int>(negative ? -value : value);
}

}  // namespace

int Quorvane::_get_collect_counter() {
    try {
        const auto& [section, key] = _collect_counter_key;
        return parse_count(ini.cfg.get(section, key).value_or("0")).value_or(0);
    } catch (const std::exception&) {
        return 0;
    }
}

// The engine's copy of config.ini may be many minutes old (the stuck-client window alone
// is 15): the file is read afresh under the writers' lock and only the counter changes,
// so settings saved meanwhile, by `quorvane config set` say, stay.
void Quorvane::_increment_collect_counter() {
    const std::string& section = _collect_counter_key.first;
    const std::string& key = _collect_counter_key.second;
    try {
        int current = 0;
        int next = 0;
        ini.update([&](IniStore& store) {
            current = _get_collect_counter();
            next = current >= 99 ? 99 : current + 1;
            if (!store.cfg.has_section(section)) store.cfg.add_section(section);
            store.cfg.set(section, key, std::to_string(next));
        });
        _log("[DEBUG] collect_archive_wnccore_count updated: " + std::to_string(current) +
             " \u2192 " + std::to_string(next));
    } catch (const std::exception& e) {
        _log("[DEBUG] Failed to update collect counter: " + std::string(e.what()));
    }
}

}  // namespace quorvane
