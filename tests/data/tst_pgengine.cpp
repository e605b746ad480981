// The server engine against a PostgreSQL server (TESSARY_TEST_SERVER), and
// the server's card database beside the embedded one.
#include "data/pgengine.h"
#include "data/serverschema.h"
#include "serverdb.h"

#include <QTemporaryDir>
#include <QtTest>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <limits>

using namespace tessary;
using tessary::testing::ServerDb;

#define NEED_SERVER()                                                                                                  \
    if (!ServerDb::available())                                                                                        \
    QSKIP("TESSARY_TEST_SERVER names no server")

namespace {

qint64 count(SqlEngine &engine, const QString &sql)
{
    auto st = engine.prepare(sql);
    if (!st->next())
        throw Error(QStringLiteral("no row: ") + sql);
    return st->integer(0);
}

QString errorOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const Error &e) {
        return e.message();
    }
    return QString();
}

// The column names, declared types and keys of a table of an SQLite file.
std::vector<TableColumn> embeddedColumns(sqlite3 *db, const QString &table)
{
    std::vector<TableColumn> out;
    sqlite3_stmt *st = nullptr;
    const QByteArray sql = QStringLiteral("pragma table_info(%1)").arg(table).toUtf8();
    sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW) {
        out.push_back(TableColumn{QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 1))),
                                  QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 2))),
                                  sqlite3_column_int(st, 5) != 0});
    }
    sqlite3_finalize(st);
    return out;
}

QStringList embeddedNames(sqlite3 *db, const char *sql)
{
    QStringList out;
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW)
        out << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    return out;
}

} // namespace

class TestPgEngine : public QObject
{
    Q_OBJECT

private slots:
    void placeholders_data();
    void placeholders();
    void connectFailureSaysWhy_data();
    void connectFailureSaysWhy();

    void connectionSettings_data();
    void connectionSettings();
    void valuesRoundTrip_data();
    void valuesRoundTrip();
    void rowsAffectedCountsChangedRows();
    void errorsCarryTheServerMessage();
    void transactions();
    void insertedKeys();

    void preparingTwiceKeepsData();
    void tablesMatchTheEmbeddedSchema();
    void textComparesLikeEmbeddedNoCase();
    void writesAreNotified();
    void keysFollowExplicitRows();
};

void TestPgEngine::placeholders_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("expected");
    QTest::newRow("bare") << "select a from t where b = ? and c = ?"
                          << "select a from t where b = $1 and c = $2";
    QTest::newRow("numbered") << "update t set a = ?2 where b = ?1" << "update t set a = $2 where b = $1";
    QTest::newRow("bare after numbered") << "select ?3, ?, ?1, ?" << "select $3, $4, $1, $5";
    QTest::newRow("many digits") << "select ?12" << "select $12";
    QTest::newRow("text literal") << "select '?', 'it''s ?', ?" << "select '?', 'it''s ?', $1";
    QTest::newRow("identifier") << "select \"a?\" from t where x = ?" << "select \"a?\" from t where x = $1";
    QTest::newRow("comments") << "select ? -- what?\n, /* ? */ ?" << "select $1 -- what?\n, /* ? */ $2";
    QTest::newRow("unclosed quote") << "select ?, 'a ?" << "select $1, 'a ?";
    QTest::newRow("no placeholder") << "select 1" << "select 1";
}

void TestPgEngine::placeholders()
{
    QFETCH(QString, sql);
    QFETCH(QString, expected);
    QCOMPARE(toServerPlaceholders(sql), expected);
}

void TestPgEngine::connectFailureSaysWhy_data()
{
    QTest::addColumn<QString>("conninfo");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no server") << "host=/nonexistent/tessary user=x dbname=y" << "/nonexistent/tessary";
    QTest::newRow("bad option") << "host=/tmp nosuchoption=1" << "nosuchoption";
    QTest::newRow("bad uri") << "postgresql://[::1" << "postgresql://";
}

void TestPgEngine::connectFailureSaysWhy()
{
    QFETCH(QString, conninfo);
    QFETCH(QString, reason);
    const QString message = errorOf([&] { PgEngine engine(conninfo); });
    QVERIFY2(message.startsWith(QStringLiteral("Cannot connect to the card database server: ")), qPrintable(message));
    QVERIFY2(message.contains(reason), qPrintable(message));
    QCOMPARE(message, message.trimmed());
}

