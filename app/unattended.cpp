#include "app/unattended.h"

#include "app/console.h"
#include "app/run_end.h"
#include "config/install_dir.h"
#include "config/registry.h"
#include "config/server_list.h"
#include "app/messages.h"
#include "posting/messages.h"
#include "posting/receipt_posting.h"
#include "text/format.h"
#include "text/error_text.h"

#include <exception>
#include <map>

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

// The console's part in the steps: the report, once the posting is done,
// under the day's heading in a catch-up run; and the rows counted by ESTADO
// for the run log.
class ConsoleFront final : public PostingFront {
public:
    ConsoleFront(Console& console, std::map<std::string, int>& estados) : m_console(console), m_estados(estados) {}
    void posted(const ClientDataSet& rows) override
    {
        if (headed)
            m_console.information(formatText(msg::kDayHeading, {isoText(day)}));
        m_console.rows(rows);
        if (rows.isEmpty())
            m_console.information(msg::kNoReceipts);
        if (const Field* estado = rows.findField("ESTADO")) {
            for (std::size_t r = 0; r < rows.recordCount(); ++r) {
                std::string text = rows.displayText(r, *estado);
                text.erase(text.find_last_not_of(' ') + 1);
                ++m_estados[text];
            }
        }
    }

    bool headed = false;  // a catch-up run: each day under its date
    CivilDate day;

private:
    Console& m_console;
    std::map<std::string, int>& m_estados;
};

} // namespace

int runWithoutWindow(const std::vector<std::string>& arguments, const std::function<CivilDate()>& today,
                     Console& console)
{
    return runWithoutWindow(arguments, RunOptions{}, today, console).exitCode;
}

RunOutcome runWithoutWindow(const std::vector<std::string>& arguments, const RunOptions& options,
                            const std::function<CivilDate()>& today, Console& console)
{
    readSettings(console);
    ReceiptPosting posting;
    ConnectionRequest request{argument(arguments, 1), argument(arguments, 4), argument(arguments, 2),
                              argument(arguments, 3)};
    request.passwordFromEnvironment = request.password == "-";
    const bool niif = argument(arguments, 5) == "S";
    RunOutcome outcome;
    ConsoleFront front(console, outcome.estados);
    const bool catchUp = options.from.has_value();
    try {
        if (!catchUp) {
            posting.run(request, today, niif, front);
        } else {
            const std::vector<CivilDate> days = daysFromTo(*options.from, *options.to);
            prepareCatchUp(days);
            posting.connectStep(request, front);
            front.headed = true;
            for (const CivilDate& day : days) {
                front.day = day;
                posting.postStep(dateText(day), niif, front);
            }
        }
    } catch (const std::exception& e) {
        console.error(errorBoxText(e.what()));
        // A result the set cannot bind fails only after the procedure's work
        // was committed: posted, but without its rows to report.
        const bool committed = posting.committed();
        if (committed && !console.reportLost())
            console.error(msg::kPostedBeforeError);
        const std::string text = e.what();
        outcome.error = text.substr(0, text.find('\n'));
        if (catchUp) {
            // The days before this one stay posted; the line says which.
            const std::string days = catchUpDaysText();
            if (console.reportLost())
                sayReportLost(console, days);
            else
                console.error(formatText(msg::kCatchUpStopped, {days}));
            outcome.error += "; " + days;
            outcome.exitCode = catchUpDone() ? kExitPosted : kExitFailed;
        } else {
            sayReportLost(console, committed ? msg::kOutcomePosted : msg::kOutcomeNothingPosted);
            outcome.exitCode = committed ? kExitPosted : kExitFailed;
        }
        return outcome;
    }
    if (catchUp)
        sayReportLost(console, catchUpDaysText());
    else
        sayReportLost(console, posting.nothingPosted() ? msg::kOutcomeNoReceipts : msg::kOutcomePosted);
    outcome.exitCode = kExitPosted;
    return outcome;
}

std::string RunOutcome::summary() const
{
    if (!error.empty())
        return error;
    if (estados.empty())
        return std::string(msg::kOutcomeNothingToPost);
    std::string text;
    for (const auto& [estado, count] : estados)
        text += (text.empty() ? "" : ", ") + std::to_string(count) + " " + estado;
    return text;
}
