// Loading pictures from files into an image control: the file dialog's
// filter, the choice by extension, the BMP and JPEG loaders, their messages,
// the tooltip rules, and clearing a photo.

#include "data/prompts.h"
#include "photoui/imagecontrol.h"
#include "photoui/picturecontrol.h"
#include "photo/jpegcodec.h"
#include "photo/picture.h"
#include "testpictures.h"

#include <QElapsedTimer>

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace tessary;
using namespace testpictures;

namespace {

void put16(QByteArray &out, int value)
{
    out.append(char(value & 0xFF)).append(char((value >> 8) & 0xFF));
}

void put32(QByteArray &out, qint64 value)
{
    for (int i = 0; i < 4; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

// A Windows BMP file: BITMAPFILEHEADER, BITMAPINFOHEADER, palette, then rows
// bottom-up (or top-down, with a negative height), each padded to a multiple
// of four bytes.
QByteArray bmpFile(int width, int height, int bitsPerPixel, const QList<QRgb> &palette,
                   const std::function<QByteArray(int row)> &rowBytes, bool topDown = false)
{
    const int stride = ((width * bitsPerPixel + 31) / 32) * 4;
    const int offset = 14 + 40 + 4 * int(palette.size());
    QByteArray out("BM");
    put32(out, offset + qint64(stride) * height);
    put32(out, 0);
    put32(out, offset);
    put32(out, 40);
    put32(out, width);
    put32(out, topDown ? -height : height);
    put16(out, 1);
    put16(out, bitsPerPixel);
    put32(out, 0); // BI_RGB
    put32(out, qint64(stride) * height);
    put32(out, 2835);
    put32(out, 2835);
    put32(out, palette.size());
    put32(out, 0);
    for (QRgb colour : palette) {
        out.append(char(qBlue(colour))).append(char(qGreen(colour))).append(char(qRed(colour))).append('\0');
    }
    for (int i = 0; i < height; ++i) {
        QByteArray row = rowBytes(topDown ? i : height - 1 - i);
        row.resize(stride, '\0');
        out.append(row);
    }
    return out;
}

QRgb at(const QImage &picture, int x, int y)
{
    const uchar *p = picture.constScanLine(y) + 3 * x;
    return qRgb(p[2], p[1], p[0]);
}

} // namespace

class TestFiles : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void filterAndCancel();
    void choiceByExtension_data();
    void choiceByExtension();
    void unknownExtension();
    void unreadableFiles_data();
    void unreadableFiles();
    void inputsThatAreNotFiles_data();
    void inputsThatAreNotFiles();
    void readsAtMostTheLimit();
    void bitmapDepths();
    void largeJpegKeepsItsSize();
    void explicitSizeScales();
    void clearPhotoAndPictureSize();

private:
    QString write(const QString &name, const QByteArray &bytes);
    QTemporaryDir m_dir;
    QByteArray m_jpeg;   // 40 x 30
    QByteArray m_bmp24;  // 3 x 2, known pixels
};

QString TestFiles::write(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestFiles::init()
{
    QVERIFY(m_dir.isValid());
    m_jpeg = SavePictureToBlob(photoLike(40, 30));
    // 3 x 2, 24-bit: rows are 9 bytes padded to 12.
    m_bmp24 = bmpFile(3, 2, 24, {}, [](int row) {
        QByteArray bytes;
        for (int x = 0; x < 3; ++x)
            bytes.append(char(10 * x + row)).append(char(100 + x)).append(char(200 + row)); // B, G, R
        return bytes;
    });
}

void TestFiles::filterAndCancel()
{
    ScopedScriptedPrompts scripted;
    scripted->fileAnswers.push_back(QString()); // cancelled

    ImageControl frame;
    const QImage before = noise(7, 9, 1);
    frame.setPicture(before);
    frame.setHint(QStringLiteral("old"));

    QVERIFY(!LoadPictureFile(nullptr, frame, 0, 0));
    QCOMPARE(scripted->asked.size(), size_t(1));
    QCOMPARE(scripted->asked[0].what, QStringLiteral("open"));
    QCOMPARE(scripted->asked[0].title, QString());
    QCOMPARE(scripted->asked[0].text,
             QStringLiteral("Images (*.jpg,*.jpeg,*.bmp)|*.jpg;*.jpeg;*.bmp|JPEG (*.jpg,*.jpeg)|*.jpg;*.jpeg|"
                            "Bitmap (*.bmp)|*.bmp|All Files (*.*)|*.*"));
    // Nothing else happens, not even to the tooltip.
    QVERIFY(samePixels(frame.picture(), before));
    QCOMPARE(frame.hint(), QStringLiteral("old"));
    QVERIFY(!frame.showHint());
    QCOMPARE(frame.toolTip(), QString());
}

void TestFiles::choiceByExtension_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("jpeg");
    QTest::newRow("Portrait.Jpeg") << "Portrait.Jpeg" << true;
    QTest::newRow("photo.JPG") << "photo.JPG" << true;
    QTest::newRow("a.b.jpg") << "a.b.jpg" << true;
    QTest::newRow("portrait.bmp") << "portrait.bmp" << false;
    QTest::newRow("PORTRAIT.BMP") << "PORTRAIT.BMP" << false;
}

void TestFiles::choiceByExtension()
{
    QFETCH(QString, name);
    QFETCH(bool, jpeg);
    const QString path = write(name, jpeg ? m_jpeg : m_bmp24);

    ScopedScriptedPrompts scripted;
    scripted->fileAnswers.push_back(path);
    ImageControl frame;
    frame.setPicture(noise(5, 5, 2));

    QVERIFY(LoadPictureFile(nullptr, frame, 0, 0));
    QCOMPARE(scripted->messages(), QStringList());
    QCOMPARE(frame.picture().format(), QImage::Format_BGR888);
    const QSize size = jpeg ? QSize(40, 30) : QSize(3, 2);
    QCOMPARE(frame.picture().size(), size);
    const QString hint = QStringLiteral("%1 x %2").arg(size.width()).arg(size.height());
    QCOMPARE(frame.hint(), hint);
    QVERIFY(frame.showHint());
    QCOMPARE(frame.toolTip(), hint);
    if (!jpeg) {
        // BMP rows are stored bottom-up; row 0 of the picture is the top one.
        QCOMPARE(at(frame.picture(), 0, 0), qRgb(200, 100, 0));
        QCOMPARE(at(frame.picture(), 2, 0), qRgb(200, 102, 20));
        QCOMPARE(at(frame.picture(), 1, 1), qRgb(201, 101, 11));
    }
}

void TestFiles::unknownExtension()
{
    // A real JPEG named .png, a file without extension, and a dot that is
    // only in the folder's name: the extension alone decides.
    QDir(m_dir.path()).mkdir(QStringLiteral("pictures.bmp"));
    const QStringList paths = {write(QStringLiteral("portrait.png"), m_jpeg),
                               write(QStringLiteral("portrait"), m_jpeg),
                               write(QStringLiteral("pictures.bmp/portrait"), m_bmp24)};
    for (const QString &path : paths) {
        ScopedScriptedPrompts scripted;
        scripted->fileAnswers.push_back(path);
        ImageControl frame;
        const QImage before = noise(11, 13, 3);
        frame.setPicture(before);

        QVERIFY(!LoadPictureFile(nullptr, frame, 0, 0));
        QCOMPARE(scripted->messages(), QStringList{QStringLiteral("Unknown file extension.")});
        QCOMPARE(scripted->asked.back().title, QStringLiteral("Error"));
        QCOMPARE(scripted->asked.back().kind, MessageKind::Error);
        QVERIFY(samePixels(frame.picture(), before));
        // The tooltip is refreshed all the same, with the unchanged size.
        QCOMPARE(frame.toolTip(), QStringLiteral("11 x 13"));
    }
}

void TestFiles::unreadableFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("jpg holding a BMP") << "bmp.jpg" << m_bmp24;
    QTest::newRow("bmp holding a JPEG") << "jpeg.bmp" << m_jpeg;
    QTest::newRow("truncated jpeg") << "cut.jpeg" << m_jpeg.left(m_jpeg.size() / 2);
    QTest::newRow("truncated bmp") << "cut.bmp" << m_bmp24.left(60);
    QTest::newRow("empty jpg") << "empty.jpg" << QByteArray();
    QTest::newRow("garbage bmp") << "garbage.bmp" << QByteArray("BM this is not really a bitmap at all......");
    QTest::newRow("missing file") << "missing.jpg" << QByteArray("-");
    // A header whose row size times height passes 2^63: it must be refused,
    // not wrap the size check around.
    QByteArray hostile("BM");
    put32(hostile, 54);
    put32(hostile, 0);
    put32(hostile, 54);
    put32(hostile, 0xFFFFFFFE);
    put32(hostile, 16830559);
    put32(hostile, -268371373);
    put16(hostile, 1);
    put16(hostile, 32768);
    hostile.resize(54, '\0');
    QTest::newRow("hostile bmp header") << "hostile.bmp" << hostile;
}

