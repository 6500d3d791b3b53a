#include "grid/data_grid_accessible.h"

#include "grid/custom_data_grid.h"

#include <QPointer>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace {

// The grid's own columns and rows hold the indicator column and the title
// row first; the table counts neither.
constexpr int kIndicatorOffset = 1;
constexpr int kTitleOffset = 1;

// One cell of the table, or with row -1 the header cell of its column. It
// holds only its place: its text is read from the grid whenever it is asked
// for, as the grid paints it at that moment.
class DataGridCellAccessible final : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
    DataGridCellAccessible(TCustomDataGrid* grid, int row, int column) : m_grid(grid), m_row(row), m_column(column)
    {
    }

    bool isValid() const override
    {
        return m_grid && m_column >= 0 && m_column < m_grid->columns().count() && m_row >= -1 &&
               m_row < m_grid->rowCount() - kTitleOffset;
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_grid ? m_grid->window()->windowHandle() : nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_grid.data()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }

    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name || !isValid())
            return {};
        return m_grid->cellText(m_column + kIndicatorOffset, m_row + kTitleOffset);
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect cell = m_grid->cellRect(m_column + kIndicatorOffset, m_row + kTitleOffset);
        return QRect(m_grid->mapToGlobal(cell.topLeft()), cell.size());
    }
    QAccessible::Role role() const override { return m_row < 0 ? QAccessible::ColumnHeader : QAccessible::Cell; }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.readOnly = true;
        if (!isValid())
            state.invalid = true;
        return state;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        // A header cell is no cell of the table's rows.
        if (type == QAccessible::TableCellInterface && m_row >= 0)
            return static_cast<QAccessibleTableCellInterface*>(this);
        return nullptr;
    }

    bool isSelected() const override { return false; }
    QList<QAccessibleInterface*> columnHeaderCells() const override
    {
        const auto* table = dynamic_cast<const DataGridAccessible*>(parent());
        QAccessibleInterface* header = table ? table->cellInterface(-1, m_column) : nullptr;
        if (!header)
            return {};
        return {header};
    }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return m_column; }
    int rowIndex() const override { return m_row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return parent(); }

private:
    QPointer<TCustomDataGrid> m_grid;
    int m_row;
    int m_column;
};

QAccessibleInterface* dataGridFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("TCustomDataGrid") && object && object->isWidgetType())
        return new DataGridAccessible(static_cast<TCustomDataGrid*>(object));
    return nullptr;
}

} // namespace

DataGridAccessible::DataGridAccessible(TCustomDataGrid* grid) : QAccessibleWidget(grid, QAccessible::Table) {}

DataGridAccessible::~DataGridAccessible()
{
    dropCells();
}

void DataGridAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(&dataGridFactory);
        return true;
    }();
    (void)installed;
}

TCustomDataGrid* DataGridAccessible::grid() const
{
    return static_cast<TCustomDataGrid*>(widget());
}

void* DataGridAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TableInterface)
        return static_cast<QAccessibleTableInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

int DataGridAccessible::columnCount() const
{
    return grid()->columns().count();
}

int DataGridAccessible::rowCount() const
{
    return std::max(grid()->rowCount() - kTitleOffset, 0);
}

QString DataGridAccessible::columnDescription(int column) const
{
    if (column < 0 || column >= columnCount())
        return {};
    return grid()->cellText(column + kIndicatorOffset, 0);
}

int DataGridAccessible::childCount() const
{
    return columnCount() * (1 + rowCount());
}

QAccessibleInterface* DataGridAccessible::child(int index) const
{
    const int columns = columnCount();
    if (index < 0 || columns == 0)
        return nullptr;
    return cellInterface(index / columns - 1, index % columns);
}

int DataGridAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    if (!child || child->parent() != this)
        return -1;
    // The cell's place is its key among the cells made.
    for (auto it = m_cells.constBegin(); it != m_cells.constEnd(); ++it) {
        if (QAccessible::accessibleInterface(it.value()) == child)
            return (it.key().first + 1) * columnCount() + it.key().second;
    }
    return -1;
}

QAccessibleInterface* DataGridAccessible::childAt(int x, int y) const
{
    const QPoint point = grid()->mapFromGlobal(QPoint(x, y));
    for (int row = -1; row < rowCount(); ++row) {
        for (int column = 0; column < columnCount(); ++column) {
            if (grid()->cellRect(column + kIndicatorOffset, row + kTitleOffset).contains(point))
                return cellInterface(row, column);
        }
    }
    return nullptr;
}

QAccessibleInterface* DataGridAccessible::cellAt(int row, int column) const
{
    if (row < 0)
        return nullptr;
    return cellInterface(row, column);
}

QAccessibleInterface* DataGridAccessible::cellInterface(int row, int column) const
{
    if (row < -1 || row >= rowCount() || column < 0 || column >= columnCount())
        return nullptr;
    const QPair<int, int> place(row, column);
    if (const auto it = m_cells.constFind(place); it != m_cells.constEnd())
        return QAccessible::accessibleInterface(it.value());
    auto* cell = new DataGridCellAccessible(grid(), row, column);
    m_cells.insert(place, QAccessible::registerAccessibleInterface(cell));
    return cell;
}

void DataGridAccessible::modelChange(QAccessibleTableModelChangeEvent*)
{
    dropCells();
}

void DataGridAccessible::dropCells()
{
    const QHash<QPair<int, int>, QAccessible::Id> cells = std::exchange(m_cells, {});
    for (const QAccessible::Id id : cells)
        QAccessible::deleteAccessibleInterface(id);
}
