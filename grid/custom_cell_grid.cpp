#include "grid/custom_cell_grid.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// Line rectangles gathered per colour, the colours in the order they first
// come, so that each colour is drawn in one call.
class LinesByColour {
public:
    void add(const QColor& colour, const QRect& line)
    {
        auto it = std::find_if(m_lines.begin(), m_lines.end(), [&](const auto& l) { return l.first == colour; });
        if (it == m_lines.end())
            m_lines.push_back({colour, {line}});
        else
            it->second.push_back(line);
    }

    void draw(QPainter& painter, QPoint offset)
    {
        painter.setPen(Qt::NoPen);
        for (auto& [colour, rects] : m_lines) {
            for (QRect& r : rects)
                r.translate(offset);
            painter.setBrush(colour);
            painter.drawRects(rects);
        }
    }

private:
    std::vector<std::pair<QColor, QList<QRect>>> m_lines;
};

}  // namespace

TCustomCellGrid::TCustomCellGrid(QWidget* parent)
    : QWidget(parent)
{
    // Every pixel is painted here, frame included.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

int TCustomCellGrid::scrollBarWidth() const
{
    return style()->pixelMetric(QStyle::PM_ScrollBarExtent);
}

QRect TCustomCellGrid::clientArea() const
{
    return QRect(1, 1, std::max(width() - 2, 0), std::max(height() - 2, 0));
}

QRect TCustomCellGrid::cellArea() const
{
    QRect area = clientArea();
    if (m_vertScrollBar.isShown())
        area.setWidth(std::max(area.width() - scrollBarWidth(), 0));
    return area;
}

QRect TCustomCellGrid::scrollBarArea() const
{
    if (!m_vertScrollBar.isShown())
        return {};
    const QRect client = clientArea();
    const int barWidth = std::min(scrollBarWidth(), client.width());
    return QRect(client.right() + 1 - barWidth, client.top(), barWidth, client.height());
}

QRect TCustomCellGrid::cellRect(int col, int row) const
{
    return m_cells.cellRect(col, row).translated(cellArea().topLeft());
}

void TCustomCellGrid::setVertScrollBar(const TGridScrollBar& bar)
{
    if (bar == m_vertScrollBar)
        return;
    m_vertScrollBar = bar;
    update(scrollBarArea());
}

void TCustomCellGrid::drawEdges(QPainter& painter, const QRect& rect, const QColor& topLeft, const QColor& bottomRight)
{
    painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), topLeft);
    painter.fillRect(QRect(rect.left(), rect.top(), 1, rect.height()), topLeft);
    if (!bottomRight.isValid())
        return;
    painter.fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), bottomRight);
    painter.fillRect(QRect(rect.right(), rect.top(), 1, rect.height()), bottomRight);
}

void TCustomCellGrid::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect dirty = event->rect();
    if (m_vertScrollBar.isShown() && dirty.intersects(scrollBarArea()))
        paintScrollBar(painter);
    paintFrame(painter);

    const QRect area = cellArea();
    const QRect local = (dirty & area).translated(-area.topLeft());
    if (local.isEmpty())
        return;
    painter.setClipRect(area, Qt::IntersectClip);

    // Only the cells under the dirty rectangle are painted, then the lines over them.
    const CellSpan span = cellsUnder(local);
    paintCells(painter, span, area.topLeft());
    paintEmptyArea(painter, area);
    paintLines(painter, span, area);
}

TCustomCellGrid::CellSpan TCustomCellGrid::cellsUnder(const QRect& local) const
{
    // A rectangle reaching beyond the last column or row takes all up to it.
    const int lastCol = m_cells.colAt(local.right());
    const int lastRow = m_cells.rowAt(local.bottom());
    return {.firstCol = m_cells.colAt(local.left()),
            .lastCol = lastCol < 0 ? colCount() - 1 : lastCol,
            .firstRow = m_cells.rowAt(local.top()),
            .lastRow = lastRow < 0 ? rowCount() - 1 : lastRow};
}

