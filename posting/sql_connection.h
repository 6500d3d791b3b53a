#pragma once
// The connection to the ERP database (the window's `Ledgara`).
//
// It attaches with its settings at open(): the database path trimmed of
// blanks, the user, the password and the role, SQL dialect 3, no character
// set, no login prompt. A statement that needs the connection opens it by
// itself. Failures throw ProgramError (text/error.h), whose text never holds
// the password.

#include "posting/dataset.h"

#include <memory>
#include <string>

// What a connection attaches with. The values it starts with are the ones the
// window definition stores; the connection step replaces the first three.
struct ConnectionSettings {
    std::string database = "C:\\LEDgaraERP2024\\sop\\ledgara.fdb";
    std::string user = "sysdba";
    std::string password = "tallowbin";
    std::string role = "RoleName";
    // The password is left out of the attachment's parameters, and the
    // client takes it from ISC_PASSWORD, as Firebird's own tools do.
    bool passwordFromEnvironment = false;
    // How long a statement waits for a row another transaction holds before
    // the server refuses it; 0 waits as long as that lasts.
    int lockTimeoutSeconds = 0;
};

class SqlConnection {
public:
    SqlConnection();
    ~SqlConnection();  // detaches, never throws
    SqlConnection(const SqlConnection&) = delete;
    SqlConnection& operator=(const SqlConnection&) = delete;

    // Changed while closed, they take effect at the next open().
    ConnectionSettings& settings() { return m_settings; }
    const ConnectionSettings& settings() const { return m_settings; }

    // Nothing happens when already connected.
    void open();
    // Nothing happens when not connected. Afterwards the connection is
    // closed even when the server refused (that error is then thrown); one
    // whose server is already gone closes quietly.
    void close();
    bool connected() const { return m_attachment != nullptr; }

    // Runs a statement in a transaction of its own (read committed, wait on
    // locks): every row goes to the sink, the cursor is closed, and only then
    // is the work committed (or rolled back, to see what it would do); any
    // failure rolls it back. When the server went away meanwhile, the
    // connection is closed afterwards.
    enum class Outcome { Commit, RollBack };
    void fetchAll(const std::string& sql, RowSink& sink, Outcome outcome = Outcome::Commit);

private:
    struct Attachment;
    ConnectionSettings m_settings;
    // The text of the last error this connection raised: a failure without
    // any text of its own shows it again.
    std::string m_lastError;
    std::unique_ptr<Attachment> m_attachment;
};
