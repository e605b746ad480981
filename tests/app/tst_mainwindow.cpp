// The main window on a real card database: start-up with and without stored
// settings, a missing database, listing and counts, the detail pane, and
// what shut-down leaves in the settings store.

#include "appfixture.h"
#include "data/databasechoice.h"

#include "card/layout.h"
#include "photoui/imagecontrol.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenuBar>
#include <QPushButton>
#include <QGroupBox>
#include <QDateEdit>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>

using namespace apptest;
using tessary::ScopedScriptedPrompts;
using tessary::Tdsrc;

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        useTemporarySettings();
        // Month names in the date pickers follow the locale.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void init() { clearSettings(); }

    void firstStartUsesDefaults();
    void storedPlacementWidthsAndPortAreRestored();
    void shutDownWhileMaximisedKeepsNormalBounds();
    void missingDatabaseOpensEmptyWindow();
    void databaseWithoutGroupsListsGroupZero();
    void countsIncludeMembersOfMissingGroups();
    void selectingGroupListsItsMembers();
    void showGroupByIdWithUnknownId();
    void clickingRowShowsMember();
    void rightButtonShowsTheMemberTheMenuActsOn();
    void datesAndEmptyColumnsInDetailPane();
    void unusableSortOrderListsByName_data();
    void unusableSortOrderListsByName();
    void everyInputControlIsNamed();
    void tabOrderOfDetailPane();
    void unreachableControlsStayHidden();
    void cardLayoutOpensTheDialog();
};

void TestMainWindow::firstStartUsesDefaults()
{
    ProgramFolder folder;
    folder.addMember(QStringLiteral("Zed"), 0);
    folder.addMember(QStringLiteral("Amy"), 0);
    folder.addMember(QStringLiteral("Mia"), 0);
    ScopedScriptedPrompts prompts;
    {
        Tdsrc data;
        TVaraDavuz window(data, folder.path());
        QVERIFY2(prompts->asked.empty(), qPrintable(prompts->messages().join(QLatin1Char('|'))));

        QCOMPARE(window.pos(), QPoint(0, 0));
        QCOMPARE(window.size(), QSize(640, 480));
        QVERIFY(!window.isMaximized());
        for (int c = 0; c < 3; ++c)
            QCOMPARE(window.dbgInfo->columnWidth(c), 100);
        QVERIFY(window.dbgInfo->isColumnHidden(3));
        QCOMPARE(window.SortOrder, QStringLiteral("name"));
        QCOMPARE(window.sePort->value(), 1);

        QCOMPARE(groupEntries(window), QStringList{QStringLiteral("DEFAULT")});
        QCOMPARE(window.lstGroup->currentIndex(), 0);
        QCOMPARE(window.CurrentGroupId, 0);
        QCOMPARE(listedNames(window), (QStringList{QStringLiteral("Amy"), QStringLiteral("Mia"), QStringLiteral("Zed")}));
        QCOMPARE(window.data().QStaff.recNo(), 0);
        QCOMPARE(window.dbgInfo->currentIndex().row(), 0);
        QCOMPARE(window.eName->text(), QStringLiteral("Amy"));
        QCOMPARE(window.statusText(0), QStringLiteral("Total Staffs=3"));
        QCOMPARE(window.statusText(1), QStringLiteral("Total Groups=1"));
        QCOMPARE(window.statusText(2), QStringLiteral("Group Members=3"));
        if (ProgramFolder::onServer()) {
            QCOMPARE(window.DatabaseServer, folder.conninfo());
            QVERIFY(window.DatabasePath.isEmpty());
        } else {
            QCOMPARE(window.DatabasePath, QFileInfo(folder.databasePath()).absoluteFilePath());
        }
        QVERIFY(window.ProgramFolder.endsWith(QLatin1Char('/')));
    }
    // Start-up reads but does not write; shut-down writes the defaults back.
    QVERIFY(!setting(QStringLiteral("SortField")));
    QCOMPARE(setting(QStringLiteral("MainWin_MAX")), QStringLiteral("0"));
    QCOMPARE(setting(QStringLiteral("MainWin_TOP")), QStringLiteral("0"));
    QCOMPARE(setting(QStringLiteral("MainWin_LEFT")), QStringLiteral("0"));
    QCOMPARE(setting(QStringLiteral("MainWin_WIDTH")), QStringLiteral("640"));
    QCOMPARE(setting(QStringLiteral("MainWin_HEIGHT")), QStringLiteral("480"));
    for (int c = 0; c < 4; ++c)
        QCOMPARE(setting(QStringLiteral("MainGrid_%1").arg(c)), QStringLiteral("100"));
    QCOMPARE(setting(QStringLiteral("PORT")), QStringLiteral("1"));
    QVERIFY(prompts->asked.empty());
}

