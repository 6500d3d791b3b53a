#pragma once
// Layout arithmetic of the grids, with no widget or painting in it: column
// widths and their fitting to the client width, row metrics, the window of
// records in view, the vertical scroll bar per state of the set, glyph
// placement and the cell rectangles.

#include <QPoint>
#include <QRect>
#include <QSize>

#include <cstddef>
#include <vector>

// The platform's multiply-divide: number × numerator ÷ denominator in 64 bits,
// rounded to nearest with halves away from zero. -1 when the denominator is 0
// or the result does not fit an int (a width of -1 leaves a width unchanged).
int gridMulDiv(int number, int numerator, int denominator);

// The indicator column on the left of the data columns, always shown.
inline constexpr int kIndicatorWidth = 11;

// One column as the fitting sees it. Columns have no width bounds and all
// take part in the fitting.
struct FitColumn {
    int width = 0;          // current width, rewritten by the fitting
    int initialWidth = 0;   // the column's share
    bool fixed = false;     // set by the fitting when the column could not take its share
};

// Gives every pixel of the client width to the indicator, the lines (one pixel
// after the indicator and after each column) and the columns; the columns
// share what is left in the proportions of their initial widths, the rounding
// leftover going to the last column that may still move. Returns the width the
// columns were fitted to.
int fitColumnWidths(std::vector<FitColumn>& columns, int clientWidth);

// Data row height: 1 (3 when not flat) + text height + 1 for the row line.
int dataRowHeight(int textHeight, bool flat);
// Title row height: the tallest title text + 4.
int titleRowHeight(const std::vector<int>& titleTextHeights);
// Records the grid buffers: one per data row that fits whole below the title,
// at least 1, since a grid always keeps one data row.
int visibleDataRows(int clientHeight, int titlePitch, int rowPitch);
// The same without the lower bound: the page of the vertical scroll bar.
int fullyVisibleDataRows(int clientHeight, int titlePitch, int rowPitch);

// The records of a window of `buffered` records from the first of a set of
// `total` records that the set holds: 0 when it holds none.
int recordWindowCount(std::size_t total, int buffered);
// One data row per record in the window; a single blank row when there is none
// (a closed or empty set).
int dataRowCount(int windowRecords);

// The vertical scroll bar (VertScrollBar): minimum .. maximum is the whole
// range, the page the part in view.
struct TGridScrollBar {
    int minimum = 0;
    int maximum = 1;
    int page = 2;
    int position = 0;

    // Hidden whenever the page covers the whole range.
    bool isShown() const { return page == 0 ? minimum < maximum : minimum < maximum - (page - 1); }
    bool operator==(const TGridScrollBar&) const = default;
};

// The bar for a closed set (0 .. 1, page 2: hidden), or for an open set that
// keeps record numbers: 1 .. records + page − 1, the page the fully visible
// rows, the position the current record number (0 when there is none).
TGridScrollBar vertScrollBarFor(bool open, std::size_t records, int page, std::size_t recNo);

// Where a glyph goes in a cell: centred, one pixel right of centre, halves
// rounded down.
QPoint glyphOrigin(const QRect& cell, QSize glyph);

// Column widths and row heights of a cell grid, its fixed rows and columns, and
// the rectangles of its cells. Every cell has a line of lineWidth() on its right
// and at its bottom. Coordinates start at the top-left corner of the cell area.
class GridLayout {
public:
    int colCount() const { return static_cast<int>(m_colWidths.size()); }
    int rowCount() const { return static_cast<int>(m_rowHeights.size()); }
    // New columns and rows take the default size.
    void setColCount(int count);
    void setRowCount(int count);
    int fixedCols() const { return m_fixedCols; }
    int fixedRows() const { return m_fixedRows; }
    void setFixedCols(int count);
    void setFixedRows(int count);

    int colWidth(int col) const;
    int rowHeight(int row) const;
    void setColWidth(int col, int width);
    void setRowHeight(int row, int height);
    // Applies to every row, as a grid's rows share one height until set singly.
    void setDefaultRowHeight(int height);
    int lineWidth() const { return kLineWidth; }

    // Left edge of a column / top edge of a row; the count gives the end of the last line.
    int colLeft(int col) const;
    int rowTop(int row) const;
    // The cell without its lines.
    QRect cellRect(int col, int row) const;
    // The column or row that holds a coordinate, its trailing line included; -1 beyond.
    int colAt(int x) const;
    int rowAt(int y) const;

private:
    void checkCol(int col) const;
    void checkRow(int row) const;

    std::vector<int> m_colWidths = std::vector<int>(5, kDefaultColWidth);
    std::vector<int> m_rowHeights = std::vector<int>(5, 24);
    int m_fixedCols = 1;
    int m_fixedRows = 1;
    int m_defaultRowHeight = 24;
    static constexpr int kLineWidth = 1;
    static constexpr int kDefaultColWidth = 64;
};
