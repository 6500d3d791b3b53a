#include "grid/grid_layout.h"

#include "grid/messages.h"
#include "text/error.h"

#include <algorithm>
#include <climits>
#include <cstdint>

int gridMulDiv(int number, int numerator, int denominator)
{
    if (denominator == 0)
        return -1;
    const std::int64_t product = std::int64_t{number} * numerator;
    const bool negative = (product < 0) != (denominator < 0);
    const std::int64_t p = product < 0 ? -product : product;
    const std::int64_t d = denominator < 0 ? -std::int64_t{denominator} : denominator;
    std::int64_t q = p / d;
    if ((p % d) * 2 >= d)  // halves go away from zero
        ++q;
    const std::int64_t result = negative ? -q : q;
    if (result > INT_MAX || result < INT_MIN)
        return -1;
    return static_cast<int>(result);
}

int fitColumnWidths(std::vector<FitColumn>& columns, int clientWidth)
{
    for (FitColumn& column : columns)
        column.fixed = false;

    const int visibleCount = static_cast<int>(columns.size());
    int available = 0;
    int fitted = 0;
    for (int pass = 0; pass < visibleCount; ++pass) {
        int fixedTotal = 0;
        int shareTotal = 0;
        for (const FitColumn& column : columns) {
            if (column.fixed)
                fixedTotal += column.width;
            else
                shareTotal += column.initialWidth;
        }
        available = std::max(std::max(clientWidth, 0) - fixedTotal, 0) - kIndicatorWidth - visibleCount - 1;
        // A grid narrower than its indicator and lines leaves nothing to share;
        // a negative share would come out of the multiply-divide as the -1 that
        // keeps a stale width.
        available = std::max(available, 0);

        fitted = 0;
        bool changed = false;
        for (FitColumn& column : columns) {
            if (column.fixed)
                continue;
            const int requested = gridMulDiv(column.initialWidth, available, shareTotal);
            // -1 (no shares to divide by) keeps the width; a width never goes below 0.
            column.width = requested == -1 ? column.width : std::max(requested, 0);
            if (column.width != requested) {
                column.fixed = true;
                changed = true;
            }
            fitted += column.width;
        }
        if (!changed)
            break;
    }

    if (fitted != available) {
        for (auto it = columns.rbegin(); it != columns.rend(); ++it) {
            if (!it->fixed) {
                it->width = std::max(it->width + (available - fitted), 0);
                break;
            }
        }
    }
    return available;
}

int dataRowHeight(int textHeight, bool flat)
{
    return (flat ? 1 : 3) + textHeight + 1;
}

int titleRowHeight(const std::vector<int>& titleTextHeights)
{
    int tallest = 0;
    for (int h : titleTextHeights)
        tallest = std::max(tallest, h);
    return tallest + 4;
}

int fullyVisibleDataRows(int clientHeight, int titlePitch, int rowPitch)
{
    if (rowPitch <= 0)
        return 0;
    return std::max((clientHeight - titlePitch) / rowPitch, 0);
}

int visibleDataRows(int clientHeight, int titlePitch, int rowPitch)
{
    return std::max(fullyVisibleDataRows(clientHeight, titlePitch, rowPitch), 1);
}

int recordWindowCount(std::size_t total, int buffered)
{
    return static_cast<int>(std::min<std::size_t>(total, static_cast<std::size_t>(std::max(buffered, 1))));
}

int dataRowCount(int windowRecords)
{
    return std::max(windowRecords, 1);
}

TGridScrollBar vertScrollBarFor(bool open, std::size_t records, int page, std::size_t recNo)
{
    if (!open)
        return {};
    // Far beyond any set a grid shows, yet the range stays an int.
    constexpr std::size_t kLimit = INT_MAX / 2;
    return {1, static_cast<int>(std::min(records, kLimit)) + page - 1, page, static_cast<int>(std::min(recNo, kLimit))};
}

QPoint glyphOrigin(const QRect& cell, QSize glyph)
{
    const auto floorHalf = [](int n) { return n >= 0 ? n / 2 : -((1 - n) / 2); };
    return {floorHalf(cell.left() + cell.right() + 1 - glyph.width()) + 1,
            floorHalf(cell.top() + cell.bottom() + 1 - glyph.height())};
}

