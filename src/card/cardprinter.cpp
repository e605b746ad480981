#include "card/cardprinter.h"

#include "data/errors.h"
#include "data/prompts.h"
#include "printers/calibrationcard.h"
#include "printers/printersettings.h"
#include "report/output.h"
#include "report/printing.h"
#include "report/spool.h"

#include <QFile>
#include <QPagedPaintDevice>
#include <QPrinter>
#include <QPrinterInfo>

#include <cups/cups.h>

namespace tessary {

namespace {

// The driver's own size of `size` in points (upright as defined): the one of
// the sizes CUPS announces for the queue (to 0.01 mm) that Qt rounded to
// whole points, else Qt's.
QSizeF driverPagePoints(const QString &printer, const QPageSize &size)
{
    QSizeF points = size.size(QPageSize::Point);
    const QByteArray queue = printer.section(QLatin1Char('/'), 0, 0).toLocal8Bit();
    if (cups_dest_t *dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.constData(), nullptr)) {
        if (cups_dinfo_t *info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest)) {
            const int count = cupsGetDestMediaCount(CUPS_HTTP_DEFAULT, dest, info, CUPS_MEDIA_FLAGS_DEFAULT);
            const QSizeF rounded = points;
            for (int i = 0; i < count; ++i) {
                cups_size_t media{};
                if (!cupsGetDestMediaByIndex(CUPS_HTTP_DEFAULT, dest, info, i, CUPS_MEDIA_FLAGS_DEFAULT, &media))
                    continue;
                const QSizeF exact(Distance::mm(media.width / 100.0).toPoints(),
                                   Distance::mm(media.length / 100.0).toPoints());
                // Qt rounds each side to the nearest whole point.
                if (std::abs(exact.width() - rounded.width()) <= 0.5 && std::abs(exact.height() - rounded.height()) <= 0.5) {
                    points = exact;
                    break;
                }
            }
            cupsFreeDestInfo(info);
        }
        cupsFreeDests(1, dest);
    }
    return points;
}

// Rewrites the page boxes of a painted PDF job file.
bool setPdfFilePageBoxes(const QString &fileName, QSizeF points)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray pdf = file.readAll();
    file.close();
    if (!setPdfPageBoxes(pdf, points) || !file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(pdf) == pdf.size() && file.flush();
}

void setUpOrThrow(QPrinter &printer, const QPageLayout &layout)
{
    if (!setUpPrinterPage(printer, layout))
        throw Error(QStringLiteral("The printer %1 refuses the page %2").arg(printer.printerName(), layout.pageSize().name()));
}

PagePainter cardPainter(const CardJob &cards, const RenderOptions &render, const QTransform &placeMm)
{
    return [&cards, render, placeMm](QPagedPaintDevice &device, const std::function<bool(int, int)> &pageDone) {
        return paintCardPages(cards.design, cards.pages, *cards.records, render, device, placeMm, pageDone);
    };
}

// The run's options with the printer's calibration of each side: only on a
// printer, never for a file. A printer that turns the back turns the whole
// page: on a sheet each back goes where the page's turn brings its cell.
RenderOptions calibratedOptions(const CardJob &cards, const QPrinter &printer, const PrinterSetup &setup)
{
    RenderOptions render = cards.options;
    if (printer.outputFormat() != QPrinter::NativeFormat)
        return render;
    const QPageLayout::Orientation page = cards.pages.stock.orientation;
    const QSizeF pageMm = cards.pages.pageSizeMm();
    const bool sheet = !cards.pages.stock.cardPrinter;
    render.cardTransform = [setup, page, pageMm, sheet](const CardPlacement &card, const QRectF &cardMm) {
        const PrintSide side = card.side == 0 ? PrintSide::Front : PrintSide::Back;
        QTransform t = setup.calibration(side, cardMm, page);
        if (sheet && side == PrintSide::Back && setup.settings.back.turned) {
            const QPointF c = cardMm.center();
            t *= QTransform::fromTranslate(pageMm.width() - 2 * c.x(), pageMm.height() - 2 * c.y());
        }
        return t;
    };
    return render;
}

