#include "card/layoutdrawings.h"

#include <QPainter>
#include <QPainterPath>

namespace tessary {

namespace {

const QColor kCardFill(0xE8, 0xF0, 0xFA);
const QColor kCardEdge(0x2F, 0x4F, 0x7F);
const QColor kPhotoFill(0xB8, 0xC4, 0xD4);
const QColor kPhotoFigure(0x5A, 0x6B, 0x82);
const QColor kTextLine(0x7A, 0x86, 0x96);
const QColor kSheetEdge(0x60, 0x60, 0x60);
const QColor kBarcodeFill(0x1F, 0x2A, 0x3A);
const QColor kBarcodeOff(0xC8, 0xC8, 0xC8);
constexpr int kPlacementMargin = 4;

QPixmap transparentPixmap(int width, int height)
{
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A photo box with a head and shoulders in it.
void drawPhoto(QPainter &p, const QRectF &box)
{
    p.setPen(QPen(kPhotoFigure, 1));
    p.setBrush(kPhotoFill);
    p.drawRect(box);
    p.setPen(Qt::NoPen);
    p.setBrush(kPhotoFigure);
    const double w = box.width();
    const double h = box.height();
    p.drawEllipse(QPointF(box.center().x(), box.top() + h * 0.36), w * 0.2, w * 0.2);
    QPainterPath shoulders;
    shoulders.moveTo(box.left() + w * 0.12, box.bottom());
    shoulders.cubicTo(box.left() + w * 0.12, box.top() + h * 0.6, box.right() - w * 0.12, box.top() + h * 0.6,
                      box.right() - w * 0.12, box.bottom());
    shoulders.closeSubpath();
    p.drawPath(shoulders);
}

// Text rows as short strokes of different length.
void drawTextRows(QPainter &p, const QRectF &area, int rows)
{
    p.setPen(QPen(kTextLine, 1.6, Qt::SolidLine, Qt::RoundCap));
    const double step = area.height() / rows;
    for (int i = 0; i < rows; ++i) {
        const double y = area.top() + step * (i + 0.5);
        const double length = area.width() * (i % 3 == 1 ? 0.7 : (i % 3 == 2 ? 0.85 : 1.0));
        p.drawLine(QPointF(area.left(), y), QPointF(area.left() + length, y));
    }
}

void drawCardBody(QPainter &p, const QRectF &card, double radius)
{
    p.setPen(QPen(kCardEdge, 1.2));
    p.setBrush(kCardFill);
    p.drawRoundedRect(card, radius, radius);
}

// A small plain card (for sheets): body and a dot for the photo.
void drawSmallCard(QPainter &p, const QRectF &card)
{
    p.setPen(QPen(kCardEdge, 1));
    p.setBrush(kCardFill);
    p.drawRect(card);
    p.setPen(Qt::NoPen);
    p.setBrush(kPhotoFill);
    const double photoW = card.width() * 0.24;
    p.drawRect(QRectF(card.left() + card.width() * 0.08, card.top() + card.height() * 0.3, photoW,
                      card.height() * 0.55));
}

void drawSheet(QPainter &p, const QRectF &sheet)
{
    // A shadow, then the white sheet.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 50));
    p.drawRect(sheet.translated(2, 2));
    p.setPen(QPen(kSheetEdge, 1));
    p.setBrush(Qt::white);
    p.drawRect(sheet);
}

} // namespace

QPixmap cardStyleDrawing(CardStyle style)
{
    const bool portrait = style == CardStyle::Style3;
    const int w = portrait ? 60 : 92;
    const int h = portrait ? 92 : 60;
    QPixmap pixmap = transparentPixmap(w, h);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF card(1.5, 1.5, w - 3, h - 3);
    drawCardBody(p, card, 5);
    if (portrait) {
        const QRectF photo(card.center().x() - 11, card.top() + 9, 22, 29);
        drawPhoto(p, photo);
        drawTextRows(p, QRectF(card.left() + 8, photo.bottom() + 6, card.width() - 16, card.bottom() - photo.bottom() - 12), 6);
    } else {
        const double photoLeft = style == CardStyle::Style1 ? card.left() + 7 : card.right() - 7 - 22;
        const QRectF photo(photoLeft, card.top() + 17, 22, 29);
        drawPhoto(p, photo);
        const double textLeft = style == CardStyle::Style1 ? photo.right() + 8 : card.left() + 8;
        const double textRight = style == CardStyle::Style1 ? card.right() - 7 : photo.left() - 8;
        drawTextRows(p, QRectF(textLeft, card.top() + 8, textRight - textLeft, card.height() - 14), 6);
    }
    return pixmap;
}

QPixmap paperDrawing(int paper)
{
    if (paper == 0) {
        // A6 holds two landscape cards, one above the other.
        QPixmap pixmap = transparentPixmap(54, 76);
        QPainter p(&pixmap);
        const QRectF sheet(1, 1, 50, 72);
        drawSheet(p, sheet);
        for (int i = 0; i < 2; ++i)
            drawSmallCard(p, QRectF(sheet.left() + 5, sheet.top() + 7 + i * 32, 40, 26));
        return pixmap;
    }
    if (paper == 2) {
        // An ID-1 card page holds the one card, edge to edge.
        QPixmap pixmap = transparentPixmap(54, 36);
        QPainter p(&pixmap);
        drawSmallCard(p, QRectF(1, 1, 50.5, 31.9));
        return pixmap;
    }
    // A4 holds ten cards, two columns of five.
    QPixmap pixmap = transparentPixmap(70, 98);
    QPainter p(&pixmap);
    const QRectF sheet(1, 1, 66, 94);
    drawSheet(p, sheet);
    for (int column = 0; column < 2; ++column)
        for (int row = 0; row < 5; ++row)
            drawSmallCard(p, QRectF(sheet.left() + 4 + column * 30, sheet.top() + 5 + row * 17.5, 28, 16));
    return pixmap;
}

QPixmap alignmentDrawing(int alignment)
{
    QPixmap pixmap = transparentPixmap(54, 42);
    QPainter p(&pixmap);
    const QRectF sheet(1, 1, 50, 38);
    drawSheet(p, sheet);
    const double cardW = 22;
    const double left = alignment == 0 ? sheet.left() + 3
                        : alignment == 1 ? sheet.center().x() - cardW / 2
                                         : sheet.right() - 3 - cardW;
    drawSmallCard(p, QRectF(left, sheet.top() + 11, cardW, 15));
    return pixmap;
}

QSizeF cardSizeMm(CardStyle style)
{
    return style == CardStyle::Style3 ? QSizeF(56, 88) : QSizeF(88, 56);
}

BarcodePlacement::BarcodePlacement(QWidget *parent) : QWidget(parent)
{
    const int side = int(88 * kPixelsPerMm) + 2 * kPlacementMargin;
    setFixedSize(side, side);
    setAccessibleName(QStringLiteral("Barcode position"));
    setPlacement(QRectF(), false, CardStyle::Style1);
}

void BarcodePlacement::setPlacement(const QRectF &boxMm, bool on, CardStyle style)
{
    m_box = boxMm;
    m_on = on;
    m_style = style;
    const QSizeF card = cardSizeMm(style);
    const auto mm = [](double v) { return QString::number(v, 'f', 1); };
    QString said = QStringLiteral("Left %1 mm, top %2 mm, %3 × %4 mm on a card of %5 × %6 mm")
                       .arg(mm(boxMm.left()), mm(boxMm.top()), mm(boxMm.width()), mm(boxMm.height()))
                       .arg(card.width())
                       .arg(card.height());
    if (!QRectF(QPointF(0, 0), card).contains(boxMm))
        said += QStringLiteral("; not all of it on the card");
    if (!on)
        said += QStringLiteral("; no barcode is printed");
    setAccessibleDescription(said);
    update();
}

QRectF BarcodePlacement::cardRect() const
{
    const QSizeF card = cardSizeMm(m_style) * kPixelsPerMm;
    return QRectF(QPointF((width() - card.width()) / 2, (height() - card.height()) / 2), card);
}

QRectF BarcodePlacement::boxRect() const
{
    const QRectF card = cardRect();
    return QRectF(card.topLeft() + m_box.topLeft() * kPixelsPerMm, m_box.size() * kPixelsPerMm);
}

void BarcodePlacement::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    drawCardBody(p, cardRect(), 3 * kPixelsPerMm);
    p.setPen(QPen(m_on ? kBarcodeFill : kSheetEdge, 1, m_on ? Qt::SolidLine : Qt::DashLine));
    p.setBrush(m_on ? kBarcodeFill : kBarcodeOff);
    p.drawRect(boxRect());
}

} // namespace tessary
