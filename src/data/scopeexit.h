#pragma once

#include <utility>

namespace tessary {

// Runs an action when leaving the scope, also by an exception. A clean-up
// must not throw out of a destructor (that ends the program): a failing
// action is abandoned there, and an error that matters has to be raised by
// the normal way out instead.
template <typename F>
class OnExit
{
public:
    explicit OnExit(F action) : m_action(std::move(action)) {}
    ~OnExit()
    {
        try {
            m_action();
        } catch (...) {
        }
    }
    OnExit(const OnExit &) = delete;
    OnExit &operator=(const OnExit &) = delete;

private:
    F m_action;
};

} // namespace tessary
