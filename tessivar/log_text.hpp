#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tessivar {

// Reads a log file the way a text-mode reader with universal newlines does: UTF-8 with the bytes
// that do not decode dropped, and CR LF and a lone CR both turned into LF. `buffer` is reused
// between calls so a scan over thousands of files does not allocate per file. Throws
// std::system_error when the file cannot be opened or read.
std::string_view read_log_text(const std::filesystem::path& path, std::string& buffer);

// Applies the same decoding to bytes already in memory, compacting them in place.
void decode_log_text(std::string& bytes);

// Splits decoded text after each line break; each line keeps its break.
std::vector<std::string> split_lines(std::string_view text);

}  // namespace tessivar
