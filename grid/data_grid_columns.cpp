#include "grid/data_grid_columns.h"

#include "grid/custom_data_grid.h"
#include "grid/grid_error.h"
#include "grid/grid_layout.h"

TDataGridColumn& TDataGridColumns::add(const QString& fieldName, int width)
{
    auto column = std::make_unique<TDataGridColumn>(m_grid, fieldName);
    column->takeFittedWidth(width);
    // A column added at run time shares by its own width until the grid takes
    // the initial widths again.
    column->setInitialWidth(width);
    m_columns.push_back(std::move(column));
    m_grid.columnsChanged();
    return *m_columns.back();
}

TDataGridColumn& TDataGridColumns::add(const QString& fieldName)
{
    m_columns.push_back(std::make_unique<TDataGridColumn>(m_grid, fieldName));
    m_columns.back()->setInitialWidth(m_columns.back()->width());
    m_grid.columnsChanged();
    return *m_columns.back();
}

TDataGridColumn& TDataGridColumns::operator[](int index)
{
    if (index < 0 || index >= count())
        throw GridError(gridtext::kIndexOutOfRange);
    return *m_columns[static_cast<std::size_t>(index)];
}

const TDataGridColumn& TDataGridColumns::operator[](int index) const
{
    if (index < 0 || index >= count())
        throw GridError(gridtext::kIndexOutOfRange);
    return *m_columns[static_cast<std::size_t>(index)];
}

void TDataGridColumns::clear()
{
    m_columns.clear();
    m_grid.columnsChanged();
}

void TDataGridColumns::scaleWidths(int numerator, int denominator)
{
    std::vector<int> widths;
    widths.reserve(m_columns.size());
    for (const auto& column : m_columns)
        widths.push_back(column->width());
    const std::vector<int> scaled = scaleWidthsByRunningSums(widths, numerator, denominator);
    for (std::size_t i = 0; i < m_columns.size(); ++i)
        m_columns[i]->takeFittedWidth(scaled[i]);
    m_grid.columnsChanged();
}
