#pragma once

// The server engine: the card database in a PostgreSQL database, reached
// through libpq. Statements arrive with SQLite's placeholders ('?', '?N') and
// are sent with the server's ('$N'); values travel as text (the server infers
// their types from where they stand) except byte blocks, which travel as
// bytea in binary. Results come back as text and are mapped onto the stored
// kinds of the embedded engine.

#include "engine.h"
#include "errors.h"

#include <map>

typedef struct pg_conn PGconn;

namespace tessary {

// '?N' becomes '$N'; a bare '?' becomes '$k', k one more than the largest
// number so far (as SQLite numbers them). Quoted texts and identifiers, and
// comments, are left alone.
QString toServerPlaceholders(const QString &sql);

class PgEngine : public SqlEngine
{
public:
    // A libpq connection string or a postgresql:// URI. Throws Error
    // "Cannot connect to the card database server: <reason>".
    explicit PgEngine(const QString &conninfo);
    ~PgEngine() override;
    PgEngine(const PgEngine &) = delete;
    PgEngine &operator=(const PgEngine &) = delete;

    EngineKind kind() const override { return EngineKind::Server; }
    QString location() const override { return m_location; }

    std::unique_ptr<SqlStatement> prepare(const QString &sql) override;
    void exec(const QString &sql) override;
    QString lastError() const override { return m_lastError; }

    bool inTransaction() const override;
    void beginWrite() override;
    void beginSnapshot() override;
    void commit() override;
    void rollback() override;

    std::vector<TableColumn> tableColumns(const QString &table) override;
    bool hasTable(const QString &table) override;
    bool hasIndex(const QString &index) override;

    QString rowKey() const override { return QStringLiteral("seq"); }
    QString sameValue(const QString &left, const QString &right) const override;
    QString exactText(const QString &column) const override;
    QString insertReturningKey(const QString &insertSql) const override;
    qint64 insertedKey(SqlStatement &statement) override;

    PGconn *handle() { return m_conn; }
    int socket() const;
    int backendPid() const;
    bool connectionOk() const;
    // The SQLSTATE of the last failed statement ("23505": a unique key
    // already taken); empty when the failure had none.
    QString lastSqlState() const { return m_lastSqlState; }

    // Live lists: LISTEN on a channel, then collect what arrived.
    void listen(const QString &channel);
    struct Notification
    {
        QString channel, payload;
        int pid = 0;
    };
    std::vector<Notification> takeNotifications();

    // For the statements: records a failure and throws it (UniqueKeyError
    // for a unique key taken already, else Error).
    [[noreturn]] void raise(const QString &message, const QString &sqlState = QString());
    // The declared type of column `attnum` of the table with oid `table`.
    QString declaredType(unsigned table, int attnum);
    // The name of the server's prepared statement for `sql` with parameters
    // of `types`, prepared on first use and kept for the connection's life:
    // a statement run again (a list's row fetch) is not parsed and planned
    // again.
    QByteArray preparedStatement(const QByteArray &sql, const std::vector<unsigned> &types);

private:
    std::vector<TableColumn> columnsOf(unsigned table, std::map<int, QString> *byNumber);
    unsigned relationOid(const QString &name, const char *relkinds);
    void run(const char *sql);
    // After a change of the tables' definitions: what was read or prepared
    // about them is read and prepared again.
    void forgetSchema();

    PGconn *m_conn = nullptr;
    QString m_location;
    QString m_lastError;
    QString m_lastSqlState;
    std::map<unsigned, std::map<int, QString>> m_declared; // table oid -> attnum -> type
    std::map<QString, std::vector<TableColumn>> m_tableColumns; // by lower-case table name
    std::map<QByteArray, QByteArray> m_prepared; // sql and parameter types -> statement name
};

} // namespace tessary
