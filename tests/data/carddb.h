#pragma once

// Shared fixture code for the card database tests: a fresh card database in
// a temporary folder, a data module connected to it, and quick ways to add
// groups and members through the queries. With TESSARY_TEST_ENGINE=server
// in the environment the card database is a fresh database on the test
// server instead (tests/data/serverdb.h); the temporary folder is made all
// the same, for the files a test writes.

#include "data/datasrc.h"
#include "data/errors.h"
#include "data/pgengine.h"
#include "data/schema.h"
#include "data/serverschema.h"
#include "data/sqliteengine.h"
#include "serverdb.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace tessary::testing {

// A case about the card database file itself (its path, copies, journals):
// a server has no such file.
#define SKIP_ON_SERVER()                                                                                    \
    do {                                                                                                    \
        if (tessary::testing::CardDb::onServer())                                                            \
            QSKIP("about the card database file; a server database has none");                              \
    } while (false)

class CardDb
{
public:
    // `folder` is a sub-folder of the temporary folder (it may hold spaces).
    explicit CardDb(const QString &folder = QString())
    {
        if (!m_dir.isValid())
            throw Error(QStringLiteral("no temporary folder"));
        QString base = m_dir.path();
        if (!folder.isEmpty()) {
            base += QLatin1Char('/') + folder;
            if (!QDir().mkpath(base))
                throw Error(QStringLiteral("cannot make ") + base);
        }
        m_path = base + QStringLiteral("/cardinfo.mdb");
        ds = std::make_unique<Tdsrc>();
        if (onServer()) {
            m_server = std::make_unique<ServerDb>();
            PgEngine engine(m_server->conninfo());
            prepareServerDatabase(engine, CardDatabaseSeed{});
            ds->src.setConnectionString(connectionString());
        } else {
            createCardDatabase(m_path, CardDatabaseSeed{});
            ds->src.setConnectionString(connectionString());
        }
        ds->src.connect();
    }

    // True when this run's card databases are on the test server.
    static bool onServer() { return qEnvironmentVariable("TESSARY_TEST_ENGINE") == QLatin1String("server"); }

    // The card database file (on a server: a file name in the folder that
    // nothing creates).
    QString path() const { return m_path; }
    // The connection string of this card database, for a second connection.
    QString connectionString() const
    {
        return m_server ? serverConnectionString(m_server->conninfo()) : cardConnectionString(m_path);
    }
    // The server's connection string; empty for a file.
    QString conninfo() const { return m_server ? m_server->conninfo() : QString(); }

    // A new connection of its own to this card database's engine, outside
    // the data module: it sees only what was committed.
    std::unique_ptr<SqlEngine> otherConnection() const
    {
        if (m_server)
            return std::make_unique<PgEngine>(m_server->conninfo());
        return std::make_unique<SqliteEngine>(m_path);
    }

    // Makes the engine refuse every `event` ("insert", "update", "delete")
    // on stafftbl where `condition` (on the old or new row: "old.name =
    // 'C'"; empty for every row) holds, with the message `message`; under
    // the trigger name `name`.
    void refuse(const QString &name, const QString &event, const QString &condition, const QString &message,
                const QString &table = QStringLiteral("stafftbl"))
    {
        if (m_server) {
            ds->src.exec(QStringLiteral("create function %1() returns trigger language plpgsql as "
                                        "$$ begin raise exception '%2'; end $$")
                             .arg(name, message));
            ds->src.exec(QStringLiteral("create trigger %1 before %2 on %4 for each row %3 execute function %1()")
                             .arg(name, event, condition.isEmpty() ? QString() : QStringLiteral("when (%1)").arg(condition),
                                  table));
        } else {
            ds->src.exec(QStringLiteral("create trigger %1 before %2 on %5 %3 begin select raise(abort, '%4'); end")
                             .arg(name, event, condition.isEmpty() ? QString() : QStringLiteral("when ") + condition,
                                  message, table));
        }
    }
    void stopRefusing(const QString &name, const QString &table = QStringLiteral("stafftbl"))
    {
        ds->src.exec(m_server ? QStringLiteral("drop trigger %1 on %2").arg(name, table)
                              : QStringLiteral("drop trigger %1").arg(name));
    }

    // After rows were written with keys of their own: the next new row's
    // key follows the largest, on a server as the file does by itself.
    void keysWritten()
    {
        if (m_server)
            syncServerKeys(ds->src.engine());
    }

    // The rows `sql` answers as committed, read on a connection of its own;
    // values as stored (integers, doubles, texts, byte blocks, null).
    QList<QVariantList> storedRows(const QString &sql) const
    {
        auto engine = otherConnection();
        auto stmt = engine->prepare(sql);
        QList<QVariantList> out;
        while (stmt->next()) {
            QVariantList row;
            for (int c = 0; c < stmt->columnCount(); ++c) {
                switch (stmt->kind(c)) {
                case ValueKind::Null: row << QVariant(); break;
                case ValueKind::Integer: row << QVariant(qlonglong(stmt->integer(c))); break;
                case ValueKind::Real: row << QVariant(stmt->real(c)); break;
                case ValueKind::Blob: row << QVariant(stmt->bytes(c)); break;
                case ValueKind::Text: row << QVariant(stmt->text(c)); break;
                }
            }
            out << row;
        }
        return out;
    }
    // The first value of the first row; invalid when there is none.
    QVariant stored(const QString &sql) const
    {
        const QList<QVariantList> rows = storedRows(sql);
        return rows.isEmpty() || rows.first().isEmpty() ? QVariant() : rows.first().first();
    }
    // Statements on a connection of their own, as another writer's.
    void execElsewhere(const QString &sql) const { otherConnection()->exec(sql); }

    // The integer answer of `sql` (its first column of its first row) as
    // committed: read on a connection of its own; -1 when there is no row.
    int committed(const QString &sql) const
    {
        auto engine = otherConnection();
        auto stmt = engine->prepare(sql);
        return stmt->next() ? int(stmt->integer(0)) : -1;
    }
    QString folder() const { return m_dir.path(); }

    // A group row through QGroup; answers its seq.
    int addGroup(const QString &name, int gid)
    {
        Query &q = ds->QGroup;
        if (!q.isOpen())
            q.open();
        q.append();
        q.fieldByName(QStringLiteral("gdesc")).setString(name);
        q.fieldByName(QStringLiteral("gid")).setInteger(gid);
        q.post();
        return q.fieldByName(QStringLiteral("seq")).asInteger();
    }

    // A member row through QAllStaff; answers its seq.
    int addMember(const QString &name, int gid, const QByteArray &photo = QByteArray())
    {
        Query &q = ds->QAllStaff;
        if (!q.isOpen())
            q.open();
        q.append();
        q.fieldByName(QStringLiteral("name")).setString(name);
        q.fieldByName(QStringLiteral("gid")).setInteger(gid);
        if (!photo.isNull())
            q.fieldByName(QStringLiteral("photo")).setBytes(photo);
        q.post();
        return q.fieldByName(QStringLiteral("seq")).asInteger();
    }

    // The names of a query's rows in result order, leaving the last row current.
    static QStringList names(Query &q, const QString &column = QStringLiteral("name"))
    {
        QStringList out;
        for (q.first(); !q.eof(); q.next())
            out << q.fieldByName(column).asString();
        return out;
    }

    static void reopen(Query &q, const QStringList &sql)
    {
        q.setSql(sql);
        q.open();
    }

private:
    // Declared before the data module so the folder outlives the connection.
    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<ServerDb> m_server;

public:
    std::unique_ptr<Tdsrc> ds;
};

} // namespace tessary::testing
