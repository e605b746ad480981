// The member grid's model over a query: checked by Qt's model tester while
// rows are removed and appended one at a time.
#include "../data/carddb.h"

#include "app/staffmodel.h"
#include "data/progresssink.h"
#include "members/memberstore.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

using namespace tessary;
using tessary::testing::CardDb;

class TestStaffModel : public QObject
{
    Q_OBJECT

private slots:
    void followsRemovalsAndInsertsRowByRow();
};

void TestStaffModel::followsRemovalsAndInsertsRowByRow()
{
    CardDb db;
    Tdsrc &data = *db.ds;
    for (int i = 0; i < 6; ++i)
        db.addMember(QStringLiteral("M%1").arg(i), 2);
    data.QStaff.setSql(memberListSql(2, QStringLiteral("name")));
    data.QStaff.open();

    QueryTableModel model(&data.QStaff, {{QStringLiteral("staffno"), QStringLiteral("ID")},
                                         {QStringLiteral("name"), QStringLiteral("Name")}});
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QCOMPARE(model.rowCount(), 6);

    // One removal from the middle: row 2 goes, the rest move up.
    data.QStaff.setRecNo(2);
    data.QStaff.deleteRow();
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.first().at(1).toInt(), 2);
    QCOMPARE(model.rowCount(), 5);
    QCOMPARE(model.index(2, 1).data().toString(), QStringLiteral("M3"));

    // An append shows as one row at the end.
    data.QStaff.append();
    data.QStaff.fieldByName(QStringLiteral("name")).setString(QStringLiteral("New"));
    data.QStaff.fieldByName(QStringLiteral("gid")).setInteger(2);
    data.QStaff.post();
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.first().at(1).toInt(), 5);
    QCOMPARE(model.index(5, 1).data().toString(), QStringLiteral("New"));

    // Delete all: one removal per row, never a reset.
    CountingProgress progress;
    MemberStore(data).deleteAll(progress);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(removed.count(), 7);
    QCOMPARE(resets.count(), 0);
    QVERIFY(!model.index(0, 0).isValid());
}

QTEST_MAIN(TestStaffModel)
#include "tst_staffmodel.moc"
