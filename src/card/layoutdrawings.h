#pragma once

// The small drawings beside the radio buttons of the layout dialog, so the
// operator sees each choice at a glance: the three card styles, the two
// paper sheets and the three card alignments on a sheet; and the drawing of
// where a barcode goes on the card.

#include "card/layoutsettings.h"

#include <QPixmap>
#include <QWidget>

namespace tessary {

// A card in the style's orientation with its photo box where the style
// puts it and lines for the text rows.
QPixmap cardStyleDrawing(CardStyle style);
// Paper 0: a small sheet with two landscape cards one above the other;
// paper 1: a tall sheet with ten cards in two columns of five; paper 2: one
// ID-1 card.
QPixmap paperDrawing(int paper);
// Alignment 0, 1, 2: a sheet with one card at the left, in the middle, at
// the right.
QPixmap alignmentDrawing(int alignment);

// The card's size in millimetres: 88 x 56 for the landscape styles, 56 x 88
// for style 3.
QSizeF cardSizeMm(CardStyle style);

// The card of a style at a fixed scale with a barcode's box as a filled
// rectangle where it goes, greyed while the barcode is off. Its accessible
// description states the box in words, and whether it leaves the card.
class BarcodePlacement : public QWidget
{
    Q_OBJECT
public:
    static constexpr double kPixelsPerMm = 2.25;
    explicit BarcodePlacement(QWidget *parent = nullptr);

    void setPlacement(const QRectF &boxMm, bool on, CardStyle style);
    // The card and the box in the widget's pixels.
    QRectF cardRect() const;
    QRectF boxRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRectF m_box;
    bool m_on = false;
    CardStyle m_style = CardStyle::Style1;
};

} // namespace tessary
