// Kills a child doing a backup, a restore or an import with SIGKILL at
// several moments and checks the card database each time: it passes its
// integrity check, holds the whole old or the whole new content, and the
// start-up clean-up leaves no temporary file beside it.

#include "exchangefixture.h"

#include "exchange/databasefiles.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <sqlite3.h>

using namespace tessary;
using namespace tessary::testing;

namespace {

const QString kOldMarker = QStringLiteral("Old marker");
const QString kNewMarker = QStringLiteral("New marker");
constexpr int kOldMembers = 30;
constexpr int kNewMembers = 12;
constexpr int kImportRows = 120;

// What a database file holds, read as the program opens it (a journal left
// by a killed writer is played back first).
struct DbState
{
    QString integrity;
    int members = -1;
    QStringList markers;
};

DbState inspect(const QString &path)
{
    DbState state;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        state.integrity = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        return state;
    }
    auto each = [&](const char *sql, const std::function<void(sqlite3_stmt *)> &row) {
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK)
            while (sqlite3_step(stmt) == SQLITE_ROW)
                row(stmt);
        sqlite3_finalize(stmt);
    };
    auto text = [](sqlite3_stmt *stmt) {
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
    };
    each("PRAGMA integrity_check", [&](sqlite3_stmt *s) { state.integrity += text(s); });
    each("select count(*) from stafftbl", [&](sqlite3_stmt *s) { state.members = sqlite3_column_int(s, 0); });
    each("select name from stafftbl where name like '% marker' order by name",
         [&](sqlite3_stmt *s) { state.markers << text(s); });
    sqlite3_close(db);
    return state;
}

// A card database with `count` members, the first named `marker`, each with
// a photo, so a copy of it takes a while.
void makeDatabase(const QString &path, const QString &marker, int count)
{
    createCardDatabase(path, CardDatabaseSeed{});
    Tdsrc data;
    data.src.setConnectionString(cardConnectionString(path));
    data.src.connect();
    Transaction transaction(data.src);
    Query &q = data.QAllStaff;
    q.open();
    QByteArray photo(150 * 1024, Qt::Uninitialized);
    QRandomGenerator generator(11);
    for (int i = 0; i < count; ++i) {
        for (char &c : photo)
            c = char(generator.generate());
        q.append();
        q.fieldByName(QStringLiteral("name")).setString(i == 0 ? marker : QStringLiteral("m%1").arg(i));
        q.fieldByName(QStringLiteral("photo")).setBytes(photo);
        q.post();
    }
    transaction.commit();
}

QStringList temporaries(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral(".cardinfo.mdb.*")}, QDir::Files | QDir::Hidden | QDir::System);
}

// When to kill: after the child printed `line`, then `delayMs` later.
struct KillPoint
{
    QString line;
    int delayMs = 0;
};

} // namespace

class TestCrashConsistency : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void killedImport();
    void killedRestore();
    void killedBackup();

private:
    // A fresh program folder holding a copy of the old database.
    QString programFolder();
    // Runs the child; kills it at `point` (never when `point` is empty).
    // Answers the time from "ready" to its end.
    qint64 runChild(const QString &operation, const QString &folder, const QString &file,
                    const std::optional<KillPoint> &point);
    // The start-up clean-up, then the live database's state.
    DbState afterCleanUp(const QString &folder);
    QList<KillPoint> spread(qint64 durationMs, int count);

    QTemporaryDir m_dir;
    QString m_old, m_new, m_workbook;
    int m_trial = 0;
};

void TestCrashConsistency::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_old = m_dir.filePath(QStringLiteral("old.mdb"));
    m_new = m_dir.filePath(QStringLiteral("new.mdb"));
    makeDatabase(m_old, kOldMarker, kOldMembers);
    makeDatabase(m_new, kNewMarker, kNewMembers);

    QVERIFY(writeJpeg(m_dir.filePath(QStringLiteral("photo.jpg")), 240, 320));
    QJsonArray rows{QJsonArray{QStringLiteral("NAME"), QStringLiteral("JOINED"), QStringLiteral("EXPIRY"),
                               QStringLiteral("PHOTO")}};
    for (int i = 0; i < kImportRows; ++i)
        rows.append(QJsonArray{QStringLiteral("Imp %1").arg(i, 3, 10, QLatin1Char('0')), QStringLiteral("1/02/2020"),
                               QStringLiteral("1/02/2030"), QStringLiteral("photo.jpg")});
    m_workbook = m_dir.filePath(QStringLiteral("import.xls"));
    QVERIFY(writeRecords(m_workbook, rows));
}

QString TestCrashConsistency::programFolder()
{
    const QString folder = m_dir.filePath(QStringLiteral("trial-%1").arg(++m_trial));
    QDir().mkpath(folder);
    QFile::copy(m_old, folder + QStringLiteral("/cardinfo.mdb"));
    return folder;
}

