// Through a real print queue: a private CUPS scheduler (scripts/cups-queue.sh)
// with a second queue whose PPD is a card printer's (a CR80 page and the
// standard Duplex option). The queue is left stopped, so the calibration
// card's job waits in it and its options and spooled pages can be read.

#include "printers/calibrationcard.h"
#include "report/cupsjob.h"
#include "report/printqueue.h"

#include <QDir>
#include <QFile>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cups/cups.h>

using namespace tessary;
using namespace printqueue;

namespace {

// The cups-pdf PPD with a card printer's page and the standard Duplex option.
QByteArray cardPpd()
{
    QFile base(QStringLiteral("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd"));
    if (!base.open(QIODevice::ReadOnly))
        return {};
    return base.readAll() + R"PPD(
*PageSize CR80/CR80: "<</PageSize[153.6 241.5]/ImagingBBox null>>setpagedevice"
*PageRegion CR80/CR80: "<</PageSize[153.6 241.5]/ImagingBBox null>>setpagedevice"
*ImageableArea CR80/CR80: "0 0 153.6 241.5"
*PaperDimension CR80/CR80: "153.6 241.5"
*OpenUI *Duplex/2-Sided Printing: PickOne
*DefaultDuplex: None
*Duplex None/Off: "<</Duplex false>>setpagedevice"
*Duplex DuplexNoTumble/Long Edge: "<</Duplex true/Tumble false>>setpagedevice"
*CloseUI: *Duplex
)PPD";
}

} // namespace

class TestCardQueue : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void calibrationCardJob();

private:
    PrintQueue m_queue;
    QTemporaryDir m_dir;
    QString m_card;
};

void TestCardQueue::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
    const PrintQueue::Start started = m_queue.start();
    if (started == PrintQueue::Start::Unavailable)
        QSKIP("cupsd, lpadmin or cups-pdf is not installed (or not root): no print queue to test with");
    QVERIFY2(started == PrintQueue::Start::Started, qPrintable(m_queue.log));

    // The card printer: accepting jobs, but stopped.
    const QString ppd = m_dir.filePath(QStringLiteral("card.ppd"));
    QFile file(ppd);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(cardPpd()) > 1000);
    file.close();
    m_card = QStringLiteral("TessaryCalibration_") + QFileInfo(m_queue.dir).fileName().replace(QLatin1Char('.'), QLatin1Char('_'));
    int code = 0;
    const QString out = run(QStringLiteral("/usr/sbin/lpadmin"),
                            {QStringLiteral("-p"), m_card, QStringLiteral("-v"), QStringLiteral("cups-pdf:/") + m_card,
                             QStringLiteral("-P"), ppd}, &code);
    QVERIFY2(code == 0, qPrintable(out));
    run(QStringLiteral("cupsaccept"), {m_card}, &code); // and stopped, as lpadmin leaves it
    QCOMPARE(code, 0);
}

void TestCardQueue::cleanupTestCase() { m_queue.stop(); }

void TestCardQueue::calibrationCardJob()
{
    const std::optional<QPageSize> card = cardStockSize(QPrinterInfo::printerInfo(m_card).supportedPageSizes());
    QCOMPARE(card ? card->key() : QString(), QStringLiteral("CR80"));

    const PrinterSettings stored{m_card, {10, 0, 1000, 1000}, {5, 10, 1000, 1000, true}, std::nullopt};
    stored.save();
    const PrinterSetup setup = printerSetup(m_card);
    QVERIFY(setup.settings == stored && setup.twoSided == (TwoSidedOption{"Duplex", "DuplexNoTumble"}));
    QCOMPARE(setup.measuredOn, QPageLayout::Landscape); // on the card size
    QCOMPARE(setup.calibration(PrintSide::Back, QRectF(0, 0, 10, 20), QPageLayout::Landscape, 2, 3).map(QPointF()),
             QPointF(9, 17));
    QString error;
    QVERIFY2(printCalibrationCard(m_card, SheetPaper::A4, &error), qPrintable(error));

    cups_job_t *jobs = nullptr;
    const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, m_card.toUtf8().constData(), 0, CUPS_WHICHJOBS_ACTIVE);
    QCOMPARE(count, 1);
    const int id = jobs[0].id;
    cupsFreeJobs(count, jobs);
    const QMap<QByteArray, QByteArray> attributes = jobAttributes(id);
    QCOMPARE(attributes.value("Duplex"), QByteArray("DuplexNoTumble"));
    QCOMPARE(attributes.value("print-scaling"), QByteArray("none"));
    QCOMPARE(attributes.value("media"), QByteArray("CR80"));

    // The pages waiting in the spool: front and back on the card's page.
    const QString spooled = QDir(m_queue.dir).filePath(QStringLiteral("spool/d%1-001").arg(id, 5, 10, QLatin1Char('0')));
    const QString pdfinfo = run(QStringLiteral("pdfinfo"), {spooled});
    const auto m = QRegularExpression(QStringLiteral("Pages:\\s+2\\b.*Page size:\\s+([\\d.]+) x ([\\d.]+) pts"),
                                      QRegularExpression::DotMatchesEverythingOption)
                       .match(pdfinfo);
    QVERIFY2(m.hasMatch(), qPrintable(spooled + pdfinfo));
    QVERIFY(qAbs(m.captured(1).toDouble() - 241.5) < 1 && qAbs(m.captured(2).toDouble() - 153.6) < 1);
    cupsCancelJob2(CUPS_HTTP_DEFAULT, m_card.toUtf8().constData(), id, 1);
}

QTEST_MAIN(TestCardQueue)
#include "tst_cardqueue.moc"
