// The updatable result sets over the card database: navigation, row edits
// and their current-row rules, field access, text comparison and the joined
// member rows.

#include "carddb.h"

#include "data/errors.h"
#include "data/records.h"

#include <QLocale>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QRandomGenerator>
#include <QTest>

#include <sqlite3.h>

#include <ctime>

using namespace tessary;
using tessary::testing::CardDb;

namespace {

const QString kName = QStringLiteral("name");
const QString kGid = QStringLiteral("gid");
const QString kSeq = QStringLiteral("seq");

QStringList cardOf(const QString &quotedName)
{
    return {QStringLiteral("select * from stafftbl"), QStringLiteral("left join grptbl"),
            QStringLiteral("on stafftbl.gid=grptbl.gid"), QStringLiteral("where name="), quotedName};
}

// The name as a Jet text literal, as the single-card print builds it.
QString jetLiteral(QString name)
{
    name.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + name + QLatin1Char('"');
}

} // namespace

class TestQuery : public QObject
{
    Q_OBJECT

private slots:
    void navigationFlags();
    void emptyResultKeepsDeclaredColumns();
    void declaredColumnMissingNamesIt();
    void textOrderAndEqualityIgnoreCaseLocateDoesNot();
    void nameLiteralsAreBoundNotPasted_data();
    void nameLiteralsAreBoundNotPasted();
    void appendedRowStaysLastUntilReopened();
    void cancelAppendRestoresCurrentRow();
    void deleteMakesNextOrNewLastCurrent();
    void deletingSeveralRowsIsAllOrNone();
    void editPostAndCancel();
    void groupIdIsSixteenBits_data();
    void groupIdIsSixteenBits();
    void membersOfMissingGroup();
    void joinedRowColumns();
    void joinedRowsSurviveGroupChanges();
    void topLimitsRows();
    void datesFromDayMonthYearText_data();
    void datesFromDayMonthYearText();
    void datesWhereMidnightDoesNotExist();
    void invalidDatesAreRefused_data();
    void invalidDatesAreRefused();
    void blobRoundTrip_data();
    void blobRoundTrip();
    void photosAreReadOnlyWhenAskedFor();
    void refreshRereadsRows();
    void fieldAccessErrors();
};

void TestQuery::navigationFlags()
{
    CardDb db;
    for (const char *n : {"Carol", "Abel", "Baker"})
        db.addMember(QString::fromLatin1(n), 0);
    Query &q = db.ds->QStaff;
    q.open();
    QCOMPARE(q.recordCount(), 3);
    QVERIFY(q.bof());
    QVERIFY(!q.eof());
    QCOMPARE(q.fieldByName(kName).asString(), QStringLiteral("Abel"));

    q.prior(); // before the first row: stays, bof
    QVERIFY(q.bof());
    QCOMPARE(q.fieldByName(kName).asString(), QStringLiteral("Abel"));

    q.next();
    QVERIFY(!q.bof() && !q.eof());
    QCOMPARE(q.fieldByName(kName).asString(), QStringLiteral("Baker"));
    q.next();
    QCOMPARE(q.fieldByName(kName).asString(), QStringLiteral("Carol"));
    QVERIFY(!q.eof());
    q.next(); // past the last row
    QVERIFY(q.eof());
    QCOMPARE(q.fieldByName(kName).asString(), QStringLiteral("Carol"));

    q.first();
    QVERIFY(q.bof() && !q.eof());
    q.last();
    QCOMPARE(q.fieldByName(kName).asString(), QStringLiteral("Carol"));
    q.prior();
    QVERIFY(!q.bof() && !q.eof());
    QCOMPARE(q.fieldByName(kName).asString(), QStringLiteral("Baker"));

    QCOMPARE(CardDb::names(q), (QStringList{QStringLiteral("Abel"), QStringLiteral("Baker"), QStringLiteral("Carol")}));

    q.close();
    QVERIFY(!q.isOpen());
    QVERIFY_THROWS_EXCEPTION(Error, q.first());
    QVERIFY_THROWS_EXCEPTION(Error, q.fieldByName(kName).asString());
}

void TestQuery::emptyResultKeepsDeclaredColumns()
{
    CardDb db;
    db.addMember(QStringLiteral("Abel"), 0);
    Query &q = db.ds->QStaff;
    CardDb::reopen(q, memberListSql(555, QStringLiteral("name")));
    QCOMPARE(q.recordCount(), 0);
    QVERIFY(q.isEmpty());
    QVERIFY(q.bof() && q.eof());
    for (const ColumnDecl &c : memberColumns())
        QVERIFY2(q.columnIndex(c.name) >= 0, qPrintable(c.name));
    QVERIFY_THROWS_EXCEPTION(Error, q.fieldByName(kName).asString());
    QCOMPARE(FieldText(q.findField(kName)), QString());
    QVERIFY_THROWS_EXCEPTION(Error, q.edit());
    QVERIFY_THROWS_EXCEPTION(Error, q.deleteRow());
    q.first();
    q.last();
    QVERIFY(q.bof() && q.eof());

    // The joined card query with the empty-list placeholder.
    Query &list = db.ds->QList;
    CardDb::reopen(list, cardOf(QStringLiteral("\"_\"")));
    QCOMPARE(list.recordCount(), 0);
    for (const ColumnDecl &c : joinedMemberColumns())
        QVERIFY2(list.columnIndex(c.name) >= 0, qPrintable(c.name));
}

