// The member and group rules and the transactions they run in, on a real
// card database, without a window.
#include "../data/carddb.h"

#include "data/connection.h"
#include "data/progresssink.h"
#include "members/groupstore.h"
#include "members/memberstore.h"
#include "photo/picture.h"

#include <QtTest>

#include <functional>

#include <sqlite3.h>

using namespace tessary;
using tessary::testing::CardDb;

namespace {

// Counts rows through a connection of its own, so it sees only what has been
// committed to the file.
void listGroup(Tdsrc &data, int gid)
{
    data.QStaff.setSql(memberListSql(gid, QStringLiteral("name")));
    data.QStaff.open();
}

QByteArray jpeg(int width, int height)
{
    QImage picture(width, height, QImage::Format_BGR888);
    picture.fill(QColor(30, 120, 200));
    return SavePictureToBlob(picture);
}

// A progress sink that, at its first step, does what another command did
// when it ran inside a bulk operation.
class MeddlingProgress : public CountingProgress
{
public:
    std::function<void()> meddle;
    void StepIt() override
    {
        CountingProgress::StepIt();
        if (meddle && steps() == 1)
            meddle();
    }
};

int commitCount = 0;
int countCommit(void *)
{
    ++commitCount;
    return 0;
}

} // namespace

class TestStores : public QObject
{
    Q_OBJECT

private slots:
    void transactionCommitsRollsBackAndJoins();
    void newGroupTakesItsRowKeyUpToTheLimit();
    void removingAGroupMovesItsListedMembersToGroupZero();
    void savingFindsTheMemberByExactNameAmongAll();
    void deleteAllCommitsTheRowsBeforeAFailure();
    void moveAndDeleteOne();
    void resizeAllStopsAtAFailedStoreKeepingEarlierRows();
    void deleteAllActsOnTheRowsItListed_data();
    void deleteAllActsOnTheRowsItListed();
    void resizeAllWalksTheMembersOfItsStart();
    void resizeAllCleanUpNeverEndsTheProgram();
    void creatingAGroupIsOneTransaction();
};

void TestStores::transactionCommitsRollsBackAndJoins()
{
    CardDb db;
    Tdsrc &data = *db.ds;
    data.QAllStaff.open();
    const QString count = QStringLiteral("select count(*) from stafftbl");
    {
        Transaction outer(data.src);
        QVERIFY(outer.owner());
        db.addMember(QStringLiteral("A"), 0);
        {
            Transaction inner(data.src);
            QVERIFY(!inner.owner());
            db.addMember(QStringLiteral("B"), 0);
            inner.commit(); // joins: nothing is written yet
        }
        QCOMPARE(db.committed(count), 0);
        outer.commit();
    }
    QCOMPARE(db.committed(count), 2);

    // Leaving the scope without a commit rolls back, and the open query is
    // read again so it matches the file.
    {
        Transaction t(data.src);
        db.addMember(QStringLiteral("C"), 0);
        QCOMPARE(data.QAllStaff.recordCount(), 3);
    }
    QVERIFY(!data.src.inTransaction());
    QCOMPARE(db.committed(count), 2);
    QCOMPARE(data.QAllStaff.recordCount(), 2);
}

void TestStores::newGroupTakesItsRowKeyUpToTheLimit()
{
    CardDb db;
    Tdsrc &data = *db.ds;
    data.QGroup.open();
    GroupStore groups(data.QGroup);
    const int id = groups.create(QStringLiteral("Office"));
    QCOMPARE(data.QGroup.fieldByName(QStringLiteral("seq")).asInteger(), id);
    QCOMPARE(data.QGroup.fieldByName(QStringLiteral("gid")).asInteger(), id);
    QCOMPARE(groups.idOf(QStringLiteral("Office")), std::optional<int>(id));
    QCOMPARE(groups.idOf(QStringLiteral("office")), std::nullopt); // exact names only

    // The last key that fits is used; the next one is refused and its row goes.
    data.src.exec(QStringLiteral("insert into grptbl (seq, gid, gdesc) values (32766, 0, 'filler')"));
    db.keysWritten();
    data.QGroup.refresh();
    QCOMPARE(groups.create(QStringLiteral("Last")), 32767);
    QVERIFY_THROWS_EXCEPTION(Error, groups.create(QStringLiteral("Too many")));
    QCOMPARE(groups.idOf(QStringLiteral("Too many")), std::nullopt);
    QCOMPARE(db.committed(QStringLiteral("select count(*) from grptbl where gdesc = 'Too many'")), 0);
    QCOMPARE(db.committed(QStringLiteral("select count(*) from grptbl where gid = 0")), 2); // DEFAULT, filler
}

