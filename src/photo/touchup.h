#pragma once

#include <QImage>

namespace tessary {

class ProgressSink;

// The two colour adjustments of the touch-up dialog, on a picture in place.
// Percentages run from -100 (takes a quantity to nothing) through 0 (leaves
// it) to 100 (doubles it). Both bring the picture to 24 bits, give
// `progress` the range (rows - 1) and advance it once per pixel row. A
// picture without rows is refused with the progress range error
// (tessary::Error) and left unchanged. A computed channel value outside
// 0..255 is clamped to that range.

// Each channel times (its percentage + 100), divided by 100 in integer
// arithmetic (quotient truncated).
void AdjustColorComponents(QImage &picture, int red, int green, int blue, ProgressSink &progress);

// Luma and colour differences in double precision: intensity scales the luma
// Y = 0.299 R + 0.587 G + 0.114 B, saturation scales Cb = (B - Y) * 0.565
// and Cr = (R - Y) * 0.713; the channels are rebuilt with
// R = Y' + 1.403 Cr', G = Y' - 0.344 Cb' - 0.714 Cr', B = Y' + 1.77 Cb',
// each truncated toward zero. The rounded constants mean that even 0 % on
// both is not always an exact copy.
void AdjustIntensitySaturation(QImage &picture, int intensity, int saturation, ProgressSink &progress);

} // namespace tessary
