#pragma once
// Statement objects over a connection: a query that runs a statement text
// (`SQLQuery1`) and a table object that reads one whole table (`TPuntos`).
// Each is open only while its rows are being read.

#include "posting/dataset.h"

#include <string>

class SqlConnection;

class SqlDataSet {
public:
    virtual ~SqlDataSet() = default;
    // Runs the statement and hands every row to the sink; the statement is
    // closed again before this returns.
    virtual void fetchAll(RowSink& sink) = 0;
    // Takes the command text a provider passes on.
    virtual void setCommandText(const std::string& text) = 0;
    bool active() const { return m_active; }

protected:
    bool m_active = false;
};

class SqlQuery : public SqlDataSet {
public:
    explicit SqlQuery(std::string name) : m_name(std::move(name)) {}
    const std::string& name() const { return m_name; }
    void setConnection(SqlConnection* connection) { m_connection = connection; }
    SqlConnection* connection() const { return m_connection; }
    void setSql(std::string sql) { m_sql = std::move(sql); }
    const std::string& sql() const { return m_sql; }

    void fetchAll(RowSink& sink) override;
    void setCommandText(const std::string& text) override { m_sql = text; }

private:
    std::string m_name;
    SqlConnection* m_connection = nullptr;
    std::string m_sql;
};

class SqlTable : public SqlDataSet {
public:
    explicit SqlTable(std::string name) : m_name(std::move(name)) {}
    const std::string& name() const { return m_name; }
    void setConnection(SqlConnection* connection) { m_connection = connection; }
    SqlConnection* connection() const { return m_connection; }
    void setTableName(std::string table) { m_tableName = std::move(table); }
    const std::string& tableName() const { return m_tableName; }
    // Every column of every row, the name quoted, no condition, no order.
    std::string selectStatement() const;

    void fetchAll(RowSink& sink) override;
    void setCommandText(const std::string& text) override { m_tableName = text; }

private:
    std::string m_name;
    SqlConnection* m_connection = nullptr;
    std::string m_tableName;
};
