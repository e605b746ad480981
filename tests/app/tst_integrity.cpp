// What the window must never do to the operator's data: list the members
// of every group after a failed start-up, open a card database another
// program has open, leave a cut-off copy's temporary files behind, or
// rewrite stored photo bytes the operator did not change.

#include "appfixture.h"

#include "photoui/imagecontrol.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QLockFile>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>

using namespace apptest;
using tessary::ScopedScriptedPrompts;
using tessary::Tdsrc;

class TestIntegrity : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { useTemporarySettings(); }
    void init() { clearSettings(); }

    void startUpListsOneGroupAtMost_data();
    void startUpListsOneGroupAtMost();
    void outOfRangeSettingsGiveDefaults_data();
    void outOfRangeSettingsGiveDefaults();
    void secondWindowOnTheSameDatabaseIsRefused();
    void lockOfAKilledProgramDoesNotBlock();
    void temporariesOfACutOffCopyAreRemoved();
    void savingKeepsStoredPhotoBytes_data();
    void savingKeepsStoredPhotoBytes();
};

// The group listed first (by name) and the members the grid must list.
void TestIntegrity::startUpListsOneGroupAtMost_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("unnamedGroup");

    QTest::newRow("group without a name") << QString() << QString() << true;
    QTest::newRow("sort order typed without quotes") << QStringLiteral("SortField") << QStringLiteral("staffno,name")
                                                     << false;
    QTest::newRow("both") << QStringLiteral("SortField") << QStringLiteral("name,cname") << true;
}

void TestIntegrity::startUpListsOneGroupAtMost()
{
    QFETCH(QString, setting);
    QFETCH(QString, value);
    QFETCH(bool, unnamedGroup);

    ProgramFolder folder;
    const int sales = folder.addGroup(QStringLiteral("Sales"));
    folder.addMember(QStringLiteral("Ann"), 0);
    folder.addMember(QStringLiteral("Sam"), sales);
    if (unnamedGroup) {
        const int unnamed = folder.addGroup(QStringLiteral("x"));
        folder.db().exec(QStringLiteral("update grptbl set gdesc = null where gid = ?"), {unnamed});
        folder.addMember(QStringLiteral("Nobody's"), unnamed);
    }
    if (!setting.isEmpty()) {
        // Written into the file as a person would type it: no quotes.
        QSettings store(QStringLiteral("KESMAR"), QStringLiteral("VaraDavuz"));
        const QString file = store.fileName();
        store.clear();
        store.sync();
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(QStringLiteral("[General]\n%1=%2\n").arg(setting, value).toUtf8());
        if (!folder.conninfo().isEmpty())
            out.write(QStringLiteral("Server=\"%1\"\n").arg(folder.conninfo()).toUtf8());
        out.close();
    }

    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    QCOMPARE(prompts->messages(), QStringList());
    if (!setting.isEmpty())
        QCOMPARE(window.SortOrder, value);

    // The group list holds every group, the unnamed one with an empty name,
    // and the grid lists the group shown, whatever it is.
    QCOMPARE(window.lstGroup->count(), unnamedGroup ? 3 : 2);
    QCOMPARE(window.lstGroup->currentText(), unnamedGroup ? QString() : QStringLiteral("DEFAULT"));
    QCOMPARE(listedNames(window), unnamedGroup ? QStringList{QStringLiteral("Nobody's")} : QStringList{QStringLiteral("Ann")});
    chooseGroup(window, QStringLiteral("Sales"));
    QCOMPARE(listedNames(window), QStringList{QStringLiteral("Sam")});
}

void TestIntegrity::outOfRangeSettingsGiveDefaults_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");

    QTest::newRow("negative width") << QStringLiteral("MainWin_WIDTH") << QStringLiteral("-640");
    QTest::newRow("huge height") << QStringLiteral("MainWin_HEIGHT") << QStringLiteral("2000000000");
    QTest::newRow("far top") << QStringLiteral("MainWin_TOP") << QStringLiteral("-99999999");
    QTest::newRow("negative column") << QStringLiteral("MainGrid_0") << QStringLiteral("-5");
    QTest::newRow("huge column") << QStringLiteral("MainGrid_1") << QStringLiteral("900000");
    QTest::newRow("port 0") << QStringLiteral("PORT") << QStringLiteral("0");
    QTest::newRow("port 99") << QStringLiteral("PORT") << QStringLiteral("99");
}

