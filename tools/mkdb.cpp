// tessary-mkdb <folder>
//
// Makes the program folder ready: creates "cardinfo.mdb" (a new card
// database with the DEFAULT group, the field catalogue and one card layout)
// and the export template "namecard-b.mdb", each only when it does not
// exist. An existing database is never touched.
#include "data/errors.h"
#include "data/records.h"
#include "data/schema.h"
#include "photo/picture.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

// The card background: a soft blue band with a navy stripe, drawn at
// 300 dots per inch for an 86 x 54 mm card.
QImage drawBackground()
{
    const int width = 1016, height = 638;
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient ground(0, 0, width, height);
    ground.setColorAt(0.0, QColor(250, 252, 255));
    ground.setColorAt(1.0, QColor(220, 232, 250));
    p.fillRect(image.rect(), ground);
    p.fillRect(QRect(0, 0, width, 70), QColor(0, 0, 110));
    p.fillRect(QRect(0, height - 24, width, 24), QColor(0, 0, 110));
    QPainterPath wave;
    wave.moveTo(0, height - 120);
    wave.cubicTo(width * 0.3, height - 200, width * 0.6, height - 40, width, height - 130);
    wave.lineTo(width, height - 24);
    wave.lineTo(0, height - 24);
    wave.closeSubpath();
    p.fillPath(wave, QColor(180, 200, 235, 160));
    p.end();
    return image.convertToFormat(QImage::Format_BGR888);
}

int prepare(const QString &folder)
{
    QDir dir(folder);
    if (!dir.exists() && !QDir().mkpath(folder)) {
        std::fprintf(stderr, "tessary-mkdb: cannot create folder %s\n", qPrintable(folder));
        return 1;
    }
    const QString card = dir.filePath(QStringLiteral("cardinfo.mdb"));
    const QString exportTemplate = dir.filePath(QStringLiteral("namecard-b.mdb"));
    try {
        if (!QFileInfo::exists(card)) {
            tessary::CardDatabaseSeed seed;
            seed.background = tessary::SavePictureToBlob(drawBackground());
            seed.fontStream = tessary::encodeComponentStream(tessary::LabelAppearance{});
            tessary::createCardDatabase(card, seed);
            std::printf("Created %s\n", qPrintable(card));
        }
        if (!QFileInfo::exists(exportTemplate)) {
            tessary::createExportTemplate(exportTemplate);
            std::printf("Created %s\n", qPrintable(exportTemplate));
        }
    } catch (const tessary::Error &e) {
        std::fprintf(stderr, "tessary-mkdb: %s\n", e.what());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    // Drawing needs a GUI application; no window is shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessary-mkdb <program folder>\n");
        return 2;
    }
    return prepare(QString::fromLocal8Bit(argv[1]));
}
