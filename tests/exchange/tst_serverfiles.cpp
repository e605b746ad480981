// Backup and restore on either engine compared value by value: a backup
// holds every column of every table as stored, a restore brings them back,
// and on a server the backup reads one snapshot and a failed restore
// changes nothing.

#include "exchangefixture.h"

#include "data/connection.h"
#include "data/pgengine.h"
#include "data/progresssink.h"
#include "data/prompts.h"
#include "exchange/databasefiles.h"
#include "exchange/serverfiles.h"

#include <QSignalSpy>

#include <functional>

using namespace tessary;
using namespace tessary::testing;

namespace {

// Rows of every kind: texts with quotes and a second script, empty and
// null values, photos and the layout's font bytes, dates as stored text,
// keys with gaps.
void fill(Connection &c, int members)
{
    QByteArray photo(20000, Qt::Uninitialized);
    for (int i = 0; i < photo.size(); ++i)
        photo[i] = char((i * 7 + 3) & 0xFF);
    Transaction t(c);
    c.exec(QStringLiteral("insert into grptbl (seq, gid, gdesc) values (5, 3, 'Gate ''A'''), (9, -7, ''), (12, 8, null)"));
    const std::unique_ptr<SqlStatement> layout =
        c.engine().prepare(QStringLiteral("update param set font = ?1, position = ?2, custom = ?3"));
    layout->bind(1, QByteArray::fromHex("00ff00"));
    layout->bind(2, 12.375);
    layout->bind(3, true);
    layout->next();
    c.exec(QStringLiteral("insert into fields (fname, dname, uname) values ('x', '名字', null)"));
    const std::unique_ptr<SqlStatement> design = c.engine().prepare(
        QStringLiteral("insert into carddesign (designkey, version, document) values ('layout', 1, ?1)"));
    design->bind(1, QByteArray(R"({"format":"tessary-card-design","version":1,"stock":{"id":"ID-1 card"}})"));
    design->next();
    const std::unique_ptr<SqlStatement> add = c.engine().prepare(QStringLiteral(
        "insert into stafftbl (seq, gid, cardno, name, cname, staffno, post, datejoin, expiry, remark, photo)"
        " values (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)"));
    for (int i = 0; i < members; ++i) {
        add->reset();
        const QVariant values[] = {qlonglong(i * 2 + 10), i % 3, 100000 + i, QStringLiteral("Member %1").arg(i),
                                   i % 2 ? QStringLiteral("陳大文") : QString(), QStringLiteral(""),
                                   QVariant(), QStringLiteral("2020-01-%1 00:00:00").arg(i % 28 + 1, 2, 10, QLatin1Char('0')),
                                   QStringLiteral("2030-12-31 23:59:59"), QStringLiteral("r\"1';"),
                                   i % 5 ? photo : (i % 10 ? QByteArray("", 0) : QByteArray())};
        for (int k = 0; k < 11; ++k)
            add->bind(k + 1, values[k]);
        add->next();
    }
    t.commit();
}

// A progress sink that runs `action` at its `at`-th step.
class StepHook : public CountingProgress
{
public:
    StepHook(int at, std::function<void()> action) : m_at(at), m_action(std::move(action)) {}
    void StepIt() override
    {
        CountingProgress::StepIt();
        if (steps() == m_at)
            m_action();
    }

private:
    int m_at;
    std::function<void()> m_action;
};

} // namespace

class TestServerFiles : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void roundTripsKeepEveryValue();
    void failedRestoreChangesNothing();
    void backupReadsOneSnapshot();
    void backupWithoutTheDesignTable();

private:
    ScriptedPrompts &p() { return **m_prompts; }
    QString file(const QString &name) const { return m_db->folder() + QLatin1Char('/') + name; }
    bool backup(const QString &target, ProgressSink *progress = nullptr)
    {
        p().fileAnswers.push_back(target);
        p().messageAnswers.push_back(MessageResult::Ok);
        return DatabaseFiles(*m_db->ds, m_db->path(), progress).Backup();
    }
    bool restore(const QString &source, ProgressSink *progress = nullptr)
    {
        p().fileAnswers.push_back(source);
        p().messageAnswers.push_back(MessageResult::Ok);
        return DatabaseFiles(*m_db->ds, m_db->path(), progress).Restore();
    }
    QStringList live() { return dump(m_db->ds->src.engine()); }

    std::unique_ptr<CardDb> m_db;
    std::unique_ptr<ScopedScriptedPrompts> m_prompts;
};

void TestServerFiles::init()
{
    m_db = std::make_unique<CardDb>();
    m_prompts = std::make_unique<ScopedScriptedPrompts>();
}

void TestServerFiles::cleanup()
{
    m_prompts.reset();
    m_db.reset();
}

