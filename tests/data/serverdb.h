#pragma once

// A fresh database on the test server for one test: created under a unique
// name on construction, dropped (its connections ended) on destruction. The
// server is named by the environment variable TESSARY_TEST_SERVER, a
// connection string of its maintenance database, for example
// "host=/tmp/tpg user=tessary dbname=postgres". Without it the tests that
// need a server are skipped.

#include "data/errors.h"
#include "data/pgengine.h"

#include <QRegularExpression>

#include <atomic>

#include <unistd.h>

namespace tessary::testing {

class ServerDb
{
public:
    static QString maintenance() { return qEnvironmentVariable("TESSARY_TEST_SERVER"); }
    static bool available() { return !maintenance().isEmpty(); }

    // `ctype`: the database's character type (the card database wants C).
    explicit ServerDb(const QString &ctype = QStringLiteral("C"))
    {
        static std::atomic<int> counter{0};
        m_name = QStringLiteral("tessary_t_%1_%2").arg(::getpid()).arg(++counter);
        PgEngine admin(maintenance());
        admin.exec(QStringLiteral("create database %1 template template0 encoding 'UTF8' lc_collate 'C' lc_ctype '%2'")
                       .arg(m_name, ctype));
    }
    ~ServerDb()
    {
        try {
            PgEngine admin(maintenance());
            admin.exec(QStringLiteral("drop database if exists %1 with (force)").arg(m_name));
        } catch (const Error &e) {
            qWarning("Test database %s not dropped: %s", qPrintable(m_name), e.what());
        }
    }
    ServerDb(const ServerDb &) = delete;
    ServerDb &operator=(const ServerDb &) = delete;

    QString name() const { return m_name; }
    // The maintenance connection string with this database's name.
    QString conninfo() const { return withDatabase(maintenance(), m_name); }

    static QString withDatabase(const QString &conninfo, const QString &name)
    {
        QString out = conninfo;
        if (out.startsWith(QStringLiteral("postgres://")) || out.startsWith(QStringLiteral("postgresql://"))) {
            // scheme://[authority][/dbname][?params]
            static const QRegularExpression uri(QStringLiteral("^(postgres(?:ql)?://[^/?]*)(/[^?]*)?(\\?.*)?$"));
            const QRegularExpressionMatch m = uri.match(out);
            return m.captured(1) + QLatin1Char('/') + name + m.captured(3);
        }
        static const QRegularExpression dbname(QStringLiteral("\\bdbname\\s*=\\s*('(?:[^'\\\\]|\\\\.)*'|\\S+)"));
        if (out.contains(dbname))
            return out.replace(dbname, QStringLiteral("dbname=") + name);
        return out + QStringLiteral(" dbname=") + name;
    }

private:
    QString m_name;
};

} // namespace tessary::testing
