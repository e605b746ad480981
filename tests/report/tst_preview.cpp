// The preview window: a 500-page report opens at once, paging and zoom,
// "Save as PDF…" (pages and sizes read back with pdfinfo), the print button
// replaceable by the caller.

#include "../data/carddb.h"
#include "testreports.h"

#include "data/connection.h"
#include "data/prompts.h"
#include "data/schema.h"
#include "report/preview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollArea>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QDir>
#include <QFile>
#include <QToolButton>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace tessary;
using namespace tessary::testing;

namespace {

// A6 pages, two rows a page, each row with a page-sized picture.
struct BigReport
{
    explicit BigReport(int rows) : source(numberedRows(rows))
    {
        report.page.paper = Paper::A6;
        report.page.title = QStringLiteral("Big");
        report.setRowSource(&source);
        ReportBand &band = report.addBand();
        band.height = 70;
        auto &name = band.add<ReportDataText>(QStringLiteral("name"));
        name.column = QStringLiteral("name");
        name.setBox(30, 5, 0, 0);
        auto &photo = band.add<ReportImage>(QStringLiteral("photo"));
        photo.setBox(2, 2, 21, 28);
        band.beforePrint = [this, &photo] {
            ++hookCalls;
            QImage picture(48, 64, QImage::Format_RGB32);
            picture.fill(QColor::fromHsv(source.rowIndex() % 360, 255, 255));
            photo.picture = picture;
        };
        report.addPageElement<ReportSystemText>(QStringLiteral("number")).setBox(90, 140, 10, 5);
    }
    ListRowSource source;
    Report report;
    int hookCalls = 0;
};

QString pdfinfo(const QString &file, const QStringList &extra = {})
{
    QProcess info;
    info.start(QStandardPaths::findExecutable(QStringLiteral("pdfinfo")), extra + QStringList{file});
    info.waitForFinished(30000);
    return QString::fromUtf8(info.readAllStandardOutput());
}

QByteArray contents(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

int modeOf(const QString &file)
{
    struct stat info;
    return ::stat(QFile::encodeName(file).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

// Sets the process's umask for the lifetime of this object.
struct ScopedUmask
{
    explicit ScopedUmask(mode_t mask) : old(::umask(mask)) {}
    ~ScopedUmask() { ::umask(old); }
    mode_t old;
};

// Makes every write past `bytes` into any file fail (EFBIG), as on a full
// disk, for the lifetime of this object.
struct ScopedFileSizeLimit
{
    explicit ScopedFileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &old);
        oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = old;
        limited.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~ScopedFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    }
    rlimit old{};
    void (*oldHandler)(int) = nullptr;
};

} // namespace

class TestPreview : public QObject
{
    Q_OBJECT

private slots:
    void opensAFiveHundredPageReportAtOnce();
    void pagingButtons();
    void zoomModes();
    void savesEveryPageAsPdf();
    void saveAsPdfAsksAndReplacesWhole();
    void printButtonCanBeReplaced();
    void modalAndWaitingPreviewsReturnWhenClosed();
};

void TestPreview::opensAFiveHundredPageReportAtOnce()
{
    BigReport big(1000);
    QElapsedTimer timer;
    timer.start();
    TReportPreview preview(big.report);
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    const qint64 ms = timer.elapsed();
    QCOMPARE(preview.pageCount(), 500);
    QVERIFY2(ms < 3000, qPrintable(QStringLiteral("%1 ms").arg(ms)));
    // Laying out ran the hook once per row; showing page 1 only for its two.
    QVERIFY2(big.hookCalls <= 1000 + 2 * 4, qPrintable(QString::number(big.hookCalls)));
    QCOMPARE(preview.windowTitle(), QStringLiteral("Print Preview"));
}

void TestPreview::pagingButtons()
{
    BigReport big(7); // 4 pages
    TReportPreview preview(big.report);
    preview.show();
    auto click = [&](const char *name) { QTest::mouseClick(preview.button(QString::fromLatin1(name)), Qt::LeftButton); };
    auto *label = preview.findChild<QLabel *>();
    QVERIFY(label);
    QCOMPARE(label->text(), QStringLiteral("Page 1 of 4"));
    QVERIFY(!preview.button(QStringLiteral("bPrior"))->isEnabled());
    click("bNext");
    click("bNext");
    QCOMPARE(preview.currentPage(), 2);
    QCOMPARE(label->text(), QStringLiteral("Page 3 of 4"));
    click("bLast");
    QCOMPARE(preview.currentPage(), 3);
    QVERIFY(!preview.button(QStringLiteral("bNext"))->isEnabled());
    click("bPrior");
    QCOMPARE(preview.currentPage(), 2);
    click("bFirst");
    QCOMPARE(preview.currentPage(), 0);
    preview.setCurrentPage(99);
    QCOMPARE(preview.currentPage(), 3);

    // The shown page is the current one: page 4 holds row 6 alone.
    const QImage shown = preview.shownPage();
    const double perMm = shown.width() / 105.0;
    QCOMPARE(shown.pixel(int(10 * perMm), int(10 * perMm)), QColor::fromHsv(6, 255, 255).rgb());
    QCOMPARE(shown.pixel(int(10 * perMm), int(80 * perMm)), qRgb(255, 255, 255));

    // Every tool button can be found by its name.
    for (QToolButton *b : preview.findChildren<QToolButton *>())
        QVERIFY2(!b->accessibleName().isEmpty(), qPrintable(b->objectName()));
}

void TestPreview::zoomModes()
{
    BigReport big(2);
    TReportPreview preview(big.report);
    preview.resize(900, 700);
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    auto *scroll = preview.findChild<QScrollArea *>();
    const QSize viewport = scroll->viewport()->size();
    // Opened in the whole-page zoom, the page already fills the window's
    // viewport as it is on screen, with no click needed.
    QTRY_VERIFY(preview.shownPage().height() >= viewport.height() - 30);
    QVERIFY(preview.shownPage().height() <= viewport.height());
    // ... and follows when the window is made smaller.
    preview.resize(600, 450);
    QTRY_VERIFY(preview.shownPage().height() <= scroll->viewport()->height());
    QVERIFY(preview.shownPage().height() >= scroll->viewport()->height() - 30);
    preview.resize(900, 700);
    QTRY_COMPARE(scroll->viewport()->size(), viewport);

    QTest::mouseClick(preview.button(QStringLiteral("bZoomPage")), Qt::LeftButton);
    QCOMPARE(preview.zoom(), TReportPreview::Zoom::WholePage);
    QImage page = preview.shownPage();
    QVERIFY(page.height() <= viewport.height() && page.width() <= viewport.width());
    QVERIFY(page.height() >= viewport.height() - 30); // an A6 page is limited by the height here

    QTest::mouseClick(preview.button(QStringLiteral("bZoomWidth")), Qt::LeftButton);
    page = preview.shownPage();
    QVERIFY(page.width() <= viewport.width() && page.width() >= viewport.width() - 60);

    QTest::mouseClick(preview.button(QStringLiteral("bZoom100")), Qt::LeftButton);
    page = preview.shownPage();
    QVERIFY(qAbs(page.width() - 105 * preview.logicalDpiX() / 25.4) <= 1.5);
}

void TestPreview::savesEveryPageAsPdf()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
        QSKIP("pdfinfo (poppler-utils) is not installed");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const auto orientation : {QPageLayout::Portrait, QPageLayout::Landscape}) {
        BigReport big(5);
        big.report.page.orientation = orientation;
        TReportPreview preview(big.report);
        ScopedScriptedPrompts prompts;
        const QString file = dir.filePath(QStringLiteral("out%1.pdf").arg(int(orientation)));
        prompts->fileAnswers.push_back(file);
        QTest::mouseClick(preview.button(QStringLiteral("bSavePdf")), Qt::LeftButton);
        QCOMPARE(prompts->asked.size(), size_t(1));
        QCOMPARE(prompts->asked[0].what, QStringLiteral("save"));
        const QString info = pdfinfo(file, {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                            QStringLiteral("99")});
        const int pages = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info).captured(1).toInt();
        QCOMPARE(pages, preview.pageCount());
        const QString size = orientation == QPageLayout::Portrait ? QStringLiteral("297 x 420 pts")
                                                                  : QStringLiteral("420 x 297 pts");
        QCOMPARE(int(info.count(QRegularExpression(QStringLiteral("Page\\s+\\d+ size:\\s+") + size))), pages);

        // Cancelled: nothing asked to write, nothing written, nothing said.
        prompts->fileAnswers.push_back(QString());
        QVERIFY(!preview.saveAsPdf());
        QVERIFY(prompts->messages().isEmpty());
    }
    // An unwritable name is told, not passed over.
    BigReport big(1);
    TReportPreview preview(big.report);
    ScopedScriptedPrompts prompts;
    prompts->fileAnswers.push_back(dir.filePath(QStringLiteral("no/such/folder/x.pdf")));
    QVERIFY(!preview.saveAsPdf());
    QCOMPARE(prompts->messages().size(), 1);
}

