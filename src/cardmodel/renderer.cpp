#include "cardmodel/renderer.h"

#include <QBuffer>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>

#include <map>

namespace tessary {

int CardPages::cardCount() const
{
    int n = 0;
    for (const CardPage &p : pages)
        n += int(p.cards.size());
    return n;
}

CardPages placeCards(const Stock &stock, int count, int sides)
{
    CardPages out;
    out.stock = stock;
    out.pages.emplace_back();
    const int perPage = std::max(1, stock.cardsPerPage());
    const int rows = std::max(1, stock.rows);
    int cell = 0;
    for (int record = 0; record < count; ++record)
        for (int side = 0; side < std::max(1, sides); ++side) {
            if (cell == perPage) {
                out.pages.emplace_back();
                cell = 0;
            }
            const int column = cell / rows;
            const int row = cell % rows;
            // Whole hundredths, each reckoned from the origin, so that
            // rounding does not add up across cells.
            const QPointF origin(roundToHundredths(stock.originX.toMm() + column * stock.pitchX.toMm()),
                                 roundToHundredths(stock.originY.toMm()) + row * roundToHundredths(stock.pitchY.toMm()));
            out.pages.back().cards.push_back(CardPlacement{record, side, origin, column});
            ++cell;
        }
    return out;
}

namespace {

// Keeps an item inside the card (texts and lines), or bleeds a picture that
// reaches the card's edge past it.
void fitToCard(CardItem &item, const QRectF &card, double bleed)
{
    constexpr double kTouch = 0.05;
    switch (item.kind) {
    case CardItem::Kind::Text:
        item.box = item.box.intersected(card);
        item.clip = true;
        return;
    case CardItem::Kind::Line:
        item.line.setP1(QPointF(std::clamp(item.line.x1(), card.left(), card.right()), item.line.y1()));
        item.line.setP2(QPointF(std::clamp(item.line.x2(), card.left(), card.right()), item.line.y2()));
        return;
    case CardItem::Kind::Barcode:
        return; // printed at its size where it was placed
    case CardItem::Kind::Image:
        if (!item.source || item.source->kind() != QLatin1String(PictureElement::kKind))
            return;
        QRectF b = item.box;
        if (b.left() <= card.left() + kTouch)
            b.setLeft(card.left() - bleed);
        if (b.top() <= card.top() + kTouch)
            b.setTop(card.top() - bleed);
        if (b.right() >= card.right() - kTouch)
            b.setRight(card.right() + bleed);
        if (b.bottom() >= card.bottom() - kTouch)
            b.setBottom(card.bottom() + bleed);
        item.box = b;
        return;
    }
}

} // namespace

std::vector<CardItem> pageItems(const CardDesign &design, const CardPages &pages, int page,
                                const MemberRecords &records, bool pictures, const RenderOptions &options)
{
    std::vector<CardItem> items;
    if (page < 0 || page >= pages.pageCount())
        return items;
    const CardPage &p = pages.pages[size_t(page)];
    for (size_t c = 0; c < p.cards.size(); ++c) {
        const CardPlacement &placed = p.cards[c];
        if (placed.side < 0 || placed.side >= int(design.sides.size()))
            continue;
        const MemberRecord record = records.at(placed.record, pictures);
        const ElementContext ctx{record, placed.origin, int(c), pictures, &options.decodePhoto, options.locale,
                                 placed.record, options.problems};
        const size_t first = items.size();
        for (const auto &element : design.sides[size_t(placed.side)].elements)
            element->layOut(ctx, items);
        if (pages.stock.cardPrinter) {
            const QRectF card(placed.origin, QSizeF(pages.stock.cellWidth.toMm(), pages.stock.cellHeight.toMm()));
            for (size_t i = first; i < items.size(); ++i)
                fitToCard(items[i], card, pages.stock.bleed.toMm());
        }
    }
    return items;
}

void paintCardItems(const std::vector<CardItem> &items, QPainter &painter, double sx, double sy)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    for (const CardItem &item : items)
        if (item.source)
            item.source->paint(item, painter, sx, sy);
    painter.restore();
}

