#pragma once

#include <QByteArray>
#include <QImage>

#include <optional>

namespace tessary {

class ProgressSink;

// Turns the picture a quarter turn anticlockwise: source pixel (x, y) goes to
// (y, W - 1 - x). Pixels are moved, never interpolated, so four turns give
// back the identical picture. `progress` gets the range (rows - 1) and one
// step per source row. A picture without rows is refused with the progress
// range error (tessary::Error) and left unchanged.
void RotatePicture(QImage &picture, ProgressSink &progress);

// Scales the picture in place to width x height (aspect ratio not kept).
void ScalePicture(QImage &picture, quint16 width, quint16 height);

// --- Batch resize of stored photos -------------------------------------------

// Stored photos larger than this in either direction are reduced to exactly
// this size by the batch resize; smaller ones are left alone.
inline constexpr int kMaxStoredPhotoWidth = 480;
inline constexpr int kMaxStoredPhotoHeight = 640;

// The size rule of the batch resize on a decoded photo: a photo wider than
// 480 or higher than 640 (either alone is enough) comes back stretched to
// exactly 480 x 640; any other photo gives nullopt (no change needed).
std::optional<QImage> ResizedForStorage(const QImage &photo);

// The whole step for one stored photo value: reads it as LoadPictureFromBlob
// does (empty or unreadable bytes read as the 120 x 160 placeholder, which
// needs no change), applies ResizedForStorage and encodes the result as
// SavePictureToBlob does. nullopt means: leave the record alone, do not
// re-encode. Throws tessary::Error if encoding fails.
std::optional<QByteArray> ResizeStoredPhoto(const QByteArray &blob);

} // namespace tessary