void TestMainWindow::storedPlacementWidthsAndPortAreRestored()
{
    ProgramFolder folder;
    putSetting(QStringLiteral("MainWin_TOP"), QStringLiteral("30"));
    putSetting(QStringLiteral("MainWin_LEFT"), QStringLiteral("40"));
    putSetting(QStringLiteral("MainWin_WIDTH"), QStringLiteral("700"));
    putSetting(QStringLiteral("MainWin_HEIGHT"), QStringLiteral("520"));
    putSetting(QStringLiteral("MainWin_MAX"), QStringLiteral("0"));
    putSetting(QStringLiteral("MainGrid_0"), QStringLiteral("60"));
    putSetting(QStringLiteral("MainGrid_1"), QStringLiteral("150"));
    putSetting(QStringLiteral("MainGrid_2"), QStringLiteral("80"));
    putSetting(QStringLiteral("MainGrid_3"), QStringLiteral("33"));
    putSetting(QStringLiteral("PORT"), QStringLiteral("5"));
    ScopedScriptedPrompts prompts;
    {
        Tdsrc data;
        TVaraDavuz window(data, folder.path());
        QVERIFY(prompts->asked.empty());
        QCOMPARE(window.pos(), QPoint(40, 30));
        QCOMPARE(window.size(), QSize(700, 520));
        QVERIFY(!window.isMaximized());
        QCOMPARE(window.dbgInfo->columnWidth(0), 60);
        QCOMPARE(window.dbgInfo->columnWidth(1), 150);
        QCOMPARE(window.dbgInfo->columnWidth(2), 80);
        QVERIFY(window.dbgInfo->isColumnHidden(3));
        QCOMPARE(window.sePort->value(), 5);

        // What the operator changes is what shut-down stores.
        window.move(50, 60);
        window.resize(720, 530);
        window.dbgInfo->setColumnWidth(1, 90);
        window.sePort->setValue(3);
    }
    QCOMPARE(setting(QStringLiteral("MainWin_MAX")), QStringLiteral("0"));
    QCOMPARE(setting(QStringLiteral("MainWin_TOP")), QStringLiteral("60"));
    QCOMPARE(setting(QStringLiteral("MainWin_LEFT")), QStringLiteral("50"));
    QCOMPARE(setting(QStringLiteral("MainWin_WIDTH")), QStringLiteral("720"));
    QCOMPARE(setting(QStringLiteral("MainWin_HEIGHT")), QStringLiteral("530"));
    QCOMPARE(setting(QStringLiteral("MainGrid_0")), QStringLiteral("60"));
    QCOMPARE(setting(QStringLiteral("MainGrid_1")), QStringLiteral("90"));
    QCOMPARE(setting(QStringLiteral("MainGrid_2")), QStringLiteral("80"));
    // The hidden column keeps its stored width.
    QCOMPARE(setting(QStringLiteral("MainGrid_3")), QStringLiteral("33"));
    QCOMPARE(setting(QStringLiteral("PORT")), QStringLiteral("3"));
}

