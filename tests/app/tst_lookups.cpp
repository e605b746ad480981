// Lookups in the group query that fill and select the main window's group
// list and context menu, on a real group query.

#include "appfixture.h"

#include "app/lookups.h"

#include <QMenu>

using namespace apptest;
using namespace tessary;

namespace {

// A data module connected to a fresh card database whose groups are given.
struct Groups
{
    ProgramFolder folder;
    Tdsrc data;

    explicit Groups(const QList<std::pair<QString, int>> &groups)
    {
        folder.db().exec(QStringLiteral("delete from grptbl"));
        for (const auto &[name, id] : groups)
            folder.addGroup(name, id);
        data.src.setConnectionString(folder.connectionString());
        data.src.connect();
        data.QGroup.open();
    }
};

QStringList entries(const QComboBox &list)
{
    QStringList out;
    for (int i = 0; i < list.count(); ++i)
        out << list.itemText(i);
    return out;
}

} // namespace

class TestLookups : public QObject
{
    Q_OBJECT

private slots:
    void selectListItemIsExactAndCaseSensitive();
    void fillGroupListFollowsQueryOrder();
    void fillGroupListListsAGroupWithoutName();
    void fillGroupMenuTagsItemsWithIds();
    void findIdAndTextAnswerZeroAndEmptyWhenMissing();
};

void TestLookups::selectListItemIsExactAndCaseSensitive()
{
    QComboBox list;
    list.addItems({QStringLiteral("Staff"), QStringLiteral("staff"), QStringLiteral("Guests"), QStringLiteral("staff")});
    list.setCurrentIndex(2);
    QVERIFY(SelectListItem(&list, QStringLiteral("staff")));
    QCOMPARE(list.currentIndex(), 1);
    QVERIFY(SelectListItem(&list, QStringLiteral("Staff")));
    QCOMPARE(list.currentIndex(), 0);

    for (const QString &absent : {QStringLiteral("STAFF"), QStringLiteral("Staff "), QString(QLatin1String("")),
                                  QStringLiteral("Guest")}) {
        QVERIFY2(!SelectListItem(&list, absent), qPrintable(absent));
        QCOMPARE(list.currentIndex(), 0);
    }
    QComboBox empty;
    QVERIFY(!SelectListItem(&empty, QStringLiteral("Staff")));
    QCOMPARE(empty.currentIndex(), -1);
}

void TestLookups::fillGroupListFollowsQueryOrder()
{
    Groups g({{QStringLiteral("beta"), 2}, {QStringLiteral("DEFAULT"), 0}, {QStringLiteral("Alpha"), 1}});
    QComboBox list;
    list.addItem(QStringLiteral("stale"));
    FillGroupList(g.data.QGroup, QStringLiteral("gdesc"), &list);
    // The group query orders by name without regard to letter case.
    QCOMPARE(entries(list), (QStringList{QStringLiteral("Alpha"), QStringLiteral("beta"), QStringLiteral("DEFAULT")}));
    QCOMPARE(list.currentIndex(), 0);
    QVERIFY(g.data.QGroup.eof());

    Groups none({});
    FillGroupList(none.data.QGroup, QStringLiteral("gdesc"), &list);
    QCOMPARE(list.count(), 0);
    QCOMPARE(list.currentIndex(), -1);
}

void TestLookups::fillGroupListListsAGroupWithoutName()
{
    Groups g({{QStringLiteral("Alpha"), 1}});
    g.folder.db().exec(QStringLiteral("insert into grptbl (gid, gdesc) values (2, null)"));
    g.data.QGroup.close();
    g.data.QGroup.open();
    // A group without a name is listed with an empty name, like any other,
    // and its entry carries its id.
    QComboBox list;
    FillGroupList(g.data.QGroup, QStringLiteral("gdesc"), &list);
    QCOMPARE(list.count(), 2);
    QCOMPARE(list.itemText(0), QString());
    QCOMPARE(list.itemData(0).toInt(), 2);
    QCOMPARE(list.itemData(1).toInt(), 1);
    QString text = QStringLiteral("x");
    QVERIFY(FindTextById(g.data.QGroup, 2, QStringLiteral("gid"), text, QStringLiteral("gdesc")));
    QCOMPARE(text, QString());
}

void TestLookups::fillGroupMenuTagsItemsWithIds()
{
    Groups g({{QStringLiteral("R&D"), 7}, {QStringLiteral("DEFAULT"), 0}});
    QMenu menu;
    menu.addAction(QStringLiteral("stale"));
    QList<int> clicked;
    FillGroupMenu(g.data.QGroup, QStringLiteral("gdesc"), QStringLiteral("gid"), [&](int id) { clicked << id; }, &menu);
    const QList<QAction *> items = menu.actions();
    QCOMPARE(items.size(), 2);
    QCOMPARE(items.at(0)->data().toInt(), 0);
    QCOMPARE(items.at(1)->data().toInt(), 7);
    // The ampersand of a group name is shown, not taken as an access key.
    QCOMPARE(items.at(1)->iconText(), QStringLiteral("R&D"));
    items.at(1)->trigger();
    items.at(0)->trigger();
    QCOMPARE(clicked, (QList<int>{7, 0}));
    QVERIFY(g.data.QGroup.eof());

    // Rebuilding replaces the items.
    FillGroupMenu(g.data.QGroup, QStringLiteral("gdesc"), QStringLiteral("gid"), [&](int id) { clicked << id; }, &menu);
    QCOMPARE(menu.actions().size(), 2);
}

void TestLookups::findIdAndTextAnswerZeroAndEmptyWhenMissing()
{
    Groups g({{QStringLiteral("Staff"), 3}, {QStringLiteral("staff"), 4}, {QStringLiteral("DEFAULT"), 0}});
    Query &q = g.data.QGroup;
    int id = -1;
    QVERIFY(FindIdByText(q, QStringLiteral("staff"), QStringLiteral("gdesc"), id, QStringLiteral("gid")));
    QCOMPARE(id, 4);
    QVERIFY(FindIdByText(q, QStringLiteral("Staff"), QStringLiteral("gdesc"), id, QStringLiteral("gid")));
    QCOMPARE(id, 3);
    QVERIFY(!FindIdByText(q, QStringLiteral("STAFF"), QStringLiteral("gdesc"), id, QStringLiteral("gid")));
    QCOMPARE(id, 0);
    id = -1;
    QVERIFY(!FindIdByText(q, QString(), QStringLiteral("gdesc"), id, QStringLiteral("gid")));
    QCOMPARE(id, 0);

    QString text = QStringLiteral("before");
    QVERIFY(FindTextById(q, 4, QStringLiteral("gid"), text, QStringLiteral("gdesc")));
    QCOMPARE(text, QStringLiteral("staff"));
    // A failed lookup leaves the query's current row where it was.
    const int row = q.recNo();
    QVERIFY(!FindTextById(q, 99, QStringLiteral("gid"), text, QStringLiteral("gdesc")));
    QCOMPARE(text, QString());
    QCOMPARE(q.recNo(), row);

    Groups none({});
    text = QStringLiteral("before");
    QVERIFY(!FindTextById(none.data.QGroup, 0, QStringLiteral("gid"), text, QStringLiteral("gdesc")));
    QVERIFY(text.isEmpty());
}

QTEST_MAIN(TestLookups)
#include "tst_lookups.moc"
