// The progress window: constructors, range rules and errors, the percentage
// shown, painting inside the call only when the drawn gauge changes, and
// event processing that lets nothing else of the program run.

#include "data/errors.h"
#include "photoui/progress.h"

#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QWindow>

#include <unistd.h>

#include <QtTest>

using namespace tessary;

namespace {

// Counts paints and records what each drew: text and filled width.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    QString text;
    int filledWidth = -1;

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
            if (auto *gauge = qobject_cast<ProgressGauge *>(object)) {
                text = gauge->text();
                filledWidth = gauge->filledWidth();
            }
        }
        return false;
    }
};

// A gauge of its own window, `width` wide, shown and painted once.
std::unique_ptr<ProgressGauge> shownGauge(int width)
{
    auto gauge = std::make_unique<ProgressGauge>();
    gauge->resize(width, 26);
    gauge->show();
    if (!QTest::qWaitForWindowExposed(gauge.get()))
        return nullptr;
    QCoreApplication::processEvents();
    return gauge;
}

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
    void stepsPaintOnlyWhenTheDrawnGaugeChanges_data();
    void stepsPaintOnlyWhenTheDrawnGaugeChanges();
    void rangeAndPositionPaintOnlyWhenTheDrawnGaugeChanges();
    void nothingElseRunsInside_data();
    void nothingElseRunsInside();
    void processMessagesAtMostOnceAFrame();
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
    window->StepIt(); // held at 100 %: the same pixels, not painted again
    QCOMPARE(counter.paints, 3);
    // A position change that keeps the percentage does not repaint.
    window->bar().setPosition(3);
    QCOMPARE(counter.paints, 3);
    window->bar().setPosition(1);
    QCOMPARE(counter.paints, 4);

    // 1 of 3 (33 %): the inner width is 310, the filled length follows the
    // position, 310 * 1 / 3 = 103, so inner columns 1 to 103 are black and
    // 104 onwards white, with a single-line black border around.
    const QImage shown = window->bar().grab().toImage();
    QCOMPARE(shown.size(), QSize(312, 26));
    QCOMPARE(QColor(shown.pixel(0, 13)), QColor(Qt::black));
    QCOMPARE(QColor(shown.pixel(311, 13)), QColor(Qt::black));
    QCOMPARE(QColor(shown.pixel(50, 0)), QColor(Qt::black));
    QCOMPARE(QColor(shown.pixel(1, 3)), QColor(Qt::black));
    QCOMPARE(QColor(shown.pixel(103, 13)), QColor(Qt::black));
    QCOMPARE(QColor(shown.pixel(104, 13)), QColor(Qt::white));
    QCOMPARE(QColor(shown.pixel(300, 3)), QColor(Qt::white));
    // The text "33%" sits in the middle, dark on the white part.
    bool dark = false;
    for (int x = 140; x < 172 && !dark; ++x)
        for (int y = 5; y < 21 && !dark; ++y)
            dark = qGray(shown.pixel(x, y)) < 128;
    QVERIFY(dark);
}

void TestProgress::stepsPaintOnlyWhenTheDrawnGaugeChanges_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("steps");
    QTest::newRow("200 px, 20,000 steps") << 200 << 20000 << 20000;
    QTest::newRow("40 px: the text moves more often than the fill") << 40 << 300 << 300;
    QTest::newRow("window width, 7 steps, 3 held at the end") << 312 << 7 << 10;
    QTest::newRow("empty range") << 200 << 0 << 5;
}

void TestProgress::stepsPaintOnlyWhenTheDrawnGaugeChanges()
{
    QFETCH(int, width);
    QFETCH(int, maximum);
    QFETCH(int, steps);
    std::unique_ptr<ProgressGauge> gauge = shownGauge(width);
    QVERIFY(gauge);
    gauge->setMaximum(maximum);
    PaintCounter counter;
    gauge->installEventFilter(&counter);
    gauge->repaint();
    QCOMPARE(counter.paints, 1);

    int expectedPaints = 1;
    for (int step = 0; step < steps; ++step) {
        const QString textBefore = gauge->text();
        const int filledBefore = gauge->filledWidth();
        gauge->stepIt();
        if (gauge->text() != textBefore || gauge->filledWidth() != filledBefore)
            ++expectedPaints;
        // Every change is painted inside the call, and nothing else is: what
        // was painted last is what the gauge holds now.
        QCOMPARE(counter.paints, expectedPaints);
        QCOMPARE(counter.text, gauge->text());
        QCOMPARE(counter.filledWidth, gauge->filledWidth());
        QCOMPARE(gauge->accessibleDescription(), gauge->text());
    }
    // At most one paint per pixel of fill and one per percentage: on a
    // 200-pixel gauge a few hundred, not one per step.
    QVERIFY2(counter.paints <= std::min(steps, (width - 2) + 100) + 1, qPrintable(QString::number(counter.paints)));

    // The recorded width is the drawn one: black up to it, white after.
    const QImage shown = gauge->grab().toImage();
    const int filled = gauge->filledWidth();
    if (filled > 0)
        QCOMPARE(QColor(shown.pixel(filled, 2)), QColor(Qt::black));
    if (filled < width - 2)
        QCOMPARE(QColor(shown.pixel(filled + 1, 2)), QColor(Qt::white));
}

