#include "posting/dataset.h"

#include "posting/messages.h"
#include "posting/names.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <stdexcept>

namespace {

// The kind a column would have as a field, for the type-mismatch text.
const char* columnKindName(ColumnKind kind)
{
    switch (kind) {
    case ColumnKind::SmallInt: return "SmallInt";
    case ColumnKind::Integer: return "Integer";
    case ColumnKind::BigInt: return "LargeInt";
    case ColumnKind::Numeric: return "FMTBcd";
    case ColumnKind::Char:
    case ColumnKind::VarChar: return "String";
    case ColumnKind::Float:
    case ColumnKind::Double: return "Float";
    case ColumnKind::Date: return "Date";
    case ColumnKind::Time: return "Time";
    case ColumnKind::Timestamp: return "TimeStamp";
    case ColumnKind::Blob: return "Blob";
    case ColumnKind::Boolean: return "Boolean";
    case ColumnKind::Other: break;
    }
    return "Unknown";
}

bool fits(FieldKind field, ColumnKind column)
{
    switch (field) {
    case FieldKind::Integer: return column == ColumnKind::SmallInt || column == ColumnKind::Integer;
    case FieldKind::LargeInt: return column == ColumnKind::BigInt;
    case FieldKind::String: return column == ColumnKind::Char || column == ColumnKind::VarChar;
    }
    return false;
}

constexpr std::size_t kChunkBytes = 64 * 1024;

}  // namespace

const char* fieldKindName(FieldKind kind)
{
    switch (kind) {
    case FieldKind::Integer: return "Integer";
    case FieldKind::String: return "String";
    case FieldKind::LargeInt: return "LargeInt";
    }
    return "Unknown";
}

Field::Field(std::string name, FieldKind kind, int size)
    : m_name(std::move(name)), m_kind(kind), m_size(size), m_declaredSize(size)
{
}

int Field::displayWidth() const
{
    switch (m_kind) {
    case FieldKind::Integer: return 11;
    case FieldKind::LargeInt: return 15;
    case FieldKind::String: return m_size;
    }
    return 10;
}

// Rows live in fixed-size records packed into large chunks: a record starts
// with one null bit per field, then one slot per field (4 bytes for Integer,
// 8 for LargeInt, a 1- or 2-byte length and the bytes for String). A row of
// small fields thus costs about its bytes and no allocation of its own.
class ClientDataSet::Impl final : public RowSink {
public:
    explicit Impl(const std::vector<std::unique_ptr<Field>>& fields) : m_fields(fields) {}

    struct Slot {
        std::size_t offset = 0;
        std::size_t capacity = 0;  // String: bytes of text the slot holds
        std::size_t lengthBytes = 0;
        int column = -1;
    };

    void begin(const std::vector<Column>& columns) override
    {
        m_slots.assign(m_fields.size(), Slot{});
        for (std::size_t f = 0; f < m_fields.size(); ++f) {
            Field& field = *m_fields[f];
            auto it = std::find_if(columns.begin(), columns.end(),
                                   [&](const Column& c) { return sameName(c.name, field.fieldName()); });
            if (it == columns.end()) {
                fail(msg::format(msg::kFieldNotFound, {field.fieldName()}));
                continue;
            }
            if (!fits(field.kind(), it->kind)) {
                fail(msg::format(msg::kTypeMismatch,
                                 {field.fieldName(), fieldKindName(field.kind()), columnKindName(it->kind)}));
                continue;
            }
            Slot& slot = m_slots[f];
            slot.column = static_cast<int>(it - columns.begin());
            if (field.kind() == FieldKind::String) {
                // A wider column keeps its whole values; the field only ever shrinks.
                if (it->length > 0 && it->length < field.m_declaredSize)
                    m_sizes.emplace_back(f, it->length);
                slot.capacity = static_cast<std::size_t>(std::max({field.m_declaredSize, it->length, 1}));
            }
        }
        layout();
    }

    void row(const ColumnValue* values) override
    {
        if (!m_error.empty())
            return;  // rows are still read to the end, but a set that will not open keeps none
        std::byte* record = append();
        for (std::size_t f = 0; f < m_slots.size(); ++f) {
            const ColumnValue& value = values[m_slots[f].column];
            if (value.isNull) {
                record[f / 8] |= std::byte{1} << (f % 8);
                continue;
            }
            switch (m_fields[f]->kind()) {
            case FieldKind::Integer: {
                auto v = static_cast<std::int32_t>(value.integer);
                std::memcpy(record + m_slots[f].offset, &v, sizeof v);
                break;
            }
            case FieldKind::LargeInt:
                std::memcpy(record + m_slots[f].offset, &value.integer, sizeof value.integer);
                break;
            case FieldKind::String:
                if (value.text.size() > m_slots[f].capacity) {
                    widen(f, value.text.size());
                    record = this->record(m_count - 1);
                }
                putText(record, m_slots[f], value.text);
                break;
            }
        }
    }

