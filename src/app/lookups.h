#pragma once

#include <QString>

#include <functional>

class QComboBox;
class QMenu;

namespace tessary {

class Query;

// Lookups in the group query that fill and select the main window's lists.
// They move the current row of the query they search.

// Clears `list`, adds the column's text of every row from the first, and
// selects the first entry when there is one. Leaves the query after its
// last row. Fails on an empty (null) text.
void FillGroupList(Query &query, const QString &textColumn, QComboBox *list);

// Rebuilds `menu` with one item per row: caption the text column, tag (the
// action's data) the id column. Clicking an item calls `onClick` with the tag.
void FillGroupMenu(Query &query, const QString &textColumn, const QString &idColumn,
                   const std::function<void(int)> &onClick, QMenu *menu);

// Selects the first entry equal to `text`, compared exactly after conversion
// to the system's 8-bit code page; false and no change when none is equal.
bool SelectListItem(QComboBox *list, const QString &text);

// The id of the first row whose text equals `text` (exact); 0 and false when
// none does.
bool FindIdByText(Query &query, const QString &text, const QString &textColumn, int &id, const QString &idColumn);

// The text of the first row whose id equals `id`; empty and false when none.
bool FindTextById(Query &query, int id, const QString &idColumn, QString &text, const QString &textColumn);

} // namespace tessary
