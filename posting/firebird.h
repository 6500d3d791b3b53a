#pragma once
// The Firebird client library, loaded at run time by the connection
// (posting/sql_connection.h), and what decides how a path is opened.

#include <string>

// The client library file: LEDGARA_FBCLIENT when set and not empty, else the
// platform's own name (libfbclient.so.2; fbclient.dll, then gds32.dll).
std::string clientLibraryName();

// Loads the client library (it is never unloaded) and resolves every entry
// point the layer uses. Throws SqlError with "Unable to Load <name>" or
// "Unable to Find Procedure <entry>".
void loadClientLibrary();

// True for a database path that names no server: the client's own providers
// (the embedded engine, a server on this machine) open it.
bool isLocalPath(const std::string& database);