void GridLayout::checkCol(int col) const
{
    if (col < 0 || col >= colCount())
        throw ProgramError(std::string(msg::kIndexOutOfRange));
}

void GridLayout::checkRow(int row) const
{
    if (row < 0 || row >= rowCount())
        throw ProgramError(std::string(msg::kIndexOutOfRange));
}

void GridLayout::setColCount(int count)
{
    if (count < 0)
        throw ProgramError(std::string(msg::kIndexOutOfRange));
    if (count <= m_fixedCols)
        throw ProgramError(std::string(msg::kFixedColsTooMany));
    m_colWidths.resize(static_cast<std::size_t>(count), kDefaultColWidth);
}

void GridLayout::setRowCount(int count)
{
    if (count < 0)
        throw ProgramError(std::string(msg::kIndexOutOfRange));
    if (count <= m_fixedRows)
        throw ProgramError(std::string(msg::kFixedRowsTooMany));
    m_rowHeights.resize(static_cast<std::size_t>(count), m_defaultRowHeight);
}

void GridLayout::setFixedCols(int count)
{
    if (count < 0)
        throw ProgramError(std::string(msg::kIndexOutOfRange));
    if (count >= colCount())
        throw ProgramError(std::string(msg::kFixedColsTooMany));
    m_fixedCols = count;
}

void GridLayout::setFixedRows(int count)
{
    if (count < 0)
        throw ProgramError(std::string(msg::kIndexOutOfRange));
    if (count >= rowCount())
        throw ProgramError(std::string(msg::kFixedRowsTooMany));
    m_fixedRows = count;
}

int GridLayout::colWidth(int col) const
{
    checkCol(col);
    return m_colWidths[static_cast<std::size_t>(col)];
}

int GridLayout::rowHeight(int row) const
{
    checkRow(row);
    return m_rowHeights[static_cast<std::size_t>(row)];
}

void GridLayout::setColWidth(int col, int width)
{
    checkCol(col);
    m_colWidths[static_cast<std::size_t>(col)] = std::max(width, 0);
}

void GridLayout::setRowHeight(int row, int height)
{
    checkRow(row);
    m_rowHeights[static_cast<std::size_t>(row)] = std::max(height, 0);
}

void GridLayout::setDefaultRowHeight(int height)
{
    m_defaultRowHeight = std::max(height, 0);
    std::fill(m_rowHeights.begin(), m_rowHeights.end(), m_defaultRowHeight);
}

int GridLayout::colLeft(int col) const
{
    if (col < 0 || col > colCount())
        throw ProgramError(std::string(msg::kIndexOutOfRange));
    int x = 0;
    for (int c = 0; c < col; ++c)
        x += m_colWidths[static_cast<std::size_t>(c)] + kLineWidth;
    return x;
}

int GridLayout::rowTop(int row) const
{
    if (row < 0 || row > rowCount())
        throw ProgramError(std::string(msg::kIndexOutOfRange));
    int y = 0;
    for (int r = 0; r < row; ++r)
        y += m_rowHeights[static_cast<std::size_t>(r)] + kLineWidth;
    return y;
}

QRect GridLayout::cellRect(int col, int row) const
{
    checkCol(col);
    checkRow(row);
    return QRect(colLeft(col), rowTop(row), colWidth(col), rowHeight(row));
}

int GridLayout::colAt(int x) const
{
    if (x < 0)
        return -1;
    int right = 0;
    for (int c = 0; c < colCount(); ++c) {
        right += m_colWidths[static_cast<std::size_t>(c)] + kLineWidth;
        if (x < right)
            return c;
    }
    return -1;
}

int GridLayout::rowAt(int y) const
{
    if (y < 0)
        return -1;
    int bottom = 0;
    for (int r = 0; r < rowCount(); ++r) {
        bottom += m_rowHeights[static_cast<std::size_t>(r)] + kLineWidth;
        if (y < bottom)
            return r;
    }
    return -1;
}
