// Finding members across groups and by expiry date, on a real card
// database, without a window.
#include "../data/carddb.h"

#include "data/connection.h"
#include "exchange/databasefiles.h"
#include "members/membersearch.h"

#include <QtTest>

#include "data/engine.h"

using namespace tessary;
using tessary::testing::CardDb;

namespace {

// Statements through a connection of their own, as another writer would.
void execElsewhere(const CardDb &db, const QString &sql)
{
    try {
        db.otherConnection()->exec(sql);
    } catch (const Error &e) {
        QFAIL(e.what());
    }
}

void addMember(Connection &c, const QString &name, const QString &cname, const QString &staffno, int cardno,
               int gid = 1, const QString &expiry = QString())
{
    auto s = c.engine().prepare(
        QStringLiteral("insert into stafftbl (name, cname, staffno, cardno, gid, expiry) values (?,?,?,?,?,?)"));
    s->bind(1, name);
    s->bind(2, cname);
    s->bind(3, staffno);
    s->bind(4, cardno);
    s->bind(5, gid);
    s->bind(6, expiry.isNull() ? QVariant() : QVariant(expiry));
    while (s->next()) {
    }
}

QStringList names(const FoundMembers &found)
{
    QStringList out;
    for (const FoundMember &m : found.rows)
        out << m.name;
    return out;
}

bool hasObject(Connection &c, const char *name)
{
    const QString n = QString::fromLatin1(name);
    return c.engine().hasIndex(n) || c.engine().hasTable(n) ||
           (!c.isServer() && c.engine().prepare(QStringLiteral("select 1 from sqlite_master where name = '") + n +
                                                QLatin1Char('\''))->next());
}

const MemberSearch::Method kMethods[] = {MemberSearch::Method::Memory, MemberSearch::Method::FullText,
                                         MemberSearch::Method::Scan};

} // namespace

class TestMemberSearch : public QObject
{
    Q_OBJECT
private slots:
    void findsByAnyColumnWithoutCase_data();
    void findsByAnyColumnWithoutCase();
    void capsTheRowsAndCountsAll();
    void followsWritesOfOtherConnections();
    void databaseWithoutSearchStructures();
    void expiringWindows_data();
    void expiringWindows();
    void expiryStoredByQueries();
};

void TestMemberSearch::findsByAnyColumnWithoutCase_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");
    const QStringList alice{QStringLiteral("Alice Wong")};
    const QStringList arger{QStringLiteral("Bob Ärger"), QStringLiteral("ÄRGER Max")};
    QTest::newRow("name, lower") << QStringLiteral("alice") << alice;
    QTest::newRow("name, two letters") << QStringLiteral("AL") << alice;
    QTest::newRow("cname, two chars") << QStringLiteral("王愛") << alice;
    QTest::newRow("cname, three chars") << QStringLiteral("王愛麗") << alice;
    QTest::newRow("staffno") << QStringLiteral("s-10") << alice;
    QTest::newRow("card number") << QStringLiteral("3456") << alice;
    QTest::newRow("folded lower") << QStringLiteral("ärger") << arger;
    QTest::newRow("folded upper") << QStringLiteral("ÄRGER") << arger;
    QTest::newRow("folded short") << QStringLiteral("Är") << arger;
    QTest::newRow("percent is literal") << QStringLiteral("%") << QStringList{QStringLiteral("100% Cotton")};
    QTest::newRow("underscore is literal") << QStringLiteral("x_") << QStringList{QStringLiteral("Carl Xu")};
    QTest::newRow("backslash is literal") << QStringLiteral("\\") << QStringList{QStringLiteral("Dee \\ Slash")};
    QTest::newRow("quote in phrase") << QStringLiteral("o\"b") << QStringList{QStringLiteral("Quo\"be")};
    QTest::newRow("no card number zero") << QStringLiteral("0%") << QStringList{QStringLiteral("100% Cotton")};
    QTest::newRow("nothing") << QStringLiteral("zzz") << QStringList{};
    QTest::newRow("empty text") << QString() << QStringList{};
}

