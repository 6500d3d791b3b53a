#include "posting/data_set_provider.h"

#include "posting/messages.h"
#include "posting/sql_query.h"

#include <stdexcept>

void DataSetProvider::fetch(const std::string& commandText, RowSink& sink)
{
    if (!m_dataSet)
        throw std::runtime_error(std::string(msg::kMissingProvider));
    if (!commandText.empty()) {
        if (!m_allowCommandText)
            throw std::runtime_error(std::string(msg::kCommandTextNotAllowed));
        m_dataSet->setCommandText(commandText);
    }
    m_dataSet->fetchAll(sink);
}
