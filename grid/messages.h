#pragma once
// Every text the grid can raise, in one place. A grid driven outside its
// bounds throws ProgramError (text/error.h) with one of them.

#include <string_view>

namespace msg {
inline constexpr std::string_view kIndexOutOfRange = "Grid index out of range";
inline constexpr std::string_view kFixedColsTooMany = "Fixed column count must be less than column count";
inline constexpr std::string_view kFixedRowsTooMany = "Fixed row count must be less than row count";
inline constexpr std::string_view kCellTypeAlgorithm = "Algorithm error in TCustomDataGrid.GetCellType";
}  // namespace msg
