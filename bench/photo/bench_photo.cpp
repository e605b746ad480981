// Figures for the picture routines:
//  - ResampleBitmap of a 2000 x 1500 picture into 480 x 640 (target: < 3 ms);
//  - storing and loading a 480 x 640 photo as JPEG, next to libjpeg-turbo's
//    own tjbench on the same picture (quality 90, 4:2:0; target: within 1.2x).

#include "photo/picture.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// A photo-like picture: soft gradients, a few hard edges and sensor-like
// noise, so the JPEG coder does about the work a real portrait gives it.
QImage photoLike(int width, int height)
{
    QImage picture(width, height, QImage::Format_BGR888);
    unsigned state = 12345;
    for (int y = 0; y < height; ++y) {
        uchar *row = picture.scanLine(y);
        for (int x = 0; x < width; ++x) {
            state = state * 1103515245u + 12345u;
            const int noise = int((state >> 24) & 15) - 8;
            const bool face = (x - width / 2) * (x - width / 2) * 4 + (y - height / 2) * (y - height / 2) * 3
                              < width * width;
            const int b = face ? 120 + y * 60 / height : 200 - x * 80 / width;
            const int g = face ? 150 + x * 40 / width : 180 - y * 60 / height;
            const int r = face ? 210 - y * 30 / height : 90 + (x * y) % 40;
            row[3 * x + 0] = uchar(std::clamp(b + noise, 0, 255));
            row[3 * x + 1] = uchar(std::clamp(g + noise, 0, 255));
            row[3 * x + 2] = uchar(std::clamp(r + noise, 0, 255));
        }
    }
    return picture;
}

struct Timing
{
    double best;
    double median;
};

// Runs `work` `perBatch` times per batch, `batches` times; milliseconds per call.
Timing timeIt(int batches, int perBatch, const std::function<void()> &work)
{
    work(); // warm up
    std::vector<double> perCall;
    for (int b = 0; b < batches; ++b) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < perBatch; ++i)
            work();
        const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
        perCall.push_back(spent.count() / perBatch);
    }
    std::sort(perCall.begin(), perCall.end());
    return {perCall.front(), perCall[perCall.size() / 2]};
}

bool writePpm(const QImage &picture, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QStringLiteral("P6\n%1 %2\n255\n").arg(picture.width()).arg(picture.height()).toLatin1());
    for (int y = 0; y < picture.height(); ++y) {
        const uchar *row = picture.constScanLine(y);
        for (int x = 0; x < picture.width(); ++x) {
            const char rgb[3] = {char(row[3 * x + 2]), char(row[3 * x + 1]), char(row[3 * x])};
            file.write(rgb, 3);
        }
    }
    return true;
}

// tjbench's compression and decompression times in milliseconds per picture,
// from its tabular output (performance in megapixels per second).
bool runTjbench(const QString &ppm, int pixels, double &encodeMs, double &decodeMs)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("tjbench"));
    if (program.isEmpty())
        return false;
    QProcess process;
    process.start(program, {ppm, QStringLiteral("90"), QStringLiteral("-subsamp"), QStringLiteral("420"),
                            QStringLiteral("-quiet"), QStringLiteral("-benchtime"), QStringLiteral("3"),
                            QStringLiteral("-warmup"), QStringLiteral("1"), QStringLiteral("-nowrite")});
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        return false;
    const QList<QByteArray> lines = process.readAllStandardOutput().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        // BGR (TD) 4:2:0 90 480 640 <comp Mpix/s> <ratio> <decomp Mpix/s>
        if (fields.size() >= 9 && fields[2] == "4:2:0") {
            const double megapixels = pixels / 1e6;
            encodeMs = megapixels / fields[6].toDouble() * 1000.0;
            decodeMs = megapixels / fields[8].toDouble() * 1000.0;
            return encodeMs > 0 && decodeMs > 0;
        }
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);

    // --- Resampling ----------------------------------------------------------
    QImage large = photoLike(2000, 1500);
    QImage target(480, 640, QImage::Format_BGR888);
    const Timing resample = timeIt(15, 20, [&] { tessary::ResampleBitmap(large, target); });
    std::printf("ResampleBitmap 2000x1500 -> 480x640: best %.3f ms, median %.3f ms (target < 3 ms) %s\n",
                resample.best, resample.median, resample.median < 3.0 ? "OK" : "MISSED");

    // --- JPEG store and load -------------------------------------------------
    const QImage photo = photoLike(480, 640);
    const QByteArray stored = tessary::SavePictureToBlob(photo);
    QImage loaded;
    const Timing encode = timeIt(15, 100, [&] { (void)tessary::SavePictureToBlob(photo); });
    const Timing decode = timeIt(15, 100, [&] { tessary::LoadPictureFromBlob(stored, loaded); });
    std::printf("SavePictureToBlob 480x640 q90: best %.3f ms, median %.3f ms (%lld bytes)\n", encode.best,
                encode.median, static_cast<long long>(stored.size()));
    std::printf("LoadPictureFromBlob 480x640:   best %.3f ms, median %.3f ms\n", decode.best, decode.median);

    QTemporaryDir dir;
    const QString ppm = dir.filePath(QStringLiteral("photo.ppm"));
    double tjEncode = 0;
    double tjDecode = 0;
    if (!dir.isValid() || !writePpm(photo, ppm) || !runTjbench(ppm, 480 * 640, tjEncode, tjDecode)) {
        std::printf("tjbench: not available or failed (package libjpeg-turbo-progs)\n");
        return 0;
    }
    const double ours = encode.median + decode.median;
    const double theirs = tjEncode + tjDecode;
    std::printf("tjbench same picture, q90 4:2:0: compress %.3f ms, decompress %.3f ms\n", tjEncode, tjDecode);
    std::printf("store+load %.3f ms vs tjbench %.3f ms: ratio %.2f (target <= 1.20) %s\n", ours, theirs,
                ours / theirs, ours / theirs <= 1.2 ? "OK" : "MISSED");
    std::printf("  encode ratio %.2f, decode ratio %.2f\n", encode.median / tjEncode, decode.median / tjDecode);
    return 0;
}