void TestQuery::declaredColumnMissingNamesIt()
{
    CardDb db;
    Query &q = db.ds->QStaff;
    q.setSql({QStringLiteral("select * from grptbl")}); // a result without member columns
    try {
        q.open();
        QFAIL("opened without its declared columns");
    } catch (const Error &e) {
        QVERIFY2(e.message().contains(QLatin1String("'cardno'")), qPrintable(e.message()));
    }
    QVERIFY(!q.isOpen());

    Query extra(&db.ds->src, QStringLiteral("extra"));
    extra.setSql({QStringLiteral("select count(*) as n from stafftbl")});
    extra.setDeclaredColumns({{QStringLiteral("n"), FieldType::Integer}, {QStringLiteral("total"), FieldType::Integer}});
    try {
        extra.open();
        QFAIL("opened without its declared columns");
    } catch (const Error &e) {
        QVERIFY2(e.message().contains(QLatin1String("'total'")), qPrintable(e.message()));
    }
    QVERIFY(!extra.isOpen());

    // The same query opens once its statement delivers the columns.
    q.setSql(allMembersSql());
    q.open();
    QVERIFY(q.isOpen());
}

void TestQuery::textOrderAndEqualityIgnoreCaseLocateDoesNot()
{
    CardDb db;
    db.addMember(QStringLiteral("Baker"), 0);
    db.addMember(QStringLiteral("adams"), 0);
    db.addMember(QStringLiteral("Abel"), 0);
    db.addMember(QStringLiteral("ADAMS"), 0);
    Query &q = db.ds->QStaff;
    q.open();
    const QStringList order = CardDb::names(q);
    QCOMPARE(order.first(), QStringLiteral("Abel"));
    QCOMPARE(order.last(), QStringLiteral("Baker"));
    QCOMPARE(order.size(), 4);

    // "where name=" ignores case: both spellings of Adams are cards of "Adams".
    Query &list = db.ds->QList;
    CardDb::reopen(list, cardOf(QStringLiteral("\"Adams\"")));
    QCOMPARE(list.recordCount(), 2);

    // locate is exact and keeps the current row when nothing matches.
    q.first();
    QVERIFY(!q.locate(kName, QStringLiteral("Adams")));
    QCOMPARE(q.fieldByName(kName).asString(), QStringLiteral("Abel"));
    QVERIFY(!q.locate(kName, QStringLiteral("adam")));
    QVERIFY(q.locate(kName, QStringLiteral("ADAMS")));
    QCOMPARE(q.fieldByName(kName).asString(), QStringLiteral("ADAMS"));
    QVERIFY(q.locate(kName, QStringLiteral("adams")));
    QCOMPARE(q.fieldByName(kName).asString(), QStringLiteral("adams"));
    q.last();
    QVERIFY(!q.locate(kName, QStringLiteral("nobody")));
    QCOMPARE(q.fieldByName(kName).asString(), QStringLiteral("Baker"));
    QVERIFY(q.locate(QStringLiteral("gid"), 0)); // first row whose column matches
    QCOMPARE(q.fieldByName(kName).asString(), QStringLiteral("Abel"));
    QVERIFY_THROWS_EXCEPTION(Error, q.locate(QStringLiteral("nosuch"), 1));
}

void TestQuery::nameLiteralsAreBoundNotPasted_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("double quote") << "O\"Brien";
    QTest::newRow("quote at the ends") << "\"Quoted\"";
    QTest::newRow("apostrophe") << "O'Neil";
    QTest::newRow("injection") << "x\" or \"1\"=\"1";
    QTest::newRow("sql comment") << "Abel\" --";
    QTest::newRow("placeholder text") << "?";
}

void TestQuery::nameLiteralsAreBoundNotPasted()
{
    QFETCH(QString, name);
    CardDb db;
    db.addGroup(QStringLiteral("Office"), 3);
    db.addMember(QStringLiteral("Abel"), 3);
    db.addMember(QStringLiteral("O"), 3);
    db.addMember(QStringLiteral("Brien"), 3);

    Query &list = db.ds->QList;
    CardDb::reopen(list, cardOf(jetLiteral(name)));
    QCOMPARE(list.recordCount(), 0); // nobody of that name yet; nothing leaks in

    const int seq = db.addMember(name, 3);
    CardDb::reopen(list, cardOf(jetLiteral(name)));
    QCOMPARE(list.recordCount(), 1);
    QCOMPARE(list.fieldByName(kName).asString(), name);
    QCOMPARE(list.fieldByName(QStringLiteral("stafftbl.seq")).asInteger(), seq);
    QCOMPARE(list.fieldByName(QStringLiteral("gdesc")).asString(), QStringLiteral("Office"));

    db.ds->QAllStaff.close();
    db.ds->QAllStaff.open();
    QCOMPARE(db.ds->QAllStaff.recordCount(), 4); // and nothing was changed
}

