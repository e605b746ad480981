#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

class QWidget;

namespace tessary {

class ImageControl;

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

// Asks for an image file and loads it into `control` (a width or height of 0
// keeps the file's own size). The type is decided by the extension alone:
// ".bmp", ".jpg", ".jpeg" in any letter case; anything else shows
// "Unknown file extension.". The control's tooltip is refreshed with the
// picture's size whenever a file was chosen. True if a file was loaded;
// cancelling changes nothing.
bool LoadPictureFile(QWidget *owner, ImageControl &control, quint16 width, quint16 height);

// Load a Windows BMP file (any bit depth Qt reads: palette, 16, 24 and 32-bit,
// RLE, top-down) or a JPEG file into `control`. On failure
// "Unable to create the new object." is shown, the control keeps its picture
// and the answer is false.
bool LoadBitmapFile(quint16 width, quint16 height, ImageControl &control, const QString &fileName);
bool LoadJpegFile(quint16 width, quint16 height, ImageControl &control, const QString &fileName);

// Sets the control's tooltip to "<width> x <height>" and turns the tooltip on.
void ShowPictureSize(ImageControl &control);

// Makes the control's picture a white 100 x 100 picture.
void ClearPhoto(ImageControl &control);

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
