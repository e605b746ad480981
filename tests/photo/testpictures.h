#pragma once

// Small helpers shared by the picture tests.

#include <QImage>
#include <QtGlobal>

#include <cstring>

namespace testpictures {

// A photo-like 24-bit picture: smooth gradients with a little texture, so a
// JPEG round trip stays close to it.
inline QImage photoLike(int width, int height)
{
    QImage picture(width, height, QImage::Format_BGR888);
    for (int y = 0; y < height; ++y) {
        uchar *row = picture.scanLine(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x + 0] = uchar(40 + 150 * x / qMax(1, width - 1));
            row[3 * x + 1] = uchar(30 + 180 * y / qMax(1, height - 1));
            row[3 * x + 2] = uchar(120 + ((x / 8 + y / 8) % 2) * 20);
        }
    }
    return picture;
}

// A picture of pseudo-random pixels (repeatable for a given seed).
inline QImage noise(int width, int height, unsigned seed)
{
    QImage picture(width, height, QImage::Format_BGR888);
    unsigned state = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y) {
        uchar *row = picture.scanLine(y);
        for (int x = 0; x < 3 * width; ++x) {
            state = state * 1103515245u + 12345u;
            row[x] = uchar(state >> 23);
        }
    }
    return picture;
}

// True when both are 24-bit pictures of the same size with identical pixels
// (row padding ignored).
inline bool samePixels(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.format() != QImage::Format_BGR888 || b.format() != QImage::Format_BGR888)
        return false;
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.constScanLine(y), b.constScanLine(y), size_t(a.width()) * 3) != 0)
            return false;
    return true;
}

inline bool allWhite(const QImage &picture)
{
    for (int y = 0; y < picture.height(); ++y) {
        const uchar *row = picture.constScanLine(y);
        for (int x = 0; x < picture.width() * 3; ++x)
            if (row[x] != 255)
                return false;
    }
    return !picture.isNull();
}

} // namespace testpictures
