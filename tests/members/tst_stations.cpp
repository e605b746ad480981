// Two stations on one card database: each has its own connection and data
// module, as two programs on two computers do. A save never overwrites what
// the other station changed meanwhile, deleting twice is harmless, new
// groups never share an id, and on a server each station hears of the
// other's changes.
#include "../data/carddb.h"

#include "data/connection.h"
#include "members/groupstore.h"
#include "members/memberstore.h"

#include <QMutex>
#include <QSet>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <functional>

using namespace tessary;
using tessary::testing::CardDb;

namespace {

// A second station on the card database of `db`.
struct Station
{
    explicit Station(const CardDb &db)
    {
        data.src.setConnectionString(db.connectionString());
        data.src.connect();
        data.QGroup.open();
        list(0);
    }
    void list(int gid)
    {
        data.QStaff.setSql(memberListSql(gid, QStringLiteral("name")));
        data.QStaff.open();
    }
    MemberRef member(const QString &name)
    {
        if (!data.QStaff.locate(QStringLiteral("name"), name))
            throw Error(QStringLiteral("not listed: ") + name);
        return MemberStore(data).current();
    }
    Tdsrc data;
};

MemberDetails detailsNamed(const QString &name)
{
    MemberDetails d;
    d.name = name;
    d.post = QStringLiteral("Clerk");
    d.joined = QDate(2020, 1, 2);
    d.expiry = QDate(2030, 1, 2);
    return d;
}

using Action = std::function<void(MemberStore &, const MemberRef &)>;

} // namespace

Q_DECLARE_METATYPE(Action)

class TestStations : public QObject
{
    Q_OBJECT
private slots:
    void changedMemberIsNotOverwritten_data();
    void changedMemberIsNotOverwritten();
    void deletingADeletedMemberIsNoError();
    void concurrentNewGroupsGetTheirOwnIds();
    void otherStationsChangesAreAnnounced();
};

void TestStations::changedMemberIsNotOverwritten_data()
{
    QTest::addColumn<Action>("action");
    QTest::addColumn<bool>("deletedElsewhere");
    const Action save = [](MemberStore &s, const MemberRef &m) { s.save(m, detailsNamed(QStringLiteral("Mine")), 0); };
    const Action move = [](MemberStore &s, const MemberRef &m) { s.move(m, 7); };
    const Action card = [](MemberStore &s, const MemberRef &m) { s.setCardNumber(m, 4711); };
    QTest::newRow("save after a change") << save << false;
    QTest::newRow("move after a change") << move << false;
    QTest::newRow("card number after a change") << card << false;
    QTest::newRow("save after a deletion") << save << true;
    QTest::newRow("move after a deletion") << move << true;
    QTest::newRow("card number after a deletion") << card << true;
}

void TestStations::changedMemberIsNotOverwritten()
{
    QFETCH(Action, action);
    QFETCH(bool, deletedElsewhere);
    CardDb db;
    db.addMember(QStringLiteral("Ann"), 0);
    db.addMember(QStringLiteral("Ben"), 0);
    Station here(db), there(db);
    const MemberRef ann = here.member(QStringLiteral("Ann"));

    // The other station changes (or deletes) Ann after this one read her.
    MemberStore elsewhere(there.data);
    const MemberRef theirs = there.member(QStringLiteral("Ann"));
    if (deletedElsewhere)
        elsewhere.remove(theirs.seq);
    else
        elsewhere.save(theirs, detailsNamed(QStringLiteral("Ann Other")), 0);

    MemberStore store(here.data);
    try {
        action(store, ann);
        QFAIL("the change made elsewhere was overwritten");
    } catch (const RowChangedError &e) {
        QCOMPARE(e.message(), deletedElsewhere ? QStringLiteral("The record was deleted at another station.")
                                               : QStringLiteral("The record was changed at another station."));
    }
    // What the other station wrote stands, and this station's list shows it.
    const QString stored = deletedElsewhere ? QStringLiteral("-") : QStringLiteral("Ann Other");
    QCOMPARE(db.stored(QStringLiteral("select coalesce(max(name), '-') from stafftbl where seq = %1").arg(ann.seq)).toString(),
             stored);
    QCOMPARE(db.committed(QStringLiteral("select count(*) from stafftbl where cardno = 4711 or gid = 7")), 0);
    QCOMPARE(here.data.QStaff.state(), Query::State::Browse);

    // Read again, the member is saved.
    if (!deletedElsewhere) {
        here.list(0);
        action(store, here.member(QStringLiteral("Ann Other")));
        QCOMPARE(db.committed(QStringLiteral("select count(*) from stafftbl where seq = %1 and "
                                             "(name = 'Mine' or gid = 7 or cardno = 4711)")
                                  .arg(ann.seq)),
                 1);
    }
    // The other member was never touched.
    QCOMPARE(db.committed(QStringLiteral("select count(*) from stafftbl where name = 'Ben' and gid = 0")), 1);
}

