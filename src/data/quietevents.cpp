#include "data/quietevents.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>

#include <memory>
#include <utility>
#include <vector>

namespace tessary {

namespace {

bool isInside(const QObject *object, const QObject *window)
{
    for (; object; object = object->parent())
        if (object == window)
            return true;
    return false;
}

// While it lives, an application-wide filter holds back what must wait.
// Qt's glib event dispatcher ignores QEventLoop::ExcludeSocketNotifiers,
// so socket activity is stopped here as well; the unix dispatcher never
// delivers it under that flag.
class EventHold : public QObject
{
public:
    explicit EventHold(const QObject *admitted) : m_admitted(admitted)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

    ~EventHold() override
    {
        QCoreApplication::instance()->removeEventFilter(this);
        for (auto &[receiver, event] : m_held)
            if (receiver)
                QCoreApplication::postEvent(receiver, event.release());
    }

    EventHold(const EventHold &) = delete;
    EventHold &operator=(const EventHold &) = delete;

protected:
    bool eventFilter(QObject *receiver, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::SockAct:
        case QEvent::SockClose:
            return true; // still pending on the descriptor: reported again later
        default:
            break;
        }
        if (event->isInputEvent() && !(m_admitted && isInside(receiver, m_admitted))) {
            m_held.emplace_back(receiver, std::unique_ptr<QEvent>(event->clone()));
            return true;
        }
        return false;
    }

private:
    const QObject *m_admitted;
    std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> m_held;
};

void processHolding(QEventLoop::ProcessEventsFlags flags, const QObject *admitted)
{
    if (!QCoreApplication::instance())
        return;
    EventHold hold(admitted);
    QCoreApplication::processEvents(flags | QEventLoop::ExcludeSocketNotifiers | QEventLoop::X11ExcludeTimers);
}

} // namespace

void ProcessEventsQuietly()
{
    processHolding(QEventLoop::ExcludeUserInputEvents, nullptr);
}

void ProcessEventsForWindow(const QObject &window)
{
    processHolding(QEventLoop::AllEvents, &window);
}

} // namespace tessary
