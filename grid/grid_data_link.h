#pragma once
// How a data grid follows its data set: it observes the set and keeps a window
// of buffered records, one per visible data row, around the current record.
// Only the records of that window are ever read for display, so a set of a
// million rows costs the grid what a set of ten does.

#include "posting/dataset.h"

#include <cstddef>

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
    // Resizes the window; it keeps the current record inside.
    void setBufferCount(int count);
    // Buffered records: 0 while the set is closed or empty.
    int recordCount() const;
    std::size_t firstRecord() const { return m_first; }
    // Window position of the current record; -1 while the set is closed or empty.
    int activeRecord() const;
    // Moves the window so that it holds the current record and stays filled;
    // returns by how many records it moved.
    long long syncWindow();

    void activeChanged() override;
    void dataSetChanged() override;
    void dataSetScrolled(int distance) override;

private:
    TCustomDataGrid& m_grid;
    ClientDataSet* m_dataSet = nullptr;
    int m_bufferCount = 1;
    std::size_t m_first = 0;
};
