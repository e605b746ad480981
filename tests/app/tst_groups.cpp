// Group commands of the main window: "New" (existing name, other letter
// case, a new group's place in the lists, ids that no longer fit), "Remove"
// (DEFAULT, cancelling, moving the members to group 0) and moving a member
// from the grid's context menu.

#include "appfixture.h"

#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>

using namespace apptest;
using tessary::MessageResult;
using tessary::ScopedScriptedPrompts;
using tessary::Tdsrc;

namespace {

QAction *menuItem(TVaraDavuz &window, int groupId)
{
    for (QAction *a : window.puMenu->actions())
        if (a->data().toInt() == groupId)
            return a;
    return nullptr;
}

QStringList menuCaptions(TVaraDavuz &window)
{
    QStringList out;
    for (QAction *a : window.puMenu->actions())
        out << a->text();
    return out;
}

} // namespace

class TestGroups : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { useTemporarySettings(); }
    void init() { clearSettings(); }

    void newGroupWithExistingNameSelectsIt();
    void newGroupIsLastInListAndMenu();
    void newGroupCancelledOrEmptyCreatesNothing();
    void newGroupTakesLastIdThatFits();
    void newGroupWhoseIdDoesNotFitIsRefused();
    void removeDefaultIsRefused();
    void removeCancelledChangesNothing();
    void removeMovesMembersToGroupZero();
    void moveMemberFromContextMenu();
    void moveMemberToListedGroupKeepsIt();
    void refusedMoveLeavesMemberWhereItWas();
};

void TestGroups::newGroupWithExistingNameSelectsIt()
{
    ProgramFolder folder;
    const int alpha = folder.addGroup(QStringLiteral("Alpha"));
    const int beta = folder.addGroup(QStringLiteral("Beta"));
    folder.addMember(QStringLiteral("Ann"), alpha);
    folder.addMember(QStringLiteral("Bob"), beta);
    ScopedScriptedPrompts prompts;
    prompts->inputAnswers.push_back(QStringLiteral("Beta"));
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    QCOMPARE(window.eName->text(), QStringLiteral("Ann"));

    window.bNewGrp->click();
    QCOMPARE(prompts->asked.size(), size_t(1));
    QCOMPARE(prompts->asked.front().what, QStringLiteral("input"));
    QCOMPARE(prompts->asked.front().title, QStringLiteral("Create new group"));
    QCOMPARE(prompts->asked.front().text, QStringLiteral("New group name"));
    QCOMPARE(folder.db().count(QStringLiteral("grptbl")), 3);
    QCOMPARE(window.lstGroup->currentText(), QStringLiteral("Beta"));
    QCOMPARE(window.CurrentGroupId, beta);
    QCOMPARE(listedNames(window), QStringList{QStringLiteral("Bob")});
    QCOMPARE(window.eName->text(), QStringLiteral("Bob"));
}

