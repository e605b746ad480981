// The progress window: constructors, range rules and errors, the percentage
// shown, and painting inside the call.

#include "data/errors.h"
#include "photoui/progress.h"

#include <QWindow>

#include <QtTest>

using namespace tessary;

namespace {

class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

QString errorOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const Error &error) {
        return error.message();
    }
    return QStringLiteral("(no error)");
}

} // namespace

class TestProgress : public QObject
{
    Q_OBJECT

private slots:
    void createdState();
    void emptyRangeShowsZero();
    void threeStepsGive33_66_100();
    void createRangeKeepsLargeMaximum();
    void createCaptionedWithZeroCount();
    void rangeErrors();
    void positionIsHeldInRange();
    void showNowPaintsBeforeReturning();
    void paintsInsideTheCall();
};

void TestProgress::createdState()
{
    QWidget owner;
    std::unique_ptr<TPg> window = TPg::Create(&owner);
    QCOMPARE(window->windowTitle(), QStringLiteral("Progress"));
    QCOMPARE(window->parentWidget(), &owner);
    QVERIFY(!window->isModal());
    QVERIFY(!window->isVisible());
    QCOMPARE(window->size(), QSize(312, 26));
    QCOMPARE(window->bar().minimum(), 0);
    QCOMPARE(window->bar().maximum(), 100);
    QCOMPARE(window->bar().position(), 0);
    QCOMPARE(window->bar().text(), QStringLiteral("0%"));
    QCOMPARE(window->bar().accessibleName(), QStringLiteral("Progress"));

    // Destroying the window before its owner detaches it cleanly.
    window.reset();
    QVERIFY(owner.findChildren<TPg *>().isEmpty());
}

void TestProgress::emptyRangeShowsZero()
{
    std::unique_ptr<TPg> window = TPg::Create(nullptr);
    window->SetRange(0);
    QCOMPARE(window->bar().text(), QStringLiteral("0%"));
    window->StepIt();
    window->StepIt();
    QCOMPARE(window->bar().position(), 0);
    QCOMPARE(window->bar().text(), QStringLiteral("0%"));
}

void TestProgress::threeStepsGive33_66_100()
{
    std::unique_ptr<TPg> window = TPg::CreateRange(nullptr, 0, 3);
    QCOMPARE(window->bar().text(), QStringLiteral("0%"));
    QStringList shown;
    for (int step = 0; step < 4; ++step) {
        window->StepIt();
        shown << window->bar().text();
    }
    QCOMPARE(shown, (QStringList{QStringLiteral("33%"), QStringLiteral("66%"), QStringLiteral("100%"), QStringLiteral("100%")}));
    QCOMPARE(window->bar().position(), 3);
}

void TestProgress::createRangeKeepsLargeMaximum()
{
    // Record counts beyond 65535 are kept, not wrapped to 16 bits.
    std::unique_ptr<TPg> window = TPg::CreateRange(nullptr, 0, 70000);
    QCOMPARE(window->bar().maximum(), 70000);
    for (int i = 0; i < 699; ++i)
        window->StepIt();
    QCOMPARE(window->bar().text(), QStringLiteral("0%")); // 69900 / 70000 is below 1 %
    window->StepIt();
    QCOMPARE(window->bar().text(), QStringLiteral("1%"));

    // A range lying wholly above the initial 0..100 is taken as well.
    std::unique_ptr<TPg> high = TPg::CreateRange(nullptr, 200, 300);
    QCOMPARE(high->bar().minimum(), 200);
    QCOMPARE(high->bar().maximum(), 300);
    QCOMPARE(high->bar().position(), 200);

    // A reversed range is refused.
    QCOMPARE(errorOf([] { TPg::CreateRange(nullptr, 5, 2); }), QStringLiteral("Value must be between 6 and 2147483647"));
}

void TestProgress::createCaptionedWithZeroCount()
{
    std::unique_ptr<TPg> window = TPg::CreateCaptioned(nullptr, QStringLiteral("Exporting Card Database"), 0);
    QCOMPARE(window->windowTitle(), QStringLiteral("Exporting Card Database"));
    QCOMPARE(window->bar().minimum(), 0);
    QCOMPARE(window->bar().maximum(), 0);
    QCOMPARE(window->bar().text(), QStringLiteral("0%"));
}