    const std::string& error() const { return m_error; }
    // Size shrinks to apply once the set really opens.
    const std::vector<std::pair<std::size_t, int>>& sizes() const { return m_sizes; }
    std::size_t count() const { return m_count; }
    std::size_t storageBytes() const { return m_chunks.size() * m_rowsPerChunk * m_rowSize; }

    bool isNull(std::size_t r, std::size_t f) const
    {
        return (record(r)[f / 8] & (std::byte{1} << (f % 8))) != std::byte{0};
    }

    std::int64_t integer(std::size_t r, std::size_t f) const
    {
        const std::byte* p = record(r) + m_slots[f].offset;
        if (m_fields[f]->kind() == FieldKind::LargeInt) {
            std::int64_t v;
            std::memcpy(&v, p, sizeof v);
            return v;
        }
        std::int32_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }

    std::string_view text(std::size_t r, std::size_t f) const
    {
        const Slot& slot = m_slots[f];
        const std::byte* p = record(r) + slot.offset;
        std::size_t length = static_cast<std::size_t>(p[0]);
        if (slot.lengthBytes == 2)
            length |= static_cast<std::size_t>(p[1]) << 8;
        return {reinterpret_cast<const char*>(p + slot.lengthBytes), length};
    }

private:
    void fail(std::string message)
    {
        if (m_error.empty())
            m_error = std::move(message);
    }

    void layout()
    {
        std::size_t offset = (m_fields.size() + 7) / 8;
        for (std::size_t f = 0; f < m_slots.size(); ++f) {
            Slot& slot = m_slots[f];
            slot.offset = offset;
            switch (m_fields[f]->kind()) {
            case FieldKind::Integer: offset += 4; break;
            case FieldKind::LargeInt: offset += 8; break;
            case FieldKind::String:
                if (slot.capacity > 0xFFFF)
                    throw std::runtime_error("Field '" + m_fields[f]->fieldName() + "' is too large");
                slot.lengthBytes = slot.capacity <= 0xFF ? 1 : 2;
                offset += slot.lengthBytes + slot.capacity;
                break;
            }
        }
        m_rowSize = std::max<std::size_t>(offset, 1);
        m_rowsPerChunk = std::max<std::size_t>(1, kChunkBytes / m_rowSize);
    }

    std::byte* record(std::size_t r) const
    {
        return m_chunks[r / m_rowsPerChunk].get() + (r % m_rowsPerChunk) * m_rowSize;
    }

    std::byte* append()
    {
        if (m_count == m_chunks.size() * m_rowsPerChunk)
            m_chunks.push_back(std::make_unique<std::byte[]>(m_rowsPerChunk * m_rowSize));
        std::byte* r = record(m_count++);
        std::memset(r, 0, m_rowSize);
        return r;
    }

    static void putText(std::byte* record, const Slot& slot, std::string_view text)
    {
        std::byte* p = record + slot.offset;
        p[0] = static_cast<std::byte>(text.size() & 0xFF);
        if (slot.lengthBytes == 2)
            p[1] = static_cast<std::byte>((text.size() >> 8) & 0xFF);
        if (!text.empty())
            std::memcpy(p + slot.lengthBytes, text.data(), text.size());
    }

    // A value longer than its column announced (a multi-byte character set
    // counts characters, not bytes): give every record a wider slot rather
    // than cut the value.
    void widen(std::size_t field, std::size_t needed)
    {
        std::vector<Slot> oldSlots = m_slots;
        std::size_t oldRowSize = m_rowSize;
        std::size_t oldPerChunk = m_rowsPerChunk;
        std::vector<std::unique_ptr<std::byte[]>> oldChunks = std::move(m_chunks);
        std::size_t rows = m_count;

        m_slots[field].capacity = std::max(needed, m_slots[field].capacity * 2);
        layout();
        m_chunks.clear();
        m_count = 0;
        for (std::size_t r = 0; r < rows; ++r) {
            const std::byte* from = oldChunks[r / oldPerChunk].get() + (r % oldPerChunk) * oldRowSize;
            std::byte* to = append();
            std::memcpy(to, from, (m_fields.size() + 7) / 8);
            for (std::size_t f = 0; f < m_slots.size(); ++f) {
                const Slot& o = oldSlots[f];
                if (m_fields[f]->kind() == FieldKind::String) {
                    std::size_t length = static_cast<std::size_t>(from[o.offset]);
                    if (o.lengthBytes == 2)
                        length |= static_cast<std::size_t>(from[o.offset + 1]) << 8;
                    putText(to, m_slots[f],
                            {reinterpret_cast<const char*>(from + o.offset + o.lengthBytes), length});
                } else {
                    std::memcpy(to + m_slots[f].offset, from + o.offset,
                                m_fields[f]->kind() == FieldKind::LargeInt ? 8 : 4);
                }
            }
        }
    }

