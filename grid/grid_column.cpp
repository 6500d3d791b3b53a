#include "grid/grid_column.h"

#include "grid/ansi_text.h"
#include "grid/custom_data_grid.h"
#include "grid/grid_layout.h"

#include <QFontMetrics>

namespace {
// The grid's width for a column that has neither a width nor a field.
constexpr int kDefaultColWidth = 64;
// Qt's outline fonts report no overhang for synthesized styles.
constexpr int kFontOverhang = 0;
}  // namespace

QString TGridColumnTitle::caption() const
{
    return m_caption ? *m_caption : m_column.defaultCaption();
}

void TGridColumnTitle::setCaption(const QString& caption)
{
    m_caption = caption;
    m_column.grid().update();
}

QFont TGridColumnTitle::font() const
{
    return m_font ? *m_font : m_column.grid().titleFont();
}

void TGridColumnTitle::setFont(const QFont& font)
{
    m_font = font;
    m_column.grid().columnsChanged();
}

QColor TGridColumnTitle::color() const
{
    return m_color ? *m_color : m_column.grid().fixedColor();
}

void TGridColumnTitle::setColor(const QColor& color)
{
    m_color = color;
    m_column.grid().update();
}

Alignment TGridColumnTitle::alignment() const
{
    return m_alignment ? *m_alignment : Alignment::Left;
}

void TGridColumnTitle::setAlignment(Alignment alignment)
{
    m_alignment = alignment;
    m_column.grid().update();
}

void TGridColumnTitle::restoreDefaults()
{
    m_caption.reset();
    m_font.reset();
    m_color.reset();
    m_alignment.reset();
    m_column.grid().columnsChanged();
}

TGridColumn::TGridColumn(TCustomDataGrid& grid)
    : m_grid(grid)
{
}

int TGridColumn::width() const
{
    return m_widthExplicit ? m_width : defaultWidth();
}

void TGridColumn::setWidth(int width)
{
    const int bounded = boundedColumnWidth(width, this->width(), m_minWidth, m_maxWidth);
    if (m_widthExplicit && bounded == m_width)
        return;
    m_width = bounded;
    m_widthExplicit = true;
    changed();
}

void TGridColumn::takeFittedWidth(int width)
{
    m_width = width;
    m_widthExplicit = true;
}

void TGridColumn::setMinWidth(int width)
{
    m_minWidth = width;
    if (m_widthExplicit)
        m_width = boundedColumnWidth(m_width, m_width, m_minWidth, m_maxWidth);
    changed();
}

void TGridColumn::setMaxWidth(int width)
{
    m_maxWidth = width;
    if (m_widthExplicit)
        m_width = boundedColumnWidth(m_width, m_width, m_minWidth, m_maxWidth);
    changed();
}

void TGridColumn::setAutoFitColWidth(bool on)
{
    m_autoFitColWidth = on;
    changed();
}

QFont TGridColumn::font() const
{
    return m_font ? *m_font : m_grid.font();
}

void TGridColumn::setFont(const QFont& font)
{
    m_font = font;
    changed();
}

QColor TGridColumn::color() const
{
    return m_color ? *m_color : m_grid.color();
}

void TGridColumn::setColor(const QColor& color)
{
    m_color = color;
    m_grid.update();
}

Alignment TGridColumn::alignment() const
{
    return m_alignment ? *m_alignment : Alignment::Left;
}

void TGridColumn::setAlignment(Alignment alignment)
{
    m_alignment = alignment;
    m_grid.update();
}

int TGridColumn::defaultWidth() const
{
    return kDefaultColWidth;
}

void TGridColumn::changed()
{
    m_grid.columnsChanged();
}

TDataGridColumn::TDataGridColumn(TCustomDataGrid& grid, QString fieldName)
    : TGridColumn(grid)
    , m_fieldName(std::move(fieldName))
{
}

void TDataGridColumn::setFieldName(const QString& name)
{
    m_fieldName = name;
    clearBinding();
    changed();
}

const Field* TDataGridColumn::field() const
{
    if (!m_bound) {
        const ClientDataSet* set = grid().dataSet();
        m_field = set ? set->findField(qStringToAnsi(m_fieldName)) : nullptr;
        m_bound = true;
    }
    return m_field;
}

Alignment TDataGridColumn::alignment() const
{
    const Field* f = field();
    return f ? f->alignment() : TGridColumn::alignment();
}

QString TDataGridColumn::defaultCaption() const
{
    const Field* f = field();
    return f ? ansiToQString(f->displayName()) : m_fieldName;
}

int TDataGridColumn::defaultWidth() const
{
    const Field* f = field();
    if (!f)
        return TGridColumn::defaultWidth();
    const int digit = QFontMetrics(font()).horizontalAdvance(QLatin1Char('0'));
    return (digit - kFontOverhang) * f->displayWidth() + kFontOverhang + 4;
}
