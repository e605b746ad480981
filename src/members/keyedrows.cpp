#include "members/keyedrows.h"

#include "data/datasrc.h"
#include "data/query.h"

namespace tessary {

namespace {

const QString kKey = QStringLiteral("seq");

int keyColumn(Query &query)
{
    const int column = query.columnIndex(kKey);
    return column >= 0 ? column : query.columnIndex(QStringLiteral("stafftbl.seq"));
}

int currentKey(Query &query, int column)
{
    return query.valueAt(query.recNo(), column).toInt();
}

} // namespace

std::vector<int> rowKeys(Query &query)
{
    std::vector<int> keys;
    if (!query.isOpen())
        return keys;
    const int column = keyColumn(query);
    const int rows = query.recordCount();
    keys.reserve(size_t(rows));
    for (int row = 0; row < rows; ++row)
        keys.push_back(query.valueAt(row, column).toInt());
    return keys;
}

bool seekRow(Query &query, int key)
{
    if (!query.isOpen() || query.recordCount() == 0 || query.state() != Query::State::Browse)
        return false;
    const int column = keyColumn(query);
    if (column < 0)
        return false;
    const int row = query.recNo();
    if (row >= 0 && currentKey(query, column) == key)
        return true;
    if (row + 1 < query.recordCount() && query.valueAt(row + 1, column).toInt() == key) {
        query.setRecNo(row + 1);
        return true;
    }
    return query.locate(query.columnName(column), key);
}

bool withRow(Query &shared, const QString &table, int key, const std::function<void(Query &)> &action)
{
    if (seekRow(shared, key)) {
        action(shared);
        return true;
    }
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
