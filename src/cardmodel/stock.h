#pragma once

// What cards are printed on: the page (size and orientation), the card cell
// and the grid of cells on the page. Stocks are data: the three built-in ones
// are values, and any stock reads from and writes to JSON.

#include "cardmodel/distance.h"

#include <QJsonObject>
#include <QPageLayout>
#include <QPageSize>
#include <QSizeF>
#include <QString>

#include <optional>
#include <vector>

namespace tessary {

struct Stock
{
    QString id; // "A6", "A4", "ID-1 card", or a name of its own
    // The page held upright: a named paper, or (Custom) its width and length.
    QPageSize::PageSizeId paper = QPageSize::A6;
    Distance paperWidth = Distance::mm(105);
    Distance paperLength = Distance::mm(148);
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    // One cell holds one card; cells fill down a column, then the next
    // column to the right, then a new page.
    Distance cellWidth = Distance::mm(88);
    Distance cellHeight = Distance::mm(65);
    int columns = 1;
    int rows = 2;
    Distance originX = Distance::mm(8.5); // the first cell's top-left corner
    Distance originY = Distance::mm(13.5);
    Distance pitchX = Distance::mm(88); // from one column to the next
    Distance pitchY = Distance::mm(65); // from one row to the next
    // A card printer's page: one card, printed at the printer's own card
    // size, with pictures that reach the card's edge bled past it by `bleed`
    // and everything else kept inside the card.
    bool cardPrinter = false;
    Distance bleed;

    int cardsPerPage() const { return columns * rows; }
    // The page as laid out (after orientation), in millimetres.
    QSizeF pageSizeMm() const;
    QPageSize qPageSize() const;
    // The page in its orientation with zero margins, full page.
    QPageLayout qPageLayout() const;

    QJsonObject toJson() const;
    // Missing values keep their defaults; nonsense (no cells, negative
    // sizes) answers nothing.
    static std::optional<Stock> fromJson(const QJsonObject &json);

    bool operator==(const Stock &) const = default;
};

// The built-in stocks: "A6" (two cards), "A4" (ten cards), "ID-1 card" (one
// card of 85.60 x 53.98 mm per page, no margins).
Stock a6Stock();
Stock a4Stock();
Stock id1Stock(QPageLayout::Orientation orientation = QPageLayout::Landscape);
std::vector<Stock> builtInStocks();
std::optional<Stock> builtInStock(const QString &id);

inline const QString kStockA6 = QStringLiteral("A6");
inline const QString kStockA4 = QStringLiteral("A4");
inline const QString kStockId1 = QStringLiteral("ID-1 card");

// ISO/IEC 7810 ID-1, upright (portrait).
inline constexpr Distance kId1Width = Distance::mm(53.98);
inline constexpr Distance kId1Length = Distance::mm(85.60);

} // namespace tessary
