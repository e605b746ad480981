#pragma once

#include <QByteArray>
#include <QImage>

namespace tessary::jpeg {

// Largest decoded picture accepted, in bytes of 24-bit pixels (the same
// ceiling Qt's own image readers use). A stream whose header claims more is
// refused before any pixel memory is taken, so a few hostile bytes cannot
// make the program allocate gigabytes.
inline constexpr qint64 kMaxDecodedBytes = 256LL * 1024 * 1024;

// Encodes a 24-bit blue-green-red picture (QImage::Format_BGR888, not empty)
// into one baseline JFIF stream: the library's default settings (4:2:0 chroma
// subsampling, standard Huffman tables, sequential coding) at quality 90.
// Answers false, leaving `out` empty, if the library reports an error.
bool encode(const QImage &picture, QByteArray &out);

// Decodes a JPEG stream at full size into a Format_BGR888 picture. Answers a
// null QImage when the bytes are not a JPEG stream, are cut short, are damaged
// beyond what the library can recover, or describe a picture larger than
// kMaxDecodedBytes. Never ends the process and never throws.
QImage decode(const QByteArray &bytes);

} // namespace tessary::jpeg
