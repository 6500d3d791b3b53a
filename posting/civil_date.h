#pragma once
// The posting date: a calendar date with no time of day, the ways it is
// written, and the day arithmetic of a range of them. One clock, one set of
// rules, whichever front end picked the date.

#include <string>

struct CivilDate {
    int year = 2003;
    int month = 1;
    int day = 20;
    friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

// Today's date on this machine's clock, in local time.
CivilDate today();
// The date as the posting statement writes it: yyyy/mm/dd.
std::string dateText(const CivilDate& date);
// The date as ISO 8601 writes it, for the operator: yyyy-mm-dd.
std::string isoText(const CivilDate& date);

// Days since 1970-01-01 in the proleptic Gregorian calendar, and back.
long long daysSinceEpoch(const CivilDate& date);
CivilDate dateOfDays(long long days);
