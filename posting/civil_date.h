#pragma once
// The posting date: a calendar date with no time of day, and the one way it
// is written into the posting statement, whichever front end picked it.

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
