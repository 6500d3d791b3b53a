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

}  // namespace msg
