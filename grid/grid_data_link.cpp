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
    if (m_dataSet)
        m_dataSet->addObserver(this);
}

void TGridDataLink::setBufferCount(int count)
{
    m_bufferCount = std::max(count, 1);
}

int TGridDataLink::recordCount() const
{
    return active() ? recordWindowCount(m_dataSet->recordCount(), m_bufferCount) : 0;
}

int TGridDataLink::activeRecord() const
{
    // The window starts at the first record, and so does the current record.
    return active() && m_dataSet->recNo() > 0 ? static_cast<int>(m_dataSet->recNo() - 1) : -1;
}

void TGridDataLink::activeChanged()
{
    m_grid.linkActiveChanged();
}
