#pragma once
// Reading and writing the INI dialect of config.ini.
//
// Reading: a leading UTF-8 byte-order mark is skipped. Lines end at LF, CR LF or CR. White
// space is Unicode white space wherever text is trimmed or indentation measured. A line whose first
// non-blank character is "#" or
// ";" is a comment. "[name]" opens a section (names are case-sensitive); "key = value" or
// "key: value" splits at the first "=" or ":" and folds the key to lower case. A line
// indented deeper than the key line above continues that value, joined with "\n"; empty
// lines between continuation lines are kept as empty lines of the value, trailing ones
// are dropped. Duplicate sections or keys are errors.
//
// Writing: DEFAULT first when it has keys, then every section as its header, one
// "key = value" line per key and an empty line; a line break inside a value (LF, CR LF or
// CR) is written as a line break followed by a tab so that it reads back as a continuation.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "quorvane/config/ini_document.hpp"

namespace quorvane {

// A reading error: names the file, the line (counted from 1) and what is wrong.
class IniParseError : public std::runtime_error {
  public:
    IniParseError(std::string file, std::size_t line, std::string problem);

    const std::string& file() const { return file_; }
    std::size_t line() const { return line_; }
    const std::string& problem() const { return problem_; }

  private:
    std::string file_;
    std::size_t line_;
    std::string problem_;
};

// The first entry of the file is not a section header: the file is in the legacy flat form.
class MissingSectionHeaderError : public IniParseError {
  public:
    using IniParseError::IniParseError;
};

// `file` only names the source in error messages. A file whose first line that is neither
// blank nor a comment is not a section header raises MissingSectionHeaderError before any
// line is checked for valid UTF-8.
IniDocument parse_ini(std::string_view text, const std::string& file);

// The text after its UTF-8 byte-order mark, if it begins with one.
std::string_view without_byte_order_mark(std::string_view text);

std::string write_ini(const IniDocument& document);

// The lines of `text`, split at LF, CR LF and lone CR.
std::vector<std::string_view> split_lines(std::string_view text);

}  // namespace quorvane
