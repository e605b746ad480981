#pragma once

// Small reports shared by the report engine tests.

#include "report/layout.h"
#include "report/report.h"
#include "report/rowsource.h"

#include <QVector>

#include <vector>

namespace tessary::testing {

// Rows "name" = "row 0", "row 1", ...
inline ListRowSource numberedRows(int count)
{
    ListRowSource rows;
    rows.setColumns({QStringLiteral("name")});
    for (int i = 0; i < count; ++i)
        rows.appendRow({QStringLiteral("row %1").arg(i)});
    return rows;
}

// Placed bands of a page as (column, top) pairs in hundredths of a mm.
inline QVector<QPair<int, qint64>> bandSlots(const LayoutPage &page)
{
    QVector<QPair<int, qint64>> places;
    for (const PlacedBand &b : page.bands)
        places.append({b.column, qRound64(b.origin.y() * 100)});
    return places;
}

inline std::vector<const LayoutItem *> itemsOf(const LayoutPage &page, const QString &elementName)
{
    std::vector<const LayoutItem *> out;
    for (const LayoutItem &item : page.items)
        if (item.element && item.element->name == elementName)
            out.push_back(&item);
    return out;
}

} // namespace tessary::testing