void TestQuery::appendedRowStaysLastUntilReopened()
{
    CardDb db;
    db.addMember(QStringLiteral("Baker"), 0);
    db.addMember(QStringLiteral("Carol"), 0);
    Query &q = db.ds->QStaff;
    q.open();
    q.append();
    q.fieldByName(kName).setString(QStringLiteral("Aaron"));
    q.post();
    QCOMPARE(q.recordCount(), 3);
    QCOMPARE(q.recNo(), 2);
    QVERIFY(!q.eof() && !q.bof());
    const int seq = q.fieldByName(kSeq).asInteger();
    QVERIFY(seq > 0);
    QCOMPARE(q.fieldByName(kGid).asInteger(), 0); // the column's default
    QCOMPARE(CardDb::names(q), (QStringList{QStringLiteral("Baker"), QStringLiteral("Carol"), QStringLiteral("Aaron")}));

    // A second append lands after the first, and the seq values differ.
    q.append();
    q.fieldByName(kName).setString(QStringLiteral("Abel"));
    q.post();
    QCOMPARE(CardDb::names(q), (QStringList{QStringLiteral("Baker"), QStringLiteral("Carol"), QStringLiteral("Aaron"), QStringLiteral("Abel")}));
    QVERIFY(q.fieldByName(kSeq).asInteger() > seq);

    q.close();
    q.open();
    QCOMPARE(CardDb::names(q), (QStringList{QStringLiteral("Aaron"), QStringLiteral("Abel"), QStringLiteral("Baker"), QStringLiteral("Carol")}));

    // Groups: the same rule under "order by gdesc".
    Query &g = db.ds->QGroup;
    g.open();
    g.append();
    g.fieldByName(QStringLiteral("gdesc")).setString(QStringLiteral("Accounts"));
    g.post();
    const int gseq = g.fieldByName(kSeq).asInteger();
    g.edit();
    g.fieldByName(kGid).setInteger(gseq);
    g.post();
    QCOMPARE(CardDb::names(g, QStringLiteral("gdesc")), (QStringList{QStringLiteral("DEFAULT"), QStringLiteral("Accounts")}));
    QCOMPARE(g.fieldByName(kGid).asInteger(), gseq);
    g.append();
    g.fieldByName(QStringLiteral("gdesc")).setString(QStringLiteral("buyers"));
    g.post();
    g.close();
    g.open();
    QCOMPARE(CardDb::names(g, QStringLiteral("gdesc")), (QStringList{QStringLiteral("Accounts"), QStringLiteral("buyers"), QStringLiteral("DEFAULT")}));
}

void TestQuery::cancelAppendRestoresCurrentRow()
{
    CardDb db;
    Query &q = db.ds->QStaff;
    q.open();
    q.append();
    q.fieldByName(kName).setString(QStringLiteral("Never"));
    q.cancel();
    QCOMPARE(q.recordCount(), 0);
    QCOMPARE(q.recNo(), -1);
    QVERIFY(q.bof());
    QVERIFY(q.eof());

    db.addMember(QStringLiteral("Abel"), 0);
    db.addMember(QStringLiteral("Baker"), 0);
    db.addMember(QStringLiteral("Carol"), 0);
    q.close();
    q.open();
    q.next();
    q.append();
    QCOMPARE(q.recNo(), 3);
    q.fieldByName(kName).setString(QStringLiteral("Never"));
    q.cancel();
    QCOMPARE(q.recordCount(), 3);
    QCOMPARE(q.fieldByName(kName).asString(), QStringLiteral("Baker"));
    QVERIFY(!q.eof());

    // Delete while appending drops the new row only.
    q.append();
    q.deleteRow();
    QCOMPARE(q.recordCount(), 3);
    QCOMPARE(q.fieldByName(kName).asString(), QStringLiteral("Baker"));

    q.close();
    q.open();
    QCOMPARE(CardDb::names(q), (QStringList{QStringLiteral("Abel"), QStringLiteral("Baker"), QStringLiteral("Carol")}));
}

