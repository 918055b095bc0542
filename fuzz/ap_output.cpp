// What a poll reads off an AP, on any bytes: "show inventory" before the first NUL, "show
// version" after it, the whole input as "show filesystems". A field read is either its
// fallback or made only of the characters its pattern allows.
#include "fuzz/fuzz_support.hpp"
#include "quorvane/engine/engine.hpp"
#include "quorvane/poller/ap_identity.hpp"

constexpr std::string_view kAlnum =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr auto npos = std::string::npos;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(fuzz_support::as_text(data, size));
    const std::vector<std::string> in = fuzz_support::fields(text, 2);
    const quorvane::ApIdentity id = quorvane::identify_ap(in[0], in[1]);
    FUZZ_CHECK(!id.serial.empty() && id.serial.find_first_not_of(kAlnum) == npos);
    const auto& pid = id.product_id;
    FUZZ_CHECK(!pid ||
               (!pid->empty() && pid->find_first_not_of(std::string(kAlnum) + "-") == npos));
    FUZZ_CHECK(id.image.find('\n') == npos);
    const auto& model = id.model_number;
    FUZZ_CHECK(!model || (!model->empty() && model->find_first_of(" \t\n\f\r") == npos));

    FUZZ_CHECK(quorvane::Quorvane::_get_tmp_usage_percent(text) >= 0);
    return 0;
}
