#pragma once

// The calibration card: a test card whose front and back show nested frames
// at 0, 0.5, 1, 1.5 and 2 mm inside the card's edge, a millimetre scale
// along each edge and a centre cross. Printed on a printer with that
// printer's calibration, it shows which frame the printer cuts off.

#include "printers/printersettings.h"

#include <QList>
#include <QPageLayout>
#include <QPageSize>
#include <QRectF>
#include <QString>

#include <optional>

class QPagedPaintDevice;
class QPainter;

namespace tessary {

// ISO/IEC 7810 ID-1, held landscape.
inline constexpr double kCardWidthMm = 85.60, kCardHeightMm = 53.98;
// The frames' distances from the card's edge.
inline constexpr double kCalibrationFrameInsets[] = {0, 0.5, 1, 1.5, 2};
// Width of every line of the card.
inline constexpr double kCalibrationLineMm = 0.1;

// Paints one side of the card in `cardMm` (the painter's coordinates are
// millimetres). Every line lies inside the card: the outer frame's outer
// edge is the card's edge. `note` is printed under the side's name.
void paintCalibrationCard(QPainter &painter, const QRectF &cardMm, PrintSide side, const QString &note = QString());

// How far a printer's page may differ from an ID-1 card and still be one.
inline constexpr double kCardSizeTolerance = 1.5; // mm
// The names card-printer drivers give the ID-1 page: CR80, 1XCR80, w155h244, Card.
const QStringList &cardPageSizeNames();
// The printer's card size among its page sizes: the first keyed or named as
// card drivers name the ID-1 page, else one within 1.5 mm of 85.60 x 53.98
// mm either way round. Nothing when none fits.
std::optional<QPageSize> cardStockSize(const QList<QPageSize> &sizes);

enum class SheetPaper { A6, A4 };

// Where the calibration card prints: the page, and the card on it (mm).
struct CalibrationSheet
{
    QPageLayout layout; // full page, zero margins
    QByteArray media;   // the printer's name for the page
    QRectF front;
    QRectF back;
    bool cardStock = false;
};

// On the printer's card size (landscape, the card centred on the page) when
// it has one; else on `paper` in its first card cell, the back in the
// mirrored cell so that it lies behind the front when the sheet is turned
// over on its long edge.
CalibrationSheet calibrationSheet(const std::optional<QPageSize> &cardSize, SheetPaper paper);

// Paints the front and the back page on `device` (set up by the caller to
// `sheet.layout`), each side through `settings`' calibration of it when
// given; nothing is calibrated without. False when the device cannot be
// painted on.
bool paintCalibrationPages(QPagedPaintDevice &device, const CalibrationSheet &sheet,
                           const PrinterSettings *settings, const QString &printerName = QString());

// The note each side carries: the printer and the calibration in use.
QString calibrationNote(const QString &printerName, const SideCalibration &calibration);

// The options of a calibration or card job for the printer's CUPS queue:
// media, print-scaling=none, and the two-sided option (or sides=one-sided).
std::vector<std::pair<QByteArray, QByteArray>> cardJobOptions(const QByteArray &media, const TwoSidedOption &twoSided);

// Prints the calibration card on `queue` with its stored calibration and
// two-sided option. False, with the reason in `error`, when the printer is
// unknown, refuses the page or the job cannot be queued.
bool printCalibrationCard(const QString &queue, SheetPaper paper, QString *error);
// As above with `setup` (settings not yet saved) instead of the stored ones.
bool printCalibrationCard(const QString &queue, SheetPaper paper, const PrinterSetup &setup, QString *error);

// The printer "Print Calibration Card" uses: the one last chosen in the
// printer settings while it is still installed, else the default printer;
// empty when there is none.
QString calibrationPrinter(const QStringList &installed, const QString &defaultPrinter);
void setCalibrationPrinter(const QString &queue);

} // namespace tessary
