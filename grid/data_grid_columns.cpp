#include "grid/data_grid_columns.h"

#include "grid/custom_data_grid.h"
#include "grid/messages.h"
#include "text/error.h"

TDataGridColumn& TDataGridColumns::add(const QString& fieldName, int width)
{
    auto column = std::make_unique<TDataGridColumn>(m_grid, fieldName);
    column->setWidth(width);
    column->setInitialWidth(width);
    m_columns.push_back(std::move(column));
    m_grid.columnsChanged();
    return *m_columns.back();
}

TDataGridColumn& TDataGridColumns::operator[](int index)
{
    if (index < 0 || index >= count())
        throw ProgramError(std::string(msg::kIndexOutOfRange));
    return *m_columns[static_cast<std::size_t>(index)];
}

const TDataGridColumn& TDataGridColumns::operator[](int index) const
{
    if (index < 0 || index >= count())
        throw ProgramError(std::string(msg::kIndexOutOfRange));
    return *m_columns[static_cast<std::size_t>(index)];
}
