// The stored picture format: one baseline JFIF stream written by libjpeg
// (defaults, quality 90), or zero bytes; and reading it back, where anything
// that is not a complete JPEG stream reads as the white 120 x 160 placeholder.

#include "photo/picture.h"
#include "testpictures.h"

#include <QBuffer>
#include <QImageReader>
#include <QtTest>

#include <map>
#include <vector>

#include <cstdio>
#include <jpeglib.h>

using namespace tessary;
using namespace testpictures;

namespace {

struct Segment
{
    uchar marker;
    QByteArray payload; // without the marker and the length bytes
};

// The marker segments in front of the first scan.
std::vector<Segment> headerSegments(const QByteArray &jpeg)
{
    std::vector<Segment> segments;
    qsizetype at = 2; // after SOI
    while (at + 4 <= jpeg.size() && uchar(jpeg[at]) == 0xFF) {
        const uchar marker = uchar(jpeg[at + 1]);
        const int length = (uchar(jpeg[at + 2]) << 8) | uchar(jpeg[at + 3]);
        segments.push_back({marker, jpeg.mid(at + 4, length - 2)});
        if (marker == 0xDA)
            break;
        at += 2 + length;
    }
    return segments;
}

const Segment *find(const std::vector<Segment> &segments, uchar marker)
{
    for (const Segment &s : segments)
        if (s.marker == marker)
            return &s;
    return nullptr;
}

double meanDifference(const QImage &a, const QImage &b)
{
    qint64 total = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width() * 3; ++x)
            total += qAbs(int(a.constScanLine(y)[x]) - int(b.constScanLine(y)[x]));
    return double(total) / (double(a.width()) * a.height() * 3);
}

} // namespace

class TestJpeg : public QObject
{
    Q_OBJECT

private slots:
    void streamIsOneBaselineJfifAtQuality90();
    void roundTripKeepsSizeAndStaysClose();
    void otherDepthsAreEncodedWithTheirColours();
    void emptyPictureStoresZeroBytes();
    void unreadableBytesGiveThePlaceholder_data();
    void unreadableBytesGiveThePlaceholder();
    void hugeDeclaredSizeIsRefused();
    void fourColourStreamsDecodeToColour_data();
    void fourColourStreamsDecodeToColour();
};

void TestJpeg::streamIsOneBaselineJfifAtQuality90()
{
    const QImage picture = photoLike(300, 400);
    const QByteArray jpeg = SavePictureToBlob(picture);

    // SOI, then the JFIF APP0 segment straight away; EOI as the last bytes.
    QVERIFY(jpeg.size() > 100);
    QCOMPARE(uchar(jpeg[0]), uchar(0xFF));
    QCOMPARE(uchar(jpeg[1]), uchar(0xD8));
    QCOMPARE(uchar(jpeg[2]), uchar(0xFF));
    QCOMPARE(uchar(jpeg[3]), uchar(0xE0));
    QCOMPARE(jpeg.mid(6, 5), QByteArray("JFIF\0", 5));
    QCOMPARE(uchar(jpeg[jpeg.size() - 2]), uchar(0xFF));
    QCOMPARE(uchar(jpeg[jpeg.size() - 1]), uchar(0xD9));

    const std::vector<Segment> segments = headerSegments(jpeg);
    QVERIFY(find(segments, 0xDA)); // a scan follows the header
    QVERIFY(!find(segments, 0xC2)); // not progressive
    QVERIFY(!find(segments, 0xC1));

    // Baseline frame: 8-bit, 400 rows of 300, three components, luma 2 x 2
    // and both chroma components 1 x 1 (4:2:0).
    const Segment *sof = find(segments, 0xC0);
    QVERIFY(sof);
    const QByteArray &f = sof->payload;
    QCOMPARE(uchar(f[0]), uchar(8));
    QCOMPARE((uchar(f[1]) << 8) | uchar(f[2]), 400);
    QCOMPARE((uchar(f[3]) << 8) | uchar(f[4]), 300);
    QCOMPARE(uchar(f[5]), uchar(3));
    QCOMPARE(uchar(f[7]), uchar(0x22));
    QCOMPARE(uchar(f[10]), uchar(0x11));
    QCOMPARE(uchar(f[13]), uchar(0x11));

    // Quality 90 scales the standard tables to 20 %: the luminance DC step 16
    // becomes (16 * 20 + 50) / 100 = 3, the chrominance one 17 becomes 3 and
    // the last step of both tables, 99, becomes 20. Quality 89 (22 %) would
    // give 4, 4 and 22.
    std::map<int, QByteArray> tables;
    for (const Segment &s : segments) {
        if (s.marker != 0xDB)
            continue;
        for (qsizetype at = 0; at + 65 <= s.payload.size(); at += 65) {
            QCOMPARE(uchar(s.payload[at]) >> 4, 0); // 8-bit entries: baseline
            tables[uchar(s.payload[at]) & 0x0F] = s.payload.mid(at + 1, 64);
        }
    }
    QCOMPARE(tables.size(), size_t(2));
    QCOMPARE(uchar(tables[0][0]), uchar(3));
    QCOMPARE(uchar(tables[1][0]), uchar(3));
    QCOMPARE(uchar(tables[0][63]), uchar(20));
    QCOMPARE(uchar(tables[1][63]), uchar(20));
    // Nothing but the one stream: exactly one SOI and the EOI at the end.
    QCOMPARE(jpeg.count(QByteArray("\xFF\xD8", 2)), 1);

    // Another reader takes it as well, when Qt's JPEG plugin is present.
    if (QImageReader::supportedImageFormats().contains("jpeg")) {
        const QImage other = QImage::fromData(jpeg, "JPEG");
        QCOMPARE(other.size(), QSize(300, 400));
    }
}

