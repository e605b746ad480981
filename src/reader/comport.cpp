#include "reader/comport.h"

#include "data/prompts.h"

#include <QPointer>

TCustomComPort::TCustomComPort(QObject *owner)
    : TCustomComPort(std::make_unique<tessary::SerialPort>(), owner)
{
}

TCustomComPort::TCustomComPort(std::unique_ptr<tessary::PortDevice> device, QObject *owner)
    : QObject(owner), m_device(std::move(device))
{
    Q_ASSERT(m_device);
    m_device->setHandlers({[this] { receiveNotified(); }, [this] { lineErrorNotified(); }});
}

TCustomComPort::~TCustomComPort()
{
    // No notification may reach a half-destroyed object.
    m_device->setHandlers({});
    m_device->close();
}

bool TCustomComPort::Connected() const
{
    return m_device->isOpen();
}

void TCustomComPort::SetConnected(bool connected)
{
    if (connected)
        Open();
    else
        Close();
}

void TCustomComPort::Open()
{
    if (m_device->isOpen())
        return;
    tessary::LineSettings settings;
    settings.baudRate = BaudRate;
    settings.dataBits = DataBits;
    settings.stopBits = StopBits;
    settings.parity = Parity;
    m_device->open(Port, settings);
    DoAfterOpen();
}

void TCustomComPort::Close()
{
    m_device->close();
}

void TCustomComPort::SetRTS(bool on)
{
    m_device->setRequestToSend(on);
}

void TCustomComPort::Write(const QByteArray &bytes)
{
    m_device->write(bytes);
}

QByteArray TCustomComPort::Read(qint64 count)
{
    QByteArray bytes = m_device->read(count);
    m_bytesRead += bytes.size();
    return bytes;
}

void TCustomComPort::DoRxChar(qint64 count)
{
    if (OnRxChar)
        OnRxChar(count);
}

void TCustomComPort::DoError()
{
    if (OnError)
        OnError();
}

void TCustomComPort::DoAfterOpen()
{
    if (OnAfterOpen)
        OnAfterOpen();
}

void TCustomComPort::receiveNotified()
{
    m_rxPending = true;
    if (!m_delivering)
        deliverPending();
}

void TCustomComPort::lineErrorNotified()
{
    m_errorPending = true;
    if (!m_delivering)
        deliverPending();
}

void TCustomComPort::deliverPending()
{
    // The device does not tell again of bytes that arrived while a handler
    // ran, so the loop looks for waiting bytes itself after every handler.
    // It stops when a handler left bytes unread, to avoid spinning on them.
    QPointer<TCustomComPort> alive(this);
    m_delivering = true;
    while (alive && (m_errorPending || m_rxPending)) {
        if (m_errorPending) {
            m_errorPending = false;
            tessary::guarded([this] { DoError(); });
            continue;
        }
        m_rxPending = false;
        if (!m_device->isOpen())
            break;
        const qint64 waiting = m_device->bytesAvailable();
        if (waiting <= 0)
            break;
        const qint64 readBefore = m_bytesRead;
        tessary::guarded([this, waiting] { DoRxChar(waiting); });
        if (alive && m_bytesRead != readBefore && m_device->isOpen() && m_device->bytesAvailable() > 0)
            m_rxPending = true;
    }
    if (alive) {
        m_delivering = false;
        m_rxPending = false;
    }
}
