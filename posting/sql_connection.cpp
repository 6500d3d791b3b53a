#include "posting/sql_connection.h"

#include "posting/firebird.h"
#include "posting/sql_error.h"

namespace {

std::string trimmed(const std::string& text)
{
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ')
        --last;
    return text.substr(first, last - first);
}

}  // namespace

SqlConnection::SqlConnection(std::string name) : m_name(std::move(name)), m_params(storedParams()) {}

SqlConnection::~SqlConnection() = default;

ParamList SqlConnection::storedParams()
{
    return ParamList({
        "DriverName=Interbase",
        "BlobSize=-1",
        "CommitRetain=False",
        "Database=C:\\LEDgaraERP2024\\sop\\ledgara.fdb",
        "ErrorResourceFile=",
        "LocaleCode=0000",
        "Password=tallowbin",
        "RoleName=RoleName",
        "ServerCharSet=",
        "SQLDialect=3",
        "Interbase TransIsolation=ReadCommited",
        "User_Name=sysdba",
        "WaitOnLocks=True",
    });
}

// Every failure passes here once: a failure without any text repeats the
// previous error, and the text shown is remembered as the previous error.
template <typename Fn>
void SqlConnection::guarded(Fn&& fn)
{
    try {
        fn();
    } catch (const SqlError& e) {
        if (e.textless() && !m_lastError.empty())
            throw SqlError(e.code(), e.serverLines(), e.sqlCode(), e.gdsCode(), m_lastError);
        m_lastError = e.what();
        throw;
    }
}

void SqlConnection::open()
{
    if (m_attachment)
        return;
    guarded([&] {
        AttachSettings settings;
        settings.database = trimmed(m_params.value("Database"));
        settings.user = m_params.value("User_Name");
        settings.password = m_params.value("Password");
        settings.role = m_params.value("RoleName");
        m_attachment = FirebirdAttachment::attach(settings);
    });
}

void SqlConnection::close()
{
    if (!m_attachment)
        return;
    std::unique_ptr<FirebirdAttachment> attachment = std::move(m_attachment);
    guarded([&] { attachment->detach(); });
}

void SqlConnection::fetchAll(const std::string& sql, RowSink& sink)
{
    open();
    guarded([&] {
        try {
            m_attachment->fetchAll(sql, sink);
        } catch (const SqlError&) {
            // Only the failing statement is undone; a connection that lost its
            // server must say it is closed so that the next step reconnects.
            if (!m_attachment->alive())
                m_attachment.reset();
            throw;
        }
    });
}

std::string SqlConnection::quoteName(std::string_view name)
{
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}
