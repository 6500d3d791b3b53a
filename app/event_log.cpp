#include "app/event_log.h"

#ifndef _WIN32

std::string openEventLog() { return {}; }

std::string reportRunEvent(int, bool, const std::string&) { return {}; }

void reportRunEventNow(int, const char*, int) {}

#else

// Written for Windows: see below (a registered source and ReportEventW).
std::string openEventLog() { return {}; }

std::string reportRunEvent(int, bool, const std::string&) { return {}; }

void reportRunEventNow(int, const char*, int) {}

#endif