    const std::vector<std::unique_ptr<Field>>& m_fields;
    std::vector<Slot> m_slots;
    std::vector<std::pair<std::size_t, int>> m_sizes;
    std::string m_error;
    std::size_t m_rowSize = 1;
    std::size_t m_rowsPerChunk = 1;
    std::vector<std::unique_ptr<std::byte[]>> m_chunks;
    std::size_t m_count = 0;
};

ClientDataSet::ClientDataSet(std::string name) : m_name(std::move(name)) {}

ClientDataSet::~ClientDataSet() = default;

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
    notifyActiveChanged();
}

void ClientDataSet::close()
{
    if (!m_active)
        return;
    m_impl.reset();
    m_active = false;
    m_current = 0;
    m_bof = true;
    m_eof = true;
    for (auto& field : m_fields)
        field->m_size = field->m_declaredSize;
    notifyActiveChanged();
}

std::size_t ClientDataSet::recordCount() const
{
    return m_active && m_impl ? m_impl->count() : 0;
}

int ClientDataSet::moveBy(int distance)
{
    if (!m_active || distance == 0)
        return 0;
    const std::size_t count = recordCount();
    if (count == 0) {
        m_bof = m_eof = true;
        return 0;
    }
    const auto last = static_cast<std::int64_t>(count - 1);
    const auto from = static_cast<std::int64_t>(m_current);
    const std::int64_t to = std::clamp<std::int64_t>(from + distance, 0, last);
    m_current = static_cast<std::size_t>(to);
    // Asking to go past an end (not merely reaching it) is what sets the flag.
    m_bof = distance < 0 && from + distance < 0;
    m_eof = distance > 0 && from + distance > last;
    const int moved = static_cast<int>(to - from);
    if (moved != 0) {
        auto observers = m_observers;
        for (DataSetObserver* observer : observers)
            observer->dataSetScrolled(moved);
    }
    return moved;
}

void ClientDataSet::first()
{
    if (!m_active)
        return;
    m_current = 0;
    m_bof = true;
    m_eof = isEmpty();
    auto observers = m_observers;
    for (DataSetObserver* observer : observers)
        observer->dataSetChanged();
}

bool ClientDataSet::isNull(std::size_t record, const Field& field) const
{
    // A field of another set has no value here.
    if (!m_active || record >= recordCount() || field.m_index < 0 ||
        static_cast<std::size_t>(field.m_index) >= m_fields.size() || m_fields[field.m_index].get() != &field)
        return true;
    return m_impl->isNull(record, static_cast<std::size_t>(field.m_index));
}

std::int64_t ClientDataSet::asInteger(std::size_t record, const Field& field) const
{
    if (isNull(record, field))
        return 0;
    const auto f = static_cast<std::size_t>(field.m_index);
    if (field.kind() == FieldKind::String) {
        std::string_view text = m_impl->text(record, f);
        std::string trimmed(text.substr(0, text.find_last_not_of(' ') + 1));
        try {
            std::size_t used = 0;
            long long v = std::stoll(trimmed, &used);
            if (used == trimmed.size())
                return v;
        } catch (const std::exception&) {
        }
        throw std::runtime_error(msg::format(msg::kNotAnInteger, {text}));
    }
    return m_impl->integer(record, f);
}

std::string ClientDataSet::displayText(std::size_t record, const Field& field) const
{
    if (isNull(record, field))
        return {};
    const auto f = static_cast<std::size_t>(field.m_index);
    if (field.kind() == FieldKind::String)
        return std::string(m_impl->text(record, f));
    return std::to_string(m_impl->integer(record, f));
}

std::size_t ClientDataSet::rowStorageBytes() const
{
    return m_active && m_impl ? m_impl->storageBytes() : 0;
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

void ClientDataSet::notifyActiveChanged()
{
    auto observers = m_observers;
    for (DataSetObserver* observer : observers)
        observer->activeChanged();
}