void TestJpeg::roundTripKeepsSizeAndStaysClose()
{
    const QImage source = photoLike(300, 400);
    QImage target = noise(50, 50, 7);
    LoadPictureFromBlob(SavePictureToBlob(source), target);

    QCOMPARE(target.size(), QSize(300, 400));
    QCOMPARE(target.format(), QImage::Format_BGR888);
    QVERIFY(!samePixels(source, target)); // lossy, but close
    QVERIFY2(meanDifference(source, target) < 2.0, qPrintable(QString::number(meanDifference(source, target))));

    // Re-encoding what was read back stays close as well.
    const QImage again = LoadPictureFromBlob(SavePictureToBlob(target));
    QVERIFY(meanDifference(source, again) < 2.5);

    // A single pixel is a picture too.
    QImage dot(1, 1, QImage::Format_BGR888);
    dot.fill(QColor(10, 200, 30));
    const QImage dotBack = LoadPictureFromBlob(SavePictureToBlob(dot));
    QCOMPARE(dotBack.size(), QSize(1, 1));
    QVERIFY(qAbs(QColor(dotBack.pixel(0, 0)).green() - 200) <= 4);
}

void TestJpeg::otherDepthsAreEncodedWithTheirColours()
{
    // A palette picture and a 32-bit one with alpha are stored from a 24-bit
    // copy; the caller's picture keeps its own format.
    QImage palette(16, 16, QImage::Format_Indexed8);
    palette.setColorTable({qRgb(200, 20, 20), qRgb(20, 20, 200)});
    palette.fill(0);
    QImage argb(16, 16, QImage::Format_ARGB32);
    argb.fill(QColor(20, 200, 20));

    for (const QImage &picture : {palette, argb}) {
        const QImage::Format before = picture.format();
        const QImage back = LoadPictureFromBlob(SavePictureToBlob(picture));
        QCOMPARE(picture.format(), before);
        QCOMPARE(back.size(), QSize(16, 16));
        const QColor expected = picture.pixelColor(8, 8);
        const QColor got = back.pixelColor(8, 8);
        QVERIFY(qAbs(got.red() - expected.red()) <= 4);
        QVERIFY(qAbs(got.green() - expected.green()) <= 4);
        QVERIFY(qAbs(got.blue() - expected.blue()) <= 4);
    }
}

void TestJpeg::emptyPictureStoresZeroBytes()
{
    QCOMPARE(SavePictureToBlob(QImage()).size(), 0);
    QCOMPARE(SavePictureToBlob(QImage(0, 50, QImage::Format_BGR888)).size(), 0);

    // Zero bytes read back as the placeholder, whatever the target held.
    QImage target = noise(30, 40, 3);
    LoadPictureFromBlob(QByteArray(), target);
    QCOMPARE(target.size(), QSize(120, 160));
    QVERIFY(allWhite(target));
}