void TestMainWindow::shutDownWhileMaximisedKeepsNormalBounds()
{
    ProgramFolder folder;
    putSetting(QStringLiteral("MainWin_TOP"), QStringLiteral("12"));
    putSetting(QStringLiteral("MainWin_LEFT"), QStringLiteral("34"));
    putSetting(QStringLiteral("MainWin_WIDTH"), QStringLiteral("660"));
    putSetting(QStringLiteral("MainWin_HEIGHT"), QStringLiteral("500"));
    ScopedScriptedPrompts prompts;
    {
        Tdsrc data;
        TVaraDavuz window(data, folder.path());
        window.showMaximized();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.isMaximized());
    }
    QCOMPARE(setting(QStringLiteral("MainWin_MAX")), QStringLiteral("1"));
    QCOMPARE(setting(QStringLiteral("MainWin_TOP")), QStringLiteral("12"));
    QCOMPARE(setting(QStringLiteral("MainWin_LEFT")), QStringLiteral("34"));
    QCOMPARE(setting(QStringLiteral("MainWin_WIDTH")), QStringLiteral("660"));
    QCOMPARE(setting(QStringLiteral("MainWin_HEIGHT")), QStringLiteral("500"));

    // The next start puts the normal bounds back and then maximises.
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    QVERIFY(window.isMaximized());
    QCOMPARE(window.pos(), QPoint(34, 12));
    QCOMPARE(window.size(), QSize(660, 500));
    QVERIFY(prompts->asked.empty());
}

void TestMainWindow::missingDatabaseOpensEmptyWindow()
{
    ProgramFolder folder(false);
    // Stored values that must not be read when the connection fails.
    putSetting(QStringLiteral("MainWin_WIDTH"), QStringLiteral("700"));
    putSetting(QStringLiteral("MainGrid_1"), QStringLiteral("150"));
    putSetting(QStringLiteral("PORT"), QStringLiteral("4"));
    ScopedScriptedPrompts prompts;
    {
        Tdsrc data;
        TVaraDavuz window(data, folder.path());

        QCOMPARE(prompts->asked.size(), size_t(1));
        const auto &report = prompts->asked.front();
        QCOMPARE(report.kind, tessary::MessageKind::Error);
        QVERIFY(!report.withCancel);
        if (ProgramFolder::onServer()) {
            // A server database without the tables: the connection's own
            // message, in the error box of a server that cannot be used.
            QCOMPARE(report.title, QStringLiteral("Error"));
            QVERIFY2(report.text.contains(tessary::serverLocation(folder.conninfo())), qPrintable(report.text));
            QVERIFY2(report.text.contains(QStringLiteral("is not a card database")), qPrintable(report.text));
        } else {
            QCOMPARE(report.title, QStringLiteral("Tessary"));
            QVERIFY2(report.text.contains(QStringLiteral("cardinfo.mdb")), qPrintable(report.text));
            QVERIFY2(report.text.contains(QStringLiteral("unable to open database file")), qPrintable(report.text));
            QVERIFY(report.text.endsWith(QLatin1Char('.')));
        }

        QVERIFY(!QFileInfo::exists(folder.databasePath()));
        QCOMPARE(window.lstGroup->count(), 0);
        QCOMPARE(window.dbgInfo->model()->rowCount(), 0);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(window.statusText(i), QString());
        QCOMPARE(window.geometry(), QRect(265, 195, 811, 598));
        QCOMPARE(window.dbgInfo->columnWidth(1), 100);
        QCOMPARE(window.sePort->value(), 1);
        QVERIFY(window.eName->text().isEmpty());
    }
    QVERIFY(!QFileInfo::exists(folder.databasePath()));
    QCOMPARE(setting(QStringLiteral("MainWin_WIDTH")), QStringLiteral("811"));
    QCOMPARE(setting(QStringLiteral("MainWin_HEIGHT")), QStringLiteral("598"));
    QCOMPARE(setting(QStringLiteral("MainWin_LEFT")), QStringLiteral("265"));
    QCOMPARE(setting(QStringLiteral("MainWin_TOP")), QStringLiteral("195"));
    QCOMPARE(setting(QStringLiteral("MainGrid_1")), QStringLiteral("100"));
    QCOMPARE(setting(QStringLiteral("PORT")), QStringLiteral("1"));
    QCOMPARE(prompts->asked.size(), size_t(1));
}

