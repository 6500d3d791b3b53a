#pragma once
// How a data grid follows its data set: it observes the set and keeps a window
// of buffered records, one per visible data row, from the first record on,
// where the current record stays. Only the records of that window are ever
// read for display, so a set of a million rows costs the grid what a set of
// ten does.

#include "posting/dataset.h"

class TCustomDataGrid;

class TGridDataLink : public DataSetObserver {
public:
    explicit TGridDataLink(TCustomDataGrid& grid) : m_grid(grid) {}
    ~TGridDataLink() override;
    TGridDataLink(const TGridDataLink&) = delete;
    TGridDataLink& operator=(const TGridDataLink&) = delete;

    // Starts observing the set (and stops observing the previous one).
    void setDataSet(ClientDataSet* dataSet);
    ClientDataSet* dataSet() const { return m_dataSet; }
    bool active() const { return m_dataSet != nullptr && m_dataSet->active(); }

    int bufferCount() const { return m_bufferCount; }
    void setBufferCount(int count);
    // Buffered records: 0 while the set is closed or empty.
    int recordCount() const;
    // Window position of the current record; -1 while the set is closed or empty.
    int activeRecord() const;

    void activeChanged() override;

private:
    TCustomDataGrid& m_grid;
    ClientDataSet* m_dataSet = nullptr;
    int m_bufferCount = 1;
};
