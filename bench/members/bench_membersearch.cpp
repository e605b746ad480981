// Find Member benchmark: 100,000 members with 4 KB photos in 50 groups; the
// operator types "Member 0423" (and a Chinese name) one character at a
// time and each keystroke runs one search. Prints milliseconds per
// keystroke for the three methods: the folded texts in memory (the one the
// program uses), the trigram full-text table (with a scan for texts under 3
// characters) and a LIKE scan over an index holding the searched columns
// (target: under 20 ms). Also the expiry windows and the
// one-off cost of creating the search structures.
// Usage: bench_membersearch [members]
#include "data/connection.h"
#include "data/schema.h"
#include "members/membersearch.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace tessary;

namespace {

void check(int rc, sqlite3 *db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

void build(const QString &path, int count)
{
    createCardDatabase(path, {});
    sqlite3 *db = nullptr;
    check(sqlite3_open(path.toUtf8().constData(), &db), db);
    check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
    for (int g = 1; g <= 50; ++g) {
        const QByteArray sql = QStringLiteral("insert into grptbl (gid, gdesc) values (%1, 'Group %1')").arg(g).toUtf8();
        check(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), db);
    }
    sqlite3_stmt *stmt = nullptr;
    check(sqlite3_prepare_v2(db,
                             "insert into stafftbl (gid, cardno, name, cname, staffno, expiry, photo)"
                             " values (?1, ?2, ?3, ?4, ?5, ?6, ?7)",
                             -1, &stmt, nullptr),
          db);
    const QByteArray photo(4096, 'p');
    const QString surnames = QStringLiteral("王李張劉陳楊黃趙吳周");
    const QDate first(2024, 1, 1);
    for (int i = 0; i < count; ++i) {
        const QByteArray name = QStringLiteral("Member %1").arg(i, 5, 10, QLatin1Char('0')).toUtf8();
        const QByteArray cname =
            (surnames.mid(i % 10, 1) + surnames.mid((i / 10) % 10, 1) + surnames.mid((i / 100) % 10, 1)).toUtf8();
        const QByteArray staffno = QStringLiteral("S%1").arg(i * 7 % 1000003, 7, 10, QLatin1Char('0')).toUtf8();
        const QByteArray expiry = first.addDays(i % 1500).toString(QStringLiteral("yyyy-MM-dd 00:00:00")).toUtf8();
        sqlite3_bind_int(stmt, 1, 1 + i % 50);
        sqlite3_bind_int(stmt, 2, 10000000 + i * 13);
        sqlite3_bind_text(stmt, 3, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 4, cname.constData(), int(cname.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 5, staffno.constData(), int(staffno.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 6, expiry.constData(), int(expiry.size()), SQLITE_TRANSIENT);
        sqlite3_bind_blob(stmt, 7, photo.constData(), int(photo.size()), SQLITE_STATIC);
        check(sqlite3_step(stmt), db);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    sqlite3_close(db);
}

struct Typing
{
    double mean = 0;
    double worst = 0;
};

// Types `word` one character at a time, three times over; each prefix is one
// keystroke's search.
Typing type(MemberSearch &search, const QString &word, MemberSearch::Method method)
{
    std::vector<double> times;
    for (int round = 0; round < 3; ++round)
        for (int n = 1; n <= word.size(); ++n) {
            QElapsedTimer clock;
            clock.start();
            const FoundMembers found = search.find(word.left(n), method);
            times.push_back(double(clock.nsecsElapsed()) / 1e6);
            if (found.total < int(found.rows.size()))
                std::exit(2);
        }
    Typing t;
    for (double ms : times)
        t.mean += ms / double(times.size());
    t.worst = *std::max_element(times.begin(), times.end());
    return t;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/cardinfo.mdb");
    build(path, count);

    Connection connection;
    connection.setConnectionString(cardConnectionString(path));
    connection.connect();
    MemberSearch search(connection);
    QElapsedTimer clock;
    clock.start();
    search.prepare();
    std::printf("Indexes created for %d members in %.0f ms (once per database)\n", count,
                double(clock.nsecsElapsed()) / 1e6);
    clock.restart();
    search.prepareFullText();
    std::printf("Full-text table created in %.0f ms (once per database)\n", double(clock.nsecsElapsed()) / 1e6);
    clock.restart();
    search.find(QStringLiteral("x"));
    std::printf("First search in memory (reads the folded texts) %.0f ms\n", double(clock.nsecsElapsed()) / 1e6);

    const QString words[] = {QStringLiteral("Member 0423"), QStringLiteral("s00296"), QStringLiteral("王李張")};
    for (const QString &word : words) {
        const QByteArray shown = word.toUtf8();
        const Typing memory = type(search, word, MemberSearch::Method::Memory);
        const Typing fts = type(search, word, MemberSearch::Method::FullText);
        const Typing like = type(search, word, MemberSearch::Method::Scan);
        std::printf("Typing \"%s\" (ms/keystroke, worst): in memory %.2f (%.2f); full-text %.2f (%.2f); "
                    "LIKE scan %.2f (%.2f)\n",
                    shown.constData(), memory.mean, memory.worst, fts.mean, fts.worst, like.mean, like.worst);
    }
    const QDate today(2025, 6, 1);
    for (const auto window : {ExpiryWindow::Days30, ExpiryWindow::Days90, ExpiryWindow::Expired}) {
        clock.restart();
        const FoundMembers found = search.expiring(window, today);
        std::printf("Expiring window %d: %d members in %.2f ms\n", int(window), found.total,
                    double(clock.nsecsElapsed()) / 1e6);
    }
    return 0;
}
