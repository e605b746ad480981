#pragma once

// Pagination and painting, kept apart. layOutReport() walks the rows once
// and answers, per page, the positioned items; paintReportPage() draws any
// one page of that layout on any painter (printer, preview, PDF, image).
//
// Pictures are not kept in the layout: each placed band remembers its row,
// and painting a page moves the row source back to that row, runs the
// band's before-print hook again and reads the band's pictures then. So a
// report of many rows with a photo each holds only the pictures of the page
// being painted.

#include "report/report.h"

#include <QLineF>
#include <QPointF>
#include <QRectF>
#include <QVector>

#include <vector>

class QPainter;

namespace tessary {

// One thing to draw on a page. Boxes and lines are in millimetres from the
// page's top-left corner, already rounded to 0.01 mm.
struct LayoutItem
{
    enum class Kind { Text, Image, Line };
    Kind kind = Kind::Text;

    // Text: the box the text fills (after auto-size). Image: the box the
    // picture is stretched into. Line: the element's box (empty for frames).
    QRectF box;
    // Line: the stroke itself (a horizontal line at half the element's
    // height, or one side of a band frame).
    QLineF line;

    // Texts.
    QString text;
    ReportFont font;
    TextAlignment alignment = TextAlignment::Left;
    bool clip = false;        // not auto-sized: cut at the box's edges
    bool transparent = true;
    QColor background = Qt::white;

    // Lines and image frames.
    QColor penColor = Qt::black;
    double penWidth = 0.2; // mm
    FrameLines frame;      // images only

    // Images: null in the layout; filled by reportPageItems() and while
    // painting.
    QImage picture;

    // Where the item came from: the element (null for band frames) and the
    // index of its placed band on the page (-1 for page elements).
    const ReportElement *element = nullptr;
    int placement = -1;
};

// A band as placed on a page: which band, for which row, where.
struct PlacedBand
{
    const ReportBand *band = nullptr;
    int row = -1;
    QPointF origin; // mm, page coordinates of the band's top-left corner
    int column = 0; // 0-based
};

struct LayoutPage
{
    int number = 1; // 1-based
    std::vector<PlacedBand> bands;
    std::vector<LayoutItem> items; // in painting order
};

// All pages of one run of a report.
class ReportLayout
{
public:
    PageSetup page; // the set-up the report was laid out with
    std::vector<LayoutPage> pages;

    int pageCount() const { return int(pages.size()); }
    QSizeF pageSize() const { return page.pageSize(); } // mm, as laid out
};

// Lays out `report`: page elements on every page, then each detail band
// for each row of the row source in order, running the band's before-print
// hook and the data texts' print hooks as the row is placed. Always at
// least one page. Rows flow down a column from the top margin; a band fits
// while the space left above the bottom margin is at least its height;
// otherwise it goes to the top of the next column (left edge = previous
// left + column width + gap), and after the last column to a new page.
// Errors from the row source or the hooks propagate.
ReportLayout layOutReport(Report &report);

// The items of page `page` (0-based) with the pictures of image items read
// (bands' hooks run again for their rows).
std::vector<LayoutItem> reportPageItems(Report &report, const ReportLayout &layout, int page);

// Draws page `page` (0-based) on `painter`, whose device's top-left corner
// is the page's top-left corner; millimetres are converted with the
// device's logical resolution. Nothing is filled outside the items: the
// caller clears the page first if it needs a white background.
void paintReportPage(Report &report, const ReportLayout &layout, int page, QPainter &painter);

// Draws items already fetched (reportPageItems) at `dotsPerMmX/Y`.
void paintLayoutItems(const std::vector<LayoutItem> &items, QPainter &painter, double dotsPerMmX, double dotsPerMmY);

// The size, in millimetres, of `text` printed on one line in `font`, as the
// auto-size rule measures it.
QSizeF measureText(const ReportFont &font, const QString &text);

// Rounds a length in millimetres to whole hundredths.
double roundMm(double mm);

} // namespace tessary