void TestFiles::unreadableFiles()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    const QString path = bytes == "-" ? m_dir.filePath(name) : write(name, bytes);

    ScopedScriptedPrompts scripted;
    scripted->fileAnswers.push_back(path);
    ImageControl frame;
    const QImage before = noise(17, 19, 4);
    frame.setPicture(before);

    QVERIFY(!LoadPictureFile(nullptr, frame, 0, 0));
    QCOMPARE(scripted->messages(), QStringList{QStringLiteral("Unable to create the new object.")});
    QCOMPARE(scripted->asked.back().title, QStringLiteral("Error"));
    QVERIFY(samePixels(frame.picture(), before));
    QCOMPARE(frame.toolTip(), QStringLiteral("17 x 19"));
}

// Paths that name no regular file: refused as unreadable, at once, and
// never read until memory runs out or blocked on.
void TestFiles::inputsThatAreNotFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    for (const char *ext : {"jpg", "bmp"}) {
        const QString e = QString::fromLatin1(ext);
        QTest::addRow("/dev/zero as %s", ext) << QStringLiteral("zero.") + e << QStringLiteral("zero");
        QTest::addRow("FIFO without a writer, %s", ext) << QStringLiteral("pipe.") + e << QStringLiteral("fifo");
        QTest::addRow("folder, %s", ext) << QStringLiteral("folder.") + e << QStringLiteral("folder");
        QTest::addRow("over the limit, %s", ext) << QStringLiteral("huge.") + e << QStringLiteral("huge");
    }
}

