#pragma once

// The card renderer: places the cards of any stock on its pages and paints
// each card's elements. One renderer serves the preview, the printer and
// PDF files.

#include "cardmodel/design.h"
#include "cardmodel/problems.h"

#include <QPointF>
#include <QTransform>

#include <functional>

class QIODevice;
class QPagedPaintDevice;
class QPainter;

namespace tessary {

// A card as placed on a page.
struct CardPlacement
{
    int record = -1; // index into the run's records
    int side = 0;    // index into the design's sides
    QPointF origin;  // the cell's top-left corner, page mm
    int column = 0;
};

struct CardPage
{
    int side = 0; // the side its cards show: 0 the fronts, 1 the backs
    std::vector<CardPlacement> cards;
};

// All pages of a run: always at least one (an empty run gives one blank page).
struct CardPages
{
    Stock stock;
    std::vector<CardPage> pages;

    int pageCount() const { return int(pages.size()); }
    int cardCount() const;
    QSizeF pageSizeMm() const { return stock.pageSizeMm(); }
};

// Cards of `count` records, cell by cell: down a column, then the next
// column, then a new page. With two sides each page of fronts is followed by
// a page of the same cards' backs, each in the cell that lies behind its
// front when the sheet is turned over on its long edge (the page's
// long edge as laid out: a page taller than wide is mirrored left to right,
// a wider one top to bottom), so N pages of fronts give 2N pages. `cardMm`
// is the card's size within its cell (the cell's size when empty); a card
// that fills its page (a card printer's) simply alternates front and back.
CardPages placeCards(const Stock &stock, int count, int sides = 1, QSizeF cardMm = QSizeF());

// Where the back of a card whose front stands at `front` lies on the page
// that follows it: the card turned over with the sheet on its long edge.
QPointF mirroredCardOrigin(const QSizeF &pageMm, QPointF front, const QSizeF &cardMm);

struct RenderOptions
{
    // Decodes a member's stored photo (empty bytes included) into a picture.
    std::function<QImage(const QByteArray &)> decodePhoto;
    QLocale locale = QLocale::system();
    // Collects, when set, what the run could not print as designed.
    CardProblems *problems = nullptr;
    // When set, each card is painted through the transform it answers, a
    // transform of page millimetres given the card as placed and its
    // rectangle on the page: a printer's calibration. Previews and PDF files
    // leave it unset and show the design itself.
    std::function<QTransform(const CardPlacement &card, const QRectF &cardMm)> cardTransform;
};

// What page `page` draws, in painting order: each card's elements for its
// record. With `pictures` the photos and pictures are read. On a card
// printer's stock everything but pictures is kept inside the card, and
// pictures that reach the card's edge are bled past it.
std::vector<CardItem> pageItems(const CardDesign &design, const CardPages &pages, int page,
                                const MemberRecords &records, bool pictures, const RenderOptions &options);

// Paints items at `dotsPerMmX/Y`, each by the element it came from.
void paintCardItems(const std::vector<CardItem> &items, QPainter &painter, double dotsPerMmX, double dotsPerMmY);

// Paints page `page` on `painter` (millimetres from the device's logical
// resolution), placed on the device's page by `placeMm`, a transform of
// millimetres (a card centred on a larger page, or turned onto a page held
// the other way round).
void paintCardPage(const CardDesign &design, const CardPages &pages, int page, const MemberRecords &records,
                   const RenderOptions &options, QPainter &painter, const QTransform &placeMm = QTransform());

// Paints every page on `device`, set up by the caller. After each page
// `pageDone(done, total)`; false stops there. Answers the pages painted, or
// -1 when the device could not be started.
int paintCardPages(const CardDesign &design, const CardPages &pages, const MemberRecords &records,
                   const RenderOptions &options, QPagedPaintDevice &device, const QTransform &placeMm = QTransform(),
                   const std::function<bool(int done, int total)> &pageDone = {});

// Writes the pages as a PDF document into `out`, every page at the stock's
// page size to 0.01 mm (PDF writers round pages to whole points; the page
// boxes are written again at their exact size). False when it fails.
bool writeCardsPdf(const CardDesign &design, const CardPages &pages, const MemberRecords &records,
                   const RenderOptions &options, QIODevice &out, const QString &title = QString());

// Copies the PDF document `in` (read from its start) to `out` with every
// page box (/MediaBox) set to `points` and its cross-reference table
// mended, a block at a time. False when the document is not one it can mend
// (or cannot be read or written).
bool writePdfWithPageBoxes(QIODevice &in, QSizeF points, QIODevice &out);
// The same in place.
bool setPdfPageBoxes(QByteArray &pdf, QSizeF points);

} // namespace tessary
