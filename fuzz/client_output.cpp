// Client tables and client details on any bytes: the detail text before the first NUL, the
// key after it, so keys hold pattern characters. Every MAC read comes back from the
// normaliser in its dotted lower-case form.
#include "apps/quorvane-cli/mac_address.hpp"
#include "fuzz/fuzz_support.hpp"
#include "quorvane/engine/engine.hpp"
#include "quorvane/paths/utf8.hpp"

using quorvane::Quorvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(fuzz_support::as_text(data, size));
    for (const std::string& mac : Quorvane::_extract_macs(text)) {
        FUZZ_CHECK(quorvane::cli::normalise_mac(mac) == quorvane::lower_case_utf8(mac));
    }
    if (const auto mac = quorvane::cli::normalise_mac(text)) {
        FUZZ_CHECK(quorvane::cli::normalise_mac(*mac) == mac);
    }
    const std::vector<std::string> in = fuzz_support::fields(text, 2);
    FUZZ_CHECK(Quorvane::_extract_value(in[0], in[1]) >= 0);
    if (quorvane::is_valid_utf8(in[1]))
        FUZZ_CHECK(Quorvane::_extract_value(in[1] + " : 7", in[1]) == 7);
    return 0;
}
