#pragma once

// The three card report definitions and the sheets they print on. A card
// report is one detail band (the card cell) holding, in painting order, the
// background, the photo, seven row lines, seven data texts and seven
// captions; composition (composition.h) sets it up from the layout.

#include "card/layoutsettings.h"
#include "report/report.h"
#include "report/rowsource.h"

#include <QDate>
#include <QLocale>

#include <array>
#include <memory>

namespace tessary {

class Query;

// Print geometry goes to a printer; preview geometry to the preview. They
// differ only in style 3, which prints its sheet in landscape.
enum class CardMode { Print, Preview };

// How cards are placed on a sheet: the page as laid out, the cell (one
// column wide, one band high), the grid of cells and its top-left corner,
// all in millimetres.
struct CardSheet
{
    Paper paper = Paper::A6;
    double pageWidth = 105;  // as laid out
    double pageHeight = 148;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    double cellWidth = 88;
    double cellHeight = 65;
    int columns = 1;
    double columnPitch = 88;
    int rows = 2;
    double x0 = 8.5;
    double y0 = 13.5;

    int cardsPerSheet() const { return columns * rows; }
};

// The sheet for a style, paper (A4 or A6) and mode, with the fine offsets
// (tenths of a millimetre) applied: they move the grid right and down,
// except in style 3 printing, where the horizontal offset moves it down the
// landscape page and the vertical one moves it right.
CardSheet cardSheet(CardStyle style, bool a4, CardMode mode, int offsetX, int offsetY);

// A report page set-up and band size that place bands on exactly that grid.
void applyCardSheet(const CardSheet &sheet, PageSetup &page, ReportBand &band);

// A date as cards print it, "d/MMM, yyyy": the day without a leading zero,
// the locale's date separator, the abbreviated month name, a comma and a
// blank, and the four-digit year.
QString cardDateText(const QDate &date, const QLocale &locale = QLocale::system());
// The separator of the locale's short date format ("/" when it has none).
QString dateSeparator(const QLocale &locale = QLocale::system());

// A card report: the report, its band and the named elements.
class CardReport
{
public:
    virtual ~CardReport();
    CardReport(const CardReport &) = delete;
    CardReport &operator=(const CardReport &) = delete;

    CardStyle style() const { return m_style; }

    Report report;
    ReportBand *DetailBand1 = nullptr;
    ReportImage *QRImage1 = nullptr; // background
    ReportImage *qrPhoto = nullptr;
    std::array<ReportLine *, kCardRows> QRShape{};
    std::array<ReportDataText *, kCardRows> TntQRDBText{};
    std::array<ReportLabel *, kCardRows> TntQRLabel{};

    // Binds the report to `rows` (an open query; not opened or closed here)
    // and installs the photo hook: before each card is painted the member's
    // photo is loaded, the placeholder standing for a missing one. Laying
    // pages out needs no pictures (the engine reads them again for each
    // painted page), so while the rows are walked for the layout the photo
    // is left empty and a long run decodes each photo once.
    void bindRows(Query &rows);
    Query *rows() const { return m_rows; }

protected:
    struct RowPlace
    {
        double captionLeft, captionTop;
        double textLeft, textTop;
        double lineFrom, lineTo, lineY;
    };
    CardReport(CardStyle style, const QRectF &background, const QRectF &photo,
               const std::array<RowPlace, kCardRows> &rows);

private:
    void loadPhoto();

    class Rows;

    CardStyle m_style;
    Query *m_rows = nullptr;
    std::unique_ptr<Rows> m_source;
};

// Style 1: landscape card, photo at the left.
class TrptFmt1 : public CardReport
{
public:
    TrptFmt1();
};

// Style 2: landscape card, photo at the right.
class TrptFmt2 : public CardReport
{
public:
    TrptFmt2();
};

// Style 3: portrait card, photo at the top.
class TrptFmt3 : public CardReport
{
public:
    TrptFmt3();
};

// A fresh instance of the definition of `style`.
std::unique_ptr<CardReport> createCardReport(CardStyle style);

} // namespace tessary
