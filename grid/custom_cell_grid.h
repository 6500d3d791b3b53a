#pragma once
// A custom-drawn grid of cells: column widths, row heights, fixed rows and
// columns, 1-pixel grid lines, a 1-pixel sunken frame it draws itself and a
// vertical scroll bar inside that frame. It never has a horizontal bar.

#include "grid/grid_layout.h"

#include <QColor>
#include <QPalette>
#include <QWidget>

class QPainter;

class TCustomCellGrid : public QWidget {
    Q_OBJECT

public:
    explicit TCustomCellGrid(QWidget* parent = nullptr);

    // The cell grid guards its indices: ProgramError with the user-visible text.
    int colCount() const { return m_cells.colCount(); }
    int rowCount() const { return m_cells.rowCount(); }
    void setColCount(int count) { m_cells.setColCount(count); }
    void setRowCount(int count) { m_cells.setRowCount(count); }
    int fixedCols() const { return m_cells.fixedCols(); }
    int fixedRows() const { return m_cells.fixedRows(); }
    void setFixedCols(int count) { m_cells.setFixedCols(count); }
    void setFixedRows(int count) { m_cells.setFixedRows(count); }
    int colWidths(int col) const { return m_cells.colWidth(col); }
    int rowHeights(int row) const { return m_cells.rowHeight(row); }
    void setColWidths(int col, int width) { m_cells.setColWidth(col, width); }
    void setRowHeights(int row, int height) { m_cells.setRowHeight(row, height); }
    void setDefaultRowHeight(int height) { m_cells.setDefaultRowHeight(height); }
    int gridLineWidth() const { return m_cells.lineWidth(); }

    const TGridScrollBar& vertScrollBar() const { return m_vertScrollBar; }

    // Widget coordinates. The client area lies inside the 1-pixel frame; the
    // cells use it less the vertical scroll bar while the bar shows.
    QRect clientArea() const;
    QRect cellArea() const;
    QRect scrollBarArea() const;
    // A cell without its lines.
    QRect cellRect(int col, int row) const;

protected:
    void paintEvent(QPaintEvent* event) override;

    // Paints one cell (widget coordinates, lines excluded).
    virtual void drawCell(QPainter& painter, int col, int row, const QRect& rect) = 0;
    // The colour of a cell's lines, on its right and at its bottom; the
    // vertical lines run on below the last row in the last row's colours.
    virtual QColor lineColor(int col, int row) const = 0;
    // The part of the cell area that no cell covers.
    virtual QColor emptyAreaColor() const = 0;

    // Repaints the bar where its slider moved; a bar shown or hidden needs the
    // cells laid out again, which is the caller's business.
    void setVertScrollBar(const TGridScrollBar& bar);

    // The system colours come from the active group whether the grid is
    // enabled or not: a disabled grid looks exactly like an enabled one.
    QColor systemColor(QPalette::ColorRole role) const { return palette().color(QPalette::Active, role); }
    // A 1-pixel 3-D edge inside rect: the top and left sides in one colour,
    // then, when given, the bottom and right sides in the other, which takes
    // the two corners the sides share.
    static void drawEdges(QPainter& painter, const QRect& rect, const QColor& topLeft,
                          const QColor& bottomRight = QColor());

private:
    // The columns and rows a dirty rectangle touches; no cell when the
    // rectangle starts right of the columns or below the rows.
    struct CellSpan {
        int firstCol = -1;
        int lastCol = -1;
        int firstRow = -1;
        int lastRow = -1;
    };

    int scrollBarWidth() const;
    // local: in cell-area coordinates.
    CellSpan cellsUnder(const QRect& local) const;
    void paintFrame(QPainter& painter) const;
    void paintScrollBar(QPainter& painter) const;
    // The cells of the span, lines excluded; origin is the cell area's top-left corner.
    void paintCells(QPainter& painter, const CellSpan& span, QPoint origin);
    // What lies below the rows and right of the columns.
    void paintEmptyArea(QPainter& painter, const QRect& area) const;
    // The lines of the cells of the span, and below the rows the vertical lines run on.
    void paintLines(QPainter& painter, const CellSpan& span, const QRect& area) const;

    GridLayout m_cells;
    TGridScrollBar m_vertScrollBar;
};
