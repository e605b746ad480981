#pragma once

#include "data/busy.h"
#include "data/errors.h"

#include <QByteArray>
#include <QSerialPort>
#include <QString>

#include <functional>

namespace tessary {

// The error a serial port raises when it cannot be opened, cannot set a
// modem line or cannot write. Callers that catch tessary::Error catch it too.
class SerialError : public Error
{
public:
    using Error::Error;
};

// Line settings applied when a port is opened. Flow control is always off.
struct LineSettings
{
    qint32 baudRate = 19200;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QSerialPort::Parity parity = QSerialPort::NoParity;
};

// The device behind a port name. Ports are named "COM" + number. On Windows
// the name is the device. Elsewhere "COMn" becomes the device path stored in
// the setting of the same name ("COM3" = "/dev/ttyUSB0") when that is set,
// otherwise "/dev/ttyS" + (n - 1). A name that is not "COMn" is taken as a
// device path as it is. "COM0" has no default device and gives the empty
// text. Reading the setting may raise tessary::Error.
QString resolvePortName(const QString &portName);

// What a serial port offers to the port component: open with line settings,
// close, raise and clear RTS, write, read, and two notifications, "bytes are
// waiting" and "line error". Replaceable so the protocol above it can be
// tested without a device.
class PortDevice
{
public:
    struct Handlers
    {
        std::function<void()> readyRead;  // bytes are waiting to be read
        std::function<void()> lineError;  // the line or the device reported an error
    };

    virtual ~PortDevice() = default;

    void setHandlers(Handlers handlers) { m_handlers = std::move(handlers); }

    // Opens `portName` ("COMn" or a device path) exclusively for reading and
    // writing, with DTR and RTS inactive. Raises SerialError on failure.
    virtual void open(const QString &portName, const LineSettings &settings) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Raises or clears RTS. A port without modem-control lines (a
    // pseudo-terminal) accepts this as done; any other failure raises
    // SerialError.
    virtual void setRequestToSend(bool on) = 0;
    // Writes all of `bytes` and returns when the driver has taken them.
    // Raises SerialError on failure.
    virtual void write(const QByteArray &bytes) = 0;

    virtual qint64 bytesAvailable() const = 0;
    virtual QByteArray read(qint64 maxCount) = 0;

protected:
    // While a long operation runs the notifications wait (the bytes stay in
    // the port's queue) and are delivered once it has ended.
    void notifyReadyRead() { deliver(&Handlers::readyRead); }
    void notifyLineError() { deliver(&Handlers::lineError); }

private:
    // One held-back notification of each kind stands for all that came
    // while it waited.
    void deliver(std::function<void()> Handlers::*which)
    {
        const int bit = which == &Handlers::readyRead ? 1 : 2;
        if (m_waiting & bit)
            return;
        m_waiting |= bit;
        runWhenIdle(
            [this, which, bit] {
                m_waiting &= ~bit;
                if (m_handlers.*which)
                    (m_handlers.*which)();
            },
            m_alive);
    }

    Handlers m_handlers;
    int m_waiting = 0;
    std::shared_ptr<char> m_alive = std::make_shared<char>();
};

// The real port, over QSerialPort. Notifications arrive on the thread that
// owns the object (the window thread) through Qt's event loop.
class SerialPort : public PortDevice
{
public:
    SerialPort();
    ~SerialPort() override;

    void open(const QString &portName, const LineSettings &settings) override;
    void close() override;
    bool isOpen() const override;
    void setRequestToSend(bool on) override;
    void write(const QByteArray &bytes) override;
    qint64 bytesAvailable() const override;
    QByteArray read(qint64 maxCount) override;

    // The device path the port was opened on (after name resolution).
    QString devicePath() const { return m_devicePath; }

    // How long a write may take before it fails.
    static constexpr int writeTimeoutMs = 2000;

private:
    void clearModemLine(bool (QSerialPort::*setter)(bool), const char *line);
    void onErrorOccurred(QSerialPort::SerialPortError error);
    [[noreturn]] void fail(const QString &what);

    QSerialPort m_port;
    QString m_portName;
    QString m_devicePath;
    // Set while one of our own calls runs: errors raised by it are reported
    // to the caller as SerialError, not as line errors.
    bool m_inCall = false;
};

} // namespace tessary
