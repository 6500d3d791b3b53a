// The in-memory set over a provider that hands out fixed rows: binding,
// the moment binding errors surface, value storage and the current record.
#include "posting/dataset.h"
#include "text/error.h"

#include <QtTest>

#include <malloc.h>

#include <functional>
#include <optional>
#include <stdexcept>

namespace {

// The text of the error a call raises; empty when it raises none.
QString errorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const std::runtime_error& e) {
        return QString::fromLatin1(e.what());
    }
    return {};
}

struct StubValue {
    std::optional<std::int64_t> integer;
    std::optional<std::string> text;
    bool null() const { return !integer && !text; }
};

// Feeds its rows to the sink and remembers how far it got, as a statement
// whose procedure does its work while being fetched would.
class StubProvider {
public:
    std::vector<Column> columns;
    std::vector<std::vector<StubValue>> rows;
    std::size_t rowsDelivered = 0;
    bool finished = false;
    std::string lastCommand;

    void operator()(const std::string& commandText, RowSink& sink)
    {
        lastCommand = commandText;
        rowsDelivered = 0;
        finished = false;
        sink.begin(columns);
        std::vector<ColumnValue> values(columns.size());
        for (const auto& r : rows) {
            for (std::size_t c = 0; c < columns.size(); ++c) {
                values[c] = ColumnValue{};
                values[c].isNull = r[c].null();
                if (r[c].integer)
                    values[c].integer = *r[c].integer;
                if (r[c].text)
                    values[c].text = *r[c].text;
            }
            sink.row(values.data());
            ++rowsDelivered;
        }
        finished = true;
    }
};

class Recorder : public DataSetObserver {
public:
    QStringList events;
    void activeChanged() override { events << "active"; }
};

// The result row of the posting procedure.
void declareReceiptFields(ClientDataSet& set)
{
    set.declareField("ID", FieldKind::Integer);
    set.declareField("PREF", FieldKind::String, 4);
    set.declareField("NUMERO", FieldKind::String, 6);
    set.declareField("ESTADO", FieldKind::String, 20);
    set.declareField("IDI", FieldKind::Integer);
    set.declareField("IDC", FieldKind::Integer);
}

std::vector<Column> receiptColumns()
{
    return {{"ID", ColumnKind::Integer, 4, 0},     {"PREF", ColumnKind::VarChar, 4, 0},
            {"NUMERO", ColumnKind::VarChar, 6, 0}, {"ESTADO", ColumnKind::VarChar, 20, 0},
            {"IDI", ColumnKind::Integer, 4, 0},    {"IDC", ColumnKind::Integer, 4, 0}};
}

std::vector<StubValue> receiptRow(int id, std::string pref, std::string numero, std::string estado)
{
    return {{id, {}}, {{}, pref}, {{}, numero}, {{}, estado}, {id * 10, {}}, {id * 100, {}}};
}

}  // namespace

Q_DECLARE_METATYPE(std::vector<Column>)

class TestDataSet : public QObject {
    Q_OBJECT
private slots:
    void binding_data();
    void binding();
    void bindingErrorComesAfterEveryRowWasRead();
    void valuesAsFetched_data();
    void valuesAsFetched();
    void wideValuesKeptWhole();
    void manyRows();
    void receiptRowsStayCompact();
    void openCloseNotifiesAndDropsRows();
    void reopenAfterFailureReadsAgain();
};

