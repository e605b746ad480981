// Card database benchmark: 100,000 members with 20 KB photos in 20 groups of
// 5,000. Measures the status-bar counts (run after every save and delete)
// and opening one group's member list, through the real main window.
//
// The database is built once in $TMPDIR/tessary-bench (about 2 GB) and
// reused by later runs.
#include "app/mainwindow.h"
#include "data/datasrc.h"
#include "data/prompts.h"
#include "data/schema.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kMembers = 100000;
constexpr int kGroups = 20;
constexpr int kPhotoBytes = 20 * 1024;

void check(int rc, sqlite3 *db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

void buildDatabase(const QString &path)
{
    std::printf("building %s (%d members, %d KB photos)...\n", qPrintable(path), kMembers, kPhotoBytes / 1024);
    tessary::createCardDatabase(path, {});
    sqlite3 *db = nullptr;
    check(sqlite3_open(path.toUtf8().constData(), &db), db);
    check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
    for (int g = 1; g <= kGroups; ++g) {
        const QByteArray sql = QStringLiteral("insert into grptbl (gid, gdesc) values (%1, 'Group %2')").arg(g).arg(g, 2, 10, QLatin1Char('0')).toUtf8();
        check(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), db);
    }
    sqlite3_stmt *stmt = nullptr;
    check(sqlite3_prepare_v2(db,
                             "insert into stafftbl (gid, cardno, name, cname, staffno, post, datejoin, expiry, remark, photo)"
                             " values (?1, 0, ?2, ?3, ?4, 'Clerk', '2024-03-01 00:00:00', '2026-03-01 00:00:00', '', ?5)",
                             -1, &stmt, nullptr),
          db);
    QByteArray photo(kPhotoBytes, '\0');
    auto *rng = QRandomGenerator::global();
    for (int i = 0; i < kMembers; ++i) {
        rng->fillRange(reinterpret_cast<quint32 *>(photo.data()), kPhotoBytes / 4);
        const QByteArray name = QStringLiteral("Member %1").arg(rng->bounded(1000000), 6, 10, QLatin1Char('0')).toUtf8();
        const QByteArray staffno = QByteArray::number(100000 + i);
        sqlite3_bind_int(stmt, 1, 1 + i % kGroups);
        sqlite3_bind_text(stmt, 2, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 3, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 4, staffno.constData(), int(staffno.size()), SQLITE_TRANSIENT);
        sqlite3_bind_blob(stmt, 5, photo.constData(), int(photo.size()), SQLITE_TRANSIENT);
        check(sqlite3_step(stmt), db);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    check(sqlite3_exec(db, "COMMIT; ANALYZE;", nullptr, nullptr, nullptr), db);
    sqlite3_close(db);
}

struct Stats
{
    double median, best, worst;
};

template <typename F>
Stats measure(int runs, F f)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front(), ms.back()};
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir settingsDir;
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    tessary::ScopedScriptedPrompts prompts;

    const QString folder = QDir::tempPath() + QStringLiteral("/tessary-bench");
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/cardinfo.mdb");
    if (!QFile::exists(path))
        buildDatabase(path);

    tessary::Tdsrc data;
    QElapsedTimer startTimer;
    startTimer.start();
    TVaraDavuz window(data, folder);
    const double startMs = startTimer.nsecsElapsed() / 1e6;
    if (!prompts->messages().isEmpty()) {
        std::fprintf(stderr, "start-up failed: %s\n", qPrintable(prompts->messages().join(QLatin1Char('\n'))));
        return 1;
    }

    const Stats counts = measure(50, [&] { window.UpdateCounts(); });
    int group = 0;
    const Stats openGroup = measure(40, [&] {
        group = group % kGroups + 1;
        data.QStaff.setSql(tessary::memberListSql(group, QStringLiteral("name")));
        data.QStaff.open();
    });
    const int listed = data.QStaff.recordCount();
    const Stats showGroup = measure(40, [&] {
        group = group % kGroups + 1;
        window.ShowGroupById(group);
        window.ShowCurrentMember();
    });
    const Stats findByName = measure(20, [&] {
        data.QAllStaff.open();
        data.QAllStaff.locate(QStringLiteral("name"), QStringLiteral("Member 500000"));
        data.QAllStaff.close();
    });
    const Stats walkGroup = measure(5, [&] {
        data.QStaff.first();
        while (!data.QStaff.eof()) {
            data.QStaff.fieldByName(QStringLiteral("name")).text();
            data.QStaff.next();
        }
    });

    std::printf("start-up (connect, lists, first member): %.1f ms\n", startMs);
    std::printf("%s / %s / %s\n", qPrintable(window.statusText(0)), qPrintable(window.statusText(1)),
                qPrintable(window.statusText(2)));
    std::printf("UpdateCounts:                       median %.2f ms (best %.2f, worst %.2f)\n", counts.median,
                counts.best, counts.worst);
    std::printf("open a %d-member group (QStaff):  median %.2f ms (best %.2f, worst %.2f)\n", listed, openGroup.median,
                openGroup.best, openGroup.worst);
    std::printf("ShowGroupById + ShowCurrentMember:  median %.2f ms (best %.2f, worst %.2f)\n", showGroup.median,
                showGroup.best, showGroup.worst);
    std::printf("find a member by name among all:   median %.2f ms\n", findByName.median);
    std::printf("walk all rows of a group (names):   median %.2f ms\n", walkGroup.median);
    return 0;
}
