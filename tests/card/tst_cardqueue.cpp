// ID-1 cards through a real print queue: a private CUPS scheduler
// (scripts/cups-queue.sh) with a card queue whose PPD offers CR80, printing
// through cups-pdf. One card-sized page per member, the elements where the
// design puts them, and the media and options in the job CUPS received; a
// queue without a card size refuses with a message and prints nothing.

#include "cardfixture.h"
#include "../report/cupsjob.h"
#include "../report/printqueue.h"

#include "card/cardprinting.h"
#include "printers/printersettings.h"

#include <QApplication>
#include <QDir>
#include <QImageReader>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace tessary;
using namespace cardtest;
using namespace printqueue;

namespace {

constexpr int kDpi = 600;
constexpr double kPerMm = kDpi / 25.4;

QImage renderPage(const QString &pdf, int page)
{
    QTemporaryDir dir;
    const QString n = QString::number(page);
    run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(kDpi), QStringLiteral("-f"), n,
                                     QStringLiteral("-l"), n, QStringLiteral("-png"), QStringLiteral("-singlefile"),
                                     pdf, dir.filePath(QStringLiteral("p"))});
    return QImage(dir.filePath(QStringLiteral("p.png")));
}

bool dark(const QImage &img, double xMm, double yMm)
{
    const int x = qRound(xMm * kPerMm), y = qRound(yMm * kPerMm);
    return x >= 0 && y >= 0 && x < img.width() && y < img.height() && qGray(img.pixel(x, y)) < 128;
}

// The first dark edge (mm) going from `from` towards `to` along a row or a
// column of the page.
double edge(const QImage &img, bool alongX, double fixedMm, double fromMm, double toMm)
{
    const double step = (toMm > fromMm ? 1 : -1) / kPerMm;
    for (double v = fromMm; step > 0 ? v <= toMm : v >= toMm; v += step)
        if (alongX ? dark(img, v, fixedMm) : dark(img, fixedMm, v))
            return v;
    return -100;
}

void printAll(testing::CardDb &db, ScriptedPrompts &prompts, std::deque<MessageResult> answers = {MessageResult::Ok})
{
    SystemCardOutput output;
    prompts.messageAnswers = std::move(answers);
    CardPrinting(*db.ds, output).PrintAll(0);
}

// Two members with black photos and staff numbers, laid out on ID-1 cards
// with a back whose first row and QR code show the staff number.
void twoSidedCards(testing::CardDb &db)
{
    for (int i = 1; i <= 2; ++i)
        addMember(db, {.name = QStringLiteral("M%1").arg(i), .staffno = QStringLiteral("S-%1").arg(i),
                       .photo = jpegOf(60, 80, Qt::black)});
    setParam(db, {{"printback", 0}});
    TFmLayout f(*db.ds);
    f.settings.idCard = true;
    f.settings.printBack = true;
    for (const CatalogueEntry &e : f.settings.catalogue)
        if (e.fname == QLatin1String("staffno"))
            f.settings.back.rowField[0] = e.seq;
    f.settings.back.barcode.enabled = true;
    saveLayoutSettings(f.param, f.fields, f.settings);
}

// The newest document the scheduler received, and its job's number.
QString lastReceived(const QString &queueDir, int *job)
{
    QStringList received = QDir(queueDir + QStringLiteral("/spool")).entryList({QStringLiteral("d*-001")}, QDir::Files);
    received.sort();
    if (received.isEmpty())
        return QString();
    *job = received.last().mid(1, 5).toInt();
    return queueDir + QStringLiteral("/spool/") + received.last();
}

// The codes zbarimg reads on page `page` of `pdf`.
QString decoded(const QString &pdf, int page)
{
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("p.png"));
    renderPage(pdf, page).save(png);
    return run(QStringLiteral("zbarimg"), {QStringLiteral("--nodbus"), QStringLiteral("-q"), QStringLiteral("--raw"), png})
        .trimmed();
}

} // namespace

