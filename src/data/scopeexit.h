#pragma once

#include <utility>

namespace tessary {

// Runs an action when leaving the scope, also by an exception.
template <typename F>
class OnExit
{
public:
    explicit OnExit(F action) : m_action(std::move(action)) {}
    ~OnExit() { m_action(); }
    OnExit(const OnExit &) = delete;
    OnExit &operator=(const OnExit &) = delete;

private:
    F m_action;
};

} // namespace tessary
