#include "databasechoice.h"

#include "errors.h"
#include "pgengine.h"
#include "settings.h"

#include <libpq-fe.h>

namespace tessary {

namespace {

// The tables a card database holds (as the data module requires them).
const char *const kCardTables[] = {"grptbl", "stafftbl", "param", "fields"};

qint64 countRows(SqlEngine &engine, const QString &table)
{
    auto statement = engine.prepare(QStringLiteral("select count(*) from ") + table);
    return statement->next() ? statement->integer(0) : 0;
}

} // namespace

ServerAddress parseServerAddress(const QString &conninfo)
{
    ServerAddress out;
    char *error = nullptr;
    PQconninfoOption *options = PQconninfoParse(conninfo.toUtf8().constData(), &error);
    if (!options) {
        out.error = error ? QString::fromUtf8(error).trimmed() : QStringLiteral("out of memory");
        PQfreemem(error);
        return out;
    }
    out.valid = true;
    for (PQconninfoOption *o = options; o->keyword; ++o) {
        if (!o->val || !*o->val)
            continue;
        const QByteArray keyword(o->keyword);
        if (keyword == "password")
            out.hasPassword = true;
        else if (keyword == "host")
            out.host = QString::fromUtf8(o->val);
        else if (keyword == "hostaddr" && out.host.isEmpty())
            out.host = QString::fromUtf8(o->val);
        else if (keyword == "dbname")
            out.dbname = QString::fromUtf8(o->val);
    }
    PQconninfoFree(options);
    return out;
}

QString passwordRefusedText()
{
    return QStringLiteral("The connection string holds a password, and Tessary never stores one. Remove it "
                          "and put the password in ~/.pgpass (or in the file that PGPASSFILE names) instead.");
}

QString serverLocation(const QString &conninfo)
{
    const ServerAddress address = parseServerAddress(conninfo);
    if (!address.valid)
        return conninfo.trimmed();
    const QString dbname = address.dbname.isEmpty() ? QStringLiteral("the default database") : address.dbname;
    const QString host = address.host.isEmpty() ? QStringLiteral("the default server") : address.host;
    return dbname + QStringLiteral(" on ") + host;
}

QString readServerSetting()
{
    return ReadStringSetting(kServerSetting, QString()).trimmed();
}

void saveServerSetting(const QString &conninfo)
{
    const QString text = conninfo.trimmed();
    if (!text.isEmpty()) {
        const ServerAddress address = parseServerAddress(text);
        if (!address.valid)
            throw Error(QStringLiteral("The connection string cannot be read: ") + address.error);
        if (address.hasPassword)
            throw Error(passwordRefusedText());
    }
    WriteStringSetting(kServerSetting, text);
}

QString ServerProbe::description() const
{
    switch (outcome) {
    case Outcome::Connected:
        return QStringLiteral("Connected: card database %1, %2 groups, %3 members").arg(location).arg(groups).arg(members);
    case Outcome::NotPrepared:
        return QStringLiteral("Connected to %1, but it is not a card database yet: run tessary-mkdb --server to "
                              "prepare it.")
            .arg(location);
    case Outcome::Failed:
        break;
    }
    return error;
}

ServerProbe probeServer(const QString &conninfo)
{
    ServerProbe probe;
    const ServerAddress address = parseServerAddress(conninfo);
    if (!address.valid) {
        probe.error = QStringLiteral("The connection string cannot be read: ") + address.error;
        return probe;
    }
    try {
        PgEngine engine(conninfo.trimmed());
        probe.location = engine.location();
        for (const char *table : kCardTables) {
            if (!engine.hasTable(QString::fromLatin1(table))) {
                probe.outcome = ServerProbe::Outcome::NotPrepared;
                return probe;
            }
        }
        probe.groups = countRows(engine, QStringLiteral("grptbl"));
        probe.members = countRows(engine, QStringLiteral("stafftbl"));
        probe.outcome = ServerProbe::Outcome::Connected;
    } catch (const Error &e) {
        probe.outcome = ServerProbe::Outcome::Failed;
        probe.error = e.message();
    }
    return probe;
}

} // namespace tessary
