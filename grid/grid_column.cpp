#include "grid/grid_column.h"

#include "text/qt_text.h"
#include "grid/custom_data_grid.h"

QString TGridColumnTitle::caption() const
{
    return m_column.defaultCaption();
}

QFont TGridColumnTitle::font() const
{
    return m_column.grid().titleFont();
}

QColor TGridColumnTitle::color() const
{
    return m_column.grid().fixedColor();
}

QFont TGridColumn::font() const
{
    return m_grid.font();
}

QColor TGridColumn::color() const
{
    return m_grid.color();
}

TDataGridColumn::TDataGridColumn(TCustomDataGrid& grid, QString fieldName)
    : TGridColumn(grid)
    , m_fieldName(std::move(fieldName))
{
}

const Field* TDataGridColumn::field() const
{
    if (!m_bound) {
        const ClientDataSet* set = grid().dataSet();
        m_field = set ? set->findField(qStringToAnsi(m_fieldName)) : nullptr;
        m_bound = true;
    }
    return m_field;
}

Alignment TDataGridColumn::alignment() const
{
    const Field* f = field();
    return f ? f->alignment() : TGridColumn::alignment();
}

QString TDataGridColumn::defaultCaption() const
{
    const Field* f = field();
    return f ? ansiToQString(f->displayName()) : m_fieldName;
}
