#include "lookups.h"

#include "data/query.h"

#include <QComboBox>
#include <QMenu>

namespace tessary {

void FillGroupList(Query &query, const QString &textColumn, QComboBox *list)
{
    list->clear();
    // A group without a name is listed with an empty name; each entry
    // carries its group's id when the query has one.
    Field text = query.fieldByName(textColumn);
    const std::optional<Field> id = query.findField(QStringLiteral("gid"));
    query.first();
    while (!query.eof()) {
        list->addItem(text.text(), id ? QVariant(id->asInteger()) : QVariant());
        query.next();
    }
    if (list->count() > 0)
        list->setCurrentIndex(0);
}

void FillGroupMenu(Query &query, const QString &textColumn, const QString &idColumn,
                   const std::function<void(int)> &onClick, QMenu *menu)
{
    menu->clear();
    Field text = query.fieldByName(textColumn);
    Field id = query.fieldByName(idColumn);
    query.first();
    while (!query.eof()) {
        // Menu captions treat '&' as an access-key marker; a group name shows as typed.
        QString caption = text.text();
        caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction *action = menu->addAction(caption);
        const int tag = id.asInteger();
        action->setData(tag);
        QObject::connect(action, &QAction::triggered, menu, [onClick, tag] { onClick(tag); });
        query.next();
    }
}

bool SelectListItem(QComboBox *list, const QString &text)
{
    const QByteArray wanted = text.toLocal8Bit();
    for (int i = 0; i < list->count(); ++i) {
        if (list->itemText(i).toLocal8Bit() == wanted) {
            list->setCurrentIndex(i);
            return true;
        }
    }
    return false;
}

bool FindIdByText(Query &query, const QString &text, const QString &textColumn, int &id, const QString &idColumn)
{
    if (query.recordCount() > 0 && query.locate(textColumn, text)) {
        id = query.fieldByName(idColumn).asInteger();
        return true;
    }
    id = 0;
    return false;
}

bool FindTextById(Query &query, int id, const QString &idColumn, QString &text, const QString &textColumn)
{
    if (query.recordCount() > 0 && query.locate(idColumn, id)) {
        text = query.fieldByName(textColumn).text();
        return true;
    }
    text.clear();
    return false;
}

} // namespace tessary