void TestServerFiles::roundTripsKeepEveryValue()
{
    // More members than one batch of the server copy.
    const int members = kServerCopyBatch + 37;
    fill(m_db->ds->src, members);
    m_db->ds->src.exec(QStringLiteral("delete from stafftbl where seq = 30"));
    const QStringList original = live();

    // Live database -> file: every value of every table, the file owner-only.
    CountingProgress progress;
    QVERIFY(backup(file(QStringLiteral("backup.mdb")), &progress));
    QCOMPARE(dumpFile(file(QStringLiteral("backup.mdb"))), original);
    QCOMPARE(fileMode(file(QStringLiteral("backup.mdb"))), 0600);
    if (m_db->ds->src.isServer())
        QCOMPARE(progress.steps(), members - 1);
    QVERIFY(!m_db->ds->src.inTransaction());

    // Another file -> live database, then the backup back again.
    const QString foreign = file(QStringLiteral("foreign.mdb"));
    createCardDatabase(foreign, CardDatabaseSeed{});
    {
        Connection c;
        c.setConnectionString(cardConnectionString(foreign));
        c.connect();
        fill(c, 3);
    }
    const struct
    {
        QString source;
        QStringList expected;
    } restores[] = {{foreign, dumpFile(foreign)}, {file(QStringLiteral("backup.mdb")), original}};
    for (const auto &r : restores) {
        QSignalSpy announced(&m_db->ds->src, &Connection::dataChanged);
        QVERIFY(restore(r.source));
        QCOMPARE(live(), r.expected);
        QCOMPARE(announced.count(), 1);
        QVERIFY(m_db->ds->QGroup.isOpen() && m_db->ds->QStaff.isOpen());
    }
    // New rows take keys past the restored ones.
    const int seq = m_db->addMember(QStringLiteral("After"), 0);
    QCOMPARE(seq, 10 + 2 * (members - 1) + 1);
}

// A backup made before the design table existed restores as it was: no
// design is left behind from the database it replaces.
void TestServerFiles::backupWithoutTheDesignTable()
{
    fill(m_db->ds->src, 2);
    const QString old = file(QStringLiteral("old.mdb"));
    createCardDatabase(old, CardDatabaseSeed{});
    {
        Connection c;
        c.setConnectionString(cardConnectionString(old));
        c.connect();
        c.exec(QStringLiteral("drop table carddesign"));
    }
    const QStringList expected = dumpFile(old);
    QVERIFY(!expected.join(QLatin1Char(' ')).contains(QStringLiteral("carddesign")));
    QVERIFY(restore(old));
    QCOMPARE(live(), expected);
    QVERIFY(p().messages().filter(QStringLiteral("cannot")).isEmpty());
}

void TestServerFiles::failedRestoreChangesNothing()
{
    if (!CardDb::onServer())
        QSKIP("the file's restore swaps whole files; its failures are tested in tst_exchange_databasefiles");
    fill(m_db->ds->src, 20);
    const QStringList before = live();

    PgEngine &engine = static_cast<PgEngine &>(m_db->ds->src.engine());
    const QString conninfo = m_db->conninfo();
    const int pid = engine.backendPid();
    const struct
    {
        const char *what;
        const char *change;   // made to the file to restore
        int killAtStep;       // the connection is ended at this member (0: never)
        const char *reason;   // part of the message shown
    } cases[] = {
        {"two groups with one gid", "insert into grptbl (gid, gdesc) values (4, 'A'), (4, 'B')", 0, "grptbl_gid_key"},
        {"a name longer than the server takes", "update stafftbl set name = printf('%.300c', 'x') where seq = 14", 0,
         "check"},
        {"a lost connection", "update stafftbl set post = 'p'", 8, "The card database server could not be reached."},
    };
    for (const auto &c : cases) {
        const QString source = file(QStringLiteral("bad.mdb"));
        QFile::remove(source);
        createCardDatabase(source, CardDatabaseSeed{});
        {
            Connection f;
            f.setConnectionString(cardConnectionString(source));
            f.connect();
            fill(f, 12);
            f.exec(QString::fromUtf8(c.change));
        }
        StepHook killer(c.killAtStep, [&] {
            PgEngine other(conninfo);
            other.exec(QStringLiteral("select pg_terminate_backend(%1)").arg(pid));
        });
        p().clear();
        QVERIFY2(!restore(source, &killer), c.what);
        QVERIFY2(p().messages().last().startsWith(QStringLiteral("Database cannot be loaded.")), c.what);
        QVERIFY2(p().messages().last().contains(QLatin1String(c.reason)), qPrintable(p().messages().last()));
        // What another station sees, and what this one sees while it still can.
        PgEngine other(conninfo);
        QCOMPARE(dump(other), before);
        if (c.killAtStep == 0)
            QCOMPARE(live(), before);
    }
}

void TestServerFiles::backupReadsOneSnapshot()
{
    if (!CardDb::onServer())
        QSKIP("the file's read lock keeps writers out for the whole backup (tst_exchange_databasefiles)");
    fill(m_db->ds->src, kServerCopyBatch * 2);
    const QStringList before = live();

    // At the first member another station adds a member and a group, changes
    // a member in the last batch and deletes one.
    PgEngine other(m_db->conninfo());
    StepHook writer(1, [&] {
        other.exec(QStringLiteral("insert into stafftbl (name) values ('Later');"
                                  "insert into grptbl (gid, gdesc) values (99, 'Later');"
                                  "update stafftbl set post = 'changed' where seq = (select max(seq) from stafftbl "
                                  "where name <> 'Later');"
                                  "delete from stafftbl where seq = 12"));
    });
    QVERIFY(backup(file(QStringLiteral("snapshot.mdb")), &writer));
    QCOMPARE(writer.steps(), kServerCopyBatch * 2);
    QCOMPARE(dumpFile(file(QStringLiteral("snapshot.mdb"))), before);
    QVERIFY(live() != before); // the writes themselves were kept
}

QTEST_GUILESS_MAIN(TestServerFiles)
#include "tst_serverfiles.moc"
