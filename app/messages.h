#pragma once
// Every text the program's own start and its run without a window write, in
// one place (the loader keeps its own, which it writes before any of this
// is loaded, next to it). They are the program's (English, for the operator's logs, as the
// client's and the toolkit's own texts are), in its single-byte text; the
// texts the window shows are in ui/ and posting/. Patterns are filled in by
// formatText (text/format.h).

#include <string_view>

namespace msg {

// No display for the window, and not the five arguments of the run without one.
inline constexpr std::string_view kNoDisplay =
    "contardc: no display to show the window on; to post unattended give five arguments: "
    "server user password company S|N";
// The same on Windows, where the desktop is there but nobody sees it.
inline constexpr std::string_view kNoVisibleDesktop =
    "contardc: no visible desktop to show the window on; to post unattended give five "
    "arguments: server user password company S|N";

// An error that escaped a handler without a text of its own.
inline constexpr std::string_view kUnknownError = "Unknown error";
// An error while the window itself is built: %s the exception's type, %s its text.
inline constexpr std::string_view kStartUpError = "Exception %s in module contardc at start-up.\n%s";
inline constexpr std::string_view kStartUpErrorCaption = "Application Error";

// A report that did not reach standard output: %s why, %s the run's outcome.
inline constexpr std::string_view kReportLost =
    "contardc: the report could not be written to standard output (%s); %s";
// The outcomes it names.
inline constexpr std::string_view kOutcomePosted = "the receipts were posted";
inline constexpr std::string_view kOutcomeNothingPosted = "nothing was posted";
inline constexpr std::string_view kOutcomeNoReceipts = "there were no receipts to post";
// An error after the posting's commit (rows the set cannot bind).
inline constexpr std::string_view kPostedBeforeError =
    "contardc: the receipts were posted before this error; their rows are not shown";

}  // namespace msg
