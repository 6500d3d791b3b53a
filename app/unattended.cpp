#include "app/unattended.h"

#include "app/console.h"
#include "config/install_dir.h"
#include "config/registry.h"
#include "config/server_list.h"
#include "app/messages.h"
#include "posting/messages.h"
#include "posting/receipt_posting.h"
#include "text/format.h"
#include "text/error_text.h"

#include <exception>

namespace {

std::string argument(const std::vector<std::string>& arguments, std::size_t n)
{
    return n >= 1 && n <= arguments.size() ? arguments[n - 1] : std::string();
}

// What the window reads while it is built: the installation directory and
// the server list from it. The list itself offers nothing to a run that names
// its server, but its notices and errors are part of what the run reports,
// and a failure here does not stop the run, as it does not stop the window.
void readSettings(Console& console)
{
    try {
        const std::unique_ptr<Registry> registry = systemRegistry();
        const std::string directory =
            lookupInstallDir(*registry, [&console](const std::string& text) { console.information(text); });
        readServerList(serverListPath(directory));
    } catch (const std::exception& e) {
        console.error(errorBoxText(e.what()));
    }
}

// A report that did not reach standard output is said on standard error,
// with what the run did.
void sayReportLost(Console& console, std::string_view outcome)
{
    if (console.reportLost())
        console.error(formatText(msg::kReportLost, {console.reportLostReason(), outcome}));
}

// The console's part in the steps: the report, once the posting is done.
class ConsoleFront final : public PostingFront {
public:
    explicit ConsoleFront(Console& console) : m_console(console) {}
    void posted(const ClientDataSet& rows) override
    {
        m_console.rows(rows);
        if (rows.isEmpty())
            m_console.information(msg::kNoReceipts);
    }

private:
    Console& m_console;
};

} // namespace

int runWithoutWindow(const std::vector<std::string>& arguments, const std::function<CivilDate()>& today,
                     Console& console)
{
    readSettings(console);
    ReceiptPosting posting;
    const ConnectionRequest request{argument(arguments, 1), argument(arguments, 4), argument(arguments, 2),
                                    argument(arguments, 3)};
    try {
        ConsoleFront front(console);
        posting.run(request, today, argument(arguments, 5) == "S", front);
    } catch (const std::exception& e) {
        console.error(errorBoxText(e.what()));
        // A result the set cannot bind fails only after the procedure's work
        // was committed: posted, but without its rows to report.
        const bool committed = posting.committed();
        if (committed && !console.reportLost())
            console.error(msg::kPostedBeforeError);
        sayReportLost(console, committed ? msg::kOutcomePosted : msg::kOutcomeNothingPosted);
        return committed ? kExitPosted : kExitFailed;
    }
    sayReportLost(console, posting.nothingPosted() ? msg::kOutcomeNoReceipts : msg::kOutcomePosted);
    return kExitPosted;
}
