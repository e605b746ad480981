#pragma once

#include "reader/serialport.h"

#include <QObject>
#include <QSerialPort>
#include <QString>

#include <functional>
#include <memory>

// A serial port as the program's objects see it: a port name and line
// settings, `Connected` to open and close it, RTS control, writes, and three
// notifications: bytes received (with the number waiting), a line error, and
// the port having been opened. A derived class takes over a notification by
// overriding DoRxChar, DoError or DoAfterOpen; otherwise the notification
// raises OnRxChar, OnError or OnAfterOpen when assigned.
//
// Notifications run on the window thread and never nest: bytes or errors
// that come in while a handler runs (a handler may show a modal box, which
// runs the event loop) are delivered after it returns, in order. An
// exception escaping a handler is shown by the general error report, since
// nothing can catch it in the event loop.
//
// Destroying the port from inside one of its own handlers is not supported;
// use deleteLater() there.
class TCustomComPort : public QObject
{
    Q_OBJECT

public:
    explicit TCustomComPort(QObject *owner = nullptr);
    // With a port device of the caller's choice (tests pass a fake one).
    explicit TCustomComPort(std::unique_ptr<tessary::PortDevice> device, QObject *owner = nullptr);
    ~TCustomComPort() override;

    TCustomComPort(const TCustomComPort &) = delete;
    TCustomComPort &operator=(const TCustomComPort &) = delete;

    // Line settings, applied when the port opens; changing them while it is
    // open takes effect at the next open.
    QString Port = QStringLiteral("COM1");
    qint32 BaudRate = 9600;
    QSerialPort::DataBits DataBits = QSerialPort::Data8;
    QSerialPort::StopBits StopBits = QSerialPort::OneStop;
    QSerialPort::Parity Parity = QSerialPort::NoParity;

    bool Connected() const;
    // true opens the port (raising tessary::SerialError when it cannot),
    // false closes it. Setting the current state does nothing.
    void SetConnected(bool connected);
    void Open();
    void Close();

    // Raise or clear RTS; write bytes, returning when the driver has taken
    // them. Both raise tessary::SerialError on failure.
    void SetRTS(bool on);
    void Write(const QByteArray &bytes);
    // Reads up to `count` received bytes.
    QByteArray Read(qint64 count);

    std::function<void(qint64 count)> OnRxChar;
    std::function<void()> OnError;
    std::function<void()> OnAfterOpen;

protected:
    virtual void DoRxChar(qint64 count);
    virtual void DoError();
    virtual void DoAfterOpen();

private:
    void receiveNotified();
    void lineErrorNotified();
    void deliverPending();

    std::unique_ptr<tessary::PortDevice> m_device;
    bool m_delivering = false;
    bool m_rxPending = false;
    bool m_errorPending = false;
    qint64 m_bytesRead = 0;
};
