#pragma once

#include <QImage>
#include <QString>

class QWidget;

namespace tessary {

class ImageControl;

// The picture commands that work on an image control: thin forms over the
// picture routines of photo/picture.h and photo/transforms.h that ask their
// questions through the prompt service and show progress in a window.

// Asks for an image file and loads it into `control` (a width or height of 0
// keeps the file's own size). The type is decided by the extension alone:
// ".bmp", ".jpg", ".jpeg" in any letter case; anything else shows
// "Unknown file extension.". The control's tooltip is refreshed with the
// picture's size whenever a file was chosen. True if a file was loaded;
// cancelling changes nothing.
bool LoadPictureFile(QWidget *owner, ImageControl &control, quint16 width, quint16 height);

// Load a Windows BMP or a JPEG file into `control`. On failure
// "Unable to create the new object." is shown, the control keeps its picture
// and the answer is false.
bool LoadBitmapFile(quint16 width, quint16 height, ImageControl &control, const QString &fileName);
bool LoadJpegFile(quint16 width, quint16 height, ImageControl &control, const QString &fileName);

// Sets the control's tooltip to "<width> x <height>" and turns the tooltip on.
void ShowPictureSize(ImageControl &control);

// Makes the control's picture a white 100 x 100 picture.
void ClearPhoto(ImageControl &control);

// Turns the picture a quarter turn anticlockwise with the progress window
// "Progress" (owned by `owner`, may be null) advancing once per source row.
// A picture without rows is refused with the window's range error.
void RotatePicture(QWidget *owner, QImage &picture);
void RotatePicture(QWidget *owner, ImageControl &control);

} // namespace tessary
