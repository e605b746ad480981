// The installed program imports: `cmake --install` of this build into a
// prefix made read-only, the reader found the way the installed program
// finds it (../libexec/tessary/ of its folder), and an .xlsx and a CSV file
// imported through that reader. The prefix is the same afterwards.

#include "exchangefixture.h"

#include "data/progresssink.h"
#include "data/prompts.h"
#include "exchange/sheetprocess.h"
#include "exchange/spreadsheetimport.h"

#include <QDirIterator>
#include <QTemporaryDir>

using namespace tessary;
using namespace tessary::testing;

namespace {

// Every file under `root` with its size, mode and time of change.
QStringList listing(const QString &root)
{
    QStringList out;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        out << QStringLiteral("%1 %2 %3 %4")
                   .arg(info.filePath())
                   .arg(info.size())
                   .arg(fileMode(info.filePath()), 0, 8)
                   .arg(info.lastModified().toMSecsSinceEpoch());
    }
    out.sort();
    return out;
}

int run(const QString &program, const QStringList &arguments)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(program, arguments);
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

} // namespace

class TestInstalledImport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void readerIsFoundBesideThenInLibexec();
    void importsThroughTheInstalledReader_data();
    void importsThroughTheInstalledReader();

private:
    QString bin() const { return m_dir.filePath(QStringLiteral("prefix/bin")); }

    QTemporaryDir m_dir;
    QStringList m_installed;
};

void TestInstalledImport::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString prefix = m_dir.filePath(QStringLiteral("prefix"));
    QCOMPARE(run(QStringLiteral(TESSARY_CMAKE),
                 {QStringLiteral("--install"), QStringLiteral(TESSARY_BUILD_DIR), QStringLiteral("--prefix"), prefix}),
             0);
    QCOMPARE(run(QStringLiteral("chmod"), {QStringLiteral("-R"), QStringLiteral("a-w"), prefix}), 0);
    m_installed = listing(prefix);
}

void TestInstalledImport::cleanupTestCase()
{
    run(QStringLiteral("chmod"), {QStringLiteral("-R"), QStringLiteral("u+w"), m_dir.path()});
}

void TestInstalledImport::readerIsFoundBesideThenInLibexec()
{
    // A program folder with the reader beside it, one with it only under
    // ../libexec/tessary/, one with both (beside wins), one with neither
    // (the path beside, whose absence the start reports).
    const QString root = m_dir.filePath(QStringLiteral("layouts"));
    const struct
    {
        const char *folder;
        QStringList readers;
        const char *found;
    } cases[] = {
        {"tree/bin", {QStringLiteral("tree/bin/tessary-sheet")}, "tree/bin/tessary-sheet"},
        {"usr/bin", {QStringLiteral("usr/libexec/tessary/tessary-sheet")}, "usr/libexec/tessary/tessary-sheet"},
        {"both/bin", {QStringLiteral("both/bin/tessary-sheet"), QStringLiteral("both/libexec/tessary/tessary-sheet")},
         "both/bin/tessary-sheet"},
        {"none/bin", {}, "none/bin/tessary-sheet"},
    };
    for (const auto &c : cases) {
        QVERIFY(QDir(root).mkpath(QLatin1String(c.folder)));
        for (const QString &reader : c.readers) {
            const QString path = root + QLatin1Char('/') + reader;
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            QVERIFY(QFile::copy(QStringLiteral(TESSARY_SHEET), path));
        }
        QCOMPARE(SheetProcess::readerOf(root + QLatin1Char('/') + QLatin1String(c.folder)),
                 root + QLatin1Char('/') + QLatin1String(c.found));
    }

    // The install put the reader under libexec, not among the commands.
    QCOMPARE(SheetProcess::readerOf(bin()), m_dir.filePath(QStringLiteral("prefix/libexec/tessary/tessary-sheet")));
    QVERIFY(QFileInfo(SheetProcess::readerOf(bin())).isExecutable());
    QVERIFY(!QFile::exists(bin() + QStringLiteral("/tessary-sheet")));
    QVERIFY(QFile::exists(bin() + QStringLiteral("/tessary")));
}

void TestInstalledImport::importsThroughTheInstalledReader_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("xlsx") << QStringLiteral("xlsx");
    QTest::newRow("csv") << QStringLiteral("csv");
}

void TestInstalledImport::importsThroughTheInstalledReader()
{
    QFETCH(QString, format);
    CardDb db;
    ScopedScriptedPrompts prompts;
    CountingProgress progress;
    db.ds->QGroup.open();
    const QString path = db.folder() + QStringLiteral("/staff.") + format;
    const QJsonArray header{QStringLiteral("GROUP"), QStringLiteral("NAME"), QStringLiteral("ID"),
                            QStringLiteral("JOINED"), QStringLiteral("EXPIRY"), QStringLiteral("PHOTO")};
    const QString joined = QStringLiteral("1/02/2020"), expiry = QStringLiteral("31/12/2030");
    const QString photo = QStringLiteral("photo.jpg");
    QVERIFY(writeJpeg(db.folder() + QLatin1Char('/') + photo, 12, 16));
    QVERIFY(writeRecords(path, QJsonArray{header,
                                          QJsonArray{QStringLiteral("Sales"), QStringLiteral("Ann"), 1, joined, expiry, photo},
                                          QJsonArray{QString(), QStringLiteral("王小明"), 2, joined, expiry, photo}}));

    // The reader the installed program starts, as it finds it.
    qputenv("TESSARY_SHEET_READER", QFile::encodeName(SheetProcess::readerOf(bin())));
    const SpreadsheetImport::Outcome outcome = SpreadsheetImport(*db.ds, progress).importFile(path);
    qunsetenv("TESSARY_SHEET_READER");
    QCOMPARE((*prompts).messages().join(QLatin1Char(';')), QString());
    QCOMPARE(outcome, SpreadsheetImport::Outcome::Completed);
    Query &q = db.ds->QAllStaff;
    q.close();
    q.open();
    QCOMPARE(CardDb::names(q), (QStringList{QStringLiteral("Ann"), QStringLiteral("王小明")}));
    QCOMPARE(progress.steps(), 2);
    QCOMPARE(listing(m_dir.filePath(QStringLiteral("prefix"))), m_installed);
}

QTEST_GUILESS_MAIN(TestInstalledImport)
#include "tst_installedimport.moc"
