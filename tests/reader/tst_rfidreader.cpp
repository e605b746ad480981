// The reader link's receive machine, frame dispatch and commands, driven
// through a fake port and a hand-moved clock.

#include "fakes.h"

#include "data/prompts.h"
#include "reader/reader.h"

#include <QTest>

using namespace tessary;
using namespace tessary::testing;

namespace {

const QByteArray cardReadFrame = hex("F5 06 00 00 12 D6 87 91 FA");
const QByteArray cardRecordFrame = hex("F5 0B 83 34 54 51 17 00 00 12 D6 87 1E FA");

struct Card
{
    bool offline;
    qint32 port;
    qint32 code;
    QDateTime stamp;
    qint8 cmode;
};

// A reader link on a fake port, opened as "COM3", recording its card events.
struct Link
{
    ManualClock clock;   // outlives the link, which owns timers on it
    FakePort *port = nullptr;
    std::unique_ptr<TRfidReader> reader;
    std::vector<Card> cards;

    explicit Link(bool withCardHandler = true)
    {
        auto device = std::make_unique<FakePort>();
        port = device.get();
        reader = std::make_unique<TRfidReader>(std::move(device), clock.factory());
        reader->PortNo = 3;
        if (withCardHandler)
            reader->OnCardCode = [this](bool offline, qint32 portNo, qint32 code, const QDateTime &stamp, qint8 cmode) {
                cards.push_back({offline, portNo, code, stamp, cmode});
            };
        reader->ApplyPortSettings();
        reader->SetConnected(true);
    }

    void receive(const QByteArray &bytes) { port->receive(bytes); }

    // One byte per notification, `gapMs` apart; `longGapBefore` (an index)
    // gets `longGapMs` instead.
    void receiveSpaced(const QByteArray &bytes, int gapMs, int longGapBefore = -1, int longGapMs = 0)
    {
        for (int i = 0; i < bytes.size(); ++i) {
            if (i > 0)
                clock.advance(i == longGapBefore ? longGapMs : gapMs);
            port->receive(bytes.mid(i, 1));
        }
    }

    QList<qint32> codes() const
    {
        QList<qint32> out;
        for (const Card &c : cards)
            out << c.code;
        return out;
    }
};

QByteArray withByte(QByteArray bytes, int index, quint8 value)
{
    bytes[index] = char(value);
    return bytes;
}

} // namespace

class TestRfidReader : public QObject
{
    Q_OBJECT

private slots:
    void defaultsAndPortSettings();
    void replyFrames_data();
    void replyFrames();
    void bypassAndPowerupFrames();
    void cardRead();
    void cardRecord();
    void cardRecordWithNegativeStamp();
    void corruptFrames_data();
    void corruptFrames();
    void byteGap();
    void strayAndRepeatedStartBytes();
    void codeZeroAndBeeps();
    void severalFramesInOneDelivery();
    void lineErrorAndReopenReset();
    void handlerFailureStillResets();
    void handlerAnswersTheCard();
    void decodeStamp_data();
    void decodeStamp();
    void commands_data();
    void commands();
    void commandOnClosedPort();
    void commandFailures();
    void packetMode();
    void packetTimeout();
};

void TestRfidReader::defaultsAndPortSettings()
{
    ManualClock clock;
    auto device = std::make_unique<FakePort>();
    FakePort *port = device.get();
    TRfidReader reader(std::move(device), clock.factory());
    QCOMPARE(reader.PortNo, 0);
    QCOMPARE(reader.LockTime, 1);
    QVERIFY(!reader.AutoBeep && !reader.Responsed && !reader.ResultOK && !reader.PktMode);
    QVERIFY(!reader.PktGood && !reader.PktTimeout && !reader.Enable);
    QVERIFY(reader.ModelString.isEmpty());
    QVERIFY(!reader.OnCardCode && !reader.OnBypass && !reader.OnPowerup);
    QVERIFY(!reader.Connected());

    reader.PortNo = 12;
    reader.ApplyPortSettings();
    QCOMPARE(reader.Port, QStringLiteral("COM12"));
    QCOMPARE(reader.BaudRate, 19200);
    reader.SetConnected(true);
    QVERIFY(reader.Connected());
    reader.SetConnected(true);   // already open: nothing more
    reader.SetConnected(false);
    QCOMPARE(port->log, QStringList({QStringLiteral("open COM12 19200 8N1"), QStringLiteral("close")}));

    port->failOpen = true;
    QVERIFY_THROWS_EXCEPTION(SerialError, reader.SetConnected(true));
    QVERIFY(!reader.Connected());
}

