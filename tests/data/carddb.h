#pragma once

// Shared fixture code for the card database tests: a fresh card database in
// a temporary folder, a data module connected to it, and quick ways to add
// groups and members through the queries.

#include "data/datasrc.h"
#include "data/errors.h"
#include "data/schema.h"

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
        createCardDatabase(m_path, CardDatabaseSeed{});
        ds = std::make_unique<Tdsrc>();
        ds->src.setConnectionString(cardConnectionString(m_path));
        ds->src.connect();
    }

    QString path() const { return m_path; }
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

public:
    std::unique_ptr<Tdsrc> ds;
};

} // namespace tessary::testing
