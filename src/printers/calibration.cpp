#include "printers/calibration.h"

namespace tessary {

bool SideCalibration::isIdentity() const
{
    return offsetX == 0 && offsetY == 0 && scaleX == kCalibrationScaleNeutral && scaleY == kCalibrationScaleNeutral &&
           !turned;
}

SideCalibration calibrationForPage(const SideCalibration &c, QPageLayout::Orientation measuredOn,
                                   QPageLayout::Orientation page)
{
    if (measuredOn == page)
        return c;
    SideCalibration turned = c;
    turned.scaleX = c.scaleY;
    turned.scaleY = c.scaleX;
    if (measuredOn == QPageLayout::Landscape) {
        turned.offsetX = c.offsetY;
        turned.offsetY = -c.offsetX;
    } else {
        turned.offsetX = -c.offsetY;
        turned.offsetY = c.offsetX;
    }
    return turned;
}

QTransform calibrationTransform(const SideCalibration &calibration, const QRectF &cardRect, double unitsPerMmX,
                                double unitsPerMmY)
{
    // Read right to left as the points go: about the centre, scale; move by
    // the offset; turn. QTransform composes left to right (p * A * B).
    const QPointF centre = cardRect.center();
    QTransform t = QTransform::fromTranslate(-centre.x(), -centre.y());
    t *= QTransform::fromScale(calibration.scaleXFactor(), calibration.scaleYFactor());
    t *= QTransform::fromTranslate(calibration.offsetXMm() * unitsPerMmX, calibration.offsetYMm() * unitsPerMmY);
    if (calibration.turned)
        t *= QTransform::fromScale(-1, -1);
    t *= QTransform::fromTranslate(centre.x(), centre.y());
    return t;
}

QTransform calibrationTransform(const SideCalibration &calibration, const QRectF &cardRectMm)
{
    return calibrationTransform(calibration, cardRectMm, 1.0, 1.0);
}

} // namespace tessary
