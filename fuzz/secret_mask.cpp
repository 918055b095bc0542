// Masking of device output and command text: two configured secrets, then the text, cut at
// NUL bytes. A secret long enough to be masked everywhere and without '*' never survives,
// since masks only add '*' between the characters they keep apart.
#include "quorvane/engine/secret_mask.hpp"
#include "fuzz/fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> in = fuzz_support::fields(fuzz_support::as_text(data, size), 3);
    const quorvane::SecretMask mask({in[0], in[1]});
    const std::string as_line = mask.apply(in[2]);
    const std::string as_output = mask.apply_to_output(in[2]);
    for (const std::string& secret : {in[0], in[1]}) {
        if (secret.size() < quorvane::SecretMask::kMinOutputSecretLength ||
            secret.find('*') != std::string::npos) {
            continue;
        }
        FUZZ_CHECK(as_line.find(secret) == std::string::npos);
        FUZZ_CHECK(as_output.find(secret) == std::string::npos);
    }
    return 0;
}
