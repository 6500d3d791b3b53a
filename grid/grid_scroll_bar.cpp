#include "grid/grid_scroll_bar.h"

#include "grid/grid_layout.h"

#include <QStyle>

void TGridScrollBar::setVisible(bool visible)
{
    if (visible == m_visible)
        return;
    m_visible = visible;
    if (m_onChange)
        m_onChange();
}

bool TGridScrollBar::setParams(int minimum, int maximum, int page, int position)
{
    const bool wasShown = isShown();
    m_minimum = minimum;
    m_maximum = maximum;
    m_page = page;
    m_position = position;
    return wasShown != isShown();
}

bool TGridScrollBar::isShown() const
{
    return m_visible && scrollBarNeeded(m_minimum, m_maximum, m_page);
}

int TGridScrollBar::systemWidth(const QStyle* style)
{
    return style->pixelMetric(QStyle::PM_ScrollBarExtent);
}
