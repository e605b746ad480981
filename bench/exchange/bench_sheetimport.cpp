// bench_sheetimport: imports 10,000 rows without photos from an .xlsx, an
// .xls and a CSV file (written by openpyxl, xlwt and Python's csv module)
// into fresh card databases, through the reader process, and prints the
// seconds each took. Target: under 3 s each.
#include "data/datasrc.h"
#include "data/progresssink.h"
#include "data/prompts.h"
#include "data/schema.h"
#include "exchange/spreadsheetimport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

using namespace tessary;

namespace {

constexpr int kRows = 10000;

bool writeBook(const QString &path, const QJsonArray &rows)
{
    QFile description(path + QStringLiteral(".json"));
    if (!description.open(QIODevice::WriteOnly))
        return false;
    description.write(QJsonDocument(QJsonObject{
        {QStringLiteral("sheets"),
         QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("RECORDS")}, {QStringLiteral("rows"), rows}}}}})
                          .toJson());
    description.close();
    return QProcess::execute(QStringLiteral("/usr/bin/python3"),
                             {QStringLiteral(TESSARY_MAKEBOOK), path, description.fileName()}) == 0;
}

// Seconds for one import into a new database; negative when it failed.
double timeImport(const QString &book, const QString &folder)
{
    const QString db = folder + QStringLiteral("/cardinfo-") + QFileInfo(book).suffix() + QStringLiteral(".mdb");
    createCardDatabase(db, CardDatabaseSeed{});
    Tdsrc data;
    data.src.setConnectionString(cardConnectionString(db));
    data.src.connect();
    data.QGroup.open();
    ScopedScriptedPrompts prompts;
    CountingProgress progress;
    QElapsedTimer timer;
    timer.start();
    SpreadsheetImport importer(data, progress);
    const SpreadsheetImport::Outcome outcome = importer.importFile(book);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    // Every row lacks a photo: one "cannot create" message each, answered.
    if (outcome != SpreadsheetImport::Outcome::Completed || importer.stored() != kRows)
        return -1;
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QJsonArray rows{QJsonArray{QStringLiteral("GROUP"), QStringLiteral("NAME"), QStringLiteral("ID"),
                               QStringLiteral("CNAME"), QStringLiteral("POSITION"), QStringLiteral("JOINED"),
                               QStringLiteral("EXPIRY"), QStringLiteral("REMARK"), QStringLiteral("PHOTO")}};
    for (int i = 0; i < kRows; ++i)
        rows.append(QJsonArray{QStringLiteral("Group %1").arg(i % 20), QStringLiteral("Member %1").arg(i), 10000 + i,
                               QStringLiteral("成员%1").arg(i), QStringLiteral("Clerk"), QStringLiteral("1/02/2020"),
                               QStringLiteral("31/12/2030"), QStringLiteral("bench"), QString()});
    int status = 0;
    for (const char *format : {"xlsx", "xls", "csv"}) {
        const QString book = dir.filePath(QStringLiteral("import.") + QString::fromLatin1(format));
        if (!writeBook(book, rows)) {
            std::fprintf(stderr, "cannot write %s (are python3-xlwt and python3-openpyxl installed?)\n", format);
            return 1;
        }
        const double seconds = timeImport(book, dir.path());
        if (seconds < 0) {
            std::fprintf(stderr, "the import of the .%s file did not complete\n", format);
            return 1;
        }
        std::printf("import of %d rows without photos from .%s: %.2f s (target < 3 s)\n", kRows, format, seconds);
        if (seconds >= 3)
            status = 2;
    }
    return status;
}
