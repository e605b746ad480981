// tessary-mkdb <folder>
//
// Makes the program folder ready: creates "cardinfo.mdb" (a new card
// database with the DEFAULT group, the field catalogue and one card layout)
// and the export template "namecard-b.mdb", each only when it does not
// exist. An existing database is never touched. The program itself prepares
// the user's data folder the same way when its own folder is not writable.
#include "app/datafolder.h"
#include "data/errors.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Drawing needs a GUI application; no window is shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessary-mkdb <program folder>\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    try {
        const tessary::PreparedFiles made = tessary::prepareDataFolder(folder.path());
        if (made.cardDatabase)
            std::printf("Created %s\n", qPrintable(folder.filePath(QStringLiteral("cardinfo.mdb"))));
        if (made.exportTemplate)
            std::printf("Created %s\n", qPrintable(folder.filePath(QStringLiteral("namecard-b.mdb"))));
    } catch (const tessary::Error &e) {
        std::fprintf(stderr, "tessary-mkdb: %s\n", e.what());
        return 1;
    }
    return 0;
}