void TestMemberSearch::findsByAnyColumnWithoutCase()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    CardDb db;
    Connection &c = db.ds->src;
    addMember(c, QStringLiteral("Alice Wong"), QStringLiteral("王愛麗"), QStringLiteral("S-1001"), 123456);
    addMember(c, QStringLiteral("Bob Ärger"), QString(), QStringLiteral("B-7"), 0, 2);
    addMember(c, QStringLiteral("ÄRGER Max"), QString(), QStringLiteral("B-8"), 0);
    addMember(c, QStringLiteral("100% Cotton"), QString(), QStringLiteral("C-1"), 0);
    addMember(c, QStringLiteral("Carl Xu"), QString(), QStringLiteral("X_2"), 0);
    addMember(c, QStringLiteral("Dee \\ Slash"), QString(), QStringLiteral("D-1"), 0);
    addMember(c, QStringLiteral("Quo\"be"), QString(), QStringLiteral("Q-1"), 0);
    addMember(c, QStringLiteral("Xavier"), QString(), QStringLiteral("XA"), 0);
    for (const auto method : kMethods) {
        MemberSearch search(c);
        const FoundMembers found = search.find(text, method);
    QCOMPARE(names(found), expected);
        QCOMPARE(found.total, expected.size());
    }
}

void TestMemberSearch::capsTheRowsAndCountsAll()
{
    CardDb db;
    Connection &c = db.ds->src;
    db.addGroup(QStringLiteral("Staff"), 1);
    for (int i = 0; i < 250; ++i)
        addMember(c, QStringLiteral("Member %1").arg(249 - i, 3, 10, QLatin1Char('0')), QString(), QString(), 0);
    addMember(c, QStringLiteral("Other"), QString(), QString(), 0);
    for (const auto method : kMethods) {
        MemberSearch search(c);
        const FoundMembers found = search.find(QStringLiteral("MEMBER"), method);
        QCOMPARE(found.total, 250);
        QCOMPARE(int(found.rows.size()), MemberSearch::Limit);
        // The earliest added, listed by name: "Member 050" .. "Member 249".
        QCOMPARE(found.rows.front().name, QStringLiteral("Member 050"));
        QCOMPARE(found.rows.back().name, QStringLiteral("Member 249"));
        QCOMPARE(found.rows.front().group, QStringLiteral("Staff"));
    }
}

void TestMemberSearch::followsWritesOfOtherConnections()
{
    for (const auto method : kMethods) {
        CardDb db;
        Connection &c = db.ds->src;
        addMember(c, QStringLiteral("Anna Berg"), QString(), QStringLiteral("A-1"), 0);
        MemberSearch search(c);
        QCOMPARE(search.find(QStringLiteral("berg"), method).total, 1);
        execElsewhere(db, QStringLiteral("insert into stafftbl (name, cardno) values ('Ben Bergson', 777001);"
                                         "update stafftbl set name = 'Anna Lind' where name = 'Anna Berg'"));
        // On a server the other station's change is announced over the
        // network: it is seen once the notice has come.
        QTRY_COMPARE(names(search.find(QStringLiteral("berg"), method)), QStringList{QStringLiteral("Ben Bergson")});
        QCOMPARE(names(search.find(QStringLiteral("lind"), method)), QStringList{QStringLiteral("Anna Lind")});
        QCOMPARE(names(search.find(QStringLiteral("77700"), method)), QStringList{QStringLiteral("Ben Bergson")});
        execElsewhere(db, QStringLiteral("delete from stafftbl where cardno = 777001"));
        QTRY_COMPARE(search.find(QStringLiteral("berg"), method).total, 0);
        // Writes of the search's own connection.
        c.exec(QStringLiteral("update stafftbl set staffno = 'Q-77' where name = 'Anna Lind'"));
        QCOMPARE(names(search.find(QStringLiteral("q-7"), method)), QStringList{QStringLiteral("Anna Lind")});
    }
}

void TestMemberSearch::databaseWithoutSearchStructures()
{
    CardDb db;
    Connection &c = db.ds->src;
    addMember(c, QStringLiteral("Anna Berg"), QString(), QString(), 0);
    QVERIFY(!hasObject(c, "stafftbl_find"));
    // Open as the program does, without the structures.
    db.ds->QGroup.open();
    if (!CardDb::onServer())
        QCOMPARE(CheckCardDatabase(db.path()), QString());

    MemberSearch search(c);
    QCOMPARE(search.find(QStringLiteral("Anna")).total, 1);
    QVERIFY(hasObject(c, "stafftbl_find") && hasObject(c, "stafftbl_expiry"));
    if (CardDb::onServer())
        return; // the rest is about the file's own full-text tables
    QVERIFY(!hasObject(c, "member_find")); // made only for its own method
    QCOMPARE(search.find(QStringLiteral("Anna"), MemberSearch::Method::FullText).total, 1);
    for (const char *name : {"member_find", "member_find_ai", "member_find_ad", "member_find_au"})
        QVERIFY2(hasObject(c, name), name);
    // A file holding them still passes the restore check.
    QCOMPARE(CheckCardDatabase(db.path()), QString());
    // A full-text table left without its triggers is made again, complete.
    c.exec(QStringLiteral("drop trigger member_find_ai"));
    addMember(c, QStringLiteral("Anna Lind"), QString(), QString(), 0);
    QCOMPARE(search.find(QStringLiteral("anna"), MemberSearch::Method::FullText).total, 2);
}

