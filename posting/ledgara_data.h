#pragma once
// The window's data objects, owned together and wired as the window
// definition has them, with the small pure pieces the connection step and
// the posting run are made of.

#include "posting/dataset.h"
#include "posting/sql_connection.h"

#include <string>

struct LedgaraData {
    LedgaraData();

    SqlConnection Ledgara{"Ledgara"};
    SqlDataSet SQLQuery1;  // no statement of its own; takes CRepArticulos's command text
    // What CRepArticulos fetches through: SQLQuery1, noting for a stop
    // request when the posting statement goes out and whether it came back
    // committed (posting/client_shutdown.h).
    class PostingWatch final : public Provider {
    public:
        explicit PostingWatch(Provider& query) : m_query(query) {}
        void fetch(const std::string& commandText, RowSink& sink) override;
        // True once a posting statement came back committed, even when the
        // set then failed to bind its rows.
        bool committed() const { return m_committed; }

    private:
        Provider& m_query;
        bool m_committed = false;
    } PRepArticulos{SQLQuery1};
    SqlDataSet TPuntos;    // every row of "PUNTO_VENTA"; refuses another statement
    ClientDataSet CPuntos{"CPuntos"};
    ClientDataSet CRepArticulos{"CRepArticulos"};
    DataSource DRepart{"DRepart"};

    // Ends the current connection, sets "Database", "User_Name" and
    // "password" in that order, and connects.
    void reconnect(const std::string& database, const std::string& user, const std::string& password);
    // Ends the current connection and refuses every step that would open
    // one (readPuntos, runPosting) with SqlError(text), until reconnect: a
    // company that was refused must not leave the previous one's connection,
    // or its parameters, to post through.
    void refuseConnection(const std::string& text);
    // Reads "PUNTO_VENTA" into CPuntos unless it is open already.
    void readPuntos();
    // Closes CRepArticulos, gives it the posting statement and opens it.
    void runPosting(const std::string& dateText, bool niif);

private:
    void throwIfRefused() const;
    std::string m_refusal;
};

// The company database on a server: server + "/datos/" + company + "/ledgara.fdb".
std::string databasePath(const std::string& server, const std::string& company);

// Whether the company code names a folder inside "datos": it holds no path
// separator ("/", or "\\" that Windows servers take as one) and is not made
// of dots and blanks alone ("..", ".", or what Windows trims to them). A code
// such as "../other" would open another folder's database and post there.
bool companyCodeStaysInItsFolder(const std::string& company);

// The statement that has the database post the receipts of a date (yyyy/mm/dd),
// through the IFRS procedure when niif is set.
std::string postingStatement(const std::string& dateText, bool niif);

// The status panel's caption while connecting to a company.
std::string connectingCaption(const std::string& company);
