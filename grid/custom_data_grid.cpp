#include "grid/custom_data_grid.h"

#include "grid/ansi_text.h"
#include "grid/grid_error.h"
#include "grid/grid_glyphs.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QWheelEvent>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace {

const QEvent::Type kDeferredLayoutEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
constexpr int kIndicatorWidth = 11;
constexpr int kIndicatorOffset = 1;  // the indicator is column 0
constexpr int kTitleOffset = 1;      // the title is row 0
constexpr int kFooterRowCount = 0;

QColor gray() { return QColor(128, 128, 128); }
QColor silver() { return QColor(192, 192, 192); }

int floorDiv(int a, int b)
{
    const int q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

int textAscent(const QFont& font)
{
    return static_cast<int>(std::ceil(QFontMetricsF(font).ascent()));
}

// Text starts 2 pixels right of the cell's left edge, ends 3 pixels left of its
// right edge, or is centred; it is clipped, never wrapped nor shortened.
void drawCellText(QPainter& painter, const QString& text, const QFont& font, const QColor& colour,
                  const QRect& cell, const QRect& clip, Alignment alignment, int top)
{
    if (text.isEmpty())
        return;
    const int advance = QFontMetrics(font).horizontalAdvance(text);
    int x = cell.left() + 2;
    if (alignment == Alignment::Right)
        x = cell.right() + 1 - 3 - advance;
    else if (alignment == Alignment::Center)
        x = floorDiv(cell.left() + cell.right() + 1 - advance, 2);
    painter.save();
    painter.setClipRect(clip, Qt::IntersectClip);
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(QPoint(x, cell.top() + top + textAscent(font)), text);
    painter.restore();
}

}  // namespace

TCustomDataGrid::TCustomDataGrid(QWidget* parent)
    : TCustomCellGrid(parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

TCustomDataGrid::~TCustomDataGrid()
{
    m_destroying = true;
    discardDeferredLayout();
    m_dataLink.setDataSet(nullptr);
}

void TCustomDataGrid::setDataSource(DataSource* source)
{
    m_dataSource = source;
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
    if (on == m_autoFitColWidths)
        return;
    m_autoFitColWidths = on;
    if (!m_loading) {
        for (int i = 0; i < m_columns.count(); ++i) {
            TDataGridColumn& column = m_columns[i];
            if (on)
                column.setInitialWidth(column.width());
            else
                column.takeFittedWidth(boundedColumnWidth(column.initialWidth(), column.width(), column.minWidth(), column.maxWidth()));
        }
    }
    layoutPass();
}

void TCustomDataGrid::setMinAutoFitWidth(int width)
{
    m_minAutoFitWidth = width;
    layoutPass();
}

QColor TCustomDataGrid::color() const
{
    return m_color ? *m_color : systemColor(QPalette::Base);
}

void TCustomDataGrid::setColor(const QColor& color)
{
    m_color = color;
    update();
}

QColor TCustomDataGrid::fixedColor() const
{
    return m_fixedColor ? *m_fixedColor : systemColor(QPalette::Button);
}

void TCustomDataGrid::setFixedColor(const QColor& color)
{
    m_fixedColor = color;
    update();
}

QFont TCustomDataGrid::titleFont() const
{
    return m_titleFont ? *m_titleFont : font();
}

void TCustomDataGrid::setTitleFont(const QFont& font)
{
    m_titleFont = font;
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
        throw GridError(gridtext::kCellTypeAlgorithm);
    if (col < kIndicatorOffset)
        return GridCellType::Indicator;
    if (row < kTitleOffset)
        return GridCellType::Title;
    if (row < rowCount() - kFooterRowCount)
        return GridCellType::Data;
    return GridCellType::Footer;
}

int TCustomDataGrid::indicatorRow() const
{
    return m_dataLink.active() ? m_currentRow : -1;
}

long long TCustomDataGrid::recordAtRow(int row) const
{
    const int index = row - kTitleOffset;
    if (index < 0 || index >= m_dataLink.recordCount())
        return -1;
    return static_cast<long long>(m_dataLink.firstRecord()) + index;
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
    case GridCellType::Footer:
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
    case GridCellType::Title:
        drawTitleCell(painter, col, rect);
        break;
    case GridCellType::Data:
    case GridCellType::Footer:
        drawDataCell(painter, col, row, rect);
        break;
    }
}

QColor TCustomDataGrid::lineColor(int col, int row) const
{
    const GridCellType type = cellType(col, row);
    if (type == GridCellType::Indicator || type == GridCellType::Title)
        return gray();
    return color() == silver() ? gray() : silver();
}

void TCustomDataGrid::drawFixedCell(QPainter& painter, const QRect& rect, const QColor& background) const
{
    // Flat: the right and bottom inner edges stay in the background colour and
    // only the left and top get the light rim.
    painter.fillRect(rect, background);
    const QColor rim = systemColor(QPalette::Light);
    painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), rim);
    painter.fillRect(QRect(rect.left(), rect.top(), 1, rect.height()), rim);
}