void TestQuery::deleteMakesNextOrNewLastCurrent()
{
    CardDb db;
    for (const char *n : {"Abel", "Baker", "Carol", "Dean"})
        db.addMember(QString::fromLatin1(n), 0);
    Query &q = db.ds->QStaff;
    q.open();

    q.next(); // Baker
    q.deleteRow();
    QCOMPARE(q.recordCount(), 3);
    QCOMPARE(q.fieldByName(kName).asString(), QStringLiteral("Carol"));

    q.last(); // Dean
    q.deleteRow();
    QCOMPARE(q.recordCount(), 2);
    QCOMPARE(q.recNo(), 1);
    QCOMPARE(q.fieldByName(kName).asString(), QStringLiteral("Carol"));

    q.first();
    q.deleteRow();
    QCOMPARE(q.fieldByName(kName).asString(), QStringLiteral("Carol"));
    QVERIFY(q.bof());
    q.deleteRow();
    QCOMPARE(q.recordCount(), 0);
    QVERIFY(q.bof() && q.eof());
    QVERIFY_THROWS_EXCEPTION(Error, q.deleteRow());

    // The deletes reached the table.
    Query &all = db.ds->QAllStaff;
    all.close();
    all.open();
    QCOMPARE(all.recordCount(), 0);

    // Deleting all listed members the usual way ends with an empty result.
    for (const char *n : {"Abel", "Baker", "Carol"})
        db.addMember(QString::fromLatin1(n), 0);
    q.close();
    q.open();
    int guard = 0;
    for (q.first(); !q.eof() && guard < 10; ++guard)
        q.deleteRow();
    QCOMPARE(q.recordCount(), 0);
}

void TestQuery::deletingSeveralRowsIsAllOrNone()
{
    CardDb db;
    for (const char *n : {"Abel", "Baker", "Carol", "Dean", "Eve"})
        db.addMember(QString::fromLatin1(n), 0);
    Query &q = db.ds->QStaff;
    q.open();
    QSignalSpy removed(&q, &Query::rowRemoved);

    // A failure inside the statement deletes none of its rows.
    if (CardDb::onServer())
        db.ds->src.exec(QStringLiteral(
            "create function keep() returns trigger language plpgsql as $$ begin "
            "if old.name = 'Carol' then raise exception 'kept'; end if; return old; end $$; "
            "create trigger keep before delete on stafftbl for each row execute function keep()"));
    else
        db.ds->src.exec(QStringLiteral("create trigger keep before delete on stafftbl when old.name = 'Carol' "
                                       "begin select raise(abort, 'kept'); end"));
    q.next(); // Baker
    QVERIFY_THROWS_EXCEPTION(Error, q.deleteRows(3));
    QCOMPARE(q.recordCount(), 5);
    QCOMPARE(removed.count(), 0);
    QCOMPARE(q.fieldByName(kName).asString(), QStringLiteral("Baker"));
    db.ds->src.exec(CardDb::onServer() ? QStringLiteral("drop trigger keep on stafftbl") : QStringLiteral("drop trigger keep"));

    // Baker, Carol and Dean go; Eve, after them, is current.
    q.deleteRows(3);
    QCOMPARE(removed.count(), 3);
    QCOMPARE(CardDb::names(q), (QStringList{QStringLiteral("Abel"), QStringLiteral("Eve")}));
    QCOMPARE(q.fieldByName(kName).asString(), QStringLiteral("Eve"));
    // More rows than follow the current one are refused.
    QVERIFY_THROWS_EXCEPTION(Error, q.deleteRows(2));
    q.first();
    q.deleteRows(2);
    QVERIFY(q.bof() && q.eof());
    Query &all = db.ds->QAllStaff;
    all.close();
    all.open();
    QCOMPARE(all.recordCount(), 0);
}

void TestQuery::editPostAndCancel()
{
    CardDb db;
    db.addMember(QStringLiteral("Abel"), 0);
    Query &q = db.ds->QStaff;
    q.open();

    q.edit();
    q.fieldByName(kName).setString(QStringLiteral("Zed"));
    QCOMPARE(q.fieldByName(kName).asString(), QStringLiteral("Zed")); // the row in edit
    q.cancel();
    QCOMPARE(q.fieldByName(kName).asString(), QStringLiteral("Abel"));

    q.edit();
    q.fieldByName(kName).setString(QStringLiteral("Zed"));
    q.fieldByName(QStringLiteral("cardno")).setInteger(123456789);
    q.fieldByName(QStringLiteral("post")).setString(QStringLiteral("Clerk"));
    q.post();
    QCOMPARE(q.state(), Query::State::Browse);
    QVERIFY_THROWS_EXCEPTION(Error, q.fieldByName(kName).setString(QStringLiteral("No")));

    Query &all = db.ds->QAllStaff;
    all.close();
    all.open();
    QCOMPARE(all.fieldByName(kName).asString(), QStringLiteral("Zed"));
    QCOMPARE(all.fieldByName(QStringLiteral("cardno")).asString(), QStringLiteral("123456789"));
    QCOMPARE(all.fieldByName(QStringLiteral("post")).asString(), QStringLiteral("Clerk"));
    QVERIFY(all.fieldByName(QStringLiteral("remark")).isNull());

    // Moving on posts the row in edit; texts keep every character.
    all.edit();
    all.fieldByName(QStringLiteral("cname")).setString(QString::fromUtf8("陳大文"));
    all.first();
    QCOMPARE(all.state(), Query::State::Browse);
    all.close();
    all.open();
    QCOMPARE(all.fieldByName(QStringLiteral("cname")).asString(), QString::fromUtf8("陳大文"));

    // The row key cannot be written.
    all.edit();
    QVERIFY_THROWS_EXCEPTION(Error, all.fieldByName(kSeq).setInteger(99));
    all.cancel();
}

