// ID-1 cards through a real print queue: a private CUPS scheduler
// (scripts/cups-queue.sh) with a card queue whose PPD offers CR80, printing
// through cups-pdf. One card-sized page per member, the elements where the
// design puts them, and the media and options in the job CUPS received; a
// queue without a card size refuses with a message and prints nothing.

#include "cardfixture.h"
#include "../report/printqueue.h"

#include "card/cardprinting.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

using namespace tessary;
using namespace cardtest;
using namespace printqueue;

namespace {

constexpr int kDpi = 600;
constexpr double kPerMm = kDpi / 25.4;

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

void printAll(testing::CardDb &db, ScriptedPrompts &prompts)
{
    SystemCardOutput output;
    prompts.messageAnswers = {MessageResult::Ok};
    CardPrinting(*db.ds, output).PrintAll(0);
}

} // namespace

class TestCardQueue : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
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

private:
    // Three CR80 pages (153.6 x 241.5 pt, upright); on the second, member
    // 2's landscape card turned a quarter turn anticlockwise and centred:
    // (x, y) of the card lands at (y + dy, H - x - dx). Its photo's edges
    // and its first row line within `tolerance` mm.
    void checkCards(const QString &pdf, double tolerance)
    {
        const QString info = run(QStringLiteral("pdfinfo"), {pdf});
        QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+3\\n"))), qPrintable(info));
        QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Page size:\\s+153.6\\d* x 241.5\\d* pts"))),
                 qPrintable(info));
        QTemporaryDir dir;
        run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(kDpi), QStringLiteral("-f"),
                                         QStringLiteral("2"), QStringLiteral("-l"), QStringLiteral("2"),
                                         QStringLiteral("-png"), QStringLiteral("-singlefile"), pdf,
                                         dir.filePath(QStringLiteral("p"))});
        QImage page;
        QVERIFY(page.load(dir.filePath(QStringLiteral("p.png"))));
        const double sheetW = 153.6 * 25.4 / 72, sheetH = 241.5 * 25.4 / 72;
        const double dx = (sheetH - 85.6) / 2, dy = (sheetW - 53.98) / 2;
        const auto onSheet = [&](double x, double y) { return QPointF(y + dy, sheetH - x - dx); };
        const auto near = [tolerance](double found, double expected, const char *what) {
            QVERIFY2(qAbs(found - expected) <= tolerance,
                     qPrintable(QStringLiteral("%1 at %2 mm, expected %3").arg(QLatin1String(what)).arg(found).arg(expected)));
        };
        // The black photo (3.53, 21.17, 21.02 x 27.93).
        const QPointF a = onSheet(3.53, 21.17), b = onSheet(3.53 + 21.02, 21.17 + 27.93);
        const QPointF mid((a.x() + b.x()) / 2, (a.y() + b.y()) / 2);
        near(edge(page, true, mid.y(), a.x() - 2, mid.x()), a.x(), "photo top");
        near(edge(page, false, mid.x(), a.y() + 2, mid.y()), a.y(), "photo left");
        near(edge(page, false, mid.x(), b.y() - 2, mid.y()), b.y(), "photo right");
        // Row line 1, 0.2 mm wide, at y 20.06 from x 44.10 to 83.64.
        const QPointF from = onSheet(83.64, 20.06), to = onSheet(44.10, 20.06);
        near(edge(page, true, (from.y() + to.y()) / 2, from.x() - 1, from.x() + 1) + 0.1, from.x(), "row line");
        near(edge(page, false, from.x(), from.y() - 1, to.y()), from.y(), "row line's right end");
        near(edge(page, false, from.x(), to.y() + 1, from.y()), to.y(), "row line's left end");
    }

    PrintQueue m_queue;
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestCardQueue test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_cardqueue.moc"
