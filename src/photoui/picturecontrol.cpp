#include "photoui/picturecontrol.h"

#include "data/prompts.h"
#include "photo/picture.h"
#include "photo/transforms.h"
#include "photoui/imagecontrol.h"
#include "photoui/progress.h"

#include <QFileInfo>

namespace tessary {

namespace {

bool takeLoadedPicture(const QImage &read, quint16 width, quint16 height, ImageControl &control)
{
    if (read.isNull()) {
        ShowCreateError();
        return false;
    }
    control.setPicture(PictureAtSize(read, width, height));
    return true;
}

} // namespace

bool LoadPictureFile(QWidget *owner, ImageControl &control, quint16 width, quint16 height)
{
    Q_UNUSED(owner); // the prompt service places its dialogs itself
    const QString fileName = prompts().openFileName(QString(), PictureFileFilter(), QString());
    if (fileName.isEmpty())
        return false;

    // The extension runs from the last dot of the name part, dot included.
    const QString name = QFileInfo(fileName).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot < 0 ? QString() : name.mid(dot).toUpper();

    bool loaded = false;
    if (extension == QLatin1String(".BMP"))
        loaded = LoadBitmapFile(width, height, control, fileName);
    else if (extension == QLatin1String(".JPG") || extension == QLatin1String(".JPEG"))
        loaded = LoadJpegFile(width, height, control, fileName);
    else
        ShowErrorBox(QStringLiteral("Unknown file extension."));
    ShowPictureSize(control);
    return loaded;
}

bool LoadBitmapFile(quint16 width, quint16 height, ImageControl &control, const QString &fileName)
{
    return takeLoadedPicture(ReadBitmapFile(fileName), width, height, control);
}

bool LoadJpegFile(quint16 width, quint16 height, ImageControl &control, const QString &fileName)
{
    return takeLoadedPicture(ReadJpegFile(fileName), width, height, control);
}

void ShowPictureSize(ImageControl &control)
{
    control.setHint(PictureSizeText(control.picture()));
    control.setShowHint(true);
}

void ClearPhoto(ImageControl &control)
{
    control.setPicture(ClearedPicture());
}

void RotatePicture(QWidget *owner, QImage &picture)
{
    std::unique_ptr<TPg> progress = TPg::Create(owner);
    // The range is checked before the window appears: a picture without rows
    // is refused without showing anything.
    progress->SetRange(picture.height() - 1);
    progress->ShowNow();
    RotatePicture(picture, *progress);
}

void RotatePicture(QWidget *owner, ImageControl &control)
{
    QImage picture = control.picture();
    RotatePicture(owner, picture);
    control.setPicture(std::move(picture));
}

} // namespace tessary
