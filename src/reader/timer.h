#pragma once

#include "data/busy.h"

#include <QTimer>

#include <functional>
#include <memory>

namespace tessary {

// A millisecond timer as the reader link uses it: an interval, switched on
// and off. Switching it on always restarts the countdown, even when it is
// already running; expiry repeats until the timer is switched off. Expiry is
// delivered on the thread that owns the timer (the window thread).
//
// The link takes its timers from a TimerFactory so that tests can drive time
// by hand instead of waiting.
class Timer
{
public:
    virtual ~Timer() = default;

    virtual void setInterval(int milliseconds) = 0;
    virtual int interval() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;

    // The action run on each expiry.
    void setOnTimer(std::function<void()> action) { m_onTimer = std::move(action); }

protected:
    // An expiry during a long operation waits until it has ended.
    // Expiries that come while one waits are one expiry.
    void expire()
    {
        if (m_waiting)
            return;
        m_waiting = true;
        runWhenIdle(
            [this] {
                m_waiting = false;
                // Switched off while it waited: the expiry is void.
                if (isEnabled() && m_onTimer)
                    m_onTimer();
            },
            m_alive);
    }

private:
    std::function<void()> m_onTimer;
    bool m_waiting = false;
    std::shared_ptr<char> m_alive = std::make_shared<char>();
};

using TimerFactory = std::function<std::unique_ptr<Timer>()>;

// The real timer, over a precise QTimer (a coarse one may be 5% late, which
// would stretch the link's 200 ms gap noticeably).
class QtTimer : public Timer
{
public:
    QtTimer();

    void setInterval(int milliseconds) override;
    int interval() const override;
    void setEnabled(bool enabled) override;
    bool isEnabled() const override;

private:
    QTimer m_timer;
};

// A factory that makes QtTimers.
TimerFactory qtTimerFactory();

} // namespace tessary
