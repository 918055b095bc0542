#pragma once
// Tables on standard output: each column as wide as its widest cell in characters, two
// blanks between columns, no trailing blanks. Bytes that are not UTF-8 are dropped.

#include <string>
#include <vector>

namespace quorvane::cli {

void print_text_table(const std::vector<std::string>& headings,
                      const std::vector<std::vector<std::string>>& rows);

}  // namespace quorvane::cli
