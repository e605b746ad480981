// The server engine when its connection is lost (the server restarted, the
// backend ended): what is sent again on a new connection, what fails with
// ServerLostError, and what belongs to the new connection (prepared
// statements, LISTEN).
#include "data/pgengine.h"
#include "data/serverschema.h"
#include "serverdb.h"

#include <QtTest>

#include <poll.h>

using namespace tessary;
using tessary::testing::ServerDb;

namespace {

qint64 number(SqlEngine &engine, const QString &sql)
{
    auto st = engine.prepare(sql);
    if (!st->next())
        throw Error(QStringLiteral("no row: ") + sql);
    return st->integer(0);
}

// Ends the backend of `victim` from another connection and waits until the
// victim's socket is closed by the server (the goodbye has arrived).
void endBackend(PgEngine &victim, const QString &conninfo)
{
    PgEngine admin(conninfo);
    admin.exec(QStringLiteral("select pg_terminate_backend(%1)").arg(victim.backendPid()));
    pollfd closed{victim.socket(), POLLRDHUP, 0};
    QVERIFY(::poll(&closed, 1, 5000) == 1);
}

// What a lost connection is met with.
enum class Lost { Idle, ReadOnTheWay, WriteOnTheWay, InTransaction };

// A read that ends its own backend the first time it runs.
const char *const kReadEndingItself =
    "select case when nextval('once') = 1 then pg_terminate_backend(pg_backend_pid()) else true end";
// A write that ends its own backend before it is done.
const char *const kWriteEndingItself =
    "insert into stafftbl (name) values ((select case when pg_terminate_backend(pg_backend_pid())"
    " then (select 'Ann' from pg_sleep(0.5)) end))";

} // namespace

Q_DECLARE_METATYPE(Lost)

class TestPgReconnect : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        if (!ServerDb::available())
            QSKIP("TESSARY_TEST_SERVER names no server");
    }
    void lostConnection_data();
    void lostConnection();
    void reconnectsInTheBackground();
};

void TestPgReconnect::lostConnection_data()
{
    QTest::addColumn<Lost>("lost");
    QTest::addColumn<QString>("error");  // empty: the statement goes through
    QTest::addColumn<int>("annRows");    // rows the statements stored
    QTest::addColumn<int>("losses");     // times the owner heard of a loss
    QTest::newRow("closed while idle: a write goes to a new connection") << Lost::Idle << QString() << 1 << 0;
    QTest::newRow("a read lost on the way is sent once more") << Lost::ReadOnTheWay << QString() << 0 << 0;
    QTest::newRow("a write lost on the way is not sent again")
        << Lost::WriteOnTheWay << QStringLiteral("The card database server could not be reached. Nothing was saved.")
        << 0 << 1;
    QTest::newRow("a transaction is lost whole")
        << Lost::InTransaction << QStringLiteral("The card database server could not be reached. Nothing was saved.")
        << 0 << 1;
}

