#pragma once
// The data-aware grid: a cell grid with a title row and an indicator column
// whose data rows show the records of a data set, one row per buffered record.
// Read-only: it never writes to the set.

#include "grid/custom_cell_grid.h"
#include "grid/data_grid_columns.h"
#include "grid/grid_data_link.h"

#include <QEvent>
#include <QFont>

#include <optional>

class DataSource;

// What a cell is, by column (indicator or data) and row (title, data, footer).
enum class GridCellType { Indicator, Title, Data, Footer };

class TCustomDataGrid : public TCustomCellGrid {
    Q_OBJECT

public:
    explicit TCustomDataGrid(QWidget* parent = nullptr);
    ~TCustomDataGrid() override;

    TDataGridColumns& columns() { return m_columns; }
    const TDataGridColumns& columns() const { return m_columns; }

    // The grid follows the set behind the source; set the source's data set first.
    DataSource* dataSource() const { return m_dataSource; }
    void setDataSource(DataSource* source);
    ClientDataSet* dataSet() const { return m_dataLink.dataSet(); }

    bool flat() const { return m_flat; }
    void setFlat(bool flat);
    bool autoFitColWidths() const { return m_autoFitColWidths; }
    // On: the current widths become the columns' shares. Off: the widths
    // return to those shares.
    void setAutoFitColWidths(bool on);
    int minAutoFitWidth() const { return m_minAutoFitWidth; }
    void setMinAutoFitWidth(int width);
    // Data cells and the empty area; default the system's window colour.
    QColor color() const;
    void setColor(const QColor& color);
    // Title and indicator cells; default the system's button face.
    QColor fixedColor() const;
    void setFixedColor(const QColor& color);
    // Default: the grid's font.
    QFont titleFont() const;
    void setTitleFont(const QFont& font);

    // The finishing step once the stored settings are applied: from here on
    // the grid lays itself out. Until then layout passes do nothing.
    void loaded();

    // Throws GridError "Algorithm error in TCustomDataGrid.GetCellType" for a
    // cell that fits no kind (one outside the grid).
    GridCellType cellType(int col, int row) const;

    // Records the grid buffers: one per data row that fits whole, at least one.
    int bufferCount() const { return m_dataLink.bufferCount(); }
    // The row whose indicator shows the current-row glyph; -1 while the set is closed.
    int indicatorRow() const;
    // 0-based record shown in a row; -1 for the title and for rows without a record.
    long long recordAtRow(int row) const;
    // The text of a data cell as painted.
    QString cellText(int col, int row) const;

    // The height of "Wg" as rows measure it: the font's ascent and descent,
    // each rounded up to whole pixels (13 for 11-pixel Liberation Sans).
    static int textHeight(const QFont& font);

protected:
    void drawCell(QPainter& painter, int col, int row, const QRect& rect) override;
    QColor lineColor(int col, int row) const override;
    QColor emptyAreaColor() const override { return color(); }
    bool extendVertLines() const override { return true; }
    void scrollBarSettingChanged() override { layoutPass(); }

    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    friend class TGridDataLink;
    friend class TGridColumn;
    friend class TGridColumnTitle;
    friend class TDataGridColumns;

    // Rebinds the columns, recomputes rows and widths, fits them to the width
    // and repaints. Dropped while loading, while being destroyed and while a
    // pass runs (the running one covers it).
    void layoutPass();
    void columnsChanged() { layoutPass(); }
    // A layout pass through the event queue, posted only when none is pending.
    void requestDeferredLayout();
    void discardDeferredLayout();
    void copyColumnWidths();
    void fitColumns();
    // Recounts the buffered records and the data rows; returns whether the
    // scroll bar was shown or hidden by it.
    bool recountRows();
    bool updateScrollBar();
    void syncCurrentRow();
    int titlePitch() const { return m_titleRowHeight + gridLineWidth(); }
    int rowPitch() const { return m_dataRowHeight + gridLineWidth(); }
    void moveCurrentRecord(long long distance);

    void linkActiveChanged();
    void linkDataSetChanged();
    void linkDataSetScrolled();
    void linkRecordChanged(const Field* field);
    void linkLayoutChanged();

    void drawFixedCell(QPainter& painter, const QRect& rect, const QColor& background) const;
    void drawTitleCell(QPainter& painter, int col, const QRect& rect) const;
    void drawIndicatorCell(QPainter& painter, int row, const QRect& rect) const;
    void drawDataCell(QPainter& painter, int col, int row, const QRect& rect) const;

    TDataGridColumns m_columns{*this};
    TGridDataLink m_dataLink{*this};
    DataSource* m_dataSource = nullptr;
    bool m_flat = false;
    bool m_autoFitColWidths = false;
    int m_minAutoFitWidth = 0;
    std::optional<QColor> m_color;
    std::optional<QColor> m_fixedColor;
    std::optional<QFont> m_titleFont;

    int m_dataRowHeight = 0;
    int m_titleRowHeight = 0;
    int m_currentRow = 1;
    bool m_loading = true;
    bool m_destroying = false;
    bool m_inLayout = false;
    bool m_layoutPending = false;
};
