#pragma once

#include "engine.h"

struct sqlite3;

namespace tessary {

// The embedded engine: the card database in one SQLite file.
class SqliteEngine : public SqlEngine
{
public:
    // Opens an existing file read-write; never creates one. Throws Error with
    // the engine's message.
    explicit SqliteEngine(const QString &path);
    ~SqliteEngine() override;

    sqlite3 *handle() const { return m_db; }

    EngineKind kind() const override { return EngineKind::Embedded; }
    QString location() const override { return m_path; }

    std::unique_ptr<SqlStatement> prepare(const QString &sql) override;
    void exec(const QString &sql) override;
    QString lastError() const override;

    bool inTransaction() const override;
    void beginWrite() override;
    void beginSnapshot() override;
    void commit() override;
    void rollback() override;

    std::vector<TableColumn> tableColumns(const QString &table) override;
    bool hasTable(const QString &table) override;
    bool hasIndex(const QString &index) override;

    QString rowKey() const override { return QStringLiteral("rowid"); }
    QString sameValue(const QString &left, const QString &right) const override;
    QString exactText(const QString &column) const override;
    QString insertReturningKey(const QString &insertSql) const override { return insertSql; }
    qint64 insertedKey(SqlStatement &statement) override;

private:
    bool hasSchemaObject(const char *type, const QString &name);

    QString m_path;
    sqlite3 *m_db = nullptr;
};

} // namespace tessary
