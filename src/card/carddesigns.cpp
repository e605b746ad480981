#include "card/carddesigns.h"

#include <array>
#include <functional>

namespace tessary {

namespace {

struct RowPlace
{
    double captionLeft, captionTop;
    double textLeft, textTop;
    double lineFrom, lineTo, lineY;
};

struct StylePlaces
{
    QRectF background;
    QRectF photo;
    std::array<RowPlace, kCardRows> rows;
    double cardWidth, cardHeight; // the card cell's width; the card's height
};

// Where each style puts its elements, in millimetres from the card's corner.
const StylePlaces &placesOf(CardStyle style)
{
    static const StylePlaces kStyle1{QRectF(0, 0, 87.99, 56.00), QRectF(3.53, 21.17, 21.02, 27.93),
                                     {{{26.84, 16.44, 45.17, 15.50, 44.10, 83.64, 20.06},
                                       {26.84, 21.54, 45.17, 20.60, 44.10, 83.64, 25.36},
                                       {26.84, 26.84, 45.17, 25.89, 44.10, 83.64, 30.65},
                                       {26.84, 32.32, 45.17, 31.18, 44.10, 83.64, 35.94},
                                       {26.84, 37.42, 45.17, 36.66, 44.10, 83.64, 41.23},
                                       {26.84, 42.90, 45.17, 41.77, 44.10, 83.64, 46.52},
                                       {26.84, 48.00, 45.17, 47.06, 44.10, 83.64, 51.81}}},
                                     88, 56};
    static const StylePlaces kStyle2{QRectF(-0.20, -0.20, 88.00, 55.00), QRectF(61.74, 19.99, 21.02, 27.93),
                                     {{{1.47, 16.46, 19.11, 15.29, 18.81, 58.36, 20.06},
                                       {1.47, 21.75, 19.11, 20.58, 18.81, 58.36, 25.36},
                                       {1.47, 27.05, 19.11, 25.87, 18.81, 58.36, 30.65},
                                       {1.47, 32.34, 19.11, 31.16, 18.81, 58.36, 35.94},
                                       {1.47, 37.63, 19.11, 36.45, 18.81, 58.36, 41.23},
                                       {1.47, 42.92, 19.11, 41.75, 18.81, 58.36, 46.52},
                                       {1.47, 48.21, 19.11, 47.04, 18.81, 58.36, 51.81}}},
                                     88, 56};
    static const StylePlaces kStyle3{QRectF(0, 0, 56.00, 88.00), QRectF(16.46, 17.64, 21.02, 27.93),
                                     {{{2.94, 46.74, 21.46, 46.30, 21.17, 54.09, 50.80},
                                       {2.94, 52.03, 21.46, 51.59, 21.17, 54.09, 56.09},
                                       {2.94, 57.33, 21.46, 56.89, 21.17, 54.09, 61.38},
                                       {2.94, 62.62, 21.46, 61.59, 21.17, 54.09, 66.67},
                                       {2.94, 67.91, 21.46, 67.47, 21.17, 54.09, 71.97},
                                       {2.94, 73.20, 21.46, 72.17, 21.17, 54.09, 77.26},
                                       {2.94, 78.49, 21.46, 78.05, 21.17, 54.09, 82.55}}},
                                     56, 88};
    switch (style) {
    case CardStyle::Style2: return kStyle2;
    case CardStyle::Style3: return kStyle3;
    case CardStyle::Style1: break;
    }
    return kStyle1;
}

// Height of a row line's box; the line is drawn at half of it.
constexpr double kLineBox = 0.4;
// The size captions print at in custom mode.
constexpr double kCustomCaptionPoints = 7;

bool isDateColumn(const QString &column)
{
    return column.compare(QLatin1String("datejoin"), Qt::CaseInsensitive) == 0 ||
           column.compare(QLatin1String("expiry"), Qt::CaseInsensitive) == 0;
}

MmBox box(double l, double t, double w, double h)
{
    return MmBox{Distance::mm(l), Distance::mm(t), Distance::mm(w), Distance::mm(h)};
}

// A text from its left edge to the card's right edge, one line of its font high.
void cutAtCardEdge(TextElement &text, double left, double top, double cardWidth)
{
    text.box = box(left, top, std::max(0.0, cardWidth - left), measureCardText(text.font, QStringLiteral("\u00C1g")).height());
}

CardFont fontOf(const QFont &font, const QColor &color)
{
    CardFont f;
    f.family = font.family();
    f.pointSize = font.pointSizeF() > 0 ? font.pointSizeF() : 10;
    f.color = color;
    f.bold = font.bold();
    f.italic = font.italic();
    f.underline = font.underline();
    return f;
}

} // namespace

QString stockId(CardPaper paper)
{
    switch (paper) {
    case CardPaper::A4: return kStockA4;
    case CardPaper::Id1: return kStockId1;
    case CardPaper::A6: break;
    }
    return kStockA6;
}

std::optional<CardPaper> paperFromStockId(const QString &id)
{
    for (CardPaper p : {CardPaper::A6, CardPaper::A4, CardPaper::Id1})
        if (stockId(p) == id)
            return p;
    return std::nullopt;
}

Stock layoutStock(CardStyle style, CardPaper paper, CardMode mode, int offsetX, int offsetY)
{
    if (paper == CardPaper::Id1)
        return id1Stock(style == CardStyle::Style3 ? QPageLayout::Portrait : QPageLayout::Landscape);
    const bool a4 = paper == CardPaper::A4;
    const double dx = offsetX / 10.0;
    const double dy = offsetY / 10.0;
    Stock s = a4 ? a4Stock() : a6Stock();
    if (style != CardStyle::Style3) {
        s.originX = s.originX + Distance::mm(dx);
        s.originY = s.originY + Distance::mm(dy);
        return s;
    }
    // Style 3: portrait cards side by side on a landscape sheet. The preview
    // lays the sheet out as an upright page of the same size; the printer
    // gets the real sheet turned, which swaps the offsets' effect.
    const bool print = mode == CardMode::Print;
    s.cellWidth = Distance::mm(56);
    s.cellHeight = Distance::mm(a4 ? 98 : 88);
    s.columns = a4 ? 5 : 2;
    s.rows = a4 ? 2 : 1;
    s.pitchX = Distance::mm(a4 ? 56 : 65);
    s.pitchY = s.cellHeight;
    s.originX = Distance::mm((a4 ? 8.5 : 13.5) + (print ? dy : dx));
    s.originY = Distance::mm((a4 ? 12 : 8.5) + (print ? dx : dy));
    if (print) {
        s.orientation = QPageLayout::Landscape;
    } else {
        s.paper = QPageSize::Custom;
        s.paperWidth = Distance::mm(a4 ? 297 : 148);
        s.paperLength = Distance::mm(a4 ? 210 : 105);
    }
    return s;
}

namespace {

// The ids of a side's rows: lines, data texts, captions.
struct RowIds
{
    const char *line, *data, *caption;
};

// The seven rows of a side: a line under each used row, the data texts and
// the captions, with the custom text options.
void addRows(CardSide &side, const LayoutSettings &settings, const StylePlaces &places, const RowIds &ids,
             const std::function<const CatalogueEntry *(int)> &entryOf,
             const std::array<QString, kCardRows> &captions, double cardWidth)
{
    const QFont sampleFont = settings.sampleFont();
    const QColor sampleColor = settings.sampleColor();
    for (int i = 0; i < kCardRows; ++i) {
        const RowPlace &r = places.rows[size_t(i)];
        auto &line = side.add<LineElement>(QString::fromLatin1(ids.line).arg(i + 1));
        line.box = box(r.lineFrom, r.lineY - kLineBox / 2, r.lineTo - r.lineFrom, kLineBox);
        if (settings.custom) {
            line.color = sampleColor;
            line.enabled = settings.lines;
        }
        // A row without a field (or naming no catalogue row) prints no data
        // and no line.
        if (!entryOf(i))
            line.enabled = false;
    }
    for (int i = 0; i < kCardRows; ++i) {
        const RowPlace &r = places.rows[size_t(i)];
        auto &data = side.add<DataText>(QString::fromLatin1(ids.data).arg(i + 1));
        double left = r.textLeft;
        if (settings.custom) {
            left = settings.position;
            data.font = fontOf(sampleFont, sampleColor);
            data.font.bold = true;
        }
        if (const CatalogueEntry *entry = entryOf(i)) {
            data.field = entry->fname;
            data.dateForm = isDateColumn(entry->fname);
        } else {
            data.enabled = false;
        }
        cutAtCardEdge(data, left, r.textTop, cardWidth);
    }
    for (int i = 0; i < kCardRows; ++i) {
        const RowPlace &r = places.rows[size_t(i)];
        auto &caption = side.add<CaptionText>(QString::fromLatin1(ids.caption).arg(i + 1));
        caption.font.pointSize = 8;
        if (settings.custom) {
            caption.font = CardFont{sampleFont.family(), kCustomCaptionPoints, sampleColor, true, false, false};
            caption.enabled = settings.captions;
        }
        caption.text = captions[size_t(i)];
        cutAtCardEdge(caption, r.captionLeft, r.captionTop, cardWidth);
    }
}

void addBarcode(CardSide &side, const BarcodeElement &barcode)
{
    if (barcode.enabled && !barcode.field.isEmpty())
        side.elements.push_back(barcode.clone());
}

// The back: its background over the whole card, its rows where the photo
// leaves them room on the front (beside a landscape card's photo place, under
// a portrait card's), and its barcode.
CardSide backSide(const LayoutSettings &settings, double cardWidth, double cardHeight)
{
    CardSide back(QStringLiteral("back"));
    auto &background = back.add<PictureElement>(QStringLiteral("backImage"));
    background.box = box(0, 0, cardWidth, cardHeight);
    if (settings.back.printBackground)
        background.image = settings.back.background;
    const StylePlaces &places = placesOf(settings.style == CardStyle::Style3 ? CardStyle::Style3 : CardStyle::Style2);
    addRows(back, settings, places, {"backShape%1", "backText%1", "backLabel%1"},
            [&settings](int row) { return settings.backRowEntry(row); }, settings.back.rowCaption, cardWidth);
    addBarcode(back, settings.back.barcode);
    return back;
}

} // namespace

CardDesign layoutDesign(const LayoutSettings &settings, CardPaper paper)
{
    const StylePlaces &places = placesOf(settings.style);
    const bool id1 = paper == CardPaper::Id1;
    const bool upright = settings.style == CardStyle::Style3;
    CardDesign design;
    design.name = QStringLiteral("Style %1").arg(int(settings.style) + 1);
    design.width = id1 ? (upright ? kId1Width : kId1Length) : Distance::mm(places.cardWidth);
    design.height = id1 ? (upright ? kId1Length : kId1Width) : Distance::mm(places.cardHeight);
    const double cardWidth = design.width.toMm();
    CardSide &front = design.front();

    auto &background = front.add<PictureElement>(QStringLiteral("QRImage1"));
    background.box = id1 ? box(0, 0, design.width.toMm(), design.height.toMm()) : MmBox::fromRectF(places.background);
    if (settings.printBackground)
        background.image = settings.background;
    front.add<PhotoElement>(QStringLiteral("qrPhoto")).box = MmBox::fromRectF(places.photo);
    addRows(front, settings, places, {"QRShape%1", "TntQRDBText%1", "TntQRLabel%1"},
            [&settings](int row) { return settings.rowEntry(row); }, settings.rowCaption, cardWidth);
    addBarcode(front, settings.frontBarcode);
    if (settings.printBack)
        design.sides.push_back(backSide(settings, cardWidth, design.height.toMm()));
    return design;
}

std::vector<CardDesign> builtInDesigns()
{
    LayoutSettings s;
    s.catalogue = {{1, QStringLiteral("staffno"), QStringLiteral("ID"), QStringLiteral("ID")},
                   {2, QStringLiteral("name"), QStringLiteral("Name"), QStringLiteral("Name")},
                   {3, QStringLiteral("cname"), QStringLiteral("CName"), QStringLiteral("CName")},
                   {4, QStringLiteral("post"), QStringLiteral("Position"), QStringLiteral("Position")},
                   {5, QStringLiteral("datejoin"), QStringLiteral("Date Join"), QStringLiteral("Date Join")},
                   {6, QStringLiteral("expiry"), QStringLiteral("Expiry Date"), QStringLiteral("Expiry Date")},
                   {7, QStringLiteral("gdesc"), QStringLiteral("Group"), QStringLiteral("Group")}};
    for (int i = 0; i < kCardRows; ++i) {
        s.rowField[size_t(i)] = i + 1;
        s.rowCaption[size_t(i)] = s.catalogue[i].uname;
    }
    std::vector<CardDesign> designs;
    for (CardStyle style : {CardStyle::Style1, CardStyle::Style2, CardStyle::Style3}) {
        s.style = style;
        designs.push_back(layoutDesign(s, CardPaper::A6));
    }
    return designs;
}

} // namespace tessary
