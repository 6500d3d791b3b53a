#pragma once
// The columns of a data grid: their widths, the share they take in fitting,
// their title, and (for data columns) the field they show. Every column keeps
// the defaults: no width bounds, fitted with the others, the grid's font and
// colours.

#include "posting/dataset.h"

#include <QColor>
#include <QFont>
#include <QString>

class TCustomDataGrid;
class TGridColumn;

// A column's title, as the grid's defaults make it: the column's caption in
// the title font on the fixed colour, left-aligned.
class TGridColumnTitle {
public:
    explicit TGridColumnTitle(const TGridColumn& column) : m_column(column) {}

    QString caption() const;
    QFont font() const;
    QColor color() const;
    Alignment alignment() const { return Alignment::Left; }

private:
    const TGridColumn& m_column;
};

class TGridColumn {
public:
    explicit TGridColumn(TCustomDataGrid& grid) : m_grid(grid) {}
    virtual ~TGridColumn() = default;
    TGridColumn(const TGridColumn&) = delete;
    TGridColumn& operator=(const TGridColumn&) = delete;

    TCustomDataGrid& grid() const { return m_grid; }

    // Stored widths and widths from the fitting are written here: they must
    // not start another layout pass.
    int width() const { return m_width; }
    void setWidth(int width) { m_width = width; }
    // The column's share when the grid fits its columns to its width.
    int initialWidth() const { return m_initialWidth; }
    void setInitialWidth(int width) { m_initialWidth = width; }

    const TGridColumnTitle& title() const { return m_title; }
    QFont font() const;
    QColor color() const;
    virtual Alignment alignment() const { return Alignment::Left; }
    // The title caption.
    virtual QString defaultCaption() const { return {}; }

private:
    TCustomDataGrid& m_grid;
    TGridColumnTitle m_title{*this};
    int m_width = 0;
    int m_initialWidth = 0;
};

// A column bound by name to a field of the grid's data set.
class TDataGridColumn : public TGridColumn {
public:
    TDataGridColumn(TCustomDataGrid& grid, QString fieldName);

    const QString& fieldName() const { return m_fieldName; }
    // Looked up by name whenever it is needed after the binding was cleared;
    // nullptr when the set has no such field (the column then shows blanks).
    const Field* field() const;
    void clearBinding() { m_bound = false; }

    // The field's alignment: left for text, right for numbers.
    Alignment alignment() const override;
    // The field's display name, or the field name when there is no field.
    QString defaultCaption() const override;

private:
    QString m_fieldName;
    mutable const Field* m_field = nullptr;
    mutable bool m_bound = false;
};
