// Rotation, in-place scaling and the size rule of the batch photo resize.

#include "data/errors.h"
#include "photoui/imagecontrol.h"
#include "photoui/picturecontrol.h"
#include "photo/picture.h"
#include "photoui/progress.h"
#include "photo/transforms.h"
#include "testpictures.h"

#include <QtTest>

using namespace tessary;
using namespace testpictures;

namespace {

QRgb at(const QImage &picture, int x, int y)
{
    const uchar *p = picture.constScanLine(y) + 3 * x;
    return qRgb(p[2], p[1], p[0]);
}

} // namespace

class TestTransforms : public QObject
{
    Q_OBJECT

private slots:
    void rotationMovesPixelsAnticlockwise();
    void fourTurnsGiveTheIdenticalPicture();
    void rotationOfAnEmptyPictureIsRefused();
    void rotationOfTheFrameAndItsProgressWindow();
    void scalePicture();
    void batchResizeSizeRule_data();
    void batchResizeSizeRule();
    void batchResizeOfStoredValues();
};

void TestTransforms::rotationMovesPixelsAnticlockwise()
{
    // 3 wide, 2 high:      after a quarter turn anticlockwise, 2 wide, 3 high:
    //   a b c                c f
    //   d e f                b e
    //                        a d
    QImage picture(3, 2, QImage::Format_BGR888);
    const QRgb a = qRgb(1, 2, 3), b = qRgb(4, 5, 6), c = qRgb(7, 8, 9);
    const QRgb d = qRgb(10, 11, 12), e = qRgb(13, 14, 15), f = qRgb(16, 17, 18);
    const QRgb source[2][3] = {{a, b, c}, {d, e, f}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            picture.setPixel(x, y, source[y][x]);

    RotatePicture(nullptr, picture);
    QCOMPARE(picture.size(), QSize(2, 3));
    QCOMPARE(picture.format(), QImage::Format_BGR888);
    const QRgb expected[3][2] = {{c, f}, {b, e}, {a, d}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x)
            QCOMPARE(at(picture, x, y), expected[y][x]);

    // A 300 x 400 photo becomes 400 x 300: the source's top-right corner is at
    // the top-left, its top-left corner at the bottom-left, its bottom-right
    // corner at the top-right.
    QImage photo = noise(300, 400, 9);
    const QRgb topRight = at(photo, 299, 0), topLeft = at(photo, 0, 0), bottomRight = at(photo, 299, 399);
    RotatePicture(nullptr, photo);
    QCOMPARE(photo.size(), QSize(400, 300));
    QCOMPARE(at(photo, 0, 0), topRight);
    QCOMPARE(at(photo, 0, 299), topLeft);
    QCOMPARE(at(photo, 399, 0), bottomRight);
}

void TestTransforms::fourTurnsGiveTheIdenticalPicture()
{
    // Odd sizes, so row padding differs between the two orientations.
    const QImage original = noise(301, 122, 4);
    QImage picture = original;
    for (int turn = 0; turn < 4; ++turn) {
        RotatePicture(nullptr, picture);
        if (turn < 3)
            QVERIFY(!samePixels(picture, original));
    }
    QVERIFY(samePixels(picture, original));

    // A picture of another depth turns with its colours kept.
    QImage palette(5, 3, QImage::Format_Indexed8);
    palette.setColorTable({qRgb(250, 0, 0), qRgb(0, 0, 250)});
    palette.fill(0);
    palette.setPixel(4, 0, 1);
    RotatePicture(nullptr, palette);
    QCOMPARE(palette.format(), QImage::Format_BGR888);
    QCOMPARE(at(palette, 0, 0), qRgb(0, 0, 250));
    QCOMPARE(at(palette, 1, 0), qRgb(250, 0, 0));
}

void TestTransforms::rotationOfAnEmptyPictureIsRefused()
{
    // No rows: the gauge maximum would be -1, which the progress window
    // refuses; the picture stays as it was.
    QImage empty;
    try {
        RotatePicture(nullptr, empty);
        QFAIL("no error raised");
    } catch (const Error &error) {
        QCOMPARE(error.message(), QStringLiteral("Value must be between 1 and 2147483647"));
    }
    QVERIFY(empty.isNull());
}

void TestTransforms::rotationOfTheFrameAndItsProgressWindow()
{
    QWidget owner;
    ImageControl frame(&owner);
    frame.setPicture(photoLike(120, 160));
    QSignalSpy changed(&frame, &ImageControl::pictureChanged);

    RotatePicture(&owner, frame);
    QCOMPARE(frame.picture().size(), QSize(160, 120));
    QCOMPARE(changed.count(), 1);
    // The progress window was owned by the owner and is gone again.
    QVERIFY(owner.findChildren<TPg *>().isEmpty());

    // A failed rotation leaves the frame alone and cleans up as well.
    frame.setPicture(QImage());
    QVERIFY_THROWS_EXCEPTION(Error, RotatePicture(&owner, frame));
    QVERIFY(frame.picture().isNull());
    QVERIFY(owner.findChildren<TPg *>().isEmpty());
}

void TestTransforms::scalePicture()
{
    const QImage original = noise(120, 160, 1);
    QImage picture = original;
    ScalePicture(picture, 120, 160);
    QVERIFY(samePixels(picture, original));

    ScalePicture(picture, 60, 90);
    QCOMPARE(picture.size(), QSize(60, 90));
}

void TestTransforms::batchResizeSizeRule_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("resized");
    QTest::newRow("481 x 600") << QSize(481, 600) << true;
    QTest::newRow("480 x 641") << QSize(480, 641) << true;
    QTest::newRow("480 x 640") << QSize(480, 640) << false;
    QTest::newRow("2000 x 100") << QSize(2000, 100) << true;
    QTest::newRow("120 x 160") << QSize(120, 160) << false;
    QTest::newRow("1 x 641") << QSize(1, 641) << true;
}

void TestTransforms::batchResizeSizeRule()
{
    QFETCH(QSize, size);
    QFETCH(bool, resized);
    QImage photo(size, QImage::Format_BGR888);
    photo.fill(QColor(30, 60, 90));
    const std::optional<QImage> result = ResizedForStorage(photo);
    QCOMPARE(result.has_value(), resized);
    if (resized) {
        // Always exactly 480 x 640, whatever the proportions.
        QCOMPARE(result->size(), QSize(480, 640));
        QCOMPARE(at(*result, 479, 639), qRgb(30, 60, 90));
    }
    QCOMPARE(photo.size(), size); // the input is not touched
}

void TestTransforms::batchResizeOfStoredValues()
{
    // An oversized stored photo comes back as a new stream of 480 x 640.
    const std::optional<QByteArray> shrunk = ResizeStoredPhoto(SavePictureToBlob(photoLike(481, 600)));
    QVERIFY(shrunk.has_value());
    QCOMPARE(uchar(shrunk->at(0)), uchar(0xFF));
    QCOMPARE(uchar(shrunk->at(1)), uchar(0xD8));
    QCOMPARE(LoadPictureFromBlob(*shrunk).size(), QSize(480, 640));

    // Small enough photos are neither changed nor re-encoded.
    QVERIFY(!ResizeStoredPhoto(SavePictureToBlob(photoLike(480, 640))).has_value());
    // An empty photo reads as the 120 x 160 placeholder and stays empty.
    QVERIFY(!ResizeStoredPhoto(QByteArray()).has_value());
    QVERIFY(!ResizeStoredPhoto(QByteArray("not a picture")).has_value());
}

QTEST_MAIN(TestTransforms)
#include "tst_transforms.moc"
