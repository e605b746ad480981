// Figures for the colour touch-up on a 2000 x 1500 picture:
//  - AdjustColorComponents and AdjustIntensitySaturation with a window-less
//    progress sink (the pixel arithmetic alone);
//  - the same with the progress window "Progress" shown and stepped once per
//    row, to see what repainting the gauge adds.
// Run the release build; QT_QPA_PLATFORM=offscreen works without a display.

#include "data/progresssink.h"
#include "photo/touchup.h"
#include "photoui/touchdialog.h"

#include <QApplication>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

QImage photoLike(int width, int height)
{
    QImage picture(width, height, QImage::Format_BGR888);
    unsigned state = 12345;
    for (int y = 0; y < height; ++y) {
        uchar *row = picture.scanLine(y);
        for (int x = 0; x < 3 * width; ++x) {
            state = state * 1103515245u + 12345u;
            row[x] = uchar((x * 7 + y * 3 + int(state >> 28)) & 255);
        }
    }
    return picture;
}

// Median of `runs` timings in milliseconds; each run works on a fresh copy.
double medianMs(int runs, const QImage &source, const std::function<void(QImage &)> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QImage picture = source.copy();
        const auto start = std::chrono::steady_clock::now();
        work(picture);
        const auto end = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    // Keep freed pictures in the heap, so every run pays the same for its
    // 9 MB scratch picture instead of some runs faulting in fresh pages.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    QApplication app(argc, argv);
    const QImage source = photoLike(2000, 1500);
    const int runs = 15;

    using namespace tessary;
    // Warm up: the first large allocations of a process come fresh from the
    // system (page faults on first touch); later ones reuse the heap.
    for (int i = 0; i < 3; ++i) {
        CountingProgress progress;
        QImage p = source.copy();
        AdjustIntensitySaturation(p, 1, 1, progress);
    }
    const double copyOnly = medianMs(runs, source, [](QImage &p) { p = p.copy(); });
    const double colourAlone = medianMs(runs, source, [](QImage &p) {
        CountingProgress progress;
        AdjustColorComponents(p, 20, -30, 45, progress);
    });
    const double hueAlone = medianMs(runs, source, [](QImage &p) {
        CountingProgress progress;
        AdjustIntensitySaturation(p, 20, -30, progress);
    });
    QWidget owner;
    const double colourWindow =
        medianMs(runs, source, [&owner](QImage &p) { AdjustColorComponents(&owner, p, 20, -30, 45); });
    const double hueWindow =
        medianMs(runs, source, [&owner](QImage &p) { AdjustIntensitySaturation(&owner, p, 20, -30); });

    std::printf("touch-up of 2000 x 1500 (median of %d runs, ms)\n", runs);
    std::printf("  reference: copying the picture %7.2f\n", copyOnly);
    std::printf("  AdjustColorComponents      pixels only %7.2f   with progress window %7.2f\n", colourAlone,
                colourWindow);
    std::printf("  AdjustIntensitySaturation  pixels only %7.2f   with progress window %7.2f\n", hueAlone,
                hueWindow);
    return 0;
}
