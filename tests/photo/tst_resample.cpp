// The bilinear resampler in 16.16 fixed point. Expected values are worked out
// by hand from the algorithm: steps MulDiv(Ws - 1, 65536, Wt) (divided by the
// target size), row weights 65536 - fy and fy + 1, column weights split with
// MulDiv(fx, w, 65536) rounded half up, unsigned sums shifted right by 16.

#include "photo/picture.h"
#include "testpictures.h"

#include <QtTest>

using namespace tessary;
using namespace testpictures;

namespace {

// A picture whose blue channel holds `blue` (rows of equal length), green a
// constant and red 255.
QImage fromBlue(const std::vector<std::vector<int>> &blue, int green)
{
    const int h = int(blue.size());
    const int w = int(blue.front().size());
    QImage picture(w, h, QImage::Format_BGR888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uchar *p = picture.scanLine(y) + 3 * x;
            p[0] = uchar(blue[size_t(y)][size_t(x)]);
            p[1] = uchar(green);
            p[2] = 255;
        }
    return picture;
}

std::vector<std::vector<int>> blueOf(const QImage &picture)
{
    std::vector<std::vector<int>> out(size_t(picture.height()), std::vector<int>(size_t(picture.width())));
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            out[size_t(y)][size_t(x)] = picture.constScanLine(y)[3 * x];
    return out;
}

QImage resampled(QImage source, int width, int height)
{
    QImage target(width, height, QImage::Format_BGR888);
    target.fill(Qt::black);
    ResampleBitmap(source, target);
    return target;
}

bool channelsEverywhere(const QImage &picture, int blue, int green, int red)
{
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const uchar *p = picture.constScanLine(y) + 3 * x;
            if (p[0] != blue || p[1] != green || p[2] != red)
                return false;
        }
    return true;
}

} // namespace

class TestResample : public QObject
{
    Q_OBJECT

private slots:
    void equalSizesGiveAnExactCopy();
    void twoByTwoIntoFourByFour();
    void columnWeightsRoundHalvesUp();
    void stepsRoundToNearest();
    void sixHundredFortyRowsIntoThreeHundredTwenty();
    void uniformAreasKeepTheirValue();
    void otherDepthsAreConverted();
    void scaleBitmapIntoSetsTheSize();
};

void TestResample::equalSizesGiveAnExactCopy()
{
    QImage source = noise(37, 23, 11);
    const QImage target = resampled(source, 37, 23);
    QVERIFY(samePixels(source, target));

    // Through ScaleBitmapInto as well, with a target that held something else.
    QImage other = noise(5, 5, 2);
    ScaleBitmapInto(source, other, 37, 23);
    QVERIFY(samePixels(source, other));
}

