#include "photoui/progress.h"
#include "photoui/centring.h"

#include "data/errors.h"
#include "data/quietevents.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QThread>
#include <QWindow>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

namespace tessary {

namespace {

Error rangeError(qint64 low, qint64 high)
{
    return Error(QStringLiteral("Value must be between %1 and %2").arg(low).arg(high));
}

} // namespace

ProgressGauge::ProgressGauge(QWidget *parent) : QWidget(parent)
{
    setAccessibleName(QStringLiteral("Progress"));
    m_describedPercent = percent();
    setAccessibleDescription(text());
}

void ProgressGauge::setMinimum(int minimum)
{
    if (minimum > m_maximum)
        throw rangeError(-qint64(INT_MAX), qint64(m_maximum) - 1);
    m_minimum = minimum;
    clampPosition();
    changed();
}

void ProgressGauge::setMaximum(int maximum)
{
    if (maximum < m_minimum)
        throw rangeError(qint64(m_minimum) + 1, INT_MAX);
    m_maximum = maximum;
    clampPosition();
    changed();
}

void ProgressGauge::setPosition(int position)
{
    m_position = position;
    clampPosition();
    changed();
}

void ProgressGauge::stepIt()
{
    if (m_position < m_maximum)
        ++m_position;
    changed();
}

int ProgressGauge::percent() const
{
    if (m_maximum == m_minimum)
        return 0;
    return int(100 * (qint64(m_position) - m_minimum) / (qint64(m_maximum) - m_minimum));
}

QString ProgressGauge::text() const
{
    return QString::number(percent()) + QLatin1Char('%');
}

int ProgressGauge::filledWidth() const
{
    // The fill follows the position to the pixel, so a wide gauge moves
    // between two whole percentages too; the text shows the percentage.
    const int inner = std::max(width() - 2, 0);
    if (m_maximum == m_minimum)
        return 0;
    return int(qint64(inner) * (qint64(m_position) - m_minimum) / (qint64(m_maximum) - m_minimum));
}

QSize ProgressGauge::sizeHint() const
{
    return {312, 26};
}

void ProgressGauge::clampPosition()
{
    m_position = std::clamp(m_position, m_minimum, m_maximum);
}

void ProgressGauge::changed()
{
    const Face now = face();
    if (now.percent != m_describedPercent) {
        m_describedPercent = now.percent;
        setAccessibleDescription(text());
    }
    // Painted inside the call: the work that moves the gauge does not return
    // to the event loop until it is done. A hidden or not yet exposed gauge
    // paints nothing here; it is asked again at the next change.
    if (now != m_painted)
        repaint();
}

void ProgressGauge::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QRect whole = rect();
    painter.fillRect(whole, Qt::white);
    painter.setPen(Qt::black);
    painter.drawRect(whole.adjusted(0, 0, -1, -1));

    const QRect inner = whole.adjusted(1, 1, -1, -1);
    const Face drawn = face();
    // Only a paint of the whole gauge leaves it all showing this face.
    if (event->rect().contains(whole))
        m_painted = drawn;
    const QRect filled(inner.left(), inner.top(), drawn.filledWidth, inner.height());
    const QRect empty(inner.left() + drawn.filledWidth, inner.top(), inner.width() - drawn.filledWidth, inner.height());
    painter.fillRect(filled, Qt::black);

    // The text is inverted: black over the white part, white over the black.
    const QString label = text();
    painter.setClipRect(empty);
    painter.setPen(Qt::black);
    painter.drawText(inner, Qt::AlignCenter, label);
    painter.setClipRect(filled);
    painter.setPen(Qt::white);
    painter.drawText(inner, Qt::AlignCenter, label);
}

// ---------------------------------------------------------------------------

TPg::TPg(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::CustomizeWindowHint)
    , m_bar(new ProgressGauge(this))
{
    setObjectName(QStringLiteral("Pg"));
    m_bar->setObjectName(QStringLiteral("bar"));
    setWindowTitle(QStringLiteral("Progress"));
    setModal(false);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_bar);
    setFixedSize(312, 26);
}

std::unique_ptr<TPg> TPg::Create(QWidget *owner)
{
    return std::unique_ptr<TPg>(new TPg(owner));
}

std::unique_ptr<TPg> TPg::CreateRange(QWidget *owner, int minimum, int maximum)
{
    std::unique_ptr<TPg> window = Create(owner);
    // Minimum first, then maximum; when the new minimum lies above the
    // initial maximum the maximum has to move first, or a valid range such as
    // 200..300 would be refused on the way.
    if (minimum > window->m_bar->maximum()) {
        window->m_bar->setMaximum(maximum);
        window->m_bar->setMinimum(minimum);
    } else {
        window->m_bar->setMinimum(minimum);
        window->m_bar->setMaximum(maximum);
    }
    return window;
}

std::unique_ptr<TPg> TPg::CreateCaptioned(QWidget *owner, const QString &caption, int maximum)
{
    std::unique_ptr<TPg> window = Create(owner);
    window->setWindowTitle(caption);
    window->SetRange(maximum);
    return window;
}

void TPg::SetRange(int maximum)
{
    m_bar->setMinimum(0);
    m_bar->setMaximum(maximum);
    m_bar->setPosition(0);
}

void TPg::StepIt()
{
    // Until the window system has exposed the window, a repaint draws
    // nothing; let it catch up so the bar is on screen from the first step.
    if (isVisible() && windowHandle() && !windowHandle()->isExposed())
        waitForExpose(100);
    m_bar->stepIt();
}

void TPg::ProcessMessages()
{
    // A call costs far more than a record at tens of thousands of records;
    // once a frame keeps the windows painted.
    constexpr qint64 kFrameMilliseconds = 16;
    if (m_sinceEvents.isValid() && m_sinceEvents.elapsed() < kFrameMilliseconds)
        return;
    ProcessEventsQuietly();
    m_sinceEvents.start();
}

void TPg::ShowNow()
{
    show();
    waitForExpose(500);
    repaint();
}

void TPg::waitForExpose(int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    ProcessEventsQuietly();
    while (windowHandle() && !windowHandle()->isExposed() && clock.elapsed() < milliseconds) {
        QThread::msleep(1);
        ProcessEventsQuietly();
    }
}

void TPg::showEvent(QShowEvent *event)
{
    CentreOnScreen(*this);
    QDialog::showEvent(event);
}

} // namespace tessary
