#pragma once
// The one exception type of the database layer, whose constructor is the one
// place the text the user sees is composed. A failure of the layer's own
// carries a driver code; a refusal by the server adds every line the client
// library interprets from its status, with the SQLCODE and the first GDS code.

#include "posting/messages.h"
#include "text/format.h"

#include <cstdint>
#include <cstdio>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

// The layer's own failures, numbered as the driver's texts show them ("[0x0015]: Connection failed").
enum class DriverFailure : int {
    Connect = 0x0015, Disconnect, Prepare, Execute, Fetch, Commit, StartTransaction, NoLocalProvider, ParameterTooLong
};

class SqlError : public std::runtime_error {
public:
    // A failure with a text of its own ("Unable to Load ...").
    explicit SqlError(const std::string& text) : std::runtime_error(text) {}
    // "dbExpress Error: <driver text>" ("[0x0015]: Connection failed") and
    // "SQL Server Error: <server lines>", joined by a line break when both
    // exist; when neither does, previous, or else
    // "dbExpress Error: Unknown Error Code '<code>'".
    SqlError(int driverCode, std::vector<std::string> lines, std::int32_t sql = 0, std::int64_t gds = 0,
             const std::string& previous = {})
        : std::runtime_error(compose(driverCode, lines, previous)),
          code(driverCode),
          serverLines(std::move(lines)),
          sqlCode(sql),
          gdsCode(gds)
    {
    }

    int code = 0;
    std::vector<std::string> serverLines;
    std::int32_t sqlCode = 0;
    std::int64_t gdsCode = 0;

private:
    static std::string compose(int driverCode, const std::vector<std::string>& lines, const std::string& previous)
    {
        // The driver's texts, in the order of DriverFailure.
        static const char* const driverTexts[] = {
            "Connection failed", "Disconnection failed", "Unable to prepare the statement",
            "Unable to execute the statement", "Unable to fetch the rows", "Unable to commit the transaction",
            "Unable to start a transaction",
            "Connection failed: the database path names no server, and neither the embedded Firebird engine nor a "
            "Firebird server on this machine could open it",
            "Connection failed: user name, password, role or path too long"};
        std::string text;
        const auto index = static_cast<std::size_t>(driverCode - static_cast<int>(DriverFailure::Connect));
        if (index < std::size(driverTexts)) {
            char prefix[16];
            std::snprintf(prefix, sizeof prefix, "[0x%04X]: ", static_cast<unsigned>(driverCode));
            text = formatText(msg::kDriverError, {prefix + std::string(driverTexts[index])});
        }
        if (!lines.empty()) {
            std::string joined = lines.front();
            for (std::size_t i = 1; i < lines.size(); ++i)
                joined.append("\n").append(lines[i]);
            text.append(text.empty() ? "" : "\n").append(formatText(msg::kServerError, {joined}));
        }
        if (!text.empty())
            return text;
        return previous.empty() ? formatText(msg::kUnknownErrorCode, {std::to_string(driverCode)}) : previous;
    }
};
