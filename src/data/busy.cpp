#include "busy.h"

#include <QCoreApplication>
#include <QTimer>

#include <deque>

namespace tessary {

namespace {

struct Held
{
    std::function<void()> action;
    std::weak_ptr<void> alive;
    bool tied = false;
};

int g_depth = 0;
std::deque<Held> g_held;
bool g_drainPosted = false;

void drain()
{
    g_drainPosted = false;
    // Each action may open a scope of its own; the rest then waits again.
    while (!g_held.empty() && g_depth == 0) {
        Held next = std::move(g_held.front());
        g_held.pop_front();
        if (next.tied && next.alive.expired())
            continue;
        next.action();
    }
}

void postDrain()
{
    if (g_drainPosted || g_held.empty() || !QCoreApplication::instance())
        return;
    g_drainPosted = true;
    QTimer::singleShot(0, QCoreApplication::instance(), [] { drain(); });
}

} // namespace

BusyScope::BusyScope()
{
    ++g_depth;
}

BusyScope::~BusyScope()
{
    if (--g_depth == 0)
        postDrain();
}

bool BusyScope::active()
{
    return g_depth > 0;
}

static void keep(Held held)
{
    if (g_depth == 0 && g_held.empty()) {
        held.action();
        return;
    }
    g_held.push_back(std::move(held));
    if (g_depth == 0)
        postDrain();
}

void runWhenIdle(std::function<void()> action)
{
    keep(Held{std::move(action), {}, false});
}

void runWhenIdle(std::function<void()> action, std::weak_ptr<void> alive)
{
    keep(Held{std::move(action), std::move(alive), true});
}

int heldBackActions()
{
    return int(g_held.size());
}

} // namespace tessary
