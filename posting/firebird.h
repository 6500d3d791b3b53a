#pragma once
// The Firebird client library, loaded at run time by the connection
// (posting/sql_connection.h), and what decides how a path is opened.

#include <string>

// The client library file: LEDGARA_FBCLIENT when set and not empty, else the
// platform's own name (libfbclient.so.2; fbclient.dll, then gds32.dll). On
// Windows the variable is read in UTF-16 and given here in Windows-1252.
//
// The first connection to open loads it (it is never unloaded) and resolves
// every entry point the layer uses, or throws SqlError with "Unable to Load
// <name>" or "Unable to Find Procedure <entry>". On Windows fbclient.dll, then
// gds32.dll, is looked for in the program's folder and then in the system
// folder only, never in the current folder or on PATH. A library
// LEDGARA_FBCLIENT names is loaded from that path (a relative one taken from
// the current folder), with the libraries it needs found beside it, in the
// program's folder or in the system folder.
std::string clientLibraryName();

// True for a database path that names no server: the client's own providers
// (the embedded engine, a server on this machine) open it.
bool isLocalPath(const std::string& database);
