// bench_exchange: imports a workbook of 1,000 rows, each naming its own
// 480 x 640 JPEG photo, into a fresh card database, and prints the time.
// Target: under 5 s.
#include "data/datasrc.h"
#include "data/progresssink.h"
#include "data/prompts.h"
#include "data/schema.h"
#include "exchange/spreadsheetimport.h"
#include "photo/picture.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

using namespace tessary;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    constexpr int kRows = 1000;
    QTemporaryDir dir;
    const QString folder = dir.path();

    // Photos: distinct pictures, so each is decoded and encoded for real.
    QDir().mkpath(folder + QStringLiteral("/photos"));
    for (int i = 0; i < kRows; ++i) {
        QImage image(480, 640, QImage::Format_BGR888);
        for (int y = 0; y < image.height(); ++y) {
            uchar *line = image.scanLine(y);
            for (int x = 0; x < image.width() * 3; ++x)
                line[x] = uchar((x * 7 + y * 3 + i * 11) & 0xFF);
        }
        QFile f(folder + QStringLiteral("/photos/%1.jpg").arg(i));
        if (!f.open(QIODevice::WriteOnly) || f.write(SavePictureToBlob(image)) <= 0) {
            std::fprintf(stderr, "cannot write photos\n");
            return 1;
        }
    }

    QJsonArray rows{QJsonArray{QStringLiteral("GROUP"), QStringLiteral("NAME"), QStringLiteral("ID"),
                               QStringLiteral("CNAME"), QStringLiteral("POSITION"), QStringLiteral("JOINED"),
                               QStringLiteral("EXPIRY"), QStringLiteral("REMARK"), QStringLiteral("PHOTO")}};
    for (int i = 0; i < kRows; ++i)
        rows.append(QJsonArray{QStringLiteral("Group %1").arg(i % 20), QStringLiteral("Member %1").arg(i), 10000 + i,
                               QStringLiteral("成员%1").arg(i), QStringLiteral("Clerk"), QStringLiteral("1/02/2020"),
                               QStringLiteral("31/12/2030"), QStringLiteral("bench"),
                               QStringLiteral("photos/%1.jpg").arg(i)});
    const QString book = folder + QStringLiteral("/import.xls");
    QFile description(book + QStringLiteral(".json"));
    description.open(QIODevice::WriteOnly);
    description.write(QJsonDocument(QJsonObject{
        {QStringLiteral("sheets"),
         QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("RECORDS")}, {QStringLiteral("rows"), rows}}}}})
                          .toJson());
    description.close();
    if (QProcess::execute(QStringLiteral("/usr/bin/python3"),
                          {QStringLiteral(TESSARY_MAKEBOOK), book, description.fileName()}) != 0) {
        std::fprintf(stderr, "cannot write the workbook (is python3-xlwt installed?)\n");
        return 1;
    }

    const QString db = folder + QStringLiteral("/cardinfo.mdb");
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
    const qint64 ms = timer.elapsed();
    if (outcome != SpreadsheetImport::Outcome::Completed || importer.stored() != kRows || !prompts->asked.empty()) {
        std::fprintf(stderr, "the import did not complete\n");
        return 1;
    }
    std::printf("import of %d rows with 480 x 640 JPEG photos: %lld ms (%.2f ms per row; target < 5000 ms)\n", kRows,
                static_cast<long long>(ms), double(ms) / kRows);
    return ms < 5000 ? 0 : 2;
}