void TestIntegrity::outOfRangeSettingsGiveDefaults()
{
    QFETCH(QString, name);
    QFETCH(QString, value);
    ProgramFolder folder;
    folder.addMember(QStringLiteral("Ann"), 0);
    putSetting(name, value);

    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    QCOMPARE(prompts->messages(), QStringList());
    QCOMPARE(window.pos(), QPoint(0, 0));
    QCOMPARE(window.size(), QSize(640, 480));
    for (int c = 0; c < 3; ++c)
        QCOMPARE(window.dbgInfo->columnWidth(c), 100);
    QCOMPARE(window.sePort->value(), 1);
    QCOMPARE(listedNames(window), QStringList{QStringLiteral("Ann")});
}

namespace {

// Leaves at `lockPath` the lock file another program would leave: made by
// QLockFile, then naming the process `pid` running `program`.
void writeForeignLock(const QString &lockPath, qint64 pid, const QString &program)
{
    QLockFile own(lockPath);
    QVERIFY(own.tryLock(0));
    QFile file(lockPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = file.readAll().split('\n');
    file.close();
    own.unlock();
    QVERIFY(lines.size() >= 3);
    lines[0] = QByteArray::number(pid);
    lines[1] = program.toUtf8();
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(lines.join('\n'));
}

// A running child process, ended when the test ends.
struct Sleeper
{
    QProcess process;
    Sleeper()
    {
        process.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        process.waitForStarted();
    }
    ~Sleeper()
    {
        process.kill();
        process.waitForFinished();
    }
};

} // namespace

void TestIntegrity::secondWindowOnTheSameDatabaseIsRefused()
{
    ProgramFolder folder;
    folder.addMember(QStringLiteral("Ann"), 0);
    if (ProgramFolder::onServer()) {
        // The lock is the file's only: windows of any number of stations
        // open a server's database, and none leaves a lock file.
        ScopedScriptedPrompts prompts;
        Tdsrc first, second;
        TVaraDavuz window(first, folder.path());
        TVaraDavuz again(second, folder.path());
        QVERIFY(!window.databaseInUse() && !again.databaseInUse());
        QCOMPARE(listedNames(again), QStringList{QStringLiteral("Ann")});
        QVERIFY(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
        QCOMPARE(prompts->messages(), QStringList());
        return;
    }
    Sleeper other;
    QVERIFY(other.process.state() == QProcess::Running);
    writeForeignLock(folder.databasePath() + QStringLiteral(".lock"), other.process.processId(),
                     QStringLiteral("sleep"));

    ScopedScriptedPrompts prompts;
    {
        Tdsrc data;
        TVaraDavuz window(data, folder.path());
        QVERIFY(window.databaseInUse());
        QVERIFY(!data.src.connected());
        QCOMPARE(messagesTitled(*prompts, QStringLiteral("Error")),
                 QStringList{QStringLiteral("The card database is in use by another Tessary window.")});
        QCOMPARE(window.lstGroup->count(), 0);
        QCOMPARE(listedNames(window), QStringList());
    }
    QVERIFY(QFile::exists(folder.databasePath() + QStringLiteral(".lock"))); // still the other program's

    // This program's lock: windows of the program share it, and it goes
    // with the last of them.
    prompts->clear();
    ProgramFolder free;
    const QString lockPath = free.databasePath() + QStringLiteral(".lock");
    {
        Tdsrc first;
        TVaraDavuz window(first, free.path());
        QVERIFY(!window.databaseInUse());
        QVERIFY(QFile::exists(lockPath));
        QLockFile probe(lockPath);
        QVERIFY(!probe.tryLock(0));
        Tdsrc second;
        TVaraDavuz again(second, free.path());
        QVERIFY(!again.databaseInUse());
        QVERIFY(second.src.connected());
    }
    QVERIFY(!QFile::exists(lockPath));
    QCOMPARE(prompts->messages(), QStringList());
}

void TestIntegrity::lockOfAKilledProgramDoesNotBlock()
{
    // The program holding the lock was killed with SIGKILL: its lock file
    // stays behind, naming a process that is gone.
    ProgramFolder folder;
    const QString lockPath = folder.databasePath() + QStringLiteral(".lock");
    qint64 gone = 0;
    {
        Sleeper killed;
        gone = killed.process.processId();
    }
    writeForeignLock(lockPath, gone, QStringLiteral("sleep"));
    QVERIFY(QFile::exists(lockPath));

    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    QVERIFY(!window.databaseInUse());
    QCOMPARE(prompts->messages(), QStringList());
    QVERIFY(data.src.connected());
}

void TestIntegrity::temporariesOfACutOffCopyAreRemoved()
{
    if (ProgramFolder::onServer())
        QSKIP("The temporaries are copies of the card database file; on a server the folder is left alone");
    ProgramFolder folder;
    const QDir dir(folder.path());
    const QStringList leftovers = {QStringLiteral(".cardinfo.mdb.a1B2c3"), QStringLiteral(".cardinfo.mdb.restore.XYZ")};
    for (const QString &name : leftovers) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("half a copy");
    }
    QFile mine(dir.filePath(QStringLiteral("notes.txt")));
    QVERIFY(mine.open(QIODevice::WriteOnly));
    mine.close();

    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    for (const QString &name : leftovers)
        QVERIFY2(!dir.exists(name), qPrintable(name));
    QVERIFY(dir.exists(QStringLiteral("notes.txt")));
    QVERIFY(dir.exists(QStringLiteral("cardinfo.mdb")));
}

void TestIntegrity::savingKeepsStoredPhotoBytes_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("command"); // what the operator does to the picture before saving

