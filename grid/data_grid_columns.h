#pragma once
// The column collection of a data grid, in display order.

#include "grid/grid_column.h"

#include <memory>
#include <vector>

class TDataGridColumns {
public:
    explicit TDataGridColumns(TCustomDataGrid& grid) : m_grid(grid) {}

    // A column with its stored width, which is also its share until the grid
    // takes the initial widths when it has finished loading.
    TDataGridColumn& add(const QString& fieldName, int width);
    int count() const { return static_cast<int>(m_columns.size()); }
    // ProgramError "Grid index out of range" outside 0 .. count - 1.
    TDataGridColumn& operator[](int index);
    const TDataGridColumn& operator[](int index) const;

private:
    TCustomDataGrid& m_grid;
    std::vector<std::unique_ptr<TDataGridColumn>> m_columns;
};