void TestMainWindow::databaseWithoutGroupsListsGroupZero()
{
    ProgramFolder folder;
    folder.db().exec(QStringLiteral("delete from grptbl"));
    folder.addMember(QStringLiteral("Bo"), 0);
    folder.addMember(QStringLiteral("Al"), 0);
    folder.addMember(QStringLiteral("Cy"), 5);
    ScopedScriptedPrompts prompts;
    {
        Tdsrc data;
        TVaraDavuz window(data, folder.path());
        QVERIFY(prompts->asked.empty());
        QCOMPARE(window.lstGroup->count(), 0);
        QCOMPARE(window.lstGroup->currentIndex(), -1);
        QCOMPARE(window.CurrentGroupId, 0);
        QCOMPARE(listedNames(window), (QStringList{QStringLiteral("Al"), QStringLiteral("Bo")}));
        QCOMPARE(window.eName->text(), QStringLiteral("Al"));
        QCOMPARE(window.statusText(0), QStringLiteral("Total Staffs=3"));
        QCOMPARE(window.statusText(1), QStringLiteral("Total Groups=0"));
        QCOMPARE(window.statusText(2), QStringLiteral("Group Members=2"));
        QVERIFY(window.puMenu->actions().isEmpty());
    }

    // Nobody left in group 0: the grid is empty and the pane is cleared.
    folder.db().exec(QStringLiteral("delete from stafftbl where gid = 0"));
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    QVERIFY(prompts->asked.empty());
    QCOMPARE(window.dbgInfo->model()->rowCount(), 0);
    QVERIFY(window.eName->text().isEmpty());
    QVERIFY(window.eStaffNo->text().isEmpty());
    QCOMPARE(window.dpJoin->date(), QDate::currentDate());
    QCOMPARE(window.dpExpiry->date(), QDate::currentDate());
    QCOMPARE(window.statusText(0), QStringLiteral("Total Staffs=1"));
    QCOMPARE(window.statusText(2), QStringLiteral("Group Members=0"));
}

void TestMainWindow::countsIncludeMembersOfMissingGroups()
{
    ProgramFolder folder;
    const int alpha = folder.addGroup(QStringLiteral("Alpha"));
    folder.addMember(QStringLiteral("A1"), alpha);
    folder.addMember(QStringLiteral("A2"), alpha);
    folder.addMember(QStringLiteral("D1"), 0);
    folder.addMember(QStringLiteral("Lost1"), 77);
    folder.addMember(QStringLiteral("Lost2"), 77);
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    QVERIFY(prompts->asked.empty());
    // Groups are listed by name: "Alpha" comes first and is listed.
    QCOMPARE(groupEntries(window), (QStringList{QStringLiteral("Alpha"), QStringLiteral("DEFAULT")}));
    QCOMPARE(window.CurrentGroupId, alpha);
    QCOMPARE(window.statusText(0), QStringLiteral("Total Staffs=5"));
    QCOMPARE(window.statusText(1), QStringLiteral("Total Groups=2"));
    QCOMPARE(window.statusText(2), QStringLiteral("Group Members=2"));
}