void TestGroups::newGroupIsLastInListAndMenu()
{
    ProgramFolder folder;
    const int beta = folder.addGroup(QStringLiteral("Beta"));
    folder.addMember(QStringLiteral("Bob"), beta);
    ScopedScriptedPrompts prompts;
    prompts->inputAnswers = {QStringLiteral("beta"), QStringLiteral("Aardvark")};
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    QCOMPARE(groupEntries(window), (QStringList{QStringLiteral("Beta"), QStringLiteral("DEFAULT")}));

    // Another letter case is another group.
    window.bNewGrp->click();
    const QList<QVariantList> created =
        folder.db().rows(QStringLiteral("select seq, gid from grptbl where %1 = 'beta'").arg(folder.db().exactText(QStringLiteral("gdesc"))));
    QCOMPARE(created.size(), 1);
    const int lowerId = created.first().at(0).toInt();
    QCOMPARE(created.first().at(1).toInt(), lowerId);
    QCOMPARE(groupEntries(window), (QStringList{QStringLiteral("Beta"), QStringLiteral("DEFAULT"), QStringLiteral("beta")}));
    QCOMPARE(window.lstGroup->currentIndex(), 2);
    QCOMPARE(window.CurrentGroupId, lowerId);
    QCOMPARE(window.dbgInfo->model()->rowCount(), 0);
    QVERIFY(window.eName->text().isEmpty());
    QCOMPARE(window.statusText(1), QStringLiteral("Total Groups=3"));
    QCOMPARE(window.statusText(2), QStringLiteral("Group Members=0"));

    // A name that sorts first still goes last, in the list and the menu.
    window.bNewGrp->click();
    const int aardvark =
        folder.db().value(QStringLiteral("select gid from grptbl where gdesc = 'Aardvark'")).toInt();
    QVERIFY(aardvark > lowerId);
    QCOMPARE(groupEntries(window).last(), QStringLiteral("Aardvark"));
    QCOMPARE(window.lstGroup->currentText(), QStringLiteral("Aardvark"));
    QCOMPARE(window.CurrentGroupId, aardvark);
    QCOMPARE(menuCaptions(window),
             (QStringList{QStringLiteral("Beta"), QStringLiteral("DEFAULT"), QStringLiteral("beta"),
                          QStringLiteral("Aardvark")}));
    QCOMPARE(window.puMenu->actions().last()->data().toInt(), aardvark);
    QCOMPARE(window.statusText(1), QStringLiteral("Total Groups=4"));
    QCOMPARE(prompts->messages(), QStringList());

    // The next start lists the groups by name again.
    Tdsrc data2;
    TVaraDavuz again(data2, folder.path());
    QCOMPARE(groupEntries(again).first(), QStringLiteral("Aardvark"));
}

void TestGroups::newGroupCancelledOrEmptyCreatesNothing()
{
    ProgramFolder folder;
    ScopedScriptedPrompts prompts;
    prompts->inputAnswers = {std::nullopt, QString(QLatin1String(""))};
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    window.bNewGrp->click();
    window.bNewGrp->click();
    QCOMPARE(prompts->asked.size(), size_t(2));
    QCOMPARE(prompts->messages(), QStringList());
    QCOMPARE(folder.db().count(QStringLiteral("grptbl")), 1);
    QCOMPARE(groupEntries(window), QStringList{QStringLiteral("DEFAULT")});
}

void TestGroups::newGroupTakesLastIdThatFits()
{
    ProgramFolder folder;
    folder.db().exec(QStringLiteral("insert into grptbl (seq, gid, gdesc) values (32766, 32766, 'Before')"));
    folder.db().keysWritten();
    ScopedScriptedPrompts prompts;
    prompts->inputAnswers = {QStringLiteral("Fits")};
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    window.bNewGrp->click();
    QCOMPARE(prompts->messages(), QStringList());
    QCOMPARE(folder.db().rows(QStringLiteral("select seq, gid from grptbl where gdesc = 'Fits'")),
             (QList<QVariantList>{{qlonglong(32767), qlonglong(32767)}}));
    QCOMPARE(window.lstGroup->currentText(), QStringLiteral("Fits"));
    QCOMPARE(window.CurrentGroupId, 32767);
}

