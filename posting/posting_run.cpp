#include "posting/posting_run.h"

#include "posting/messages.h"
#include "posting/sql_error.h"

#include <cstdio>
#include <ctime>

CivilDate today()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

std::string dateText(const CivilDate& date)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d", date.year % 10000, date.month % 100, date.day % 100);
    return text;
}

bool PostingRun::canConnect(const std::string& company, const std::string& user, const std::string& password)
{
    return !company.empty() && !user.empty() && !password.empty();
}

void PostingRun::connect(const std::string& server, const std::string& company, const std::string& user,
                         const std::string& password)
{
    if (!companyCodeStaysInItsFolder(company)) {
        const std::string text(msg::kCompanyCodeRefused);
        m_data.refuseConnection(text);
        throw SqlError(text);
    }
    m_data.reconnect(databasePath(server, company), user, password);
}

void PostingRun::readPointsOfSale()
{
    m_data.readPuntos();
}

void PostingRun::post(const std::string& dateText, bool niif)
{
    m_data.runPosting(dateText, niif);
}
