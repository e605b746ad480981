// The port component's notifications: delivered one at a time, in order,
// never nested, and never lost when bytes arrive while a handler runs.

#include "fakes.h"

#include "data/prompts.h"
#include "reader/comport.h"

#include <QTest>

using namespace tessary;
using namespace tessary::testing;

namespace {

struct Port
{
    FakePort *device = nullptr;
    std::unique_ptr<TCustomComPort> port;

    Port()
    {
        auto fake = std::make_unique<FakePort>();
        device = fake.get();
        port = std::make_unique<TCustomComPort>(std::move(fake));
        port->Open();
    }
};

} // namespace

class TestComPort : public QObject
{
    Q_OBJECT

private slots:
    void openAppliesSettingsThenNotifies();
    void notificationsDoNotNest();
    void bytesArrivingUnannouncedDuringHandler();
    void lineErrorDuringHandlerComesAfter();
    void handlerErrorIsReported();
    void unreadBytesDoNotSpin();
    void closeInsideHandlerStopsDelivery();
};

void TestComPort::openAppliesSettingsThenNotifies()
{
    auto fake = std::make_unique<FakePort>();
    FakePort *device = fake.get();
    TCustomComPort port(std::move(fake));
    QStringList seen;
    port.OnAfterOpen = [&] { seen << QStringLiteral("after open, open=%1").arg(device->opened); };
    port.Port = QStringLiteral("COM4");
    port.BaudRate = 19200;
    port.Parity = QSerialPort::EvenParity;
    port.StopBits = QSerialPort::TwoStop;
    port.DataBits = QSerialPort::Data7;
    port.SetConnected(true);
    QCOMPARE(device->log, QStringList{QStringLiteral("open COM4 19200 7E2")});
    QCOMPARE(seen, QStringList{QStringLiteral("after open, open=1")});

    port.SetConnected(false);
    device->failOpen = true;
    QVERIFY_THROWS_EXCEPTION(SerialError, port.SetConnected(true));
    QCOMPARE(seen.size(), 1);
    QVERIFY(!port.Connected());
}

void TestComPort::notificationsDoNotNest()
{
    Port p;
    QList<QByteArray> chunks;
    int depth = 0;
    int maxDepth = 0;
    p.port->OnRxChar = [&](qint64 count) {
        maxDepth = std::max(maxDepth, ++depth);
        chunks << p.port->Read(count);
        if (chunks.size() == 1)
            p.device->receive(hex("02 03"));   // arrives while the handler is busy
        --depth;
    };
    p.device->receive(hex("01"));
    QCOMPARE(maxDepth, 1);
    QCOMPARE(chunks, (QList<QByteArray>{hex("01"), hex("02 03")}));
}

void TestComPort::bytesArrivingUnannouncedDuringHandler()
{
    // QSerialPort does not signal again for bytes that arrived while its
    // readyRead handler ran; they must still be handed on afterwards.
    Port p;
    QList<QByteArray> chunks;
    bool once = true;
    p.device->afterRead = [&] {
        if (std::exchange(once, false))
            p.device->input += hex("AA BB");
    };
    p.port->OnRxChar = [&](qint64 count) { chunks << p.port->Read(count); };
    p.device->receive(hex("01"));
    QCOMPARE(chunks, (QList<QByteArray>{hex("01"), hex("AA BB")}));
}

void TestComPort::lineErrorDuringHandlerComesAfter()
{
    Port p;
    QStringList events;
    p.port->OnRxChar = [&](qint64 count) {
        events << QStringLiteral("rx ") + hexText(p.port->Read(count));
        if (events.size() == 1)
            p.device->raiseLineError();
        events << QStringLiteral("rx done");
    };
    p.port->OnError = [&] { events << QStringLiteral("error"); };
    p.device->receive(hex("01"));
    QCOMPARE(events, (QStringList{QStringLiteral("rx 01"), QStringLiteral("rx done"), QStringLiteral("error")}));
}

void TestComPort::handlerErrorIsReported()
{
    ScopedScriptedPrompts prompts;
    Port p;
    QList<QByteArray> chunks;
    p.port->OnRxChar = [&](qint64 count) {
        chunks << p.port->Read(count);
        if (chunks.size() == 1)
            throw Error(QStringLiteral("Cannot write"));
    };
    p.device->receive(hex("01"));
    p.device->receive(hex("02"));
    QCOMPARE(chunks, (QList<QByteArray>{hex("01"), hex("02")}));
    QCOMPARE(prompts->asked.size(), std::size_t(1));
    QCOMPARE(prompts->asked.front().title, QStringLiteral("Tessary"));
    QCOMPARE(prompts->asked.front().text, QStringLiteral("Cannot write."));
}

void TestComPort::unreadBytesDoNotSpin()
{
    Port p;
    int calls = 0;
    p.port->OnRxChar = [&](qint64) { ++calls; };
    p.device->receive(hex("01 02"));
    QCOMPARE(calls, 1);
    // Without a handler the bytes just wait.
    p.port->OnRxChar = nullptr;
    p.device->receive(hex("03"));
    QCOMPARE(p.port->Read(10), hex("01 02 03"));
}

void TestComPort::closeInsideHandlerStopsDelivery()
{
    Port p;
    QList<QByteArray> chunks;
    p.port->OnRxChar = [&](qint64) {
        chunks << p.port->Read(1);
        p.port->Close();
    };
    p.device->receive(hex("01 02 03"));
    QCOMPARE(chunks, QList<QByteArray>{hex("01")});
    QVERIFY(!p.port->Connected());
}

QTEST_GUILESS_MAIN(TestComPort)
#include "tst_comport.moc"
