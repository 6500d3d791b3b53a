#pragma once
// The columns of a data grid: their widths and bounds, the share they take in
// fitting, their title, and (for data columns) the field they show.

#include "posting/dataset.h"

#include <QColor>
#include <QFont>
#include <QString>

#include <optional>

class TCustomDataGrid;
class TGridColumn;

// A column's title: caption, font, colour and alignment, each either set here
// or taken from the column and the grid.
class TGridColumnTitle {
public:
    explicit TGridColumnTitle(TGridColumn& column) : m_column(column) {}

    // The set caption, else the display name of the bound field, else the field name.
    QString caption() const;
    void setCaption(const QString& caption);
    QFont font() const;         // default: the grid's TitleFont
    void setFont(const QFont& font);
    QColor color() const;       // default: the grid's FixedColor
    void setColor(const QColor& color);
    Alignment alignment() const;  // default: left
    void setAlignment(Alignment alignment);
    void restoreDefaults();

private:
    TGridColumn& m_column;
    std::optional<QString> m_caption;
    std::optional<QFont> m_font;
    std::optional<QColor> m_color;
    std::optional<Alignment> m_alignment;
};

class TGridColumn {
public:
    explicit TGridColumn(TCustomDataGrid& grid);
    virtual ~TGridColumn() = default;
    TGridColumn(const TGridColumn&) = delete;
    TGridColumn& operator=(const TGridColumn&) = delete;

    TCustomDataGrid& grid() const { return m_grid; }

    // The width set, else the column's default width. Setting applies the
    // bounds and makes the width explicit; -1 leaves it unchanged.
    int width() const;
    void setWidth(int width);
    bool widthIsExplicit() const { return m_widthExplicit; }
    // The column's share when the grid fits its columns to its width.
    int initialWidth() const { return m_initialWidth; }
    void setInitialWidth(int width) { m_initialWidth = width; }
    int minWidth() const { return m_minWidth; }
    int maxWidth() const { return m_maxWidth; }  // 0: none
    void setMinWidth(int width);
    void setMaxWidth(int width);
    bool autoFitColWidth() const { return m_autoFitColWidth; }
    void setAutoFitColWidth(bool on);

    TGridColumnTitle& title() { return m_title; }
    const TGridColumnTitle& title() const { return m_title; }
    QFont font() const;       // default: the grid's font
    void setFont(const QFont& font);
    QColor color() const;     // default: the grid's Color
    void setColor(const QColor& color);
    virtual Alignment alignment() const;
    void setAlignment(Alignment alignment);

    // The title caption when none is set.
    virtual QString defaultCaption() const { return {}; }

protected:
    virtual int defaultWidth() const;
    // The grid lays itself out again.
    void changed();

private:
    friend class TCustomDataGrid;
    friend class TDataGridColumns;
    // Widths from the fitting and stored widths are written here: they must
    // not start another layout pass.
    void takeFittedWidth(int width);

    TCustomDataGrid& m_grid;
    TGridColumnTitle m_title{*this};
    int m_width = 0;
    bool m_widthExplicit = false;
    int m_initialWidth = 0;
    int m_minWidth = 0;
    int m_maxWidth = 0;
    bool m_autoFitColWidth = true;
    std::optional<QFont> m_font;
    std::optional<QColor> m_color;
    std::optional<Alignment> m_alignment;
};

// A column bound by name to a field of the grid's data set.
class TDataGridColumn : public TGridColumn {
public:
    TDataGridColumn(TCustomDataGrid& grid, QString fieldName);

    const QString& fieldName() const { return m_fieldName; }
    void setFieldName(const QString& name);
    // Looked up by name whenever it is needed after the binding was cleared;
    // nullptr when the set has no such field (the column then shows blanks).
    const Field* field() const;
    void clearBinding() { m_bound = false; }

    // The field's alignment: left for text, right for numbers.
    Alignment alignment() const override;
    QString defaultCaption() const override;

protected:
    // (width of "0" − overhang) × the field's display width + overhang + 4, or
    // the grid's default column width without a field.
    int defaultWidth() const override;

private:
    QString m_fieldName;
    mutable const Field* m_field = nullptr;
    mutable bool m_bound = false;
};
