#pragma once

#include <functional>
#include <memory>

namespace tessary {

// Marks a long operation of the window thread (delete all, group removal,
// batch resize, import, export, a card run, backup and restore). While one
// runs nothing else may run inside it: notifications from devices and timers
// are held back with runWhenIdle() and run, in the order they came, once the
// last operation has ended. Scopes nest.
class BusyScope
{
public:
    BusyScope();
    ~BusyScope();
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

    // True while any scope is open.
    static bool active();
};

// Runs `action` now when no long operation runs. Otherwise keeps it until the
// last BusyScope has closed and then runs it from the event loop, after the
// actions kept before it. `alive` (optional) ties the action to its owner: a
// kept action whose owner is gone by then is dropped.
void runWhenIdle(std::function<void()> action);
void runWhenIdle(std::function<void()> action, std::weak_ptr<void> alive);

// Number of actions kept for later (tests).
int heldBackActions();

} // namespace tessary
