#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>

#include "data/regularfile.h"

namespace tessary {

// Pictures are 24-bit: three bytes per pixel in the order blue, green, red,
// row 0 at the top (QImage::Format_BGR888). An empty picture is a null QImage.

// The white picture that stands for a missing or unreadable photo; also the
// size of the main window's photo frame.
inline constexpr int kPlaceholderWidth = 120;
inline constexpr int kPlaceholderHeight = 160;
QImage PhotoPlaceholder();

// Brings a picture to 24 bits per pixel, keeping its colours (a palette
// picture gets its palette colours, an alpha channel is dropped).
void BringTo24Bits(QImage &picture);
QImage To24Bits(const QImage &picture);

// --- Stored pictures (photo and background BLOB values) --------------------

// The value to store for `picture`: zero bytes for an empty picture, else one
// baseline JFIF stream (libjpeg defaults, quality 90) and nothing around it.
// The picture itself is not changed. Throws tessary::Error if the encoder fails.
QByteArray SavePictureToBlob(const QImage &picture);

// Replaces `target` with the picture stored in `blob`, decoded at full size.
// Empty, cut short or undecodable bytes give the white 120 x 160 placeholder,
// silently. Never throws.
void LoadPictureFromBlob(const QByteArray &blob, QImage &target);
QImage LoadPictureFromBlob(const QByteArray &blob);

// --- Loading pictures from files -------------------------------------------

// The filter of the picture file-open dialog, in the prompt service's
// "Description|patterns|..." form.
QString PictureFileFilter();

// ReadRegularFile (data/regularfile.h) reads picture files: never more
// than the decoder's limit plus one byte, never a FIFO or a device.

// Reads a Windows BMP file (any bit depth Qt reads: palette, 16, 24 and
// 32-bit, RLE, top-down) or a JPEG file. A null picture when the file cannot
// be read, is not a regular file, is larger than the decoder's limit
// (jpeg::kMaxDecodedBytes), is damaged, or is not of that type.
QImage ReadBitmapFile(const QString &fileName);
QImage ReadJpegFile(const QString &fileName);

// The picture a loader hands on: `picture` at 24 bits, at its own size when
// width or height is 0 (no 16-bit wrap for huge files), else resampled to
// width x height.
QImage PictureAtSize(QImage picture, quint16 width, quint16 height);

// The white picture "Clear" puts into a photo frame: 100 x 100.
QImage ClearedPicture();

// "<width> x <height>", the tooltip of a picture frame.
QString PictureSizeText(const QImage &picture);

// --- Resampling --------------------------------------------------------------

// Gives `target` the size width x height and fills it from `source` with
// ResampleBitmap. `source` is brought to 24 bits.
void ScaleBitmapInto(QImage &source, QImage &target, quint16 width, quint16 height);

// Fills `target` (already sized) with `source` stretched to the target's size:
// bilinear interpolation in 16.16 fixed point, integer-only. Both pictures are
// brought to 24 bits first. Equal sizes give an exact copy. An empty source
// leaves a non-empty target white.
void ResampleBitmap(QImage &source, QImage &target);

} // namespace tessary