void TestGroups::newGroupWhoseIdDoesNotFitIsRefused()
{
    ProgramFolder folder;
    // The last row key a group id can hold; the next group would get 32768.
    folder.db().exec(QStringLiteral("insert into grptbl (seq, gid, gdesc) values (32767, 32767, 'Last')"));
    folder.db().keysWritten();
    folder.addMember(QStringLiteral("Lu"), 32767);
    ScopedScriptedPrompts prompts;
    prompts->inputAnswers = {QStringLiteral("Overflow"), QStringLiteral("Again")};
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    QCOMPARE(groupEntries(window), (QStringList{QStringLiteral("DEFAULT"), QStringLiteral("Last")}));
    chooseGroup(window, QStringLiteral("Last"));

    window.bNewGrp->click();
    const QStringList reports = messagesTitled(*prompts, QStringLiteral("Tessary"));
    QCOMPARE(reports.size(), 1);
    QVERIFY2(reports.first().contains(QStringLiteral("Overflow")), qPrintable(reports.first()));
    QVERIFY2(reports.first().contains(QStringLiteral("32767")), qPrintable(reports.first()));
    QCOMPARE(prompts->asked.back().kind, tessary::MessageKind::Error);

    // No half-made group: no row, no entry, and DEFAULT is still the only
    // group with id 0.
    QCOMPARE(folder.db().strings(QStringLiteral("select gdesc from grptbl order by seq")),
             (QStringList{QStringLiteral("DEFAULT"), QStringLiteral("Last")}));
    QCOMPARE(folder.db().count(QStringLiteral("grptbl"), QStringLiteral("gid = 0")), 1);
    QCOMPARE(groupEntries(window), (QStringList{QStringLiteral("DEFAULT"), QStringLiteral("Last")}));
    QCOMPARE(menuCaptions(window), (QStringList{QStringLiteral("DEFAULT"), QStringLiteral("Last")}));
    QCOMPARE(window.lstGroup->currentText(), QStringLiteral("Last"));
    QCOMPARE(window.CurrentGroupId, 32767);
    QCOMPARE(listedNames(window), QStringList{QStringLiteral("Lu")});
    QCOMPARE(window.data().QGroup.recordCount(), 2);
    QCOMPARE(window.data().QGroup.state(), tessary::Query::State::Browse);

    // A second try is refused the same way; the group list keeps working.
    window.bNewGrp->click();
    QCOMPARE(messagesTitled(*prompts, QStringLiteral("Tessary")).size(), 2);
    QCOMPARE(folder.db().count(QStringLiteral("grptbl")), 2);
    chooseGroup(window, QStringLiteral("DEFAULT"));
    QCOMPARE(window.CurrentGroupId, 0);
    QCOMPARE(window.statusText(1), QStringLiteral("Total Groups=2"));
}

void TestGroups::removeDefaultIsRefused()
{
    ProgramFolder folder;
    const int lower = folder.addGroup(QStringLiteral("default"));
    folder.addMember(QStringLiteral("Dan"), 0);
    ScopedScriptedPrompts prompts;
    prompts->messageAnswers.push_back(MessageResult::Ok);
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    chooseGroup(window, QStringLiteral("DEFAULT"));

    window.bRemove->click();
    QCOMPARE(prompts->asked.size(), size_t(1));
    QCOMPARE(prompts->asked.front().title, QStringLiteral("Error"));
    QCOMPARE(prompts->asked.front().text, QStringLiteral("Cannot delete DEFAULT group."));
    QCOMPARE(folder.db().count(QStringLiteral("grptbl")), 2);

    // The same word in other letters is an ordinary group.
    chooseGroup(window, QStringLiteral("default"));
    QCOMPARE(window.CurrentGroupId, lower);
    window.bRemove->click();
    QCOMPARE(prompts->messages().last(), QStringLiteral("Delete the record?"));
    QCOMPARE(folder.db().strings(QStringLiteral("select gdesc from grptbl")), QStringList{QStringLiteral("DEFAULT")});
    QCOMPARE(groupEntries(window), QStringList{QStringLiteral("DEFAULT")});
    QCOMPARE(listedNames(window), QStringList{QStringLiteral("Dan")});
}

void TestGroups::removeCancelledChangesNothing()
{
    ProgramFolder folder;
    const int alpha = folder.addGroup(QStringLiteral("Alpha"));
    folder.addMember(QStringLiteral("Ann"), alpha);
    ScopedScriptedPrompts prompts;
    prompts->messageAnswers.push_back(MessageResult::Cancel);
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    window.bRemove->click();
    QCOMPARE(prompts->messages(), QStringList{QStringLiteral("Delete the record?")});
    QCOMPARE(folder.db().count(QStringLiteral("grptbl")), 2);
    QCOMPARE(folder.db().value(QStringLiteral("select gid from stafftbl")).toInt(), alpha);
    QCOMPARE(groupEntries(window), (QStringList{QStringLiteral("Alpha"), QStringLiteral("DEFAULT")}));
    QCOMPARE(window.lstGroup->currentText(), QStringLiteral("Alpha"));
    QCOMPARE(listedNames(window), QStringList{QStringLiteral("Ann")});
}