void TestResample::twoByTwoIntoFourByFour()
{
    // Blue: upper row 0 100, lower row 200 40. xstep = ystep =
    // MulDiv(1, 65536, 4) = 16384, so ix = iy = 0 everywhere and the last
    // column and row sample source position 0.75, never 1.
    //
    // Row 0: wU = 65536, wL = 1.
    //   col 1: fx 16384: wUR 16384, wUL 49152, wLR round(0.25) = 0, wLL 1
    //          (100 * 16384 + 200 * 1) >> 16 = 1638600 >> 16 = 25
    //   col 2: fx 32768: wUR 32768, wUL 32768, wLR round(0.5) = 1, wLL 0
    //          (100 * 32768 + 40 * 1) >> 16 = 3276840 >> 16 = 50
    //   col 3: fx 49152: wUR 49152, wUL 16384, wLR round(0.75) = 1, wLL 0
    //          (100 * 49152 + 40) >> 16 = 4915240 >> 16 = 75
    // Row 1: fy 16384, wU = 49152, wL = 16385.
    //   col 0: (200 * 16385) >> 16 = 3277000 >> 16 = 50
    //   col 1: wUR 12288, wUL 36864, wLR round(4096.25) = 4096, wLL 12289
    //          (100 * 12288 + 200 * 12289 + 40 * 4096) >> 16 = 3850440 >> 16 = 58
    //   col 2: wUR 24576, wUL 24576, wLR round(8192.5) = 8193, wLL 8192
    //          (100 * 24576 + 200 * 8192 + 40 * 8193) >> 16 = 4423720 >> 16 = 67
    //   col 3: wUR 36864, wUL 12288, wLR round(12288.75) = 12289, wLL 4096
    //          (100 * 36864 + 200 * 4096 + 40 * 12289) >> 16 = 4997160 >> 16 = 76
    // Row 2: fy 32768, wU = 32768, wL = 32769.
    //   col 0: (200 * 32769) >> 16 = 6553800 >> 16 = 100
    //   col 1: wUR 8192, wUL 24576, wLR round(8192.25) = 8192, wLL 24577
    //          (100 * 8192 + 200 * 24577 + 40 * 8192) >> 16 = 6062280 >> 16 = 92
    //   col 2: wUR 16384, wUL 16384, wLR round(16384.5) = 16385, wLL 16384
    //          (100 * 16384 + 200 * 16384 + 40 * 16385) >> 16 = 5570600 >> 16 = 85
    //   col 3: wUR 24576, wUL 8192, wLR round(24576.75) = 24577, wLL 8192
    //          (100 * 24576 + 200 * 8192 + 40 * 24577) >> 16 = 5079080 >> 16 = 77
    // Row 3: fy 49152, wU = 16384, wL = 49153.
    //   col 0: (200 * 49153) >> 16 = 9830600 >> 16 = 150
    //   col 1: wUR 4096, wUL 12288, wLR round(12288.25) = 12288, wLL 36865
    //          (100 * 4096 + 200 * 36865 + 40 * 12288) >> 16 = 8274120 >> 16 = 126
    //   col 2: wUR 8192, wUL 8192, wLR round(24576.5) = 24577, wLL 24576
    //          (100 * 8192 + 200 * 24576 + 40 * 24577) >> 16 = 6717480 >> 16 = 102
    //   col 3: wUR 12288, wUL 4096, wLR round(36864.75) = 36865, wLL 12288
    //          (100 * 12288 + 200 * 12288 + 40 * 36865) >> 16 = 5161000 >> 16 = 78
    const QImage target = resampled(fromBlue({{0, 100}, {200, 40}}, 77), 4, 4);
    const std::vector<std::vector<int>> expected = {
        {0, 25, 50, 75},
        {50, 58, 67, 76},
        {100, 92, 85, 77},
        {150, 126, 102, 78},
    };
    QCOMPARE(blueOf(target), expected);
    // Green 77 and red 255 are uniform and stay exact.
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            QCOMPARE(int(target.constScanLine(y)[3 * x + 1]), 77);
            QCOMPARE(int(target.constScanLine(y)[3 * x + 2]), 255);
        }
}

void TestResample::columnWeightsRoundHalvesUp()
{
    // 2 x 2 into 2 x 3: xstep = MulDiv(1, 65536, 2) = 32768, ystep =
    // MulDiv(1, 65536, 3) = round(21845.33) = 21845.
    // Row 2, column 1: yacc 43690, so fy 43690, wU 21846, wL 43691; fx 32768.
    //   wUR = 21846 / 2 = 10923, wUL = 10923;
    //   wLR = round(21845.5) = 21846 (half up), wLL = 21845.
    //   45 * 10923 + 119 * 10923 + 248 * 21845 + 3 * 21846 = 7274470,
    //   >> 16 = 110 (111 would need 7274496). Rounding the half down would
    //   swap the lower weights and give 7274715 >> 16 = 111.
    const QImage target = resampled(fromBlue({{45, 119}, {248, 3}}, 0), 2, 3);
    QCOMPARE(int(target.constScanLine(2)[3 * 1]), 110);
    // Row 0, column 1: fy 0: (45 * 32768 + 119 * 32768 + 3 * 1) >> 16 = 82
    // (wLR = round(0.5) = 1, wLL = 0).
    QCOMPARE(int(target.constScanLine(0)[3 * 1]), 82);
}

void TestResample::stepsRoundToNearest()
{
    // A single column (2 wide into 1: xstep 65536, column 0 samples column 0
    // only); 3 rows into 3: ystep = MulDiv(2, 65536, 3) = round(43690.67) = 43691.
    // Row 2: yacc 87382, iy 1, fy 21846, wU 43690, wL 21847; rows 1 and 2 of
    // the source are 0 and 255: 255 * 21847 = 5570985, >> 16 = 85.
    // A truncated step (43690) would give fy 21844 and 255 * 21845 >> 16 = 84.
    const QImage target = resampled(fromBlue({{0, 9}, {0, 9}, {255, 9}}, 0), 1, 3);
    QCOMPARE(blueOf(target), (std::vector<std::vector<int>>{{0}, {0}, {85}}));
}