// "Save as PDF…" never writes in place: a new file is created owner-only
// whatever the umask; an existing one (here a card database) is replaced
// only after "Overwrite the file?" is answered OK, and a write that fails
// half-way leaves it as it was, with no temporary file behind.
void TestPreview::saveAsPdfAsksAndReplacesWhole()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    BigReport big(5);
    TReportPreview preview(big.report);
    const ScopedUmask openMask(0);
    const auto entries = [&] { return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot); };

    const QString fresh = dir.filePath(QStringLiteral("cards.pdf"));
    {
        ScopedScriptedPrompts prompts;
        prompts->fileAnswers = {fresh};
        QVERIFY(preview.saveAsPdf());
        QCOMPARE(prompts->asked.size(), size_t(1)); // the file dialog only
        QVERIFY(contents(fresh).startsWith("%PDF"));
        QCOMPARE(modeOf(fresh), 0600);
    }

    const QString database = dir.filePath(QStringLiteral("cardinfo.mdb"));
    const QByteArray old("SQLite format 3, the members");
    {
        QFile f(database);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(old) == old.size());
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    }
    {
        ScopedScriptedPrompts prompts;
        prompts->fileAnswers = {database};
        prompts->messageAnswers = {MessageResult::Cancel};
        QVERIFY(!preview.saveAsPdf());
        QCOMPARE(prompts->asked.size(), size_t(2));
        const ScriptedPrompts::Asked &question = prompts->asked[1];
        QCOMPARE(question.text, QStringLiteral("Overwrite the file?"));
        QCOMPARE(question.title, QStringLiteral("Confirm"));
        QCOMPARE(question.kind, MessageKind::Confirmation);
        QVERIFY(question.withCancel);
        QCOMPARE(contents(database), old);
    }
    {
        // Answered OK, but the disk fills up half-way.
        ScopedScriptedPrompts prompts;
        prompts->fileAnswers = {database};
        prompts->messageAnswers = {MessageResult::Ok};
        bool saved = true;
        {
            const ScopedFileSizeLimit full(4096);
            saved = preview.saveAsPdf();
        }
        QVERIFY(!saved);
        QCOMPARE(prompts->messages().size(), 2);
        QVERIFY(prompts->messages().last().startsWith(QStringLiteral("Unable to write the file")));
        QCOMPARE(contents(database), old);
        QCOMPARE(entries(), (QStringList{QStringLiteral("cardinfo.mdb"), QStringLiteral("cards.pdf")}));
    }
    {
        ScopedScriptedPrompts prompts;
        prompts->fileAnswers = {database};
        prompts->messageAnswers = {MessageResult::Ok};
        QVERIFY(preview.saveAsPdf());
        QVERIFY(contents(database).startsWith("%PDF"));
        QVERIFY(contents(database).size() > 4096);
        QCOMPARE(modeOf(database), 0600);
        QCOMPARE(entries(), (QStringList{QStringLiteral("cardinfo.mdb"), QStringLiteral("cards.pdf")}));
    }
    {
        // The card database the program has open is refused, by any name,
        // before anything is asked; the database is untouched.
        const QString live = dir.filePath(QStringLiteral("live.mdb"));
        createCardDatabase(live, CardDatabaseSeed{});
        Connection connection;
        connection.setConnectionString(QStringLiteral("Data Source=\"%1\"").arg(live));
        connection.connect();
        const QString link = dir.filePath(QStringLiteral("link.pdf"));
        QVERIFY(QFile::link(live, link));
        const QByteArray before = contents(live);
        for (const QString &name : {live, link, dir.path() + QStringLiteral("/./live.mdb")}) {
            ScopedScriptedPrompts prompts;
            prompts->fileAnswers = {name};
            QVERIFY(!preview.saveAsPdf());
            QCOMPARE(prompts->messages(), QStringList{QStringLiteral("The card database in use cannot be replaced.")});
        }
        QCOMPARE(contents(live), before);
        connection.disconnect();
        ScopedScriptedPrompts prompts;
        prompts->fileAnswers = {live};
        prompts->messageAnswers = {MessageResult::Ok};
        QVERIFY(preview.saveAsPdf()); // a closed database file is just a file
    }
}

