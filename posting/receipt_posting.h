#pragma once
// What the tool does, apart from any window: connect to a company's database
// and read its points of sale, then have the database post the receipts of
// one date and hand back the rows its procedure returned.
//
// ReceiptPosting owns the connection and the data objects, wired as the
// window definition has them, and runs the steps: the connection step and
// the posting run one at a time (the window's handlers), or both as one run
// (the unattended run, in the window and on the console). A front end (the
// window, the console) is told what happened through PostingFront and only
// shows it. Failures are thrown as ProgramError (text/error.h), which each
// front end's boundary reports.

#include "posting/civil_date.h"
#include "posting/dataset.h"
#include "posting/sql_connection.h"

#include <string>
#include <vector>

// What the connection step is given, in the client's bytes.
struct ConnectionRequest {
    std::string server;
    std::string company;
    std::string user;
    std::string password;
    // The password is not given: the client takes it from ISC_PASSWORD.
    bool passwordFromEnvironment = false;
};

// A whole run: the connection, the ledger, and the days to post, oldest
// first; none posts today, as the clock reads once the connection step is
// done.
struct PostingRequest {
    ConnectionRequest connection;
    bool niif = false;
    std::vector<CivilDate> days;
    // How long a posting waits for a receipt that another user's transaction
    // holds before the server refuses it (ErrorKind::Busy); 0: as long as it
    // takes.
    int lockTimeoutSeconds = 0;
    // Each posting's work rolled back once its rows are read: what it would
    // post, and nothing posted. What the database does outside the
    // transaction (a sequence's next value) stays done.
    bool dryRun = false;
};

// The connection step asks for a company, a user and a password; with any of
// them empty it does nothing at all.
bool canConnect(const ConnectionRequest& request);

// What a front end is told, in this order.
class PostingFront {
public:
    virtual ~PostingFront() = default;
    // The connection step is about to talk to the server; `caption` (the
    // program's text) says so.
    virtual void connecting(const std::string& caption) { (void)caption; }
    // Connected, on `today` (the date the run posts when it is given none);
    // the points of sale are read next.
    virtual void connected(const CivilDate& today) { (void)today; }
    // The points of sale are read: the step is done.
    virtual void readyToPost() {}
    // The posting statement for the day is about to go out.
    virtual void dayBegun(const CivilDate& day) { (void)day; }
    // It came back, its work committed: the rows the procedure returned, or
    // nothing to post.
    virtual void posted(const ClientDataSet& rows) { (void)rows; }
    virtual void nothingToPost() {}
};

class ReceiptPosting {
public:
    ReceiptPosting();

    // The connection step: nothing when canConnect says no (returns false);
    // otherwise ends the current connection, connects to the company's
    // database on the server (server + "/datos/" + company + "/ledgara.fdb")
    // and reads the points of sale, once per run of the program. A company
    // code that would leave its folder (companyCodeStaysInItsFolder) is
    // refused (ErrorKind::Usage) before anything connects, and the posting is
    // refused the same way until a later step connects.
    bool connectStep(const ConnectionRequest& request, PostingFront& front);
    // The posting run: has the database post the receipts of the date
    // through the plain or the IFRS procedure. Connects with the last
    // settings when the connection is not open.
    void postStep(const CivilDate& date, bool niif, PostingFront& front);
    // The connection step, then the posting run for each day of the request
    // (today, read once connected, when it has none); the first failure ends it.
    void run(const PostingRequest& request, PostingFront& front);

    // What the grid shows: the rows of the last posting.
    const DataSource& receipts() const { return DRepart; }
    // The points of sale the connection step read.
    const ClientDataSet& pointsOfSale() const { return CPuntos; }
    // Closes the result rows, then the points of sale (the window's close).
    void closeSets();
    bool connected() const { return Ledgara.connected(); }
    // True once the last posting came back committed, also when its rows
    // could then not be bound. Never in a dry run.
    bool committed() const { return m_committed; }

private:
    void reconnect(const ConnectionRequest& request);
    void throwIfRefused() const;

    SqlConnection Ledgara;
    // PPuntos, over the table object TPuntos: every row of "PUNTO_VENTA".
    ClientDataSet CPuntos;
    // PRepArticulos, over the query SQLQuery1, which has no statement of its
    // own and takes CRepArticulos's command text, the posting statement.
    ClientDataSet CRepArticulos;
    DataSource DRepart;
    std::string m_refusal;
    CivilDate m_today;  // as the last connection step read the clock
    bool m_committed = false;
    bool m_dryRun = false;
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