void TestMainWindow::selectingGroupListsItsMembers()
{
    ProgramFolder folder;
    const int alpha = folder.addGroup(QStringLiteral("Alpha"));
    const int beta = folder.addGroup(QStringLiteral("Beta"));
    folder.addMember(QStringLiteral("Ann"), alpha);
    Member bob;
    bob.name = QStringLiteral("Bob");
    bob.gid = beta;
    bob.staffno = QStringLiteral("B-2");
    folder.addMember(bob);
    folder.addMember(QStringLiteral("Bea"), beta);
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    QCOMPARE(window.eName->text(), QStringLiteral("Ann"));

    chooseGroup(window, QStringLiteral("Beta"));
    QCOMPARE(window.CurrentGroupId, beta);
    QCOMPARE(listedNames(window), (QStringList{QStringLiteral("Bea"), QStringLiteral("Bob")}));
    QCOMPARE(window.data().QStaff.recNo(), 0);
    QCOMPARE(window.eName->text(), QStringLiteral("Bea"));
    QCOMPARE(window.statusText(2), QStringLiteral("Group Members=2"));

    // The context menu holds one item per group, tagged with its id.
    const QList<QAction *> items = window.puMenu->actions();
    QCOMPARE(items.size(), 3);
    QCOMPARE(items.at(0)->text(), QStringLiteral("Alpha"));
    QCOMPARE(items.at(0)->data().toInt(), alpha);
    QCOMPARE(items.at(1)->data().toInt(), beta);
    QCOMPARE(items.at(2)->text(), QStringLiteral("DEFAULT"));
    QCOMPARE(items.at(2)->data().toInt(), 0);

    chooseGroup(window, QStringLiteral("DEFAULT"));
    QCOMPARE(window.CurrentGroupId, 0);
    QCOMPARE(window.dbgInfo->model()->rowCount(), 0);
    QVERIFY(window.eName->text().isEmpty());
    QCOMPARE(window.statusText(2), QStringLiteral("Group Members=0"));
    QVERIFY(prompts->asked.empty());
}

void TestMainWindow::showGroupByIdWithUnknownId()
{
    ProgramFolder folder;
    const int alpha = folder.addGroup(QStringLiteral("Alpha"));
    folder.addMember(QStringLiteral("Ann"), alpha);
    folder.addMember(QStringLiteral("Lost2"), 77);
    folder.addMember(QStringLiteral("Lost1"), 77);
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());

    window.ShowGroupById(77);
    QCOMPARE(window.CurrentGroupId, 77);
    QCOMPARE(window.lstGroup->currentIndex(), -1);
    QCOMPARE(listedNames(window), (QStringList{QStringLiteral("Lost1"), QStringLiteral("Lost2")}));
    QCOMPARE(window.statusText(2), QStringLiteral("Group Members=2"));
    QCOMPARE(window.puMenu->actions().size(), 2);

    window.ShowGroupById(0);
    QCOMPARE(window.lstGroup->currentText(), QStringLiteral("DEFAULT"));
    QCOMPARE(window.dbgInfo->model()->rowCount(), 0);
    window.ShowGroupById(alpha);
    QCOMPARE(window.lstGroup->currentText(), QStringLiteral("Alpha"));
    QCOMPARE(listedNames(window), QStringList{QStringLiteral("Ann")});
    QVERIFY(prompts->asked.empty());
}

void TestMainWindow::clickingRowShowsMember()
{
    ProgramFolder folder;
    for (const char *name : {"Ada", "Ben", "Cid"}) {
        Member m;
        m.name = QString::fromLatin1(name);
        m.staffno = QStringLiteral("S-") + m.name;
        folder.addMember(m);
    }
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QTableView *grid = window.dbgInfo;
    // Following the current member never scrolls the grid sideways: the
    // first column stays in view at the first start's 640 x 480.
    QCOMPARE(window.size(), QSize(640, 480));
    QCOMPARE(grid->columnViewportPosition(0), 0);
    const QRect cell = grid->visualRect(grid->model()->index(2, 1));
    QVERIFY(cell.isValid());
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(window.data().QStaff.recNo(), 2);
    QCOMPARE(window.eName->text(), QStringLiteral("Cid"));
    QCOMPARE(window.eStaffNo->text(), QStringLiteral("S-Cid"));

    // Keys move the current member too; the pane follows on key release.
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Up);
    QCOMPARE(window.data().QStaff.recNo(), 1);
    QCOMPARE(window.eName->text(), QStringLiteral("Ben"));
    QCOMPARE(grid->columnViewportPosition(0), 0);
    QVERIFY(prompts->asked.empty());
}

