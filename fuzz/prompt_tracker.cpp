// The prompt tracker fed a device's bytes in chunks: whatever the cuts, it ends where one
// append of everything ends. Input: base prompt length, a seed for the cuts, the base
// prompt, then the received bytes; the command helpers run on the same bytes.
#include "fuzz/fuzz_support.hpp"
#include "quorvane/engine/ssh/ssh_prompt.hpp"

using quorvane::PromptTracker;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t base_length = std::min<std::size_t>(data[0] % 24, size - 2);
    std::uint32_t seed = data[1];
    const std::string_view rest = fuzz_support::as_text(data + 2, size - 2);
    const std::string base(rest.substr(0, base_length));
    const std::string_view received = rest.substr(base_length);

    PromptTracker whole(base);
    whole.append(received);
    PromptTracker chunked(base);
    for (std::size_t at = 0; at < received.size();) {
        seed = seed * 1103515245u + 12345u;
        const std::size_t chunk = 1 + (seed >> 16) % 17;
        chunked.append(received.substr(at, chunk));
        at += chunk;
    }
    FUZZ_CHECK(chunked.text() == whole.text());
    FUZZ_CHECK(chunked.at_prompt() == whole.at_prompt());
    FUZZ_CHECK(chunked.last_line_start() == whole.last_line_start());
    FUZZ_CHECK(chunked.last_line_start() <= chunked.size());

    const std::string output = quorvane::command_output(
        whole.text(), base, whole.at_prompt() ? whole.last_line_start() : std::string::npos);
    FUZZ_CHECK(output.size() <= received.size());
    quorvane::asks_for_password(whole.last_line());
    const std::string line = quorvane::as_input_line(received);
    FUZZ_CHECK(!line.empty() && line.back() == '\n');
    chunked.clear();
    FUZZ_CHECK(chunked.size() == 0 && !chunked.at_prompt());
    return 0;
}
