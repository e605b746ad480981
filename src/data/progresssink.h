#pragma once

#include "errors.h"

#include <QString>

namespace tessary {

// What a long operation tells about its advance: a range of steps, then one
// step at a time. The progress window implements it on screen; code below
// the windows (bulk writes, pixel loops, import and export) takes this
// interface, so it runs and is tested without a window.
class ProgressSink
{
public:
    virtual ~ProgressSink() = default;
    // Minimum 0, then `maximum`, then position 0. A maximum below 0 is
    // refused with tessary::Error "Value must be between 1 and 2147483647",
    // the text the progress window's gauge gives.
    virtual void SetRange(int maximum) = 0;
    // One unit of work done (held at the maximum).
    virtual void StepIt() = 0;
    // Lets the window system run (expose, repaints), for operations that
    // hand control back once per record. Never delivers user input, socket
    // notifications or timers: nothing else of the program runs inside the
    // operation (see data/quietevents.h).
    virtual void ProcessMessages() {}
    // Puts the progress on screen and takes it off again; nothing to do for a
    // sink without a window.
    virtual void Show() {}
    virtual void Hide() {}
};

// A sink that shows nothing and counts: the range it was given and the steps
// taken. Used where no window is wanted, and by tests.
class CountingProgress : public ProgressSink
{
public:
    void SetRange(int maximum) override
    {
        if (maximum < 0)
            throw Error(QStringLiteral("Value must be between 1 and 2147483647"));
        m_maximum = maximum;
        m_position = 0;
        ++m_ranges;
    }
    void StepIt() override
    {
        ++m_steps;
        if (m_position < m_maximum)
            ++m_position;
    }

    int maximum() const { return m_maximum; }
    int position() const { return m_position; }
    int steps() const { return m_steps; }   // all steps, also those held at the maximum
    int ranges() const { return m_ranges; } // how often SetRange was called

private:
    int m_maximum = 100;
    int m_position = 0;
    int m_steps = 0;
    int m_ranges = 0;
};

} // namespace tessary
