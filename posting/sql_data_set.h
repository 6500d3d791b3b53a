#pragma once
// A statement object over the connection that also plays its provider's
// part: the query `SQLQuery1` (provider `PRepArticulos`) takes the command
// text of the set that fetches through it; the table object `TPuntos`
// (provider `PPuntos`) keeps its own statement.

#include "posting/dataset.h"

#include <string>

class SqlConnection;

class SqlDataSet : public Provider {
public:
    SqlDataSet(std::string name, SqlConnection& connection, std::string sql, bool allowCommandText)
        : m_name(std::move(name)), m_connection(connection), m_sql(std::move(sql)), m_allowCommandText(allowCommandText)
    {
    }
    const std::string& sql() const { return m_sql; }

    // An empty command text keeps the statement; any other replaces it when
    // allowed, and is refused with "CommandText changes are not allowed" otherwise.
    void fetch(const std::string& commandText, RowSink& sink) override;

private:
    std::string m_name;
    SqlConnection& m_connection;
    std::string m_sql;
    bool m_allowCommandText;
};