void TestPgEngine::connectionSettings_data()
{
    QTest::addColumn<QString>("extra");
    QTest::addColumn<QString>("timeout");
    QTest::addColumn<QString>("application");
    QTest::newRow("defaults") << "" << "10" << "tessary";
    QTest::newRow("own choices") << " connect_timeout=3 application_name=desk" << "3" << "desk";
    QTest::newRow("encoding is always UTF8") << " client_encoding=LATIN1" << "10" << "tessary";
}

void TestPgEngine::connectionSettings()
{
    NEED_SERVER();
    QFETCH(QString, extra);
    QFETCH(QString, timeout);
    QFETCH(QString, application);
    PgEngine engine(ServerDb::maintenance() + extra);
    QString used;
    PQconninfoOption *options = PQconninfo(engine.handle());
    for (PQconninfoOption *o = options; o && o->keyword; ++o) {
        if (qstrcmp(o->keyword, "connect_timeout") == 0)
            used = QString::fromUtf8(o->val);
    }
    PQconninfoFree(options);
    QCOMPARE(used, timeout);
    auto st = engine.prepare(QStringLiteral("select current_setting('application_name'), current_setting('client_encoding')"));
    QVERIFY(st->next());
    QCOMPARE(st->text(0), application);
    QCOMPARE(st->text(1), QStringLiteral("UTF8"));
}

void TestPgEngine::valuesRoundTrip_data()
{
    QTest::addColumn<QString>("column");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QVariant>("expected");
    const auto I = int(ValueKind::Integer), R = int(ValueKind::Real), T = int(ValueKind::Text),
               B = int(ValueKind::Blob), N = int(ValueKind::Null);
    const qlonglong lmin = std::numeric_limits<qlonglong>::min(), lmax = std::numeric_limits<qlonglong>::max();
    QByteArray all(256, '\0');
    for (int i = 0; i < 256; ++i)
        all[i] = char(i);
    const QByteArray zeros("\0a\0\xff\0", 5);

    QTest::newRow("null") << "i8" << QVariant() << N << QVariant();
    QTest::newRow("int8 min") << "i8" << QVariant(lmin) << I << QVariant(lmin);
    QTest::newRow("int8 max") << "i8" << QVariant(lmax) << I << QVariant(lmax);
    QTest::newRow("int2 min") << "i2" << QVariant(-32768) << I << QVariant(-32768LL);
    QTest::newRow("int4") << "i4" << QVariant(2147483647) << I << QVariant(2147483647LL);
    QTest::newRow("bool true") << "b" << QVariant(true) << I << QVariant(1LL);
    QTest::newRow("bool false") << "b" << QVariant(false) << I << QVariant(0LL);
    QTest::newRow("bool into int") << "i4" << QVariant(true) << I << QVariant(1LL);
    QTest::newRow("double third") << "d" << QVariant(1.0 / 3) << R << QVariant(1.0 / 3);
    QTest::newRow("double huge") << "d" << QVariant(-1.7976931348623157e308) << R << QVariant(-1.7976931348623157e308);
    QTest::newRow("double tiny") << "d" << QVariant(4.9406564584124654e-324) << R << QVariant(4.9406564584124654e-324);
    QTest::newRow("numeric") << "n" << QVariant(2.5) << R << QVariant(2.5);
    QTest::newRow("unicode text") << "t" << QVariant(QStringLiteral("Zoë 张伟 😀")) << T
                                  << QVariant(QStringLiteral("Zoë 张伟 😀"));
    QTest::newRow("empty text") << "t" << QVariant(QString(QLatin1String(""))) << T << QVariant(QString(QLatin1String("")));
    QTest::newRow("citext") << "c" << QVariant(QStringLiteral("Ann")) << T << QVariant(QStringLiteral("Ann"));
    QTest::newRow("datetime text") << "dt" << QVariant(QStringLiteral("2024-03-05 07:08:09")) << T
                                   << QVariant(QStringLiteral("2024-03-05 07:08:09"));
    QTest::newRow("empty bytea") << "x" << QVariant(QByteArray("")) << B << QVariant(QByteArray(""));
    QTest::newRow("zero bytes") << "x" << QVariant(zeros) << B << QVariant(zeros);
    QTest::newRow("every byte") << "x" << QVariant(all) << B << QVariant(all);
    QTest::newRow("null bytea") << "x" << QVariant() << N << QVariant();
}

