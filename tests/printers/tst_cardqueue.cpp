// Through a real print queue: a private CUPS scheduler (scripts/cups-queue.sh)
// with a second queue whose PPD is a card printer's (a CR80 page and the
// standard Duplex option). The queue is left stopped, so the calibration
// card's job waits in it and its options and spooled pages can be read.

#include "printers/calibrationcard.h"
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

const QByteArray kCardPpd = R"PPD(*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "TESTCARD.PPD"
*Manufacturer: "Test"
*Product: "(Test Card Printer)"
*ModelName: "Test Card Printer"
*ShortNickName: "Test Card Printer"
*NickName: "Test Card Printer"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: True
*DefaultColorSpace: RGB
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*OpenUI *PageSize/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: CR80
*PageSize CR80/CR80: "<</PageSize[153.6 241.5]/ImagingBBox null>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion: PickOne
*OrderDependency: 10 AnySetup *PageRegion
*DefaultPageRegion: CR80
*PageRegion CR80/CR80: "<</PageSize[153.6 241.5]/ImagingBBox null>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: CR80
*ImageableArea CR80/CR80: "0 0 153.6 241.5"
*DefaultPaperDimension: CR80
*PaperDimension CR80/CR80: "153.6 241.5"
*OpenUI *Duplex/2-Sided Printing: PickOne
*OrderDependency: 20 AnySetup *Duplex
*DefaultDuplex: None
*Duplex None/Off: "<</Duplex false>>setpagedevice"
*Duplex DuplexNoTumble/Long Edge: "<</Duplex true/Tumble false>>setpagedevice"
*Duplex DuplexTumble/Short Edge: "<</Duplex true/Tumble true>>setpagedevice"
*CloseUI: *Duplex
*DefaultFont: Courier
*Font Courier: Standard "(001.004)" Standard ROM
)PPD";

// The job's attributes as the scheduler holds them.
QMap<QByteArray, QByteArray> jobAttributes(int job)
{
    ipp_t *request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    const QByteArray uri = "ipp://localhost/jobs/" + QByteArray::number(job);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "all");
    ipp_t *response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    QMap<QByteArray, QByteArray> attributes;
    for (ipp_attribute_t *a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
        if (ippGetName(a) && ippGetGroupTag(a) == IPP_TAG_JOB) {
            char value[1024];
            ippAttributeString(a, value, sizeof value);
            attributes.insert(ippGetName(a), value);
        }
    }
    ippDelete(response);
    return attributes;
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
    QVERIFY(m_dir.isValid());
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
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(kCardPpd) == kCardPpd.size());
    file.close();
    m_card = QStringLiteral("TessaryCard_") + QFileInfo(m_queue.dir).fileName().replace(QLatin1Char('.'), QLatin1Char('_'));
    int code = 0;
    const QString out = run(QStringLiteral("/usr/sbin/lpadmin"),
                            {QStringLiteral("-p"), m_card, QStringLiteral("-v"), QStringLiteral("cups-pdf:/") + m_card,
                             QStringLiteral("-P"), ppd}, &code);
    QVERIFY2(code == 0, qPrintable(out));
    run(QStringLiteral("cupsaccept"), {m_card}, &code);
    QCOMPARE(code, 0);
    run(QStringLiteral("cupsdisable"), {m_card}, &code);
    QCOMPARE(code, 0);
}

void TestCardQueue::cleanupTestCase()
{
    m_queue.stop();
}

void TestCardQueue::calibrationCardJob()
{
    // The PPD as the server gives it.
    QCOMPARE(twoSidedOption(m_card), (TwoSidedOption{"Duplex", "DuplexNoTumble"}));
    const QPrinterInfo info = QPrinterInfo::printerInfo(m_card);
    QVERIFY(!info.isNull());
    const std::optional<QPageSize> card = cardStockSize(info.supportedPageSizes());
    QVERIFY(card);
    QCOMPARE(card->key(), QStringLiteral("CR80"));

    PrinterSettings{m_card, {10, 0, 1000, 1000}, {0, 0, 1000, 1000, true}, std::nullopt}.save();
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
    QVERIFY2(QFile::exists(spooled), qPrintable(spooled));
    const QString pdfinfo = run(QStringLiteral("pdfinfo"), {spooled});
    QVERIFY2(pdfinfo.contains(QRegularExpression(QStringLiteral("Pages:\\s+2\\b"))), qPrintable(pdfinfo));
    const auto size = QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+) pts")).match(pdfinfo);
    QVERIFY2(size.hasMatch(), qPrintable(pdfinfo));
    QVERIFY(qAbs(size.captured(1).toDouble() - 241.5) < 1);
    QVERIFY(qAbs(size.captured(2).toDouble() - 153.6) < 1);
    cupsCancelJob2(CUPS_HTTP_DEFAULT, m_card.toUtf8().constData(), id, 1);
}

QTEST_MAIN(TestCardQueue)
#include "tst_cardqueue.moc"
