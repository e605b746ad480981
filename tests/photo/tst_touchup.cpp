// The colour touch-up formulas: the worked pixels, clamping, the frame's
// progress steps and the refusal of a picture without rows.

#include "data/errors.h"
#include "data/progresssink.h"
#include "photo/touchup.h"
#include "testpictures.h"

#include <QtTest>

#include <tuple>

using namespace tessary;

namespace {

using Rgb = std::tuple<int, int, int>;

QImage onePixel(int r, int g, int b)
{
    QImage picture(1, 1, QImage::Format_BGR888);
    uchar *p = picture.scanLine(0);
    p[0] = uchar(b);
    p[1] = uchar(g);
    p[2] = uchar(r);
    return picture;
}

Rgb pixelOf(const QImage &picture, int x = 0, int y = 0)
{
    const uchar *p = picture.constScanLine(y) + 3 * x;
    return {p[2], p[1], p[0]};
}

Rgb components(Rgb in, int red, int green, int blue)
{
    QImage picture = onePixel(std::get<0>(in), std::get<1>(in), std::get<2>(in));
    CountingProgress progress;
    AdjustColorComponents(picture, red, green, blue, progress);
    return pixelOf(picture);
}

Rgb intensitySaturation(Rgb in, int intensity, int saturation)
{
    QImage picture = onePixel(std::get<0>(in), std::get<1>(in), std::get<2>(in));
    CountingProgress progress;
    AdjustIntensitySaturation(picture, intensity, saturation, progress);
    return pixelOf(picture);
}

} // namespace

class TestTouchup : public QObject
{
    Q_OBJECT

private slots:
    void componentsAtZeroCopyExactly();
    void componentsScaleAndTruncate();
    void componentsClampAbove255();
    void intensitySaturationWorkedPixels();
    void intensitySaturationClamps();
    void oneStepPerRowAnyWidth();
    void pictureWithoutRowsIsRefusedUnchanged();
    void otherFormatsComeBackAt24Bits();
};

void TestTouchup::componentsAtZeroCopyExactly()
{
    QImage picture = testpictures::noise(37, 11, 5);
    const QImage before = picture;
    CountingProgress progress;
    AdjustColorComponents(picture, 0, 0, 0, progress);
    QCOMPARE(picture, before);
}

void TestTouchup::componentsScaleAndTruncate()
{
    // Red -100 % removes red; green +50 %: 100 -> 150, 101 -> 151 (151.5 cut).
    QCOMPARE(components({200, 100, 50}, -100, 0, 0), Rgb(0, 100, 50));
    QCOMPARE(components({0, 100, 0}, 0, 50, 0), Rgb(0, 150, 0));
    QCOMPARE(components({0, 101, 0}, 0, 50, 0), Rgb(0, 151, 0));
    // Each channel takes its own percentage: -30 % of 99 is 69.3 -> 69.
    QCOMPARE(components({10, 20, 99}, 0, 0, -30), Rgb(10, 20, 69));
    QCOMPARE(components({255, 255, 255}, -1, -1, -1), Rgb(252, 252, 252));
}

void TestTouchup::componentsClampAbove255()
{
    QCOMPARE(components({200, 128, 127}, 50, 100, 100), Rgb(255, 255, 254));
}

void TestTouchup::intensitySaturationWorkedPixels()
{
    // The rounded constants make 0 % on both a near copy only.
    QCOMPARE(intensitySaturation({200, 100, 50}, 0, 0), Rgb(200, 100, 49));
    QCOMPARE(intensitySaturation({10, 200, 30}, 0, 0), Rgb(9, 199, 29));
    // Saturation -100 %: the grey of the pixel's luma (124.2).
    QCOMPARE(intensitySaturation({200, 100, 50}, 0, -100), Rgb(124, 124, 124));
    // Both at -100 %: black, whatever the pixel.
    QImage picture = testpictures::noise(16, 9, 3);
    CountingProgress progress;
    AdjustIntensitySaturation(picture, -100, -100, progress);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            QCOMPARE(pixelOf(picture, x, y), Rgb(0, 0, 0));
    // Intensity -100 % alone turns a grey black.
    QCOMPARE(intensitySaturation({90, 90, 90}, -100, 0), Rgb(0, 0, 0));
}

void TestTouchup::intensitySaturationClamps()
{
    // Pure red at intensity -100 %: 178, -76, -76 before clamping.
    QCOMPARE(intensitySaturation({255, 0, 0}, -100, 0), Rgb(178, 0, 0));
    // Doubling both drives a bright colour past 255.
    QCOMPARE(intensitySaturation({255, 255, 0}, 100, 100), Rgb(255, 255, 0));
    // White at intensity +100 % stays white rather than wrapping.
    QCOMPARE(intensitySaturation({255, 255, 255}, 100, 0), Rgb(255, 255, 255));
}

void TestTouchup::oneStepPerRowAnyWidth()
{
    for (int width : {1, 333}) {
        QImage picture = testpictures::noise(width, 200, 7);
        CountingProgress progress;
        AdjustColorComponents(picture, 10, 20, 30, progress);
        QCOMPARE(progress.maximum(), 199);
        QCOMPARE(progress.ranges(), 1);
        QCOMPARE(progress.steps(), 200);

        CountingProgress second;
        AdjustIntensitySaturation(picture, 10, 20, second);
        QCOMPARE(second.maximum(), 199);
        QCOMPARE(second.steps(), 200);
    }
}

void TestTouchup::pictureWithoutRowsIsRefusedUnchanged()
{
    for (int which = 0; which < 2; ++which) {
        QImage picture;
        CountingProgress progress;
        try {
            if (which == 0)
                AdjustColorComponents(picture, 10, 10, 10, progress);
            else
                AdjustIntensitySaturation(picture, 10, 10, progress);
            QFAIL("no range error");
        } catch (const Error &error) {
            QCOMPARE(error.message(), QStringLiteral("Value must be between 1 and 2147483647"));
        }
        QVERIFY(picture.isNull());
        QCOMPARE(progress.steps(), 0);
    }
}

void TestTouchup::otherFormatsComeBackAt24Bits()
{
    QImage picture(4, 3, QImage::Format_ARGB32);
    picture.fill(qRgba(200, 100, 50, 128));
    CountingProgress progress;
    AdjustColorComponents(picture, 0, 0, 0, progress);
    QCOMPARE(picture.format(), QImage::Format_BGR888);
    QCOMPARE(picture.size(), QSize(4, 3));
    QCOMPARE(pixelOf(picture, 3, 2), Rgb(200, 100, 50));
}

QTEST_GUILESS_MAIN(TestTouchup)
#include "tst_touchup.moc"
