// Translation of Jet statements into SQLite's dialect.

#include "data/errors.h"
#include "data/jetsql.h"

#include <QTest>

using namespace tessary;

class TestJetSql : public QObject
{
    Q_OBJECT

private slots:
    void topBecomesLimit_data();
    void topBecomesLimit();
    void quotedLiteralsBecomeParameters_data();
    void quotedLiteralsBecomeParameters();
    void unterminatedLiteralIsRefused();
    void selectShapes_data();
    void selectShapes();
    void otherStatementsHaveNoShape();
};

void TestJetSql::topBecomesLimit_data()
{
    QTest::addColumn<QString>("jet");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("limit");

    QTest::newRow("top 2") << "select top 2 * from stafftbl" << "select * from stafftbl\nlimit 2" << 2;
    QTest::newRow("upper case, joined lines")
        << "SELECT TOP 10 * from stafftbl\nleft join grptbl\non stafftbl.gid=grptbl.gid"
        << "SELECT * from stafftbl\nleft join grptbl\non stafftbl.gid=grptbl.gid\nlimit 10" << 10;
    QTest::newRow("no top") << "select * from param" << "select * from param" << -1;
    // "top" elsewhere in a statement is not a row limit.
    QTest::newRow("column named top") << "select top from t" << "select top from t" << -1;
}

void TestJetSql::topBecomesLimit()
{
    QFETCH(QString, jet);
    QFETCH(QString, sql);
    QFETCH(int, limit);

    const TranslatedSql t = translateJetSql(jet);
    QCOMPARE(t.sql, sql);
    QCOMPARE(t.limit.value_or(-1), limit);
    QVERIFY(!t.body.contains(QLatin1String("limit")));
    QVERIFY(t.parameters.isEmpty());
}

void TestJetSql::quotedLiteralsBecomeParameters_data()
{
    QTest::addColumn<QString>("jet");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("parameters");

    QTest::newRow("plain name") << "select * from stafftbl\nwhere name=\n\"Abel\""
                                << "select * from stafftbl\nwhere name=\n?" << QStringList{QStringLiteral("Abel")};
    QTest::newRow("doubled quote inside") << "where name=\"O\"\"Brien\"" << "where name=?" << QStringList{QStringLiteral("O\"Brien")};
    QTest::newRow("only a quote") << "where name=\"\"\"\"" << "where name=?" << QStringList{QStringLiteral("\"")};
    QTest::newRow("empty-list placeholder") << "where name=\n\"_\"" << "where name=\n?" << QStringList{QStringLiteral("_")};
    QTest::newRow("empty literal") << "where name=\"\"" << "where name=?" << QStringList{QStringLiteral("")};
    // Text that would break out of a pasted literal stays inside the value.
    QTest::newRow("injection attempt") << "where name=\"x\"\" or 1=1 --\"" << "where name=?"
                                       << QStringList{QStringLiteral("x\" or 1=1 --")};
    QTest::newRow("apostrophe inside") << "where name=\"O'Neil\"" << "where name=?" << QStringList{QStringLiteral("O'Neil")};
    QTest::newRow("two literals in order") << "where a=\"1\" and b=\"2\"" << "where a=? and b=?"
                                           << QStringList{QStringLiteral("1"), QStringLiteral("2")};
    QTest::newRow("single-quoted literal kept") << "where name='O''Brien'" << "where name='O''Brien'"
                                                << QStringList{};
}

void TestJetSql::quotedLiteralsBecomeParameters()
{
    QFETCH(QString, jet);
    QFETCH(QString, sql);
    QFETCH(QStringList, parameters);

    const TranslatedSql t = translateJetSql(jet);
    QCOMPARE(t.sql, sql);
    QStringList actual;
    for (const QVariant &v : t.parameters)
        actual << v.toString();
    QCOMPARE(actual, parameters);
}

void TestJetSql::unterminatedLiteralIsRefused()
{
    QVERIFY_THROWS_EXCEPTION(Error, translateJetSql(QStringLiteral("where name=\"abc")));
    QVERIFY_THROWS_EXCEPTION(Error, translateJetSql(QStringLiteral("where name=\"abc\"\"")));
}

void TestJetSql::selectShapes_data()
{
    QTest::addColumn<QString>("jet");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("joined");
    QTest::addColumn<QString>("on");
    QTest::addColumn<QString>("where");
    QTest::addColumn<QString>("order");

    QTest::newRow("group list") << "select * from grptbl order by gdesc" << "grptbl" << "" << "" << "" << "gdesc";
    QTest::newRow("members of a group") << "select * from stafftbl where gid=\n12\norder by\nstaffno" << "stafftbl" << "" << ""
                                        << "gid=\n12" << "staffno";
    QTest::newRow("all members") << "select * from stafftbl \norder by name" << "stafftbl" << "" << "" << "" << "name";
    QTest::newRow("one card") << "select * from stafftbl\nleft join grptbl\non stafftbl.gid=grptbl.gid\nwhere name=\n\"A\""
                              << "stafftbl" << "grptbl" << "stafftbl.gid=grptbl.gid" << "name=\n?" << "";
    QTest::newRow("check list") << "select * from stafftbl\nleft join grptbl on stafftbl.gid=grptbl.gid\norder by stafftbl.gid,name"
                                << "stafftbl" << "grptbl" << "stafftbl.gid=grptbl.gid" << "" << "stafftbl.gid,name";
    QTest::newRow("preview") << "select top 10 * from stafftbl\nleft join grptbl\non stafftbl.gid=grptbl.gid"
                             << "stafftbl" << "grptbl" << "stafftbl.gid=grptbl.gid" << "" << "";
}

void TestJetSql::selectShapes()
{
    QFETCH(QString, jet);
    QFETCH(QString, first);
    QFETCH(QString, joined);
    QFETCH(QString, on);
    QFETCH(QString, where);
    QFETCH(QString, order);

    const auto shape = parseSelectStar(translateJetSql(jet).body);
    QVERIFY(shape);
    QCOMPARE(shape->firstTable, first);
    QCOMPARE(shape->joinedTable, joined);
    QCOMPARE(shape->onClause, on);
    QCOMPARE(shape->whereClause, where);
    QCOMPARE(shape->orderClause, order);
}

void TestJetSql::otherStatementsHaveNoShape()
{
    QVERIFY(!parseSelectStar(QStringLiteral("select count(*) from stafftbl")));
    QVERIFY(!parseSelectStar(QStringLiteral("select name from stafftbl")));
    QVERIFY(!parseSelectStar(QStringLiteral("delete from stafftbl")));
}

QTEST_GUILESS_MAIN(TestJetSql)
#include "tst_jetsql.moc"
