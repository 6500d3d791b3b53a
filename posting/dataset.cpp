#include "posting/dataset.h"

#include "posting/messages.h"
#include "posting/param_list.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <stdexcept>

namespace {

// Kind names as the type-mismatch message writes them, for a field and for
// the kind a column would have as a field.
const char* const kFieldKindNames[] = {"Integer", "String", "LargeInt"};
const char* const kColumnKindNames[] = {"SmallInt", "Integer", "LargeInt", "FMTBcd", "String", "String", "Float",
                                        "Date",     "Time",    "TimeStamp", "Blob",  "Boolean", "Unknown"};
static_assert(std::size(kColumnKindNames) == static_cast<std::size_t>(ColumnKind::Other) + 1);

bool fits(FieldKind field, ColumnKind column)
{
    if (field == FieldKind::Integer)
        return column == ColumnKind::SmallInt || column == ColumnKind::Integer;
    if (field == FieldKind::LargeInt)
        return column == ColumnKind::BigInt;
    return column == ColumnKind::Char || column == ColumnKind::VarChar;
}

template <typename T>
T get(const char* p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

template <typename T>
void put(std::string& out, T value)
{
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

}  // namespace

Field::Field(std::string name, FieldKind kind, int size)
    : m_name(std::move(name)), m_kind(kind), m_size(size), m_declaredSize(size)
{
}

int Field::displayWidth() const
{
    return m_kind == FieldKind::String ? m_size : m_kind == FieldKind::Integer ? 11 : 15;
}

// Rows are packed one after another, kBlockRows to a block: one null bit per
// field, then every field in order (4 bytes for Integer, 8 for LargeInt, a
// 2-byte length and the bytes for String; a null takes the room of an empty
// value). A row thus costs about its bytes and no allocation of its own, and
// every value keeps all its bytes, however wide its column said it was.
class ClientDataSet::Impl final : public RowSink {
public:
    explicit Impl(const std::vector<std::unique_ptr<Field>>& fields)
        : m_fields(fields), m_flagBytes((fields.size() + 7) / 8), m_columns(fields.size())
    {
    }

    void begin(const std::vector<Column>& columns) override
    {
        for (std::size_t f = 0; f < m_fields.size() && m_error.empty(); ++f) {
            const Field& field = *m_fields[f];
            const auto it = std::find_if(columns.begin(), columns.end(),
                                         [&](const Column& c) { return sameName(c.name, field.fieldName()); });
            if (it == columns.end()) {
                m_error = msg::format(msg::kFieldNotFound, {field.fieldName()});
            } else if (!fits(field.kind(), it->kind)) {
                m_error = msg::format(msg::kTypeMismatch, {field.fieldName(), kFieldKindNames[int(field.kind())],
                                                           kColumnKindNames[int(it->kind)]});
            } else {
                m_columns[f] = static_cast<std::size_t>(it - columns.begin());
                // A narrower text column shrinks the field; a wider one leaves it.
                if (field.kind() == FieldKind::String && it->length > 0 && it->length < field.declaredSize())
                    m_sizes.emplace_back(f, it->length);
            }
        }
    }

    void row(const ColumnValue* values) override
    {
        if (!m_error.empty())
            return;  // rows are still read to the end, but a set that will not open keeps none
        if (m_count % kBlockRows == 0) {
            if (!m_blocks.empty())
                m_blocks.back()->bytes.shrink_to_fit();
            m_blocks.push_back(std::make_unique<Block>());
        }
        Block& block = *m_blocks.back();
        const std::size_t start = block.bytes.size();
        block.starts[m_count++ % kBlockRows] = static_cast<std::uint32_t>(start);
        block.bytes.append(m_flagBytes, '\0');
        for (std::size_t f = 0; f < m_fields.size(); ++f) {
            const ColumnValue& value = values[m_columns[f]];
            if (value.isNull)
                block.bytes[start + f / 8] = static_cast<char>(block.bytes[start + f / 8] | 1 << (f % 8));
            const std::int64_t integer = value.isNull ? 0 : value.integer;
            const std::string_view text = value.isNull ? std::string_view{} : value.text;
            if (m_fields[f]->kind() == FieldKind::Integer) {
                put(block.bytes, static_cast<std::int32_t>(integer));
            } else if (m_fields[f]->kind() == FieldKind::LargeInt) {
                put(block.bytes, integer);
            } else {
                if (text.size() > 0xFFFF)
                    throw std::runtime_error("Field '" + m_fields[f]->fieldName() + "' is too large");
                put(block.bytes, static_cast<std::uint16_t>(text.size()));
                block.bytes.append(text);
            }
        }
    }

    const std::string& error() const { return m_error; }
    // Size shrinks to apply once the set really opens.
    const std::vector<std::pair<std::size_t, int>>& sizes() const { return m_sizes; }
    std::size_t count() const { return m_count; }

    bool isNull(std::size_t r, std::size_t f) const { return (rowAt(r)[f / 8] >> (f % 8) & 1) != 0; }

    // A field's value as its text (String) or its decimal digits.
    std::string text(std::size_t r, std::size_t f) const
    {
        const char* p = rowAt(r) + m_flagBytes;
        for (std::size_t i = 0; i < f; ++i)
            p += width(i, p);
        switch (m_fields[f]->kind()) {
        case FieldKind::Integer: return std::to_string(get<std::int32_t>(p));
        case FieldKind::LargeInt: return std::to_string(get<std::int64_t>(p));
        case FieldKind::String: break;
        }
        return {p + 2, get<std::uint16_t>(p)};
    }

private:
    static constexpr std::size_t kBlockRows = 256;
    struct Block {
        std::string bytes;
        std::uint32_t starts[kBlockRows];
    };

    const char* rowAt(std::size_t r) const
    {
        const Block& block = *m_blocks[r / kBlockRows];
        return block.bytes.data() + block.starts[r % kBlockRows];
    }

    std::size_t width(std::size_t f, const char* p) const
    {
        const FieldKind kind = m_fields[f]->kind();
        return kind == FieldKind::Integer ? 4 : kind == FieldKind::LargeInt ? 8 : 2 + get<std::uint16_t>(p);
    }

    const std::vector<std::unique_ptr<Field>>& m_fields;
    const std::size_t m_flagBytes;
    std::vector<std::size_t> m_columns;  // per field, the column bound to it
    std::vector<std::pair<std::size_t, int>> m_sizes;
    std::string m_error;
    std::vector<std::unique_ptr<Block>> m_blocks;
    std::size_t m_count = 0;
};

ClientDataSet::ClientDataSet(std::string name) : m_name(std::move(name)) {}

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
    if (m_active)
        throw std::logic_error(std::string(msg::kOpenDataSet));
    m_fields.push_back(std::make_unique<Field>(std::move(name), kind, size));
    m_fields.back()->m_index = static_cast<int>(m_fields.size() - 1);
    return *m_fields.back();
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
    if (m_active)
        return;
    if (!m_provider)
        throw std::runtime_error(std::string(msg::kMissingProvider));
    auto impl = std::make_unique<Impl>(m_fields);
    m_provider->fetch(m_commandText, *impl);
    // Checked only now: the statement has run to its end and its work is
    // committed, whatever the outcome of the binding.
    if (!impl->error().empty())
        throw std::runtime_error(impl->error());
    for (const auto& [index, size] : impl->sizes())
        m_fields[index]->m_size = size;
    m_impl = std::move(impl);
    m_active = true;
    m_current = 0;
    m_bof = true;
    m_eof = m_impl->count() == 0;
    notify([](DataSetObserver* o) { o->activeChanged(); });
}

void ClientDataSet::close()
{
    if (!m_active)
        return;
    m_impl.reset();
    m_active = false;
    m_current = 0;
    m_bof = m_eof = true;
    for (auto& field : m_fields)
        field->m_size = field->m_declaredSize;
    notify([](DataSetObserver* o) { o->activeChanged(); });
}

std::size_t ClientDataSet::recordCount() const
{
    return m_impl ? m_impl->count() : 0;
}

int ClientDataSet::moveBy(int distance)
{
    if (!m_active || distance == 0)
        return 0;
    if (isEmpty()) {
        m_bof = m_eof = true;
        return 0;
    }
    const auto last = static_cast<std::int64_t>(recordCount() - 1);
    const auto from = static_cast<std::int64_t>(m_current);
    const std::int64_t to = std::clamp<std::int64_t>(from + distance, 0, last);
    m_current = static_cast<std::size_t>(to);
    // Asking to go past an end (not merely reaching it) is what sets the flag.
    m_bof = distance < 0 && from + distance < 0;
    m_eof = distance > 0 && from + distance > last;
    const int moved = static_cast<int>(to - from);
    if (moved != 0)
        notify([moved](DataSetObserver* o) { o->dataSetScrolled(moved); });
    return moved;
}

void ClientDataSet::first()
{
    if (!m_active)
        return;
    m_current = 0;
    m_bof = true;
    m_eof = isEmpty();
    notify([](DataSetObserver* o) { o->dataSetChanged(); });
}

bool ClientDataSet::isNull(std::size_t record, const Field& field) const
{
    // A field of another set has no value here.
    const auto f = static_cast<std::size_t>(field.m_index);
    if (record >= recordCount() || f >= m_fields.size() || m_fields[f].get() != &field)
        return true;
    return m_impl->isNull(record, f);
}

std::string ClientDataSet::displayText(std::size_t record, const Field& field) const
{
    return isNull(record, field) ? std::string() : m_impl->text(record, static_cast<std::size_t>(field.m_index));
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
