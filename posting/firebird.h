#pragma once
// The Firebird client library, loaded at run time, and one attachment to a
// database through it. Only this pair of files knows the client's C API.

#include "posting/dataset.h"

#include <memory>
#include <string>

// The client library file: LEDGARA_FBCLIENT when set and not empty, else the
// platform's own name (libfbclient.so.2; fbclient.dll, then gds32.dll).
std::string clientLibraryName();

// Loads the client library (once per file name for the life of the process)
// and resolves every entry point the layer uses. Throws SqlError with
// "Unable to Load <name>" or "Unable to Find Procedure <entry>".
void loadClientLibrary();

struct AttachSettings {
    std::string database;  // as handed over: "host/port:path", "host:path" or a local path
    std::string user;
    std::string password;
    std::string role;
    int dialect = 3;
};

class FirebirdAttachment {
public:
    // Throws SqlError; the password never appears in its text.
    static std::unique_ptr<FirebirdAttachment> attach(const AttachSettings& settings);
    ~FirebirdAttachment();  // detaches, ignoring failures
    FirebirdAttachment(const FirebirdAttachment&) = delete;
    FirebirdAttachment& operator=(const FirebirdAttachment&) = delete;

    // Detaches. Throws SqlError when the server refuses; a connection that is
    // already gone (server stopped, attachment shut down) detaches quietly.
    void detach();

    // Runs one statement in a transaction of its own (read committed, wait on
    // locks): every row is fetched into the sink, the cursor is closed, and
    // only then is the work committed. Any failure rolls it back.
    void fetchAll(const std::string& sql, RowSink& sink);

    // False once the attachment is known to be unusable: the server went
    // away or shut the attachment down.
    bool alive();

    struct Handles;

private:
    explicit FirebirdAttachment(std::unique_ptr<Handles> handles);
    std::unique_ptr<Handles> m;
};

// True for a database path that names no server (embedded access).
bool isLocalPath(const std::string& database);
