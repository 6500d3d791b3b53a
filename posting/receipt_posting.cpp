#include "posting/receipt_posting.h"

#include "posting/posting_state.h"
#include "posting/messages.h"
#include "posting/sql_error.h"
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
    : SQLQuery1("SQLQuery1", Ledgara, {}, true),
      TPuntos("TPuntos", Ledgara, "select * from \"PUNTO_VENTA\"", false)
{
    CPuntos.setProvider(&TPuntos);
    CPuntos.declareField("PTVT_ID", FieldKind::Integer);
    CPuntos.declareField("BODE_COD", FieldKind::String, 2);
    CPuntos.declareField("PTVT_NOM", FieldKind::String, 60);
    CPuntos.declareField("PTVT_RESP", FieldKind::String, 60);
    CPuntos.declareField("CAJA_ID", FieldKind::Integer);
    CPuntos.declareField("PTVT_COLOR", FieldKind::String, 8);
    CPuntos.declareField("PREF_PRE", FieldKind::String, 4);
    CPuntos.declareField("TERC_NIT", FieldKind::String, 20);
    CPuntos.declareField("SUCU_ID", FieldKind::Integer);

    CRepArticulos.setProvider(&PRepArticulos);
    CRepArticulos.declareField("ID", FieldKind::Integer);
    CRepArticulos.declareField("PREF", FieldKind::String, 4);
    CRepArticulos.declareField("NUMERO", FieldKind::String, 6);
    CRepArticulos.declareField("ESTADO", FieldKind::String, 20);
    CRepArticulos.declareField("IDI", FieldKind::Integer);
    CRepArticulos.declareField("IDC", FieldKind::Integer);

    DRepart.setDataSet(&CRepArticulos);
}

void ReceiptPosting::PostingWatch::fetch(const std::string& commandText, RowSink& sink)
{
    m_committed = false;
    notePostingStarted();
    try {
        m_query.fetch(commandText, sink);
    } catch (...) {
        // The statement's transaction was rolled back.
        notePostingFailed();
        throw;
    }
    // Back with every row read and the work committed, whatever the binding
    // of the fields then finds.
    m_committed = true;
    notePostingCommitted();
}

bool ReceiptPosting::connectStep(const ConnectionRequest& request, PostingFront& front)
{
    if (!canConnect(request))
        return false;
    front.connecting();
    if (!companyCodeStaysInItsFolder(request.company)) {
        // A company that was refused must not leave the previous one's
        // connection, or its settings, to post through.
        m_refusal = msg::kCompanyCodeRefused;
        Ledgara.close();
        throw SqlError(m_refusal);
    }
    Ledgara.settings().passwordFromEnvironment = request.passwordFromEnvironment;
    reconnect(databasePath(request.server, request.company), request.user, request.password);
    front.connected();
    readPointsOfSale();
    front.readyToPost();
    return true;
}

void ReceiptPosting::postStep(const std::string& dateText, bool niif, PostingFront& front)
{
    front.posting();
    post(dateText, niif);
    front.posted(CRepArticulos);
}

void ReceiptPosting::run(const ConnectionRequest& request, const std::function<CivilDate()>& date, bool niif,
                         PostingFront& front)
{
    connectStep(request, front);
    postStep(dateText(date()), niif, front);
}

void ReceiptPosting::reconnect(const std::string& database, const std::string& user, const std::string& password)
{
    m_refusal.clear();
    Ledgara.close();
    ConnectionSettings& settings = Ledgara.settings();
    settings.database = database;
    settings.user = user;
    settings.password = password;
    Ledgara.open();
}

void ReceiptPosting::throwIfRefused() const
{
    if (!m_refusal.empty())
        throw SqlError(m_refusal);
}

void ReceiptPosting::readPointsOfSale()
{
    throwIfRefused();
    CPuntos.open();  // an open set is not read again
}

void ReceiptPosting::post(const std::string& dateText, bool niif)
{
    throwIfRefused();
    CRepArticulos.close();
    CRepArticulos.setCommandText(postingStatement(dateText, niif));
    CRepArticulos.open();
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

std::string connectingCaption(const std::string& company)
{
    return formatText(msg::kConnecting, {company});
}