void TestQuery::groupIdIsSixteenBits_data()
{
    QTest::addColumn<int>("gid");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("lowest") << -32768 << true;
    QTest::newRow("highest") << 32767 << true;
    QTest::newRow("one above") << 32768 << false;
    QTest::newRow("one below") << -32769 << false;
    QTest::newRow("large") << 70000 << false;
}

void TestQuery::groupIdIsSixteenBits()
{
    QFETCH(int, gid);
    QFETCH(bool, accepted);
    CardDb db;
    db.addMember(QStringLiteral("Abel"), 1);

    // A new group row, then the member's group id, as the group commands do.
    Query &g = db.ds->QGroup;
    g.open();
    g.append();
    g.fieldByName(QStringLiteral("gdesc")).setString(QStringLiteral("Edge"));
    g.fieldByName(kGid).setInteger(gid);
    Query &m = db.ds->QStaff;
    m.open();
    m.edit();
    m.fieldByName(kGid).setInteger(gid);
    if (accepted) {
        g.post();
        m.post();
    } else {
        QVERIFY_THROWS_EXCEPTION(Error, g.post());
        QVERIFY_THROWS_EXCEPTION(Error, m.post());
        g.cancel();
        m.cancel();
    }

    g.close();
    g.open();
    QCOMPARE(g.recordCount(), accepted ? 2 : 1);
    QCOMPARE(g.locate(kGid, gid), accepted);
    m.close();
    m.open();
    QCOMPARE(m.fieldByName(kGid).asInteger(), accepted ? gid : 1);
}

void TestQuery::membersOfMissingGroup()
{
    CardDb db;
    db.addGroup(QStringLiteral("Office"), 5);
    db.addMember(QStringLiteral("Abel"), 5);
    db.addMember(QStringLiteral("Orphan"), 77);
    db.addMember(QStringLiteral("Baker"), 0);

    Query &all = db.ds->QAllStaff;
    all.close();
    all.open();
    QCOMPARE(all.recordCount(), 3);

    Query &g = db.ds->QGroup;
    g.close();
    g.open();
    Query &m = db.ds->QStaff;
    QStringList listed;
    for (g.first(); !g.eof(); g.next()) {
        CardDb::reopen(m, memberListSql(g.fieldByName(kGid).asInteger(), QStringLiteral("name")));
        listed += CardDb::names(m);
    }
    listed.sort();
    QCOMPARE(listed, (QStringList{QStringLiteral("Abel"), QStringLiteral("Baker")}));

    // On a card the orphan's group name is empty.
    Query &list = db.ds->QList;
    CardDb::reopen(list, cardOf(QStringLiteral("\"Orphan\"")));
    QCOMPARE(list.recordCount(), 1);
    QVERIFY(list.fieldByName(QStringLiteral("gdesc")).isNull());
    QCOMPARE(FieldText(list.findField(QStringLiteral("gdesc"))), QString());
    QVERIFY(list.fieldByName(QStringLiteral("grptbl.gid")).isNull());
    QCOMPARE(list.fieldByName(QStringLiteral("stafftbl.gid")).asInteger(), 77);

    // Locating by the group's columns in the joined rows, null included.
    list.setSql({QStringLiteral("select * from stafftbl"), QStringLiteral("left join grptbl"),
                 QStringLiteral("on stafftbl.gid=grptbl.gid"), QStringLiteral("order by name")});
    list.open();
    QVERIFY(list.locate(QStringLiteral("gdesc"), QVariant()));
    QCOMPARE(list.fieldByName(kName).asString(), QStringLiteral("Orphan"));
    QVERIFY(list.locate(QStringLiteral("gdesc"), QStringLiteral("Office")));
    QCOMPARE(list.fieldByName(kName).asString(), QStringLiteral("Abel"));
    QVERIFY(!list.locate(QStringLiteral("gdesc"), QStringLiteral("office")));
    QVERIFY(list.locate(QStringLiteral("grptbl.gid"), 0));
    QCOMPARE(list.fieldByName(kName).asString(), QStringLiteral("Baker"));
    QVERIFY(!list.locate(QStringLiteral("stafftbl.gid"), QStringLiteral("abc")));
    QCOMPARE(list.fieldByName(kName).asString(), QStringLiteral("Baker"));
}