void TestRfidReader::replyFrames_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("resultOk");
    QTest::addColumn<QString>("model");
    QTest::newRow("G") << hex("F5 02 47 B9 FA") << true << QString();
    QTest::newRow("B") << hex("F5 02 42 BE FA") << false << QString();
    QTest::newRow("0") << frame("0") << true << QStringLiteral("MX520");
    QTest::newRow("1") << hex("F5 02 31 CF FA") << true << QStringLiteral("RK11");
    QTest::newRow("2") << frame("2") << true << QStringLiteral("RK12");
}

void TestRfidReader::replyFrames()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, resultOk);
    QFETCH(QString, model);
    ScopedScriptedPrompts prompts;
    Link link;
    link.reader->AutoBeep = true;
    link.reader->ResultOK = !resultOk;
    link.receive(bytes);
    QVERIFY(link.reader->Responsed);
    QCOMPARE(link.reader->ResultOK, resultOk);
    QCOMPARE(link.reader->ModelString, model);
    QVERIFY(link.cards.empty());
    QCOMPARE(prompts->beeps, 0);   // replies never beep
}

void TestRfidReader::bypassAndPowerupFrames()
{
    Link link;
    QList<QPair<qint32, qint32>> bypasses;
    QList<qint32> powerups;
    // Unassigned events are skipped without harm.
    link.receive(frame("P") + frame("R"));

    link.reader->OnBypass = [&](qint32 port, qint32 state) { bypasses << qMakePair(port, state); };
    link.reader->OnPowerup = [&](qint32 port) { powerups << port; };
    link.receive(frame("P") + frame("p") + frame("R") + frame("X"));
    QCOMPARE(bypasses, (QList<QPair<qint32, qint32>>{{3, 0}, {3, 1}}));
    QCOMPARE(powerups, QList<qint32>{3});
    QVERIFY(!link.reader->Responsed);
    QVERIFY(link.cards.empty());
}

void TestRfidReader::cardRead()
{
    Link link;
    const QDateTime before = QDateTime::currentDateTime();
    link.receive(cardReadFrame);
    const QDateTime after = QDateTime::currentDateTime();
    QCOMPARE(link.cards.size(), std::size_t(1));
    const Card &card = link.cards.front();
    QCOMPARE(card.offline, false);
    QCOMPARE(card.port, 3);
    QCOMPARE(card.code, 1234567);
    QCOMPARE(card.cmode, qint8(-1));
    QVERIFY(card.stamp >= before.addMSecs(-1000) && card.stamp <= after);

    // P0 and P1 are not part of the code; the highest code is 24 bits.
    link.cards.clear();
    link.receive(frame(hex("AB CD FF FF FF")));
    QCOMPARE(link.codes(), QList<qint32>{0xFFFFFF});
}

void TestRfidReader::cardRecord()
{
    Link link;
    link.receive(cardRecordFrame);
    QCOMPARE(link.cards.size(), std::size_t(1));
    const Card &card = link.cards.front();
    QCOMPARE(card.offline, true);
    QCOMPARE(card.port, 3);
    QCOMPARE(card.code, 1234567);
    QCOMPARE(card.cmode, qint8(3));
    QCOMPARE(card.stamp, QDateTime(QDate(2024, 5, 17), QTime(8, 30, 15), Qt::LocalTime));

    // Online, the highest mode; P5 and P6 are not interpreted.
    link.cards.clear();
    link.receive(frame(hex("7F 34 54 51 17 AA BB 00 00 01")));
    QCOMPARE(link.cards.size(), std::size_t(1));
    QCOMPARE(link.cards.front().offline, false);
    QCOMPARE(link.cards.front().cmode, qint8(127));
    QCOMPARE(link.cards.front().code, 1);
}

void TestRfidReader::cardRecordWithNegativeStamp()
{
    Link link;
    link.receive(frame(hex("83 80 54 51 17 00 00 12 D6 87")));
    link.receive(frame(hex("83 FF FF FF FF 00 00 12 D6 87")));
    QCOMPARE(link.codes(), (QList<qint32>{1234567, 1234567}));
    QVERIFY(link.cards[0].stamp.isNull());
    QVERIFY(link.cards[1].stamp.isNull());
}

