#include "grid/custom_data_grid.h"

#include "grid/data_grid_accessible.h"
#include "text/qt_text.h"
#include "grid/messages.h"
#include "text/error.h"

#include <QAccessible>
#include <QEvent>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include <cmath>

namespace {

constexpr int kIndicatorOffset = 1;  // the indicator is column 0
constexpr int kTitleOffset = 1;      // the title is row 0

QColor gray() { return QColor(128, 128, 128); }
QColor silver() { return QColor(192, 192, 192); }

// "GRIDARROW", the current-row glyph while the set is browsed: a 6 × 11 bitmap
// in black on its transparent colour, white, so only the arrow is drawn.
const QImage& browseArrow()
{
    static const QImage arrow = [] {
        static const char* const bits[] = {"      ", "X     ", "XX    ", "XXX   ", "XXXX  ", "XXXXX ",
                                           "XXXX  ", "XXX   ", "XX    ", "X     ", "      "};
        QImage image(6, 11, QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, bits[y][x] == 'X' ? qRgb(0, 0, 0) : qRgba(0, 0, 0, 0));
        return image;
    }();
    return arrow;
}

// Text starts 2 pixels right of the cell's left edge or ends 3 pixels left of
// its right edge; it is clipped, never wrapped nor shortened.
void drawCellText(QPainter& painter, const QString& text, const QFont& font, const QColor& colour,
                  const QRect& cell, const QRect& clip, Alignment alignment, int top)
{
    if (text.isEmpty())
        return;
    const int x = alignment == Alignment::Right ? cell.right() + 1 - 3 - QFontMetrics(font).horizontalAdvance(text)
                                                : cell.left() + 2;
    painter.save();
    painter.setClipRect(clip, Qt::IntersectClip);
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(QPoint(x, cell.top() + top + static_cast<int>(std::ceil(QFontMetricsF(font).ascent()))), text);
    painter.restore();
}

}  // namespace

TCustomDataGrid::TCustomDataGrid(QWidget* parent) : TCustomCellGrid(parent)
{
    DataGridAccessible::install();
}

void TCustomDataGrid::setDataSource(const DataSource* source)
{
    m_dataLink.setDataSet(source ? source->dataSet() : nullptr);
    layoutPass();
}

void TCustomDataGrid::setFlat(bool flat)
{
    m_flat = flat;
    layoutPass();
}

void TCustomDataGrid::setAutoFitColWidths(bool on)
{
    m_autoFitColWidths = on;
    layoutPass();
}

void TCustomDataGrid::loaded()
{
    m_loading = false;
    if (m_autoFitColWidths) {
        for (int i = 0; i < m_columns.count(); ++i)
            m_columns[i].setInitialWidth(m_columns[i].width());
    }
    layoutPass();
}

GridCellType TCustomDataGrid::cellType(int col, int row) const
{
    if (col < 0 || col >= colCount() || row < 0 || row >= rowCount())
        throw ProgramError(std::string(msg::kCellTypeAlgorithm));
    if (col < kIndicatorOffset)
        return GridCellType::Indicator;
    return row < kTitleOffset ? GridCellType::Title : GridCellType::Data;
}

int TCustomDataGrid::indicatorRow() const
{
    return m_dataLink.active() ? kTitleOffset + std::max(m_dataLink.activeRecord(), 0) : -1;
}

long long TCustomDataGrid::recordAtRow(int row) const
{
    const int index = row - kTitleOffset;
    if (index < 0 || index >= m_dataLink.recordCount())
        return -1;
    return index;
}

QString TCustomDataGrid::cellText(int col, int row) const
{
    switch (cellType(col, row)) {
    case GridCellType::Title:
        return m_columns[col - kIndicatorOffset].title().caption();
    case GridCellType::Data: {
        const long long record = recordAtRow(row);
        const Field* field = m_columns[col - kIndicatorOffset].field();
        if (record < 0 || field == nullptr || !m_dataLink.active())
            return {};
        return ansiToQString(m_dataLink.dataSet()->displayText(static_cast<std::size_t>(record), *field));
    }
    case GridCellType::Indicator:
        break;
    }
    return {};
}

int TCustomDataGrid::textHeight(const QFont& font)
{
    // Ascent and descent rounded up each, as the system measures a text line;
    // Qt's own integer height rounds them to nearest and comes out a pixel short.
    const QFontMetricsF metrics(font);
    return static_cast<int>(std::ceil(metrics.ascent()) + std::ceil(metrics.descent()));
}

