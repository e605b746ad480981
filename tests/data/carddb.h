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
#include "serverdb.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace tessary::testing {

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