void TestProgress::rangeErrors()
{
    std::unique_ptr<TPg> window = TPg::Create(nullptr);
    ProgressGauge &bar = window->bar();

    // A maximum derived from a picture without rows.
    QCOMPARE(errorOf([&] { window->SetRange(-1); }), QStringLiteral("Value must be between 1 and 2147483647"));
    QCOMPARE(bar.maximum(), 100); // the refused value is not taken

    bar.setMinimum(10);
    QCOMPARE(errorOf([&] { bar.setMaximum(5); }), QStringLiteral("Value must be between 11 and 2147483647"));
    QCOMPARE(bar.maximum(), 100);

    bar.setMaximum(50);
    QCOMPARE(errorOf([&] { bar.setMinimum(60); }), QStringLiteral("Value must be between -2147483647 and 49"));
    QCOMPARE(bar.minimum(), 10);

    // Equal bounds are allowed; the extreme values do not overflow the text.
    bar.setMinimum(50);
    QCOMPARE(bar.minimum(), 50);
    bar.setMaximum(INT_MAX);
    bar.setMinimum(INT_MAX);
    QCOMPARE(errorOf([&] { bar.setMaximum(0); }), QStringLiteral("Value must be between 2147483648 and 2147483647"));
    bar.setMinimum(INT_MIN);
    bar.setMaximum(INT_MIN);
    QCOMPARE(errorOf([&] { bar.setMinimum(0); }), QStringLiteral("Value must be between -2147483647 and -2147483649"));
}

void TestProgress::positionIsHeldInRange()
{
    std::unique_ptr<TPg> window = TPg::Create(nullptr);
    ProgressGauge &bar = window->bar();
    bar.setPosition(150);
    QCOMPARE(bar.position(), 100);
    QCOMPARE(bar.text(), QStringLiteral("100%"));
    bar.setMaximum(40);
    QCOMPARE(bar.position(), 40);
    bar.setMinimum(20);
    bar.setPosition(-5);
    QCOMPARE(bar.position(), 20);
    bar.setPosition(30);
    QCOMPARE(bar.percent(), 50);
    // SetRange starts again at 0.
    window->SetRange(10);
    QCOMPARE(bar.minimum(), 0);
    QCOMPARE(bar.position(), 0);
}

void TestProgress::showNowPaintsBeforeReturning()
{
    // Shown and painted within the call, with no event loop run by the test:
    // the bar is on screen from the first step.
    std::unique_ptr<TPg> window = TPg::CreateRange(nullptr, 0, 4);
    PaintCounter counter;
    window->bar().installEventFilter(&counter);
    window->ShowNow();
    QVERIFY(window->isVisible());
    QVERIFY(window->windowHandle() && window->windowHandle()->isExposed());
    QVERIFY(counter.paints >= 1);
    // As a progress sink: Show, steps, Hide.
    ProgressSink &sink = *window;
    sink.StepIt();
    QCOMPARE(window->bar().position(), 1);
    sink.Hide();
    QVERIFY(!window->isVisible());
}

void TestProgress::paintsInsideTheCall()
{
    std::unique_ptr<TPg> window = TPg::CreateRange(nullptr, 0, 3);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCoreApplication::processEvents();

    PaintCounter counter;
    window->bar().installEventFilter(&counter);
    // No event loop runs between these calls: every paint happens inside them.
    window->StepIt();
    QCOMPARE(counter.paints, 1);
    window->StepIt();
    window->StepIt();
    window->StepIt(); // held at 100 %, painted all the same
    QCOMPARE(counter.paints, 4);
    // A position change that keeps the percentage does not repaint.
    window->bar().setPosition(3);
    QCOMPARE(counter.paints, 4);
    window->bar().setPosition(1);
    QCOMPARE(counter.paints, 5);

    // 33 %: the inner width is 310, the filled length 310 * 33 / 100 = 102,
    // so inner columns 1 to 102 are black and 103 onwards white, with a
    // single-line black border around.
    const QImage shown = window->bar().grab().toImage();
    QCOMPARE(shown.size(), QSize(312, 26));
    QCOMPARE(QColor(shown.pixel(0, 13)), QColor(Qt::black));
    QCOMPARE(QColor(shown.pixel(311, 13)), QColor(Qt::black));
    QCOMPARE(QColor(shown.pixel(50, 0)), QColor(Qt::black));
    QCOMPARE(QColor(shown.pixel(1, 3)), QColor(Qt::black));
    QCOMPARE(QColor(shown.pixel(102, 13)), QColor(Qt::black));
    QCOMPARE(QColor(shown.pixel(103, 13)), QColor(Qt::white));
    QCOMPARE(QColor(shown.pixel(300, 3)), QColor(Qt::white));
    // The text "33%" sits in the middle, dark on the white part.
    bool dark = false;
    for (int x = 140; x < 172 && !dark; ++x)
        for (int y = 5; y < 21 && !dark; ++y)
            dark = qGray(shown.pixel(x, y)) < 128;
    QVERIFY(dark);
}

QTEST_MAIN(TestProgress)
#include "tst_progress.moc"
