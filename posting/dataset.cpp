#include "posting/dataset.h"
#include "text/format.h"

#include "posting/messages.h"
#include "text/error.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <stdexcept>

namespace {

// Names (fields, columns) compare without regard to ASCII letter case; other
// bytes of the 8-bit code page compare as they are.
bool sameName(std::string_view a, std::string_view b)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) { return lower(x) == lower(y); });
}

// Kind names as the type-mismatch message writes them, for the kind a column
// would have as a field.
const char* const kColumnKindNames[] = {"SmallInt", "Integer", "LargeInt", "FMTBcd", "String", "String", "Float",
                                        "Date",     "Time",    "TimeStamp", "Blob",  "Boolean", "Unknown"};
static_assert(std::size(kColumnKindNames) == static_cast<std::size_t>(ColumnKind::Other) + 1);

bool fits(FieldKind field, ColumnKind column)
{
    if (field == FieldKind::Integer)
        return column == ColumnKind::SmallInt || column == ColumnKind::Integer;
    return column == ColumnKind::Char || column == ColumnKind::VarChar;
}

}  // namespace

// The rows of one opening: it binds the declared fields to the columns the
// provider reports, then keeps the rows as they come. Rows are packed one
// after another, kBlockRows to a block: every field in order as a 2-byte
// length (kNull for a null) and its bytes, the 4 bytes of an integer or the
// text as fetched. A row thus costs about its bytes and no allocation of its
// own, and every value keeps all its bytes, however wide its column said it was.
struct ClientDataSet::RowStore final : RowSink {
    explicit RowStore(const std::vector<std::unique_ptr<Field>>& declared) : fields(declared) {}

    void begin(const std::vector<Column>& columns) override
    {
        for (std::size_t f = 0; f < fields.size() && error.empty(); ++f) {
            const Field& field = *fields[f];
            const auto it = std::find_if(columns.begin(), columns.end(),
                                         [&](const Column& c) { return sameName(c.name, field.fieldName()); });
            if (it == columns.end()) {
                error = formatText(msg::kFieldNotFound, {field.fieldName()});
            } else if (!fits(field.kind(), it->kind)) {
                const char* expected = field.kind() == FieldKind::Integer ? "Integer" : "String";
                error = formatText(msg::kTypeMismatch, {field.fieldName(), expected, kColumnKindNames[int(it->kind)]});
            } else {
                bound.push_back(static_cast<std::size_t>(it - columns.begin()));
                // A narrower text column shrinks the field; a wider one leaves it.
                const bool narrower = field.kind() == FieldKind::String && it->length > 0;
                sizes.push_back(narrower ? std::min(it->length, field.declaredSize()) : field.declaredSize());
            }
        }
    }

    void row(const ColumnValue* values) override
    {
        if (!error.empty())
            return;  // rows are still read to the end, but a set that will not open keeps none
        if (starts.size() % kBlockRows == 0) {
            if (!blocks.empty())
                blocks.back().shrink_to_fit();
            blocks.emplace_back();
        }
        std::string& block = blocks.back();
        starts.push_back(static_cast<std::uint32_t>(block.size()));
        for (std::size_t f = 0; f < fields.size(); ++f) {
            const ColumnValue& value = values[bound[f]];
            const auto integer = static_cast<std::int32_t>(value.integer);
            const std::string_view bytes = fields[f]->kind() == FieldKind::String
                                               ? value.text
                                               : std::string_view(reinterpret_cast<const char*>(&integer), 4);
            if (bytes.size() >= kNull)
                throw ProgramError("Field '" + fields[f]->fieldName() + "' is too large");
            const auto length = static_cast<std::uint16_t>(value.isNull ? kNull : bytes.size());
            block.append(reinterpret_cast<const char*>(&length), sizeof length);
            if (!value.isNull)
                block.append(bytes);
        }
    }

    // Field f of row r; none for a null.
    std::optional<std::string_view> value(std::size_t r, std::size_t f) const
    {
        const char* p = blocks[r / kBlockRows].data() + starts[r];
        for (std::size_t i = 0;; ++i) {
            std::uint16_t length;
            std::memcpy(&length, p, sizeof length);
            if (i == f)
                return length == kNull ? std::nullopt : std::optional(std::string_view(p + 2, length));
            p += 2 + (length == kNull ? 0 : length);
        }
    }

    static constexpr std::size_t kBlockRows = 256;
    static constexpr std::uint16_t kNull = 0xFFFF;

    const std::vector<std::unique_ptr<Field>>& fields;
    std::vector<std::size_t> bound;     // per field, the column bound to it
    std::vector<int> sizes;             // per field, the size it takes once the set really opens
    std::string error;                  // why the set will not open
    std::vector<std::string> blocks;
    std::vector<std::uint32_t> starts;  // per row, where it starts in its block
};

ClientDataSet::ClientDataSet() = default;

ClientDataSet::~ClientDataSet() = default;

template <typename Fn>
void ClientDataSet::notify(Fn&& fn)
{
    // An observer may add or remove observers while being told.
    const auto observers = m_observers;
    for (DataSetObserver* observer : observers)
        fn(observer);
}

Field& ClientDataSet::declareField(std::string name, FieldKind kind, int size)
{
    if (active())
        throw ProgramError(std::string(msg::kOpenDataSet));
    return *m_fields.emplace_back(std::make_unique<Field>(std::move(name), kind, size));
}

const Field* ClientDataSet::findField(std::string_view name) const
{
    for (const auto& field : m_fields)
        if (sameName(field->fieldName(), name))
            return field.get();
    return nullptr;
}

void ClientDataSet::open()
{
    if (active())
        return;
    if (!m_provider)
        throw ProgramError(std::string(msg::kMissingProvider));
    auto rows = std::make_unique<RowStore>(m_fields);
    m_provider(m_commandText, *rows);
    // Checked only now: the statement has run to its end and its work is
    // committed, whatever the outcome of the binding.
    if (!rows->error.empty())
        throw ProgramError(rows->error, ErrorKind::Configuration);
    for (std::size_t f = 0; f < m_fields.size(); ++f)
        m_fields[f]->m_size = rows->sizes[f];
    m_rows = std::move(rows);
    notify([](DataSetObserver* o) { o->activeChanged(); });
}

void ClientDataSet::close()
{
    if (!active())
        return;
    m_rows.reset();
    for (auto& field : m_fields)
        field->m_size = field->m_declaredSize;
    notify([](DataSetObserver* o) { o->activeChanged(); });
}

std::size_t ClientDataSet::recordCount() const
{
    return m_rows ? m_rows->starts.size() : 0;
}

std::optional<std::string_view> ClientDataSet::value(std::size_t record, const Field& field) const
{
    // A field of another set has no value here.
    const auto it = std::find_if(m_fields.begin(), m_fields.end(), [&](const auto& f) { return f.get() == &field; });
    if (record >= recordCount() || it == m_fields.end())
        return std::nullopt;
    return m_rows->value(record, static_cast<std::size_t>(it - m_fields.begin()));
}

std::string ClientDataSet::displayText(std::size_t record, const Field& field) const
{
    const std::optional<std::string_view> bytes = value(record, field);
    if (!bytes || field.kind() == FieldKind::String)
        return std::string(bytes.value_or(std::string_view()));
    std::int32_t integer;
    std::memcpy(&integer, bytes->data(), sizeof integer);
    return std::to_string(integer);
}

void ClientDataSet::addObserver(DataSetObserver* observer)
{
    if (observer && std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
        m_observers.push_back(observer);
}

void ClientDataSet::removeObserver(DataSetObserver* observer)
{
    m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), observer), m_observers.end());
}
