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

std::string isoText(const CivilDate& date)
{
    std::string text = dateText(date);
    text[4] = text[7] = '-';
    return text;
}

// Howard Hinnant's days_from_civil and civil_from_days: eras of 400 years,
// each of 146097 days, with the year counted from March.
long long daysSinceEpoch(const CivilDate& date)
{
    const long long year = date.year - (date.month <= 2 ? 1 : 0);
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153 * (date.month + (date.month > 2 ? -3 : 9)) + 2) / 5 + date.day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

CivilDate dateOfDays(long long days)
{
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthFromMarch = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    const int month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    return {static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0)), month, day};
}
