#pragma once
// In-memory data sets (the C… objects of the window), the provider they fetch
// through and the observer interface through which a data-aware control
// follows a set.
//
// A set holds all the rows of one opening in memory, detached from the
// connection: closing the statement or even the connection keeps them.
// Fields are declared up front and bound to the fetched columns by name,
// letter case ignored; columns without a declared field are ignored.
//
// Plain C++: text is bytes in the system's 8-bit code page, as the database
// gave them; turning them into display text is the window's business.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What a fetched column is, as the data-access layer reports it: 16-, 32- and
// 64-bit integers, scaled integers (NUMERIC/DECIMAL), fixed- and
// variable-length text, and kinds only named in a type-mismatch message.
enum class ColumnKind {
    SmallInt, Integer, BigInt, Numeric, Char, VarChar, Float, Date, Time, Timestamp, Blob, Boolean, Other
};

struct Column {
    std::string name;      // as the server names it (upper case for unquoted names)
    ColumnKind kind = ColumnKind::Other;
    int length = 0;        // bytes; for text also characters, the database's sets being single-byte
    int scale = 0;         // Numeric: negative scale
};

// One value of a fetched row, valid only for the duration of RowSink::row().
// Only the kinds a field can hold carry one; any other reads as null.
struct ColumnValue {
    bool isNull = true;
    std::int64_t integer = 0;   // SmallInt, Integer, BigInt, Numeric (unscaled)
    std::string_view text;      // Char, VarChar: the bytes as fetched
};

// Receives the result of a statement, row by row, as it is fetched.
class RowSink {
public:
    virtual ~RowSink() = default;
    virtual void begin(const std::vector<Column>& columns) = 0;
    virtual void row(const ColumnValue* values) = 0;  // one value per column of begin()
};

// Hands a command text to the statement behind it and fetches every row in
// one batch into the sink, closing the statement again afterwards (the
// P… objects of the window).
using Provider = std::function<void(const std::string& commandText, RowSink& sink)>;

// The kinds the window's sets declare: a 16- or 32-bit integer, or text.
enum class FieldKind { Integer, String };

enum class Alignment { Left, Right, Center };

class Field {
public:
    Field(std::string name, FieldKind kind, int size)
        : m_name(std::move(name)), m_kind(kind), m_size(size), m_declaredSize(size)
    {
    }

    const std::string& fieldName() const { return m_name; }
    // The title a grid shows for the field: its display label, which is the field name.
    const std::string& displayName() const { return m_name; }
    FieldKind kind() const { return m_kind; }
    // Text fields: characters; shrinks to a narrower column when bound.
    int size() const { return m_size; }
    int declaredSize() const { return m_declaredSize; }
    Alignment alignment() const { return m_kind == FieldKind::String ? Alignment::Left : Alignment::Right; }

private:
    friend class ClientDataSet;
    std::string m_name;
    FieldKind m_kind;
    int m_size;
    int m_declaredSize;
};

// How a data-aware control follows a set. All calls come synchronously on the
// thread that opens or closes the set.
class DataSetObserver {
public:
    virtual ~DataSetObserver() = default;
    virtual void activeChanged() = 0;  // opened or closed
};

class ClientDataSet {
public:
    ClientDataSet();
    ~ClientDataSet();

    // Declared (persistent) fields, in order. Only while closed.
    Field& declareField(std::string name, FieldKind kind, int size = 0);
    // By name, letter case ignored; nullptr when there is none. Works open or closed.
    const Field* findField(std::string_view name) const;

    void setProvider(Provider provider) { m_provider = std::move(provider); }
    void setCommandText(std::string text) { m_commandText = std::move(text); }

    // Fetches every row through the provider and binds the fields. Throws
    // ProgramError with the user-visible text on failure (a field its column
    // does not fit: a database that is not the ERP's); the set then stays
    // closed. Opening an open set does nothing.
    void open();
    // Drops the rows. Closing a closed set does nothing.
    void close();

    bool active() const { return m_rows != nullptr; }
    bool isEmpty() const { return recordCount() == 0; }
    std::size_t recordCount() const;
    // Current record, 1-based; 0 while closed or empty. Opening makes the
    // first record current and nothing moves it afterwards.
    std::size_t recNo() const { return isEmpty() ? 0 : 1; }

    // Value access for record (0-based) and a field of this set.
    bool isNull(std::size_t record, const Field& field) const { return !value(record, field); }
    // Bytes of a text field (trailing blanks of CHAR kept as fetched); decimal digits for integers.
    std::string displayText(std::size_t record, const Field& field) const;

    void addObserver(DataSetObserver* observer);
    void removeObserver(DataSetObserver* observer);

private:
    struct RowStore;  // the rows of one opening and the binding of the fields to them
    template <typename Fn>
    void notify(Fn&& fn);
    std::optional<std::string_view> value(std::size_t record, const Field& field) const;

    std::vector<std::unique_ptr<Field>> m_fields;
    Provider m_provider;
    std::string m_commandText;
    std::vector<DataSetObserver*> m_observers;
    std::unique_ptr<RowStore> m_rows;  // none while closed
};

// Links a set to data-aware controls (the D… objects of the window).
class DataSource {
public:
    void setDataSet(ClientDataSet* dataSet) { m_dataSet = dataSet; }
    ClientDataSet* dataSet() const { return m_dataSet; }

private:
    ClientDataSet* m_dataSet = nullptr;
};
