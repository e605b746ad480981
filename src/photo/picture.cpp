#include "photo/picture.h"

#include "data/errors.h"
#include "photo/jpegcodec.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessary {

namespace {

// MulDiv(a, b, c) for non-negative operands: a * b / c in 64 bits, rounded
// to the nearest integer with exact halves rounded up.
constexpr quint64 mulDiv(quint64 a, quint64 b, quint64 c)
{
    return (2 * a * b + c) / (2 * c);
}

QImage whitePicture(int width, int height)
{
    QImage picture(width, height, QImage::Format_BGR888);
    picture.fill(Qt::white);
    return picture;
}

// Qt's BMP reader takes a file whose pixel rows stop early and fills in the
// missing rows; such a file is damaged and is refused here instead. For
// uncompressed files the rows must all be present; for run-length encoded
// ones, the compressed size the header announces.
bool bitmapDataComplete(const QByteArray &file)
{
    const auto byteAt = [&file](qsizetype at) { return quint32(uchar(file[at])); };
    const auto u16 = [&](qsizetype at) { return byteAt(at) | byteAt(at + 1) << 8; };
    const auto u32 = [&](qsizetype at) { return u16(at) | u16(at + 2) << 16; };

    if (file.size() < 26 || file[0] != 'B' || file[1] != 'M')
        return false;
    const qint64 offset = u32(10);
    const quint32 headerSize = u32(14);
    qint64 width = 0;
    qint64 height = 0;
    qint64 bits = 0;
    quint32 compression = 0;
    qint64 imageSize = 0;
    if (headerSize == 12) { // OS/2 core header
        width = u16(18);
        height = u16(20);
        bits = u16(24);
    } else if (headerSize >= 40 && file.size() >= 14 + 40) {
        width = qint32(u32(18));
        height = qAbs(qint64(qint32(u32(22)))); // negative: rows stored top-down
        bits = u16(28);
        compression = u32(30);
        imageSize = u32(34);
    } else {
        return false;
    }
    if (width <= 0 || height <= 0 || bits <= 0)
        return false;
    const bool packed = compression == 0 || compression == 3 || compression == 6; // RGB, BITFIELDS, ALPHABITFIELDS
    if (offset > file.size())
        return false;
    const qint64 available = file.size() - offset;
    if (!packed)
        return imageSize <= available;
    // Width and bits are below 2^32 and 2^16, so a row's size fits 64 bits;
    // the product with the height may not, so it is compared by division.
    const qint64 rowBytes = (width * bits + 31) / 32 * 4;
    return rowBytes <= available / height;
}

} // namespace

QImage PhotoPlaceholder()
{
    return whitePicture(kPlaceholderWidth, kPlaceholderHeight);
}

void BringTo24Bits(QImage &picture)
{
    if (!picture.isNull() && picture.format() != QImage::Format_BGR888)
        picture = picture.convertToFormat(QImage::Format_BGR888);
}

QImage To24Bits(const QImage &picture)
{
    QImage copy = picture;
    BringTo24Bits(copy);
    return copy;
}

QByteArray SavePictureToBlob(const QImage &picture)
{
    if (picture.width() == 0 || picture.height() == 0)
        return {};
    QByteArray stream;
    if (!jpeg::encode(To24Bits(picture), stream))
        throw Error(QStringLiteral("Unable to encode the picture as JPEG"));
    return stream;
}

void LoadPictureFromBlob(const QByteArray &blob, QImage &target)
{
    QImage decoded = jpeg::decode(blob);
    target = decoded.isNull() ? PhotoPlaceholder() : std::move(decoded);
}

QImage LoadPictureFromBlob(const QByteArray &blob)
{
    QImage picture;
    LoadPictureFromBlob(blob, picture);
    return picture;
}

QString PictureFileFilter()
{
    return QStringLiteral("Images (*.jpg,*.jpeg,*.bmp)|*.jpg;*.jpeg;*.bmp|JPEG (*.jpg,*.jpeg)|*.jpg;*.jpeg|"
                          "Bitmap (*.bmp)|*.bmp|All Files (*.*)|*.*");
}

QImage ReadBitmapFile(const QString &fileName)
{
    // Read as BMP whatever the content looks like: the type was chosen by the
    // extension, and a file that is not a BMP is a failure, not a guess.
    // Qt's reader covers 1, 4, 8, 16, 24 and 32 bits, RLE and top-down files.
    QImage a;
    std::optional<QByteArray> bytes = ReadRegularFile(fileName, jpeg::kMaxDecodedBytes);
    if (bytes && bitmapDataComplete(*bytes)) {
        QBuffer buffer(&*bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "bmp");
        reader.setAutoDetectImageFormat(false);
        reader.setDecideFormatFromContent(false);
        if (!reader.read(&a))
            a = QImage();
    }
    return a;
}

QImage ReadJpegFile(const QString &fileName)
{
    // The decoder refuses anything above its size ceiling; so does this
    // read, long before the whole of a huge file is in memory.
    const std::optional<QByteArray> bytes = ReadRegularFile(fileName, jpeg::kMaxDecodedBytes);
    return bytes ? jpeg::decode(*bytes) : QImage();
}