void TestRfidReader::corruptFrames_data()
{
    QTest::addColumn<QByteArray>("bytes");
    for (int i = 2; i <= 7; ++i)
        QTest::addRow("payload byte %d changed", i - 2) << withByte(cardReadFrame, i, quint8(cardReadFrame[i] + 1));
    QTest::newRow("wrong end byte") << withByte(cardReadFrame, 8, 0xFB);
    QTest::newRow("length 5") << hex("F5 05 00 12 D6 87 91 FA");
    QTest::newRow("length 0") << hex("F5 00 00 00 12 D6 87 91 FA");
    QTest::newRow("length 11 in a 6-byte frame") << withByte(cardReadFrame, 1, 0x0B);
    QTest::newRow("record payload changed") << withByte(cardRecordFrame, 9, 0x13);
}

void TestRfidReader::corruptFrames()
{
    QFETCH(QByteArray, bytes);
    Link link;
    link.receive(bytes);
    QVERIFY(link.cards.empty());
    // The machine is ready again for the next frame. ("length 11" has eaten
    // the end byte and waits for more: the gap timer clears that.)
    link.clock.advance(201);
    link.receive(cardReadFrame);
    QCOMPARE(link.codes(), QList<qint32>{1234567});
}

void TestRfidReader::byteGap()
{
    Link link;
    // The timer restarts on every byte: 199 ms between bytes is fine even
    // though the frame takes far longer than 200 ms in all.
    link.receiveSpaced(cardReadFrame, 199);
    QCOMPARE(link.codes(), QList<qint32>{1234567});

    // A pause of 201 ms between any two bytes drops the frame, silently, and
    // the next complete frame is decoded.
    for (int gapBefore = 1; gapBefore < cardReadFrame.size(); ++gapBefore) {
        link.cards.clear();
        link.receiveSpaced(cardReadFrame, 10, gapBefore, 201);
        QVERIFY2(link.cards.empty(), qPrintable(QStringLiteral("gap before byte %1").arg(gapBefore)));
        link.receive(cardReadFrame);
        QCOMPARE(link.codes(), QList<qint32>{1234567});
    }
}

void TestRfidReader::strayAndRepeatedStartBytes()
{
    Link link;
    link.receive(hex("00 FA 47 B9") + cardReadFrame);
    QCOMPARE(link.codes(), QList<qint32>{1234567});

    // A second F5 as the length resets the machine and is not a new start,
    // so the frame after it is lost; the one after that is decoded.
    link.cards.clear();
    link.receive(QByteArray(1, char(0xF5)) + cardReadFrame);
    QVERIFY(link.cards.empty());
    link.receive(cardReadFrame);
    QCOMPARE(link.codes(), QList<qint32>{1234567});

    // A start byte in place of the end byte is not looked at again either.
    link.cards.clear();
    link.receive(cardReadFrame.left(8) + cardReadFrame);
    QVERIFY(link.cards.empty());
}

void TestRfidReader::codeZeroAndBeeps()
{
    ScopedScriptedPrompts prompts;
    const QByteArray zeroRead = hex("F5 06 00 00 00 00 00 00 FA");
    const QByteArray zeroRecord = frame(hex("83 34 54 51 17 00 00 00 00 00"));
    {
        Link link;
        link.receive(zeroRead + zeroRecord + cardReadFrame + cardRecordFrame);
        QCOMPARE(link.codes(), (QList<qint32>{1234567, 1234567}));
        QCOMPARE(prompts->beeps, 0);

        link.reader->AutoBeep = true;
        link.cards.clear();
        link.receive(zeroRead);
        QVERIFY(link.cards.empty());
        QCOMPARE(prompts->beeps, 1);
        link.receive(zeroRecord);
        QVERIFY(link.cards.empty());
        QCOMPARE(prompts->beeps, 2);
        link.receive(cardReadFrame + cardRecordFrame);
        QCOMPARE(link.cards.size(), std::size_t(2));
        QCOMPARE(prompts->beeps, 4);
    }
    {
        // Without a handler a card read still beeps, a card record does not.
        prompts->beeps = 0;
        Link link(false);
        link.reader->AutoBeep = true;
        link.receive(cardReadFrame);
        QCOMPARE(prompts->beeps, 1);
        link.receive(cardRecordFrame);
        QCOMPARE(prompts->beeps, 1);
    }
}

void TestRfidReader::severalFramesInOneDelivery()
{
    Link link;
    QList<bool> responsedSeen;
    link.reader->OnCardCode = [&](bool, qint32, qint32 code, const QDateTime &, qint8) {
        link.cards.push_back({false, 0, code, {}, 0});
        responsedSeen << link.reader->Responsed;
    };
    link.receive(cardReadFrame + frame(hex("00 00 00 00 02")) + hex("F5 02 47 B9 FA") + frame(hex("00 00 00 00 03")));
    QCOMPARE(link.codes(), (QList<qint32>{1234567, 2, 3}));
    // In order: the reply between the second and third card was handled
    // between them.
    QCOMPARE(responsedSeen, (QList<bool>{false, false, true}));
}