void TestProgress::rangeAndPositionPaintOnlyWhenTheDrawnGaugeChanges()
{
    std::unique_ptr<ProgressGauge> gauge = shownGauge(202); // inner width 200
    QVERIFY(gauge);
    PaintCounter counter;
    gauge->installEventFilter(&counter);
    struct Change
    {
        const char *what;
        std::function<void(ProgressGauge &)> apply;
        bool paints;
        QString text;
    };
    const std::vector<Change> changes{
        {"position 50 of 100", [](ProgressGauge &g) { g.setPosition(50); }, true, QStringLiteral("50%")},
        {"same position", [](ProgressGauge &g) { g.setPosition(50); }, false, QStringLiteral("50%")},
        {"maximum 101: 49 %", [](ProgressGauge &g) { g.setMaximum(101); }, true, QStringLiteral("49%")},
        {"maximum 102: still 49 %, one pixel less", [](ProgressGauge &g) { g.setMaximum(102); }, true,
         QStringLiteral("49%")},
        {"maximum 102 again", [](ProgressGauge &g) { g.setMaximum(102); }, false, QStringLiteral("49%")},
        {"maximum 200", [](ProgressGauge &g) { g.setMaximum(200); }, true, QStringLiteral("25%")},
        {"minimum 10: 40 of 190", [](ProgressGauge &g) { g.setMinimum(10); }, true, QStringLiteral("21%")},
        {"minimum 11: 39 of 189", [](ProgressGauge &g) { g.setMinimum(11); }, true, QStringLiteral("20%")},
        {"minimum 12: 38 of 188, still 20 %, one pixel less", [](ProgressGauge &g) { g.setMinimum(12); }, true,
         QStringLiteral("20%")},
        {"position below the range", [](ProgressGauge &g) { g.setPosition(-5); }, true, QStringLiteral("0%")},
        {"held at the minimum", [](ProgressGauge &g) { g.setPosition(0); }, false, QStringLiteral("0%")},
    };
    for (const Change &change : changes) {
        const int before = counter.paints;
        change.apply(*gauge);
        QVERIFY2(counter.paints == before + (change.paints ? 1 : 0), change.what);
        QVERIFY2(gauge->text() == change.text, change.what);
        QVERIFY2(counter.text == gauge->text() && counter.filledWidth == gauge->filledWidth(), change.what);
        QVERIFY2(gauge->accessibleDescription() == change.text, change.what);
    }
}

namespace {

// What must wait while a long operation runs: a due timer, a card reader's
// bytes waiting on a descriptor, and a click posted to another window.
struct Bystanders
{
    Bystanders()
    {
        if (::pipe(fds) != 0)
            qFatal("pipe");
        notifier = std::make_unique<QSocketNotifier>(fds[0], QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, [this] {
            char byte;
            if (::read(fds[0], &byte, 1) == 1)
                ++reads;
        });
        timer.setSingleShot(true);
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [this] { ++timeouts; });
        QObject::connect(&button, &QPushButton::clicked, [this] { ++clicks; });
        button.resize(80, 30);
        button.show();
    }
    ~Bystanders()
    {
        notifier.reset();
        ::close(fds[0]);
        ::close(fds[1]);
    }

    // Everything pending at once.
    void arm()
    {
        timer.start();
        if (::write(fds[1], "x", 1) != 1)
            qFatal("write");
        const QPointF middle(40, 15);
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
            QCoreApplication::postEvent(&button, new QMouseEvent(type, middle, button.mapToGlobal(middle), Qt::LeftButton,
                                                                 type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                                                 Qt::NoModifier));
        QThread::msleep(5);
    }

    int fds[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier;
    QTimer timer;
    QPushButton button;
    int reads = 0;
    int timeouts = 0;
    int clicks = 0;
};

} // namespace

void TestProgress::nothingElseRunsInside_data()
{
    QTest::addColumn<QString>("call");
    QTest::newRow("ProcessMessages") << QStringLiteral("ProcessMessages");
    QTest::newRow("ShowNow") << QStringLiteral("ShowNow");
    QTest::newRow("StepIt before the expose") << QStringLiteral("StepIt");
}

void TestProgress::nothingElseRunsInside()
{
    QFETCH(QString, call);
    Bystanders others;
    QVERIFY(QTest::qWaitForWindowExposed(&others.button));
    std::unique_ptr<TPg> window = TPg::CreateRange(nullptr, 0, 10);
    others.arm();
    if (call == QLatin1String("ProcessMessages")) {
        window->ProcessMessages();
    } else if (call == QLatin1String("ShowNow")) {
        window->ShowNow();
        QVERIFY(window->windowHandle()->isExposed()); // the expose itself did come through
    } else {
        window->show();
        window->StepIt();
        QCOMPARE(window->bar().position(), 1);
    }
    QCOMPARE(others.timeouts, 0);
    QCOMPARE(others.reads, 0);
    QCOMPARE(others.clicks, 0);

    // Back in the event loop, each runs once.
    QTRY_COMPARE(others.timeouts, 1);
    QTRY_COMPARE(others.reads, 1);
    QTRY_COMPARE(others.clicks, 1);
}

void TestProgress::processMessagesAtMostOnceAFrame()
{
    std::unique_ptr<TPg> window = TPg::Create(nullptr);
    QObject receiver;
    int delivered = 0;
    QObject::connect(&receiver, &QObject::objectNameChanged, [&] { ++delivered; });
    const auto post = [&] {
        QMetaObject::invokeMethod(&receiver, [&] { receiver.setObjectName(QString::number(delivered)); },
                                  Qt::QueuedConnection);
    };
    post();
    window->ProcessMessages();
    QCOMPARE(delivered, 1);
    post();
    window->ProcessMessages(); // within the same frame: nothing runs
    QCOMPARE(delivered, 1);
    QThread::msleep(20);
    window->ProcessMessages();
    QCOMPARE(delivered, 2);
}

QTEST_MAIN(TestProgress)
#include "tst_progress.moc"
