#include "reader/serialport.h"

#include "data/settings.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <termios.h>
#endif

namespace tessary {

namespace {

// Sets a flag for the lifetime of the object.
class FlagScope
{
public:
    explicit FlagScope(bool &flag) : m_flag(flag), m_previous(flag) { m_flag = true; }
    ~FlagScope() { m_flag = m_previous; }
    FlagScope(const FlagScope &) = delete;
    FlagScope &operator=(const FlagScope &) = delete;

private:
    bool &m_flag;
    bool m_previous;
};

} // namespace

QString resolvePortName(const QString &portName)
{
#ifdef Q_OS_WIN
    return portName;
#else
    static const QRegularExpression comName(QStringLiteral("^COM([0-9]{1,9})$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = comName.match(portName);
    if (!match.hasMatch())
        return portName;
    const int number = match.captured(1).toInt();
    const QString configured = ReadStringSetting(QStringLiteral("COM%1").arg(number), QString());
    if (!configured.isEmpty())
        return configured;
    if (number < 1)
        return QString();
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

SerialPort::SerialPort()
{
    QObject::connect(&m_port, &QSerialPort::readyRead, &m_port, [this] { notifyReadyRead(); });
    QObject::connect(&m_port, &QSerialPort::errorOccurred, &m_port,
                     [this](QSerialPort::SerialPortError error) { onErrorOccurred(error); });
}

SerialPort::~SerialPort()
{
    setHandlers({});
    close();
}

void SerialPort::fail(const QString &what)
{
    const QString reason = m_port.errorString();
    m_port.clearError();
    throw SerialError(QStringLiteral("%1 on %2: %3").arg(what, m_portName, reason));
}

void SerialPort::open(const QString &portName, const LineSettings &settings)
{
    close();
    FlagScope inCall(m_inCall);
    m_portName = portName;
    m_devicePath = resolvePortName(portName);
    if (m_devicePath.isEmpty())
        throw SerialError(QStringLiteral("No device is configured for %1").arg(portName));

    m_port.setPortName(m_devicePath);
    m_port.setBaudRate(settings.baudRate);
    m_port.setDataBits(settings.dataBits);
    m_port.setStopBits(settings.stopBits);
    m_port.setParity(settings.parity);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    // QSerialPort locks the device and sets TIOCEXCL, so a second open of the
    // same device, by us or another program, fails.
    if (!m_port.open(QIODevice::ReadWrite)) {
        const QString reason = m_port.errorString();
        m_port.clearError();
        throw SerialError(QStringLiteral("Cannot open %1 (%2): %3").arg(portName, m_devicePath, reason));
    }
    try {
        // Opening a terminal raises DTR and RTS; the reader wants both low
        // until the link raises RTS around a command.
        clearModemLine(&QSerialPort::setDataTerminalReady, "DTR");
        clearModemLine(&QSerialPort::setRequestToSend, "RTS");
    } catch (...) {
        m_port.close();
        throw;
    }
}

void SerialPort::clearModemLine(bool (QSerialPort::*setter)(bool), const char *line)
{
    if ((m_port.*setter)(false))
        return;
    if (m_port.error() == QSerialPort::UnsupportedOperationError) {
        m_port.clearError();   // no modem lines (a pseudo-terminal): nothing to clear
        return;
    }
    fail(QStringLiteral("Cannot clear %1").arg(QLatin1String(line)));
}

void SerialPort::close()
{
    if (m_port.isOpen())
        m_port.close();
    m_port.clearError();
}

bool SerialPort::isOpen() const
{
    return m_port.isOpen();
}

void SerialPort::setRequestToSend(bool on)
{
    if (!m_port.isOpen())
        throw SerialError(QStringLiteral("Cannot set RTS on %1: the port is not open").arg(m_portName));
    FlagScope inCall(m_inCall);
    m_port.clearError();   // an earlier receive error must not read as ours
    if (m_port.setRequestToSend(on))
        return;
    if (m_port.error() == QSerialPort::UnsupportedOperationError) {
        // A pseudo-terminal has no RTS line; the command still goes out.
        m_port.clearError();
        return;
    }
    fail(on ? QStringLiteral("Cannot raise RTS") : QStringLiteral("Cannot clear RTS"));
}

void SerialPort::write(const QByteArray &bytes)
{
    if (!m_port.isOpen())
        throw SerialError(QStringLiteral("Cannot write to %1: the port is not open").arg(m_portName));
    FlagScope inCall(m_inCall);
    m_port.clearError();   // an earlier receive error must not read as ours
    if (m_port.write(bytes) != bytes.size())
        fail(QStringLiteral("Cannot write"));

    const QDeadlineTimer deadline(writeTimeoutMs);
    while (m_port.bytesToWrite() > 0) {
        if (!m_port.flush() && m_port.error() != QSerialPort::NoError && m_port.error() != QSerialPort::TimeoutError)
            fail(QStringLiteral("Cannot write"));
        if (m_port.bytesToWrite() == 0)
            break;
        if (deadline.hasExpired())
            fail(QStringLiteral("Write timed out"));
        // After a flush that wrote everything this answers false with
        // TimeoutError; only the bytes still queued matter.
        m_port.waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime())));
        if (m_port.error() != QSerialPort::NoError && m_port.error() != QSerialPort::TimeoutError)
            fail(QStringLiteral("Cannot write"));
    }
    m_port.clearError();

#ifdef Q_OS_UNIX
    // The bytes are with the driver now; wait until they have left it, so
    // that RTS cleared after a command does not cut off its last bytes.
    while (::tcdrain(int(m_port.handle())) != 0) {
        if (errno != EINTR)
            break;   // not a terminal that can drain: the write itself succeeded
    }
#endif
}

qint64 SerialPort::bytesAvailable() const
{
    return m_port.bytesAvailable();
}

QByteArray SerialPort::read(qint64 maxCount)
{
    return m_port.read(maxCount);
}

void SerialPort::onErrorOccurred(QSerialPort::SerialPortError error)
{
    // errorOccurred also fires with NoError (on open and clearError), and
    // the failures of our own calls are raised to their callers. What is
    // left are errors the device reports while receiving.
    if (m_inCall)
        return;
    if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError)
        notifyLineError();
}

} // namespace tessary
