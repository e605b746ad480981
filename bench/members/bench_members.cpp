// Bulk-write benchmark.
//  - Delete All of 20,000 members with 20 KB photos: the member rules alone,
//    then the real main window's "Delete All", each beside SQLite deleting
//    the same rows in one statement (target: under 2 s).
//  - Resize All of 5,000 oversized (640 x 800) photos.
// Usage: bench_members [members to delete] [photos to resize]
// Databases are made in a temporary folder and removed afterwards.
#include "app/mainwindow.h"
#include "data/datasrc.h"
#include "data/progresssink.h"
#include "data/prompts.h"
#include "data/schema.h"
#include "members/memberstore.h"
#include "photo/picture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>

using namespace tessary;

namespace {

void check(int rc, sqlite3 *db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

// `count` members of group 1 with the given photo (or random bytes of
// `randomBytes` length each when the photo is empty).
void build(const QString &path, int count, const QByteArray &photo, int randomBytes)
{
    createCardDatabase(path, {});
    sqlite3 *db = nullptr;
    check(sqlite3_open(path.toUtf8().constData(), &db), db);
    check(sqlite3_exec(db, "BEGIN; insert into grptbl (gid, gdesc) values (1, 'Bench');", nullptr, nullptr, nullptr), db);
    sqlite3_stmt *stmt = nullptr;
    check(sqlite3_prepare_v2(db, "insert into stafftbl (gid, cardno, name, photo) values (1, 0, ?1, ?2)", -1, &stmt, nullptr), db);
    QByteArray bytes = photo;
    if (bytes.isEmpty())
        bytes.resize(randomBytes);
    for (int i = 0; i < count; ++i) {
        if (photo.isEmpty())
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), randomBytes / 4);
        const QByteArray name = QStringLiteral("Member %1").arg(i, 6, 10, QLatin1Char('0')).toUtf8();
        sqlite3_bind_text(stmt, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_blob(stmt, 2, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
        check(sqlite3_step(stmt), db);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    sqlite3_close(db);
}

double sqliteOneStatement(const QString &path)
{
    sqlite3 *db = nullptr;
    check(sqlite3_open(path.toUtf8().constData(), &db), db);
    QElapsedTimer clock;
    clock.start();
    check(sqlite3_exec(db, "delete from stafftbl where gid = 1", nullptr, nullptr, nullptr), db);
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    sqlite3_close(db);
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    setPromptService(std::make_unique<ScriptedPrompts>());
    auto &scripted = static_cast<ScriptedPrompts &>(prompts());

    // Optional arguments: the number of members to delete and to resize.
    const int kDeleteMembers = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int kResizeMembers = argc > 2 ? std::atoi(argv[2]) : 5000;
    const QString base = dir.path() + QStringLiteral("/base.mdb");
    build(base, kDeleteMembers, {}, 20 * 1024);

    // The rules alone.
    {
        const QString copy = dir.path() + QStringLiteral("/rules.mdb");
        QFile::copy(base, copy);
        Tdsrc data;
        data.src.setConnectionString(cardConnectionString(copy));
        data.src.connect();
        data.QStaff.setSql(memberListSql(1, QStringLiteral("name")));
        data.QStaff.open();
        CountingProgress progress;
        progress.SetRange(data.QStaff.recordCount());
        QElapsedTimer clock;
        clock.start();
        const int deleted = MemberStore(data).deleteAll(progress);
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        const QString reference = dir.path() + QStringLiteral("/ref1.mdb");
        QFile::copy(base, reference);
        const double sqlMs = sqliteOneStatement(reference);
        std::printf("Delete All, rules only: %d members in %.0f ms; SQLite one statement %.0f ms; ratio %.2f\n",
                    deleted, ms, sqlMs, ms / sqlMs);
    }

    // Through the main window: grid, progress window and counts included.
    {
        QDir().mkpath(dir.path() + QStringLiteral("/program"));
        const QString program = dir.path() + QStringLiteral("/program/");
        QFile::copy(base, program + QStringLiteral("cardinfo.mdb"));
        Tdsrc data;
        TVaraDavuz window(data, program);
        window.show();
        scripted.messageAnswers = {MessageResult::Ok};
        QElapsedTimer clock;
        clock.start();
        window.bDelAll->click();
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        const QString reference = dir.path() + QStringLiteral("/ref2.mdb");
        QFile::copy(base, reference);
        const double sqlMs = sqliteOneStatement(reference);
        std::printf("Delete All, main window: %d left in %.0f ms; SQLite one statement %.0f ms; ratio %.2f (target < 2000 ms)\n",
                    data.QStaff.recordCount(), ms, sqlMs, ms / sqlMs);
    }

    // Resize All of oversized photos.
    {
        QImage photo(640, 800, QImage::Format_BGR888);
        for (int y = 0; y < photo.height(); ++y)
            for (int x = 0; x < photo.width(); ++x)
                photo.setPixelColor(x, y, QColor((x * 7) & 255, (y * 3) & 255, ((x + y) * 5) & 255));
        const QString path = dir.path() + QStringLiteral("/resize.mdb");
        build(path, kResizeMembers, SavePictureToBlob(photo), 0);
        Tdsrc data;
        data.src.setConnectionString(cardConnectionString(path));
        data.src.connect();
        data.QStaff.setSql(memberListSql(1, QStringLiteral("name")));
        data.QStaff.open();
        CountingProgress progress;
        QElapsedTimer clock;
        clock.start();
        const ResizeOutcome outcome = ResizeAllPhotos(data.QStaff, data.QAllStaff, progress);
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        std::printf("Resize All: %d photos of 640 x 800 in %.0f ms (%.2f ms each), %s\n", progress.position(), ms,
                    ms / kResizeMembers, outcome == ResizeOutcome::Completed ? "completed" : "FAILED");
    }
    return 0;
}