void TestMainWindow::rightButtonShowsTheMemberTheMenuActsOn()
{
    ProgramFolder folder;
    folder.addMembers({{"Ann", "1", ""}, {"Bob", "2", ""}, {"Carl", "3", ""}});
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTableView *grid = window.dbgInfo;
    const auto cellOf = [&](int row) { return grid->visualRect(grid->model()->index(row, 1)).center(); };

    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellOf(1));
    QCOMPARE(window.eName->text(), QStringLiteral("Bob"));

    // The right button on Carl opens the group menu; the menu takes the
    // release. Closed with Escape, the pane shows Carl, the row that the
    // commands act on.
    // The window system turns the press into a context-menu event; QTest
    // hands mouse events to the widget directly, so that part is sent here.
    QTest::mousePress(grid->viewport(), Qt::RightButton, {}, cellOf(2));
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, cellOf(2), grid->viewport()->mapToGlobal(cellOf(2)));
    QApplication::sendEvent(grid->viewport(), &menuEvent);
    QTRY_VERIFY(window.puMenu->isVisible());
    QTest::keyClick(window.puMenu, Qt::Key_Escape);
    QTRY_VERIFY(!window.puMenu->isVisible());
    QCOMPARE(window.data().QStaff.recNo(), 2);
    QCOMPARE(grid->currentIndex().row(), 2);
    QCOMPARE(window.eName->text(), QStringLiteral("Carl"));

    // Delete then deletes the member the pane shows.
    prompts->messageAnswers = {tessary::MessageResult::Ok};
    window.bDelete->click();
    QCOMPARE(folder.db().strings(QStringLiteral("select name from stafftbl order by name")),
             (QStringList{QStringLiteral("Ann"), QStringLiteral("Bob")}));

    // By keyboard: the pane follows the row the keys make current.
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(window.eName->text(), QStringLiteral("Ann"));
}

void TestMainWindow::datesAndEmptyColumnsInDetailPane()
{
    ProgramFolder folder;
    Member full;
    full.name = QStringLiteral("Amy");
    full.staffno = QStringLiteral("007");
    full.cname = QStringLiteral("艾米");
    full.post = QStringLiteral("Clerk");
    full.datejoin = QStringLiteral("2024-03-01 00:00:00");
    full.expiry = QStringLiteral("not a date");
    full.remark = QStringLiteral("night shift");
    full.photo = jpegOf(200, 260);
    folder.addMember(full);
    // Only the group: every shown column is empty. It sorts first.
    folder.addMember(Member{});
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    QCOMPARE(window.dbgInfo->model()->rowCount(), 2);
    QCOMPARE(window.data().QStaff.recNo(), 0);
    QVERIFY(window.eName->text().isEmpty());

    window.data().QStaff.setRecNo(1);
    window.ShowCurrentMember();
    QCOMPARE(window.eStaffNo->text(), QStringLiteral("007"));
    QCOMPARE(window.eName->text(), QStringLiteral("Amy"));
    QCOMPARE(window.eCname->text(), QStringLiteral("艾米"));
    QCOMPARE(window.ePost->text(), QStringLiteral("Clerk"));
    QCOMPARE(window.eRemark->text(), QStringLiteral("night shift"));
    QCOMPARE(window.dpJoin->date(), QDate(2024, 3, 1));
    QCOMPARE(window.dpJoin->text(), QStringLiteral("1/Mar, 2024"));
    QCOMPARE(window.dpExpiry->date(), QDate::currentDate());
    QCOMPARE(window.imgPhoto->picture().size(), QSize(200, 260));
    QCOMPARE(window.imgPhoto->hint(), QStringLiteral("200 x 260"));

    // Back to the empty member: every box empties, nothing is reported.
    window.data().QStaff.setRecNo(0);
    window.ShowCurrentMember();
    for (QLineEdit *box : {window.eStaffNo, window.eName, window.eCname, window.ePost, window.eRemark})
        QVERIFY2(box->text().isEmpty(), qPrintable(box->objectName()));
    QCOMPARE(window.dpJoin->date(), QDate::currentDate());
    QCOMPARE(window.dpExpiry->date(), QDate::currentDate());
    QCOMPARE(window.imgPhoto->picture().size(), QSize(120, 160));
    QVERIFY(allWhite(window.imgPhoto->picture()));
    QVERIFY2(prompts->asked.empty(), qPrintable(prompts->messages().join(QLatin1Char('|'))));
}

