#pragma once

// A pseudo-terminal pair for tests that play the card reader: the program
// opens the slave as its serial port, the test reads and writes the master.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

#include <poll.h>
#include <pty.h>
#include <unistd.h>

namespace tessary::testing {

class PseudoTerminal
{
public:
    PseudoTerminal()
    {
        char name[256] = {};
        if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) == 0)
            m_slaveName = QString::fromLocal8Bit(name);
    }
    ~PseudoTerminal()
    {
        if (m_master >= 0)
            ::close(m_master);
        if (m_slave >= 0)
            ::close(m_slave);
    }
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isValid() const { return !m_slaveName.isEmpty(); }
    QString slaveName() const { return m_slaveName; }

    bool send(const QByteArray &bytes) { return ::write(m_master, bytes.constData(), std::size_t(bytes.size())) == bytes.size(); }

    // Reads what the program wrote, waiting up to `timeoutMs` for `count` bytes.
    QByteArray receive(int count, int timeoutMs = 2000)
    {
        QByteArray out;
        QDeadlineTimer deadline(timeoutMs);
        while (out.size() < count && !deadline.hasExpired()) {
            pollfd fd{m_master, POLLIN, 0};
            if (::poll(&fd, 1, int(deadline.remainingTime())) <= 0)
                break;
            char buffer[256];
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            out.append(buffer, qsizetype(n));
        }
        return out;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slaveName;
};

} // namespace tessary::testing
