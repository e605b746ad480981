// The real serial port: "COMn" names resolved to devices, and a reader link
// on a pseudo-terminal pair, with the test playing the reader on the master.

#include "data/settings.h"
#include "reader/reader.h"
#include "reader/serialport.h"

#include "pty.h"

#include <QDeadlineTimer>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace tessary;
using tessary::testing::PseudoTerminal;

namespace {

struct Card
{
    bool offline;
    qint32 port;
    qint32 code;
    QDateTime stamp;
    qint8 cmode;
};

} // namespace

class TestSerialPort : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void resolvePortName_data();
    void resolvePortName();
    void readerOnPseudoTerminal();
    void openFailures();

private:
    QTemporaryDir m_settingsDir;
};

void TestSerialPort::initTestCase()
{
    QVERIFY(m_settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
    QStandardPaths::setTestModeEnabled(true);
    WriteStringSetting(QStringLiteral("COM3"), QStringLiteral("/dev/ttyUSB0"));
}

void TestSerialPort::resolvePortName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("device");
    QTest::newRow("COM1") << QStringLiteral("COM1") << QStringLiteral("/dev/ttyS0");
    QTest::newRow("COM8") << QStringLiteral("COM8") << QStringLiteral("/dev/ttyS7");
    QTest::newRow("COM3 from the settings") << QStringLiteral("COM3") << QStringLiteral("/dev/ttyUSB0");
    QTest::newRow("com3 in lower case") << QStringLiteral("com3") << QStringLiteral("/dev/ttyUSB0");
    QTest::newRow("COM12") << QStringLiteral("COM12") << QStringLiteral("/dev/ttyS11");
    QTest::newRow("COM0 has no device") << QStringLiteral("COM0") << QString();
    QTest::newRow("a device path") << QStringLiteral("/dev/ttyACM0") << QStringLiteral("/dev/ttyACM0");
    QTest::newRow("not a number") << QStringLiteral("COMx") << QStringLiteral("COMx");
}

void TestSerialPort::resolvePortName()
{
    QFETCH(QString, name);
    QFETCH(QString, device);
    QCOMPARE(tessary::resolvePortName(name), device);
}

void TestSerialPort::readerOnPseudoTerminal()
{
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    WriteStringSetting(QStringLiteral("COM7"), pty.slaveName());

    TRfidReader reader;
    std::vector<Card> cards;
    reader.PortNo = 7;
    reader.OnCardCode = [&](bool offline, qint32 port, qint32 code, const QDateTime &stamp, qint8 cmode) {
        cards.push_back({offline, port, code, stamp, cmode});
    };
    reader.Enable = true;
    reader.DataBits = QSerialPort::Data8;
    reader.StopBits = QSerialPort::OneStop;
    reader.Parity = QSerialPort::NoParity;
    reader.ApplyPortSettings();
    reader.SetConnected(true);   // RTS and DTR cannot be cleared on a pty: not an error
    QVERIFY(reader.Connected());

    // The device is held exclusively.
    SerialPort second;
    QVERIFY_THROWS_EXCEPTION(SerialError, second.open(QStringLiteral("COM7"), LineSettings()));

    // A card read, as the reader sends it.
    QVERIFY(pty.send(QByteArray::fromHex("F5 06 00 00 12 D6 87 91 FA")));
    QTRY_COMPARE(cards.size(), std::size_t(1));
    QCOMPARE(cards[0].port, 7);
    QCOMPARE(cards[0].code, 1234567);
    QCOMPARE(cards[0].offline, false);
    QCOMPARE(cards[0].cmode, qint8(-1));

    // The answer reaches the reader's side byte for byte, RTS or not.
    reader.SendAccept();
    QCOMPARE(pty.receive(7).toHex(' ').toUpper(), QByteArray("FF 7E 7E 59 31 7E FF"));

    // A real pause of more than 200 ms inside a frame drops it; the time
    // stamped record that follows is decoded.
    const QByteArray record = QByteArray::fromHex("F5 0B 83 34 54 51 17 00 00 12 D6 87 1E FA");
    QVERIFY(pty.send(record.left(5)));
    QTest::qWait(400);
    QVERIFY(pty.send(record.mid(5)));
    QTest::qWait(100);
    QVERIFY(pty.send(record));
    QTRY_COMPARE(cards.size(), std::size_t(2));
    QTest::qWait(50);
    QCOMPARE(cards.size(), std::size_t(2));
    QCOMPARE(cards[1].offline, true);
    QCOMPARE(cards[1].cmode, qint8(3));
    QCOMPARE(cards[1].stamp, QDateTime(QDate(2024, 5, 17), QTime(8, 30, 15), Qt::LocalTime));

    // A handler that runs the event loop, as a modal message box does, while
    // the next card arrives: that card is handled as soon as the handler
    // returns, not when some later byte comes in.
    QStringList order;
    reader.OnCardCode = [&](bool, qint32, qint32 code, const QDateTime &, qint8) {
        order << QStringLiteral("card %1").arg(code);
        if (code == 1) {
            pty.send(QByteArray::fromHex("F5 06 00 00 00 00 02 FE FA"));
            QTest::qWait(300);
            order << QStringLiteral("box closed");
        }
    };
    QVERIFY(pty.send(QByteArray::fromHex("F5 06 00 00 00 00 01 FF FA")));
    QTRY_COMPARE(order.size(), 3);
    QCOMPARE(order, (QStringList{QStringLiteral("card 1"), QStringLiteral("box closed"), QStringLiteral("card 2")}));

    reader.SetConnected(false);
    QVERIFY(!reader.Connected());
    // Closed: the device is free again, and commands write nothing.
    reader.SendReject();
    second.open(QStringLiteral("COM7"), LineSettings());
    QVERIFY(second.isOpen());
    QCOMPARE(pty.receive(1, 100), QByteArray());
}

void TestSerialPort::openFailures()
{
    QTemporaryDir dir;
    WriteStringSetting(QStringLiteral("COM6"), dir.filePath(QStringLiteral("no-such-device")));
    TRfidReader reader;
    reader.PortNo = 6;
    reader.ApplyPortSettings();
    QVERIFY_THROWS_EXCEPTION(SerialError, reader.SetConnected(true));
    QVERIFY(!reader.Connected());

    reader.PortNo = 0;
    reader.ApplyPortSettings();
    QVERIFY_THROWS_EXCEPTION(SerialError, reader.SetConnected(true));
}

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serialport.moc"