void TCustomCellGrid::paintFrame(QPainter& painter) const
{
    // A sunken outer edge.
    if (!rect().isEmpty())
        drawEdges(painter, rect(), systemColor(QPalette::Dark), systemColor(QPalette::Light));
}

void TCustomCellGrid::paintCells(QPainter& painter, const CellSpan& span, QPoint origin)
{
    if (span.firstCol < 0 || span.firstRow < 0)
        return;
    for (int row = span.firstRow; row <= span.lastRow; ++row)
        for (int col = span.firstCol; col <= span.lastCol; ++col)
            drawCell(painter, col, row, m_cells.cellRect(col, row).translated(origin));
}

void TCustomCellGrid::paintEmptyArea(QPainter& painter, const QRect& area) const
{
    const QColor empty = emptyAreaColor();
    const int rowsBottom = m_cells.rowTop(rowCount());
    const int colsRight = m_cells.colLeft(colCount());
    if (rowsBottom < area.height())
        painter.fillRect(QRect(0, rowsBottom, area.width(), area.height() - rowsBottom).translated(area.topLeft()), empty);
    if (colsRight < area.width())
        painter.fillRect(QRect(colsRight, 0, area.width() - colsRight, rowsBottom).translated(area.topLeft()), empty);
}

void TCustomCellGrid::paintLines(QPainter& painter, const CellSpan& span, const QRect& area) const
{
    LinesByColour lines;
    const int lw = m_cells.lineWidth();
    if (span.firstCol >= 0 && span.firstRow >= 0) {
        for (int row = span.firstRow; row <= span.lastRow; ++row) {
            for (int col = span.firstCol; col <= span.lastCol; ++col) {
                const QRect cell = m_cells.cellRect(col, row);
                const QColor colour = lineColor(col, row);
                // The right line takes the crossing below the cell.
                lines.add(colour, QRect(cell.right() + 1, cell.top(), lw, cell.height() + lw));
                lines.add(colour, QRect(cell.left(), cell.bottom() + 1, cell.width(), lw));
            }
        }
    }
    const int rowsBottom = m_cells.rowTop(rowCount());
    if (rowsBottom < area.height() && span.firstCol >= 0) {
        for (int col = span.firstCol; col <= span.lastCol; ++col) {
            const int x = m_cells.colLeft(col) + m_cells.colWidth(col);
            lines.add(lineColor(col, rowCount() - 1), QRect(x, rowsBottom, lw, area.height() - rowsBottom));
        }
    }
    lines.draw(painter, area.topLeft());
}

void TCustomCellGrid::paintScrollBar(QPainter& painter) const
{
    QStyleOptionSlider option;
    option.initFrom(this);
    // Drawn as enabled and from the active colours even while the grid is disabled.
    option.state = QStyle::State_Enabled;
    option.palette.setCurrentColorGroup(QPalette::Active);
    // The style lays a scroll bar out from its own top-left corner.
    option.rect = QRect(QPoint(0, 0), scrollBarArea().size());
    option.orientation = Qt::Vertical;
    option.subControls = QStyle::SC_All;
    option.activeSubControls = QStyle::SC_None;
    const int page = std::max(m_vertScrollBar.page, 0);
    option.minimum = m_vertScrollBar.minimum;
    // The bar's range counts the page; the slider's ends where the page starts.
    option.maximum = std::max(option.minimum, m_vertScrollBar.maximum - std::max(page - 1, 0));
    option.pageStep = page;
    option.singleStep = 1;
    option.sliderPosition = std::clamp(m_vertScrollBar.position, option.minimum, option.maximum);
    option.sliderValue = option.sliderPosition;

    painter.save();
    painter.translate(scrollBarArea().topLeft());
    painter.setClipRect(option.rect, Qt::IntersectClip);
    style()->drawComplexControl(QStyle::CC_ScrollBar, &option, &painter, nullptr);
    painter.restore();
}
