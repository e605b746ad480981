// The window with another station on the same card database: a save over a
// member the other station changed is refused and the pane shows the member
// as stored; on a server the lists follow the other station's changes
// within a second, keeping the member shown and the edits being typed.
#include "appfixture.h"

#include "data/connection.h"
#include "members/groupstore.h"
#include "members/memberstore.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

using namespace apptest;
using tessary::MessageResult;
using tessary::ScopedScriptedPrompts;
using tessary::Tdsrc;

namespace {

// The other station: a data module of its own on the folder's database.
struct OtherStation
{
    explicit OtherStation(const ProgramFolder &folder)
    {
        data.src.setConnectionString(folder.connectionString());
        data.src.connect();
        data.QGroup.open();
        data.QStaff.setSql(tessary::memberListSql(0, QStringLiteral("name")));
        data.QStaff.open();
    }
    // Gives the member `name` the position `post`.
    void changePost(const QString &name, const QString &post)
    {
        QVERIFY(data.QStaff.locate(QStringLiteral("name"), name));
        data.QStaff.edit();
        data.QStaff.fieldByName(QStringLiteral("post")).setString(post);
        data.QStaff.post();
    }
    // Deletes the member `name`.
    void remove(const QString &name)
    {
        QVERIFY(data.QStaff.locate(QStringLiteral("name"), name));
        tessary::MemberStore(data).remove(tessary::MemberStore(data).current().seq);
    }
    Tdsrc data;
};

void showMember(TVaraDavuz &window, const QString &name)
{
    QVERIFY(window.data().QStaff.locate(QStringLiteral("name"), name));
    window.ShowCurrentMember();
}

} // namespace

class TestStations : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { useTemporarySettings(); }
    void init() { clearSettings(); }
    void saveOverAChangedMemberIsRefused();
    void listsFollowTheOtherStation();
    void memberDeletedElsewhereIsNotSavedAgain();
};

void TestStations::saveOverAChangedMemberIsRefused()
{
    ProgramFolder folder;
    folder.addMember(QStringLiteral("Ann"), 0);
    folder.addMember(QStringLiteral("Ben"), 0);
    ScopedScriptedPrompts prompts;
    prompts->messageAnswers = {MessageResult::Ok}; // "Overwrite the record?"
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    showMember(window, QStringLiteral("Ann"));
    window.eRemark->setText(QStringLiteral("typed here"));

    OtherStation other(folder);
    other.changePost(QStringLiteral("Ann"), QStringLiteral("Chief"));
    // On a server the window hears of it; the typed edit stays.
    QTest::qWait(300);
    QCOMPARE(window.eRemark->text(), QStringLiteral("typed here"));
    QCOMPARE(window.eName->text(), QStringLiteral("Ann"));

    window.bSave->click();
    QCOMPARE(messagesTitled(*prompts, QStringLiteral("Error")),
             QStringList{QStringLiteral("The record was changed at another station.")});
    // Nothing of the refused save is stored; the pane shows Ann as stored.
    QCOMPARE(folder.db().strings(QStringLiteral("select post from stafftbl where name = 'Ann'")),
             QStringList{QStringLiteral("Chief")});
    QCOMPARE(folder.db().count(QStringLiteral("stafftbl"), QStringLiteral("remark = 'typed here'")), 0);
    QCOMPARE(window.ePost->text(), QStringLiteral("Chief"));
    QCOMPARE(window.eRemark->text(), QString());
    QCOMPARE(window.data().QStaff.fieldByName(QStringLiteral("name")).asString(), QStringLiteral("Ann"));

    // Saved again from what is shown now, the edit goes in.
    prompts->clear();
    prompts->messageAnswers = {MessageResult::Ok};
    window.eRemark->setText(QStringLiteral("typed again"));
    window.bSave->click();
    QCOMPARE(messagesTitled(*prompts, QStringLiteral("Error")), QStringList());
    QCOMPARE(folder.db().strings(QStringLiteral("select remark from stafftbl where name = 'Ann'")),
             QStringList{QStringLiteral("typed again")});
}

