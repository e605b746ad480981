#pragma once

// The server engine: the card database in a PostgreSQL database, reached
// through libpq. Statements arrive with SQLite's placeholders ('?', '?N') and
// are sent with the server's ('$N'); values travel as text (the server infers
// their types from where they stand) except byte blocks, which travel as
// bytea in binary. Results come back as text and are mapped onto the stored
// kinds of the embedded engine.
//
// A lost connection (the server restarted, the network broke) is opened
// again by itself: before a statement that begins a unit of work (no
// transaction open), and, for whoever watches, by reconnectStep() without
// blocking. What belongs to a connection (prepared statements, the table
// columns read, LISTEN) is prepared again on the new one. A statement that
// loses the connection on the way is sent once more on a new connection
// when it only reads and no transaction was open; otherwise it fails with
// ServerLostError, and a transaction open then is lost whole.

#include "engine.h"
#include "errors.h"

#include <chrono>
#include <functional>
#include <map>

typedef struct pg_conn PGconn;
typedef struct pg_result PGresult;

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

    // What the owner of the engine hears of the connection: `lost` when a
    // statement found it lost and could not open it again, `reconnected`
    // once a new connection is in use, `notified` when notifications came
    // in with the answer to a statement (the socket will not tell of them).
    struct Events
    {
        std::function<void()> lost, reconnected, notified;
    };
    void setEvents(Events events) { m_events = std::move(events); }
    // While the owner opens the connection again in the background
    // (reconnectStep), a statement that finds it lost fails at once instead
    // of waiting for a connection of its own.
    void setReconnectingInBackground(bool on) { m_background = on; }
    // Opens the connection again now, waiting for it; false when the server
    // cannot be reached or a lost transaction has not ended yet (rollback).
    bool reconnect();
    // One step of opening the connection again without blocking (at most a
    // few milliseconds); call it again after Waiting, and later after Failed.
    enum class Reconnect { Waiting, Connected, Failed };
    Reconnect reconnectStep();
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
    // When preparing fails, `failed` receives the server's answer and the
    // name is empty.
    QByteArray preparedStatement(const QByteArray &sql, const std::vector<unsigned> &types, PGresult **failed);
    // Sends one statement through `send` (which may be called twice) and
    // answers its result, opening a lost connection again as described
    // above; throws ServerLostError when it cannot. `writes`: the statement
    // may change data.
    PGresult *execute(const std::function<PGresult *()> &send, bool writes);

private:
    std::vector<TableColumn> columnsOf(unsigned table, std::map<int, QString> *byNumber);
    unsigned relationOid(const QString &name, const char *relkinds);
    void run(const char *sql);
    // After a change of the tables' definitions: what was read or prepared
    // about them is read and prepared again.
    void forgetSchema();
    // Reads what the server sent while nothing was asked: its goodbye, and
    // notifications.
    void readPending();
    void collectNotifications();
    bool lostBy(const PGresult *result) const;
    [[noreturn]] void loseConnection(bool writing);
    // Takes `conn` as the connection: settings, LISTEN, fresh caches. False
    // (and `conn` closed) when it fails on the way.
    bool adopt(PGconn *conn);
    void dropPending();
    // A connection to the server: waiting for it, or (`wait` false) to be
    // completed with PQconnectPoll.
    PGconn *openConnection(bool wait) const;

    QByteArray m_conninfo;
    PGconn *m_conn = nullptr;
    // A connection being opened by reconnectStep, and which way its socket
    // must be ready for the next step.
    PGconn *m_pending = nullptr;
    int m_pendingPoll = 0;
    std::chrono::steady_clock::time_point m_pendingSince;
    Events m_events;
    bool m_background = false;
    bool m_lossTold = false;
    // A transaction begun by beginWrite/beginSnapshot that has not ended:
    // when the connection is lost meanwhile, nothing reconnects before
    // rollback() ends it, so the rest of it never runs on its own.
    bool m_transactionOpen = false;
    bool m_writeTransaction = false;
    std::vector<QString> m_channels;
    std::vector<Notification> m_notifications; // arrived with answers
    QString m_location;
    QString m_lastError;
    QString m_lastSqlState;
    std::map<unsigned, std::map<int, QString>> m_declared; // table oid -> attnum -> type
    std::map<QString, std::vector<TableColumn>> m_tableColumns; // by lower-case table name
    std::map<QByteArray, QByteArray> m_prepared; // sql and parameter types -> statement name
};

} // namespace tessary