void TestStores::removingAGroupMovesItsListedMembersToGroupZero()
{
    CardDb db;
    Tdsrc &data = *db.ds;
    db.addGroup(QStringLiteral("Sales"), 5);
    db.addMember(QStringLiteral("Ann"), 5);
    db.addMember(QStringLiteral("Bob"), 5);
    db.addMember(QStringLiteral("Cy"), 7);
    listGroup(data, 5);
    GroupStore groups(data.QGroup);
    QVERIFY(!groups.remove(QStringLiteral("Nobody"), data.QStaff));
    QVERIFY(groups.remove(QStringLiteral("Sales"), data.QStaff));
    QCOMPARE(groups.idOf(QStringLiteral("Sales")), std::nullopt);
    QCOMPARE(db.committed(QStringLiteral("select count(*) from stafftbl where gid = 0")), 2);
    QCOMPARE(db.committed(QStringLiteral("select count(*) from stafftbl where gid = 7")), 1);
}

void TestStores::savingFindsTheMemberByExactNameAmongAll()
{
    CardDb db;
    Tdsrc &data = *db.ds;
    db.addGroup(QStringLiteral("Sales"), 5);
    db.addMember(QStringLiteral("Ann"), 5);
    data.src.exec(QStringLiteral("update stafftbl set cardno = 77"));
    MemberStore store(data);
    QCOMPARE(store.groupOfMember(QStringLiteral("Ann")), std::optional<int>(5));
    QCOMPARE(store.groupOfMember(QStringLiteral("ann")), std::nullopt);
    QVERIFY(!data.QAllStaff.isOpen());

    MemberDetails ann;
    ann.name = QStringLiteral("Ann");
    ann.cname = QStringLiteral("安");
    ann.joined = QDate(2024, 3, 5);
    ann.expiry = QDate(2030, 12, 1);
    ann.photo = jpeg(120, 160);
    listGroup(data, 5);
    QVERIFY(store.store(ann, 5)); // overwritten, in its own group
    QCOMPARE(db.committed(QStringLiteral("select count(*) from stafftbl")), 1);
    QCOMPARE(db.committed(QStringLiteral("select cardno from stafftbl where name = 'Ann'")), 0);
    QCOMPARE(data.QStaff.fieldByName(QStringLiteral("cname")).asString(), QStringLiteral("安"));
    QCOMPARE(data.QStaff.fieldByName(QStringLiteral("expiry")).asDateTime().date(), QDate(2030, 12, 1));

    MemberDetails zed = ann;
    zed.name = QStringLiteral("Zed");
    listGroup(data, 0);
    QVERIFY(!store.store(zed, 0)); // appended to the listed group
    QCOMPARE(data.QStaff.recordCount(), 1);
    QCOMPARE(db.committed(QStringLiteral("select gid from stafftbl where name = 'Zed'")), 0);

    // A refused store is cancelled and passes its error on.
    db.refuse(QStringLiteral("no"), QStringLiteral("insert"), QString(), QStringLiteral("no"));
    zed.name = QStringLiteral("Yan");
    QVERIFY_THROWS_EXCEPTION(Error, store.store(zed, 0));
    QCOMPARE(data.QStaff.state(), Query::State::Browse);
    QCOMPARE(dayMonthYearText(QDate(2009, 3, 5)), QStringLiteral("5/03/2009"));
}

void TestStores::deleteAllCommitsTheRowsBeforeAFailure()
{
    CardDb db;
    Tdsrc &data = *db.ds;
    for (const char *name : {"A", "B", "C", "D"})
        db.addMember(QString::fromLatin1(name), 3);
    db.addMember(QStringLiteral("Other"), 4);
    // The third deletion fails.
    db.refuse(QStringLiteral("keep"), QStringLiteral("delete"), QStringLiteral("old.name = 'C'"), QStringLiteral("C is kept"));
    listGroup(data, 3);
    CountingProgress progress;
    progress.SetRange(4);
    try {
        MemberStore(data).deleteAll(progress);
        QFAIL("the failing deletion was not reported");
    } catch (const Error &error) {
        QVERIFY(error.message().contains(QStringLiteral("C is kept")));
    }
    QVERIFY(!data.src.inTransaction());
    // On the file A and B are gone for good; C, D and the other group's
    // member stay. On a server other stations see all of a deletion or
    // none: every member stays.
    const bool server = CardDb::onServer();
    QCOMPARE(progress.steps(), server ? 0 : 2);
    QCOMPARE(db.committed(QStringLiteral("select count(*) from stafftbl where gid = 3")), server ? 4 : 2);
    QCOMPARE(db.committed(QStringLiteral("select count(*) from stafftbl")), server ? 5 : 3);
    const QStringList left = server ? QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")}
                                    : QStringList{QStringLiteral("C"), QStringLiteral("D")};
    QCOMPARE(CardDb::names(data.QStaff), left);

    db.stopRefusing(QStringLiteral("keep"));
    CountingProgress again;
    again.SetRange(int(left.size()));
    QCOMPARE(MemberStore(data).deleteAll(again), int(left.size()));
    QCOMPARE(again.position(), int(left.size()));
    QCOMPARE(db.committed(QStringLiteral("select count(*) from stafftbl")), 1);
}

