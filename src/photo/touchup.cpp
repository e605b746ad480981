#include "photo/touchup.h"

#include "data/progresssink.h"
#include "photo/picture.h"

#include <algorithm>
#include <array>

namespace tessary {

namespace {

uchar clampChannel(int value)
{
    return uchar(std::clamp(value, 0, 255));
}

// The shared frame: the range is set before anything changes (so a picture
// without rows is refused untouched), the scratch picture T gets P's size,
// each row of T is computed from the same row of P, one step per row, and T
// replaces P only when every row is done.
template <class PixelFormula>
void adjustRows(QImage &picture, ProgressSink &progress, PixelFormula formula)
{
    QImage source = To24Bits(picture);
    const int h = source.height();
    const int w = source.width();
    progress.SetRange(h - 1);

    QImage adjusted(w, h, QImage::Format_BGR888);
    for (int y = 0; y < h; ++y) {
        const uchar *from = source.constScanLine(y);
        uchar *to = adjusted.scanLine(y);
        for (int x = 0; x < w; ++x, from += 3, to += 3)
            formula(from, to); // blue, green, red
        progress.StepIt();
    }
    picture = std::move(adjusted);
}

// (percent + 100) * value div 100 for every channel value, clamped.
std::array<uchar, 256> componentTable(int percent)
{
    std::array<uchar, 256> table{};
    for (int value = 0; value < 256; ++value)
        table[size_t(value)] = clampChannel((percent + 100) * value / 100);
    return table;
}

} // namespace

void AdjustColorComponents(QImage &picture, int red, int green, int blue, ProgressSink &progress)
{
    // The quotient depends on the channel value alone: one table per channel
    // gives exactly the integer formula without a division per pixel.
    const std::array<uchar, 256> redTable = componentTable(red);
    const std::array<uchar, 256> greenTable = componentTable(green);
    const std::array<uchar, 256> blueTable = componentTable(blue);
    adjustRows(picture, progress, [&](const uchar *from, uchar *to) {
        to[0] = blueTable[from[0]];
        to[1] = greenTable[from[1]];
        to[2] = redTable[from[2]];
    });
}

void AdjustIntensitySaturation(QImage &picture, int intensity, int saturation, ProgressSink &progress)
{
    const double i = intensity + 100;
    const double s = saturation + 100;
    adjustRows(picture, progress, [i, s](const uchar *from, uchar *to) {
        const double b = from[0];
        const double g = from[1];
        const double r = from[2];
        const double y = 0.299 * r + 0.587 * g + 0.114 * b;
        const double cb = (b - y) * 0.565;
        const double cr = (r - y) * 0.713;
        const double y2 = i * y / 100;
        const double cb2 = s * cb / 100;
        const double cr2 = s * cr / 100;
        // The conversion to int truncates toward zero; then clamp.
        to[2] = clampChannel(int(y2 + 1.403 * cr2));
        to[1] = clampChannel(int(y2 - 0.344 * cb2 - 0.714 * cr2));
        to[0] = clampChannel(int(y2 + 1.77 * cb2));
    });
}

} // namespace tessary