void TestPgEngine::valuesRoundTrip()
{
    NEED_SERVER();
    QFETCH(QString, column);
    QFETCH(QVariant, value);
    QFETCH(int, kind);
    QFETCH(QVariant, expected);
    ServerDb db;
    PgEngine engine(db.conninfo());
    engine.exec(QStringLiteral("create extension citext; create table v (i2 int2, i4 int4, i8 int8, b bool,"
                               " d float8, n numeric, t text, c citext, dt text collate \"C\", x bytea)"));
    auto insert = engine.prepare(QStringLiteral("insert into v (%1) values (?)").arg(column));
    insert->bind(1, value);
    QVERIFY(!insert->next());
    auto st = engine.prepare(QStringLiteral("select %1 from v").arg(column));
    QVERIFY(st->next());
    QCOMPARE(int(st->kind(0)), kind);
    switch (ValueKind(kind)) {
    case ValueKind::Null:
        QVERIFY(st->isNull(0));
        QVERIFY(st->bytes(0).isNull());
        break;
    case ValueKind::Integer:
        QCOMPARE(st->integer(0), expected.toLongLong());
        QCOMPARE(st->text(0), expected.toString());
        break;
    case ValueKind::Real:
        QCOMPARE(st->real(0), expected.toDouble()); // exact: 17 digits go both ways
        break;
    case ValueKind::Text:
        QCOMPARE(st->text(0), expected.toString());
        QCOMPARE(st->bytes(0), expected.toString().toUtf8());
        break;
    case ValueKind::Blob:
        QCOMPARE(st->bytes(0), expected.toByteArray());
        break;
    }
    QVERIFY(!st->next());
}

void TestPgEngine::rowsAffectedCountsChangedRows()
{
    NEED_SERVER();
    ServerDb db;
    PgEngine engine(db.conninfo());
    engine.exec(QStringLiteral("create table r (a int)"));
    const struct
    {
        const char *sql;
        qint64 rows;
    } steps[] = {
        {"insert into r select generate_series(1, 5)", 5},
        {"update r set a = a + 1 where a > 2", 3}, // 1 2 4 5 6
        {"delete from r where a > ?1", 1},
        {"select * from r", 0},
        {"delete from r where a > ?1", 0},
    };
    for (const auto &step : steps) {
        auto st = engine.prepare(QString::fromUtf8(step.sql));
        if (QByteArray(step.sql).contains('?'))
            st->bind(1, 5);
        while (st->next()) {
        }
        QCOMPARE(st->rowsAffected(), step.rows);
    }
}

void TestPgEngine::errorsCarryTheServerMessage()
{
    NEED_SERVER();
    ServerDb db;
    PgEngine engine(db.conninfo());
    engine.exec(QStringLiteral("create table u (a int primary key)"));
    engine.exec(QStringLiteral("insert into u values (1)"));
    const struct
    {
        std::function<void()> action;
        const char *message;
        const char *sqlState;
    } cases[] = {
        {[&] { engine.prepare(QStringLiteral("select * from nosuch"))->next(); }, "relation \"nosuch\" does not exist",
         "42P01"},
        {[&] { engine.exec(QStringLiteral("insert into u values (1)")); },
         "duplicate key value violates unique constraint \"u_pkey\"", "23505"},
        {[&] { engine.exec(QStringLiteral("selec 1")); }, "syntax error at or near \"selec\"", "42601"},
        {[&] { engine.prepare(QStringLiteral("select ?"))->bind(2, 1); }, "Parameter 2 is not in the statement", ""},
    };
    for (const auto &c : cases) {
        const QString message = errorOf(c.action);
        QVERIFY2(message.contains(QString::fromUtf8(c.message)), qPrintable(message));
        QCOMPARE(message, message.trimmed());
        QCOMPARE(engine.lastError(), message);
        QCOMPARE(engine.lastSqlState(), QString::fromLatin1(c.sqlState));
    }
}

