#pragma once
// What the tool does, apart from any window: connect to a company's database
// and read its points of sale, then have the database post the receipts of
// one date and hand back the rows its procedure returned.
//
// ReceiptPosting owns the connection and the data objects, wired as the
// window definition has them, and runs the two steps. A front end (the
// window, the console) supplies only what differs between them, through
// PostingFront: what it shows while the server works and how it reports.

#include "posting/civil_date.h"
#include "posting/dataset.h"
#include "posting/sql_connection.h"
#include "posting/sql_data_set.h"

#include <functional>
#include <string>

// What the connection step is given, in the client's bytes.
struct ConnectionRequest {
    std::string server;
    std::string company;
    std::string user;
    std::string password;
    // The password is not given: the client takes it from ISC_PASSWORD.
    bool passwordFromEnvironment = false;
};

// The connection step asks for a company, a user and a password; with any of
// them empty it does nothing at all.
bool canConnect(const ConnectionRequest& request);

// The front end's part in the steps, called in this order.
class PostingFront {
public:
    virtual ~PostingFront() = default;
    // The connection step is about to talk to the server.
    virtual void connecting() {}
    // Connected; the points of sale are read next.
    virtual void connected() {}
    // The points of sale are read: the step is done.
    virtual void readyToPost() {}
    // The posting statement is about to go out.
    virtual void posting() {}
    // The statement came back, its work committed; `rows` holds what the
    // procedure returned, none when there was nothing to post.
    virtual void posted(const ClientDataSet& rows) { (void)rows; }
};

class ReceiptPosting {
public:
    ReceiptPosting();

    SqlConnection Ledgara{"Ledgara"};
    SqlDataSet SQLQuery1;  // no statement of its own; takes CRepArticulos's command text
    // What CRepArticulos fetches through: SQLQuery1, noting for a stop
    // request when the posting statement goes out and whether it came back
    // committed (posting/posting_state.h).
    class PostingWatch final : public Provider {
    public:
        explicit PostingWatch(Provider& query) : m_query(query) {}
        void fetch(const std::string& commandText, RowSink& sink) override;
        // True once the last posting statement came back committed, even
        // when the set then failed to bind its rows.
        bool committed() const { return m_committed; }

    private:
        Provider& m_query;
        bool m_committed = false;
    } PRepArticulos{SQLQuery1};
    SqlDataSet TPuntos;  // every row of "PUNTO_VENTA"; refuses another statement
    ClientDataSet CPuntos{"CPuntos"};
    ClientDataSet CRepArticulos{"CRepArticulos"};
    DataSource DRepart{"DRepart"};

    // The connection step: nothing when canConnect says no (returns false);
    // otherwise ends the current connection, connects to the company's
    // database on the server (server + "/datos/" + company + "/ledgara.fdb")
    // and reads the points of sale into CPuntos, once per run of the program.
    // A company code that would leave its folder (companyCodeStaysInItsFolder)
    // is refused with SqlError(msg::kCompanyCodeRefused) before anything
    // connects, and the posting is refused the same way until a later step
    // connects.
    bool connectStep(const ConnectionRequest& request, PostingFront& front);
    // The posting run: has the database post the receipts of the date (its
    // text, yyyy/mm/dd) through the plain or the IFRS procedure. Connects
    // with the last settings when the connection is not open.
    void postStep(const std::string& dateText, bool niif, PostingFront& front);
    // Both steps, as the unattended run makes them: the date is read once the
    // connection step is done, and not at all when it fails.
    void run(const ConnectionRequest& request, const std::function<CivilDate()>& date, bool niif,
             PostingFront& front);

    // Ends the current connection and opens one to the database with the
    // user and password, the role left as it is.
    void reconnect(const std::string& database, const std::string& user, const std::string& password);
    // Reads "PUNTO_VENTA" into CPuntos unless it is open already.
    void readPointsOfSale();
    // Closes CRepArticulos, gives it the posting statement and opens it.
    void post(const std::string& dateText, bool niif);

    const ClientDataSet& rows() const { return CRepArticulos; }
    bool nothingPosted() const { return CRepArticulos.isEmpty(); }
    // True once the last posting came back committed.
    bool committed() const { return PRepArticulos.committed(); }

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
