// The server engine when its connection is lost (the server restarted, the
// backend ended): what goes to a new connection, and what fails with
// ServerLostError. (LISTEN again: tst_app_reconnect.)
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
    return st->next() ? st->integer(0) : -1;
}

// Ends the backend of `victim`; waits until its socket is closed.
void endBackend(PgEngine &victim, const QString &conninfo)
{
    PgEngine(conninfo).exec(QStringLiteral("select pg_terminate_backend(%1)").arg(victim.backendPid()));
    pollfd closed{victim.socket(), POLLRDHUP, 0};
    QVERIFY(::poll(&closed, 1, 5000) == 1);
}

enum class Lost { Idle, ReadOnTheWay, WriteOnTheWay, InTransaction };

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
    const QString notSaved = QStringLiteral("The card database server could not be reached. Nothing was saved.");
    QTest::addColumn<Lost>("lost");
    QTest::addColumn<QString>("error"); // empty: the statement goes through
    QTest::addColumn<int>("annRows");   // rows stored
    QTest::newRow("closed while idle: a write goes to a new connection") << Lost::Idle << QString() << 1;
    QTest::newRow("a read lost on the way is sent once more") << Lost::ReadOnTheWay << QString() << 0;
    QTest::newRow("a write lost on the way is not sent again") << Lost::WriteOnTheWay << notSaved << 0;
    QTest::newRow("a transaction is lost whole") << Lost::InTransaction << notSaved << 0;
}

void TestPgReconnect::lostConnection()
{
    QFETCH(Lost, lost);
    QFETCH(QString, error);
    QFETCH(int, annRows);
    ServerDb db;
    PgEngine engine(db.conninfo());
    prepareServerDatabase(engine, CardDatabaseSeed{});
    engine.exec(QStringLiteral("create sequence once"));
    int lostTold = 0, reconnectedTold = 0;
    engine.setEvents({[&] { ++lostTold; }, [&] { ++reconnectedTold; }, {}});
    // Prepared on the first connection, run again on the new one.
    auto counting = engine.prepare(QStringLiteral("select count(*) from stafftbl where name = 'Ann'"));
    QVERIFY(counting->next());
    const int firstPid = engine.backendPid();

    QString got;
    try {
        switch (lost) {
        case Lost::Idle:
            endBackend(engine, db.conninfo());
            engine.exec(QStringLiteral("insert into stafftbl (name) values ('Ann')"));
            break;
        case Lost::ReadOnTheWay: // ends its own backend the first time only
            QCOMPARE(number(engine, QStringLiteral("select case when nextval('once') = 1 then "
                                                   "pg_terminate_backend(pg_backend_pid()) else true end")),
                     1);
            QCOMPARE(number(engine, QStringLiteral("select last_value from once")), 2);
            break;
        case Lost::WriteOnTheWay: // ends its own backend before it is done
            engine.exec(QStringLiteral("insert into stafftbl (name) values ((select case when pg_terminate_backend("
                                       "pg_backend_pid()) then (select 'Ann' from pg_sleep(0.5)) end))"));
            break;
        case Lost::InTransaction:
            engine.beginWrite();
            engine.exec(QStringLiteral("insert into stafftbl (name) values ('Ann')"));
            endBackend(engine, db.conninfo());
            const auto end = qScopeGuard([&] {
                // Nothing reconnects inside it: the rest of it would run alone.
                QVERIFY(engine.inTransaction());
                QVERIFY_THROWS_EXCEPTION(ServerLostError, number(engine, QStringLiteral("select 1")));
                engine.rollback();
            });
            engine.exec(QStringLiteral("insert into stafftbl (name) values ('Ann')"));
            break;
        }
    } catch (const ServerLostError &e) {
        got = e.message();
    }
    QCOMPARE(got, error);
    QCOMPARE(lostTold, error.isEmpty() ? 0 : 1);

    // The statement prepared before runs on the new connection.
    counting->reset();
    QVERIFY(counting->next());
    QCOMPARE(counting->integer(0), annRows);
    QVERIFY(engine.backendPid() != firstPid);
    QCOMPARE(reconnectedTold, 1);
}

void TestPgReconnect::reconnectsInTheBackground()
{
    ServerDb db;
    PgEngine engine(db.conninfo());
    endBackend(engine, db.conninfo());
    // While its owner reconnects, statements fail at once; no step waits long.
    engine.setReconnectingInBackground(true);
    QVERIFY_THROWS_EXCEPTION(ServerLostError, number(engine, QStringLiteral("select 1")));
    QElapsedTimer clock, step;
    clock.start();
    auto state = PgEngine::Reconnect::Waiting;
    while (state != PgEngine::Reconnect::Connected && clock.elapsed() < 5000) {
        step.start();
        state = engine.reconnectStep();
        QVERIFY(step.elapsed() < 200);
    }
    QCOMPARE(number(engine, QStringLiteral("select 1")), 1);
}

QTEST_GUILESS_MAIN(TestPgReconnect)
#include "tst_pgreconnect.moc"
