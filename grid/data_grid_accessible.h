#pragma once
// What assistive technology (a screen reader, through the desktop's
// accessibility bus or UI Automation) reads of a data grid: a table of the
// grid's data rows and columns, the column titles as its header cells and
// each cell's text as the grid paints it. The grid is disabled for the whole
// run, which keeps it away from the keyboard and the mouse but not from a
// screen reader: the table answers all the same. The indicator column holds
// no text and is left out.

#include <QAccessibleWidget>
#include <QHash>
#include <QPair>

class TCustomDataGrid;

class DataGridAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit DataGridAccessible(TCustomDataGrid* grid);
    ~DataGridAccessible() override;
    DataGridAccessible(const DataGridAccessible&) = delete;
    DataGridAccessible& operator=(const DataGridAccessible&) = delete;

    // Gives every data grid of the process this interface; later calls do nothing.
    static void install();

    void* interface_cast(QAccessible::InterfaceType type) override;
    // The header cells first, one per column, then the cells row by row.
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;

    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override;
    int columnCount() const override;
    int rowCount() const override;
    QString columnDescription(int column) const override;
    QString rowDescription(int) const override { return {}; }
    // The grid has no selection, and nothing selects in it.
    int selectedCellCount() const override { return 0; }
    QList<QAccessibleInterface*> selectedCells() const override { return {}; }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return 0; }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override { return {}; }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int) const override { return false; }
    bool selectRow(int) override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    // The grid reports only resets: every cell handed out before is dropped.
    void modelChange(QAccessibleTableModelChangeEvent* event) override;

    // Row -1 is the header; nullptr outside the grid.
    QAccessibleInterface* cellInterface(int row, int column) const;
    TCustomDataGrid* grid() const;

private:
    void dropCells();

    // Cells are made when they are asked for and kept under their place, so
    // that a cell keeps its identity while it stays where it is.
    mutable QHash<QPair<int, int>, QAccessible::Id> m_cells;
};
