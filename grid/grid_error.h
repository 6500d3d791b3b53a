#pragma once
// Every text the grid can raise, in one place, and the exception that carries it.

#include <stdexcept>

namespace gridtext {
inline constexpr const char* kIndexOutOfRange = "Grid index out of range";
inline constexpr const char* kFixedColsTooMany = "Fixed column count must be less than column count";
inline constexpr const char* kFixedRowsTooMany = "Fixed row count must be less than row count";
inline constexpr const char* kCellTypeAlgorithm = "Algorithm error in TCustomDataGrid.GetCellType";
}  // namespace gridtext

// A grid driven outside its bounds. Like every error of the program it is a
// text that reaches the user through the window's error message.
class GridError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
