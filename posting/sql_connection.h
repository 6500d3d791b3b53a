#pragma once
// The connection to the ERP database (the window's `Ledgara`).
//
// It keeps its parameters as name=value lines and builds the attachment from
// them at open(): "Database" trimmed of blanks, "User_Name", "Password",
// "RoleName", SQL dialect 3, no character set. A statement that needs the
// connection opens it by itself. There is no login prompt.

#include "posting/dataset.h"
#include "posting/param_list.h"

#include <memory>
#include <string>
#include <string_view>

class FirebirdAttachment;

class SqlConnection {
public:
    explicit SqlConnection(std::string name);
    ~SqlConnection();  // detaches, never throws
    SqlConnection(const SqlConnection&) = delete;
    SqlConnection& operator=(const SqlConnection&) = delete;

    // The parameters as the window definition stores them, in order.
    static ParamList storedParams();

    const std::string& name() const { return m_name; }
    ParamList& params() { return m_params; }
    const ParamList& params() const { return m_params; }
    bool loginPrompt() const { return false; }

    // Connects; nothing happens when connected. Throws SqlError.
    void open();
    // Disconnects; nothing happens when not connected. Afterwards the
    // connection is closed even when the server refused (the error is then thrown).
    void close();
    bool connected() const { return m_attachment != nullptr; }

    // Runs a statement in automatic-commit mode, opening the connection
    // first when needed; every row goes to the sink. Throws SqlError. When
    // the server went away meanwhile, the connection is closed afterwards.
    void fetchAll(const std::string& sql, RowSink& sink);

    // An object name as the database wants it quoted (dialect 3).
    static std::string quoteName(std::string_view name);

    // The text of the last error this connection raised; empty when none.
    const std::string& lastError() const { return m_lastError; }

private:
    template <typename Fn>
    void guarded(Fn&& fn);

    std::string m_name;
    ParamList m_params;
    std::unique_ptr<FirebirdAttachment> m_attachment;
    std::string m_lastError;
};
