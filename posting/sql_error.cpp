#include "posting/sql_error.h"

#include "posting/messages.h"

#include <cstdio>

namespace {

const char* driverText(int code)
{
    switch (static_cast<DriverFailure>(code)) {
    case DriverFailure::Connect: return "Connection failed";
    case DriverFailure::Disconnect: return "Disconnection failed";
    case DriverFailure::Prepare: return "Unable to prepare the statement";
    case DriverFailure::Execute: return "Unable to execute the statement";
    case DriverFailure::Fetch: return "Unable to fetch the rows";
    case DriverFailure::Commit: return "Unable to commit the transaction";
    case DriverFailure::StartTransaction: return "Unable to start a transaction";
    case DriverFailure::NoLocalProvider:
        return "Connection failed: the database path names no server, and neither the embedded Firebird engine nor "
               "a Firebird server on this machine could open it";
    case DriverFailure::ParameterTooLong: return "Connection failed: user name, password, role or path too long";
    }
    return nullptr;
}

std::string compose(int code, const std::vector<std::string>& serverLines, const std::string& previous)
{
    std::string text;
    if (const char* driver = driverText(code)) {
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "[0x%04X]: ", static_cast<unsigned>(code));
        text = msg::format(msg::kDriverError, {prefix + std::string(driver)});
    }
    if (!serverLines.empty()) {
        std::string lines = serverLines.front();
        for (std::size_t i = 1; i < serverLines.size(); ++i)
            lines.append("\n").append(serverLines[i]);
        text.append(text.empty() ? "" : "\n").append(msg::format(msg::kServerError, {lines}));
    }
    if (!text.empty())
        return text;
    return previous.empty() ? msg::format(msg::kUnknownErrorCode, {std::to_string(code)}) : previous;
}

}  // namespace

SqlError::SqlError(int code, std::vector<std::string> serverLines, std::int32_t sqlCode, std::int64_t gdsCode,
                   const std::string& previous)
    : std::runtime_error(compose(code, serverLines, previous)),
      m_code(code),
      m_serverLines(std::move(serverLines)),
      m_sqlCode(sqlCode),
      m_gdsCode(gdsCode)
{
}
