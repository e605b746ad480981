#include "connection.h"
#include "errors.h"
#include "query.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include "pgengine.h"
#include "sqliteengine.h"

#include <QSocketNotifier>
#include <QTimer>

namespace tessary {

ConnectionParameters parseConnectionString(const QString &text)
{
    ConnectionParameters out;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        const qsizetype eq = text.indexOf(QLatin1Char('='), i);
        if (eq < 0)
            break;
        const QString key = text.mid(i, eq - i).trimmed();
        qsizetype j = eq + 1;
        QString value;
        if (j < n && text.at(j) == QLatin1Char('"')) {
            // Quoted value: up to the closing quote ("" stands for one quote).
            ++j;
            while (j < n) {
                if (text.at(j) == QLatin1Char('"')) {
                    if (j + 1 < n && text.at(j + 1) == QLatin1Char('"')) {
                        value += QLatin1Char('"');
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                value += text.at(j++);
            }
            const qsizetype semi = text.indexOf(QLatin1Char(';'), j);
            i = semi < 0 ? n : semi + 1;
        } else {
            const qsizetype semi = text.indexOf(QLatin1Char(';'), j);
            value = text.mid(j, (semi < 0 ? n : semi) - j);
            i = semi < 0 ? n : semi + 1;
        }
        if (key.compare(QLatin1String("Data Source"), Qt::CaseInsensitive) == 0)
            out.dataSource = value;
        else if (key.compare(QLatin1String("Jet OLEDB:Database Password"), Qt::CaseInsensitive) == 0)
            out.password = value;
        else if (key.compare(QLatin1String("Provider"), Qt::CaseInsensitive) == 0)
            out.provider = value;
        else if (key.compare(QLatin1String("Server"), Qt::CaseInsensitive) == 0)
            out.server = value;
    }
    return out;
}

namespace {

QList<const Connection *> &liveConnections()
{
    static QList<const Connection *> connections;
    return connections;
}

} // namespace

Connection::Connection(QObject *parent) : QObject(parent)
{
    liveConnections().append(this);
}

Connection::~Connection()
{
    disconnect();
    liveConnections().removeAll(this);
}

bool Connection::isOpenDatabaseFile(const QString &path)
{
    struct stat wanted;
    if (::stat(QFile::encodeName(path).constData(), &wanted) != 0)
        return false;
    for (const Connection *connection : liveConnections()) {
        struct stat open;
        if (connection->connected() && !connection->databasePath().isEmpty() &&
            ::stat(QFile::encodeName(connection->databasePath()).constData(), &open) == 0 &&
            open.st_dev == wanted.st_dev && open.st_ino == wanted.st_ino)
            return true;
    }
    return false;
}

void Connection::connect()
{
    if (m_engine)
        return;
    const ConnectionParameters params = parseConnectionString(m_connectionString);
    std::unique_ptr<SqlEngine> engine;
    if (!params.server.isEmpty()) {
        engine = std::make_unique<PgEngine>(params.server);
    } else {
        if (params.dataSource.isEmpty())
            throw Error(QStringLiteral("No data source given in the connection string"));
        engine = std::make_unique<SqliteEngine>(params.dataSource);
    }
    for (const QString &table : m_requiredTables) {
        if (!engine->hasTable(table))
            throw Error(QStringLiteral("Cannot open '%1': the %2 is not a card database (table '%3' is missing)")
                            .arg(engine->location(),
                                 engine->kind() == EngineKind::Server ? QStringLiteral("database") : QStringLiteral("file"),
                                 table));
    }
    m_engine = std::move(engine);
    m_path = params.server.isEmpty() ? params.dataSource : QString();
    ++m_changeCount;
    listenForChanges();
}

namespace {

// Between two attempts to reach a server that is away, and between the
// steps of one attempt.
constexpr int kReconnectPause = 250;
constexpr int kReconnectStep = 20;

} // namespace

void Connection::listenForChanges()
{
    auto *server = dynamic_cast<PgEngine *>(m_engine.get());
    if (!server)
        return;
    server->setEvents({[this] { noteLost(); }, [this] { noteReconnected(); },
                       [this] {
                           // Arrived with an answer: the socket has nothing
                           // more to say of them.
                           if (m_notificationsQueued)
                               return;
                           m_notificationsQueued = true;
                           QMetaObject::invokeMethod(
                               this,
                               [this] {
                                   m_notificationsQueued = false;
                                   readNotifications();
                               },
                               Qt::QueuedConnection);
                       }});
    server->listen(QStringLiteral("tessary_changed"));
    m_notifier = new QSocketNotifier(qintptr(server->socket()), QSocketNotifier::Read, this);
    QObject::connect(m_notifier, &QSocketNotifier::activated, this, &Connection::readNotifications);
    m_reconnectTimer = new QTimer(this);
    m_reconnectTimer->setSingleShot(true);
    QObject::connect(m_reconnectTimer, &QTimer::timeout, this, &Connection::reconnectStep);
}

bool Connection::lost() const
{
    auto *server = dynamic_cast<PgEngine *>(m_engine.get());
    return server && !server->connectionOk();
}

void Connection::noteLost()
{
    // The socket is closed: nothing more comes from it.
    if (m_notifier)
        m_notifier->setEnabled(false);
    if (m_reconnecting || !m_reconnectTimer)
        return;
    m_reconnecting = true;
    static_cast<PgEngine &>(*m_engine).setReconnectingInBackground(true);
    m_reconnectTimer->start(0);
    emit connectionLost();
}

void Connection::noteReconnected()
{
    auto &server = static_cast<PgEngine &>(*m_engine);
    if (m_notifier) {
        m_notifier->setSocket(qintptr(server.socket()));
        m_notifier->setEnabled(true);
    }
    if (m_reconnectTimer)
        m_reconnectTimer->stop();
    m_reconnecting = false;
    // Whatever was read before may have changed meanwhile.
    ++m_changeCount;
    emit reconnected();
}

void Connection::reconnectStep()
{
    auto *server = dynamic_cast<PgEngine *>(m_engine.get());
    if (!server || !m_reconnecting)
        return;
    switch (server->reconnectStep()) {
    case PgEngine::Reconnect::Waiting:
        m_reconnectTimer->start(kReconnectStep);
        break;
    case PgEngine::Reconnect::Failed:
        m_reconnectTimer->start(kReconnectPause);
        break;
    case PgEngine::Reconnect::Connected:
        break; // noteReconnected has run
    }
}

void Connection::readNotifications()
{
    auto *server = dynamic_cast<PgEngine *>(m_engine.get());
    if (!server)
        return;
    QStringList tables;
    for (const PgEngine::Notification &n : server->takeNotifications()) {
        // Our own writes are known already; the notice is for the others.
        if (n.pid != server->backendPid() && !tables.contains(n.payload))
            tables << n.payload;
    }
    if (!server->connectionOk())
        noteLost(); // the socket is gone; a new connection is sought
    if (tables.isEmpty())
        return;
    ++m_changeCount;
    for (const QString &table : tables)
        emit remoteChanged(table);
}

void Connection::disconnect()
{
    // Closing a query finalises its statements; the list is copied because
    // a query may detach itself while closing.
    const QList<Query *> queries = m_queries;
    for (Query *q : queries)
        q->close();
    delete m_notifier;
    m_notifier = nullptr;
    delete m_reconnectTimer;
    m_reconnectTimer = nullptr;
    m_reconnecting = false;
    m_engine.reset();
    m_path.clear();
}

SqlEngine &Connection::engine() const
{
    if (!m_engine)
        throw Error(QStringLiteral("Connection is not open"));
    return *m_engine;
}

sqlite3 *Connection::handle() const
{
    auto *embedded = dynamic_cast<SqliteEngine *>(&engine());
    if (!embedded)
        throw Error(QStringLiteral("This needs the card database file; the card database is on a server"));
    return embedded->handle();
}

void Connection::exec(const QString &sql)
{
    engine().exec(sql);
    ++m_changeCount;
}

void Connection::attach(Query *query)
{
    if (!m_queries.contains(query))
        m_queries.append(query);
}

void Connection::detach(Query *query)
{
    m_queries.removeAll(query);
}

QString Connection::lastError() const
{
    return m_engine ? m_engine->lastError() : QString();
}

bool Connection::inTransaction() const
{
    return m_engine && m_engine->inTransaction();
}

void Connection::refreshQueries()
{
    const QList<Query *> queries = m_queries;
    for (Query *query : queries) {
        if (query->isOpen()) {
            try {
                query->refresh();
            } catch (const Error &) {
                query->close();
            }
        }
    }
}

Transaction::Transaction(Connection &connection) : m_connection(connection)
{
    if (connection.inTransaction())
        return; // joins the open one
    connection.engine().beginWrite();
    m_owner = true;
}

Transaction::~Transaction()
{
    if (!m_owner || m_done || !m_connection.connected())
        return;
    m_connection.engine().rollback();
    // A lost server's data is read again once it is back.
    if (!m_connection.lost())
        m_connection.refreshQueries();
}

void Transaction::commit()
{
    if (!m_owner || m_done)
        return;
    m_done = true;
    try {
        m_connection.engine().commit();
    } catch (const Error &) {
        m_connection.engine().rollback();
        if (!m_connection.lost())
            m_connection.refreshQueries();
        throw;
    }
    m_connection.noteWrite();
}

void runSaving(const std::function<void()> &command)
{
    try {
        command();
    } catch (const ServerLostError &) {
        throw ServerLostError(true);
    }
}

Savepoint::Savepoint(Connection &connection) : m_connection(connection)
{
    if (!connection.inTransaction())
        return;
    connection.exec(QStringLiteral("SAVEPOINT tessary_step"));
    m_open = true;
}

Savepoint::~Savepoint()
{
    if (!m_open || !m_connection.connected())
        return;
    try {
        m_connection.exec(QStringLiteral("ROLLBACK TO SAVEPOINT tessary_step"));
        m_connection.exec(QStringLiteral("RELEASE SAVEPOINT tessary_step"));
    } catch (const Error &) {
        // The transaction's own end reports what is wrong.
    }
}

void Savepoint::release()
{
    if (!m_open)
        return;
    m_open = false;
    m_connection.exec(QStringLiteral("RELEASE SAVEPOINT tessary_step"));
}

ReadLock::ReadLock(Connection &connection) : m_connection(connection)
{
    if (connection.inTransaction())
        return; // the open transaction already holds at least this lock
    connection.engine().beginSnapshot();
    m_owner = true;
}

ReadLock::~ReadLock()
{
    if (m_owner && m_connection.connected() && m_connection.inTransaction()) {
        try {
            m_connection.engine().commit();
        } catch (const Error &) {
            // A read-only transaction has nothing to lose.
        }
    }
}

} // namespace tessary