void TestDataSet::binding_data()
{
    QTest::addColumn<std::vector<Column>>("columns");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("prefSize");

    auto with = [](const char* name, Column replacement) {
        auto cols = receiptColumns();
        for (auto& c : cols)
            if (c.name == name)
                c = replacement;
        return cols;
    };
    auto without = [](const char* name) {
        auto cols = receiptColumns();
        std::erase_if(cols, [&](const Column& c) { return c.name == name; });
        return cols;
    };

    QTest::newRow("exact columns") << receiptColumns() << QString() << 4;
    QTest::newRow("lower-case column names") << [] {
        auto cols = receiptColumns();
        for (auto& c : cols)
            for (auto& ch : c.name)
                ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        return cols;
    }() << QString() << 4;
    QTest::newRow("extra column ignored") << [] {
        auto cols = receiptColumns();
        cols.insert(cols.begin() + 2, Column{"FECHA", ColumnKind::Date, 4, 0});
        return cols;
    }() << QString() << 4;
    QTest::newRow("smallint into integer") << with("IDI", {"IDI", ColumnKind::SmallInt, 2, 0}) << QString() << 4;
    QTest::newRow("char into string") << with("PREF", {"PREF", ColumnKind::Char, 4, 0}) << QString() << 4;
    QTest::newRow("narrower text shrinks") << with("PREF", {"PREF", ColumnKind::VarChar, 2, 0}) << QString() << 2;
    QTest::newRow("wider text accepted") << with("PREF", {"PREF", ColumnKind::VarChar, 10, 0}) << QString() << 4;
    QTest::newRow("missing column") << without("NUMERO") << "Field 'NUMERO' not found" << 4;
    QTest::newRow("bigint is not integer")
        << with("ID", {"ID", ColumnKind::BigInt, 8, 0})
        << "Type mismatch for field 'ID', expecting: Integer actual: LargeInt" << 4;
    QTest::newRow("scaled numeric is not integer")
        << with("IDC", {"IDC", ColumnKind::Numeric, 8, -2})
        << "Type mismatch for field 'IDC', expecting: Integer actual: FMTBcd" << 4;
    QTest::newRow("integer is not string")
        << with("PREF", {"PREF", ColumnKind::Integer, 4, 0})
        << "Type mismatch for field 'PREF', expecting: String actual: Integer" << 4;
    QTest::newRow("text is not integer")
        << with("ID", {"ID", ColumnKind::VarChar, 10, 0})
        << "Type mismatch for field 'ID', expecting: Integer actual: String" << 4;
    QTest::newRow("first failing field reported")
        << [] {
               auto cols = receiptColumns();
               cols[0].kind = ColumnKind::Float;
               cols.pop_back();
               return cols;
           }()
        << "Type mismatch for field 'ID', expecting: Integer actual: Float" << 4;
}

void TestDataSet::binding()
{
    QFETCH(std::vector<Column>, columns);
    QFETCH(QString, error);
    QFETCH(int, prefSize);

    StubProvider provider;
    provider.columns = columns;
    ClientDataSet set;
    declareReceiptFields(set);
    set.setProvider(std::ref(provider));

    QString actual;
    try {
        set.open();
    } catch (const std::runtime_error& e) {
        actual = QString::fromStdString(e.what());
    }
    QCOMPARE(actual, error);
    QCOMPARE(set.active(), error.isEmpty());
    QCOMPARE(set.findField("pref")->size(), prefSize);
    QCOMPARE(set.findField("PREF")->declaredSize(), 4);
    set.close();
    QCOMPARE(set.findField("PREF")->size(), 4);
}

void TestDataSet::bindingErrorComesAfterEveryRowWasRead()
{
    StubProvider provider;
    provider.columns = receiptColumns();
    provider.columns[0].kind = ColumnKind::BigInt;
    for (int i = 1; i <= 5; ++i)
        provider.rows.push_back(receiptRow(i, "PV01", "00000" + std::to_string(i), "CONTABILIZADO"));
    ClientDataSet set;
    declareReceiptFields(set);
    set.setProvider(std::ref(provider));
    Recorder recorder;
    set.addObserver(&recorder);

    QVERIFY_THROWS_EXCEPTION(std::runtime_error, set.open());
    QVERIFY(provider.finished);
    QCOMPARE(provider.rowsDelivered, std::size_t{5});
    QVERIFY(!set.active());
    QCOMPARE(set.recordCount(), std::size_t{0});
    QVERIFY(recorder.events.isEmpty());
}

