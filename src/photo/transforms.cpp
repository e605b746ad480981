#include "photo/transforms.h"

#include "data/progresssink.h"
#include "photo/picture.h"

#include <cstring>

namespace tessary {

void RotatePicture(QImage &picture, ProgressSink &progress)
{
    QImage source = To24Bits(picture);
    const int w = source.width();
    const int h = source.height();

    // One step per source row; a picture without rows gives maximum -1,
    // refused by the gauge before anything is changed.
    progress.SetRange(h - 1);

    QImage turned(h, w, QImage::Format_BGR888);
    const uchar *sourceBits = source.constBits();
    const qsizetype sourceStride = source.bytesPerLine();
    uchar *turnedBits = turned.bits();
    const qsizetype turnedStride = turned.bytesPerLine();

    for (int y = 0; y < h; ++y) {
        // Source row y becomes column y, read from its right end: pixel
        // (w - 1 - j, y) goes to (y, j) for j from w - 1 down to 0.
        const uchar *from = sourceBits + qsizetype(y) * sourceStride + qsizetype(w - 1) * 3;
        uchar *to = turnedBits + qsizetype(y) * 3;
        for (int j = 0; j < w; ++j, from -= 3, to += turnedStride)
            std::memcpy(to, from, 3);
        progress.StepIt();
    }
    picture = std::move(turned);
}

void ScalePicture(QImage &picture, quint16 width, quint16 height)
{
    QImage scaled;
    ScaleBitmapInto(picture, scaled, width, height);
    picture = std::move(scaled);
}

std::optional<QImage> ResizedForStorage(const QImage &photo)
{
    if (photo.width() <= kMaxStoredPhotoWidth && photo.height() <= kMaxStoredPhotoHeight)
        return std::nullopt;
    QImage source = photo;
    QImage resized;
    ScaleBitmapInto(source, resized, kMaxStoredPhotoWidth, kMaxStoredPhotoHeight);
    return resized;
}

std::optional<QByteArray> ResizeStoredPhoto(const QByteArray &blob)
{
    std::optional<QImage> resized = ResizedForStorage(LoadPictureFromBlob(blob));
    if (!resized)
        return std::nullopt;
    return SavePictureToBlob(*resized);
}

} // namespace tessary
