#pragma once
// A custom-drawn grid of cells: column widths, row heights, fixed rows and
// columns, 1-pixel grid lines, a 1-pixel sunken frame it draws itself and a
// vertical scroll bar inside that frame. It never has a horizontal bar.

#include "grid/grid_layout.h"
#include "grid/grid_scroll_bar.h"

#include <QColor>
#include <QPalette>
#include <QStyle>
#include <QWidget>

class QPainter;
class QStyleOptionSlider;

class TCustomCellGrid : public QWidget {
    Q_OBJECT

public:
    explicit TCustomCellGrid(QWidget* parent = nullptr);

    // The cell grid guards its indices: GridError with the user-visible text.
    int colCount() const { return m_cells.colCount(); }
    int rowCount() const { return m_cells.rowCount(); }
    void setColCount(int count);
    void setRowCount(int count);
    int fixedCols() const { return m_cells.fixedCols(); }
    int fixedRows() const { return m_cells.fixedRows(); }
    void setFixedCols(int count);
    void setFixedRows(int count);
    int colWidths(int col) const { return m_cells.colWidth(col); }
    int rowHeights(int row) const { return m_cells.rowHeight(row); }
    void setColWidths(int col, int width);
    void setRowHeights(int row, int height);
    int defaultRowHeight() const { return m_cells.defaultRowHeight(); }
    void setDefaultRowHeight(int height);
    int gridLineWidth() const { return m_cells.lineWidth(); }
    const GridLayout& cellLayout() const { return m_cells; }

    TGridScrollBar& vertScrollBar() { return m_vertScrollBar; }
    const TGridScrollBar& vertScrollBar() const { return m_vertScrollBar; }

    // Widget coordinates. The client area lies inside the 1-pixel frame; the
    // cells use it less the vertical scroll bar while the bar shows.
    QRect clientArea() const;
    QRect cellArea() const;
    QRect scrollBarArea() const;
    // A cell without its lines.
    QRect cellRect(int col, int row) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

    // Paints one cell (widget coordinates, lines excluded).
    virtual void drawCell(QPainter& painter, int col, int row, const QRect& rect);
    // The colour of a cell's lines, on its right and at its bottom.
    virtual QColor lineColor(int col, int row) const;
    // The part of the cell area that no cell covers.
    virtual QColor emptyAreaColor() const;
    // Vertical lines run on below the last row to the bottom of the cell area.
    virtual bool extendVertLines() const { return false; }
    // The scroll bar's Visible setting changed.
    virtual void scrollBarSettingChanged() { update(); }

    // The system colours come from the active group whether the grid is
    // enabled or not: a disabled grid looks exactly like an enabled one.
    QColor systemColor(QPalette::ColorRole role) const { return palette().color(QPalette::Active, role); }

    // Moves the pixels of rows first..last by dy and invalidates what that uncovers.
    void scrollRows(int firstRow, int lastRow, int dy);
    void invalidateRow(int row);
    // The part of the scroll bar under a point in widget coordinates.
    QStyle::SubControl scrollBarHitTest(const QPoint& pos) const;

private:
    void initScrollBarOption(QStyleOptionSlider& option) const;
    void paintFrame(QPainter& painter) const;
    void paintScrollBar(QPainter& painter) const;

    GridLayout m_cells;
    TGridScrollBar m_vertScrollBar;
};