void TestDataSet::valuesAsFetched_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("record");
    QTest::addColumn<bool>("isNull");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("integer") << "ID" << 0 << false << QByteArray("1");
    QTest::newRow("negative integer") << "IDI" << 1 << false << QByteArray("-2147483648");
    QTest::newRow("char keeps trailing blanks") << "PREF" << 0 << false << QByteArray("A   ");
    QTest::newRow("8-bit bytes kept") << "ESTADO" << 0 << false << QByteArray("CONTABILIZADO \xd1\xe1");
    QTest::newRow("empty text is not null") << "NUMERO" << 1 << false << QByteArray("");
    QTest::newRow("null text") << "ESTADO" << 1 << true << QByteArray("");
    QTest::newRow("null integer") << "IDC" << 1 << true << QByteArray("");
    QTest::newRow("field name in other case") << "numero" << 0 << false << QByteArray("000123");
}

void TestDataSet::valuesAsFetched()
{
    QFETCH(QString, field);
    QFETCH(int, record);
    QFETCH(bool, isNull);
    QFETCH(QByteArray, text);

    StubProvider provider;
    provider.columns = receiptColumns();
    provider.columns[1].kind = ColumnKind::Char;
    provider.rows.push_back(receiptRow(1, "A   ", "000123", "CONTABILIZADO \xd1\xe1"));
    auto second = receiptRow(2, "B", "", "");
    second[4].integer = INT32_MIN;
    second[3] = {};
    second[5] = {};
    provider.rows.push_back(second);

    ClientDataSet set;
    declareReceiptFields(set);
    set.setProvider(std::ref(provider));
    set.open();
    const Field* f = set.findField(field.toStdString());
    QVERIFY(f);
    QCOMPARE(set.isNull(static_cast<std::size_t>(record), *f), isNull);
    QCOMPARE(QByteArray::fromStdString(set.displayText(static_cast<std::size_t>(record), *f)), text);
}

// A column reports its length in characters; a value of more bytes (a
// multi-byte character set) or a column wider than the field must not lose
// anything, neither in the row that brings it nor in the rows before it.
void TestDataSet::wideValuesKeptWhole()
{
    StubProvider provider;
    provider.columns = receiptColumns();
    provider.columns[1].length = 8;
    provider.columns[3].length = 20;
    for (int i = 0; i < 3000; ++i)
        provider.rows.push_back(receiptRow(i, "PFX" + std::to_string(i % 10), std::to_string(i),
                                           std::string(static_cast<std::size_t>(i % 20), 'x')));
    const std::string longText(300, '\xe9');
    provider.rows.push_back(receiptRow(3000, "PREFIX78", "N", longText));
    provider.rows.push_back(receiptRow(3001, "P", "M", "after"));

    ClientDataSet set;
    declareReceiptFields(set);
    set.setProvider(std::ref(provider));
    set.open();
    const Field& pref = *set.findField("PREF");
    const Field& estado = *set.findField("ESTADO");
    const Field& id = *set.findField("ID");
    QCOMPARE(set.recordCount(), std::size_t{3002});
    QCOMPARE(pref.size(), 4);
    QCOMPARE(set.displayText(3000, pref), std::string("PREFIX78"));
    QCOMPARE(set.displayText(3000, estado), longText);
    QCOMPARE(set.displayText(3001, estado), std::string("after"));
    for (std::size_t i = 0; i < 3000; i += 7) {
        QCOMPARE(set.displayText(i, id), std::to_string(i));
        QCOMPARE(set.displayText(i, estado), std::string(i % 20, 'x'));
        QCOMPARE(set.displayText(i, pref), "PFX" + std::to_string(i % 10));
    }
}

void TestDataSet::manyRows()
{
    StubProvider provider;
    provider.columns = {{"ID", ColumnKind::Integer, 4, 0}, {"NOMBRE", ColumnKind::VarChar, 3, 0}};
    const std::int64_t big = INT32_MAX - 50000;
    for (std::int64_t i = 0; i < 50000; ++i)
        provider.rows.push_back({{big + i, {}}, {{}, std::to_string(i % 1000)}});
    ClientDataSet set;
    const Field& id = set.declareField("id", FieldKind::Integer);
    const Field& nombre = set.declareField("nombre", FieldKind::String, 60);
    set.setProvider(std::ref(provider));
    set.open();
    QCOMPARE(nombre.size(), 3);
    QCOMPARE(set.recordCount(), std::size_t{50000});
    for (std::size_t i = 0; i < 50000; i += 4999) {
        QCOMPARE(set.displayText(i, id), std::to_string(big + static_cast<std::int64_t>(i)));
        QCOMPARE(set.displayText(i, nombre), std::to_string(i % 1000));
    }
}

