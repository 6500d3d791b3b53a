#pragma once
// The one exception type of the database layer, whose constructor is the one
// place the text the user sees is composed. A failure of the layer's own
// carries a driver code; a refusal by the server adds every line the client
// library interprets from its status, with the SQLCODE and the first GDS code.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

enum class DriverFailure : int {
    Connect = 0x0015,
    Disconnect = 0x0016,
    Prepare = 0x0017,
    Execute = 0x0018,
    Fetch = 0x0019,
    Commit = 0x001A,
    StartTransaction = 0x001B,
    NoLocalProvider = 0x001C,
    ParameterTooLong = 0x001D,
};

class SqlError : public std::runtime_error {
public:
    // A failure with a text of its own ("Unable to Load ...").
    explicit SqlError(const std::string& text) : std::runtime_error(text) {}
    // "dbExpress Error: <driver text>" ("[0x0015]: Connection failed") and
    // "SQL Server Error: <server lines>", joined by a line break when both
    // exist; when neither does, previous, or else
    // "dbExpress Error: Unknown Error Code '<code>'".
    SqlError(int code, std::vector<std::string> serverLines, std::int32_t sqlCode = 0, std::int64_t gdsCode = 0,
             const std::string& previous = {});

    int code() const { return m_code; }
    const std::vector<std::string>& serverLines() const { return m_serverLines; }
    std::int32_t sqlCode() const { return m_sqlCode; }
    std::int64_t gdsCode() const { return m_gdsCode; }

private:
    int m_code = 0;
    std::vector<std::string> m_serverLines;
    std::int32_t m_sqlCode = 0;
    std::int64_t m_gdsCode = 0;
};
