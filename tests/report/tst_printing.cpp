// Printing to a given printer: progress window, pages, Cancel stopping the
// job, nothing else of the program running inside it; with no printer
// installed nothing is printed and nothing said.

#include "testreports.h"

#include "data/prompts.h"
#include "report/output.h"
#include "report/printing.h"

#include <QApplication>
#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

using namespace tessary;
using namespace tessary::testing;

namespace {

struct ThreePages
{
    ThreePages() : source(numberedRows(6))
    {
        report.page.paper = Paper::A6;
        report.page.orientation = QPageLayout::Landscape;
        report.page.title = QStringLiteral("Three pages");
        report.setRowSource(&source);
        ReportBand &band = report.addBand();
        band.height = 50; // two a page on a landscape A6
        band.beforePrint = [this] { ++hookCalls; };
        auto &name = band.add<ReportDataText>(QStringLiteral("name"));
        name.column = QStringLiteral("name");
    }
    ListRowSource source;
    Report report;
    int hookCalls = 0;
};

int pdfPages(const QString &file)
{
    QProcess info;
    info.start(QStandardPaths::findExecutable(QStringLiteral("pdfinfo")), {file});
    info.waitForFinished(30000);
    return QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)"))
        .match(QString::fromUtf8(info.readAllStandardOutput()))
        .captured(1)
        .toInt();
}

// Counts the paints of a progress bar and records the text each drew.
struct PaintWatch : QObject
{
    explicit PaintWatch(QProgressBar *bar) { bar->installEventFilter(this); }
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
            painted = static_cast<QProgressBar *>(object)->text();
        }
        return false;
    }
    int paints = 0;
    QString painted;
};

} // namespace

class TestPrinting : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void printsEveryPageWithProgress();
    void barRepaintsOnlyWhenTheCountChanges();
    void cancelStopsTheJob_data();
    void cancelStopsTheJob();
    void nothingElseRunsDuringTheJob();
    void noPrinterPrintsNothingAndSaysNothing();

private:
    QTemporaryDir m_dir;
};

void TestPrinting::initTestCase()
{
    QVERIFY(m_dir.isValid());
    if (QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
        QSKIP("pdfinfo (poppler-utils) is not installed");
}

void TestPrinting::printsEveryPageWithProgress()
{
    ThreePages three;
    QPrinter printer(QPrinter::HighResolution);
    const QString file = m_dir.filePath(QStringLiteral("printed.pdf"));
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    QList<int> seen;
    QString title;
    const PrintResult result = printReportTo(three.report, printer, nullptr, [&](TPrintProgress &progress, int done) {
        title = progress.windowTitle();
        QVERIFY(progress.isVisible());
        QCOMPARE(progress.bar()->maximum(), 3);
        QCOMPARE(progress.cancelButton()->text(), QStringLiteral("Cancel"));
        seen << progress.bar()->value();
        QCOMPARE(progress.bar()->value(), done);
    });
    QCOMPARE(result, PrintResult::Printed);
    QCOMPARE(title, QStringLiteral("Printing progress"));
    QCOMPARE(seen, QList<int>({1, 2, 3}));
    QCOMPARE(pdfPages(file), 3);
    // Set up for the report: full page, no margins, its paper and orientation.
    QVERIFY(printer.fullPage());
    QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Landscape);
    QCOMPARE(printer.pageLayout().pageSize().id(), QPageSize::A6);
    QCOMPARE(printer.pageLayout().margins(), QMarginsF());
}

void TestPrinting::barRepaintsOnlyWhenTheCountChanges()
{
    TPrintProgress progress(nullptr, 4);
    progress.show();
    QVERIFY(QTest::qWaitForWindowExposed(&progress));
    QCoreApplication::processEvents();
    QProgressBar *bar = progress.bar();
    PaintWatch watch(bar);
    // Pages done in turn, with the same count given twice: each change is
    // painted inside the call, a repeated count is not painted again.
    const QList<std::pair<int, int>> steps{{1, 1}, {1, 1}, {2, 2}, {3, 3}, {3, 3}, {4, 4}};
    for (const auto &[done, expectedPaints] : steps) {
        progress.setPagesDone(done);
        QCOMPARE(watch.paints, expectedPaints);
        QCOMPARE(watch.painted, bar->text());
        QCOMPARE(watch.painted, QStringLiteral("%1 / 4").arg(done));
    }
}

