#pragma once

// The stored layout (param and fields) as a card design, and the stock each
// style prints on for a paper and mode.

#include "card/layoutsettings.h"
#include "cardmodel/design.h"

namespace tessary {

// Print geometry goes to a printer; preview geometry to the preview. They
// differ only in style 3, which prints its A6 and A4 sheets in landscape.
enum class CardMode { Print, Preview };

// The papers a layout prints on.
enum class CardPaper { A6, A4, Id1 };

// The stored paper number as a paper: 0 is A6, anything else A4.
inline CardPaper paperFromStored(int psize) { return psize == 0 ? CardPaper::A6 : CardPaper::A4; }
// The stock's id for a paper ("A6", "A4", "ID-1 card") and back.
QString stockId(CardPaper paper);
std::optional<CardPaper> paperFromStockId(const QString &id);

// The stock for a style on a paper in a mode, with the fine offsets (tenths
// of a millimetre) applied to the grid: they move it right and down, except
// in style 3 printing, where the horizontal offset moves it down the
// landscape page and the vertical one moves it right. An ID-1 card is one
// card per page in the style's orientation, without offsets.
Stock layoutStock(CardStyle style, CardPaper paper, CardMode mode, int offsetX, int offsetY);

// The design of the layout's style: background, photo, seven row lines,
// seven data texts and seven captions (ids QRImage1, qrPhoto, QRShape1..7,
// TntQRDBText1..7, TntQRLabel1..7), placed as the style places them, with
// the custom text options, rows not used, captions and the background when
// it is printed, and the front's barcode when it is on. Texts are cut at the
// card cell's right edge. For an ID-1 card the card is 85.60 x 53.98 mm
// (turned upright for style 3) and the background covers it. With "Print
// the back" a second side "back": its background over the card (backImage),
// its seven rows (backShape1..7, backText1..7, backLabel1..7) placed as
// style 2 places them on a landscape card and style 3 on a portrait one,
// and its barcode when it is on.
CardDesign layoutDesign(const LayoutSettings &settings, CardPaper paper);

// The three styles as designs of the seed layout (every row in use), for
// tests and the design document's round trip.
std::vector<CardDesign> builtInDesigns();

} // namespace tessary
