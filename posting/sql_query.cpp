#include "posting/sql_query.h"

#include "posting/messages.h"
#include "posting/sql_connection.h"

#include <stdexcept>

namespace {

// Marks the statement open for the duration of one fetch, whatever the outcome.
class ActiveScope {
public:
    explicit ActiveScope(bool& flag) : m_flag(flag) { m_flag = true; }
    ~ActiveScope() { m_flag = false; }
    ActiveScope(const ActiveScope&) = delete;
    ActiveScope& operator=(const ActiveScope&) = delete;

private:
    bool& m_flag;
};

SqlConnection& connectionOf(SqlConnection* connection, const std::string& owner)
{
    if (!connection)
        throw std::runtime_error(msg::format(msg::kMissingConnection, {owner}));
    return *connection;
}

}  // namespace

void SqlQuery::fetchAll(RowSink& sink)
{
    SqlConnection& connection = connectionOf(m_connection, m_name);
    if (m_sql.empty())
        throw std::runtime_error(msg::format(msg::kEmptyStatement, {m_name}));
    ActiveScope scope(m_active);
    connection.fetchAll(m_sql, sink);
}

std::string SqlTable::selectStatement() const
{
    return "select * from " + SqlConnection::quoteName(m_tableName);
}

void SqlTable::fetchAll(RowSink& sink)
{
    SqlConnection& connection = connectionOf(m_connection, m_name);
    if (m_tableName.empty())
        throw std::runtime_error(msg::format(msg::kMissingTableName, {m_name}));
    ActiveScope scope(m_active);
    connection.fetchAll(selectStatement(), sink);
}
