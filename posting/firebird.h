#pragma once
// The Firebird client library, loaded at run time by the connection
// (posting/sql_connection.h): how a path is opened, and what the database's
// failures become (text/error.h).

#include "text/error.h"

#include <cstdint>
#include <string>
#include <vector>

// The layer's own failures, numbered as the driver's texts show them
// ("[0x0015]: Connection failed").
enum class DriverFailure : int {
    Connect = 0x0015, Disconnect, Prepare, Execute, Fetch, Commit, StartTransaction, NoLocalProvider, ParameterTooLong
};

// The text the user sees of a database failure: "dbExpress Error: <driver
// text>" and "SQL Server Error: <server lines>", joined by a line break when
// both exist; when neither does, `previous` (the connection's last error), or
// else "dbExpress Error: Unknown Error Code '<code>'".
std::string databaseErrorText(int driverCode, const std::vector<std::string>& serverLines,
                              const std::string& previous = {});

// What kind of failure the database's report is: a refused login, a server
// out of reach or gone, a lock, a database that is not the ERP's, the
// procedure's own error, ...
ErrorKind databaseErrorKind(int driverCode, const std::vector<std::int64_t>& gdsCodes, std::int32_t sqlCode);

// The client library is the file LEDGARA_FBCLIENT names when set and not
// empty, else the platform's own (libfbclient.so.2; fbclient.dll, then
// gds32.dll; on Windows the variable is read in UTF-16). The first connection
// to open loads it (it is never unloaded) and resolves every entry point the
// layer uses, or fails with "Unable to Load <name>" or "Unable to Find
// Procedure <entry>". On Windows fbclient.dll, then gds32.dll, is looked for
// in the program's folder and then in the system folder only, never in the
// current folder or on PATH; a library LEDGARA_FBCLIENT names is loaded from
// that path (a relative one taken from the current folder), with the
// libraries it needs found beside it, in the program's folder or in the
// system folder.

// True for a database path that names no server: the client's own providers
// (the embedded engine, a server on this machine) open it.
bool isLocalPath(const std::string& database);