namespace {

// Bytes the allocator has handed out and not yet got back.
std::int64_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<std::int64_t>(info.uordblks + info.hblkhd);
}

}  // namespace

// The receipt row holds 42 bytes of data (three integers and 30 bytes of
// text); held in memory it must not cost more than twice that. Measured as
// what the heap grows by while the set holds the rows.
void TestDataSet::receiptRowsStayCompact()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the sanitizer's allocator keeps books of its own");
#endif
    StubProvider provider;
    provider.columns = receiptColumns();
    const std::int64_t rows = 100000;
    for (int i = 0; i < rows; ++i)
        provider.rows.push_back(receiptRow(i, "PV01", "000001", "SIN CUENTA CONTABLE "));
    ClientDataSet set;
    declareReceiptFields(set);
    set.setProvider(std::ref(provider));

    const std::int64_t before = heapInUse();
    set.open();
    const std::int64_t held = heapInUse() - before;
    // At least the text must be somewhere: the measure does see the rows.
    QVERIFY2(held >= rows * 30 && held <= rows * 2 * 42, qPrintable(QString("%1 bytes for %2 rows").arg(held).arg(rows)));
    QCOMPARE(set.displayText(static_cast<std::size_t>(rows - 1), *set.findField("ESTADO")),
             std::string("SIN CUENTA CONTABLE "));
    set.close();
    QVERIFY2(heapInUse() - before < rows, qPrintable(QString::number(heapInUse() - before)));
}

void TestDataSet::openCloseNotifiesAndDropsRows()
{
    StubProvider provider;
    provider.columns = receiptColumns();
    provider.rows.push_back(receiptRow(7, "PV", "1", "CONTABILIZADO"));
    ClientDataSet set;
    declareReceiptFields(set);
    set.setProvider(std::ref(provider));
    const std::string statement = "select * from recibos_sin_contabilidad('2026/05/25', '2026/05/25', '')";
    set.setCommandText(statement);
    Recorder recorder;
    set.addObserver(&recorder);

    QVERIFY(!set.active());
    set.open();
    set.open();  // already open: not fetched again
    QCOMPARE(provider.lastCommand, statement);
    QVERIFY(set.active());
    QVERIFY(!set.isEmpty());
    QCOMPARE(set.recNo(), std::size_t{1});
    provider.rows.clear();
    set.close();
    set.close();
    QVERIFY(set.isEmpty());
    QCOMPARE(set.recNo(), std::size_t{0});
    QVERIFY(set.isNull(0, *set.findField("ID")));
    QCOMPARE(recorder.events, (QStringList{"active", "active"}));
    set.open();
    QVERIFY(set.isEmpty());
    QCOMPARE(set.recNo(), std::size_t{0});
    QCOMPARE(errorOf([&] { set.declareField("X", FieldKind::Integer); }),
             QStringLiteral("Cannot perform this operation on an open dataset"));
}

void TestDataSet::reopenAfterFailureReadsAgain()
{
    StubProvider provider;
    provider.columns = receiptColumns();
    provider.columns.pop_back();
    provider.rows.push_back({{1, {}}, {{}, "P"}, {{}, "N"}, {{}, "E"}, {2, {}}});
    ClientDataSet set;
    declareReceiptFields(set);
    set.setProvider(std::ref(provider));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, set.open());
    provider.columns = receiptColumns();
    provider.rows = {receiptRow(1, "P", "N", "E")};
    set.open();
    QCOMPARE(set.recordCount(), std::size_t{1});

    ClientDataSet unprovided;
    QCOMPARE(errorOf([&] { unprovided.open(); }), QStringLiteral("Missing data provider or data packet"));
    QVERIFY(!unprovided.active());
}

QTEST_GUILESS_MAIN(TestDataSet)
#include "tst_dataset.moc"
