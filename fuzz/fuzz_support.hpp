#pragma once
// Shared by the harnesses: a check that survives NDEBUG, the splitting of one input into
// fields, and a scratch folder of the process's own.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

// A broken property is a crash, so libFuzzer keeps the input that shows it.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

namespace fuzz_support {

inline std::string_view as_text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The input cut at every NUL byte into at most `count` fields; the last one keeps the rest,
// NUL bytes and all. Seeds stay readable: fields are plain text joined by NUL.
inline std::vector<std::string> fields(std::string_view input, std::size_t count) {
    std::vector<std::string> out;
    while (out.size() + 1 < count) {
        const std::size_t nul = input.find('\0');
        if (nul == std::string_view::npos) break;
        out.emplace_back(input.substr(0, nul));
        input.remove_prefix(nul + 1);
    }
    out.emplace_back(input);
    out.resize(count);
    return out;
}

// A folder below TMPDIR for this process, emptied at every call.
inline std::filesystem::path fresh_folder(const std::string& name) {
    static const std::filesystem::path root = [] {
        std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("quorvane-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(std::filesystem::temp_directory_path() /
                                            ("quorvane-fuzz-" + std::to_string(::getpid())),
                                        ec);
        });
        return path;
    }();
    const std::filesystem::path folder = root / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

inline void write_bytes(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace fuzz_support