class TestCardQueue : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The printers' settings of this computer, kept apart.
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
        const PrintQueue::Start started = m_queue.start();
        if (started == PrintQueue::Start::Unavailable)
            QSKIP("cupsd, lpadmin or cups-pdf is not installed (or not root): no print queue to test with");
        QVERIFY2(started == PrintQueue::Start::Started, qPrintable(m_queue.log));
    }

    void cleanupTestCase()
    {
        if (qEnvironmentVariableIsSet("TESSARY_KEEP_QUEUE"))
            return;
        m_queue.stop();
    }

    void idCardsOnTheCardPrinter()
    {
        run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), m_queue.cardQueue});
        testing::CardDb db;
        for (const char *name : {"Ann", "Bo", "Cy"})
            addMember(db, {.name = QString::fromLatin1(name), .photo = jpegOf(60, 80, Qt::black)});
        setParam(db, {{"printback", 0}});
        ScopedScriptedPrompts p;
        {
            TFmLayout f(*db.ds);
            f.settings.idCard = true;
            saveLayoutSettings(f.param, f.fields, f.settings);
        }
        printAll(db, *p);
        QCOMPARE(p->messages(), QStringList{QStringLiteral("Are you sure to print all cards now?")});
        QVERIFY(m_queue.wait());

        // What CUPS received: one job on the card queue with the card media
        // and no scaling (the page log's line "queue job title media scaling").
        QFile log(m_queue.pageLog());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        const QStringList f = lines.first().split(QLatin1Char(' '));
        QCOMPARE(f.first(), m_queue.cardQueue);
        QCOMPARE(f.mid(f.size() - 2), (QStringList{QStringLiteral("CR80"), QStringLiteral("none")}));

        // The document CUPS received: three pages of the driver's exact
        // card size, every element within 0.1 mm. The cups-pdf chain behind
        // it re-renders pages (a few tenths of a millimetre off, see the
        // platform notes): its file is checked for size, count and rough place.
        const QStringList received = QDir(m_queue.dir + QStringLiteral("/spool"))
                                         .entryList({QStringLiteral("d*-001")}, QDir::Files);
        QCOMPARE(received.size(), 1);
        checkCards(m_queue.dir + QStringLiteral("/spool/") + received.first(), 0.1);
        const QStringList pdfs = QDir(m_queue.cardOut).entryList({QStringLiteral("*.pdf")}, QDir::Files);
        QCOMPARE(pdfs.size(), 1);
        checkCards(QDir(m_queue.cardOut).filePath(pdfs.first()), 0.4);
    }

    void aQueueWithoutACardSizeRefuses()
    {
        run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), m_queue.queue});
        testing::CardDb db;
        addMember(db, {.name = QStringLiteral("Ann")});
        ScopedScriptedPrompts p;
        {
            TFmLayout f(*db.ds);
            f.settings.idCard = true;
            saveLayoutSettings(f.param, f.fields, f.settings);
        }
        printAll(db, *p);
        QCOMPARE(p->messages().size(), 2);
        QCOMPARE(p->messages().last(), QStringLiteral("The printer %1 has no ID-1 card size.").arg(m_queue.queue));
        QCOMPARE(p->asked.back().title, QStringLiteral("Error"));
        QVERIFY(m_queue.wait());
        QVERIFY(QDir(m_queue.out).entryList({QStringLiteral("*.pdf")}, QDir::Files).isEmpty());
    }

    // Both sides on the card printer: front and back of each member in
    // turn, the job asking for both sides, each side through the printer's
    // calibration of it: the front moved 1 mm right and 0.5 mm up, the back
    // turned by 180 degrees.
    void bothSidesOnTheCardPrinter()
    {
        run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), m_queue.cardQueue});
        PrinterSettings{m_queue.cardQueue, {10, -5, 1000, 1000}, {0, 0, 1000, 1000, true}, std::nullopt}.save();
        testing::CardDb db;
        ScopedScriptedPrompts p;
        twoSidedCards(db);
        printAll(db, *p);
        PrinterSettings{m_queue.cardQueue, {}, {}, std::nullopt}.save();
        QCOMPARE(p->messages(), QStringList{QStringLiteral("Are you sure to print all cards now?")});
        QVERIFY(m_queue.wait());

        int job = 0;
        const QString received = lastReceived(m_queue.dir, &job);
        const QMap<QByteArray, QByteArray> attributes = jobAttributes(job);
        QCOMPARE(attributes.value("Duplex"), QByteArray("DuplexNoTumble"));
        QVERIFY(attributes.value("sides") != "one-sided");
        checkPages(received, 4);
        checkPhoto(renderPage(received, 1), QPointF(1.0, -0.5), 0.1);
        // The back's first row line (18.81 to 58.36 at 20.06) turned about
        // the card's centre.
        checkLine(renderPage(received, 2), 85.6 - 58.36, 85.6 - 18.81, 53.98 - 20.06, 0.1);
        QCOMPARE(decoded(received, 2), QStringLiteral("S-1"));
        QCOMPARE(decoded(received, 3), QString()); // a front
        QCOMPARE(decoded(received, 4), QStringLiteral("S-2"));
    }

    // A printer that prints one side only asks first: Yes prints the fronts,
    // No prints nothing.
    void aOneSidedPrinterAsks_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("fronts only") << true;
        QTest::newRow("nothing") << false;
    }

    void aOneSidedPrinterAsks()
    {
        QFETCH(bool, yes);
        run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), m_queue.cardQueue});
        PrinterSettings{m_queue.cardQueue, {}, {}, TwoSidedOption{}}.save();
        testing::CardDb db;
        ScopedScriptedPrompts p;
        twoSidedCards(db);
        int before = 0;
        lastReceived(m_queue.dir, &before);
        printAll(db, *p, {MessageResult::Ok, yes ? MessageResult::Ok : MessageResult::Cancel});
        PrinterSettings{m_queue.cardQueue, {}, {}, std::nullopt}.save();
        QCOMPARE(p->messages().value(1),
                 QStringLiteral("The printer %1 prints one side only. Print the fronts only?").arg(m_queue.cardQueue));
        QVERIFY(p->asked.at(1).yesNo);
        QVERIFY(m_queue.wait());
        int job = 0;
        const QString received = lastReceived(m_queue.dir, &job);
        QCOMPARE(job != before, yes);
        if (yes) {
            checkPages(received, 2);
            QVERIFY(!jobAttributes(job).contains("Duplex"));
        }
    }

    // On sheets each back lies behind its own front once the sheet is turned
    // over on its long edge, fine offsets included: upright A4 sheets mirror
    // left to right, style 3's landscape A6 top to bottom.
    void backsLieBehindTheirFrontsOnSheets_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("psize");
        QTest::addColumn<double>("span"); // the sheet across the flip's axis, mm
        QTest::addColumn<bool>("turned"); // the printer turns the back
        QTest::newRow("style 1 on A4") << 0 << 1 << 210.0 << false;
        QTest::newRow("style 3 on A6") << 2 << 0 << 105.0 << false;
        // The whole back page is turned, so each back goes to the cell
        // across the sheet's centre and the printer turns it back behind its
        // front.
        QTest::newRow("style 1 on A4, back turned") << 0 << 1 << 210.0 << true;
    }

    void backsLieBehindTheirFrontsOnSheets()
    {
        QFETCH(int, style);
        QFETCH(int, psize);
        QFETCH(double, span);
        QFETCH(bool, turned);
        PrinterSettings{m_queue.queue, {}, {0, 0, 1000, 1000, turned}, std::nullopt}.save();
        run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), m_queue.queue});
        testing::CardDb db;
        addMembers(db, 2);
        setParam(db, {{"style", style}, {"psize", psize}, {"osx", 10}, {"osy", -5}, {"printback", 1}});
        ScopedScriptedPrompts p;
        {
            TFmLayout f(*db.ds);
            QImage black(88, 56, QImage::Format_RGB32);
            black.fill(Qt::black);
            f.settings.setBackground(black);
            f.settings.printBack = true;
            f.settings.back.background = black;
            f.settings.back.backgroundEdited = true;
            saveLayoutSettings(f.param, f.fields, f.settings);
        }
        printAll(db, *p);
        QVERIFY(m_queue.wait());
        int job = 0;
        const QString received = lastReceived(m_queue.dir, &job);
        const QString info = run(QStringLiteral("pdfinfo"), {received});
        QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+2\\n"))), qPrintable(info));
        QImageReader::setAllocationLimit(0); // an A4 page at 600 dpi
        const QImage fronts = renderPage(received, 1), backs = renderPage(received, 2);
        const double w = fronts.width() / kPerMm, h = fronts.height() / kPerMm;
        const bool upright = h > w;
        // The first card's edges across the flip's axis, on both pages.
        const auto across = [&](const QImage &page, double at) {
            const double end = upright ? w : h;
            return std::pair{edge(page, upright, at, 0, end), edge(page, upright, at, end, 0)};
        };
        const auto [frontNear, frontFar] = across(fronts, upright ? 30 : 40);
        const auto [backNear, backFar] = across(backs, turned ? 297 - 30 : upright ? 30 : 40);
        PrinterSettings{m_queue.queue, {}, {}, std::nullopt}.save();
        const double nearAt = turned ? frontNear : span - frontFar, farAt = turned ? frontFar : span - frontNear;
        QVERIFY2(qAbs(backNear - nearAt) <= 0.1 && qAbs(backFar - farAt) <= 0.1,
                 qPrintable(QStringLiteral("front %1..%2, back %3..%4 of %5 mm")
                                .arg(frontNear).arg(frontFar).arg(backNear).arg(backFar).arg(span)));
    }

