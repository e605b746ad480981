#pragma once

#include "reader/comport.h"
#include "reader/timer.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <array>
#include <functional>
#include <memory>

// A card was presented: `offline` and `cmode` come from a time-stamped
// record (false and -1 for a plain card read), `port` is the link's PortNo.
using TCardCodeEvent = std::function<void(bool offline, qint32 port, qint32 code, const QDateTime &stamp, qint8 cmode)>;
// The reader reported a bypass: `state` 0 or 1.
using TBypassEvent = std::function<void(qint32 port, qint32 state)>;
// The reader reported that it powered up.
using TPowerupEvent = std::function<void(qint32 port)>;

// The link to a proximity card reader on a serial port: turns the bytes the
// reader sends into events and writes the host's three answers.
//
// Use from the window:
//     auto reader = std::make_unique<TRfidReader>();   // or with a QObject owner
//     reader->PortNo = n;
//     reader->OnCardCode = [this](bool, qint32 port, qint32 code, const QDateTime &, qint8) { ... };
//     reader->Enable = true;
//     reader->LockTime = 1;
//     reader->DataBits = QSerialPort::Data8;
//     reader->StopBits = QSerialPort::OneStop;
//     reader->Parity = QSerialPort::NoParity;
//     reader->ApplyPortSettings();        // "COMn", 19200 baud
//     reader->SetConnected(true);         // raises tessary::SerialError when it cannot open
//     ...
//     reader->SendAccept();               // or SendAcknowledge(), SendReject()
//     reader->SetConnected(false);
//
// Reader to host, a frame is F5, a length L (2, 6 or 11), L payload bytes
// whose sum is 0 modulo 256, and FA. A gap of more than 200 ms between two
// bytes drops the frame in progress. Everything runs on the window thread.
class TRfidReader : public TCustomComPort
{
    Q_OBJECT

public:
    explicit TRfidReader(QObject *owner = nullptr);
    // With a port device and timers of the caller's choice (tests).
    TRfidReader(std::unique_ptr<tessary::PortDevice> device, const tessary::TimerFactory &timers,
                QObject *owner = nullptr);
    ~TRfidReader() override;

    qint32 PortNo = 0;
    // Sent by SendAccept as the character 0x30 + LockTime (low 8 bits).
    qint32 LockTime = 1;
    // Beep after card frames (see HandleFrame).
    bool AutoBeep = false;
    // Set by every reply frame; cleared by each command before it is sent.
    bool Responsed = false;
    // With Responsed: true for 'G' and the model codes, false for 'B'.
    bool ResultOK = false;
    // "MX520", "RK11" or "RK12" once the reader has told its model.
    QString ModelString;
    // Packet receive mode: the length byte 0 means 265 payload bytes, 2 to
    // 127 counts itself. A complete packet sets PktGood and leaves PktMode;
    // PacketTimer expiring sets PktTimeout and leaves PktMode.
    bool PktMode = false;
    bool PktGood = false;
    bool PktTimeout = false;
    // The host's flag that it wants the link open; the link never reads it.
    bool Enable = false;

    TCardCodeEvent OnCardCode;
    TBypassEvent OnBypass;
    TPowerupEvent OnPowerup;

    // Port name "COM" + PortNo, 19200 baud.
    void ApplyPortSettings();

    // The host's answers to a card. Each clears Responsed, then writes its
    // command; nothing is written when the port is closed. A port failure
    // raises tessary::SerialError.
    void SendAccept();        // FF 7E 7E 59 (30+LockTime) 7E FF
    void SendAcknowledge();   // FF 7E 7E 79 7E FF
    void SendReject();        // FF 7E 7E 4E 7E FF
    // Writes FF, then "~" + text + "~", then FF, with RTS raised around them.
    void SendCommand(const QByteArray &text);

    // Starts the 50 ms packet timer (for a host using packet mode).
    void StartPacketTimer();
    // The payload of the last frame received (in packet mode, the packet).
    QByteArray PacketPayload() const;

    // The packed time stamp of a card record: v = second + 60 * (minute + 60
    // * (hour + 24 * (day + 32 * (month + 13 * (year - 2000))))), as local
    // time. Fields that do not form a valid date and time, and any negative
    // v, give the zero date-time, a null QDateTime.
    static QDateTime DecodeStamp(qint32 packed);

    static constexpr int ByteGapMs = 200;
    static constexpr int PacketTimeoutMs = 50;
    static constexpr int BufferSize = 512;

protected:
    void DoRxChar(qint64 count) override;
    void DoError() override;
    void DoAfterOpen() override;

private:
    enum class RxState { Idle, Length, Payload, End };

    void ReceiveByte(quint8 byte);
    void AcceptLength(quint8 length);
    void ResetReceiver();
    void HandleFrame();
    void HandleReply(quint8 code);
    void HandleCardRead();
    void HandleCardRecord();
    void PacketTimeout();
    quint8 Payload(int index) const { return m_buffer[std::size_t(index)]; }
    qint32 CardCodeAt(int index) const;

    std::array<quint8, BufferSize> m_buffer{};
    std::unique_ptr<tessary::Timer> ByteTimer;
    quint16 m_remaining = 0;
    quint16 m_stored = 0;
    RxState m_state = RxState::Idle;
    quint8 m_sum = 0;
    quint8 m_startByte = 0;
    quint8 m_endByte = 0;
    std::unique_ptr<tessary::Timer> PacketTimer;
};
