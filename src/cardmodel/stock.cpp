#include "cardmodel/stock.h"

#include <QJsonArray>

namespace tessary {

QSizeF Stock::pageSizeMm() const
{
    QSizeF upright(paperWidth.toMm(), paperLength.toMm());
    if (paper != QPageSize::Custom)
        upright = QPageSize(paper).size(QPageSize::Millimeter);
    return orientation == QPageLayout::Landscape ? upright.transposed() : upright;
}

QPageSize Stock::qPageSize() const
{
    if (paper != QPageSize::Custom)
        return QPageSize(paper);
    return QPageSize(QSizeF(paperWidth.toMm(), paperLength.toMm()), QPageSize::Millimeter, id,
                     QPageSize::ExactMatch);
}

QPageLayout Stock::qPageLayout() const
{
    QPageLayout layout(qPageSize(), orientation, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    layout.setMode(QPageLayout::FullPageMode);
    return layout;
}

namespace {

QString paperName(QPageSize::PageSizeId id)
{
    switch (id) {
    case QPageSize::A4: return QStringLiteral("A4");
    case QPageSize::A6: return QStringLiteral("A6");
    default: return QStringLiteral("custom");
    }
}

QPageSize::PageSizeId paperId(const QString &name)
{
    if (name == QLatin1String("A4"))
        return QPageSize::A4;
    if (name == QLatin1String("A6"))
        return QPageSize::A6;
    return QPageSize::Custom;
}

QJsonArray pair(Distance a, Distance b) { return QJsonArray{a.toMm(), b.toMm()}; }

void readPair(const QJsonObject &json, const char *key, Distance &a, Distance &b)
{
    const QJsonArray v = json.value(QLatin1String(key)).toArray();
    if (v.size() == 2) {
        a = Distance::mm(v.at(0).toDouble(a.toMm()));
        b = Distance::mm(v.at(1).toDouble(b.toMm()));
    }
}

} // namespace

QJsonObject Stock::toJson() const
{
    return QJsonObject{{QStringLiteral("id"), id},
                       {QStringLiteral("paper"), paperName(paper)},
                       {QStringLiteral("paperSize"), pair(paperWidth, paperLength)},
                       {QStringLiteral("landscape"), orientation == QPageLayout::Landscape},
                       {QStringLiteral("cell"), pair(cellWidth, cellHeight)},
                       {QStringLiteral("grid"), QJsonArray{columns, rows}},
                       {QStringLiteral("origin"), pair(originX, originY)},
                       {QStringLiteral("pitch"), pair(pitchX, pitchY)},
                       {QStringLiteral("cardPrinter"), cardPrinter},
                       {QStringLiteral("bleed"), bleed.toMm()}};
}

std::optional<Stock> Stock::fromJson(const QJsonObject &json)
{
    Stock s;
    s.id = json.value(QStringLiteral("id")).toString(s.id);
    s.paper = paperId(json.value(QStringLiteral("paper")).toString(QStringLiteral("A6")));
    readPair(json, "paperSize", s.paperWidth, s.paperLength);
    s.orientation = json.value(QStringLiteral("landscape")).toBool() ? QPageLayout::Landscape : QPageLayout::Portrait;
    readPair(json, "cell", s.cellWidth, s.cellHeight);
    const QJsonArray grid = json.value(QStringLiteral("grid")).toArray();
    if (grid.size() == 2) {
        s.columns = grid.at(0).toInt(s.columns);
        s.rows = grid.at(1).toInt(s.rows);
    }
    readPair(json, "origin", s.originX, s.originY);
    readPair(json, "pitch", s.pitchX, s.pitchY);
    s.cardPrinter = json.value(QStringLiteral("cardPrinter")).toBool();
    s.bleed = Distance::mm(json.value(QStringLiteral("bleed")).toDouble());
    const Distance zero;
    if (s.columns < 1 || s.rows < 1 || s.columns * s.rows > 1000 || s.cellWidth <= zero || s.cellHeight <= zero ||
        s.paperWidth <= zero || s.paperLength <= zero || s.bleed < zero)
        return std::nullopt;
    return s;
}

Stock a6Stock()
{
    Stock s;
    s.id = kStockA6;
    return s;
}

Stock a4Stock()
{
    Stock s;
    s.id = kStockA4;
    s.paper = QPageSize::A4;
    s.paperWidth = Distance::mm(210);
    s.paperLength = Distance::mm(297);
    s.cellHeight = Distance::mm(56);
    s.columns = 2;
    s.rows = 5;
    s.originX = Distance::mm(12);
    s.originY = Distance::mm(8.5);
    s.pitchX = Distance::mm(98);
    s.pitchY = Distance::mm(56);
    return s;
}

Stock id1Stock(QPageLayout::Orientation orientation)
{
    Stock s;
    s.id = kStockId1;
    s.paper = QPageSize::Custom;
    s.paperWidth = kId1Width;
    s.paperLength = kId1Length;
    s.orientation = orientation;
    const bool landscape = orientation == QPageLayout::Landscape;
    s.cellWidth = landscape ? kId1Length : kId1Width;
    s.cellHeight = landscape ? kId1Width : kId1Length;
    s.columns = 1;
    s.rows = 1;
    s.originX = Distance();
    s.originY = Distance();
    s.pitchX = s.cellWidth;
    s.pitchY = s.cellHeight;
    s.cardPrinter = true;
    s.bleed = Distance::mm(1);
    return s;
}

std::vector<Stock> builtInStocks() { return {a6Stock(), a4Stock(), id1Stock()}; }

std::optional<Stock> builtInStock(const QString &id)
{
    for (const Stock &s : builtInStocks())
        if (s.id == id)
            return s;
    return std::nullopt;
}

} // namespace tessary
