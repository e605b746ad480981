#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <vector>

namespace tessary {

class Query;

// Bulk commands take the keys (row ids, which `seq` names) of the rows they are to act on when
// they start, and then act on exactly those rows, whatever the shared query
// they started from shows by then.

// The keys of every row of `query`, in its order; empty when it is closed.
std::vector<qint64> rowKeys(Query &query);

// Makes the row with `key` current: the current row and the one after it
// are looked at first, so a walk in list order costs one step a row. False
// (the current row unchanged) when the query is closed or lacks the row.
bool seekRow(Query &query, qint64 key);

// Runs `action` on the row of `table` (stafftbl or grptbl) whose key is
// `key`: on `shared` when it holds the row, else on a query of its own over
// that one row. False when the row no longer exists.
bool withRow(Query &shared, const QString &table, qint64 key, const std::function<void(Query &)> &action);

} // namespace tessary
