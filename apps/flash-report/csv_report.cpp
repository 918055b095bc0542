#include "apps/flash-report/csv_report.hpp"

namespace flash_report {

std::string csv_field(std::string_view text) {
    std::string field;
    // A device picks its own name; a name such as "=HYPERLINK(...)" must stay a name.
    if (!text.empty() &&
        std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos) {
        field += '\'';
    }
    field += text;
    if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
    std::string quoted = "\"";
    for (char c : field) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string csv_text(const FlashCheckResult& result) {
    std::string text = "\xEF\xBB\xBF";
    const auto row = [&text](std::initializer_list<std::string_view> fields) {
        bool first = true;
        for (std::string_view field : fields) {
            if (!first) text += ',';
            text += csv_field(field);
            first = false;
        }
        text += "\r\n";
    };
    row({"name", "address", "model", "controller", "poll status", "reason", "recovery group",
         "failures"});
    for (const ApResult& ap : result.aps) {
        row({ap.name, ap.address, ap.model, ap.controller, ap.poll_status.value_or(""), ap.reason,
             recovery_label(ap), failures_text(ap)});
    }
    return text;
}

}  // namespace flash_report