void TestMainWindow::unusableSortOrderListsByName_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("expected");
    const QStringList byName{QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("Cat")};
    const QStringList byStaffNo{QStringLiteral("Cat"), QStringLiteral("Bob"), QStringLiteral("Ann")};
    const QStringList byCname{QStringLiteral("Bob"), QStringLiteral("Cat"), QStringLiteral("Ann")};
    QTest::newRow("empty") << QString(QLatin1String("")) << byName;
    QTest::newRow("unknown column") << QStringLiteral("nosuchcolumn") << byName;
    QTest::newRow("hand-edited order") << QStringLiteral("staffno desc") << byName;
    QTest::newRow("statement text") << QStringLiteral("name; delete from stafftbl") << byName;
    QTest::newRow("by ID") << QStringLiteral("staffno,name") << byStaffNo;
    QTest::newRow("by CName") << QStringLiteral("cname,name") << byCname;
}

void TestMainWindow::unusableSortOrderListsByName()
{
    QFETCH(QString, stored);
    QFETCH(QStringList, expected);
    ProgramFolder folder;
    folder.addMembers({{"Bob", "2", "a"}, {"Ann", "3", "c"}, {"Cat", "1", "b"}});
    putSetting(QStringLiteral("SortField"), stored);
    ScopedScriptedPrompts prompts;
    {
        Tdsrc data;
        TVaraDavuz window(data, folder.path());
        QVERIFY2(prompts->asked.empty(), qPrintable(prompts->messages().join(QLatin1Char('|'))));
        QCOMPARE(window.SortOrder, stored);
        QCOMPARE(listedNames(window), expected);
        QCOMPARE(window.eName->text(), expected.first());
        QCOMPARE(window.statusText(2), QStringLiteral("Group Members=3"));
    }
    QCOMPARE(folder.db().count(QStringLiteral("stafftbl")), 3);
    // The stored order is the operator's; start-up leaves it alone.
    QCOMPARE(setting(QStringLiteral("SortField")), stored);
}

void TestMainWindow::everyInputControlIsNamed()
{
    ProgramFolder folder;
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());

    QSet<const QWidget *> labelled;
    for (const QLabel *label : window.findChildren<QLabel *>())
        if (label->buddy())
            labelled.insert(label->buddy());

    // The line edit inside a spin box or date picker is part of that control.
    auto insideComposite = [&](const QWidget *w) {
        for (const QWidget *p = w->parentWidget(); p && p != &window; p = p->parentWidget())
            if (qobject_cast<const QAbstractSpinBox *>(p) || qobject_cast<const QComboBox *>(p))
                return true;
        return false;
    };
    int checked = 0;
    for (QWidget *w : window.findChildren<QWidget *>()) {
        const bool input = qobject_cast<QLineEdit *>(w) || qobject_cast<QDateEdit *>(w) || qobject_cast<QComboBox *>(w) ||
                           qobject_cast<QSpinBox *>(w) || qobject_cast<tessary::ImageControl *>(w) ||
                           qobject_cast<QTableView *>(w);
        if (!input || insideComposite(w))
            continue;
        ++checked;
        QVERIFY2(labelled.contains(w) || !w->accessibleName().isEmpty(), qPrintable(w->objectName()));
    }
    // eStaffNo, eName, eCname, ePost, dpJoin, dpExpiry, eRemark, lstGroup,
    // sePort, imgPhoto, dbgInfo.
    QVERIFY2(checked >= 11, qPrintable(QString::number(checked)));
    QCOMPARE(window.eName->accessibleName(), QStringLiteral("Name"));
    QCOMPARE(window.dpExpiry->accessibleName(), QStringLiteral("Expiry Date"));
}