void TestStations::listsFollowTheOtherStation()
{
    if (!ProgramFolder::onServer())
        QSKIP("other stations share a card database only on a server");
    ProgramFolder folder;
    for (const char *name : {"Ann", "Ben", "Cid"})
        folder.addMember(QString::fromLatin1(name), 0);
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    showMember(window, QStringLiteral("Ben"));
    window.ePost->setText(QStringLiteral("half typed"));

    OtherStation other(folder);
    other.remove(QStringLiteral("Ann"));
    tessary::MemberDetails dee;
    dee.name = QStringLiteral("Dee");
    dee.joined = dee.expiry = QDate(2025, 1, 1);
    tessary::MemberStore(other.data).save({}, dee, 0);
    tessary::GroupStore(other.data.QGroup).create(QStringLiteral("Sales"));

    // Within a second: the grid, the groups and the counts follow; Ben is
    // still the member shown, with what was being typed.
    QTRY_COMPARE_WITH_TIMEOUT(listedNames(window),
                              (QStringList{QStringLiteral("Ben"), QStringLiteral("Cid"), QStringLiteral("Dee")}), 1000);
    QTRY_COMPARE_WITH_TIMEOUT(groupEntries(window), (QStringList{QStringLiteral("DEFAULT"), QStringLiteral("Sales")}),
                              1000);
    QCOMPARE(window.lstGroup->currentText(), QStringLiteral("DEFAULT"));
    QCOMPARE(window.dbgInfo->currentIndex().row(), 0);
    QCOMPARE(window.data().QStaff.fieldByName(QStringLiteral("name")).asString(), QStringLiteral("Ben"));
    QCOMPARE(window.eName->text(), QStringLiteral("Ben"));
    QCOMPARE(window.ePost->text(), QStringLiteral("half typed"));
    QCOMPARE(window.statusText(0), QStringLiteral("Total Staffs=3"));
    QCOMPARE(window.statusText(1), QStringLiteral("Total Groups=2"));
    QCOMPARE(window.statusText(2), QStringLiteral("Group Members=3"));

    // A pane without edits shows the member as the other station stored it.
    window.ShowCurrentMember();
    other.changePost(QStringLiteral("Ben"), QStringLiteral("Chief"));
    QTRY_COMPARE_WITH_TIMEOUT(window.ePost->text(), QStringLiteral("Chief"), 1000);

    // Ben deleted there: the member taking his place is highlighted and shown.
    other.remove(QStringLiteral("Ben"));
    QTRY_COMPARE_WITH_TIMEOUT(listedNames(window), (QStringList{QStringLiteral("Cid"), QStringLiteral("Dee")}), 1000);
    QCOMPARE(window.dbgInfo->currentIndex().row(), 0);
    QCOMPARE(window.eName->text(), QStringLiteral("Cid"));
    QCOMPARE(prompts->messages(), QStringList());
}

void TestStations::memberDeletedElsewhereIsNotSavedAgain()
{
    ProgramFolder folder;
    folder.addMember(QStringLiteral("Ann"), 0);
    folder.addMember(QStringLiteral("Ben"), 0);
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    showMember(window, QStringLiteral("Ann"));
    window.ePost->setText(QStringLiteral("Typed"));

    OtherStation other(folder);
    other.remove(QStringLiteral("Ann"));
    QTest::qWait(300); // on a server the window hears of it

    window.bSave->click();
    QCOMPARE(messagesTitled(*prompts, QStringLiteral("Error")),
             QStringList{QStringLiteral("The record was deleted at another station.")});
    QCOMPARE(folder.db().count(QStringLiteral("stafftbl"), QStringLiteral("name = 'Ann'")), 0);
    QCOMPARE(window.eName->text(), QStringLiteral("Ann"));
    QCOMPARE(window.ePost->text(), QStringLiteral("Typed"));

    // Saved again, on purpose: a new member holding what was typed.
    prompts->clear();
    window.bSave->click();
    QCOMPARE(prompts->messages(), QStringList());
    QCOMPARE(folder.db().strings(QStringLiteral("select post from stafftbl where name = 'Ann'")),
             QStringList{QStringLiteral("Typed")});
}

QTEST_MAIN(TestStations)
#include "tst_stations.moc"
