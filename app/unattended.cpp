#include "app/unattended.h"

#include "app/console.h"
#include "config/install_dir.h"
#include "config/registry.h"
#include "config/server_list.h"
#include "posting/ledgara_data.h"
#include "posting/messages.h"
#include "posting/posting_run.h"
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
void sayReportLost(Console& console, const std::string& outcome)
{
    if (console.reportLost())
        console.error("contardc: the report could not be written to standard output (" +
                      console.reportLostReason() + "); " + outcome);
}

} // namespace

int runWithoutWindow(const std::vector<std::string>& arguments, const std::function<CivilDate()>& today,
                     Console& console)
{
    readSettings(console);
    LedgaraData data;
    PostingRun run(data);
    try {
        const std::string company = argument(arguments, 4);
        const std::string user = argument(arguments, 2);
        const std::string password = argument(arguments, 3);
        if (PostingRun::canConnect(company, user, password)) {
            run.connect(argument(arguments, 1), company, user, password);
            run.readPointsOfSale();
        }
        run.post(dateText(today()), argument(arguments, 5) == "S");
    } catch (const std::exception& e) {
        console.error(errorBoxText(e.what()));
        // A result the set cannot bind fails only after the procedure's work
        // was committed: posted, but without its rows to report.
        const bool committed = data.PRepArticulos.committed();
        if (committed && !console.reportLost())
            console.error("contardc: the receipts were posted before this error; their rows are not shown");
        sayReportLost(console, committed ? "the receipts were posted" : "nothing was posted");
        return committed ? kExitPosted : kExitFailed;
    }
    console.rows(run.rows());
    if (run.nothingPosted())
        console.information(msg::kNoReceipts);
    sayReportLost(console, run.nothingPosted() ? "there were no receipts to post" : "the receipts were posted");
    return kExitPosted;
}