void TestMainWindow::tabOrderOfDetailPane()
{
    ProgramFolder folder;
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    // Tab moves down the boxes (ID, Name, CName, Position, Date Join,
    // Expiry Date, Remark), then the photo buttons, Save and Clear. The part
    // of a date picker that takes the focus counts as the picker.
    auto focused = [&]() -> QWidget * {
        QWidget *w = QApplication::focusWidget();
        for (QWidget *p = w; p; p = p->parentWidget())
            if (qobject_cast<QAbstractSpinBox *>(p))
                return p;
        return w;
    };
    const QList<QWidget *> expected{window.eStaffNo, window.eName,   window.eCname, window.ePost,
                                    window.dpJoin,   window.dpExpiry, window.eRemark, window.bPhoto,
                                    window.bRotate,  window.bpClear, window.bSave,  window.bClear};
    window.eStaffNo->setFocus();
    QTRY_COMPARE(focused(), window.eStaffNo);
    for (int i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(focused() ? focused()->objectName() : QString(), expected.at(i)->objectName());
    }
    // A date picker is one stop backwards too.
    for (int i = expected.size() - 2; i >= 0; --i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(focused() ? focused()->objectName() : QString(), expected.at(i)->objectName());
    }
}

void TestMainWindow::unreachableControlsStayHidden()
{
    ProgramFolder folder;
    folder.addMember(QStringLiteral("Amy"), 0);
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    chooseGroup(window, QStringLiteral("DEFAULT"));
    window.bClear->click();
    QVERIFY(window.bSave->isVisible());
    for (QWidget *w : {static_cast<QWidget *>(window.bClearNo), static_cast<QWidget *>(window.bResizeAll),
                       static_cast<QWidget *>(window.GroupBox3)})
        QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
    QVERIFY(window.dbgInfo->isColumnHidden(3));
    // The export command is on no menu.
    for (QAction *menu : window.menuBar()->actions())
        QVERIFY(!menu->menu()->actions().contains(window.actExport));
    QVERIFY(prompts->asked.empty());
}

namespace {

// Counts the previews the card commands send.
class CountingOutput : public tessary::CardOutput
{
public:
    int previews = 0;
    void print(const tessary::CardJob &) override {}
    void preview(const tessary::CardJob &, const std::function<tessary::CardJob()> &) override
    {
        ++previews;
    }
};

// Answers each showing of a layout dialog with the next step.
class LayoutScript : public QObject
{
public:
    explicit LayoutScript(std::vector<std::function<void(tessary::TFmLayout &)>> steps) : m_steps(std::move(steps))
    {
        qApp->installEventFilter(this);
    }
    ~LayoutScript() override { qApp->removeEventFilter(this); }
    std::vector<tessary::TFmLayout *> shown;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *dialog = qobject_cast<tessary::TFmLayout *>(watched);
        if (dialog && event->type() == QEvent::Show) {
            shown.push_back(dialog);
            QTimer::singleShot(0, dialog, [this, dialog] {
                const size_t step = shown.size() - 1;
                if (step < m_steps.size())
                    m_steps[step](*dialog);
                if (dialog->isVisible() && (step + 1 >= m_steps.size() || QTest::currentTestFailed()))
                    dialog->reject();
            });
        }
        return false;
    }

private:
    std::vector<std::function<void(tessary::TFmLayout &)>> m_steps;
};

} // namespace

// "Card Layout" opens the modal dialog over the window; its "Preview" goes
// to the window's card output and brings the same dialog back.
void TestMainWindow::cardLayoutOpensTheDialog()
{
    ProgramFolder folder;
    folder.addMember(QStringLiteral("Amy"), 0);
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    auto *output = new CountingOutput;
    window.cardOutput.reset(output);
    QVERIFY(window.actLayout->isEnabled());

    LayoutScript script({
        [&](tessary::TFmLayout &d) {
            QCOMPARE(d.parentWidget(), &window);
            QVERIFY(d.isModal());
            d.bPreview->click();
        },
        [&](tessary::TFmLayout &d) {
            QCOMPARE(output->previews, 1);
            d.bExit->click();
        },
    });
    window.actLayout->trigger();
    QCOMPARE(script.shown.size(), size_t(2));
    QCOMPARE(script.shown[0], script.shown[1]);
    QVERIFY(window.findChildren<tessary::TFmLayout *>().isEmpty());
    QVERIFY(prompts->asked.empty());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