void send(const CardJob &cards, QPrinter &printer, JobOptions options, const QTransform &placeMm, QWidget *owner)
{
    if (!cards.title.isEmpty())
        printer.setDocName(cards.title);
    const bool native = printer.outputFormat() == QPrinter::NativeFormat;
    const PrinterSetup setup = native ? printerSetup(printer.printerName()) : PrinterSetup();
    // Both sides: the job asks the driver for them where it can.
    if (cards.sides() > 1 && setup.twoSided.printsBothSides()) {
        options.extra.emplace_back(setup.twoSided.option, setup.twoSided.choice);
        options.bothSides = true;
    }
    const RenderOptions render = calibratedOptions(cards, printer, setup);
    if (printPages(printer, cards.pageCount(), options, cardPainter(cards, render, placeMm), owner) ==
        PrintResult::Failed)
        throw Error(QStringLiteral("The cards could not be sent to the printer"));
}

void printOnCardPrinter(const CardJob &cards, QPrinter &printer, QWidget *owner)
{
    const QString name = printer.printerName();
    const std::optional<QPageSize> cardSize = cardStockSize(QPrinterInfo::printerInfo(name).supportedPageSizes());
    if (!cardSize) {
        ShowErrorBox(QStringLiteral("The printer %1 has no ID-1 card size.").arg(name));
        return;
    }
    if (cards.sides() > 1 && !twoSidedOption(name).printsBothSides()) {
        if (!ConfirmYesNo(QStringLiteral("The printer %1 prints one side only. Print the fronts only?").arg(name)))
            return;
        printOnCardPrinter(frontsOnly(cards), printer, owner);
        return;
    }
    // The page is the driver's page as it defines it, so that no filter
    // turns or scales it; a card held the other way round is turned onto it
    // a quarter turn anticlockwise, as CUPS would turn it.
    const QPageLayout layout(*cardSize, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    setUpOrThrow(printer, layout);
    // Qt lays the page out in whole points (a CR80 page of 153.6 x 241.5 pt
    // becomes 154 x 242): the job's page boxes are written again at the
    // driver's exact size, and the card is centred on that.
    const QSizeF exact = driverPagePoints(name, *cardSize);
    const QSizeF rounded = printer.pageLayout().fullRectPoints().size();
    const double mmPerPoint = Distance::points(1).toMm();
    const QSizeF page = exact * mmPerPoint;
    const QSizeF card = cards.pages.pageSizeMm();
    // Qt measures its page from the bottom edge of the rounded page.
    const double rise = (rounded.height() - exact.height()) * mmPerPoint;
    QTransform place;
    if ((card.width() > card.height()) == (page.width() > page.height()))
        place = QTransform::fromTranslate((page.width() - card.width()) / 2, (page.height() - card.height()) / 2 + rise);
    else
        place = QTransform(0, -1, 1, 0, (page.width() - card.height()) / 2,
                           page.height() - (page.height() - card.width()) / 2 + rise);
    JobOptions options;
    options.media = cardSize->key().toUtf8();
    options.extra = {{"print-scaling", "none"}};
    options.beforeQueue = [exact](const QString &file) { return setPdfFilePageBoxes(file, exact); };
    send(cards, printer, options, place, owner);
}

} // namespace

void printCards(const CardJob &cards, QPrinter &printer, QWidget *owner)
{
    if (cards.pages.stock.cardPrinter && printer.outputFormat() == QPrinter::NativeFormat) {
        printOnCardPrinter(cards, printer, owner);
        return;
    }
    setUpOrThrow(printer, cards.pages.stock.qPageLayout());
    JobOptions options;
    options.media = cards.pages.stock.qPageSize().key().toUtf8();
    options.landscape = cards.pages.stock.orientation == QPageLayout::Landscape;
    send(cards, printer, options, QTransform(), owner);
}

void CardDocument::paintPage(int page, QPainter &painter)
{
    paintCardPage(m_cards.design, m_cards.pages, page, *m_cards.records, m_cards.options, painter);
}

bool writeCardsPdfFile(const CardJob &cards, const QString &fileName, QString *error)
{
    return writeFileReplacing(
        fileName,
        [&](QIODevice &file, QString *) {
            return writeCardsPdf(cards.design, cards.pages, *cards.records, cards.options, file, cards.title);
        },
        error);
}

} // namespace tessary
