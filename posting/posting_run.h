#pragma once
// What the tool does, apart from any window: connect to a company's database
// and read its points of sale, then have the database post the receipts of
// one date and hand back the rows its procedure returned. The window's
// handlers call these steps between their own (status panel, focus,
// enabling); the run without a display calls them one after the other.

#include "posting/ledgara_data.h"

#include <string>

// A calendar date, with no time of day.
struct CivilDate {
    int year = 2003;
    int month = 1;
    int day = 20;
    friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

// Today's date on this machine's clock, in local time.
CivilDate today();
// The date as the posting statement writes it: yyyy/mm/dd.
std::string dateText(const CivilDate& date);

class PostingRun {
public:
    explicit PostingRun(LedgaraData& data) : m_data(data) {}

    // The connection step asks for a company, a user and a password; with
    // any of them empty it does nothing at all.
    static bool canConnect(const std::string& company, const std::string& user, const std::string& password);

    // Ends the current connection and opens one to the company's database on
    // the server (server + "/datos/" + company + "/ledgara.fdb"). A company
    // code that would leave its folder (companyCodeStaysInItsFolder) is
    // refused with SqlError(msg::kCompanyCodeRefused) before anything
    // connects, and the steps after it are refused the same way.
    void connect(const std::string& server, const std::string& company, const std::string& user,
                 const std::string& password);
    // Reads the points of sale into CPuntos, once per run of the program.
    void readPointsOfSale();

    // Has the database post the receipts of the date (its text, yyyy/mm/dd)
    // through the plain or the IFRS procedure; the rows it returned are in
    // rows(). Connects with the last parameters when the connection is not open.
    void post(const std::string& dateText, bool niif);
    const ClientDataSet& rows() const { return m_data.CRepArticulos; }
    bool nothingPosted() const { return m_data.CRepArticulos.isEmpty(); }

private:
    LedgaraData& m_data;
};
