#include "posting/receipt_posting.h"

#include "posting/messages.h"
#include "posting/posting_state.h"
#include "text/client_text.h"
#include "text/error.h"
#include "text/format.h"

namespace {

// A string literal: the text between single quotes, any quote inside it doubled.
std::string quoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text)
        out.append(c == '\'' ? 2 : 1, c);
    return out + "'";
}

}  // namespace

bool canConnect(const ConnectionRequest& request)
{
    return !request.company.empty() && !request.user.empty() && !request.password.empty();
}

ReceiptPosting::ReceiptPosting()
{
    CPuntos.setProvider([this](const std::string&, RowSink& rows) {
        Ledgara.fetchAll("select * from \"PUNTO_VENTA\"", rows);
    });
    CPuntos.declareField("PTVT_ID", FieldKind::Integer);
    CPuntos.declareField("BODE_COD", FieldKind::String, 2);
    CPuntos.declareField("PTVT_NOM", FieldKind::String, 60);
    CPuntos.declareField("PTVT_RESP", FieldKind::String, 60);
    CPuntos.declareField("CAJA_ID", FieldKind::Integer);
    CPuntos.declareField("PTVT_COLOR", FieldKind::String, 8);
    CPuntos.declareField("PREF_PRE", FieldKind::String, 4);
    CPuntos.declareField("TERC_NIT", FieldKind::String, 20);
    CPuntos.declareField("SUCU_ID", FieldKind::Integer);

    // Whether the posting came back committed is noted for a stop request
    // (posting/posting_state.h) and kept for the caller, whatever the binding
    // of the fields then finds.
    CRepArticulos.setProvider([this](const std::string& statement, RowSink& rows) {
        m_committed = false;
        notePostingStarted();
        try {
            Ledgara.fetchAll(statement, rows,
                             m_dryRun ? SqlConnection::Outcome::RollBack : SqlConnection::Outcome::Commit);
        } catch (...) {
            // The statement's transaction was rolled back.
            notePostingFailed();
            throw;
        }
        if (m_dryRun) {
            notePostingFailed();  // rolled back on purpose: nothing was posted
            return;
        }
        m_committed = true;
        notePostingCommitted();
    });
    CRepArticulos.declareField("ID", FieldKind::Integer);
    CRepArticulos.declareField("PREF", FieldKind::String, 4);
    CRepArticulos.declareField("NUMERO", FieldKind::String, 6);
    CRepArticulos.declareField("ESTADO", FieldKind::String, 20);
    CRepArticulos.declareField("IDI", FieldKind::Integer);
    CRepArticulos.declareField("IDC", FieldKind::Integer);

    DRepart.setDataSet(&CRepArticulos);
}

bool ReceiptPosting::connectStep(const ConnectionRequest& request, PostingFront& front)
{
    if (!canConnect(request))
        return false;
    front.connecting(formatText(msg::kConnecting, {programText(request.company)}));
    if (!companyCodeStaysInItsFolder(request.company)) {
        // A company that was refused must not leave the previous one's
        // connection, or its settings, to post through.
        m_refusal = msg::kCompanyCodeRefused;
        Ledgara.close();
        throw ProgramError(m_refusal, ErrorKind::Usage);
    }
    reconnect(request);
    m_today = today();
    front.connected(m_today);
    CPuntos.open();  // an open set is not read again
    front.readyToPost();
    return true;
}

void ReceiptPosting::postStep(const CivilDate& date, bool niif, PostingFront& front)
{
    front.dayBegun(date);
    throwIfRefused();
    CRepArticulos.close();
    CRepArticulos.setCommandText(postingStatement(dateText(date), niif));
    CRepArticulos.open();
    if (CRepArticulos.isEmpty())
        front.nothingToPost();
    else
        front.posted(CRepArticulos);
}

void ReceiptPosting::run(const PostingRequest& request, PostingFront& front)
{
    Ledgara.settings().lockTimeoutSeconds = request.lockTimeoutSeconds;
    m_dryRun = request.dryRun;
    connectStep(request.connection, front);
    for (const CivilDate& day : request.days.empty() ? std::vector{m_today} : request.days)
        postStep(day, request.niif, front);
}

void ReceiptPosting::closeSets()
{
    CRepArticulos.close();
    CPuntos.close();
}

void ReceiptPosting::reconnect(const ConnectionRequest& request)
{
    m_refusal.clear();
    Ledgara.close();
    ConnectionSettings& settings = Ledgara.settings();
    settings.database = databasePath(request.server, request.company);
    settings.user = request.user;
    settings.password = request.password;
    settings.passwordFromEnvironment = request.passwordFromEnvironment;
    Ledgara.open();
}

void ReceiptPosting::throwIfRefused() const
{
    if (!m_refusal.empty())
        throw ProgramError(m_refusal, ErrorKind::Usage);
}

std::string databasePath(const std::string& server, const std::string& company)
{
    return server + "/datos/" + company + "/ledgara.fdb";
}

bool companyCodeStaysInItsFolder(const std::string& company)
{
    if (company.find_first_of("/\\") != std::string::npos)
        return false;
    return company.find_first_not_of(". ") != std::string::npos;
}

std::string postingStatement(const std::string& dateText, bool niif)
{
    const std::string date = quoted(dateText);
    return std::string(niif ? "select * from recibos_sin_contabilidad_niif("
                            : "select * from recibos_sin_contabilidad(") +
           date + ", " + date + ", '')";
}