void TestRfidReader::lineErrorAndReopenReset()
{
    Link link;
    link.receive(cardReadFrame.left(4));
    link.port->raiseLineError();
    link.receive(cardReadFrame.mid(4));
    QVERIFY(link.cards.empty());

    // Opening again drops a half frame.
    link.receive(cardReadFrame.left(4));
    link.reader->SetConnected(false);
    link.reader->SetConnected(true);
    link.receive(cardReadFrame.mid(4));
    QVERIFY(link.cards.empty());
    link.receive(cardReadFrame);
    QCOMPARE(link.codes(), QList<qint32>{1234567});
}

void TestRfidReader::handlerFailureStillResets()
{
    ScopedScriptedPrompts prompts;
    Link link;
    int calls = 0;
    link.reader->OnCardCode = [&](bool, qint32, qint32, const QDateTime &, qint8) {
        if (++calls == 1)
            throw Error(QStringLiteral("Database is gone"));
    };
    link.receive(cardReadFrame);
    QCOMPARE(prompts->messages(), QStringList{QStringLiteral("Database is gone.")});
    link.receive(cardReadFrame);
    QCOMPARE(calls, 2);
}

void TestRfidReader::handlerAnswersTheCard()
{
    // The host answers from inside the card event and may clear the event.
    Link link;
    QStringList seen;
    const QString tag = QStringLiteral("handled by a closure too big to be stored inline");
    link.reader->OnCardCode = [&link, &seen, tag](bool, qint32, qint32, const QDateTime &, qint8) {
        link.reader->SendAccept();
        link.reader->OnCardCode = nullptr;
        seen << tag;   // the closure must still be alive here
    };
    link.receive(cardReadFrame + cardReadFrame);
    QCOMPARE(seen.size(), 1);
    QCOMPARE(hexText(link.port->written), QStringLiteral("FF 7E 7E 59 31 7E FF"));
}

void TestRfidReader::decodeStamp_data()
{
    QTest::addColumn<quint32>("packed");
    QTest::addColumn<QDateTime>("expected");
    auto pack = [](int year, int month, int day, int hour, int minute, int second) {
        return quint32(second + 60 * (minute + 60 * (hour + 24 * (day + 32 * (month + 13 * qint64(year - 2000))))));
    };
    auto at = [](int year, int month, int day, int hour, int minute, int second) {
        return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::LocalTime);
    };
    QTest::newRow("example") << 0x34545117u << at(2024, 5, 17, 8, 30, 15);
    QTest::newRow("first") << pack(2000, 1, 1, 0, 0, 0) << at(2000, 1, 1, 0, 0, 0);
    QTest::newRow("largest value") << 0x7FFFFFFFu << at(2059, 9, 23, 3, 14, 7);
    QTest::newRow("29 Feb 2024") << pack(2024, 2, 29, 12, 0, 0) << at(2024, 2, 29, 12, 0, 0);
    QTest::newRow("zero") << 0u << QDateTime();
    QTest::newRow("month 0") << pack(2024, 0, 17, 8, 30, 15) << QDateTime();
    QTest::newRow("day 0") << pack(2024, 5, 0, 8, 30, 15) << QDateTime();
    QTest::newRow("31 April") << pack(2024, 4, 31, 8, 30, 15) << QDateTime();
    QTest::newRow("29 Feb 2023") << pack(2023, 2, 29, 8, 30, 15) << QDateTime();
    QTest::newRow("negative") << 0x80000000u << QDateTime();
    QTest::newRow("minus one") << 0xFFFFFFFFu << QDateTime();
}

void TestRfidReader::decodeStamp()
{
    QFETCH(quint32, packed);
    QFETCH(QDateTime, expected);
    const QDateTime stamp = TRfidReader::DecodeStamp(qint32(packed));
    QCOMPARE(stamp.isNull(), expected.isNull());
    if (!expected.isNull()) {
        QCOMPARE(stamp, expected);
        QCOMPARE(stamp.time().msec(), 0);
    }
}

void TestRfidReader::commands_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("lockTime");
    QTest::addColumn<QString>("body");
    QTest::newRow("accept") << 0 << 1 << QStringLiteral("7E 7E 59 31 7E");
    QTest::newRow("accept, lock time 9") << 0 << 9 << QStringLiteral("7E 7E 59 39 7E");
    QTest::newRow("accept, lock time low 8 bits") << 0 << 0x1D2 << QStringLiteral("7E 7E 59 02 7E");
    QTest::newRow("acknowledge") << 1 << 1 << QStringLiteral("7E 7E 79 7E");
    QTest::newRow("reject") << 2 << 1 << QStringLiteral("7E 7E 4E 7E");
}

