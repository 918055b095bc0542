#pragma once
// The QCA-based AP models: the flash-check workflow keeps only these, and an AP of such a
// model is opened as an IOS-XE session.

#include <array>
#include <string_view>

namespace quorvane {

inline constexpr std::array<std::string_view, 15> QCA_PREFIXES = {
    "9117", "9124", "9130", "9136", "9162", "9163", "9164", "9166",
    "9167", "9171", "9172", "9174", "9176", "9178", "9179"};

// True when the upper-cased model contains one of the QCA model numbers.
bool is_qca_model(std::string_view model);

}  // namespace quorvane