void TestFiles::inputsThatAreNotFiles()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    const QString path = m_dir.filePath(name);
    if (kind == QLatin1String("zero"))
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
    else if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == QLatin1String("folder"))
        QVERIFY(QDir(m_dir.path()).mkdir(name));
    else {
        // Sparse: one byte more than the decoder takes, hardly any disk.
        QFile huge(path);
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(jpeg::kMaxDecodedBytes + 1));
    }

    ScopedScriptedPrompts scripted;
    scripted->fileAnswers.push_back(path);
    ImageControl frame;
    const QImage before = noise(17, 19, 4);
    frame.setPicture(before);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!LoadPictureFile(nullptr, frame, 0, 0));
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(scripted->messages(), QStringList{QStringLiteral("Unable to create the new object.")});
    QVERIFY(samePixels(frame.picture(), before));
    // The import's reader is the same one.
    QVERIFY(ReadJpegFile(path).isNull());
}

void TestFiles::readsAtMostTheLimit()
{
    const QString path = write(QStringLiteral("ten.bin"), QByteArray("0123456789"));
    QCOMPARE(ReadRegularFile(path, 10), std::optional<QByteArray>(QByteArray("0123456789")));
    QCOMPARE(ReadRegularFile(path, 9), std::nullopt);
    QCOMPARE(ReadRegularFile(write(QStringLiteral("none.bin"), {}), 0), std::optional<QByteArray>(QByteArray()));
    QCOMPARE(ReadRegularFile(m_dir.filePath(QStringLiteral("missing.bin")), 10), std::nullopt);
    // A device whose size says 0 is refused, not read up to the limit.
    QCOMPARE(ReadRegularFile(QStringLiteral("/dev/zero"), 1 << 20), std::nullopt);
    // Regular files of both kinds still load.
    QCOMPARE(ReadJpegFile(write(QStringLiteral("ok.jpg"), m_jpeg)).size(), QSize(40, 30));
    QCOMPARE(ReadBitmapFile(write(QStringLiteral("ok.bmp"), m_bmp24)).size(), QSize(3, 2));
}