void TestJpeg::unreadableBytesGiveThePlaceholder_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = SavePictureToBlob(photoLike(64, 48));

    QTest::newRow("SOI only") << good.left(2);
    QTest::newRow("header only") << good.left(200);
    QTest::newRow("cut in half") << good.left(good.size() / 2);
    QTest::newRow("EOI missing") << good.left(good.size() - 2);
    QTest::newRow("one byte") << QByteArray(1, '\xFF');
    QTest::newRow("text") << QByteArray("this is not a picture at all");

    QByteArray garbage(4000, '\0');
    for (qsizetype i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 7919 + 13) % 251);
    QTest::newRow("garbage") << garbage;
    QTest::newRow("SOI then garbage") << (QByteArray("\xFF\xD8", 2) + garbage);

    QByteArray bmp;
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(photoLike(20, 20).save(&buffer, "BMP"));
    QTest::newRow("a BMP file") << bmp;

    // The frame header damaged: a component count of 0.
    QByteArray damaged = good;
    const qsizetype sof = damaged.indexOf(QByteArray("\xFF\xC0", 2));
    QVERIFY(sof > 0);
    damaged[sof + 9] = 0;
    QTest::newRow("damaged frame header") << damaged;
}

void TestJpeg::unreadableBytesGiveThePlaceholder()
{
    QFETCH(QByteArray, bytes);
    QImage target = noise(30, 40, 5);
    LoadPictureFromBlob(bytes, target);
    QCOMPARE(target.size(), QSize(120, 160));
    QCOMPARE(target.format(), QImage::Format_BGR888);
    QVERIFY(allWhite(target));
}

void TestJpeg::hugeDeclaredSizeIsRefused()
{
    // A valid stream whose frame header claims 65000 x 65000 pixels (12 GB of
    // pixels): refused before any pixel memory is taken.
    QByteArray jpeg = SavePictureToBlob(photoLike(16, 16));
    const qsizetype sof = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
    QVERIFY(sof > 0);
    jpeg[sof + 5] = char(0xFD);
    jpeg[sof + 6] = char(0xE8);
    jpeg[sof + 7] = char(0xFD);
    jpeg[sof + 8] = char(0xE8);
    const QImage picture = LoadPictureFromBlob(jpeg);
    QCOMPARE(picture.size(), QSize(120, 160));
    QVERIFY(allWhite(picture));
}

namespace {

// A four-colour JPEG as print workflows write it: Adobe marker, inks stored
// inverted (255 = no ink). Left half red (no cyan, full magenta and yellow),
// right half white.
QByteArray fourColourJpeg(J_COLOR_SPACE space, int width, int height)
{
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = JDIMENSION(width);
    c.image_height = JDIMENSION(height);
    c.input_components = 4;
    c.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, space);
    jpeg_set_quality(&c, 95, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<unsigned char> row(std::size_t(width) * 4);
    for (int x = 0; x < width; ++x) {
        const bool red = x < width / 2;
        unsigned char *p = row.data() + 4 * x;
        p[0] = 255;              // cyan: none
        p[1] = red ? 0 : 255;    // magenta
        p[2] = red ? 0 : 255;    // yellow
        p[3] = 255;              // black: none
    }
    while (c.next_scanline < c.image_height) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    QByteArray out(reinterpret_cast<const char *>(buffer), qsizetype(size));
    std::free(buffer);
    return out;
}

} // namespace

void TestJpeg::fourColourStreamsDecodeToColour_data()
{
    QTest::addColumn<int>("space");
    QTest::newRow("CMYK") << int(JCS_CMYK);
    QTest::newRow("YCCK") << int(JCS_YCCK);
}

void TestJpeg::fourColourStreamsDecodeToColour()
{
    QFETCH(int, space);
    const QImage picture = LoadPictureFromBlob(fourColourJpeg(J_COLOR_SPACE(space), 64, 32));
    QCOMPARE(picture.size(), QSize(64, 32)); // not the 120 x 160 placeholder
    QCOMPARE(picture.format(), QImage::Format_BGR888);
    const QColor left = picture.pixelColor(8, 16);
    const QColor right = picture.pixelColor(56, 16);
    QVERIFY2(left.red() > 240 && left.green() < 15 && left.blue() < 15, qPrintable(left.name()));
    QVERIFY2(right.red() > 240 && right.green() > 240 && right.blue() > 240, qPrintable(right.name()));
}

QTEST_GUILESS_MAIN(TestJpeg)
#include "tst_jpeg.moc"
