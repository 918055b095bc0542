// Run-folder numbering over a dated folder of fuzzed entries. Input: one entry name per
// line; a name that begins with "f:" becomes a file instead of a folder. The next run
// number is above every folder that counts, and the folder created for it is new.
#include <sys/stat.h>

#include <optional>
#include <string>

#include "fuzz/fuzz_support.hpp"
#include "quorvane/paths/paths.hpp"

namespace fs = std::filesystem;

namespace {

// The number a folder name stands for, when it stands for one: every "RUN" removed, the
// rest decimal digits only.
std::optional<std::string> run_number(const std::string& name) {
    if (name.rfind("RUN", 0) != 0) return std::nullopt;
    std::string rest;
    for (std::size_t at = 0; at < name.size();) {
        if (name.compare(at, 3, "RUN") == 0) {
            at += 3;
        } else {
            rest += name[at++];
        }
    }
    if (rest.empty() || rest.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const std::size_t first = rest.find_first_not_of('0');
    return first == std::string::npos ? "0" : rest.substr(first);
}

bool less(const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path dated = fuzz_support::fresh_folder("dated");
    std::vector<std::string> numbers;
    std::string_view input = fuzz_support::as_text(data, size);
    for (int count = 0; !input.empty() && count < 24; ++count) {
        const std::size_t end = std::min(input.find('\n'), input.size());
        std::string name(input.substr(0, end));
        input.remove_prefix(std::min(end + 1, input.size()));
        const bool as_file = name.rfind("f:", 0) == 0;
        if (as_file) name.erase(0, 2);
        if (name.empty() || name == "." || name == ".." || name.size() > 255 ||
            name.find_first_of(std::string_view("/\0", 2)) != std::string::npos) {
            continue;
        }
        const fs::path entry = dated / name;
        if (as_file) {
            fuzz_support::write_bytes(entry, "");
        } else if (::mkdir(entry.c_str(), 0700) == 0) {
            if (auto number = run_number(name)) numbers.push_back(*number);
        }
    }

    const std::string next = quorvane::next_run_number(dated.string());
    FUZZ_CHECK(!next.empty() && next.find_first_not_of("0123456789") == std::string::npos);
    FUZZ_CHECK(next.front() != '0');
    for (const std::string& number : numbers) FUZZ_CHECK(less(number, next));

    const quorvane::RunFolder first = quorvane::create_run_folder(dated.string());
    const quorvane::RunFolder second = quorvane::create_run_folder(dated.string());
    FUZZ_CHECK(first.run_id != second.run_id);
    FUZZ_CHECK(fs::is_directory(first.data_dir) && fs::is_directory(second.data_dir));
    FUZZ_CHECK(!less(first.run_id.substr(3), next));
    return 0;
}