void TestQuery::joinedRowColumns()
{
    CardDb db;
    const int gseq = db.addGroup(QStringLiteral("Office"), 5);
    const int mseq = db.addMember(QStringLiteral("Abel"), 5);
    Query &list = db.ds->QList;
    list.open();

    QStringList columns;
    for (int i = 0; i < list.columnCount(); ++i)
        columns << list.columnName(i);
    for (const char *c : {"stafftbl.seq", "stafftbl.gid", "grptbl.seq", "grptbl.gid", "cardno", "name", "cname",
                          "staffno", "post", "datejoin", "expiry", "remark", "photo", "gdesc"})
        QVERIFY2(columns.contains(QString::fromLatin1(c)), c);
    QVERIFY(!columns.contains(kSeq));
    QVERIFY(!columns.contains(kGid));
    QVERIFY(!columns.contains(QStringLiteral("stafftbl.name")));

    QCOMPARE(list.fieldByName(QStringLiteral("stafftbl.seq")).asInteger(), mseq);
    QCOMPARE(list.fieldByName(QStringLiteral("grptbl.seq")).asInteger(), gseq);
    QCOMPARE(list.fieldByName(QStringLiteral("grptbl.gid")).asInteger(), 5);
    QCOMPARE(list.fieldByName(QStringLiteral("gdesc")).asString(), QStringLiteral("Office"));

    // The check list: by group id, then by name.
    db.addMember(QStringLiteral("aaron"), 5);
    db.addMember(QStringLiteral("Zed"), 0);
    CardDb::reopen(list, {QStringLiteral("select * from stafftbl"),
                          QStringLiteral("left join grptbl on stafftbl.gid=grptbl.gid"),
                          QStringLiteral("order by stafftbl.gid,name")});
    QCOMPARE(CardDb::names(list), (QStringList{QStringLiteral("Zed"), QStringLiteral("aaron"), QStringLiteral("Abel")}));
    list.setSql({QStringLiteral("select * from stafftbl"), QStringLiteral("left join grptbl"),
                 QStringLiteral("on stafftbl.gid=grptbl.gid"), QStringLiteral("order by name")});
    list.open();

    // Moving a member to another group through the joined row shows the new
    // group's name.
    db.addGroup(QStringLiteral("Works"), 6);
    list.close();
    list.open();
    QVERIFY(list.locate(kName, QStringLiteral("Abel")));
    list.edit();
    list.fieldByName(QStringLiteral("stafftbl.gid")).setInteger(6);
    list.post();
    QCOMPARE(list.fieldByName(QStringLiteral("gdesc")).asString(), QStringLiteral("Works"));
    QCOMPARE(list.fieldByName(QStringLiteral("stafftbl.seq")).asInteger(), mseq);
}

void TestQuery::joinedRowsSurviveGroupChanges()
{
    // Groups added or removed while a card query is open do not blank the
    // member rows it has not shown yet.
    CardDb db;
    db.addGroup(QStringLiteral("Office"), 5);
    db.addMember(QStringLiteral("Abel"), 5);
    db.addMember(QStringLiteral("Orphan"), 9);
    Query &list = db.ds->QList;
    list.open();
    QCOMPARE(list.recordCount(), 2);

    Query &g = db.ds->QGroup;
    QVERIFY(g.locate(QStringLiteral("gdesc"), QStringLiteral("Office")));
    g.deleteRow();
    db.addGroup(QStringLiteral("Late"), 9);

    QCOMPARE(CardDb::names(list), (QStringList{QStringLiteral("Abel"), QStringLiteral("Orphan")}));
    QVERIFY(list.locate(kName, QStringLiteral("Abel")));
    QCOMPARE(list.fieldByName(QStringLiteral("stafftbl.gid")).asInteger(), 5);
    QVERIFY(list.locate(kName, QStringLiteral("Orphan")));
    QCOMPARE(list.fieldByName(QStringLiteral("stafftbl.gid")).asInteger(), 9);

    list.close();
    list.open();
    QVERIFY(list.locate(kName, QStringLiteral("Orphan")));
    QCOMPARE(list.fieldByName(QStringLiteral("gdesc")).asString(), QStringLiteral("Late"));
}

void TestQuery::topLimitsRows()
{
    CardDb db;
    for (int i = 0; i < 12; ++i)
        db.addMember(QStringLiteral("M%1").arg(i, 2, 10, QLatin1Char('0')), 0);
    Query &list = db.ds->QList;
    CardDb::reopen(list, {QStringLiteral("select top 2 * from stafftbl"), QStringLiteral("left join grptbl"),
                          QStringLiteral("on stafftbl.gid=grptbl.gid")});
    QCOMPARE(list.recordCount(), 2);
    CardDb::reopen(list, {QStringLiteral("select top 10 * from stafftbl"), QStringLiteral("left join grptbl"),
                          QStringLiteral("on stafftbl.gid=grptbl.gid")});
    QCOMPARE(list.recordCount(), 10);
    QCOMPARE(list.fieldByName(QStringLiteral("gdesc")).asString(), QStringLiteral("DEFAULT"));
}

void TestQuery::datesFromDayMonthYearText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("date");
    QTest::newRow("d/mm/yyyy") << "5/03/2024" << QDate(2024, 3, 5);
    QTest::newRow("dd/mm/yyyy") << "31/12/1999" << QDate(1999, 12, 31);
    QTest::newRow("leap day") << "29/02/2024" << QDate(2024, 2, 29);
    QTest::newRow("day 12 month 1") << "12/01/2025" << QDate(2025, 1, 12);
}

