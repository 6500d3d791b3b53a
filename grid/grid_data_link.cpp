#include "grid/grid_data_link.h"

#include "grid/custom_data_grid.h"

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
    if (!active())
        return 0;
    const std::size_t total = m_dataSet->recordCount();
    if (m_first >= total)
        return 0;
    return static_cast<int>(std::min<std::size_t>(total - m_first, static_cast<std::size_t>(m_bufferCount)));
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
    if (!active() || m_dataSet->recNo() == 0) {
        m_first = 0;
    } else {
        const std::size_t buffer = static_cast<std::size_t>(m_bufferCount);
        const std::size_t total = m_dataSet->recordCount();
        const std::size_t current = m_dataSet->recNo() - 1;
        std::size_t first = m_first;
        if (current < first)
            first = current;
        else if (current >= first + buffer)
            first = current - buffer + 1;
        // A window that reaches past the last record is moved back to stay filled.
        first = total > buffer ? std::min(first, total - buffer) : 0;
        m_first = first;
    }
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

void TGridDataLink::recordChanged(const Field* field)
{
    m_grid.linkRecordChanged(field);
}

void TGridDataLink::layoutChanged()
{
    m_grid.linkLayoutChanged();
}
