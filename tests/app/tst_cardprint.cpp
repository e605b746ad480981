// The main window's "Print" and "Print All" end to end through a real print
// queue: a private CUPS scheduler with a cups-pdf queue as the default
// printer (scripts/cups-queue.sh). The PDF files that come out are read
// back: page count, paper size, and where the first card's first row line
// and name lie.

#include "appfixture.h"
#include "../report/printqueue.h"

#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace apptest;
using namespace tessary;
using namespace printqueue;

namespace {

constexpr double kPtToMm = 25.4 / 72;

// The centre (mm) of the first dark run going down column xMm from yMm.
double lineCentre(const QImage &page, double dpi, double xMm, double fromMm, double toMm)
{
    const double perMm = dpi / 25.4;
    const int x = qRound(xMm * perMm);
    int first = -1, last = -1;
    for (int y = qRound(fromMm * perMm); y <= qRound(toMm * perMm) && y < page.height(); ++y) {
        if (qGray(page.pixel(x, y)) < 160) {
            if (first < 0)
                first = y;
            last = y;
        } else if (first >= 0) {
            break;
        }
    }
    return first < 0 ? -1 : (first + last + 1) / 2.0 / perMm;
}

struct Printed
{
    int pages = 0;
    QSizeF pagePt;
    QImage firstPage; // at the given dpi
    QList<QPair<QString, QPointF>> words; // text and (left, foot) in mm, first page
};

} // namespace

class TestCardPrint : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        useTemporarySettings();
        const PrintQueue::Start started = m_queue.start();
        if (started == PrintQueue::Start::Unavailable)
            QSKIP("cupsd, lpadmin or cups-pdf is not installed (or not root): no print queue to test with");
        QVERIFY2(started == PrintQueue::Start::Started, qPrintable(m_queue.log));
    }

    void cleanupTestCase()
    {
        m_queue.stop();
    }

    void init() { clearSettings(); }

    void printTheCurrentMembersCard()
    {
        ProgramFolder folder;
        folder.addMember(QStringLiteral("Zoe"), 0);
        folder.addMember(QStringLiteral("Amy"), 0);
        ScopedScriptedPrompts prompts;
        {
            Tdsrc data;
            TVaraDavuz window(data, folder.path());
            QVERIFY(window.bPrint->isEnabled() && window.actPrint->isEnabled());
            QCOMPARE(window.data().QStaff.fieldByName(QStringLiteral("name")).asString(), QStringLiteral("Amy"));
            QTest::mouseClick(window.bPrint, Qt::LeftButton);
            QVERIFY2(prompts->asked.empty(), qPrintable(prompts->messages().join(QLatin1Char('|'))));
            QVERIFY(!data.QList.isOpen());
        }
        // The stored layout: style 1 on A6, row 2 shows the name.
        const Printed out = collect(600);
        QCOMPARE(out.pages, 1);
        QVERIFY2(qAbs(out.pagePt.width() - 297.6) < 1.5 && qAbs(out.pagePt.height() - 419.5) < 1.5,
                 qPrintable(QStringLiteral("%1 x %2").arg(out.pagePt.width()).arg(out.pagePt.height())));
        const double y = lineCentre(out.firstPage, 600, 8.5 + 60, 13.5 + 19, 13.5 + 21);
        QVERIFY2(qAbs(y - (13.5 + 20.06)) <= 0.2, qPrintable(QString::number(y)));
        checkName(out, QStringLiteral("Amy"), 8.5 + 45.17, 13.5 + 20.60);
    }

    void printAllCardsOfTheGroup()
    {
        ProgramFolder folder;
        for (int i = 1; i <= 12; ++i)
            folder.addMember(QStringLiteral("M%1").arg(i, 2, 10, QLatin1Char('0')), 0);
        folder.addMember(QStringLiteral("Other group"), 9);
        folder.db().exec(QStringLiteral("update param set psize = 1"));
        ScopedScriptedPrompts prompts;
        {
            Tdsrc data;
            TVaraDavuz window(data, folder.path());
            QVERIFY(window.bPrintAll->isEnabled());
            prompts->messageAnswers = {MessageResult::Ok};
            QTest::mouseClick(window.bPrintAll, Qt::LeftButton);
            QCOMPARE(prompts->messages(), QStringList{QStringLiteral("Are you sure to print all cards now?")});
            QVERIFY(prompts->asked[0].yesNo);
        }
        const Printed out = collect(300);
        QCOMPARE(out.pages, 2);
        QVERIFY(qAbs(out.pagePt.width() - 595) < 1.5 && qAbs(out.pagePt.height() - 842) < 1.5);
        const double y = lineCentre(out.firstPage, 300, 12 + 60, 8.5 + 19, 8.5 + 21);
        QVERIFY2(qAbs(y - (8.5 + 20.06)) <= 0.2, qPrintable(QString::number(y)));
        checkName(out, QStringLiteral("M01"), 12 + 45.17, 8.5 + 20.60);
        checkName(out, QStringLiteral("M06"), 12 + 98 + 45.17, 8.5 + 20.60);
    }