void TestRfidReader::commands()
{
    QFETCH(int, command);
    QFETCH(int, lockTime);
    QFETCH(QString, body);
    Link link;
    link.port->log.clear();
    link.reader->LockTime = lockTime;
    link.reader->Responsed = true;
    switch (command) {
    case 0: link.reader->SendAccept(); break;
    case 1: link.reader->SendAcknowledge(); break;
    default: link.reader->SendReject(); break;
    }
    QVERIFY(!link.reader->Responsed);
    QCOMPARE(link.port->log, (QStringList{QStringLiteral("rts 1"), QStringLiteral("write FF"), QStringLiteral("write ") + body,
                                          QStringLiteral("write FF"), QStringLiteral("rts 0")}));
    QCOMPARE(hexText(link.port->written), QStringLiteral("FF ") + body + QStringLiteral(" FF"));
}

void TestRfidReader::commandOnClosedPort()
{
    Link link;
    link.reader->SetConnected(false);
    link.port->log.clear();
    link.reader->Responsed = true;
    link.reader->SendReject();
    QVERIFY(!link.reader->Responsed);
    QVERIFY(link.port->log.isEmpty());
    QVERIFY(link.port->written.isEmpty());
}

void TestRfidReader::commandFailures()
{
    Link link;
    link.port->log.clear();
    link.port->failRts = true;
    QVERIFY_THROWS_EXCEPTION(SerialError, link.reader->SendAccept());
    QVERIFY(link.port->written.isEmpty());

    // A failed write does not leave RTS raised.
    link.port->failRts = false;
    link.port->failWriteNumber = 2;
    QVERIFY_THROWS_EXCEPTION(SerialError, link.reader->SendReject());
    QCOMPARE(link.port->log, (QStringList{QStringLiteral("rts 1"), QStringLiteral("write FF"), QStringLiteral("rts 0")}));
}

void TestRfidReader::packetMode()
{
    ScopedScriptedPrompts prompts;
    Link link;
    link.reader->AutoBeep = true;

    // Length 0: 265 payload bytes, the length byte not counted.
    QByteArray longPayload(264, char(0x01));
    longPayload.append(char(quint8(0 - 264)));
    link.reader->PktMode = true;
    link.reader->StartPacketTimer();
    link.receive(hex("F5 00") + longPayload + hex("FA"));
    QVERIFY(link.reader->PktGood);
    QVERIFY(!link.reader->PktMode);
    QCOMPARE(link.reader->PacketPayload(), longPayload);
    link.clock.advance(100);   // the packet timer was switched off
    QVERIFY(!link.reader->PktTimeout);

    // A 6-byte frame in packet mode: the length byte counts itself and is
    // part of the sum, so the card frame's bytes do not add up.
    link.reader->PktMode = true;
    link.reader->PktGood = false;
    link.receive(cardReadFrame);
    QVERIFY(!link.reader->PktGood);
    const QByteArray packet = hex("06 11 22 33 44") + QByteArray(1, char(quint8(0 - (6 + 0x11 + 0x22 + 0x33 + 0x44))));
    link.receive(hex("F5") + packet + hex("FA"));
    QVERIFY(link.reader->PktGood);
    QCOMPARE(link.reader->PacketPayload(), packet);

    // Lengths 1 and 128 and up reset the machine.
    for (const char *bad : {"F5 01 FF FA", "F5 80 80 FA", "F5 FF 01 FA"}) {
        link.reader->PktMode = true;
        link.reader->PktGood = false;
        link.receive(hex(bad));
        QVERIFY2(!link.reader->PktGood, bad);
    }
    // No card event and no beep in packet mode.
    QVERIFY(link.cards.empty());
    QCOMPARE(prompts->beeps, 0);

    // Back in normal mode cards work again.
    link.reader->PktMode = false;
    link.receive(cardReadFrame);
    QCOMPARE(link.codes(), QList<qint32>{1234567});
}

void TestRfidReader::packetTimeout()
{
    Link link;
    link.reader->PktMode = true;
    link.reader->StartPacketTimer();
    link.clock.advance(49);
    QVERIFY(!link.reader->PktTimeout);
    link.clock.advance(1);
    QVERIFY(link.reader->PktTimeout);
    QVERIFY(!link.reader->PktMode);
}

QTEST_GUILESS_MAIN(TestRfidReader)
#include "tst_rfidreader.moc"
