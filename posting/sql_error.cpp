#include "posting/sql_error.h"

#include "posting/messages.h"

#include <cstdio>

namespace {

struct DriverText {
    DriverFailure failure;
    const char* text;
};

constexpr DriverText kDriverTexts[] = {
    {DriverFailure::Connect, "Connection failed"},
    {DriverFailure::Disconnect, "Disconnection failed"},
    {DriverFailure::Prepare, "Unable to prepare the statement"},
    {DriverFailure::Execute, "Unable to execute the statement"},
    {DriverFailure::Fetch, "Unable to fetch the rows"},
    {DriverFailure::Commit, "Unable to commit the transaction"},
    {DriverFailure::StartTransaction, "Unable to start a transaction"},
    {DriverFailure::EmbeddedEngine,
     "Connection failed: the database path names no server, and neither the embedded Firebird engine nor a "
     "Firebird server on this machine could open it"},
    {DriverFailure::ParameterTooLong, "Connection failed: user name, password, role or path too long"},
};

std::string joinLines(const std::vector<std::string>& lines)
{
    std::string out;
    for (const auto& line : lines) {
        if (!out.empty())
            out += '\n';
        out += line;
    }
    return out;
}

}  // namespace

std::string driverErrorText(int code)
{
    for (const auto& entry : kDriverTexts) {
        if (static_cast<int>(entry.failure) == code) {
            char prefix[16];
            std::snprintf(prefix, sizeof prefix, "[0x%04X]: ", static_cast<unsigned>(code));
            return prefix + std::string(entry.text);
        }
    }
    return {};
}

std::string composeErrorText(int code, const std::vector<std::string>& serverLines, const std::string& previous)
{
    const std::string driver = driverErrorText(code);
    std::string text;
    if (!driver.empty())
        text = msg::format(msg::kDriverError, {driver});
    if (!serverLines.empty()) {
        if (!text.empty())
            text += '\n';
        text += msg::format(msg::kServerError, {joinLines(serverLines)});
    }
    if (!text.empty())
        return text;
    if (!previous.empty())
        return previous;
    return msg::format(msg::kUnknownErrorCode, {std::to_string(code)});
}

SqlError::SqlError(int code, std::vector<std::string> serverLines, std::int32_t sqlCode, std::int64_t gdsCode,
                   const std::string& previous)
    : std::runtime_error(composeErrorText(code, serverLines, previous)),
      m_code(code),
      m_serverLines(std::move(serverLines)),
      m_sqlCode(sqlCode),
      m_gdsCode(gdsCode)
{
}