void paintCardPage(const CardDesign &design, const CardPages &pages, int page, const MemberRecords &records,
                   const RenderOptions &options, QPainter &painter, QPointF offsetMm)
{
    const QPaintDevice *device = painter.device();
    const double sx = Distance::pixelsPerMm(device ? device->logicalDpiX() : 96);
    const double sy = Distance::pixelsPerMm(device ? device->logicalDpiY() : 96);
    painter.save();
    painter.translate(offsetMm.x() * sx, offsetMm.y() * sy);
    paintCardItems(pageItems(design, pages, page, records, true, options), painter, sx, sy);
    painter.restore();
}

int paintCardPages(const CardDesign &design, const CardPages &pages, const MemberRecords &records,
                   const RenderOptions &options, QPagedPaintDevice &device, QPointF offsetMm,
                   const std::function<bool(int done, int total)> &pageDone)
{
    QPainter painter;
    if (!painter.begin(&device))
        return -1;
    const int total = pages.pageCount();
    int done = 0;
    for (int i = 0; i < total; ++i) {
        if (i > 0 && !device.newPage())
            break;
        paintCardPage(design, pages, i, records, options, painter, offsetMm);
        ++done;
        if (pageDone && !pageDone(done, total))
            break;
    }
    painter.end();
    return done;
}

bool writeCardsPdf(const CardDesign &design, const CardPages &pages, const MemberRecords &records,
                   const RenderOptions &options, QIODevice &out, const QString &title)
{
    QByteArray pdf;
    {
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setResolution(1200);
        writer.setCreator(QStringLiteral("Tessary"));
        writer.setTitle(title);
        if (!writer.setPageLayout(pages.stock.qPageLayout()))
            return false;
        if (paintCardPages(design, pages, records, options, writer) != pages.pageCount())
            return false;
    }
    if (pages.stock.paper == QPageSize::Custom) {
        const QSizeF mm = pages.pageSizeMm();
        if (!setPdfPageBoxes(pdf, QSizeF(Distance::mm(mm.width()).toPoints(), Distance::mm(mm.height()).toPoints())))
            return false;
    }
    return out.write(pdf) == pdf.size();
}

bool setPdfPageBoxes(QByteArray &pdf, QSizeF points)
{
    const QByteArray box = "/MediaBox [0 0 " + QByteArray::number(points.width(), 'f', 3) + ' ' +
                           QByteArray::number(points.height(), 'f', 3) + ']';
    static const QRegularExpression mediaBox(QStringLiteral("/MediaBox \\[0 0 [0-9.]+ [0-9.]+\\]"));
    QString text = QString::fromLatin1(pdf);
    int replaced = 0;
    for (qsizetype at = 0;;) {
        const QRegularExpressionMatch m = mediaBox.match(text, at);
        if (!m.hasMatch())
            break;
        text.replace(m.capturedStart(), m.capturedLength(), QString::fromLatin1(box));
        at = m.capturedStart() + box.size();
        ++replaced;
    }
    if (replaced == 0)
        return false;
    QByteArray fixed = text.toLatin1();
    // The cross-reference table names every object's byte offset: find each
    // "n 0 obj" again and write the table anew.
    const qsizetype xref = fixed.lastIndexOf("\nxref\n");
    if (xref < 0)
        return false;
    std::map<int, qsizetype> offsets;
    static const QRegularExpression object(QStringLiteral("(?:^|\\n)(\\d+) 0 obj"));
    const QString head = QString::fromLatin1(fixed.left(xref + 1));
    for (auto it = object.globalMatch(head); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        offsets[m.captured(1).toInt()] = m.capturedStart(1);
    }
    if (offsets.empty())
        return false;
    const int size = offsets.rbegin()->first + 1;
    QByteArray table = "xref\n0 " + QByteArray::number(size) + "\n0000000000 65535 f \n";
    for (int n = 1; n < size; ++n) {
        const auto it = offsets.find(n);
        if (it == offsets.end())
            table += "0000000000 65535 f \n";
        else
            table += QByteArray::number(it->second).rightJustified(10, '0') + " 00000 n \n";
    }
    const qsizetype trailer = fixed.indexOf("trailer", xref);
    const qsizetype startxref = fixed.indexOf("startxref", xref);
    if (trailer < 0 || startxref < 0)
        return false;
    QByteArray rebuilt = fixed.left(xref + 1) + table + fixed.mid(trailer, startxref - trailer) + "startxref\n" +
                         QByteArray::number(xref + 1) + "\n%%EOF\n";
    pdf = rebuilt;
    return true;
}

} // namespace tessary
