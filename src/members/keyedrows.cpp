#include "members/keyedrows.h"

#include "data/datasrc.h"
#include "data/query.h"

namespace tessary {

std::vector<qint64> rowKeys(Query &query)
{
    std::vector<qint64> keys;
    if (!query.isOpen())
        return keys;
    const int rows = query.recordCount();
    keys.reserve(size_t(rows));
    for (int row = 0; row < rows; ++row)
        keys.push_back(query.rowId(row));
    return keys;
}

bool seekRow(Query &query, qint64 key)
{
    if (key < 0 || !query.isOpen() || query.recordCount() == 0 || query.state() != Query::State::Browse)
        return false;
    const int row = query.recNo();
    if (row >= 0 && query.rowId(row) == key)
        return true;
    if (row + 1 < query.recordCount() && query.rowId(row + 1) == key) {
        query.setRecNo(row + 1);
        return true;
    }
    for (int other = 0; other < query.recordCount(); ++other) {
        if (query.rowId(other) == key) {
            query.setRecNo(other);
            return true;
        }
    }
    return false;
}

bool withRow(Query &shared, const QString &table, qint64 key, const std::function<void(Query &)> &action)
{
    if (seekRow(shared, key)) {
        action(shared);
        return true;
    }
    if (key < 0)
        return false;
    Query own(shared.connection(), QStringLiteral("keyedRow"));
    own.setSql({QStringLiteral("select * from ") + table, QStringLiteral("where seq=") + QString::number(key)});
    own.setDeclaredColumns(table == QLatin1String("grptbl") ? groupColumns() : memberColumns());
    own.open();
    if (own.isEmpty())
        return false;
    action(own);
    return true;
}

} // namespace tessary
