#include "connection.h"
#include "errors.h"
#include "query.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include <sqlite3.h>

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
        if (connection->connected() &&
            ::stat(QFile::encodeName(connection->databasePath()).constData(), &open) == 0 &&
            open.st_dev == wanted.st_dev && open.st_ino == wanted.st_ino)
            return true;
    }
    return false;
}

void Connection::connect()
{
    if (m_db)
        return;
    const ConnectionParameters params = parseConnectionString(m_connectionString);
    if (params.dataSource.isEmpty())
        throw Error(QStringLiteral("No data source given in the connection string"));

    sqlite3 *db = nullptr;
    // Read-write, never create: a missing file must fail, not become an
    // empty database.
    const int rc = sqlite3_open_v2(params.dataSource.toUtf8().constData(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        QString message = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
        sqlite3_close(db);
        if (!QFileInfo::exists(params.dataSource))
            message = QStringLiteral("Could not find file '%1': %2").arg(params.dataSource, message);
        else
            message = QStringLiteral("Cannot open '%1': %2").arg(params.dataSource, message);
        throw Error(message);
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, 2000);

    auto fail = [&](const QString &what) {
        const QString message = QStringLiteral("Cannot open '%1': %2").arg(params.dataSource, what);
        sqlite3_close(db);
        throw Error(message);
    };

    // Reading the schema proves the file is a database; a rollback journal
    // keeps the whole database in the one file between transactions, so a
    // plain file copy of it is complete.
    // A 32 MB page cache keeps a bulk write (delete all, batch resize,
    // import) from spilling to the file before its transaction commits.
    char *err = nullptr;
    if (sqlite3_exec(db, "PRAGMA journal_mode=DELETE; PRAGMA foreign_keys=OFF; PRAGMA cache_size=-32768;", nullptr,
                     nullptr, &err) != SQLITE_OK) {
        const QString what = QString::fromUtf8(err ? err : sqlite3_errmsg(db));
        sqlite3_free(err);
        fail(what);
    }
    for (const QString &table : m_requiredTables) {
        sqlite3_stmt *stmt = nullptr;
        sqlite3_prepare_v2(db, "select 1 from sqlite_master where type='table' and name=?", -1, &stmt, nullptr);
        const QByteArray name = table.toUtf8();
        sqlite3_bind_text(stmt, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        const int step = sqlite3_step(stmt);
        sqlite3_finalize(stmt);
        if (step != SQLITE_ROW)
            fail(QStringLiteral("the file is not a card database (table '%1' is missing)").arg(table));
    }
    m_db = db;
    m_path = params.dataSource;
}

void Connection::disconnect()
{
    // Closing a query finalises its statements; the list is copied because
    // a query may detach itself while closing.
    const QList<Query *> queries = m_queries;
    for (Query *q : queries)
        q->close();
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_path.clear();
}

sqlite3 *Connection::handle() const
{
    if (!m_db)
        throw Error(QStringLiteral("Connection is not open"));
    return m_db;
}

void Connection::exec(const QString &sql)
{
    char *err = nullptr;
    if (sqlite3_exec(handle(), sql.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK) {
        const QString what = QString::fromUtf8(err ? err : sqlite3_errmsg(m_db));
        sqlite3_free(err);
        throw Error(what);
    }
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
    return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString();
}

bool Connection::inTransaction() const
{
    return m_db != nullptr && sqlite3_get_autocommit(m_db) == 0;
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
    // Immediate: takes the write lock now, so a later write cannot fail on it.
    connection.exec(QStringLiteral("BEGIN IMMEDIATE"));
    m_owner = true;
}

Transaction::~Transaction()
{
    if (!m_owner || m_done || !m_connection.connected())
        return;
    if (m_connection.inTransaction())
        sqlite3_exec(m_connection.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    m_connection.refreshQueries();
}

void Transaction::commit()
{
    if (!m_owner || m_done)
        return;
    m_done = true;
    char *err = nullptr;
    if (sqlite3_exec(m_connection.handle(), "COMMIT", nullptr, nullptr, &err) != SQLITE_OK) {
        const QString text = QString::fromUtf8(err ? err : sqlite3_errmsg(m_connection.handle()));
        sqlite3_free(err);
        if (m_connection.inTransaction())
            sqlite3_exec(m_connection.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        m_connection.refreshQueries();
        throw Error(text);
    }
}

ReadLock::ReadLock(Connection &connection) : m_connection(connection)
{
    if (connection.inTransaction())
        return; // the open transaction already holds at least this lock
    // A deferred transaction takes the shared lock with its first read and
    // keeps it until it ends. The read also plays back a journal that a
    // crashed writer left, so the file is whole while it is held.
    connection.exec(QStringLiteral("BEGIN DEFERRED"));
    try {
        connection.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    } catch (...) {
        sqlite3_exec(connection.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    m_owner = true;
}

ReadLock::~ReadLock()
{
    if (m_owner && m_connection.connected() && m_connection.inTransaction())
        sqlite3_exec(m_connection.handle(), "COMMIT", nullptr, nullptr, nullptr);
}

} // namespace tessary
