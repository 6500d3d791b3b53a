#pragma once
// Every text the database layer and the posting handlers show, in one place.
// Formats take their arguments in order at each "%s".

#include <initializer_list>
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

// Replaces each "%s" of the format by the next argument; arguments are
// inserted as they are, so a "%s" inside one is not expanded again.
inline std::string format(std::string_view pattern, std::initializer_list<std::string_view> args)
{
    std::string out;
    for (std::string_view arg : args) {
        const std::size_t at = pattern.find("%s");
        if (at == std::string_view::npos)
            break;
        out.append(pattern.substr(0, at)).append(arg);
        pattern.remove_prefix(at + 2);
    }
    return out.append(pattern);
}

}  // namespace msg
