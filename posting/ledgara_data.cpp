#include "posting/ledgara_data.h"

#include "posting/messages.h"

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

LedgaraData::LedgaraData()
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

    CRepArticulos.setProvider(&SQLQuery1);
    CRepArticulos.declareField("ID", FieldKind::Integer);
    CRepArticulos.declareField("PREF", FieldKind::String, 4);
    CRepArticulos.declareField("NUMERO", FieldKind::String, 6);
    CRepArticulos.declareField("ESTADO", FieldKind::String, 20);
    CRepArticulos.declareField("IDI", FieldKind::Integer);
    CRepArticulos.declareField("IDC", FieldKind::Integer);

    DRepart.setDataSet(&CRepArticulos);
}

void LedgaraData::reconnect(const std::string& database, const std::string& user, const std::string& password)
{
    Ledgara.close();
    Ledgara.params().setValue("Database", database);
    Ledgara.params().setValue("User_Name", user);
    Ledgara.params().setValue("password", password);
    Ledgara.open();
}

void LedgaraData::readPuntos()
{
    CPuntos.open();  // an open set is not read again
}

void LedgaraData::runPosting(const std::string& dateText, bool niif)
{
    CRepArticulos.close();
    CRepArticulos.setCommandText(postingStatement(dateText, niif));
    CRepArticulos.open();
}

std::string databasePath(const std::string& server, const std::string& company)
{
    return server + "/datos/" + company + "/ledgara.fdb";
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
    return msg::format(msg::kConnecting, {company});
}