void TestFiles::bitmapDepths()
{
    ScopedScriptedPrompts scripted;
    ImageControl frame;

    // 8-bit palette, 5 x 3 (rows of 5 bytes padded to 8).
    const QList<QRgb> palette = {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 128, 255), qRgb(17, 34, 51)};
    const QString eight = write(QStringLiteral("eight.bmp"), bmpFile(5, 3, 8, palette, [](int row) {
        QByteArray bytes;
        for (int x = 0; x < 5; ++x)
            bytes.append(char((x + row) % 4));
        return bytes;
    }));
    QVERIFY(LoadBitmapFile(0, 0, frame, eight));
    QCOMPARE(frame.picture().size(), QSize(5, 3));
    QCOMPARE(frame.picture().format(), QImage::Format_BGR888);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            QCOMPARE(at(frame.picture(), x, y), palette[(x + y) % 4]);

    // 4-bit palette, 3 x 2: two pixels per byte.
    const QString four = write(QStringLiteral("four.bmp"), bmpFile(3, 2, 4, palette, [](int row) {
        return row == 0 ? QByteArray("\x12\x30", 2) : QByteArray("\x01\x20", 2);
    }));
    QVERIFY(LoadBitmapFile(0, 0, frame, four));
    QCOMPARE(frame.picture().size(), QSize(3, 2));
    QCOMPARE(at(frame.picture(), 0, 0), palette[1]);
    QCOMPARE(at(frame.picture(), 1, 0), palette[2]);
    QCOMPARE(at(frame.picture(), 2, 0), palette[3]);
    QCOMPARE(at(frame.picture(), 1, 1), palette[1]);

    // 1-bit, 9 x 1.
    const QString one = write(QStringLiteral("one.bmp"), bmpFile(9, 1, 1, {qRgb(255, 255, 255), qRgb(0, 0, 255)},
                                                                 [](int) { return QByteArray("\x80\x80", 2); }));
    QVERIFY(LoadBitmapFile(0, 0, frame, one));
    QCOMPARE(at(frame.picture(), 0, 0), qRgb(0, 0, 255));
    QCOMPARE(at(frame.picture(), 1, 0), qRgb(255, 255, 255));
    QCOMPARE(at(frame.picture(), 8, 0), qRgb(0, 0, 255));

    // 24-bit stored top-down.
    const QString topDown = write(QStringLiteral("topdown.bmp"), bmpFile(2, 2, 24, {}, [](int row) {
        return row == 0 ? QByteArray("\x01\x02\x03\x04\x05\x06", 6) : QByteArray("\x07\x08\x09\x0A\x0B\x0C", 6);
    }, true));
    QVERIFY(LoadBitmapFile(0, 0, frame, topDown));
    QCOMPARE(at(frame.picture(), 0, 0), qRgb(3, 2, 1));
    QCOMPARE(at(frame.picture(), 1, 1), qRgb(12, 11, 10));

    QCOMPARE(scripted->messages(), QStringList());
}

void TestFiles::largeJpegKeepsItsSize()
{
    // A large photo is kept at its own size; only the drawing is squeezed.
    const QString path = write(QStringLiteral("big.jpg"), SavePictureToBlob(photoLike(2000, 1500)));
    ScopedScriptedPrompts scripted;
    scripted->fileAnswers.push_back(path);
    ImageControl frame;
    frame.resize(120, 160);
    QVERIFY(LoadPictureFile(nullptr, frame, 0, 0));
    QCOMPARE(frame.picture().size(), QSize(2000, 1500));
    QCOMPARE(frame.toolTip(), QStringLiteral("2000 x 1500"));
    const QImage shown = frame.grab().toImage();
    QCOMPARE(shown.size(), QSize(120, 160));
}

void TestFiles::explicitSizeScales()
{
    ScopedScriptedPrompts scripted;
    ImageControl frame;
    QVERIFY(LoadJpegFile(20, 10, frame, write(QStringLiteral("s.jpg"), m_jpeg)));
    QCOMPARE(frame.picture().size(), QSize(20, 10));
    QVERIFY(LoadBitmapFile(6, 4, frame, write(QStringLiteral("s.bmp"), m_bmp24)));
    QCOMPARE(frame.picture().size(), QSize(6, 4));
    // Either size 0 means the file's own size.
    QVERIFY(LoadJpegFile(20, 0, frame, write(QStringLiteral("t.jpg"), m_jpeg)));
    QCOMPARE(frame.picture().size(), QSize(40, 30));
}

void TestFiles::clearPhotoAndPictureSize()
{
    ImageControl frame;
    frame.setPicture(noise(640, 480, 5));
    ClearPhoto(frame);
    QCOMPARE(frame.picture().size(), QSize(100, 100));
    QVERIFY(allWhite(frame.picture()));
    QCOMPARE(frame.toolTip(), QString()); // clearing does not touch the tooltip

    frame.setPicture(QImage(480, 640, QImage::Format_RGB32));
    ShowPictureSize(frame);
    QCOMPARE(frame.toolTip(), QStringLiteral("480 x 640"));
    QCOMPARE(frame.picture().format(), QImage::Format_BGR888);
    frame.setShowHint(false);
    QCOMPARE(frame.toolTip(), QString());
    QCOMPARE(frame.hint(), QStringLiteral("480 x 640"));
}

QTEST_MAIN(TestFiles)
#include "tst_files.moc"
