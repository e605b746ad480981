#include "cardmodel/renderer.h"

#include <QBuffer>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryFile>

#include <map>

namespace tessary {

int CardPages::cardCount() const
{
    int n = 0;
    for (const CardPage &p : pages)
        n += int(p.cards.size());
    return n;
}

QPointF mirroredCardOrigin(const QSizeF &pageMm, QPointF front, const QSizeF &cardMm)
{
    if (pageMm.height() >= pageMm.width())
        return QPointF(roundToHundredths(pageMm.width() - front.x() - cardMm.width()), front.y());
    return QPointF(front.x(), roundToHundredths(pageMm.height() - front.y() - cardMm.height()));
}

CardPages placeCards(const Stock &stock, int count, int sides, QSizeF cardMm)
{
    CardPages out;
    out.stock = stock;
    out.pages.emplace_back();
    const int perPage = std::max(1, stock.cardsPerPage());
    const int rows = std::max(1, stock.rows);
    if (cardMm.isEmpty())
        cardMm = QSizeF(stock.cellWidth.toMm(), stock.cellHeight.toMm());
    const QSizeF page = stock.pageSizeMm();
    // The backs of the page of fronts just filled.
    const auto addBacks = [&] {
        if (sides < 2 || out.pages.back().cards.empty())
            return;
        CardPage backs;
        backs.side = 1;
        for (const CardPlacement &front : out.pages.back().cards)
            backs.cards.push_back(
                CardPlacement{front.record, 1, mirroredCardOrigin(page, front.origin, cardMm), front.column});
        out.pages.push_back(std::move(backs));
    };
    int cell = 0;
    for (int record = 0; record < count; ++record) {
        if (cell == perPage) {
            addBacks();
            out.pages.emplace_back();
            cell = 0;
        }
        const int column = cell / rows;
        const int row = cell % rows;
        // Whole hundredths, each reckoned from the origin, so that rounding
        // does not add up across cells.
        const QPointF origin(roundToHundredths(stock.originX.toMm() + column * stock.pitchX.toMm()),
                             roundToHundredths(stock.originY.toMm()) + row * roundToHundredths(stock.pitchY.toMm()));
        out.pages.back().cards.push_back(CardPlacement{record, 0, origin, column});
        ++cell;
    }
    addBacks();
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
                   const RenderOptions &options, QPainter &painter, const QTransform &placeMm)
{
    const QPaintDevice *device = painter.device();
    const double sx = Distance::pixelsPerMm(device ? device->logicalDpiX() : 96);
    const double sy = Distance::pixelsPerMm(device ? device->logicalDpiY() : 96);
    painter.save();
    // Device pixels to millimetres, placed, and back.
    const QTransform toMm = QTransform::fromScale(1 / sx, 1 / sy);
    painter.setWorldTransform(toMm * placeMm * QTransform::fromScale(sx, sy), true);
    const std::vector<CardItem> items = pageItems(design, pages, page, records, true, options);
    if (!options.cardTransform || page < 0 || page >= pages.pageCount()) {
        paintCardItems(items, painter, sx, sy);
        painter.restore();
        return;
    }
    // Card by card, each through its own transform.
    const CardPage &placed = pages.pages[size_t(page)];
    const QSizeF cardSize(design.width.toMm(), design.height.toMm());
    for (size_t c = 0; c < placed.cards.size(); ++c) {
        std::vector<CardItem> card;
        for (const CardItem &item : items)
            if (item.card == int(c))
                card.push_back(item);
        const CardPlacement &where = placed.cards[c];
        painter.save();
        painter.setWorldTransform(toMm * options.cardTransform(where, QRectF(where.origin, cardSize)) *
                                      QTransform::fromScale(sx, sy),
                                  true);
        paintCardItems(card, painter, sx, sy);
        painter.restore();
    }
    painter.restore();
}

int paintCardPages(const CardDesign &design, const CardPages &pages, const MemberRecords &records,
                   const RenderOptions &options, QPagedPaintDevice &device, const QTransform &placeMm,
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
        paintCardPage(design, pages, i, records, options, painter, placeMm);
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
    // A named paper is written as it comes; a size of its own is held back
    // in a temporary file to have its page boxes mended on the way out.
    const bool exactBoxes = pages.stock.paper == QPageSize::Custom;
    QTemporaryFile held;
    if (exactBoxes && !held.open())
        return false;
    {
        QPdfWriter writer(exactBoxes ? static_cast<QIODevice *>(&held) : &out);
        writer.setResolution(1200);
        writer.setCreator(QStringLiteral("Tessary"));
        writer.setTitle(title);
        if (!writer.setPageLayout(pages.stock.qPageLayout()))
            return false;
        if (paintCardPages(design, pages, records, options, writer) != pages.pageCount())
            return false;
    }
    if (!exactBoxes)
        return true;
    const QSizeF mm = pages.pageSizeMm();
    return held.flush() && held.seek(0) &&
           writePdfWithPageBoxes(held, QSizeF(Distance::mm(mm.width()).toPoints(), Distance::mm(mm.height()).toPoints()),
                                 out);
}

namespace {

// Where a PDF's cross-reference table begins ("startxref" near its end).
qsizetype crossReferenceAt(QIODevice &in)
{
    const qint64 size = in.size();
    if (!in.seek(std::max<qint64>(0, size - 1024)))
        return -1;
    const QByteArray tail = in.read(1024);
    const qsizetype at = tail.lastIndexOf("startxref");
    if (at < 0)
        return -1;
    bool ok = false;
    const qsizetype xref = tail.mid(at + 9).trimmed().split('\n').value(0).trimmed().toLongLong(&ok);
    return ok && xref > 0 && xref < size ? xref : -1;
}

} // namespace

bool writePdfWithPageBoxes(QIODevice &in, QSizeF points, QIODevice &out)
{
    static const QByteArray key = "/MediaBox [0 0 ";
    const QByteArray box = key + QByteArray::number(points.width(), 'f', 3) + ' ' +
                           QByteArray::number(points.height(), 'f', 3) + ']';
    const qsizetype xref = crossReferenceAt(in);
    if (xref < 0 || !in.seek(0))
        return false;
    // The body, a block at a time, each box written anew; where each stood
    // and how much longer the document had become after it, to move the
    // objects in the cross-reference table.
    constexpr qsizetype kBlock = 1 << 20;
    constexpr qsizetype kKeep = 64; // a box cut by a block's end waits for the next
    std::vector<std::pair<qsizetype, qsizetype>> shifts;
    qsizetype grown = 0;
    qsizetype base = 0; // the document offset of pending[0]
    QByteArray pending;
    while (base + pending.size() < xref || !pending.isEmpty()) {
        const qsizetype wanted = std::min<qsizetype>(kBlock, xref - (base + pending.size()));
        if (wanted > 0) {
            const QByteArray block = in.read(wanted);
            if (block.isEmpty())
                return false;
            pending += block;
        }
        const bool last = base + pending.size() >= xref;
        const qsizetype limit = last ? pending.size() : pending.size() - kKeep;
        qsizetype from = 0;
        for (qsizetype at = pending.indexOf(key); at >= 0 && at < limit; at = pending.indexOf(key, from)) {
            const qsizetype end = pending.indexOf(']', at);
            if (end < 0)
                return false;
            if (out.write(pending.constData() + from, at - from) != at - from || out.write(box) != box.size())
                return false;
            grown += box.size() - (end + 1 - at);
            shifts.emplace_back(base + at, grown);
            from = end + 1;
        }
        const qsizetype flushTo = std::max(from, limit);
        if (out.write(pending.constData() + from, flushTo - from) != flushTo - from)
            return false;
        pending.remove(0, flushTo);
        base += flushTo;
        if (last && pending.isEmpty())
            break;
    }
    if (shifts.empty())
        return false;
    // "xref", "0 N", then N entries "oooooooooo ggggg n" and the trailer.
    const QList<QByteArray> lines = in.readAll().split('\n');
    QByteArray table;
    qsizetype line = 0;
    for (; line < lines.size() && !lines[line].startsWith("trailer"); ++line) {
        QByteArray entry = lines[line];
        if (entry.size() >= 18 && entry.at(17) == 'n') {
            const qsizetype old = entry.left(10).toLongLong();
            qsizetype moved = 0;
            for (const auto &[position, total] : shifts)
                if (position < old)
                    moved = total;
            entry.replace(0, 10, QByteArray::number(old + moved).rightJustified(10, '0'));
        }
        table += entry + '\n';
    }
    QByteArray trailer;
    for (; line < lines.size() && !lines[line].startsWith("startxref"); ++line)
        trailer += lines[line] + '\n';
    trailer += "startxref\n" + QByteArray::number(xref + grown) + "\n%%EOF\n";
    return out.write(table) == table.size() && out.write(trailer) == trailer.size();
}

bool setPdfPageBoxes(QByteArray &pdf, QSizeF points)
{
    QBuffer in(&pdf);
    QByteArray mended;
    QBuffer out(&mended);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly) || !writePdfWithPageBoxes(in, points, out))
        return false;
    in.close();
    out.close();
    pdf = mended;
    return true;
}

} // namespace tessary
