#include "benchdb.h"

#include "data/connection.h"
#include "data/errors.h"
#include "data/pgengine.h"
#include "data/schema.h"
#include "data/serverschema.h"
#include "data/sqliteengine.h"
#include "serverdb.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>

#include <cstdio>

namespace tessary {

namespace {

// Member n's group: the first 5,000 in group 1, the next 20,000 in group 2,
// the rest in turn over groups 3 to 17.
int groupOf(int n)
{
    if (n <= kSmallGroupSize)
        return kSmallGroup;
    if (n <= kSmallGroupSize + kLargeGroupSize)
        return kLargeGroup;
    return 3 + (n - kSmallGroupSize - kLargeGroupSize - 1) % 15;
}
// The same on the server, over the column `n`.
const char *kServerGroupOf = "case when n <= 5000 then 1 when n <= 25000 then 2 else 3 + (n - 25001) % 15 end";

QString nameOf(int n)
{
    return QStringLiteral("Member %1").arg(qint64(n) * 7919 % 1000000, 6, 10, QLatin1Char('0'));
}
const char *kServerNameOf = "'Member ' || lpad((n::bigint * 7919 % 1000000)::text, 6, '0')";

const char *kGroupRows = "insert into grptbl (gid, gdesc) values (?1, ?2)";

void addGroups(SqlEngine &engine)
{
    auto stmt = engine.prepare(QString::fromLatin1(kGroupRows));
    for (int g = 1; g <= 17; ++g) {
        stmt->bind(1, g);
        stmt->bind(2, QStringLiteral("Group %1").arg(g, 2, 10, QLatin1Char('0')));
        while (stmt->next()) {
        }
        stmt->reset();
    }
}

void report(const char *what, const QElapsedTimer &clock)
{
    std::printf("  %s in %.1f s\n", what, double(clock.elapsed()) / 1000.0);
    std::fflush(stdout);
}

class FileDatabase : public BenchDatabase
{
public:
    explicit FileDatabase(const QString &folder)
        : m_path(folder + QStringLiteral("/cardinfo.mdb")), m_copy(folder + QStringLiteral("/deletion.mdb"))
    {
    }
    ~FileDatabase() override
    {
        QFile::remove(m_copy);
        QFile::remove(m_path);
    }
    QString engineName() const override { return QStringLiteral("embedded"); }
    bool announcesChanges() const override { return false; }
    QString connectionString() const override { return cardConnectionString(m_path); }

    void fill() override
    {
        QElapsedTimer clock;
        clock.start();
        createCardDatabase(m_path, {});
        SqliteEngine engine(m_path);
        engine.beginWrite();
        addGroups(engine);
        auto stmt = engine.prepare(QStringLiteral(
            "insert into stafftbl (gid, cardno, name, cname, staffno, post, datejoin, expiry, remark, photo)"
            " values (?1, 0, ?2, ?2, ?3, 'Clerk', '2024-03-01 00:00:00', '2026-03-01 00:00:00', '', ?4)"));
        const QByteArray photo = benchPhoto();
        for (int n = 1; n <= kMembers; ++n) {
            stmt->bind(1, groupOf(n));
            stmt->bind(2, nameOf(n));
            stmt->bind(3, QString::number(100000 + n));
            stmt->bind(4, photo);
            while (stmt->next()) {
            }
            stmt->reset();
        }
        stmt.reset();
        engine.commit();
        engine.exec(QStringLiteral("ANALYZE"));
        report("file filled", clock);
    }

    QString deletionCopy() override
    {
        QFile::remove(m_copy);
        if (!QFile::copy(m_path, m_copy))
            throw Error(QStringLiteral("cannot copy ") + m_path);
        return cardConnectionString(m_copy);
    }

private:
    QString m_path;
    QString m_copy;
};

class ServerDatabase : public BenchDatabase
{
public:
    ServerDatabase() : m_db(std::make_unique<testing::ServerDb>()) {}
    QString engineName() const override { return QStringLiteral("server"); }
    bool announcesChanges() const override { return true; }
    QString connectionString() const override { return serverConnectionString(m_db->conninfo()); }

