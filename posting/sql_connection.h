#pragma once
// The connection to the ERP database (the window's `Ledgara`) and the
// statement objects over it.
//
// The connection keeps its parameters as name=value lines and attaches with
// them at open(): "Database" trimmed of blanks, "User_Name", "Password",
// "RoleName", SQL dialect 3, no character set, no login prompt. A statement
// that needs the connection opens it by itself. Failures throw SqlError,
// whose text never holds the password.

#include "posting/dataset.h"
#include "posting/param_list.h"

#include <memory>
#include <string>

class SqlConnection {
public:
    explicit SqlConnection(std::string name);
    ~SqlConnection();  // detaches, never throws

    // The parameters as the window definition stores them, in order.
    static ParamList storedParams();

    const std::string& name() const { return m_name; }
    ParamList& params() { return m_params; }

    // Nothing happens when already connected.
    void open();
    // Nothing happens when not connected. Afterwards the connection is
    // closed even when the server refused (that error is then thrown); one
    // whose server is already gone closes quietly.
    void close();
    bool connected() const { return m_attachment != nullptr; }

    // Runs a statement in a transaction of its own (read committed, wait on
    // locks): every row goes to the sink, the cursor is closed, and only then
    // is the work committed; any failure rolls it back. When the server went
    // away meanwhile, the connection is closed afterwards.
    void fetchAll(const std::string& sql, RowSink& sink);

    // The text of the last error this connection raised, empty when none: a
    // failure without any text of its own shows it again.
    const std::string& lastError() const { return m_lastError; }

private:
    struct Attachment;
    std::string m_name;
    ParamList m_params;
    std::string m_lastError;
    std::unique_ptr<Attachment> m_attachment;
};

// A statement object that also plays its provider's part: the query
// `SQLQuery1` (provider `PRepArticulos`) takes the command text of the set
// that fetches through it; the table object `TPuntos` (provider `PPuntos`)
// keeps its own statement.
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