qint64 TestCrashConsistency::runChild(const QString &operation, const QString &folder, const QString &file,
                                      const std::optional<KillPoint> &point)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QStringLiteral(TESSARY_CRASHCHILD), {operation, folder, file});
    if (!child.waitForStarted(10000))
        return -1;
    QElapsedTimer clock;
    const QString wanted = point ? point->line : QStringLiteral("done");
    bool reached = false;
    while (!reached && (child.canReadLine() || child.waitForReadyRead(30000))) {
        while (!reached && child.canReadLine()) {
            const QString line = QString::fromUtf8(child.readLine()).trimmed();
            if (line == QLatin1String("ready"))
                clock.start();
            reached = line == wanted || line == QLatin1String("failed");
        }
    }
    if (point) {
        QThread::usleep(point->delayMs * 1000UL);
        child.kill(); // SIGKILL
    }
    child.waitForFinished(30000);
    return clock.isValid() ? clock.elapsed() : -1;
}

DbState TestCrashConsistency::afterCleanUp(const QString &folder)
{
    RemoveStaleTemporaries(folder);
    [&] { QCOMPARE(temporaries(folder), QStringList()); }();
    return inspect(folder + QStringLiteral("/cardinfo.mdb"));
}

QList<KillPoint> TestCrashConsistency::spread(qint64 durationMs, int count)
{
    // Moments spread over the whole run, each shifted a little at random.
    QList<KillPoint> points;
    QRandomGenerator generator(5);
    for (int i = 0; i < count; ++i) {
        const qint64 at = durationMs * i / count + qint64(generator.bounded(int(qMax<qint64>(1, durationMs / count))));
        points.append({QStringLiteral("ready"), int(at)});
    }
    return points;
}

void TestCrashConsistency::killedImport()
{
    const QString last = QStringLiteral("row %1").arg(kImportRows);
    const QList<KillPoint> points = {{QStringLiteral("ready"), 0},  {QStringLiteral("row 1"), 0},
                                     {QStringLiteral("row 60"), 0}, {last, 0},
                                     {last, 3},                     {last, 15}};
    for (const KillPoint &point : points) {
        const QString folder = programFolder();
        runChild(QStringLiteral("import"), folder, m_workbook, point);
        const DbState state = afterCleanUp(folder);
        QCOMPARE(state.integrity, QStringLiteral("ok"));
        QVERIFY2(state.members == kOldMembers || state.members == kOldMembers + kImportRows,
                 qPrintable(QStringLiteral("%1 +%2 ms: %3 members").arg(point.line).arg(point.delayMs).arg(state.members)));
    }
    // Uninterrupted, the import stores every row.
    const QString folder = programFolder();
    runChild(QStringLiteral("import"), folder, m_workbook, std::nullopt);
    QCOMPARE(afterCleanUp(folder).members, kOldMembers + kImportRows);
}

void TestCrashConsistency::killedRestore()
{
    QString folder = programFolder();
    const qint64 duration = runChild(QStringLiteral("restore"), folder, m_new, std::nullopt);
    QVERIFY(duration >= 0);
    QCOMPARE(afterCleanUp(folder).markers, QStringList{kNewMarker});

    for (const KillPoint &point : spread(duration, 10)) {
        folder = programFolder();
        runChild(QStringLiteral("restore"), folder, m_new, point);
        const DbState state = afterCleanUp(folder);
        const QString when = QStringLiteral("%1 ms").arg(point.delayMs);
        QCOMPARE(state.integrity, QStringLiteral("ok"));
        const bool old = state.markers == QStringList{kOldMarker} && state.members == kOldMembers;
        const bool restored = state.markers == QStringList{kNewMarker} && state.members == kNewMembers;
        QVERIFY2(old || restored, qPrintable(when));
        // Once the new database is in place, the old one is kept whole.
        const QString kept = folder + QStringLiteral("/cardinfo.mdb.before-restore");
        if (restored) {
            const DbState before = inspect(kept);
            QCOMPARE(before.integrity, QStringLiteral("ok"));
            QCOMPARE(before.markers, QStringList{kOldMarker});
        }
    }
}

void TestCrashConsistency::killedBackup()
{
    const QByteArray old = fileBytes(m_old);
    QString folder = programFolder();
    QString target = folder + QStringLiteral("/backup.mdb");
    const qint64 duration = runChild(QStringLiteral("backup"), folder, target, std::nullopt);
    QVERIFY(duration >= 0);
    QCOMPARE(fileBytes(target), old);

    for (const KillPoint &point : spread(duration, 8)) {
        folder = programFolder();
        target = folder + QStringLiteral("/backup.mdb");
        runChild(QStringLiteral("backup"), folder, target, point);
        const DbState state = afterCleanUp(folder);
        QCOMPARE(state.integrity, QStringLiteral("ok"));
        QCOMPARE(state.markers, QStringList{kOldMarker});
        QCOMPARE(fileBytes(folder + QStringLiteral("/cardinfo.mdb")), old);
        // The backup is there whole or not at all.
        QVERIFY(!QFileInfo::exists(target) || fileBytes(target) == old);
    }
}

QTEST_GUILESS_MAIN(TestCrashConsistency)
#include "tst_crashconsistency.moc"