void TestPgEngine::transactions()
{
    NEED_SERVER();
    ServerDb db;
    PgEngine a(db.conninfo()), b(db.conninfo());
    a.exec(QStringLiteral("create table t (a int primary key)"));
    const QString rows = QStringLiteral("select count(*) from t");

    a.rollback(); // nothing to end: harmless
    a.beginWrite();
    QVERIFY(a.inTransaction());
    a.exec(QStringLiteral("insert into t values (1)"));
    QCOMPARE(count(b, rows), 0);
    a.commit();
    QVERIFY(!a.inTransaction());
    QCOMPARE(count(b, rows), 1);

    // A failed statement spoils the transaction: commit says so and ends it.
    a.beginWrite();
    a.exec(QStringLiteral("insert into t values (2)"));
    QVERIFY(!errorOf([&] { a.exec(QStringLiteral("insert into t values (1)")); }).isEmpty());
    QVERIFY(a.inTransaction());
    QVERIFY(!errorOf([&] { a.commit(); }).isEmpty());
    QVERIFY(!a.inTransaction());
    QCOMPARE(count(a, rows), 1);

    // A snapshot reads one state of the data and writes nothing.
    a.beginSnapshot();
    QCOMPARE(count(a, rows), 1);
    b.exec(QStringLiteral("insert into t values (3)"));
    QCOMPARE(count(a, rows), 1);
    QVERIFY(errorOf([&] { a.exec(QStringLiteral("insert into t values (4)")); }).contains(QStringLiteral("read-only")));
    a.rollback();
    QVERIFY(!a.inTransaction());
    QCOMPARE(count(a, rows), 2);
}

void TestPgEngine::insertedKeys()
{
    NEED_SERVER();
    ServerDb db;
    PgEngine engine(db.conninfo());
    engine.exec(QStringLiteral("create table k (seq integer generated by default as identity primary key, a int)"));
    auto st = engine.prepare(engine.insertReturningKey(QStringLiteral("insert into k (a) values (?)")));
    st->bind(1, 7);
    QCOMPARE(engine.insertedKey(*st), 1);
    st->reset();
    QCOMPARE(engine.insertedKey(*st), 2);
    st->reset();
    QVERIFY(st->next()); // the caller read the row already
    QCOMPARE(engine.insertedKey(*st), 3);
    QCOMPARE(st->rowsAffected(), 1);
    QCOMPARE(count(engine, QStringLiteral("select count(*) from k where a = 7")), 3);
    QVERIFY(engine.location().startsWith(db.name() + QStringLiteral(" on ")));
}

void TestPgEngine::preparingTwiceKeepsData()
{
    NEED_SERVER();
    ServerDb db;
    PgEngine engine(db.conninfo());
    const CardDatabaseSeed seed{QByteArray("\xff\xd8 background\0 \xff\xd9", 17), QByteArray("font\0stream", 11)};
    prepareServerDatabase(engine, seed);
    QVERIFY(!engine.inTransaction());
    auto param = engine.prepare(QStringLiteral("select bitmap, font, f7, printback, position from param"));
    QVERIFY(param->next());
    QCOMPARE(param->bytes(0), seed.background);
    QCOMPARE(param->bytes(1), seed.fontStream);
    QCOMPARE(param->integer(2), 8);
    QCOMPARE(param->integer(3), 1);
    QCOMPARE(param->real(4), 30.0);
    QCOMPARE(count(engine, QStringLiteral("select count(*) from grptbl where gid = 0 and gdesc = 'DEFAULT'")), 1);

    engine.exec(QStringLiteral("update grptbl set gdesc = 'Everyone' where gid = 0;"
                               "insert into stafftbl (name, gid) values ('Ann', 0);"
                               "update fields set uname = 'Staff ID' where fname = 'staffno';"
                               "update param set style = 2"));
    prepareServerDatabase(engine, CardDatabaseSeed{QByteArray("other"), QByteArray("other")});
    const struct
    {
        const char *sql;
        qint64 expected;
    } checks[] = {
        {"select count(*) from grptbl", 1},
        {"select count(*) from grptbl where gdesc = 'Everyone'", 1},
        {"select count(*) from stafftbl where name = 'Ann'", 1},
        {"select count(*) from param", 1},
        {"select style from param", 2},
        {"select count(*) from param where bitmap = '\\xffd8206261636b67726f756e640020ffd9'::bytea", 1},
        {"select count(*) from fields", 9},
        {"select count(*) from fields where uname = 'Staff ID'", 1},
    };
    for (const auto &check : checks)
        QCOMPARE(count(engine, QString::fromUtf8(check.sql)), check.expected);
}