void TestMemberSearch::expiringWindows_data()
{
    QTest::addColumn<int>("window");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("expired") << int(ExpiryWindow::Expired)
                             << QStringList{QStringLiteral("long ago"), QStringLiteral("yesterday late")};
    const QStringList within30{QStringLiteral("today"), QStringLiteral("today late"), QStringLiteral("day 30")};
    QTest::newRow("30 days") << int(ExpiryWindow::Days30) << within30;
    QTest::newRow("60 days") << int(ExpiryWindow::Days60)
                             << within30 + QStringList{QStringLiteral("day 31"), QStringLiteral("day 60")};
    QTest::newRow("90 days") << int(ExpiryWindow::Days90)
                             << within30 + QStringList{QStringLiteral("day 31"), QStringLiteral("day 60"),
                                                       QStringLiteral("day 90")};
    QTest::newRow("none") << int(ExpiryWindow::None) << QStringList{};
}

void TestMemberSearch::expiringWindows()
{
    QFETCH(int, window);
    QFETCH(QStringList, expected);
    CardDb db;
    Connection &c = db.ds->src;
    const QDate today(2024, 2, 28); // a leap year: day 30 is 2024-03-29
    const auto at = [&](int days, const char *time) {
        return today.addDays(days).toString(QStringLiteral("yyyy-MM-dd ")) + QLatin1String(time);
    };
    // Added in scrambled order: the result is sorted by date.
    addMember(c, QStringLiteral("day 91"), QString(), QString(), 0, 1, at(91, "00:00:00"));
    addMember(c, QStringLiteral("day 30"), QString(), QString(), 0, 1, at(30, "23:59:59"));
    addMember(c, QStringLiteral("today late"), QString(), QString(), 0, 1, at(0, "23:59:59"));
    addMember(c, QStringLiteral("today"), QString(), QString(), 0, 1, at(0, "00:00:00"));
    addMember(c, QStringLiteral("yesterday late"), QString(), QString(), 0, 1, at(-1, "23:59:59"));
    addMember(c, QStringLiteral("day 60"), QString(), QString(), 0, 1, at(60, "00:00:00"));
    addMember(c, QStringLiteral("day 31"), QString(), QString(), 0, 1, at(31, "00:00:00"));
    addMember(c, QStringLiteral("day 90"), QString(), QString(), 0, 1, at(90, "12:00:00"));
    addMember(c, QStringLiteral("long ago"), QString(), QString(), 0, 1, QStringLiteral("1999-01-01 00:00:00"));
    addMember(c, QStringLiteral("no expiry"), QString(), QString(), 0, 1);
    addMember(c, QStringLiteral("empty expiry"), QString(), QString(), 0, 1, QStringLiteral(""));
    MemberSearch search(c);
    const FoundMembers found = search.expiring(ExpiryWindow(window), today);
    QCOMPARE(names(found), expected);
    QCOMPARE(found.total, expected.size());
    const FoundMembers capped = search.expiring(ExpiryWindow(window), today, 1);
    QCOMPARE(capped.total, expected.size());
    QCOMPARE(int(capped.rows.size()), std::min(1, int(expected.size())));
}

void TestMemberSearch::expiryStoredByQueries()
{
    // The dates the program writes are found by the text comparison.
    CardDb db;
    const int seq = db.addMember(QStringLiteral("Written"), 1);
    Query &q = db.ds->QAllStaff;
    QVERIFY(q.locate(QStringLiteral("seq"), seq));
    q.edit();
    q.fieldByName(QStringLiteral("expiry")).setDateTime(QDateTime(QDate(2024, 3, 29), QTime(0, 0)));
    q.post();
    MemberSearch search(db.ds->src);
    QCOMPARE(names(search.expiring(ExpiryWindow::Days30, QDate(2024, 2, 28))), QStringList{QStringLiteral("Written")});
    QCOMPARE(names(search.expiring(ExpiryWindow::Expired, QDate(2024, 3, 30))), QStringList{QStringLiteral("Written")});
    QCOMPARE(search.expiring(ExpiryWindow::Days30, QDate(2024, 2, 27)).total, 0);
}

QTEST_GUILESS_MAIN(TestMemberSearch)
#include "tst_membersearch.moc"