void TCustomDataGrid::drawCell(QPainter& painter, int col, int row, const QRect& rect)
{
    switch (cellType(col, row)) {
    case GridCellType::Indicator:
        if (row < kTitleOffset)
            drawFixedCell(painter, rect, fixedColor());
        else
            drawIndicatorCell(painter, row, rect);
        break;
    case GridCellType::Title: {
        const TGridColumnTitle& title = m_columns[col - kIndicatorOffset].title();
        drawFixedCell(painter, rect, title.color());
        drawCellText(painter, title.caption(), title.font(), systemColor(QPalette::Text), rect,
                     rect.adjusted(1, 1, -1, -1), title.alignment(), 1);
        break;
    }
    case GridCellType::Data: {
        const TDataGridColumn& column = m_columns[col - kIndicatorOffset];
        painter.fillRect(rect, column.color());
        drawCellText(painter, cellText(col, row), column.font(), systemColor(QPalette::Text), rect, rect,
                     column.alignment(), m_flat ? 1 : 2);
        break;
    }
    }
}

QColor TCustomDataGrid::lineColor(int col, int row) const
{
    if (cellType(col, row) != GridCellType::Data)
        return gray();
    return color() == silver() ? gray() : silver();
}

void TCustomDataGrid::drawFixedCell(QPainter& painter, const QRect& rect, const QColor& background) const
{
    // Flat: the right and bottom inner edges stay in the background colour and
    // only the left and top get the light rim.
    painter.fillRect(rect, background);
    drawEdges(painter, rect, systemColor(QPalette::Light));
}

void TCustomDataGrid::drawIndicatorCell(QPainter& painter, int row, const QRect& rect) const
{
    drawFixedCell(painter, rect, fixedColor());
    // The set is only ever browsed here: the arrow is the one glyph to show.
    if (row != indicatorRow())
        return;
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    painter.drawImage(glyphOrigin(rect, browseArrow().size()), browseArrow());
    painter.restore();
}

void TCustomDataGrid::resizeEvent(QResizeEvent* event)
{
    TCustomCellGrid::resizeEvent(event);
    layoutPass();
}

void TCustomDataGrid::changeEvent(QEvent* event)
{
    TCustomCellGrid::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        layoutPass();
}

void TCustomDataGrid::layoutPass()
{
    if (m_loading)
        return;
    for (int i = 0; i < m_columns.count(); ++i)
        m_columns[i].clearBinding();
    setColCount(m_columns.count() + kIndicatorOffset);
    setFixedCols(kIndicatorOffset);

    m_dataRowHeight = dataRowHeight(textHeight(font()), m_flat);
    std::vector<int> titleHeights;
    for (int i = 0; i < m_columns.count(); ++i)
        titleHeights.push_back(textHeight(m_columns[i].title().font()));
    m_titleRowHeight = titleRowHeight(titleHeights);

    copyColumnWidths();
    if (m_autoFitColWidths) {
        // The bar first, so that the width fitted to already excludes a bar
        // that the current rows need.
        updateScrollBar();
        fitColumns();
        copyColumnWidths();
    }
    recountRows();
    update();
    announceContent();
}

void TCustomDataGrid::announceContent()
{
    // The records of an open set never move here, so what the cells say
    // changes only with the set's opening or closing and with the rows that fit.
    if (m_dataLink.active() == m_announcedActive && rowCount() == m_announcedRows)
        return;
    m_announcedActive = m_dataLink.active();
    m_announcedRows = rowCount();
    if (!QAccessible::isActive())
        return;
    // The table drops the cells it handed out, so that a reader that keeps
    // what a cell said asks the new cells again. (The toolkit's bridge of
    // the accessibility bus sends nothing for the event itself, as for its
    // own tables, and its children-changed signal for a reorder does not
    // reach readers in a form they take.)
    QAccessibleTableModelChangeEvent reset(this, QAccessibleTableModelChangeEvent::ModelReset);
    QAccessible::updateAccessibility(&reset);
}

void TCustomDataGrid::copyColumnWidths()
{
    setColWidths(0, kIndicatorWidth);
    for (int i = 0; i < m_columns.count(); ++i)
        setColWidths(i + kIndicatorOffset, m_columns[i].width());
}

void TCustomDataGrid::fitColumns()
{
    std::vector<FitColumn> fit;
    for (int i = 0; i < m_columns.count(); ++i)
        fit.push_back({.width = m_columns[i].width(), .initialWidth = m_columns[i].initialWidth()});
    fitColumnWidths(fit, cellArea().width());
    for (int i = 0; i < m_columns.count(); ++i)
        m_columns[i].setWidth(fit[static_cast<std::size_t>(i)].width);
}

void TCustomDataGrid::recountRows()
{
    m_dataLink.setBufferCount(visibleDataRows(cellArea().height(), titlePitch(), rowPitch()));
    setRowCount(kTitleOffset + dataRowCount(m_dataLink.recordCount()));
    setFixedRows(kTitleOffset);
    setDefaultRowHeight(m_dataRowHeight);
    setRowHeights(0, m_titleRowHeight);
    updateScrollBar();
}

void TCustomDataGrid::updateScrollBar()
{
    const ClientDataSet* set = m_dataLink.dataSet();
    const bool open = m_dataLink.active();
    setVertScrollBar(vertScrollBarFor(open, open ? set->recordCount() : 0,
                                      fullyVisibleDataRows(cellArea().height(), titlePitch(), rowPitch()),
                                      open ? set->recNo() : 0));
}
