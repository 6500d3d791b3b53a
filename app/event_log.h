#pragma once
// The run's entry in the Windows event log (--event-log): in the Application
// log under the source "contardc" (which the installer registers, with the
// program's own message table), Information for a run that posted, Warning
// for one that posted but lost its report, Error otherwise; the event ID says
// the exit code (kEventIdBase + the code: 1000, 1001, 1002, 1075, 1077, 1078),
// and the text names what the run log's line names, the server, the company
// and the ledger, before the outcome it gives: "SERVER, company 01, plain: 7
// CONTABILIZADO", so that the entries of several companies tell apart. The IDs carry no
// severity, customer or facility bits, so the number Event Viewer shows as
// the Event ID is this one; the message table (app/event_messages.mc) has one
// message per exit code, which shows the text. Elsewhere than on Windows
// there is no such log, and nothing is written.

#include <string>

inline constexpr unsigned kEventIdBase = 1000;

// Registers the event source, once, at the start of a run that asks for an
// entry, before anything that a stop or the deadline could end; "" when it
// is ready, otherwise one line that says why not. subject: what every entry
// begins with, the program's text (Windows-1252), prepared here for the end
// by a stop or the deadline.
std::string openEventLog(const std::string& subject);

// The subject of a run's entries: "SERVER, company CODE, plain" (or NIIF).
std::string eventSubject(const std::string& server, const std::string& company, bool niif);

// The run's own end: its entry. outcome: the program's text (Windows-1252).
// "" when written, otherwise one line that says why not.
std::string reportRunEvent(int exitCode, bool reportLost, const std::string& outcome);

// The end of a run by a stop request or the deadline (app/run_end.h): the
// same from ASCII text prepared beforehand, allocating nothing.
void reportRunEventNow(int exitCode, const char* outcome, int length);