void TestPgEngine::tablesMatchTheEmbeddedSchema()
{
    NEED_SERVER();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("cardinfo.mdb"));
    createCardDatabase(file, CardDatabaseSeed{});
    sqlite3 *lite = nullptr;
    QCOMPARE(sqlite3_open_v2(file.toUtf8().constData(), &lite, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    const auto closeLite = qScopeGuard([&] { sqlite3_close(lite); });

    ServerDb db;
    PgEngine engine(db.conninfo());
    prepareServerDatabase(engine, CardDatabaseSeed{});
    const QStringList tables = embeddedNames(lite, "select name from sqlite_master where type = 'table'"
                                                   " and name not like 'sqlite%' order by rowid");
    QCOMPARE(tables, (QStringList{QStringLiteral("grptbl"), QStringLiteral("stafftbl"), QStringLiteral("param"),
                                  QStringLiteral("fields"), QStringLiteral("carddesign")}));
    for (const QString &table : tables) {
        const auto expected = embeddedColumns(lite, table);
        const auto actual = engine.tableColumns(table);
        QCOMPARE(actual.size(), expected.size());
        for (size_t i = 0; i < actual.size(); ++i) {
            QCOMPARE(actual[i].name, expected[i].name);
            QCOMPARE(actual[i].declared, expected[i].declared);
            QCOMPARE(actual[i].primaryKey, expected[i].primaryKey);
        }
        QVERIFY(engine.hasTable(table.toUpper()));
    }
    QStringList indexes = embeddedNames(lite, "select name from sqlite_master where type = 'index' and sql is not null");
    indexes << QStringLiteral("grptbl_gid_key");
    for (const QString &index : indexes)
        QVERIFY2(engine.hasIndex(index), qPrintable(index));
    QVERIFY(!engine.hasIndex(QStringLiteral("stafftbl")));
    QVERIFY(!engine.hasTable(QStringLiteral("grptbl_gid")));
    QVERIFY(!engine.hasTable(QStringLiteral("nosuch")));
    QVERIFY(engine.tableColumns(QStringLiteral("nosuch")).empty());

    // Result columns straight from a table carry its declared type, before
    // and after the statement runs; expressions carry none.
    auto st = engine.prepare(QStringLiteral("select s.name, s.datejoin, s.seq, g.gdesc, s.gid + 1 as g1"
                                            " from stafftbl s left join grptbl g on s.gid = g.gid"));
    const QStringList decls{QStringLiteral("NVARCHAR(255)"), QStringLiteral("DATETIME"), QStringLiteral("INTEGER"),
                            QStringLiteral("NVARCHAR(255)"), QString()};
    for (int round = 0; round < 2; ++round) {
        QCOMPARE(st->columnCount(), 5);
        for (int c = 0; c < 5; ++c)
            QCOMPARE(st->columnDecl(c), decls[c]);
        QCOMPARE(st->columnName(4), QStringLiteral("g1"));
        QVERIFY(!st->next());
    }
}

void TestPgEngine::textComparesLikeEmbeddedNoCase()
{
    NEED_SERVER();
    ServerDb db;
    PgEngine engine(db.conninfo());
    prepareServerDatabase(engine, CardDatabaseSeed{});
    const QStringList names{QStringLiteral("b"), QStringLiteral("Ann"), QStringLiteral("ann"), QStringLiteral("ä"),
                            QStringLiteral("Ä"), QStringLiteral("_x"), QStringLiteral("Z"), QStringLiteral("ANN2"),
                            QStringLiteral("é"), QStringLiteral("a b"), QStringLiteral("[")};
    sqlite3 *lite = nullptr;
    sqlite3_open(":memory:", &lite);
    const auto closeLite = qScopeGuard([&] { sqlite3_close(lite); });
    sqlite3_exec(lite, "create table s (name text collate nocase)", nullptr, nullptr, nullptr);
    for (const QString &name : names) {
        auto st = engine.prepare(QStringLiteral("insert into stafftbl (name) values (?)"));
        st->bind(1, name);
        st->next();
        const QByteArray sql = "insert into s values ('" + name.toUtf8() + "')";
        sqlite3_exec(lite, sql.constData(), nullptr, nullptr, nullptr);
    }
    const QStringList embedded = embeddedNames(lite, "select name from s order by name, rowid");
    QStringList server;
    auto st = engine.prepare(QStringLiteral("select name from stafftbl order by name, seq"));
    while (st->next())
        server << st->text(0);
    QCOMPARE(server, embedded);

    const QString equal = QStringLiteral("select count(*) from stafftbl where name = '%1'");
    QCOMPARE(count(engine, equal.arg(QStringLiteral("ANN"))), 2);
    QCOMPARE(count(engine, equal.arg(QStringLiteral("Ä"))), 1); // only ASCII letters fold
    QCOMPARE(count(engine, QStringLiteral("select count(*) from stafftbl where %1 = 'ann'")
                               .arg(engine.exactText(QStringLiteral("name")))),
             1);

    // At most 255 characters, whatever their size in bytes.
    auto longName = engine.prepare(QStringLiteral("insert into stafftbl (name) values (?)"));
    longName->bind(1, QString(255, QChar(0x00e9)));
    longName->next();
    longName->reset();
    longName->bind(1, QString(256, QLatin1Char('x')));
    QVERIFY(errorOf([&] { longName->next(); }).contains(QStringLiteral("check constraint")));

    // A database whose character type folds beyond ASCII is refused, and
    // nothing is created in it.
    ServerDb unicode(QStringLiteral("C.UTF-8"));
    PgEngine other(unicode.conninfo());
    const QString refused = errorOf([&] { prepareServerDatabase(other, CardDatabaseSeed{}); });
    QVERIFY2(refused.contains(QStringLiteral("--locale=C")), qPrintable(refused));
    QVERIFY(!other.inTransaction());
    QVERIFY(!other.hasTable(QStringLiteral("grptbl")));
}

void TestPgEngine::writesAreNotified()
{
    NEED_SERVER();
    ServerDb db;
    PgEngine listener(db.conninfo()), writer(db.conninfo());
    prepareServerDatabase(listener, CardDatabaseSeed{});
    listener.listen(kServerChangeChannel);
    QVERIFY(listener.takeNotifications().empty());

    writer.beginWrite();
    writer.exec(QStringLiteral("insert into grptbl (gid, gdesc) values (5, 'Gone')"));
    writer.rollback(); // never happened: nothing to tell
    writer.exec(QStringLiteral("insert into stafftbl (name) values ('Ann')"));

    std::vector<PgEngine::Notification> got;
    const auto arrived = [&] {
        for (auto &n : listener.takeNotifications())
            got.push_back(n);
        return !got.empty();
    };
    QTRY_VERIFY_WITH_TIMEOUT(arrived(), 5000);
    QCOMPARE(got.size(), size_t(1));
    QCOMPARE(got[0].channel, kServerChangeChannel);
    QCOMPARE(got[0].payload, QStringLiteral("stafftbl"));
    QCOMPARE(got[0].pid, writer.backendPid());
    QVERIFY(listener.socket() >= 0);
    QVERIFY(listener.connectionOk());
}

void TestPgEngine::keysFollowExplicitRows()
{
    NEED_SERVER();
    ServerDb db;
    PgEngine engine(db.conninfo());
    prepareServerDatabase(engine, CardDatabaseSeed{});
    engine.exec(QStringLiteral("insert into stafftbl (seq, name) values (1000, 'Restored');"
                               "insert into grptbl (seq, gid, gdesc) values (50, 7, 'Restored')"));
    syncServerKeys(engine);
    syncServerKeys(engine); // again: the same
    const struct
    {
        const char *insert;
        qint64 key;
    } next[] = {
        {"insert into stafftbl (name) values ('New')", 1001},
        {"insert into grptbl (gid, gdesc) values (8, 'New')", 51},
        {"insert into param (style) values (1)", 2},
        {"insert into fields (fname) values ('x')", 10},
    };
    for (const auto &n : next) {
        auto st = engine.prepare(engine.insertReturningKey(QString::fromUtf8(n.insert)));
        QCOMPARE(engine.insertedKey(*st), n.key);
    }
}

QTEST_GUILESS_MAIN(TestPgEngine)
#include "tst_pgengine.moc"
