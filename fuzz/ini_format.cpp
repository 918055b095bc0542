// The INI reader on any text, and the writer on what it read: whatever the reader accepts
// is written so that it reads back to the same document, and writing is then stable.
#include "quorvane/config/ini_format.hpp"
#include "fuzz/fuzz_support.hpp"

namespace {

using quorvane::IniDocument;

bool same(const IniDocument& a, const IniDocument& b) {
    if (a.defaults() != b.defaults()) return false;
    const auto& left = a.all_sections();
    const auto& right = b.all_sections();
    if (left.size() != right.size()) return false;
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (left[i].name != right[i].name || left[i].entries != right[i].entries) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    IniDocument first;
    try {
        first = quorvane::parse_ini(fuzz_support::as_text(data, size), "fuzz.ini");
    } catch (const quorvane::IniParseError&) {
        return 0;
    }
    const std::string written = quorvane::write_ini(first);
    const IniDocument second = quorvane::parse_ini(written, "written.ini");
    FUZZ_CHECK(same(first, second));
    FUZZ_CHECK(quorvane::write_ini(second) == written);
    return 0;
}
