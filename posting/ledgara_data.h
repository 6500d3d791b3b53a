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
    SqlDataSet TPuntos;    // every row of "PUNTO_VENTA"; refuses another statement
    ClientDataSet CPuntos{"CPuntos"};
    ClientDataSet CRepArticulos{"CRepArticulos"};
    DataSource DRepart{"DRepart"};

    // Ends the current connection, sets "Database", "User_Name" and
    // "password" in that order, and connects.
    void reconnect(const std::string& database, const std::string& user, const std::string& password);
    // Reads "PUNTO_VENTA" into CPuntos unless it is open already.
    void readPuntos();
    // Closes CRepArticulos, gives it the posting statement and opens it.
    void runPosting(const std::string& dateText, bool niif);
};

// The company database on a server: server + "/datos/" + company + "/ledgara.fdb".
std::string databasePath(const std::string& server, const std::string& company);

// The statement that has the database post the receipts of a date (yyyy/mm/dd),
// through the IFRS procedure when niif is set.
std::string postingStatement(const std::string& dateText, bool niif);

// The status panel's caption while connecting to a company.
std::string connectingCaption(const std::string& company);
