// "Delete All" through the main window, beside SQLite's own delete.
//
// A program folder holds a card database with one group of 20,000 members
// (photos of about 20 KB). The real main window lists the group and its
// "Delete All" is clicked, the "Delete the record?" confirmation answered
// by script; its time runs from the click to the return of the command.
// Then SQLite deletes the same rows of a copy of the same database file in
// one statement ("delete from stafftbl where gid = …"). Both times and the
// ratio window / SQLite are printed; the target is a ratio of at most 1.0.
//
// It runs on whatever Qt platform QT_QPA_PLATFORM names (offscreen when it
// is not set). It is
// meant to be run on a real X server as well, where painting and exposing
// cost what they cost on screen:
//   Xvfb :9 & DISPLAY=:9 QT_QPA_PLATFORM=xcb bench_deleteall
//
// Usage: bench_deleteall [members]
#include "appfixture.h"

#include "data/prompts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QRandomGenerator>

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace tessary;

namespace {

[[noreturn]] void fail(const char *what, sqlite3 *db)
{
    std::fprintf(stderr, "%s: %s\n", what, db ? sqlite3_errmsg(db) : "no database");
    std::exit(1);
}

// A few different photos of about 20 KB: 240 x 320 passport-like pictures
// (a face-coloured oval on a light ground) with some noise.
std::vector<QByteArray> photos()
{
    std::vector<QByteArray> out;
    QRandomGenerator random(42);
    for (int n = 0; n < 8; ++n) {
        QImage picture(240, 320, QImage::Format_BGR888);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x) {
                const double dx = (x - 120) / 70.0;
                const double dy = (y - 140) / 95.0;
                const bool face = dx * dx + dy * dy < 1.0;
                const int noise = int(random.bounded(18)) - 9;
                const QColor base = face ? QColor(205, 160, 130) : QColor(200, 210, 225 - 3 * n);
                picture.setPixelColor(x, y, QColor(qBound(0, base.red() + noise, 255), qBound(0, base.green() + noise, 255),
                                                   qBound(0, base.blue() + noise, 255)));
            }
        out.push_back(SavePictureToBlob(picture));
    }
    return out;
}

// `count` members of group `gid`, in one transaction.
qint64 addMembers(const QString &path, int gid, int count)
{
    const std::vector<QByteArray> pictures = photos();
    sqlite3 *db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
        fail("open", db);
    sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
    sqlite3_stmt *insert = nullptr;
    if (sqlite3_prepare_v2(db,
                           "insert into stafftbl (gid, cardno, name, staffno, post, photo) values (?1, 0, ?2, ?3, 'Clerk', ?4)",
                           -1, &insert, nullptr) != SQLITE_OK)
        fail("prepare", db);
    qint64 bytes = 0;
    for (int i = 0; i < count; ++i) {
        const QByteArray name = QStringLiteral("Member %1").arg(i, 6, 10, QLatin1Char('0')).toUtf8();
        const QByteArray staffNo = QByteArray::number(100000 + i);
        const QByteArray &photo = pictures[size_t(i) % pictures.size()];
        bytes += photo.size();
        sqlite3_bind_int(insert, 1, gid);
        sqlite3_bind_text(insert, 2, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, staffNo.constData(), int(staffNo.size()), SQLITE_TRANSIENT);
        sqlite3_bind_blob(insert, 4, photo.constData(), int(photo.size()), SQLITE_STATIC);
        if (sqlite3_step(insert) != SQLITE_DONE)
            fail("insert", db);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    if (sqlite3_exec(db, "commit", nullptr, nullptr, nullptr) != SQLITE_OK)
        fail("commit", db);
    sqlite3_close(db);
    return count > 0 ? bytes / count : 0;
}

// SQLite's own delete of the group, one statement on a fresh connection,
// in milliseconds.
double sqliteDelete(const QString &path, int gid)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
        fail("open", db);
    const QByteArray sql = "delete from stafftbl where gid = " + QByteArray::number(gid);
    QElapsedTimer clock;
    clock.start();
    if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        fail("delete", db);
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    if (sqlite3_changes(db) <= 0)
        fail("delete removed nothing", db);
    sqlite3_close(db);
    return ms;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    apptest::useTemporarySettings();
    ScopedScriptedPrompts prompts;
    const int members = argc > 1 ? std::atoi(argv[1]) : 20000;

    apptest::ProgramFolder folder;
    const int gid = folder.addGroup(QStringLiteral("Bench"));
    const qint64 photoBytes = addMembers(folder.databasePath(), gid, members);
    const QString pristine = folder.path() + QStringLiteral("/pristine.mdb");
    const QString reference = folder.path() + QStringLiteral("/reference.mdb");
    if (!QFile::copy(folder.databasePath(), pristine))
        fail("copy", nullptr);

    // Each round starts both deletes from fresh copies of one file, with the
    // disk caught up (sync) so that no write-back of the set-up lands inside
    // a timed delete; the order alternates between rounds. The medians are
    // compared.
    constexpr int kRounds = 5;
    std::vector<double> windowTimes, sqliteTimes;
    int listed = 0;
    for (int round = 0; round < kRounds; ++round) {
        auto fresh = [&](const QString &target) {
            QFile::remove(target);
            if (!QFile::copy(pristine, target))
                fail("copy", nullptr);
        };
        fresh(folder.databasePath());
        fresh(reference);
        ::sync();
        auto timeWindow = [&] {
            Tdsrc data;
            TVaraDavuz window(data, folder.path());
            window.show();
            if (!QTest::qWaitForWindowExposed(&window))
                fail("window not exposed", nullptr);
            apptest::chooseGroup(window, QStringLiteral("Bench"));
            QCoreApplication::processEvents();
            listed = data.QStaff.recordCount();
            prompts->clear();
            prompts->messageAnswers = {MessageResult::Ok};
            ::sync();
            QElapsedTimer clock;
            clock.start();
            window.bDelAll->click();
            windowTimes.push_back(double(clock.nsecsElapsed()) / 1e6);
            const int left = folder.db().count(QStringLiteral("stafftbl"), QStringLiteral("gid = ?"), {gid});
            if (prompts->messages() != QStringList{QStringLiteral("Delete the record?")} || left != 0) {
                std::fprintf(stderr, "Delete All did not delete the group: %d of %d left\n", left, listed);
                std::exit(1);
            }
        };
        auto timeSqlite = [&] {
            ::sync();
            sqliteTimes.push_back(sqliteDelete(reference, gid));
        };
        if (round % 2 == 0) {
            timeWindow();
            timeSqlite();
        } else {
            timeSqlite();
            timeWindow();
        }
        std::printf("  round %d: main window %6.0f ms, SQLite %6.0f ms\n", round + 1, windowTimes.back(),
                    sqliteTimes.back());
    }
    const double windowMs = median(windowTimes);
    const double sqliteMs = median(sqliteTimes);
    std::printf("Delete All of %d members (photos %lld bytes on average), platform %s, median of %d rounds:\n",
                listed, static_cast<long long>(photoBytes), qPrintable(QGuiApplication::platformName()), kRounds);
    std::printf("  main window  %8.0f ms\n  SQLite       %8.0f ms (one statement, copy of the same file)\n"
                "  ratio window / SQLite %.2f (target at most 1.0)\n",
                windowMs, sqliteMs, windowMs / sqliteMs);
    return 0;
}
