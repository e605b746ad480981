#pragma once

// The small drawings beside the radio buttons of the layout dialog, so the
// operator sees each choice at a glance: the three card styles, the two
// paper sheets and the three card alignments on a sheet.

#include "card/layoutsettings.h"

#include <QPixmap>

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

} // namespace tessary