void TestGroups::removeMovesMembersToGroupZero()
{
    ProgramFolder folder;
    const int alpha = folder.addGroup(QStringLiteral("Alpha"));
    const int beta = folder.addGroup(QStringLiteral("Beta"));
    folder.addMember(QStringLiteral("Ann"), alpha);
    folder.addMember(QStringLiteral("Abe"), alpha);
    folder.addMember(QStringLiteral("Bob"), beta);
    folder.addMember(QStringLiteral("Dee"), 0);
    ScopedScriptedPrompts prompts;
    prompts->messageAnswers.push_back(MessageResult::Ok);
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    QCOMPARE(window.lstGroup->currentText(), QStringLiteral("Alpha"));

    window.bRemove->click();
    QCOMPARE(prompts->messages(), QStringList{QStringLiteral("Delete the record?")});
    QCOMPARE(folder.db().strings(QStringLiteral("select gdesc from grptbl order by gdesc")),
             (QStringList{QStringLiteral("Beta"), QStringLiteral("DEFAULT")}));
    QCOMPARE(folder.db().strings(QStringLiteral("select name from stafftbl where gid = 0 order by name")),
             (QStringList{QStringLiteral("Abe"), QStringLiteral("Ann"), QStringLiteral("Dee")}));
    QCOMPARE(folder.db().value(QStringLiteral("select gid from stafftbl where name = 'Bob'")).toInt(), beta);

    QCOMPARE(groupEntries(window), (QStringList{QStringLiteral("Beta"), QStringLiteral("DEFAULT")}));
    QCOMPARE(menuCaptions(window), (QStringList{QStringLiteral("Beta"), QStringLiteral("DEFAULT")}));
    QCOMPARE(window.lstGroup->currentIndex(), 0);
    QCOMPARE(window.CurrentGroupId, beta);
    QCOMPARE(listedNames(window), QStringList{QStringLiteral("Bob")});
    QCOMPARE(window.eName->text(), QStringLiteral("Bob"));
    QCOMPARE(window.statusText(1), QStringLiteral("Total Groups=2"));
    QCOMPARE(window.statusText(2), QStringLiteral("Group Members=1"));

    chooseGroup(window, QStringLiteral("DEFAULT"));
    QCOMPARE(listedNames(window), (QStringList{QStringLiteral("Abe"), QStringLiteral("Ann"), QStringLiteral("Dee")}));
}

