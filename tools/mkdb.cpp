// tessary-mkdb <folder>
// tessary-mkdb --server "<connection string>"
//
// Makes the program folder ready: creates "cardinfo.mdb" (a new card
// database with the DEFAULT group, the field catalogue and one card layout)
// and the export template "namecard-b.mdb", each only when it does not
// exist. An existing database is never touched. The program itself prepares
// the user's data folder the same way when its own folder is not writable.
//
// With --server it prepares a database on a PostgreSQL server instead: the
// tables, indexes and seed rows that are missing, the same seed as the
// file's. Existing data is never dropped or changed.
#include "app/datafolder.h"
#include "data/errors.h"
#include "data/pgengine.h"
#include "data/serverschema.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>
#include <cstring>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: tessary-mkdb <program folder>\n"
                         "       tessary-mkdb --server \"<connection string>\"\n"
                         "The connection string is libpq's (host=... dbname=... user=...) or a\n"
                         "postgresql:// URI, without a password (use ~/.pgpass or PGPASSFILE).\n");
    return 2;
}

void prepareFolder(const QDir &folder)
{
    const tessary::PreparedFiles made = tessary::prepareDataFolder(folder.path());
    if (made.cardDatabase)
        std::printf("Created %s\n", qPrintable(folder.filePath(QStringLiteral("cardinfo.mdb"))));
    if (made.exportTemplate)
        std::printf("Created %s\n", qPrintable(folder.filePath(QStringLiteral("namecard-b.mdb"))));
}

void prepareServer(const QString &conninfo)
{
    tessary::PgEngine engine(conninfo);
    tessary::prepareServerDatabase(engine, tessary::newCardDatabaseSeed());
    std::printf("Prepared the card database on %s\n", qPrintable(engine.location()));
}

} // namespace

int main(int argc, char *argv[])
{
    // Drawing needs a GUI application; no window is shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const bool server = argc == 3 && std::strcmp(argv[1], "--server") == 0;
    if (!server && (argc != 2 || std::strncmp(argv[1], "--", 2) == 0))
        return usage();
    try {
        if (server)
            prepareServer(QString::fromLocal8Bit(argv[2]));
        else
            prepareFolder(QDir(QString::fromLocal8Bit(argv[1])));
    } catch (const tessary::Error &e) {
        std::fprintf(stderr, "tessary-mkdb: %s\n", e.what());
        return 1;
    }
    return 0;
}
