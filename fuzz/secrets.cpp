// Scrambling and base64 on any bytes: decoding never fails loudly, encoding always comes
// back, and a scrambled secret returns its UTF-8 text.
#include "quorvane/config/secrets.hpp"
#include "fuzz/fuzz_support.hpp"
#include "quorvane/config/base64.hpp"
#include "quorvane/paths/utf8.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(fuzz_support::as_text(data, size));

    const std::string plain = quorvane::decrypt_value(text);
    FUZZ_CHECK(plain == text || quorvane::is_valid_utf8(plain));
    FUZZ_CHECK(quorvane::decrypt_value(quorvane::encrypt_value(text)) ==
               quorvane::drop_invalid_utf8(text));

    const std::string encoded = quorvane::base64_encode(text);
    FUZZ_CHECK(encoded.size() == (text.size() + 2) / 3 * 4);
    FUZZ_CHECK(quorvane::base64_decode(encoded) == text);
    if (const auto decoded = quorvane::base64_decode(text)) {
        FUZZ_CHECK(decoded->size() <= text.size());
    }

    if (!text.empty()) {
        const std::string key = text.substr(0, 1 + text.size() % 17);
        const std::string masked = quorvane::_xor_bytes(text, key);
        FUZZ_CHECK(masked.size() == text.size());
        FUZZ_CHECK(quorvane::_xor_bytes(masked, key) == text);
    }
    return 0;
}
