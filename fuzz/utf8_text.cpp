// The UTF-8 helpers, the file-name sanitiser and the IPv4 test on any bytes.
#include <algorithm>

#include "fuzz/fuzz_support.hpp"
#include "quorvane/paths/paths.hpp"
#include "quorvane/paths/utf8.hpp"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(fuzz_support::as_text(data, size));

    const std::string valid = drop_invalid_utf8(text);
    FUZZ_CHECK(is_valid_utf8(valid));
    FUZZ_CHECK(drop_invalid_utf8(valid) == valid);
    if (is_valid_utf8(text)) FUZZ_CHECK(valid == text);
    const std::size_t length = utf8_length(valid);
    const std::size_t cut = size % 7;
    const std::string prefix = utf8_prefix(valid, cut);
    FUZZ_CHECK(is_valid_utf8(prefix));
    FUZZ_CHECK(utf8_length(prefix) == std::min(cut, length));

    const std::string_view trimmed = trim_unicode_space(text);
    FUZZ_CHECK(trim_unicode_space(trimmed) == trimmed);
    FUZZ_CHECK(std::string_view(text).find(trimmed) != std::string_view::npos);
    FUZZ_CHECK(leading_space_count(trimmed) == 0);

    const std::string lower = lower_case_utf8(text);
    FUZZ_CHECK(lower_case_utf8(lower) == lower);
    FUZZ_CHECK(is_valid_utf8(lower) == is_valid_utf8(text));

    const std::string safe = _safe_filename(text);
    FUZZ_CHECK(!safe.empty());
    FUZZ_CHECK(is_valid_utf8(safe));
    FUZZ_CHECK(utf8_length(safe) <= 120);
    FUZZ_CHECK(safe.find_first_of(std::string_view("/\\ \0", 4)) == std::string::npos);
    FUZZ_CHECK(safe != "." && safe != "..");

    if (_is_ipv4(text)) FUZZ_CHECK(std::count(text.begin(), text.end(), '.') == 3);
    return 0;
}