private:
    // Waits for the queue, reads its one PDF file and removes it.
    Printed collect(int dpi)
    {
        Printed p;
        if (!m_queue.wait()) {
            QTest::qFail("print jobs still pending", __FILE__, __LINE__);
            return p;
        }
        const QStringList pdfs = QDir(m_queue.out).entryList({QStringLiteral("*.pdf")}, QDir::Files);
        if (pdfs.size() != 1) {
            QTest::qFail(qPrintable(QStringLiteral("%1 PDF files").arg(pdfs.size())), __FILE__, __LINE__);
            return p;
        }
        const QString pdf = QDir(m_queue.out).filePath(pdfs.first());
        const QString info = run(QStringLiteral("pdfinfo"), {pdf});
        p.pages = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info).captured(1).toInt();
        const auto size = QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+) pts")).match(info);
        p.pagePt = QSizeF(size.captured(1).toDouble(), size.captured(2).toDouble());

        QTemporaryDir dir;
        run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"),
                                         QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("1"),
                                         QStringLiteral("-png"), QStringLiteral("-singlefile"), pdf,
                                         dir.filePath(QStringLiteral("p"))});
        p.firstPage.load(dir.filePath(QStringLiteral("p.png")));

        const QString boxes = run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), QStringLiteral("-f"),
                                                                QStringLiteral("1"), QStringLiteral("-l"),
                                                                QStringLiteral("1"), pdf, QStringLiteral("-")});
        static const QRegularExpression wordRe(QStringLiteral(
            "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]+)</word>"));
        for (auto it = wordRe.globalMatch(boxes); it.hasNext();) {
            const auto m = it.next();
            p.words.append({m.captured(5), QPointF(m.captured(1).toDouble() * kPtToMm, m.captured(4).toDouble() * kPtToMm)});
        }
        QFile::remove(pdf);
        return p;
    }

    // A name printed as data text: its left edge where the layout puts the
    // text, its foot between the baseline (Arial 10 pt: 0.905 em below the
    // top) and a descent below it.
    void checkName(const Printed &p, const QString &name, double left, double top)
    {
        for (const auto &w : p.words)
            if (w.first == name) {
                QVERIFY2(qAbs(w.second.x() - left) <= 0.3, qPrintable(QStringLiteral("%1 left %2").arg(name).arg(w.second.x())));
                const double baseline = top + 0.905 * 10 * kPtToMm;
                QVERIFY2(w.second.y() >= baseline - 0.2 && w.second.y() <= baseline + 0.95,
                         qPrintable(QStringLiteral("%1 foot %2, baseline %3").arg(name).arg(w.second.y()).arg(baseline)));
                return;
            }
        QFAIL(qPrintable(name + QStringLiteral(" not printed")));
    }

    PrintQueue m_queue;
};

QTEST_MAIN(TestCardPrint)
#include "tst_cardprint.moc"
