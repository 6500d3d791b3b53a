#pragma once
// Every text the database layer and the posting steps show or write, in one place.
// Patterns are filled in by formatText (text/format.h).

#include <string>
#include <string_view>

namespace msg {

inline constexpr std::string_view kNoReceipts = "No hay recibos por contabilizar.";
inline constexpr std::string_view kConnecting = "Conectando a la base de datos %s ...";
inline constexpr std::string_view kCompanyCodeRefused =
    "El c\xF3" "digo de empresa no es v\xE1" "lido: no puede contener \"/\" ni \"\\\" ni ser solo puntos o espacios.";

inline constexpr std::string_view kUnableToLoad = "Unable to Load %s";
inline constexpr std::string_view kUnableToFindProcedure = "Unable to Find Procedure %s";
inline constexpr std::string_view kDriverError = "dbExpress Error: %s";
inline constexpr std::string_view kServerError = "SQL Server Error: %s";
inline constexpr std::string_view kUnknownErrorCode = "dbExpress Error: Unknown Error Code '%s'";

inline constexpr std::string_view kFieldNotFound = "Field '%s' not found";
inline constexpr std::string_view kTypeMismatch = "Type mismatch for field '%s', expecting: %s actual: %s";
inline constexpr std::string_view kMissingProvider = "Missing data provider or data packet";
inline constexpr std::string_view kOpenDataSet = "Cannot perform this operation on an open dataset";
inline constexpr std::string_view kCommandTextNotAllowed = "CommandText changes are not allowed";
inline constexpr std::string_view kEmptyStatement = "%s: SQL statement is empty";

// The line a stop request writes (posting/client_shutdown.h), in pieces: the
// start, the signal's name, then what had become of the posting.
inline constexpr std::string_view kStoppedBy = "contardc: stopped by ";
inline constexpr std::string_view kStopAfterCommit = " after the posting was committed";
inline constexpr std::string_view kStopDuringPosting =
    " during the posting; the database rolls it back, unless its commit was already on its way";
inline constexpr std::string_view kStopNothingPosted = "; nothing was posted";

// The line of a run ended at its --timeout deadline, then the outcome above.
inline constexpr std::string_view kTimedOut = "contardc: timed out after %s s";

}  // namespace msg
