#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

#include "engine.h"

class QSocketNotifier;
class QTimer;
struct sqlite3;

namespace tessary {

class Query;

// Reads the parts of an OLE DB style connection string the program uses.
// Values may stand between double quotes ("Data Source="C:\a b\x.mdb"") or
// not; a quoted value may contain ';'.
struct ConnectionParameters
{
    QString dataSource;
    QString password;
    QString provider;
    QString server; // a libpq connection string: the card database is on that server
};
ConnectionParameters parseConnectionString(const QString &connectionString);

// One open card database: a file of the embedded engine, or a database on a
// server when the connection string names one ("Server=..."). Connecting
// never creates a file: a missing file, or a database not holding the
// required tables, fails with the engine's message. The database password
// of the connection string is accepted and not used (the embedded engine has
// none; a server's comes from libpq's own password file).
class Connection : public QObject
{
    Q_OBJECT
public:
    explicit Connection(QObject *parent = nullptr);
    ~Connection() override;

    void setConnectionString(const QString &text) { m_connectionString = text; }
    QString connectionString() const { return m_connectionString; }

    // Tables a file must hold to be accepted by connect().
    void setRequiredTables(const QStringList &tables) { m_requiredTables = tables; }

    void connect();
    void disconnect();
    bool connected() const { return m_engine != nullptr; }
    // The database file; empty on a server.
    QString databasePath() const { return m_path; }
    bool isServer() const { return m_engine && m_engine->kind() == EngineKind::Server; }
    // Where the data lives, for messages: the file, or the database on its server.
    QString location() const { return m_engine ? m_engine->location() : QString(); }

    SqlEngine &engine() const; // throws when not connected
    // The embedded engine's handle; throws when not connected or on a server.
    sqlite3 *handle() const;

    // Counts writes made through this connection and changes announced by
    // other stations: a cache of data read from the database is current
    // while the count is unchanged.
    quint64 changeCount() const { return m_changeCount; }
    void noteWrite() { ++m_changeCount; }
    // Takes in the changes other stations announced that have arrived
    // (on a server; the event loop does it too): counts them and signals
    // remoteChanged.
    void readNotifications();

    // On a server: true from the moment the connection is found lost until
    // a new one is open. Meanwhile one is opened in the background, a few
    // times a second; a statement run then fails at once (ServerLostError).
    bool reconnecting() const { return m_reconnecting; }

    // Runs one statement that returns no rows (used by the schema tools and
    // the query layer; the program itself sends only selects).
    void exec(const QString &sql);

    // Queries register themselves so a disconnect closes them.
    void attach(Query *query);
    void detach(Query *query);

    // The engine's last error text.
    QString lastError() const;

    // True when `path` names (by any name or link) a database file a
    // connection of this program has open: such a file must not be replaced
    // by anything but the database itself.
    static bool isOpenDatabaseFile(const QString &path);

    // True while a transaction is open on this connection.
    bool inTransaction() const;

    // Notifies that the database file changed under the program (an import,
    // a restore): whoever shows its data reads it again.
    void announceChanged()
    {
        ++m_changeCount;
        emit dataChanged();
    }

signals:
    void dataChanged();
    // Another station changed the named table on the server.
    void remoteChanged(const QString &table);
    // The server connection was lost; reconnected() follows once a new one
    // is open (it listens again; what was read before may be out of date).
    // Either may come from inside a statement: receivers act afterwards.
    void connectionLost();
    void reconnected();

private:
    friend class Transaction;
    void refreshQueries();
    void listenForChanges();
    void noteLost();
    void noteReconnected();
    void reconnectStep();
    // True while a server connection is lost (not yet open again).
    bool lost() const;

    QString m_connectionString;
    QString m_path;
    QStringList m_requiredTables;
    std::unique_ptr<SqlEngine> m_engine;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_reconnectTimer = nullptr;
    bool m_reconnecting = false;
    bool m_notificationsQueued = false;
    QList<Query *> m_queries;
    quint64 m_changeCount = 0;
};

// Runs a command that saves: when the card database server is lost during
// it, the error says that nothing was saved, whichever statement found it.
void runSaving(const std::function<void()> &command);

// A scoped transaction on a connection: begins on construction, commits on
// commit(), rolls back when the scope ends without a commit. Row operations
// of the connection's queries run inside it. Opened while another
// transaction is open, it joins that one: its commit and roll back are left
// to the outer scope.
//
// A roll back also reads the open queries again, so what they hold matches
// the file. Bulk operations that must keep every row written before a
// failing one commit before reporting the failure.
class Transaction
{
public:
    explicit Transaction(Connection &connection);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    // Makes everything written since the start permanent. Throws on failure
    // (the transaction is then rolled back).
    void commit();
    bool owner() const { return m_owner; }

private:
    Connection &m_connection;
    bool m_owner = false;
    bool m_done = false;
};

// A step inside an open transaction that may fail on its own: when it fails
// (the scope ends without release()), what it wrote is undone and the
// transaction goes on, on either engine (a server otherwise ends the whole
// transaction at its first failed statement). Outside a transaction it
// does nothing.
class Savepoint
{
public:
    explicit Savepoint(Connection &connection);
    ~Savepoint();
    Savepoint(const Savepoint &) = delete;
    Savepoint &operator=(const Savepoint &) = delete;
    void release();

private:
    Connection &m_connection;
    bool m_open = false;
};

// Holds the database's read lock for its scope: a transaction that has read
// the schema, so the file keeps its shared lock and no other connection (of
// this or another process) can write to it until the scope ends. A plain
// copy of the file made meanwhile is a consistent database. Opened while a
// transaction is open, it joins that one and leaves it as it is.
class ReadLock
{
public:
    explicit ReadLock(Connection &connection);
    ~ReadLock();
    ReadLock(const ReadLock &) = delete;
    ReadLock &operator=(const ReadLock &) = delete;

private:
    Connection &m_connection;
    bool m_owner = false;
};

} // namespace tessary