void TestPgReconnect::lostConnection()
{
    QFETCH(Lost, lost);
    QFETCH(QString, error);
    QFETCH(int, annRows);
    QFETCH(int, losses);
    ServerDb db;
    PgEngine engine(db.conninfo());
    prepareServerDatabase(engine, CardDatabaseSeed{});
    engine.exec(QStringLiteral("create sequence once"));
    engine.listen(kServerChangeChannel);
    int lostTold = 0, reconnectedTold = 0;
    engine.setEvents({[&] { ++lostTold; }, [&] { ++reconnectedTold; }, {}});
    // Prepared on the first connection, used again on the new one.
    auto counting = engine.prepare(QStringLiteral("select count(*) from stafftbl where name = ?"));
    counting->bind(1, QStringLiteral("Ann"));
    QVERIFY(counting->next());
    QCOMPARE(engine.tableColumns(QStringLiteral("stafftbl")).size(), size_t(11));
    const int firstPid = engine.backendPid();

    QString got;
    try {
        switch (lost) {
        case Lost::Idle:
            endBackend(engine, db.conninfo());
            engine.exec(QStringLiteral("insert into stafftbl (name) values ('Ann')"));
            break;
        case Lost::ReadOnTheWay:
            QCOMPARE(number(engine, QString::fromLatin1(kReadEndingItself)), 1);
            // Sent twice: once ending the backend, once on the new one.
            QCOMPARE(number(engine, QStringLiteral("select last_value from once")), 2);
            break;
        case Lost::WriteOnTheWay:
            engine.exec(QString::fromLatin1(kWriteEndingItself));
            break;
        case Lost::InTransaction:
            engine.beginWrite();
            engine.exec(QStringLiteral("insert into stafftbl (name) values ('Ann')"));
            endBackend(engine, db.conninfo());
            try {
                engine.exec(QStringLiteral("insert into stafftbl (name) values ('Ann')"));
            } catch (const ServerLostError &) {
                // Nothing reconnects inside it: the rest of it would run alone.
                QVERIFY(engine.inTransaction());
                QVERIFY_THROWS_EXCEPTION(ServerLostError, number(engine, QStringLiteral("select 1")));
                engine.rollback();
                throw;
            }
            break;
        }
    } catch (const ServerLostError &e) {
        got = e.message();
        QCOMPARE(engine.lastError(), got);
    }
    QCOMPARE(got, error);
    QCOMPARE(lostTold, losses);

    // The next statement runs on a new connection, where the statement
    // prepared before is prepared again and the table columns read again.
    counting->reset();
    QVERIFY(counting->next());
    QCOMPARE(counting->integer(0), annRows);
    QCOMPARE(engine.tableColumns(QStringLiteral("stafftbl")).size(), size_t(11));
    QVERIFY(engine.backendPid() != firstPid);
    QCOMPARE(reconnectedTold, 1);
    QVERIFY(!engine.inTransaction());

    // It listens again: another station's write is heard.
    PgEngine writer(db.conninfo());
    writer.exec(QStringLiteral("insert into grptbl (gid, gdesc) values (9, 'Sales')"));
    std::vector<PgEngine::Notification> heard;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (auto &n : engine.takeNotifications())
                if (n.pid == writer.backendPid())
                    heard.push_back(n);
            return !heard.empty();
        }(),
        5000);
    QCOMPARE(heard.front().payload, QStringLiteral("grptbl"));
}

void TestPgReconnect::reconnectsInTheBackground()
{
    ServerDb db;
    PgEngine engine(db.conninfo());
    prepareServerDatabase(engine, CardDatabaseSeed{});
    int reconnectedTold = 0;
    engine.setEvents({{}, [&] { ++reconnectedTold; }, {}});
    endBackend(engine, db.conninfo());
    // While the owner reconnects, statements fail at once, and say whether
    // they would have written.
    engine.setReconnectingInBackground(true);
    QVERIFY_THROWS_EXCEPTION(ServerLostError, number(engine, QStringLiteral("select 1")));
    try {
        engine.exec(QStringLiteral("insert into stafftbl (name) values ('Ann')"));
        QFAIL("a write went through while the server was being reached");
    } catch (const ServerLostError &e) {
        QVERIFY(e.writing());
    }
    QVERIFY(!engine.connectionOk());

    // Steps never wait long; they end connected.
    QElapsedTimer clock;
    clock.start();
    PgEngine::Reconnect state = PgEngine::Reconnect::Waiting;
    while (state != PgEngine::Reconnect::Connected && clock.elapsed() < 5000) {
        QElapsedTimer step;
        step.start();
        state = engine.reconnectStep();
        QVERIFY2(step.elapsed() < 200, qPrintable(QString::number(step.elapsed())));
    }
    QCOMPARE(state, PgEngine::Reconnect::Connected);
    QCOMPARE(reconnectedTold, 1);
    QCOMPARE(engine.reconnectStep(), PgEngine::Reconnect::Connected); // nothing more to do
    QCOMPARE(number(engine, QStringLiteral("select count(*) from stafftbl")), 0);
}

QTEST_GUILESS_MAIN(TestPgReconnect)
#include "tst_pgreconnect.moc"
