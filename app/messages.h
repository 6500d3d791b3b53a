#pragma once
// Every text the program's own start and its run without a window write, in
// one place. They are the program's (English, for the operator's logs, as the
// client's and the toolkit's own texts are), in its single-byte text; the
// texts the window shows are in ui/ and posting/. Patterns are filled in by
// formatText (text/format.h).

#include <string_view>

namespace msg {

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
