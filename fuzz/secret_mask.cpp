// Masking of device output and command text: two configured secrets, then the text, cut at
// NUL bytes. A secret without '*' never survives, since masks only add '*' between the
// characters they keep apart.
#include "quorvane/engine/secret_mask.hpp"
#include "fuzz/fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> in = fuzz_support::fields(fuzz_support::as_text(data, size), 3);
    const std::string masked = quorvane::SecretMask({in[0], in[1]}).apply(in[2]);
    for (const std::string& secret : {in[0], in[1]}) {
        if (secret.empty() || secret.find('*') != std::string::npos) continue;
        FUZZ_CHECK(masked.find(secret) == std::string::npos);
    }
    return 0;
}
