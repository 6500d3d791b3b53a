#include "grid/grid_data_link.h"

#include "grid/custom_data_grid.h"
#include "grid/grid_layout.h"

#include <algorithm>

TGridDataLink::~TGridDataLink()
{
    setDataSet(nullptr);
}

void TGridDataLink::setDataSet(ClientDataSet* dataSet)
{
    if (dataSet == m_dataSet)
        return;
    if (m_dataSet)
        m_dataSet->removeObserver(this);
    m_dataSet = dataSet;
    m_first = 0;
    if (m_dataSet)
        m_dataSet->addObserver(this);
    syncWindow();
}

void TGridDataLink::setBufferCount(int count)
{
    m_bufferCount = std::max(count, 1);
    syncWindow();
}

int TGridDataLink::recordCount() const
{
    return active() ? recordWindowCount(m_first, m_dataSet->recordCount(), m_bufferCount) : 0;
}

int TGridDataLink::activeRecord() const
{
    if (!active() || m_dataSet->recNo() == 0)
        return -1;
    const std::size_t current = m_dataSet->recNo() - 1;
    if (current < m_first || current >= m_first + static_cast<std::size_t>(m_bufferCount))
        return -1;
    return static_cast<int>(current - m_first);
}

long long TGridDataLink::syncWindow()
{
    const std::size_t old = m_first;
    m_first = active() && m_dataSet->recNo() > 0
                  ? recordWindowFirst(m_first, m_dataSet->recNo() - 1, m_dataSet->recordCount(), m_bufferCount)
                  : 0;
    return static_cast<long long>(m_first) - static_cast<long long>(old);
}

void TGridDataLink::activeChanged()
{
    m_first = 0;
    syncWindow();
    m_grid.linkActiveChanged();
}

void TGridDataLink::dataSetChanged()
{
    m_grid.linkDataSetChanged();
}

void TGridDataLink::dataSetScrolled(int distance)
{
    (void)distance;  // the window moves by its own rule, not by the record's distance
    m_grid.linkDataSetScrolled();
}
