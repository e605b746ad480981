#include "reader/reader.h"

#include "data/prompts.h"
#include "data/scopeexit.h"

#include <QDate>
#include <QPointer>
#include <QTime>

namespace {

constexpr quint8 StartByte = 0xF5;
constexpr quint8 EndByte = 0xFA;
constexpr quint8 CommandMark = 0xFF;
// A packet whose length byte is 0 carries this many payload bytes.
constexpr quint16 LongPacketLength = 265;

} // namespace

TRfidReader::TRfidReader(QObject *owner)
    : TRfidReader(std::make_unique<tessary::SerialPort>(), tessary::qtTimerFactory(), owner)
{
}

TRfidReader::TRfidReader(std::unique_ptr<tessary::PortDevice> device, const tessary::TimerFactory &timers,
                         QObject *owner)
    : TCustomComPort(std::move(device), owner)
{
    ByteTimer = timers();
    ByteTimer->setInterval(10);
    ByteTimer->setEnabled(false);
    ByteTimer->setOnTimer([this] { ResetReceiver(); });

    PacketTimer = timers();
    PacketTimer->setInterval(PacketTimeoutMs);
    PacketTimer->setEnabled(false);
    PacketTimer->setOnTimer([this] { PacketTimeout(); });
}

TRfidReader::~TRfidReader()
{
    ByteTimer->setEnabled(false);
    PacketTimer->setEnabled(false);
    ByteTimer.reset();
    PacketTimer.reset();
    // The base class closes the port.
}

void TRfidReader::ApplyPortSettings()
{
    Port = QStringLiteral("COM") + QString::number(PortNo);
    BaudRate = 19200;
}

void TRfidReader::SendAccept()
{
    Responsed = false;
    QByteArray text("~Y");
    text.append(char(quint8(0x30 + LockTime)));
    SendCommand(text);
}

void TRfidReader::SendAcknowledge()
{
    Responsed = false;
    SendCommand(QByteArrayLiteral("~y"));
}

void TRfidReader::SendReject()
{
    Responsed = false;
    SendCommand(QByteArrayLiteral("~N"));
}

void TRfidReader::SendCommand(const QByteArray &text)
{
    if (!Connected())
        return;
    SetRTS(true);
    try {
        Write(QByteArray(1, char(CommandMark)));
        Write('~' + text + '~');
        Write(QByteArray(1, char(CommandMark)));
    } catch (...) {
        // Do not leave RTS raised after a failed write: the reader could not
        // answer while it is up. The write's error is the one reported.
        try {
            SetRTS(false);
        } catch (...) {
        }
        throw;
    }
    SetRTS(false);
}

void TRfidReader::StartPacketTimer()
{
    PacketTimer->setEnabled(true);
}

QByteArray TRfidReader::PacketPayload() const
{
    return QByteArray(reinterpret_cast<const char *>(m_buffer.data()), m_stored);
}

void TRfidReader::DoRxChar(qint64 count)
{
    const QByteArray bytes = Read(count);
    QPointer<TRfidReader> alive(this);
    for (const char byte : bytes) {
        ReceiveByte(quint8(byte));
        if (!alive)
            return;   // a handler destroyed the link
    }
}

void TRfidReader::DoError()
{
    ResetReceiver();
}

void TRfidReader::DoAfterOpen()
{
    ResetReceiver();
}

void TRfidReader::ReceiveByte(quint8 byte)
{
    ByteTimer->setInterval(ByteGapMs);
    ByteTimer->setEnabled(true);

    switch (m_state) {
    case RxState::Idle:
        if (byte == StartByte) {
            m_startByte = StartByte;
            m_endByte = EndByte;
            m_state = RxState::Length;
        }
        break;
    case RxState::Length:
        AcceptLength(byte);
        break;
    case RxState::Payload:
        --m_remaining;
        if (m_stored < BufferSize)
            m_buffer[m_stored] = byte;
        ++m_stored;
        m_sum = quint8(m_sum + byte);
        if (m_remaining == 0) {
            if (m_sum == 0)
                m_state = RxState::End;
            else
                ResetReceiver();
        }
        break;
    case RxState::End:
        if (byte == m_endByte) {
            ByteTimer->setEnabled(false);
            // The machine is reset after the frame even when a handler fails.
            tessary::OnExit reset([alive = QPointer<TRfidReader>(this)] {
                if (alive)
                    alive->ResetReceiver();
            });
            HandleFrame();
        } else {
            ResetReceiver();
        }
        break;
    }
}

