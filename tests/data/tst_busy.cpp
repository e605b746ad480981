// Long operations hold back what would otherwise run inside them.
#include "data/busy.h"

#include <QtTest>

using namespace tessary;

class TestBusy : public QObject
{
    Q_OBJECT

private slots:
    void idleRunsAtOnce();
    void heldBackUntilTheLastScopeEndsThenInOrder();
    void actionOfAnOwnerThatIsGoneIsDropped();
    void actionThatStartsAnOperationKeepsTheRestWaiting();
};

void TestBusy::idleRunsAtOnce()
{
    int ran = 0;
    QVERIFY(!BusyScope::active());
    runWhenIdle([&] { ++ran; });
    QCOMPARE(ran, 1);
    QCOMPARE(heldBackActions(), 0);
}

void TestBusy::heldBackUntilTheLastScopeEndsThenInOrder()
{
    QStringList order;
    {
        BusyScope outer;
        runWhenIdle([&] { order << QStringLiteral("a"); });
        {
            BusyScope inner;
            QVERIFY(BusyScope::active());
            runWhenIdle([&] { order << QStringLiteral("b"); });
        }
        QCoreApplication::processEvents();
        QVERIFY(order.isEmpty()); // the outer operation still runs
    }
    // Not inside the closing scope either: from the event loop.
    QVERIFY(order.isEmpty());
    // What comes after the operation ended, before the kept ones ran, waits
    // its turn.
    runWhenIdle([&] { order << QStringLiteral("c"); });
    QVERIFY(order.isEmpty());
    QTRY_COMPARE(order, (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    QCOMPARE(heldBackActions(), 0);
}

void TestBusy::actionOfAnOwnerThatIsGoneIsDropped()
{
    int ran = 0;
    {
        BusyScope busy;
        auto owner = std::make_shared<int>(0);
        runWhenIdle([&] { ++ran; }, owner);
        runWhenIdle([&] { ran += 10; }, std::make_shared<int>(1)); // owner gone at once
        auto kept = std::make_shared<int>(2);
        runWhenIdle([&, kept] { ran += 100; }); // untied
    }
    QTRY_COMPARE(heldBackActions(), 0);
    QCOMPARE(ran, 100);
}

void TestBusy::actionThatStartsAnOperationKeepsTheRestWaiting()
{
    QStringList order;
    {
        BusyScope busy;
        runWhenIdle([&] {
            order << QStringLiteral("first");
            BusyScope nested;
            QCoreApplication::processEvents();
            order << QStringLiteral("first done");
        });
        runWhenIdle([&] { order << QStringLiteral("second"); });
    }
    QTRY_COMPARE(order,
                 (QStringList{QStringLiteral("first"), QStringLiteral("first done"), QStringLiteral("second")}));
}

QTEST_GUILESS_MAIN(TestBusy)
#include "tst_busy.moc"
