// Printing to a given printer: progress window, pages, Cancel stopping the
// job; with no printer installed nothing is printed and nothing said.

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

} // namespace

class TestPrinting : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void printsEveryPageWithProgress();
    void cancelStopsTheJob();
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

void TestPrinting::cancelStopsTheJob()
{
    ThreePages three;
    QPrinter printer(QPrinter::HighResolution);
    const QString file = m_dir.filePath(QStringLiteral("cancelled.pdf"));
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    int calls = 0;
    const PrintResult result = printReportTo(three.report, printer, nullptr, [&](TPrintProgress &progress, int) {
        if (++calls == 1)
            QTest::mouseClick(progress.cancelButton(), Qt::LeftButton);
    });
    QCOMPARE(result, PrintResult::Cancelled);
    QCOMPARE(calls, 1);           // no page painted after Cancel
    QVERIFY(!QFile::exists(file)); // and no half job left
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