QImage PictureAtSize(QImage picture, quint16 width, quint16 height)
{
    if (picture.isNull())
        return picture;
    if (width == 0 || height == 0) {
        // The file's own size: a plain 24-bit copy. Done directly rather than
        // through the 16-bit sizes of ScaleBitmapInto, so a BMP wider or
        // higher than 65535 pixels keeps its size instead of wrapping.
        BringTo24Bits(picture);
        return picture;
    }
    QImage b;
    ScaleBitmapInto(picture, b, width, height);
    return b;
}

QImage ClearedPicture()
{
    return whitePicture(100, 100);
}

QString PictureSizeText(const QImage &picture)
{
    return QStringLiteral("%1 x %2").arg(picture.width()).arg(picture.height());
}

void ScaleBitmapInto(QImage &source, QImage &target, quint16 width, quint16 height)
{
    target = width == 0 || height == 0 ? QImage() : QImage(width, height, QImage::Format_BGR888);
    ResampleBitmap(source, target);
}

void ResampleBitmap(QImage &source, QImage &target)
{
    BringTo24Bits(source);
    BringTo24Bits(target);

    const int wt = target.width();
    const int ht = target.height();
    if (wt == 0 || ht == 0)
        return;
    const int ws = source.width();
    const int hs = source.height();
    if (ws == wt && hs == ht) {
        target = source; // an exact copy (shared until either side changes)
        return;
    }
    if (ws == 0 || hs == 0) {
        // Nothing to sample from; no caller asks for this.
        target.fill(Qt::white);
        return;
    }

    // Target column i samples source column i * (ws - 1) / wt: the step is
    // divided by the target width, so the last column falls short of the last
    // source column; likewise for rows. The accumulators are 64-bit only so
    // that sources wider than 65536 pixels cannot wrap; for every 16-bit size
    // the values are those of 32-bit accumulators.
    const quint64 xstep = mulDiv(quint64(ws - 1), 65536, quint64(wt));
    const quint64 ystep = mulDiv(quint64(hs - 1), 65536, quint64(ht));

    struct Column
    {
        quint32 left;  // byte offset of source column ix
        quint32 right; // byte offset of column ix + 1, or ix at the right edge
        quint32 fx;    // fraction, 0 to 65535
    };
    std::vector<Column> columns(static_cast<std::size_t>(wt));
    quint64 xacc = 0;
    for (Column &column : columns) {
        const quint32 ix = quint32(std::min<quint64>(xacc >> 16, quint64(ws - 1)));
        const quint32 right = ix < quint32(ws - 1) ? ix + 1 : ix;
        column = {3 * ix, 3 * right, quint32(xacc & 0xFFFF)};
        xacc += xstep;
    }

    const uchar *sourceBits = source.constBits();
    const qsizetype sourceStride = source.bytesPerLine();
    uchar *targetBits = target.bits();
    const qsizetype targetStride = target.bytesPerLine();
    const Column *const firstColumn = columns.data();
    const Column *const endColumn = firstColumn + wt;

    quint64 yacc = 0;
    for (int j = 0; j < ht; ++j, yacc += ystep) {
        const quint32 iy = quint32(std::min<quint64>(yacc >> 16, quint64(hs - 1)));
        const quint32 fy = quint32(yacc & 0xFFFF);
        const quint32 lowerRow = iy < quint32(hs - 1) ? iy + 1 : iy;
        const uchar *upper = sourceBits + qsizetype(iy) * sourceStride;
        const uchar *lower = sourceBits + qsizetype(lowerRow) * sourceStride;
        // The row weights add up to 65537, so a uniform area keeps its value
        // exactly: 255 * 65537 >> 16 is still 255.
        const quint32 wU = 65536 - fy;
        const quint32 wL = fy + 1;
        uchar *out = targetBits + qsizetype(j) * targetStride;

        for (const Column *column = firstColumn; column != endColumn; ++column, out += 3) {
            // MulDiv(fx, w, 65536); fx * w + 32768 stays below 2^32.
            const quint32 wUR = (column->fx * wU + 32768) >> 16;
            const quint32 wUL = wU - wUR;
            const quint32 wLR = (column->fx * wL + 32768) >> 16;
            const quint32 wLL = wL - wLR;
            const uchar *ul = upper + column->left;
            const uchar *ur = upper + column->right;
            const uchar *ll = lower + column->left;
            const uchar *lr = lower + column->right;
            // Unsigned 32-bit sums; at most 255 * 65537, so each result is a byte.
            out[0] = uchar((ul[0] * wUL + ur[0] * wUR + ll[0] * wLL + lr[0] * wLR) >> 16);
            out[1] = uchar((ul[1] * wUL + ur[1] * wUR + ll[1] * wLL + lr[1] * wLR) >> 16);
            out[2] = uchar((ul[2] * wUL + ur[2] * wUR + ll[2] * wLL + lr[2] * wLR) >> 16);
        }
    }
}

} // namespace tessary
