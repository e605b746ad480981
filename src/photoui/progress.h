#pragma once

#include "data/progresssink.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <QWidget>

#include <memory>

namespace tessary {

// The gauge of the progress window: a bordered horizontal bar, black fill on
// white, with the percentage written inverted in its centre.
//
// It repaints at once, inside the call, whenever what it draws changes: the
// filled width in pixels or the text. A change that would draw the same
// pixels as the last paint is not painted again, so tens of thousands of
// steps cost about as many paints as the bar has pixels and percentages.
//
// Position is always held within minimum..maximum. Setting the maximum below
// the minimum, or the minimum above the maximum, is refused with
// tessary::Error "Value must be between <low> and <high>" and the value is
// not taken.
class ProgressGauge : public QWidget
{
    Q_OBJECT

public:
    explicit ProgressGauge(QWidget *parent = nullptr);

    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    int position() const { return m_position; }

    void setMinimum(int minimum);
    void setMaximum(int maximum);
    // Held within the range.
    void setPosition(int position);
    // Position + 1, held at the maximum.
    void stepIt();

    // Whole part of 100 * (position - minimum) / (maximum - minimum); 0 for an
    // empty range.
    int percent() const;
    // The text in the bar's centre, e.g. "66%".
    QString text() const;
    // The width of the black part: the whole part of the inner width (inside
    // the border) times the percentage / 100.
    int filledWidth() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // What a paint draws; compared with the last paint to skip equal ones.
    struct Face
    {
        int filledWidth = -1;
        int percent = -1;
        bool operator==(const Face &) const = default;
    };
    Face face() const { return {filledWidth(), percent()}; }

    void clampPosition();
    void changed();

    int m_minimum = 0;
    int m_maximum = 100;
    int m_position = 0;
    int m_describedPercent = -1; // the percentage in the accessible description
    Face m_painted;              // what the last paint drew
};

// The small window long operations show while they walk records or pixel
// rows: one gauge, no button, no way to cancel. It is owned by (and stays
// above) the window that creates it, is shown without being modal, and is
// destroyed by the operation's clean-up. The owner must outlive it.
class TPg : public QDialog, public ProgressSink
{
    Q_OBJECT

public:
    // Caption "Progress", range 0 to 100, position 0.
    static std::unique_ptr<TPg> Create(QWidget *owner);
    // As Create, then the range minimum..maximum. The full integer range is
    // kept (a count of 70000 records stays 70000).
    static std::unique_ptr<TPg> CreateRange(QWidget *owner, int minimum, int maximum);
    // As Create, with `caption` for the title, then SetRange(maximum).
    static std::unique_ptr<TPg> CreateCaptioned(QWidget *owner, const QString &caption, int maximum);

    // Minimum 0, then the given maximum, then position 0.
    void SetRange(int maximum) override;
    // One unit of work done: position + 1 (held at the maximum), painted at
    // once when the drawn gauge changes.
    void StepIt() override;
    // Lets the window system run (ProcessEventsQuietly: no user input, socket
    // notifications or timers), at most once every 16 ms.
    void ProcessMessages() override;

    // Shows the window and paints it before returning, also before the window
    // system has exposed it (no window manager, a slow X server): it waits a
    // bounded time for the expose, letting only window-system work through.
    void ShowNow();
    void Show() override { ShowNow(); }
    void Hide() override { hide(); }

    ProgressGauge &bar() const { return *m_bar; }

    // Escape does not close it: the work it shows cannot be cancelled.
    void reject() override {}

protected:
    void showEvent(QShowEvent *event) override;

private:
    explicit TPg(QWidget *owner);
    void waitForExpose(int milliseconds);

    ProgressGauge *m_bar; // child widget, owned by this window
    QElapsedTimer m_sinceEvents; // since ProcessMessages last let events run
};

} // namespace tessary
