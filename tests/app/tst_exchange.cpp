// The main window's data-exchange commands: enabled, and the window lists
// what a restore or an import brought in.

#include "appfixture.h"
#include "../exchange/exchangefixture.h"

#include <QAction>
#include <QFile>
#include <QMenuBar>

using namespace apptest;
using namespace tessary;

class TestExchangeCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { useTemporarySettings(); }
    void init() { clearSettings(); }
    void commandsAreEnabled();
    void restoreListsTheRestoredData();
    void importListsTheNewMembers();
};

void TestExchangeCommands::commandsAreEnabled()
{
    ProgramFolder folder;
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    for (QAction *a : {window.actBackup, window.actRestore, window.actImport, window.actExport})
        QVERIFY2(a->isEnabled(), qPrintable(a->objectName()));
}

void TestExchangeCommands::restoreListsTheRestoredData()
{
    ProgramFolder live;
    live.addMember(QStringLiteral("Old"), 0);
    // The backup is a card database file whichever engine the live one is on.
    const QString backup = live.path() + QStringLiteral("/backup.mdb");
    createCardDatabase(backup, CardDatabaseSeed{});
    DbFile(backup).exec(QStringLiteral("insert into grptbl (gid, gdesc) values (2, 'Archive')"));
    DbFile(backup).exec(QStringLiteral("insert into stafftbl (gid, name) values (0, 'Restored')"));

    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, live.path());
    chooseGroup(window, QStringLiteral("DEFAULT"));
    QCOMPARE(listedNames(window), QStringList{QStringLiteral("Old")});

    prompts->fileAnswers.push_back(backup);
    prompts->messageAnswers.push_back(MessageResult::Ok);
    window.actRestore->trigger();
    QCOMPARE(groupEntries(window), (QStringList{QStringLiteral("Archive"), QStringLiteral("DEFAULT")}));
    chooseGroup(window, QStringLiteral("DEFAULT"));
    QCOMPARE(listedNames(window), QStringList{QStringLiteral("Restored")});
    QCOMPARE(window.statusText(0), QStringLiteral("Total Staffs=1"));
    // A server keeps no copy of the old rows beside anything.
    QCOMPARE(QFile::exists(live.databasePath() + QStringLiteral(".before-restore")), !ProgramFolder::onServer());
    if (ProgramFolder::onServer())
        QCOMPARE(live.db().strings(QStringLiteral("select name from stafftbl")), QStringList{QStringLiteral("Restored")});
    QCOMPARE(messagesTitled(*prompts, QStringLiteral("Tessary")), QStringList());
}

void TestExchangeCommands::importListsTheNewMembers()
{
    ProgramFolder folder;
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    const QString book = folder.path() + QStringLiteral("/new.xls");
    QVERIFY(testing::writeRecords(book, QJsonArray{
        QJsonArray{QStringLiteral("NAME"), QStringLiteral("GROUP"), QStringLiteral("JOINED"), QStringLiteral("EXPIRY")},
        QJsonArray{QStringLiteral("Nia"), QStringLiteral("Night shift"), QStringLiteral("1/01/2024"), QStringLiteral("1/01/2025")}}));
    prompts->fileAnswers.push_back(book);
    window.actImport->trigger();
    QCOMPARE(prompts->messages(), QStringList{QStringLiteral("Unable to create the new object.")});
    QVERIFY(groupEntries(window).contains(QStringLiteral("Night shift")));
    chooseGroup(window, QStringLiteral("Night shift"));
    QCOMPARE(listedNames(window), QStringList{QStringLiteral("Nia")});
    QCOMPARE(window.statusText(0), QStringLiteral("Total Staffs=1"));
}

QTEST_MAIN(TestExchangeCommands)
#include "tst_exchange.moc"
