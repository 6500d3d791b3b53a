#pragma once
// A receipt grid as the window builds it, over a real in-memory set filled by
// a stub provider, with a pinned font and palette so that pixels can be checked.

#include "grid/custom_data_grid.h"
#include "posting/dataset.h"

#include <QFont>
#include <QKeyEvent>
#include <QPalette>
#include <QWidget>

#include <array>
#include <string>
#include <functional>
#include <vector>

// Emits the six columns of the posting procedure's result and the given rows.
class StubProvider {
public:
    struct Row {
        std::string pref;
        std::string numero;
        std::string estado;
    };
    std::vector<Row> rows;

    void operator()(const std::string& commandText, RowSink& sink)
    {
        (void)commandText;
        sink.begin({{"ID", ColumnKind::Integer, 4, 0},
                    {"PREF", ColumnKind::VarChar, 4, 0},
                    {"NUMERO", ColumnKind::VarChar, 6, 0},
                    {"ESTADO", ColumnKind::VarChar, 20, 0},
                    {"IDI", ColumnKind::Integer, 4, 0},
                    {"IDC", ColumnKind::Integer, 4, 0}});
        std::array<ColumnValue, 6> values{};
        for (std::size_t i = 0; i < rows.size(); ++i) {
            for (ColumnValue& v : values)
                v.isNull = false;
            values[0].integer = static_cast<std::int64_t>(i) + 1;
            values[1].text = rows[i].pref;
            values[2].text = rows[i].numero;
            values[3].text = rows[i].estado;
            values[4].integer = 7;
            values[5].integer = 9;
            sink.row(values.data());
        }
    }

    void fill(std::size_t count)
    {
        rows.clear();
        for (std::size_t i = 0; i < count; ++i)
            rows.push_back({"RC", std::to_string(100000 + i % 900000), i % 2 ? "CONTABILIZADO" : "SIN TERCERO"});
    }
};

// The colours the checks expect; the disabled group is loud so that any greying shows.
struct TestColours {
    static QColor button() { return QColor(212, 208, 200); }
    static QColor base() { return QColor(255, 255, 255); }
    static QColor text() { return QColor(0, 0, 0); }
    static QColor light() { return QColor(250, 252, 254); }
    static QColor dark() { return QColor(64, 64, 64); }
    static QColor gray() { return QColor(128, 128, 128); }
    static QColor silver() { return QColor(192, 192, 192); }

    static QPalette palette()
    {
        QPalette p;
        for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
            p.setColor(g, QPalette::Button, button());
            p.setColor(g, QPalette::Window, button());
            p.setColor(g, QPalette::Base, base());
            p.setColor(g, QPalette::Text, text());
            p.setColor(g, QPalette::WindowText, text());
            p.setColor(g, QPalette::Light, light());
            p.setColor(g, QPalette::Dark, dark());
        }
        p.setColor(QPalette::Disabled, QPalette::Button, QColor(255, 0, 255));
        p.setColor(QPalette::Disabled, QPalette::Window, QColor(255, 0, 255));
        p.setColor(QPalette::Disabled, QPalette::Base, QColor(0, 255, 0));
        p.setColor(QPalette::Disabled, QPalette::Text, QColor(255, 0, 0));
        p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(255, 0, 0));
        p.setColor(QPalette::Disabled, QPalette::Light, QColor(0, 0, 255));
        p.setColor(QPalette::Disabled, QPalette::Dark, QColor(0, 255, 255));
        return p;
    }
};

// Stand-in for 8-point "MS Sans Serif": "Wg" measures 13 pixels.
inline QFont windowTestFont()
{
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(11);
    return f;
}

// The band the grid lies in; it records the keys that reach it.
class KeyRecordingPanel : public QWidget {
public:
    std::vector<int> keys;

protected:
    void keyPressEvent(QKeyEvent* event) override { keys.push_back(event->key()); }
};

// A column as the window stores it: field name and width.
struct StoredColumn {
    const char* fieldName;
    int width;
};

inline std::vector<StoredColumn> receiptColumns()
{
    return {{"PREF", 35}, {"NUMERO", 74}, {"ESTADO", 102}};
}

struct GridHarness {
    StubProvider provider;
    ClientDataSet set;
    DataSource source;
    KeyRecordingPanel panel;  // destroyed first, and the grid with it
    TDataGrid* grid = nullptr;

    explicit GridHarness(int width = 356, int height = 81, const std::vector<StoredColumn>& columns = receiptColumns(),
                         bool autoFit = true)
    {
        set.declareField("ID", FieldKind::Integer);
        set.declareField("PREF", FieldKind::String, 4);
        set.declareField("NUMERO", FieldKind::String, 6);
        set.declareField("ESTADO", FieldKind::String, 20);
        set.declareField("IDI", FieldKind::Integer);
        set.declareField("IDC", FieldKind::Integer);
        set.setProvider(std::ref(provider));
        set.setCommandText("select * from recibos_sin_contabilidad('2026/05/25', '2026/05/25', '')");
        source.setDataSet(&set);

        panel.setFont(windowTestFont());
        panel.setPalette(TestColours::palette());
        panel.resize(width + 2, height + 2);
        grid = new TDataGrid(&panel);
        grid->setObjectName(QStringLiteral("DBGrid1"));
        grid->setFlat(true);
        grid->setAutoFitColWidths(autoFit);
        for (const StoredColumn& column : columns)
            grid->columns().add(QString::fromLatin1(column.fieldName), column.width);
        grid->setDataSource(&source);
        grid->setEnabled(false);
        grid->loaded();
        grid->setGeometry(1, 1, width, height);
        panel.show();
    }

    // Opens the set with count generated rows (-1 leaves it closed).
    void open(int count)
    {
        if (count < 0)
            return;
        provider.fill(static_cast<std::size_t>(count));
        set.open();
    }
};
