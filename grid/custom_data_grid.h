#pragma once
// The data-aware grid: a cell grid with a title row and an indicator column
// whose data rows show the records of a data set, one row per buffered record.
// Read-only: it never writes to the set. It takes no input of its own: the
// window keeps it disabled, so keys, clicks and the wheel never reach it.

#include "grid/custom_cell_grid.h"
#include "grid/data_grid_columns.h"
#include "grid/grid_data_link.h"

#include <QFont>

// What a cell is, by column (indicator or data) and row (title or data).
enum class GridCellType { Indicator, Title, Data };

class TCustomDataGrid : public TCustomCellGrid {
    Q_OBJECT

public:
    explicit TCustomDataGrid(QWidget* parent = nullptr);

    TDataGridColumns& columns() { return m_columns; }
    const TDataGridColumns& columns() const { return m_columns; }

    // The grid follows the set behind the source; set the source's data set first.
    void setDataSource(const DataSource* source);
    ClientDataSet* dataSet() const { return m_dataLink.dataSet(); }

    void setFlat(bool flat);
    // Read when loading finishes: the widths then become the columns' shares.
    void setAutoFitColWidths(bool on);
    // Data cells and the empty area: the system's window colour.
    QColor color() const { return systemColor(QPalette::Base); }
    // Title and indicator cells: the system's button face.
    QColor fixedColor() const { return systemColor(QPalette::Button); }
    // The titles are written in the grid's font.
    QFont titleFont() const { return font(); }

    // The finishing step once the stored settings are applied: from here on
    // the grid lays itself out. Until then layout passes do nothing.
    void loaded();

    // Throws ProgramError "Algorithm error in TCustomDataGrid.GetCellType" for a
    // cell that fits no kind (one outside the grid).
    GridCellType cellType(int col, int row) const;

    // Records the grid buffers: one per data row that fits whole, at least one.
    int bufferCount() const { return m_dataLink.bufferCount(); }
    // The row whose indicator shows the current-row arrow; -1 while the set is closed.
    int indicatorRow() const;
    // 0-based record shown in a row; -1 for the title and for rows without a record.
    long long recordAtRow(int row) const;
    // The text of a title or data cell as painted.
    QString cellText(int col, int row) const;

    // The height of "Wg" as rows measure it: the font's ascent and descent,
    // each rounded up to whole pixels (13 for 11-pixel Liberation Sans).
    static int textHeight(const QFont& font);

protected:
    void drawCell(QPainter& painter, int col, int row, const QRect& rect) override;
    QColor lineColor(int col, int row) const override;
    QColor emptyAreaColor() const override { return color(); }

    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    friend class TGridDataLink;
    friend class TDataGridColumns;

    // Rebinds the columns, recomputes rows and widths, fits them to the width
    // and repaints. Does nothing until the grid has loaded.
    void layoutPass();
    void columnsChanged() { layoutPass(); }
    void copyColumnWidths();
    void fitColumns();
    // Recounts the buffered records and the data rows, and sets the scroll bar.
    void recountRows();
    void updateScrollBar();
    int titlePitch() const { return m_titleRowHeight + gridLineWidth(); }
    int rowPitch() const { return m_dataRowHeight + gridLineWidth(); }

    void linkActiveChanged() { layoutPass(); }
    // Tells assistive technology that the cells it read are gone, when the
    // set opened or closed or the rows that fit changed.
    void announceContent();

    void drawFixedCell(QPainter& painter, const QRect& rect, const QColor& background) const;
    void drawIndicatorCell(QPainter& painter, int row, const QRect& rect) const;

    TDataGridColumns m_columns{*this};
    TGridDataLink m_dataLink{*this};
    bool m_flat = false;
    bool m_autoFitColWidths = false;
    bool m_loading = true;

    int m_dataRowHeight = 0;
    int m_titleRowHeight = 0;
    // What assistive technology was last told the grid shows.
    bool m_announcedActive = false;
    int m_announcedRows = 0;
};

// The data grid as the window places it.
using TDataGrid = TCustomDataGrid;