private:
    // Three CR80 pages (153.6 x 241.5 pt, upright); on the second, member
    // 2's landscape card turned a quarter turn anticlockwise and centred.
    // Its photo's edges and its first row line within `tolerance` mm.
    void checkCards(const QString &pdf, double tolerance)
    {
        checkPages(pdf, 3);
        const QImage page = renderPage(pdf, 2);
        checkPhoto(page, QPointF(), tolerance);
        checkLine(page, 44.10, 83.64, 20.06, tolerance);
    }

    static void checkPages(const QString &pdf, int count)
    {
        const QString info = run(QStringLiteral("pdfinfo"), {pdf});
        QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+%1\\n").arg(count))), qPrintable(info));
        QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Page size:\\s+153.6\\d* x 241.5\\d* pts"))),
                 qPrintable(info));
    }

    // A point of the landscape card (mm) on the upright CR80 page: (x, y)
    // lands at (y + dy, H - x - dx).
    static QPointF onSheet(double x, double y)
    {
        const double sheetW = 153.6 * 25.4 / 72, sheetH = 241.5 * 25.4 / 72;
        return QPointF(y + (sheetW - 53.98) / 2, sheetH - x - (sheetH - 85.6) / 2);
    }

    static void near(double found, double expected, double tolerance, const char *what)
    {
        QVERIFY2(qAbs(found - expected) <= tolerance,
                 qPrintable(QStringLiteral("%1 at %2 mm, expected %3").arg(QLatin1String(what)).arg(found).arg(expected)));
    }

    // The black photo (3.53, 21.17, 21.02 x 27.93) moved by `shift` (mm on the card).
    static void checkPhoto(const QImage &page, QPointF shift, double tolerance)
    {
        const QPointF a = onSheet(3.53 + shift.x(), 21.17 + shift.y());
        const QPointF b = onSheet(3.53 + 21.02 + shift.x(), 21.17 + 27.93 + shift.y());
        const QPointF mid((a.x() + b.x()) / 2, (a.y() + b.y()) / 2);
        near(edge(page, true, mid.y(), a.x() - 2, mid.x()), a.x(), tolerance, "photo top");
        near(edge(page, false, mid.x(), a.y() + 2, mid.y()), a.y(), tolerance, "photo left");
        near(edge(page, false, mid.x(), b.y() - 2, mid.y()), b.y(), tolerance, "photo right");
    }

    // A row line of the card, 0.2 mm wide, at `y` from `x1` to `x2` (mm).
    static void checkLine(const QImage &page, double x1, double x2, double y, double tolerance)
    {
        const QPointF from = onSheet(x2, y), to = onSheet(x1, y);
        near(edge(page, true, (from.y() + to.y()) / 2, from.x() - 1, from.x() + 1) + 0.1, from.x(), tolerance,
             "row line");
        near(edge(page, false, from.x(), from.y() - 1, to.y()), from.y(), tolerance, "row line's right end");
        near(edge(page, false, from.x(), to.y() + 1, from.y()), to.y(), tolerance, "row line's left end");
    }

    PrintQueue m_queue;
    QTemporaryDir m_settings;
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestCardQueue test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_cardqueue.moc"
