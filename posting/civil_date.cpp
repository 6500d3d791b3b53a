#include "posting/civil_date.h"

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