void TestGroups::moveMemberFromContextMenu()
{
    ProgramFolder folder;
    const int alpha = folder.addGroup(QStringLiteral("Alpha"));
    const int beta = folder.addGroup(QStringLiteral("Beta"));
    folder.addMember(QStringLiteral("Ann"), alpha);
    folder.addMember(QStringLiteral("Bob"), alpha);
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // The operator's way: the context menu over the grid, then an item.
    QTableView *grid = window.dbgInfo;
    const QPoint at = grid->visualRect(grid->model()->index(0, 1)).center();
    emit grid->customContextMenuRequested(at);
    QVERIFY(QTest::qWaitForWindowExposed(window.puMenu));
    QAction *toBeta = menuItem(window, beta);
    QVERIFY(toBeta);
    QTest::mouseClick(window.puMenu, Qt::LeftButton, {}, window.puMenu->actionGeometry(toBeta).center());
    QTRY_VERIFY(!window.puMenu->isVisible());

    QCOMPARE(folder.db().value(QStringLiteral("select gid from stafftbl where name = 'Ann'")).toInt(), beta);
    QCOMPARE(window.lstGroup->currentText(), QStringLiteral("Alpha"));
    QCOMPARE(listedNames(window), QStringList{QStringLiteral("Bob")});
    QCOMPARE(window.eName->text(), QStringLiteral("Bob"));
    QCOMPARE(window.statusText(2), QStringLiteral("Group Members=1"));

    // Moving the only listed member empties the list and the pane.
    QAction *toDefault = menuItem(window, 0);
    QVERIFY(toDefault);
    toDefault->trigger();
    QCOMPARE(folder.db().value(QStringLiteral("select gid from stafftbl where name = 'Bob'")).toInt(), 0);
    QCOMPARE(window.dbgInfo->model()->rowCount(), 0);
    QVERIFY(window.eName->text().isEmpty());
    QCOMPARE(window.statusText(2), QStringLiteral("Group Members=0"));
    QCOMPARE(window.statusText(0), QStringLiteral("Total Staffs=2"));

    // With nobody listed, an item does nothing.
    menuItem(window, beta)->trigger();
    QCOMPARE(folder.db().count(QStringLiteral("stafftbl"), QStringLiteral("gid = ?"), {beta}), 1);
    QVERIFY(prompts->asked.empty());
}

void TestGroups::moveMemberToListedGroupKeepsIt()
{
    ProgramFolder folder;
    const int alpha = folder.addGroup(QStringLiteral("Alpha"));
    folder.addMember(QStringLiteral("Ann"), alpha);
    folder.addMember(QStringLiteral("Bob"), alpha);
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    window.data().QStaff.setRecNo(1);
    window.ShowCurrentMember();
    QCOMPARE(window.eName->text(), QStringLiteral("Bob"));

    menuItem(window, alpha)->trigger();
    QCOMPARE(folder.db().count(QStringLiteral("stafftbl"), QStringLiteral("gid = ?"), {alpha}), 2);
    QCOMPARE(listedNames(window), (QStringList{QStringLiteral("Ann"), QStringLiteral("Bob")}));
    QCOMPARE(window.data().QStaff.recNo(), 0);
    QCOMPARE(window.eName->text(), QStringLiteral("Ann"));
    QVERIFY(prompts->asked.empty());
}

void TestGroups::refusedMoveLeavesMemberWhereItWas()
{
    ProgramFolder folder;
    const int alpha = folder.addGroup(QStringLiteral("Alpha"));
    const int beta = folder.addGroup(QStringLiteral("Beta"));
    folder.addMember(QStringLiteral("Ann"), alpha);
    folder.addMember(QStringLiteral("Bob"), alpha);
    folder.db().refuse(QStringLiteral("stay"), QStringLiteral("update of gid"), QStringLiteral("stafftbl"),
                       QStringLiteral("old.name = 'Ann'"), QStringLiteral("Ann stays"));
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());

    // Nothing is reported; the member stays and the list goes on working.
    menuItem(window, beta)->trigger();
    QVERIFY(prompts->asked.empty());
    QCOMPARE(folder.db().value(QStringLiteral("select gid from stafftbl where name = 'Ann'")).toInt(), alpha);
    QCOMPARE(window.data().QStaff.state(), tessary::Query::State::Browse);
    QCOMPARE(listedNames(window), (QStringList{QStringLiteral("Ann"), QStringLiteral("Bob")}));

    window.data().QStaff.setRecNo(1);
    QCOMPARE(window.data().QStaff.state(), tessary::Query::State::Browse);
    menuItem(window, beta)->trigger();
    QVERIFY(prompts->asked.empty());
    QCOMPARE(folder.db().value(QStringLiteral("select gid from stafftbl where name = 'Bob'")).toInt(), beta);
    QCOMPARE(listedNames(window), QStringList{QStringLiteral("Ann")});
}

QTEST_MAIN(TestGroups)
#include "tst_groups.moc"
