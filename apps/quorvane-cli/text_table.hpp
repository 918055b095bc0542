#pragma once
// Tables on standard output: each column as wide as its widest cell in characters, two
// blanks between columns, no trailing blanks. Bytes that are not UTF-8 are dropped. Given a
// width, the widest columns are narrowed until the table fits and longer cells end in "…".

#include <cstddef>
#include <string>
#include <vector>

namespace quorvane::cli {

// The column widths of a table of `lines` (headings included); `max_width` 0 means no limit.
std::vector<std::size_t> column_widths(const std::vector<std::vector<std::string>>& lines,
                                       std::size_t max_width);

// One line of the table, cells cut with "…" where wider than their column.
std::string table_line(const std::vector<std::string>& cells,
                       const std::vector<std::size_t>& widths);

void print_text_table(const std::vector<std::string>& headings,
                      const std::vector<std::vector<std::string>>& rows, std::size_t max_width = 0);

// The width to fit standard output to: 0 (no limit) when it is not a terminal, else COLUMNS
// when set, else the terminal's own width.
std::size_t terminal_width();

}  // namespace quorvane::cli