void TestPrinting::cancelStopsTheJob_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel button") << QStringLiteral("button");
    QTest::newRow("Cancel clicked in the window") << QStringLiteral("window click");
    QTest::newRow("Escape") << QStringLiteral("escape");
    QTest::newRow("close box") << QStringLiteral("close box");
}

void TestPrinting::cancelStopsTheJob()
{
    QFETCH(QString, how);
    ThreePages three;
    QPrinter printer(QPrinter::HighResolution);
    const QString file = m_dir.filePath(QStringLiteral("cancelled.pdf"));
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    int calls = 0;
    const PrintResult result = printReportTo(three.report, printer, nullptr, [&](TPrintProgress &progress, int) {
        if (++calls != 1)
            return;
        QPushButton *cancel = progress.cancelButton();
        if (how == QLatin1String("button"))
            QTest::mouseClick(cancel, Qt::LeftButton);
        else if (how == QLatin1String("window click"))
            QTest::mouseClick(progress.windowHandle(), Qt::LeftButton, {}, cancel->mapTo(&progress, cancel->rect().center()));
        else if (how == QLatin1String("escape"))
            QTest::keyClick(progress.windowHandle(), Qt::Key_Escape);
        else
            progress.windowHandle()->close();
    });
    QCOMPARE(result, PrintResult::Cancelled);
    QCOMPARE(calls, 1);           // no page painted after Cancel
    QVERIFY(!QFile::exists(file)); // and no half job left
}

void TestPrinting::nothingElseRunsDuringTheJob()
{
    // Another window of the program with a command button, and a due timer.
    QWidget other;
    auto *command = new QPushButton(QStringLiteral("Print All"), &other);
    command->setGeometry(10, 10, 100, 30);
    other.resize(200, 60);
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    int clicks = 0;
    int timeouts = 0;
    connect(command, &QPushButton::clicked, [&] { ++clicks; });
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, [&] { ++timeouts; });

    ThreePages three;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(m_dir.filePath(QStringLiteral("undisturbed.pdf")));
    QList<int> seen; // clicks and timeouts seen at each page
    const PrintResult result = printReportTo(three.report, printer, &other, [&](TPrintProgress &, int done) {
        seen << clicks << timeouts;
        if (done != 1)
            return;
        const QPoint middle = command->mapTo(&other, command->rect().center());
        // A click on the window is refused while the job runs ...
        QTest::mouseClick(other.windowHandle(), Qt::LeftButton, {}, middle);
        QCOMPARE(clicks, 0);
        // ... a timer due now and (the click ran the test's own event
        // processing) one posted to the button wait until the job is done.
        timer.start(0);
        const QPointF at = command->rect().center();
        QCoreApplication::postEvent(command, new QMouseEvent(QEvent::MouseButtonPress, at, command->mapToGlobal(at),
                                                             Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(command, new QMouseEvent(QEvent::MouseButtonRelease, at, command->mapToGlobal(at),
                                                             Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    });
    QCOMPARE(result, PrintResult::Printed);
    QCOMPARE(seen, QList<int>({0, 0, 0, 0, 0, 0}));
    QCOMPARE(clicks, 0);
    QCOMPARE(timeouts, 0);

    // Back in the event loop: the timer fires and the posted click arrives.
    QTRY_COMPARE(timeouts, 1);
    QTRY_COMPARE(clicks, 1);
    QTest::qWait(50);
    QCOMPARE(clicks, 1);
}

void TestPrinting::noPrinterPrintsNothingAndSaysNothing()
{
    // main() pointed CUPS at a server that does not exist.
    QVERIFY(reportDefaultPrinter().isNull());
    ThreePages three;
    ScopedScriptedPrompts prompts;
    QCOMPARE(printReport(three.report), PrintResult::NoPrinter);
    QCOMPARE(three.hookCalls, 0);
    QVERIFY(prompts->asked.empty());
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY(!w->isVisible());
}

int main(int argc, char **argv)
{
    // Before anything asks CUPS: a machine without any printer.
    QTemporaryDir none;
    qputenv("CUPS_SERVER", (none.path() + QStringLiteral("/no-cupsd.sock")).toLocal8Bit());
    QApplication app(argc, argv);
    TestPrinting test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_printing.moc"