void TCustomDataGrid::drawTitleCell(QPainter& painter, int col, const QRect& rect) const
{
    const TGridColumnTitle& title = m_columns[col - kIndicatorOffset].title();
    drawFixedCell(painter, rect, title.color());
    drawCellText(painter, title.caption(), title.font(), systemColor(QPalette::Text), rect,
                 rect.adjusted(1, 1, -1, -1), title.alignment(), 1);
}

void TCustomDataGrid::drawIndicatorCell(QPainter& painter, int row, const QRect& rect) const
{
    drawFixedCell(painter, rect, fixedColor());
    if (!m_dataLink.active() || row != m_currentRow)
        return;
    GridGlyph glyph = GridGlyph::Arrow;
    if (m_dataLink.dataSet()->state() == DataSetState::Edit)
        glyph = GridGlyph::Edit;
    else if (m_dataLink.dataSet()->state() == DataSetState::Insert)
        glyph = GridGlyph::Insert;
    const int left = rect.left();
    const int right = rect.right() + 1;
    const int top = rect.top();
    const int bottom = rect.bottom() + 1;
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    painter.drawImage(QPoint(floorDiv(left + right - kGridGlyphWidth, 2) + 1, floorDiv(top + bottom - kGridGlyphHeight, 2)),
                      gridGlyph(glyph));
    painter.restore();
}

void TCustomDataGrid::drawDataCell(QPainter& painter, int col, int row, const QRect& rect) const
{
    const TDataGridColumn& column = m_columns[col - kIndicatorOffset];
    painter.fillRect(rect, column.color());
    drawCellText(painter, cellText(col, row), column.font(), systemColor(QPalette::Text), rect, rect,
                 column.alignment(), m_flat ? 1 : 2);
}

bool TCustomDataGrid::event(QEvent* event)
{
    if (event->type() == kDeferredLayoutEvent) {
        m_layoutPending = false;
        layoutPass();
        return true;
    }
    return TCustomCellGrid::event(event);
}

void TCustomDataGrid::resizeEvent(QResizeEvent* event)
{
    TCustomCellGrid::resizeEvent(event);
    layoutPass();
}

void TCustomDataGrid::changeEvent(QEvent* event)
{
    TCustomCellGrid::changeEvent(event);
    switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::StyleChange:
        layoutPass();
        break;
    case QEvent::PaletteChange:
    case QEvent::EnabledChange:
        update();
        break;
    default:
        break;
    }
}

void TCustomDataGrid::moveCurrentRecord(long long distance)
{
    if (!m_dataLink.active() || distance == 0)
        return;
    m_dataLink.dataSet()->moveBy(static_cast<int>(std::clamp<long long>(distance, INT_MIN, INT_MAX)));
}

// Input reaches the grid only while it is enabled; a disabled widget gets no
// keys, mouse or wheel from Qt, and keys it does not use travel on to the window.
void TCustomDataGrid::keyPressEvent(QKeyEvent* event)
{
    const long long records = m_dataLink.active() ? static_cast<long long>(m_dataLink.dataSet()->recordCount()) : 0;
    switch (event->key()) {
    case Qt::Key_Up:
        moveCurrentRecord(-1);
        break;
    case Qt::Key_Down:
        moveCurrentRecord(1);
        break;
    case Qt::Key_PageUp:
        moveCurrentRecord(-bufferCount());
        break;
    case Qt::Key_PageDown:
        moveCurrentRecord(bufferCount());
        break;
    case Qt::Key_Home:
        moveCurrentRecord(-records);
        break;
    case Qt::Key_End:
        moveCurrentRecord(records);
        break;
    default:
        TCustomCellGrid::keyPressEvent(event);
        return;
    }
    event->accept();
}

void TCustomDataGrid::wheelEvent(QWheelEvent* event)
{
    const int steps = event->angleDelta().y() / 120;
    moveCurrentRecord(-steps);
    event->accept();
}

void TCustomDataGrid::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        TCustomCellGrid::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const QPoint pos = event->position().toPoint();
    if (scrollBarArea().contains(pos)) {
        const int page = std::max(vertScrollBar().page(), 1);
        switch (scrollBarHitTest(pos)) {
        case QStyle::SC_ScrollBarSubLine:
            moveCurrentRecord(-1);
            break;
        case QStyle::SC_ScrollBarAddLine:
            moveCurrentRecord(1);
            break;
        case QStyle::SC_ScrollBarSubPage:
            moveCurrentRecord(-page);
            break;
        case QStyle::SC_ScrollBarAddPage:
            moveCurrentRecord(page);
            break;
        default:
            break;
        }
        return;
    }
    const QPoint local = pos - cellArea().topLeft();
    const long long record = recordAtRow(cellLayout().rowAt(local.y()));
    if (record >= 0 && m_dataLink.dataSet()->recNo() > 0)
        moveCurrentRecord(record - static_cast<long long>(m_dataLink.dataSet()->recNo() - 1));
}

