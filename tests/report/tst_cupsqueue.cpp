// End to end through a real print queue: a private CUPS scheduler with a
// cups-pdf queue as the default printer (scripts/cups-queue.sh); a two-page
// report printed on the default printer comes out as a PDF whose pages,
// paper and text positions are read back with pdfinfo and pdftotext.

#include "report/output.h"
#include "report/printing.h"
#include "printqueue.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

using namespace tessary;
using namespace printqueue;

class TestCupsQueue : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void twoPagesComeOutOfTheQueue();

private:
    PrintQueue m_queue;
};

void TestCupsQueue::initTestCase()
{
    const PrintQueue::Start started = m_queue.start();
    if (started == PrintQueue::Start::Unavailable)
        QSKIP("cupsd, lpadmin or cups-pdf is not installed (or not root): no print queue to test with");
    QVERIFY2(started == PrintQueue::Start::Started, qPrintable(m_queue.log));
}

void TestCupsQueue::cleanupTestCase()
{
    m_queue.stop();
}

void TestCupsQueue::twoPagesComeOutOfTheQueue()
{
    const QPrinterInfo printer = reportDefaultPrinter();
    QVERIFY(!printer.isNull());
    QVERIFY(printer.printerName().startsWith(QStringLiteral("TessaryPDF")));

    Report report;
    report.page.title = QStringLiteral("QueueTest");
    report.page.topMargin = 20;
    report.page.leftMargin = 30;
    ListRowSource rows(QStringList{QStringLiteral("word")}, {{QStringLiteral("Alpha")}, {QStringLiteral("Bravo")}});
    report.setRowSource(&rows);
    ReportBand &band = report.addBand();
    band.height = 200; // one a page
    auto &word = band.add<ReportDataText>(QStringLiteral("word"));
    word.column = QStringLiteral("word");
    word.setBox(10, 30, 0, 0); // at 40, 50 mm on the sheet
    auto &line = band.add<ReportLine>();
    line.setBox(0, 100, 100, 0);

    QCOMPARE(printReport(report), PrintResult::Printed);
    QVERIFY(m_queue.wait());
    const QStringList pdfs = QDir(m_queue.out).entryList({QStringLiteral("*.pdf")}, QDir::Files);
    QCOMPARE(pdfs.size(), 1);
    const QString pdf = QDir(m_queue.out).filePath(pdfs.first());

    const QString info = run(QStringLiteral("pdfinfo"), {pdf});
    QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+2\\b"))), qPrintable(info));
    const auto size = QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+) pts")).match(info);
    QVERIFY2(size.hasMatch(), qPrintable(info));
    QVERIFY(qAbs(size.captured(1).toDouble() - 595) < 1.5); // A4 portrait
    QVERIFY(qAbs(size.captured(2).toDouble() - 842) < 1.5);

    // Where the words lie: pdftotext -bbox gives boxes in points from the
    // top-left corner. The left edge is the text's origin; the chain that
    // re-embeds the font moves tops a little, so the baseline is read.
    const QString boxes = run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    static const QRegularExpression wordRe(
        QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">(\\w+)</word>"));
    QStringList words;
    for (auto it = wordRe.globalMatch(boxes); it.hasNext();) {
        const auto m = it.next();
        words << m.captured(5);
        const double mm = 25.4 / 72;
        const double left = m.captured(1).toDouble() * mm;
        const double bottom = m.captured(4).toDouble() * mm;
        QVERIFY2(qAbs(left - 40) <= 0.2, qPrintable(QStringLiteral("%1 left %2 mm").arg(m.captured(5)).arg(left)));
        // Arial 10 pt: the baseline lies 0.905 em (3.19 mm) below the top;
        // the box's foot is at most a descent (0.212 em, 0.75 mm) below it.
        const double baseline = 50 + 0.905 * 10 * mm;
        QVERIFY2(bottom >= baseline - 0.2 && bottom <= baseline + 0.95,
                 qPrintable(QStringLiteral("%1 foot %2 mm, baseline %3").arg(m.captured(5)).arg(bottom).arg(baseline)));
    }
    QCOMPARE(words, QStringList({QStringLiteral("Alpha"), QStringLiteral("Bravo")}));
}

QTEST_MAIN(TestCupsQueue)
#include "tst_cupsqueue.moc"