void TestStations::deletingADeletedMemberIsNoError()
{
    CardDb db;
    db.addMember(QStringLiteral("Ann"), 0);
    Station here(db), there(db);
    const qint64 seq = here.member(QStringLiteral("Ann")).seq;
    MemberStore(there.data).remove(there.member(QStringLiteral("Ann")).seq);
    MemberStore(here.data).remove(seq);
    QCOMPARE(here.data.QStaff.recordCount(), 0);
    QCOMPARE(db.committed(QStringLiteral("select count(*) from stafftbl")), 0);
}

void TestStations::concurrentNewGroupsGetTheirOwnIds()
{
    CardDb db;
    // A group already holds the id the next new group's key would give it.
    db.execElsewhere(QStringLiteral("insert into grptbl (gid, gdesc) values (3, 'Taken')"));
    constexpr int kEach = 12;
    QStringList failures;
    QMutex failuresLock;
    auto station = [&](const QString &prefix) {
        return QThread::create([&, prefix] {
            try {
                Tdsrc data;
                data.src.setConnectionString(db.connectionString());
                data.src.connect();
                data.QGroup.open();
                GroupStore groups(data.QGroup);
                for (int i = 0; i < kEach; ++i)
                    groups.create(prefix + QString::number(i));
            } catch (const Error &e) {
                QMutexLocker lock(&failuresLock);
                failures << e.message();
            }
        });
    };
    std::unique_ptr<QThread> a(station(QStringLiteral("A"))), b(station(QStringLiteral("B")));
    a->start();
    b->start();
    QVERIFY(a->wait(60000) && b->wait(60000));
    QCOMPARE(failures, QStringList());

    const QList<QVariantList> rows = db.storedRows(QStringLiteral("select gid from grptbl"));
    QSet<qlonglong> ids;
    for (const QVariantList &row : rows)
        ids.insert(row.first().toLongLong());
    QCOMPARE(rows.size(), 2 + 2 * kEach); // DEFAULT, Taken and the new ones
    QCOMPARE(ids.size(), rows.size());
}

void TestStations::otherStationsChangesAreAnnounced()
{
    if (!CardDb::onServer())
        QSKIP("changes are announced by the server; one file has one program");
    CardDb db;
    db.addMember(QStringLiteral("Ann"), 0);
    Station here(db), there(db);
    QSignalSpy heard(&here.data.src, &Connection::remoteChanged);
    QSignalSpy own(&there.data.src, &Connection::remoteChanged);

    MemberStore(there.data).save(there.member(QStringLiteral("Ann")), detailsNamed(QStringLiteral("Ann Other")), 0);
    QVERIFY(heard.wait(1000));
    QCOMPARE(heard.first().first().toString(), QStringLiteral("stafftbl"));
    GroupStore(there.data.QGroup).create(QStringLiteral("Sales"));
    QTRY_VERIFY_WITH_TIMEOUT(heard.count() >= 2, 1000);
    QCOMPARE(heard.last().first().toString(), QStringLiteral("grptbl"));
    // A station is not told of its own writes.
    QCOMPARE(own.count(), 0);
    // Heard changes count as changes of the database.
    const quint64 before = here.data.src.changeCount();
    MemberStore(there.data).remove(there.data.QStaff.rowId(0));
    QVERIFY(heard.wait(1000));
    QVERIFY(here.data.src.changeCount() > before);
}

QTEST_MAIN(TestStations)
#include "tst_stations.moc"