void TestQuery::datesFromDayMonthYearText()
{
    QFETCH(QString, text);
    QFETCH(QDate, date);
    // Day first, whatever the locale says.
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));

    CardDb db;
    db.addMember(QStringLiteral("Abel"), 0);
    Query &q = db.ds->QStaff;
    q.open();
    q.edit();
    q.fieldByName(QStringLiteral("datejoin")).setString(text);
    q.fieldByName(QStringLiteral("expiry")).setValue(text);
    q.post();
    q.close();
    q.open();
    QLocale::setDefault(saved);

    for (const char *column : {"datejoin", "expiry"}) {
        const QDateTime dt = q.fieldByName(QString::fromLatin1(column)).asDateTime();
        QCOMPARE(dt.date(), date);
        QCOMPARE(dt.time(), QTime(0, 0));
    }
    // Found again by the date, given as a date, a date-time or the text.
    q.last();
    QVERIFY(q.locate(QStringLiteral("datejoin"), date));
    QVERIFY(q.locate(QStringLiteral("datejoin"), date.startOfDay()));
    QVERIFY(q.locate(QStringLiteral("expiry"), text));
    QVERIFY(!q.locate(QStringLiteral("expiry"), date.addDays(1)));
    QVERIFY(!q.fieldByName(QStringLiteral("datejoin")).asString().isEmpty());
}

void TestQuery::datesWhereMidnightDoesNotExist()
{
    // In Sao Paulo the clocks went from 00:00 straight to 01:00 on 4 November
    // 2018: that day has no midnight, but it is still a date.
    const QByteArray savedTz = qgetenv("TZ");
    qputenv("TZ", "America/Sao_Paulo");
    tzset();
    const auto restore = qScopeGuard([&] {
        if (savedTz.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", savedTz);
        tzset();
    });
    if (QDateTime(QDate(2018, 11, 4), QTime(0, 0)).isValid())
        QSKIP("no time zone data for America/Sao_Paulo");

    CardDb db;
    db.addMember(QStringLiteral("Abel"), 0);
    Query &q = db.ds->QStaff;
    q.open();
    q.edit();
    q.fieldByName(QStringLiteral("datejoin")).setString(QStringLiteral("4/11/2018"));
    q.fieldByName(QStringLiteral("expiry")).setDateTime(QDate(2018, 11, 4).startOfDay());
    q.post();
    q.close();
    q.open();
    for (const char *column : {"datejoin", "expiry"}) {
        const Field f = q.fieldByName(QString::fromLatin1(column));
        QVERIFY(f.asDateTime().isValid());
        QCOMPARE(f.asDateTime().date(), QDate(2018, 11, 4));
        QCOMPARE(f.asString(), QLocale::system().toString(QDate(2018, 11, 4), QLocale::ShortFormat));
    }
}

void TestQuery::invalidDatesAreRefused_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("30 February") << "30/02/2024";
    QTest::newRow("month 13") << "5/13/2024";
    QTest::newRow("day 0") << "0/03/2024";
    QTest::newRow("not a date") << "abc";
    QTest::newRow("empty") << "";
    QTest::newRow("missing year") << "5/03";
}

void TestQuery::invalidDatesAreRefused()
{
    QFETCH(QString, text);
    CardDb db;
    db.addMember(QStringLiteral("Abel"), 0);
    Query &q = db.ds->QStaff;
    q.open();
    q.edit();
    q.fieldByName(QStringLiteral("datejoin")).setString(QStringLiteral("5/03/2024"));
    QVERIFY_THROWS_EXCEPTION(Error, q.fieldByName(QStringLiteral("datejoin")).setString(text));
    QVERIFY_THROWS_EXCEPTION(Error, q.fieldByName(QStringLiteral("expiry")).setValue(text));
    q.post();
    q.close();
    q.open();
    QCOMPARE(q.fieldByName(QStringLiteral("datejoin")).asDateTime().date(), QDate(2024, 3, 5));
    QVERIFY(q.fieldByName(QStringLiteral("expiry")).isNull());
}

void TestQuery::blobRoundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes"); // null: the field is cleared
    QTest::addColumn<bool>("null");

    QByteArray big(1024 * 1024, Qt::Uninitialized);
    QRandomGenerator rng(7);
    rng.fillRange(reinterpret_cast<quint32 *>(big.data()), big.size() / 4);
    QTest::newRow("small with zero bytes") << QByteArray("\xFF\xD8\x00\x01\x00\xFF\xD9", 7) << false;
    QTest::newRow("empty") << QByteArray("") << false;
    QTest::newRow("null") << QByteArray() << true;
    QTest::newRow("1 MB") << big << false;
}