void TestStores::moveAndDeleteOne()
{
    CardDb db;
    Tdsrc &data = *db.ds;
    db.addMember(QStringLiteral("A"), 3);
    db.addMember(QStringLiteral("B"), 3);
    listGroup(data, 3);
    MemberStore store(data);
    data.QStaff.first();
    QVERIFY(store.moveCurrent(9));
    QCOMPARE(db.committed(QStringLiteral("select count(*) from stafftbl where gid = 9 and name = 'A'")), 1);
    data.QStaff.last();
    QVERIFY(store.deleteCurrent());
    QCOMPARE(db.committed(QStringLiteral("select count(*) from stafftbl where name = 'B'")), 0);
    // A move the database refuses leaves the member where it was.
    db.refuse(QStringLiteral("stay"), QStringLiteral("update"), QString(), QStringLiteral("no"));
    data.QStaff.first();
    QVERIFY(!store.moveCurrent(1));
    QCOMPARE(data.QStaff.state(), Query::State::Browse);
}

void TestStores::resizeAllStopsAtAFailedStoreKeepingEarlierRows()
{
    CardDb db;
    Tdsrc &data = *db.ds;
    db.addMember(QStringLiteral("A big"), 1, jpeg(600, 700));
    db.addMember(QStringLiteral("B small"), 1, jpeg(100, 100));
    db.addMember(QStringLiteral("C big"), 1, jpeg(500, 500));
    db.addMember(QStringLiteral("D big"), 1, jpeg(481, 10));
    db.refuse(QStringLiteral("fail"), QStringLiteral("update"), QStringLiteral("old.name = 'C big'"), QStringLiteral("full"));
    listGroup(data, 1);
    CountingProgress progress;
    QCOMPARE(ResizeAllPhotos(data.QStaff, data.QAllStaff, progress), ResizeOutcome::Failed);
    QCOMPARE(progress.maximum(), 4);
    QCOMPARE(progress.steps(), 2); // A and B; C stopped the walk
    QVERIFY(!data.src.inTransaction());
    QVERIFY(!data.QAllStaff.isOpen());
    QVERIFY(data.QStaff.isOpen());
    QCOMPARE(data.QStaff.recNo(), 0);

    auto sizeOf = [&](const QString &name) {
        data.QAllStaff.setSql(allMembersSql());
        data.QAllStaff.open();
        data.QAllStaff.locate(QStringLiteral("name"), name);
        const QSize size = LoadPictureFromBlob(data.QAllStaff.fieldByName(QStringLiteral("photo")).asBytes()).size();
        data.QAllStaff.close();
        return size;
    };
    QCOMPARE(sizeOf(QStringLiteral("A big")), QSize(480, 640));
    QCOMPARE(sizeOf(QStringLiteral("C big")), QSize(500, 500));
    QCOMPARE(sizeOf(QStringLiteral("D big")), QSize(481, 10));

    db.stopRefusing(QStringLiteral("fail"));
    CountingProgress second;
    QCOMPARE(ResizeAllPhotos(data.QStaff, data.QAllStaff, second), ResizeOutcome::Completed);
    QCOMPARE(second.position(), 4);
    QCOMPARE(sizeOf(QStringLiteral("C big")), QSize(480, 640));
    QCOMPARE(sizeOf(QStringLiteral("D big")), QSize(480, 640));
}

void TestStores::deleteAllActsOnTheRowsItListed_data()
{
    QTest::addColumn<QString>("meddling");
    QTest::newRow("another group listed") << QStringLiteral("relist");
    QTest::newRow("list closed") << QStringLiteral("close");
    QTest::newRow("member added to the group") << QStringLiteral("add");
    QTest::newRow("list read again") << QStringLiteral("refresh");
}

