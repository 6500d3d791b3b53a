#pragma once
// Hands the command text of an in-memory set to its statement object, when
// allowed, and reads every row in one batch (`PPuntos`, `PRepArticulos`).

#include "posting/dataset.h"

#include <string>

class SqlDataSet;

class DataSetProvider : public Provider {
public:
    explicit DataSetProvider(std::string name) : m_name(std::move(name)) {}
    const std::string& name() const { return m_name; }
    void setDataSet(SqlDataSet* dataSet) { m_dataSet = dataSet; }
    SqlDataSet* dataSet() const { return m_dataSet; }
    void setAllowCommandText(bool allow) { m_allowCommandText = allow; }
    bool allowCommandText() const { return m_allowCommandText; }

    // An empty command text keeps the statement object's own; any other is
    // refused with "CommandText changes are not allowed" unless allowed.
    void fetch(const std::string& commandText, RowSink& sink) override;

private:
    std::string m_name;
    SqlDataSet* m_dataSet = nullptr;
    bool m_allowCommandText = false;
};
