#pragma once
// The column collection of a data grid, in display order.

#include "grid/grid_column.h"

#include <memory>
#include <vector>

class TDataGridColumns {
public:
    explicit TDataGridColumns(TCustomDataGrid& grid) : m_grid(grid) {}

    // A column with an explicit (stored) width.
    TDataGridColumn& add(const QString& fieldName, int width);
    // A column whose width follows its field until it is set.
    TDataGridColumn& add(const QString& fieldName);
    int count() const { return static_cast<int>(m_columns.size()); }
    // GridError "Grid index out of range" outside 0 .. count - 1.
    TDataGridColumn& operator[](int index);
    const TDataGridColumn& operator[](int index) const;
    void clear();

    // Scales the stored widths by numerator ÷ denominator as running sums, for
    // a screen whose resolution differs from the one the widths were stored for.
    void scaleWidths(int numerator, int denominator);

private:
    TCustomDataGrid& m_grid;
    std::vector<std::unique_ptr<TDataGridColumn>> m_columns;
};