void TestResample::sixHundredFortyRowsIntoThreeHundredTwenty()
{
    // One column, 640 rows into 320. ystep = MulDiv(639, 65536, 320) =
    // 130867 (130867.2, the .2 dropped).
    std::vector<std::vector<int>> column(640, std::vector<int>(1));
    for (int r = 0; r < 640; ++r)
        column[size_t(r)][0] = (r * 37) % 256;
    column[0][0] = 10;
    column[1][0] = 204;
    column[2][0] = 205;
    column[637][0] = 0;
    column[638][0] = 255;
    column[639][0] = 250;
    const std::vector<std::vector<int>> out = blueOf(resampled(fromBlue(column, 0), 1, 320));
    QCOMPARE(out.size(), size_t(320));

    // Row 0: fy 0, wU 65536, wL 1: (10 * 65536 + 204) >> 16 = 10.
    QCOMPARE(out[0][0], 10);
    // Row 1: yacc 130867, iy 1, fy 65331, wU 205, wL 65332:
    // 204 * 205 + 205 * 65332 = 13434880 = 205 * 65536 exactly, so 205.
    // With weights adding to 65536 (wL = fy) it would be 204.
    QCOMPARE(out[1][0], 205);
    // Row 319: yacc 41746573, iy 637, fy 141, wU 65395, wL 142:
    // (0 * 65395 + 255 * 142) >> 16 = 0. The last row falls short of source
    // row 639 (250) and even of 638.
    QCOMPARE(out[319][0], 0);
}

void TestResample::uniformAreasKeepTheirValue()
{
    // Row weights add up to 65537 and column weights split each of them
    // exactly, so a uniform picture stays exactly uniform at any size,
    // 255 included (255 * 65537 >> 16 = 255).
    const QSize sizes[] = {{2000, 1500}, {3, 7}, {481, 600}, {1, 1}};
    const QSize targets[] = {{480, 640}, {17, 5}, {120, 160}, {9, 4}};
    for (const QSize &from : sizes)
        for (const QSize &to : targets) {
            QImage source(from, QImage::Format_BGR888);
            source.fill(QColor(255, 1, 128)); // red 255, green 1, blue 128
            const QImage target = resampled(source, to.width(), to.height());
            QVERIFY2(channelsEverywhere(target, 128, 1, 255),
                     qPrintable(QStringLiteral("%1x%2 -> %3x%4").arg(from.width()).arg(from.height())
                                    .arg(to.width()).arg(to.height())));
        }
}

void TestResample::otherDepthsAreConverted()
{
    // A palette source is brought to 24 bits with its colours, and the
    // source itself changes format, not colour.
    QImage source(4, 4, QImage::Format_Indexed8);
    source.setColorTable({qRgb(10, 20, 30), qRgb(200, 100, 50)});
    source.fill(1);
    QImage target(2, 2, QImage::Format_RGB32);
    ResampleBitmap(source, target);
    QCOMPARE(source.format(), QImage::Format_BGR888);
    QCOMPARE(target.format(), QImage::Format_BGR888);
    QVERIFY(channelsEverywhere(source, 50, 100, 200));
    QVERIFY(channelsEverywhere(target, 50, 100, 200));
}

void TestResample::scaleBitmapIntoSetsTheSize()
{
    QImage source = photoLike(200, 100);
    QImage target;
    ScaleBitmapInto(source, target, 480, 640);
    QCOMPARE(target.size(), QSize(480, 640));
    QCOMPARE(target.format(), QImage::Format_BGR888);

    ScaleBitmapInto(source, target, 0, 50);
    QVERIFY(target.isNull());

    // An empty source cannot be sampled: the target is left white.
    QImage empty;
    ScaleBitmapInto(empty, target, 3, 2);
    QCOMPARE(target.size(), QSize(3, 2));
    QVERIFY(allWhite(target));
}

QTEST_GUILESS_MAIN(TestResample)
#include "tst_resample.moc"
