#include "reader/timer.h"

namespace tessary {

QtTimer::QtTimer()
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setSingleShot(false);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { expire(); });
}

void QtTimer::setInterval(int milliseconds)
{
    m_timer.setInterval(milliseconds);
}

int QtTimer::interval() const
{
    return m_timer.interval();
}

void QtTimer::setEnabled(bool enabled)
{
    // QTimer::start() stops a running timer first, so this restarts the
    // countdown as required.
    if (enabled)
        m_timer.start();
    else
        m_timer.stop();
}

bool QtTimer::isEnabled() const
{
    return m_timer.isActive();
}

TimerFactory qtTimerFactory()
{
    return [] { return std::make_unique<QtTimer>(); };
}

} // namespace tessary