void TRfidReader::AcceptLength(quint8 length)
{
    if (!PktMode) {
        if (length == 2 || length == 6 || length == 11) {
            m_remaining = length;
            m_stored = 0;
            m_sum = 0;
            m_state = RxState::Payload;
        } else {
            ResetReceiver();
        }
        return;
    }

    if (length == 0) {
        m_remaining = LongPacketLength;
        m_stored = 0;
        m_sum = 0;
        m_state = RxState::Payload;
    } else if (length >= 2 && length <= 127) {
        // The length byte counts itself and is part of the zero sum.
        m_buffer[0] = length;
        m_stored = 1;
        m_sum = length;
        m_remaining = quint16(length - 1);
        m_state = RxState::Payload;
    } else {
        // 1 announces nothing more and its sum can never be 0; 128 and up
        // are not lengths.
        ResetReceiver();
    }
}

void TRfidReader::ResetReceiver()
{
    ByteTimer->setEnabled(false);
    m_state = RxState::Idle;
    m_remaining = 0;
}

void TRfidReader::HandleFrame()
{
    if (PktMode) {
        PacketTimer->setEnabled(false);
        PktGood = true;
        PktMode = false;
        return;
    }
    switch (m_stored) {
    case 2:
        HandleReply(Payload(0));
        break;
    case 6:
        HandleCardRead();
        break;
    case 11:
        HandleCardRecord();
        break;
    default:
        break;
    }
}

void TRfidReader::HandleReply(quint8 code)
{
    switch (code) {
    case '0':
    case '1':
    case '2':
        Responsed = true;
        ResultOK = true;
        ModelString = code == '0' ? QStringLiteral("MX520") : code == '1' ? QStringLiteral("RK11") : QStringLiteral("RK12");
        break;
    case 'G':
        Responsed = true;
        ResultOK = true;
        break;
    case 'B':
        Responsed = true;
        ResultOK = false;
        break;
    case 'P':
    case 'p':
        if (OnBypass) {
            const TBypassEvent handler = OnBypass;   // the handler may reassign the event
            handler(PortNo, code == 'P' ? 0 : 1);
        }
        break;
    case 'R':
        if (OnPowerup) {
            const TPowerupEvent handler = OnPowerup;
            handler(PortNo);
        }
        break;
    default:
        break;
    }
}

qint32 TRfidReader::CardCodeAt(int index) const
{
    return (qint32(Payload(index)) << 16) | (qint32(Payload(index + 1)) << 8) | qint32(Payload(index + 2));
}

void TRfidReader::HandleCardRead()
{
    // P0 and P1 are not interpreted; P2 to P4 hold the code; P5 is the check.
    const qint32 code = CardCodeAt(2);
    if (OnCardCode && code > 0) {
        const TCardCodeEvent handler = OnCardCode;
        handler(false, PortNo, code, QDateTime::currentDateTime(), qint8(-1));
    }
    if (AutoBeep)
        tessary::prompts().beep();
}

void TRfidReader::HandleCardRecord()
{
    // P0: offline flag and mode; P1 to P4: the packed stamp; P5, P6 unused;
    // P7 to P9: the code; P10: the check.
    if (!OnCardCode)
        return;
    const bool offline = (Payload(0) & 0x80) != 0;
    const qint8 cmode = qint8(Payload(0) & 0x7F);
    const quint32 packed = (quint32(Payload(1)) << 24) | (quint32(Payload(2)) << 16) | (quint32(Payload(3)) << 8)
                           | quint32(Payload(4));
    const qint32 code = CardCodeAt(7);
    if (code > 0) {
        const TCardCodeEvent handler = OnCardCode;
        handler(offline, PortNo, code, DecodeStamp(qint32(packed)), cmode);
    }
    if (AutoBeep)
        tessary::prompts().beep();
}

void TRfidReader::PacketTimeout()
{
    PacketTimer->setEnabled(false);
    PktTimeout = true;
    PktMode = false;
}

QDateTime TRfidReader::DecodeStamp(qint32 packed)
{
    if (packed < 0)
        return QDateTime();
    qint32 v = packed;
    const int second = v % 60;
    v /= 60;
    const int minute = v % 60;
    v /= 60;
    const int hour = v % 24;
    v /= 24;
    const int day = v % 32;
    v /= 32;
    const int month = v % 13;
    const int year = 2000 + v / 13;

    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    const QDateTime stamp(date, time, Qt::LocalTime);
    // A local time that falls into a daylight-saving gap does not exist.
    if (!stamp.isValid() || stamp.time() != time || stamp.date() != date)
        return QDateTime();
    return stamp;
}