    void fill() override
    {
        QElapsedTimer clock;
        clock.start();
        PgEngine engine(m_db->conninfo());
        // A commit's cost depends on these: the private cluster of `make
        // bench` turns them off.
        auto settings = engine.prepare(QStringLiteral(
            "select current_setting('fsync'), current_setting('synchronous_commit'), current_setting('server_version')"));
        if (settings->next())
            std::printf("  PostgreSQL %s, fsync=%s, synchronous_commit=%s\n", qPrintable(settings->text(2)),
                        qPrintable(settings->text(0)), qPrintable(settings->text(1)));
        settings.reset();
        prepareServerDatabase(engine, CardDatabaseSeed{});
        engine.beginWrite();
        addGroups(engine);
        // Ten statements, so a slow server shows progress.
        for (int from = 1; from <= kMembers; from += kMembers / 10)
            insertMembers(engine, from, from + kMembers / 10 - 1);
        engine.commit();
        settle(engine);
        report("server filled", clock);
    }

    // Group 2 is refilled in place when a deletion emptied it; the table is
    // then vacuumed, as the server's autovacuum would, so every deletion
    // starts from the same state.
    QString deletionCopy() override
    {
        if (committedMembers(connectionString(), kLargeGroup) != kLargeGroupSize) {
            QElapsedTimer clock;
            clock.start();
            PgEngine engine(m_db->conninfo());
            engine.beginWrite();
            engine.exec(QStringLiteral("delete from stafftbl where gid = %1").arg(kLargeGroup));
            insertMembers(engine, kSmallGroupSize + 1, kSmallGroupSize + kLargeGroupSize);
            engine.commit();
            settle(engine);
            report("group 2 refilled", clock);
        }
        return connectionString();
    }

private:
    // Members `from` to `to` made by the server itself: the photo travels once.
    static void insertMembers(SqlEngine &engine, int from, int to)
    {
        auto stmt = engine.prepare(
            QStringLiteral("insert into stafftbl (gid, cardno, name, cname, staffno, post, datejoin, expiry, remark, photo)"
                           " select %1, 0, nm, nm, (100000 + n)::text, 'Clerk', '2024-03-01 00:00:00',"
                           " '2026-03-01 00:00:00', '', ?1"
                           " from (select n, %2 as nm from generate_series(?2::integer, ?3::integer) n) members")
                .arg(QLatin1String(kServerGroupOf), QLatin1String(kServerNameOf)));
        stmt->bind(1, benchPhoto());
        stmt->bind(2, from);
        stmt->bind(3, to);
        while (stmt->next()) {
        }
    }
    static void settle(SqlEngine &engine)
    {
        engine.exec(QStringLiteral("vacuum analyze stafftbl"));
        engine.exec(QStringLiteral("checkpoint"));
    }

    std::unique_ptr<testing::ServerDb> m_db;
};

} // namespace

std::unique_ptr<BenchDatabase> makeFileDatabase(const QString &folder)
{
    return std::make_unique<FileDatabase>(folder);
}

std::unique_ptr<BenchDatabase> makeServerDatabase()
{
    return std::make_unique<ServerDatabase>();
}

QByteArray benchPhoto()
{
    static const QByteArray photo = [] {
        QByteArray bytes(kPhotoBytes, '\0');
        QRandomGenerator noise(14);
        noise.fillRange(reinterpret_cast<quint32 *>(bytes.data()), kPhotoBytes / 4);
        bytes[0] = '\xFF';
        bytes[1] = '\xD8';
        bytes[2] = '\xFF';
        bytes[3] = '\xE0';
        bytes[kPhotoBytes - 2] = '\xFF';
        bytes[kPhotoBytes - 1] = '\xD9';
        return bytes;
    }();
    return photo;
}

int committedMembers(const QString &connectionString, int groupId)
{
    Connection connection;
    connection.setConnectionString(connectionString);
    connection.connect();
    auto stmt = connection.engine().prepare(QStringLiteral("select count(*) from stafftbl where gid = ?1"));
    stmt->bind(1, groupId);
    return stmt->next() ? int(stmt->integer(0)) : -1;
}

} // namespace tessary