void TestPreview::printButtonCanBeReplaced()
{
    BigReport big(2);
    TReportPreview preview(big.report);
    int printed = 0;
    preview.setPrintHandler([&] { ++printed; });
    QTest::mouseClick(preview.button(QStringLiteral("bPrint")), Qt::LeftButton);
    QCOMPARE(printed, 1);

    bool asked = false;
    preview.setPrinterSetupHandler([&](QPrinter &) {
        asked = true;
        return false;
    });
    QTest::mouseClick(preview.button(QStringLiteral("bSetup")), Qt::LeftButton);
    QVERIFY(asked);
    QVERIFY(!preview.chosenPrinter()); // refused: nothing chosen
}

void TestPreview::modalAndWaitingPreviewsReturnWhenClosed()
{
    BigReport big(2);
    auto closeSoon = [] {
        QTimer::singleShot(50, [] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *preview = qobject_cast<TReportPreview *>(w); preview && preview->isVisible())
                    QTest::mouseClick(preview->button(QStringLiteral("bClose")), Qt::LeftButton);
        });
    };
    closeSoon();
    TReportPreview::previewModal(big.report);
    closeSoon();
    TReportPreview::previewAndWait(big.report);
    QVERIFY(QApplication::topLevelWidgets().isEmpty() ||
            std::none_of(QApplication::topLevelWidgets().begin(), QApplication::topLevelWidgets().end(),
                         [](QWidget *w) { return qobject_cast<TReportPreview *>(w) != nullptr; }));
}

QTEST_MAIN(TestPreview)
#include "tst_preview.moc"