void TestQuery::blobRoundTrip()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, null);
    CardDb db;
    db.addMember(QStringLiteral("Abel"), 0, QByteArray("old photo"));
    db.addMember(QStringLiteral("Baker"), 0, QByteArray("other photo"));
    Query &q = db.ds->QStaff;
    q.open();
    q.edit();
    Field photo = q.fieldByName(QStringLiteral("photo"));
    if (null)
        photo.clear();
    else
        photo.setBytes(bytes);
    q.post();

    for (int pass = 0; pass < 2; ++pass) {
        QCOMPARE(q.fieldByName(kName).asString(), QStringLiteral("Abel"));
        QCOMPARE(photo.isNull(), null);
        QCOMPARE(photo.asBytes(), bytes);
        QCOMPARE(photo.asBytes().size(), bytes.size());
        q.next();
        QCOMPARE(photo.asBytes(), QByteArray("other photo"));
        q.close();
        q.open();
    }

    // The same bytes through the joined query.
    Query &list = db.ds->QList;
    CardDb::reopen(list, cardOf(QStringLiteral("\"Abel\"")));
    QCOMPARE(list.fieldByName(QStringLiteral("photo")).asBytes(), bytes);
    QCOMPARE(list.fieldByName(QStringLiteral("photo")).isNull(), null);
}

namespace {

int recordStatement(unsigned, void *context, void *, void *sqlText)
{
    static_cast<QStringList *>(context)->append(QString::fromUtf8(static_cast<const char *>(sqlText)));
    return 0;
}

// Statements that read the photo column itself (its length does not count).
int photoReads(const QStringList &statements)
{
    static const QRegularExpression lengthCall(QStringLiteral("length\\([^)]*\\)"),
                                               QRegularExpression::CaseInsensitiveOption);
    int n = 0;
    for (QString s : statements)
        if (s.remove(lengthCall).contains(QLatin1String("photo"), Qt::CaseInsensitive))
            ++n;
    return n;
}

} // namespace

void TestQuery::photosAreReadOnlyWhenAskedFor()
{
    CardDb db;
    for (int i = 0; i < 5; ++i)
        db.addMember(QStringLiteral("M%1").arg(i), 0, QByteArray(100 * 1024, char('a' + i)));
    // The statements are watched through the file's engine; the queries send
    // the same ones to a server.
    const bool traced = !CardDb::onServer();
    QStringList statements;
    if (traced)
        sqlite3_trace_v2(db.ds->src.handle(), SQLITE_TRACE_STMT, recordStatement, &statements);

    for (Query *q : {&db.ds->QStaff, &db.ds->QList}) {
        statements.clear();
        q->open();
        QStringList names = CardDb::names(*q);
        QCOMPARE(names.size(), 5);
        QVERIFY(q->locate(kName, QStringLiteral("M3")));
        QCOMPARE(q->fieldByName(QStringLiteral("cardno")).asInteger(), 0);
        if (traced)
            QCOMPARE(photoReads(statements), 0);
        QCOMPARE(q->fieldByName(QStringLiteral("photo")).asBytes(), QByteArray(100 * 1024, 'd'));
        if (traced)
            QCOMPARE(photoReads(statements), 1);
        q->close();
    }
    if (traced)
        sqlite3_trace_v2(db.ds->src.handle(), 0, nullptr, nullptr);
}

void TestQuery::refreshRereadsRows()
{
    CardDb db;
    db.addMember(QStringLiteral("Baker"), 0);
    Query &q = db.ds->QStaff;
    q.open();
    db.addMember(QStringLiteral("Abel"), 0); // through another query
    QCOMPARE(q.recordCount(), 1);
    q.refresh();
    QVERIFY(q.isOpen());
    QCOMPARE(q.recordCount(), 2);
    QCOMPARE(CardDb::names(q), (QStringList{QStringLiteral("Abel"), QStringLiteral("Baker")}));
}

void TestQuery::fieldAccessErrors()
{
    CardDb db;
    db.addMember(QStringLiteral("Abel"), 0);
    Query &q = db.ds->QStaff;
    q.open();
    try {
        q.fieldByName(QStringLiteral("nosuch"));
        QFAIL("found a column that does not exist");
    } catch (const Error &e) {
        QVERIFY2(e.message().contains(QLatin1String("nosuch")), qPrintable(e.message()));
    }
    QVERIFY(!q.findField(QStringLiteral("nosuch")));
    QVERIFY(q.findField(QStringLiteral("NAME"))); // column names ignore case

    // Reading a null value as text fails; as a number it reads 0.
    QVERIFY(q.fieldByName(QStringLiteral("remark")).isNull());
    QVERIFY_THROWS_EXCEPTION(Error, q.fieldByName(QStringLiteral("remark")).asString());
    QCOMPARE(q.fieldByName(QStringLiteral("cardno")).asInteger(), 0);

    // Writing outside an edit fails; wrong kinds fail where they are set.
    QVERIFY_THROWS_EXCEPTION(Error, q.fieldByName(kName).setString(QStringLiteral("x")));
    q.edit();
    QVERIFY_THROWS_EXCEPTION(Error, q.fieldByName(QStringLiteral("cardno")).setString(QStringLiteral("12a")));
    q.cancel();
}

QTEST_GUILESS_MAIN(TestQuery)
#include "tst_query.moc"
