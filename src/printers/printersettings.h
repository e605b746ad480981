#pragma once

// The settings of one printer on this computer: its calibration of the
// front and the back, and how it prints both sides. Kept in the program's
// settings store (a printer belongs to a station, not to the card
// database), under "Printers/<queue>/".

#include "printers/calibration.h"
#include "printers/ppdoptions.h"

#include <QString>

#include <optional>

namespace tessary {

struct PrinterSettings
{
    QString queue; // the CUPS queue's name
    SideCalibration front;
    SideCalibration back;
    // The two-sided option the operator chose; nothing: the printer's own
    // (defaultTwoSidedOption).
    std::optional<TwoSidedOption> twoSided;

    const SideCalibration &side(PrintSide s) const { return s == PrintSide::Front ? front : back; }
    SideCalibration &side(PrintSide s) { return s == PrintSide::Front ? front : back; }

    // Reads a queue's settings. A value missing, unreadable or out of range
    // gives 0 offset, 100 % scale, no turn, the printer's own two-sided
    // option. The front is never turned.
    static PrinterSettings load(const QString &queue);
    // Writes every value (the two-sided choice removed when there is none).
    // Values out of range are written as they are and read back as the
    // defaults. Throws tessary::Error when the store cannot be written.
    void save() const;

    bool operator==(const PrinterSettings &) const = default;
};

// What a card run on a printer takes from its settings, read once for the
// run: each side's calibration and how the job asks for both sides.
struct PrinterSetup
{
    PrinterSettings settings;
    TwoSidedOption twoSided; // chooseTwoSidedOption of the queue's PPD
    // The page the calibration card printed on, where the calibration was
    // measured: landscape on the printer's card size, else a portrait sheet.
    QPageLayout::Orientation measuredOn = QPageLayout::Landscape;

    // The calibration to combine into the painter for a card of `side` whose
    // rectangle on a page of `page` orientation is `cardRect` (painter units;
    // millimetres unless `unitsPerMmX/Y` say otherwise):
    //   painter.setWorldTransform(setup.calibration(side, rect, orientation), true);
    QTransform calibration(PrintSide side, const QRectF &cardRect, QPageLayout::Orientation page,
                           double unitsPerMmX = 1, double unitsPerMmY = 1) const
    {
        return calibrationTransform(calibrationForPage(settings.side(side), measuredOn, page), cardRect, unitsPerMmX,
                                    unitsPerMmY);
    }
};

// The setup of `queue`. Only for printing on that printer: previews and PDF
// files show the design itself.
PrinterSetup printerSetup(const QString &queue);

// The settings group of a queue: "Printers/" and the name with characters
// that the store would read as structure ('/', '\\', '%') percent-encoded.
QString printerSettingsGroup(const QString &queue);

} // namespace tessary
