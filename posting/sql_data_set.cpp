#include "posting/sql_data_set.h"

#include "posting/messages.h"
#include "posting/sql_connection.h"
#include "posting/sql_error.h"
#include "text/format.h"

void SqlDataSet::fetch(const std::string& commandText, RowSink& sink)
{
    if (!commandText.empty()) {
        if (!m_allowCommandText)
            throw SqlError(std::string(msg::kCommandTextNotAllowed));
        m_sql = commandText;
    }
    if (m_sql.empty())
        throw SqlError(formatText(msg::kEmptyStatement, {m_name}));
    m_connection.fetchAll(m_sql, sink);
}
