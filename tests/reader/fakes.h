#pragma once

// Test doubles for the reader link: a port device that records what is done
// to it, and a hand-driven clock for the link's timers.

#include "reader/serialport.h"
#include "reader/timer.h"

#include <QByteArray>
#include <QStringList>

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

namespace tessary::testing {

inline QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text));
}

inline QString hexText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

// A reader frame: F5, the length, the payload followed by its check byte
// (so that the payload sums to 0 modulo 256), FA.
inline QByteArray frame(const QByteArray &payloadWithoutCheck)
{
    quint8 sum = 0;
    for (char c : payloadWithoutCheck)
        sum = quint8(sum + quint8(c));
    QByteArray out;
    out.append(char(0xF5));
    out.append(char(payloadWithoutCheck.size() + 1));
    out.append(payloadWithoutCheck);
    out.append(char(quint8(0 - sum)));
    out.append(char(0xFA));
    return out;
}

class FakePort : public PortDevice
{
public:
    // In order: "open <name> <baud> <data bits><parity><stop bits>", "close",
    // "rts 1", "rts 0", "write <hex bytes>".
    QStringList log;
    QByteArray written;
    QByteArray input;
    bool opened = false;
    bool failOpen = false;
    bool failRts = false;
    int failWriteNumber = 0;   // the n-th write from now fails (1 = the next one); 0 = none
    // Run after each read, e.g. to simulate bytes arriving while a handler runs.
    std::function<void()> afterRead;

    void open(const QString &portName, const LineSettings &settings) override
    {
        if (failOpen)
            throw SerialError(QStringLiteral("Cannot open ") + portName);
        const char parity = settings.parity == QSerialPort::NoParity ? 'N' : settings.parity == QSerialPort::EvenParity ? 'E' : 'O';
        log << QStringLiteral("open %1 %2 %3%4%5")
                   .arg(portName)
                   .arg(settings.baudRate)
                   .arg(int(settings.dataBits))
                   .arg(QLatin1Char(parity))
                   .arg(int(settings.stopBits));
        opened = true;
    }
    void close() override
    {
        if (opened)
            log << QStringLiteral("close");
        opened = false;
    }
    bool isOpen() const override { return opened; }
    void setRequestToSend(bool on) override
    {
        if (failRts)
            throw SerialError(QStringLiteral("Cannot raise RTS"));
        log << (on ? QStringLiteral("rts 1") : QStringLiteral("rts 0"));
    }
    void write(const QByteArray &bytes) override
    {
        if (failWriteNumber > 0 && --failWriteNumber == 0)
            throw SerialError(QStringLiteral("Cannot write"));
        log << QStringLiteral("write ") + hexText(bytes);
        written += bytes;
    }
    qint64 bytesAvailable() const override { return input.size(); }
    QByteArray read(qint64 maxCount) override
    {
        QByteArray out = input.left(maxCount);
        input.remove(0, out.size());
        if (afterRead)
            afterRead();
        return out;
    }

    // Bytes arrive and the port tells of them.
    void receive(const QByteArray &bytes)
    {
        input += bytes;
        notifyReadyRead();
    }
    void raiseLineError() { notifyLineError(); }
};

class ManualClock;

class ManualTimer : public Timer
{
public:
    explicit ManualTimer(ManualClock &clock);
    ~ManualTimer() override;

    void setInterval(int milliseconds) override { m_interval = milliseconds; }
    int interval() const override { return m_interval; }
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return m_enabled; }
    void fire() { expire(); }

private:
    friend class ManualClock;
    ManualClock &m_clock;
    int m_interval = 0;
    bool m_enabled = false;
    qint64 m_deadline = 0;
};

// Time that moves only when the test says so; expiries run in deadline order.
class ManualClock
{
public:
    qint64 now = 0;

    TimerFactory factory()
    {
        return [this] { return std::make_unique<ManualTimer>(*this); };
    }

    void advance(qint64 milliseconds)
    {
        const qint64 target = now + milliseconds;
        for (;;) {
            ManualTimer *next = nullptr;
            for (ManualTimer *t : m_timers)
                if (t->m_enabled && t->m_deadline <= target && (!next || t->m_deadline < next->m_deadline))
                    next = t;
            if (!next)
                break;
            now = next->m_deadline;
            next->m_deadline += std::max(1, next->m_interval);   // repeats until switched off
            next->fire();
        }
        now = target;
    }

    std::size_t timerCount() const { return m_timers.size(); }

private:
    friend class ManualTimer;
    std::vector<ManualTimer *> m_timers;
};

inline ManualTimer::ManualTimer(ManualClock &clock) : m_clock(clock)
{
    m_clock.m_timers.push_back(this);
}

inline ManualTimer::~ManualTimer()
{
    std::erase(m_clock.m_timers, this);
}

inline void ManualTimer::setEnabled(bool enabled)
{
    m_enabled = enabled;
    if (enabled)
        m_deadline = m_clock.now + m_interval;   // always restarts the countdown
}

} // namespace tessary::testing
