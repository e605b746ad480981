#include "datafolder.h"

#include "data/errors.h"
#include "data/records.h"
#include "data/schema.h"
#include "photo/picture.h"

#include <QDir>
#include <QFileInfo>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QStandardPaths>

#include <unistd.h>

namespace tessary {

namespace {

FolderWritable &currentCheck()
{
    static FolderWritable check = isFolderWritable;
    return check;
}

QString withSeparator(const QString &folder)
{
    QString out = QDir::toNativeSeparators(QDir(folder).absolutePath());
    if (!out.endsWith(QDir::separator()))
        out += QDir::separator();
    return out;
}

} // namespace

bool isFolderWritable(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder);
    return !path.isEmpty() && ::access(path.constData(), W_OK | X_OK) == 0;
}

FolderWritable setFolderWritableCheck(FolderWritable check)
{
    FolderWritable previous = std::move(currentCheck());
    currentCheck() = check ? std::move(check) : FolderWritable(isFolderWritable);
    return previous;
}

const FolderWritable &folderWritableCheck()
{
    return currentCheck();
}

QString chooseDataFolder(const QString &programFolder, const FolderWritable &writable)
{
    if (writable(programFolder))
        return withSeparator(programFolder);
    const QString user = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (user.isEmpty())
        throw Error(QStringLiteral("The folder %1 cannot be written and there is no user data folder").arg(programFolder));
    return withSeparator(user);
}

QImage drawCardBackground()
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

CardDatabaseSeed newCardDatabaseSeed()
{
    CardDatabaseSeed seed;
    seed.background = SavePictureToBlob(drawCardBackground());
    seed.fontStream = encodeComponentStream(LabelAppearance{});
    return seed;
}

PreparedFiles prepareDataFolder(const QString &folder, bool withCardDatabase)
{
    QDir dir(folder);
    if (!dir.exists()) {
        if (!QDir().mkpath(folder))
            throw Error(QStringLiteral("Cannot create the folder %1").arg(folder));
        // The folder holds people's names and photos: the owner's only.
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    PreparedFiles made;
    const QString card = dir.filePath(QStringLiteral("cardinfo.mdb"));
    if (withCardDatabase && !QFileInfo::exists(card)) {
        createCardDatabase(card, newCardDatabaseSeed());
        made.cardDatabase = true;
    }
    const QString exportTemplate = dir.filePath(QStringLiteral("namecard-b.mdb"));
    if (!QFileInfo::exists(exportTemplate)) {
        createExportTemplate(exportTemplate);
        made.exportTemplate = true;
    }
    return made;
}

} // namespace tessary