void TCustomDataGrid::requestDeferredLayout()
{
    if (m_layoutPending)
        return;
    m_layoutPending = true;
    QCoreApplication::postEvent(this, new QEvent(kDeferredLayoutEvent));
}

void TCustomDataGrid::discardDeferredLayout()
{
    if (!m_layoutPending)
        return;
    QCoreApplication::removePostedEvents(this, kDeferredLayoutEvent);
    m_layoutPending = false;
}

void TCustomDataGrid::layoutPass()
{
    if (m_loading || m_destroying || m_inLayout)
        return;
    const QScopedValueRollback<bool> running(m_inLayout, true);
    discardDeferredLayout();

    for (int i = 0; i < m_columns.count(); ++i)
        m_columns[i].clearBinding();
    if (m_columns.count() == 0) {
        setFixedCols(0);
        setColCount(1);
    } else {
        setColCount(m_columns.count() + kIndicatorOffset);
        setFixedCols(kIndicatorOffset);
    }

    m_dataRowHeight = dataRowHeight(textHeight(font()), m_flat, true);
    std::vector<int> titleHeights;
    for (int i = 0; i < m_columns.count(); ++i)
        titleHeights.push_back(textHeight(m_columns[i].title().font()));
    if (titleHeights.empty())
        titleHeights.push_back(textHeight(titleFont()));
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
    syncCurrentRow();
    update();
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
    fit.reserve(static_cast<std::size_t>(m_columns.count()));
    for (int i = 0; i < m_columns.count(); ++i) {
        const TDataGridColumn& column = m_columns[i];
        fit.push_back({column.width(), column.initialWidth(), column.minWidth(), column.maxWidth(),
                       column.autoFitColWidth(), false});
    }
    FitSettings settings;
    settings.clientWidth = cellArea().width();
    settings.minAutoFitWidth = m_minAutoFitWidth;
    settings.indicatorWidth = kIndicatorWidth;
    settings.colLines = true;
    fitColumnWidths(fit, settings);
    for (int i = 0; i < m_columns.count(); ++i)
        m_columns[i].takeFittedWidth(fit[static_cast<std::size_t>(i)].width);
}

bool TCustomDataGrid::recountRows()
{
    m_dataLink.setBufferCount(visibleDataRows(cellArea().height(), titlePitch(), rowPitch()));
    const int dataRows = std::max(m_dataLink.recordCount(), 1);
    setRowCount(kTitleOffset + dataRows);
    setFixedRows(kTitleOffset);
    setDefaultRowHeight(m_dataRowHeight);
    setRowHeights(0, m_titleRowHeight);
    return updateScrollBar();
}

bool TCustomDataGrid::updateScrollBar()
{
    int minimum = 0;
    int maximum = 1;
    int page = 2;
    int position = 0;
    if (m_dataLink.active()) {
        const ClientDataSet& set = *m_dataLink.dataSet();
        page = fullyVisibleDataRows(cellArea().height(), titlePitch(), rowPitch());
        const long long records = static_cast<long long>(std::min<std::size_t>(set.recordCount(), INT_MAX / 2));
        minimum = 1;
        maximum = static_cast<int>(records + page - 1);
        position = set.state() == DataSetState::Insert ? vertScrollBar().position()
                                                       : static_cast<int>(std::min<std::size_t>(set.recNo(), INT_MAX / 2));
    }
    const bool shownOrHidden = vertScrollBar().setParams(minimum, maximum, page, position);
    if (shownOrHidden)
        update();
    else
        update(scrollBarArea());
    return shownOrHidden;
}

void TCustomDataGrid::syncCurrentRow()
{
    m_currentRow = kTitleOffset + std::max(m_dataLink.activeRecord(), 0);
}

void TCustomDataGrid::linkActiveChanged()
{
    layoutPass();
}

void TCustomDataGrid::linkDataSetChanged()
{
    if (m_loading || m_destroying)
        return;
    m_dataLink.syncWindow();
    if (recountRows())
        requestDeferredLayout();
    syncCurrentRow();
    update();
}

void TCustomDataGrid::linkDataSetScrolled()
{
    if (m_loading || m_destroying)
        return;
    const int oldRow = m_currentRow;
    const long long shift = m_dataLink.syncWindow();
    if (updateScrollBar())
        requestDeferredLayout();
    syncCurrentRow();
    if (shift == 0) {
        invalidateRow(oldRow);
        invalidateRow(m_currentRow);
    } else if (std::llabs(shift) <= bufferCount()) {
        // Move the pixels of the rows still in view; only the uncovered rows and
        // the old and new current rows are painted again.
        scrollRows(kTitleOffset, rowCount() - 1, static_cast<int>(-shift * rowPitch()));
        invalidateRow(oldRow - static_cast<int>(shift));
        invalidateRow(m_currentRow);
    } else {
        update();
    }
}

void TCustomDataGrid::linkRecordChanged(const Field* field)
{
    if (m_loading || m_destroying)
        return;
    if (field)
        invalidateRow(m_currentRow);
    else
        update();
}

void TCustomDataGrid::linkLayoutChanged()
{
    layoutPass();
}