void TestStores::deleteAllActsOnTheRowsItListed()
{
    QFETCH(QString, meddling);
    CardDb db;
    Tdsrc &data = *db.ds;
    for (const char *name : {"A", "B", "C"})
        db.addMember(QString::fromLatin1(name), 3);
    db.addMember(QStringLiteral("Kept 1"), 4);
    db.addMember(QStringLiteral("Kept 2"), 4);
    listGroup(data, 3);

    MeddlingProgress progress;
    progress.SetRange(3);
    progress.meddle = [&] {
        if (meddling == QLatin1String("relist"))
            listGroup(data, 4);
        else if (meddling == QLatin1String("close"))
            data.QStaff.close();
        else if (meddling == QLatin1String("add"))
            data.src.exec(QStringLiteral("insert into stafftbl (gid, name) values (3, 'Late')"));
        else
            data.QStaff.refresh();
    };
    QCOMPARE(MemberStore(data).deleteAll(progress), 3);
    QCOMPARE(progress.steps(), 3);
    QVERIFY(!data.src.inTransaction());
    const QString late = meddling == QLatin1String("add") ? QStringLiteral(",Late") : QString();
    QCOMPARE(db.committed(QStringLiteral("select count(*) from stafftbl where gid = 4")), 2);
    QCOMPARE(db.committed(QStringLiteral("select count(*) from stafftbl where gid = 3")),
             late.isEmpty() ? 0 : 1);
}

void TestStores::resizeAllWalksTheMembersOfItsStart()
{
    // The count in the status bar closes the all-members query; a walk that
    // followed it would stop half-way.
    CardDb db;
    Tdsrc &data = *db.ds;
    for (const char *name : {"A", "B", "C"})
        db.addMember(QString::fromLatin1(name), 1, jpeg(500, 700));
    listGroup(data, 1);
    MeddlingProgress progress;
    progress.meddle = [&] { data.QAllStaff.close(); };
    QCOMPARE(ResizeAllPhotos(data.QStaff, data.QAllStaff, progress), ResizeOutcome::Completed);
    QCOMPARE(progress.steps(), 3);
    QCOMPARE(db.committed(QStringLiteral("select count(*) from stafftbl where length(photo) > 0")), 3);
    data.QAllStaff.setSql(allMembersSql());
    data.QAllStaff.open();
    for (data.QAllStaff.first(); !data.QAllStaff.eof(); data.QAllStaff.next())
        QCOMPARE(LoadPictureFromBlob(data.QAllStaff.fieldByName(QStringLiteral("photo")).asBytes()).size(),
                 QSize(480, 640));
}

void TestStores::resizeAllCleanUpNeverEndsTheProgram()
{
    // The walk fails, and so does reopening the member list in the
    // clean-up: the walk's error is the one reported, and the program goes on.
    CardDb db;
    Tdsrc &data = *db.ds;
    db.addMember(QStringLiteral("A"), 1, jpeg(500, 700));
    data.QStaff.setSql({QStringLiteral("select * from nosuchtable")});
    MeddlingProgress progress;
    progress.meddle = [] { throw Error(QStringLiteral("walk failed")); };
    try {
        ResizeAllPhotos(data.QStaff, data.QAllStaff, progress);
        QFAIL("the failure was not reported");
    } catch (const Error &error) {
        QCOMPARE(error.message(), QStringLiteral("walk failed"));
    }
    QVERIFY(!data.src.inTransaction());
    QVERIFY(!data.QAllStaff.isOpen());

    // On the normal way out a list that cannot be reopened is reported.
    CountingProgress quiet;
    QVERIFY_THROWS_EXCEPTION(Error, ResizeAllPhotos(data.QStaff, data.QAllStaff, quiet));
}

void TestStores::creatingAGroupIsOneTransaction()
{
    // A kill between two commits would leave a group with the id of the
    // DEFAULT group, listing its members.
    CardDb db;
    Tdsrc &data = *db.ds;
    data.QGroup.open();
    // Commits are counted by the file's engine.
    const bool counted = !CardDb::onServer();
    commitCount = 0;
    if (counted)
        sqlite3_commit_hook(data.src.handle(), countCommit, nullptr);
    const int id = GroupStore(data.QGroup).create(QStringLiteral("Office"));
    if (counted) {
        sqlite3_commit_hook(data.src.handle(), nullptr, nullptr);
        QCOMPARE(commitCount, 1);
    }
    QCOMPARE(db.committed(QStringLiteral("select gid from grptbl where gdesc = 'Office'")), id);
    QVERIFY(id > 0);
}

QTEST_GUILESS_MAIN(TestStores)
#include "tst_stores.moc"