    QByteArray truncated = jpegOf(60, 80);
    truncated.chop(truncated.size() / 2);
    const QByteArray notJpeg = QByteArray("GIF89a") + QByteArray(200, 'x');
    const QByteArray good = jpegOf(120, 160, QColor(200, 30, 30));

    QTest::newRow("good photo, untouched") << good << QString();
    QTest::newRow("truncated photo, untouched") << truncated << QString();
    QTest::newRow("another format, untouched") << notJpeg << QString();
    QTest::newRow("good photo, rotated") << good << QStringLiteral("rotate");
    QTest::newRow("truncated photo, cleared") << truncated << QStringLiteral("clear");
}

void TestIntegrity::savingKeepsStoredPhotoBytes()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, command);
    ProgramFolder folder;
    Member m;
    m.name = QStringLiteral("Ann");
    m.photo = stored;
    folder.addMember(m);

    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    QCOMPARE(window.eName->text(), QStringLiteral("Ann"));
    if (command == QLatin1String("rotate"))
        window.bRotate->click();
    else if (command == QLatin1String("clear"))
        window.bpClear->click();
    QCOMPARE(window.photoChanged(), !command.isEmpty());
    window.eRemark->setText(QStringLiteral("saved twice"));
    for (int i = 0; i < 2; ++i) {
        prompts->messageAnswers.push_back(tessary::MessageResult::Ok); // "Overwrite the record?"
        window.bSaveClick();
        chooseGroup(window, QStringLiteral("DEFAULT"));
    }
    QCOMPARE(folder.db().value(QStringLiteral("select remark from stafftbl")).toString(), QStringLiteral("saved twice"));
    const QByteArray after = folder.db().value(QStringLiteral("select photo from stafftbl")).toByteArray();
    if (command.isEmpty())
        QCOMPARE(after, stored);
    else
        QVERIFY(after != stored && !after.isEmpty());
    QCOMPARE(folder.db().count(QStringLiteral("stafftbl")), 1);
}

QTEST_MAIN(TestIntegrity)
#include "tst_integrity.moc"
