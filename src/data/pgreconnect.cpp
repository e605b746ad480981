// The server engine's connection: opened again when it is lost, before a
// statement or step by step in the background, and what belongs to it
// (settings, LISTEN, prepared statements, the table columns read).
#include "pgengine.h"

#include <libpq-fe.h>

#include <algorithm>

#include <poll.h>

namespace tessary {

namespace {

void ignoreNotice(void *, const char *) {}

// Starts a connection to `conninfo`: waiting for it, or (`wait` false) to
// be completed with PQconnectPoll.
PGconn *startConnection(const QByteArray &conninfo, bool wait)
{
    // Keywords before "dbname" are defaults the connection string may
    // override; those after it always hold.
    const char *keywords[] = {"connect_timeout", "application_name", "dbname", "client_encoding", nullptr};
    const char *values[] = {"10", "tessary", conninfo.constData(), "UTF8", nullptr};
    return wait ? PQconnectdbParams(keywords, values, 1) : PQconnectStartParams(keywords, values, 1);
}

// How long one attempt of reconnectStep may take (connect_timeout does not
// hold for a connection opened step by step).
constexpr auto kConnectLimit = std::chrono::seconds(10);

} // namespace

PGconn *PgEngine::openConnection(bool wait) const
{
    return startConnection(m_conninfo, wait);
}

bool PgEngine::adopt(PGconn *conn)
{
    PQsetNoticeProcessor(conn, ignoreNotice, nullptr);
    // Lists are read in index order. The planner's default cost of a random
    // read (a disk's of long ago) and its low estimate of comparing
    // case-insensitive texts make it sort a group's members itself instead,
    // five times slower; the cost of today's disks puts the index first.
    PQclear(PQexec(conn, "SET random_page_cost = 1.1"));
    for (const QString &channel : m_channels) {
        const QByteArray name = channel.toUtf8();
        char *quoted = PQescapeIdentifier(conn, name.constData(), size_t(name.size()));
        PGresult *listening = quoted ? PQexec(conn, (QByteArrayLiteral("LISTEN ") + quoted).constData()) : nullptr;
        PQfreemem(quoted);
        const bool ok = PQresultStatus(listening) == PGRES_COMMAND_OK;
        PQclear(listening);
        if (!ok) {
            PQfinish(conn);
            return false;
        }
    }
    const bool again = m_conn != nullptr;
    PQfinish(m_conn);
    m_conn = conn;
    // Prepared statements and what was read about the tables belong to the
    // old connection.
    m_prepared.clear();
    m_declared.clear();
    m_tableColumns.clear();
    m_lossTold = false;
    m_background = false;
    if (again && m_events.reconnected)
        m_events.reconnected();
    return true;
}

bool PgEngine::lostBy(const PGresult *result) const
{
    const ExecStatusType status = PQresultStatus(result);
    if (result && (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK))
        return false;
    return !connectionOk();
}

void PgEngine::loseConnection(bool writing)
{
    m_lastSqlState.clear();
    const ServerLostError lost(writing);
    m_lastError = lost.message();
    if (!m_lossTold) {
        m_lossTold = true;
        if (m_events.lost)
            m_events.lost();
    }
    throw lost;
}

void PgEngine::readPending()
{
    // The first read takes what the server said last (a shutdown's
    // goodbye); the second finds the connection closed behind it.
    for (int read = 0; read < 2 && connectionOk(); ++read)
        PQconsumeInput(m_conn);
    collectNotifications();
}

void PgEngine::collectNotifications()
{
    if (!m_conn)
        return;
    bool arrived = false;
    while (PGnotify *n = PQnotifies(m_conn)) {
        m_notifications.push_back(Notification{QString::fromUtf8(n->relname), QString::fromUtf8(n->extra), n->be_pid});
        PQfreemem(n);
        arrived = true;
    }
    if (arrived && m_events.notified)
        m_events.notified();
}

PGresult *PgEngine::execute(const std::function<PGresult *()> &send, bool writes)
{
    const bool inTransaction = this->inTransaction();
    if (!inTransaction)
        readPending();
    if (!connectionOk()) {
        // Nothing of this statement was sent: a new connection takes it,
        // unless it belongs to a transaction the old one took with it.
        if (inTransaction || !reconnect())
            loseConnection(writes || (inTransaction && m_writeTransaction));
    }
    PGresult *result = send();
    collectNotifications();
    if (!lostBy(result))
        return result;
    PQclear(result);
    // Lost on the way: a write may or may not have reached the server
    // before, and the transaction is gone; it is reported, never resent.
    if (inTransaction || writes)
        loseConnection(writes || m_writeTransaction);
    if (!reconnect())
        loseConnection(false);
    result = send();
    collectNotifications();
    if (!lostBy(result))
        return result;
    PQclear(result);
    loseConnection(false);
}

bool PgEngine::reconnect()
{
    if (m_background || m_transactionOpen)
        return false;
    PGconn *conn = openConnection(true);
    if (!conn || PQstatus(conn) != CONNECTION_OK) {
        PQfinish(conn);
        return false;
    }
    return adopt(conn);
}

void PgEngine::dropPending()
{
    PQfinish(m_pending);
    m_pending = nullptr;
}

PgEngine::Reconnect PgEngine::reconnectStep()
{
    if (connectionOk())
        return Reconnect::Connected;
    if (m_transactionOpen)
        return Reconnect::Waiting; // its owner has not ended it yet
    if (!m_pending) {
        m_pending = openConnection(false);
        m_pendingPoll = PGRES_POLLING_WRITING;
        m_pendingSince = std::chrono::steady_clock::now();
        if (!m_pending || PQstatus(m_pending) == CONNECTION_BAD) {
            dropPending();
            return Reconnect::Failed;
        }
    }
    // A few steps of the handshake, each when the socket is ready for it.
    for (int step = 0; step < 8; ++step) {
        pollfd ready{PQsocket(m_pending), short(m_pendingPoll == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
        if (::poll(&ready, 1, 10) <= 0) {
            if (std::chrono::steady_clock::now() - m_pendingSince < kConnectLimit)
                return Reconnect::Waiting;
            dropPending();
            return Reconnect::Failed;
        }
        m_pendingPoll = PQconnectPoll(m_pending);
        if (m_pendingPoll == PGRES_POLLING_FAILED) {
            dropPending();
            return Reconnect::Failed;
        }
        if (m_pendingPoll == PGRES_POLLING_OK) {
            PGconn *conn = m_pending;
            m_pending = nullptr;
            return adopt(conn) ? Reconnect::Connected : Reconnect::Failed;
        }
    }
    return Reconnect::Waiting;
}

int PgEngine::socket() const
{
    return PQsocket(m_conn);
}

int PgEngine::backendPid() const
{
    return PQbackendPID(m_conn);
}

bool PgEngine::connectionOk() const
{
    return m_conn && PQstatus(m_conn) == CONNECTION_OK;
}

void PgEngine::listen(const QString &channel)
{
    const QByteArray name = channel.toUtf8();
    char *quoted = PQescapeIdentifier(m_conn, name.constData(), size_t(name.size()));
    if (!quoted)
        raise(QString::fromUtf8(PQerrorMessage(m_conn)).trimmed());
    const QByteArray sql = QByteArrayLiteral("LISTEN ") + quoted;
    PQfreemem(quoted);
    run(sql.constData());
    // A new connection listens again.
    if (std::find(m_channels.begin(), m_channels.end(), channel) == m_channels.end())
        m_channels.push_back(channel);
}

std::vector<PgEngine::Notification> PgEngine::takeNotifications()
{
    std::vector<Notification> out = std::move(m_notifications);
    m_notifications.clear();
    if (!connectionOk() || !PQconsumeInput(m_conn))
        return out;
    while (PGnotify *n = PQnotifies(m_conn)) {
        out.push_back(Notification{QString::fromUtf8(n->relname), QString::fromUtf8(n->extra), n->be_pid});
        PQfreemem(n);
    }
    return out;
}

} // namespace tessary
