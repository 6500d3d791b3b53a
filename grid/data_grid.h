#pragma once
// The data grid as the window places it.

#include "grid/custom_data_grid.h"

class TDataGrid : public TCustomDataGrid {
    Q_OBJECT

public:
    explicit TDataGrid(QWidget* parent = nullptr) : TCustomDataGrid(parent) {}
};
