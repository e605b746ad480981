#pragma once

// A printer's calibration of one card side as a transform on the painter.
// Qt Gui only.

#include <QPageLayout>
#include <QRectF>
#include <QSizeF>
#include <QTransform>

namespace tessary {

enum class PrintSide { Front, Back };

// Limits of the stored values: offsets in tenths of a millimetre, scales in
// tenths of a percent.
inline constexpr int kCalibrationOffsetMin = -50, kCalibrationOffsetMax = 50;
inline constexpr int kCalibrationScaleMin = 950, kCalibrationScaleMax = 1050;
inline constexpr int kCalibrationScaleNeutral = 1000;

// One side's correction for one printer, as the operator sees the printed
// side held upright (its text reading normally): the card is scaled about
// its centre, then moved by the offset (right and down are positive), and
// last, when `turned`, turned by 180 degrees about its centre for a printer
// that prints the back upside down. The offset is never scaled: a card moves
// by exactly the offset.
struct SideCalibration
{
    int offsetX = 0; // tenths of a millimetre, -50 ... 50
    int offsetY = 0;
    int scaleX = kCalibrationScaleNeutral; // tenths of a percent, 950 ... 1050
    int scaleY = kCalibrationScaleNeutral;
    bool turned = false; // only the back is ever turned

    double offsetXMm() const { return offsetX / 10.0; }
    double offsetYMm() const { return offsetY / 10.0; }
    double scaleXFactor() const { return scaleX / 1000.0; }
    double scaleYFactor() const { return scaleY / 1000.0; }
    bool isIdentity() const;

    bool operator==(const SideCalibration &) const = default;
};

// A calibration measured on a page of one orientation, for a page of the
// other. CUPS lays a landscape page onto portrait media turned a quarter
// turn (a point (x, y) mm of the landscape page lands at (y, H - x)), so a
// printer's error seen on one page shows turned on the other: a landscape
// page's offsets (x, y) are (y, -x) on a portrait page, and the scales
// change places. The same orientation gives the calibration unchanged.
SideCalibration calibrationForPage(const SideCalibration &calibration, QPageLayout::Orientation measuredOn,
                                   QPageLayout::Orientation page);

// The calibration of a card whose rectangle is `cardRect` in the painter's
// coordinates (device units, points or millimetres: any unit, even a
// different one per axis). Combine it into the painter before painting the
// card: painter.setWorldTransform(calibrationTransform(c, rect), true).
QTransform calibrationTransform(const SideCalibration &calibration, const QRectF &cardRect, double unitsPerMmX,
                                double unitsPerMmY);
// As above with the painter in millimetres.
QTransform calibrationTransform(const SideCalibration &calibration, const QRectF &cardRectMm);

} // namespace tessary
