// The window while its card database server restarts: the private cluster
// is stopped and started again under a running window, idle and with a
// Save under way. The window says it is reconnecting, waits with its data
// commands, follows the server once it is back, and never names a query.
#include "appfixture.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>

using namespace apptest;
using tessary::MessageKind;
using tessary::MessageResult;
using tessary::Tdsrc;

namespace {

const QString kAway = QStringLiteral("The card database server could not be reached. Nothing was saved.");

// The private cluster of this run, stopped and started again as for a
// restart (scripts/pg-cluster.sh pause / resume); started again at the end
// of the scope whatever happened.
class Cluster
{
public:
    Cluster() : m_dir(qEnvironmentVariable("TESSARY_PG_DIR")) {}
    ~Cluster()
    {
        if (m_paused)
            run(QStringLiteral("resume"));
    }
    bool available() const { return !m_dir.isEmpty(); }
    void stop()
    {
        m_paused = true;
        QVERIFY(run(QStringLiteral("pause")));
    }
    void start()
    {
        QVERIFY(run(QStringLiteral("resume")));
        m_paused = false;
    }

private:
    bool run(const QString &command) const
    {
        QProcess script;
        script.start(QStringLiteral("sh"), {QStringLiteral(TESSARY_PG_SCRIPT), command, m_dir});
        if (!script.waitForFinished(60000) || script.exitCode() != 0) {
            qWarning("pg-cluster.sh %s: %s", qPrintable(command), script.readAllStandardError().constData());
            return false;
        }
        return true;
    }
    QString m_dir;
    bool m_paused = false;
};

// Scripted answers; the first question with OK and Cancel runs `onQuestion`
// before it is answered (the server goes away while the operator reads it).
class AnsweringPrompts : public tessary::ScriptedPrompts
{
public:
    std::function<void()> onQuestion;
    MessageResult message(MessageKind kind, const QString &title, const QString &text, bool withCancel) override
    {
        if (withCancel && onQuestion)
            std::exchange(onQuestion, nullptr)();
        return ScriptedPrompts::message(kind, title, text, withCancel);
    }
};

class InstalledPrompts
{
public:
    InstalledPrompts()
    {
        auto own = std::make_unique<AnsweringPrompts>();
        prompts = own.get();
        m_previous = tessary::setPromptService(std::move(own));
    }
    ~InstalledPrompts() { tessary::setPromptService(std::move(m_previous)); }
    AnsweringPrompts *prompts;

private:
    std::unique_ptr<tessary::PromptService> m_previous;
};

// The data commands wait while the server is away, saying why; afterwards
// they are back with their own tooltips.
void checkCommands(TVaraDavuz &window, bool away)
{
    for (QPushButton *button : {window.bSave, window.bDelete, window.bNewGrp, window.bPrint}) {
        QCOMPARE(button->isEnabled(), !away);
        QCOMPARE(button->toolTip() == TVaraDavuz::reconnectingText(), away);
    }
    QCOMPARE(window.actPrint->isEnabled(), !away);
    QCOMPARE(window.sbServer->isVisible(), away);
    QCOMPARE(window.sbServer->text(), QStringLiteral("Reconnecting to the card database server…"));
}

void showMember(TVaraDavuz &window, const QString &name)
{
    QVERIFY(window.data().QStaff.locate(QStringLiteral("name"), name));
    window.ShowCurrentMember();
}

void checkNoQueryNamed(const tessary::ScriptedPrompts &prompts)
{
    for (const QString &text : prompts.messages())
        for (const char *query : {"QAllStaff", "QStaff", "QList"})
            QVERIFY2(!text.contains(QLatin1String(query)), qPrintable(text));
}

} // namespace

class TestReconnect : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        useTemporarySettings();
        if (!ProgramFolder::onServer() || !Cluster().available())
            QSKIP("a restart needs the private cluster (TESSARY_PG_DIR)");
    }
    void init() { clearSettings(); }
    void idleWindowFollowsARestart();
    void saveAcrossARestart_data();
    void saveAcrossARestart();
};

void TestReconnect::idleWindowFollowsARestart()
{
    ProgramFolder folder;
    folder.addMember(QStringLiteral("Ann"), 0);
    folder.addMember(QStringLiteral("Ben"), 0);
    InstalledPrompts installed;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QString saveTip = window.bSave->toolTip();
    checkCommands(window, false);

    Cluster cluster;
    cluster.stop();
    QTRY_VERIFY_WITH_TIMEOUT(window.sbServer->isVisible(), 2000);
    checkCommands(window, true);
    QCOMPARE(listedNames(window), (QStringList{QStringLiteral("Ann"), QStringLiteral("Ben")}));

    cluster.start();
    // Written by another station after the restart: listed within a second.
    folder.addMember(QStringLiteral("Cid"), 0);
    QTRY_COMPARE_WITH_TIMEOUT(listedNames(window),
                              (QStringList{QStringLiteral("Ann"), QStringLiteral("Ben"), QStringLiteral("Cid")}), 1000);
    checkCommands(window, false);
    QCOMPARE(window.bSave->toolTip(), saveTip);
    QCOMPARE(window.statusText(0), QStringLiteral("Total Staffs=3"));
    // It listens again: a later change is followed too.
    folder.addMember(QStringLiteral("Dan"), 0);
    QTRY_COMPARE_WITH_TIMEOUT(listedNames(window).size(), 4, 1000);

    // The next Save is stored.
    window.bClear->click();
    window.eName->setText(QStringLiteral("Eve"));
    window.bSave->click();
    QCOMPARE(folder.db().count(QStringLiteral("stafftbl"), QStringLiteral("name = 'Eve'")), 1);
    QCOMPARE(installed.prompts->messages(), QStringList());
}

void TestReconnect::saveAcrossARestart_data()
{
    QTest::addColumn<bool>("backAtOnce"); // started again before the Save goes on
    QTest::newRow("away while the save asks") << false;
    QTest::newRow("restarted while the save asks") << true;
}

void TestReconnect::saveAcrossARestart()
{
    QFETCH(bool, backAtOnce);
    ProgramFolder folder;
    folder.addMember(QStringLiteral("Ann"), 0);
    folder.addMember(QStringLiteral("Ben"), 0);
    InstalledPrompts installed;
    AnsweringPrompts &prompts = *installed.prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    showMember(window, QStringLiteral("Ann"));
    window.ePost->setText(QStringLiteral("Chief"));

    // The server goes between the Save's reading and its writing: while
    // "Overwrite the record?" is asked.
    Cluster cluster;
    prompts.messageAnswers = {MessageResult::Ok};
    prompts.onQuestion = [&] {
        cluster.stop();
        if (backAtOnce)
            cluster.start();
    };
    window.bSave->click();
    checkNoQueryNamed(prompts);
    const auto storedPost = [&] {
        return folder.db().strings(QStringLiteral("select post from stafftbl where name = 'Ann'"));
    };
    if (backAtOnce) {
        // Nothing had been written: the save went on on a new connection.
        QCOMPARE(prompts.messages(), QStringList{QStringLiteral("Overwrite the record?")});
        QCOMPARE(storedPost(), QStringList{QStringLiteral("Chief")});
        QCOMPARE(window.ePost->text(), QString());
        checkCommands(window, false);
        return;
    }
    // Reported as not saved, never as done: the pane keeps what was typed.
    QCOMPARE(prompts.messages(), (QStringList{QStringLiteral("Overwrite the record?"), kAway}));
    QCOMPARE(window.ePost->text(), QStringLiteral("Chief"));
    QCOMPARE(window.eName->text(), QStringLiteral("Ann"));
    checkCommands(window, true);

    cluster.start();
    QTRY_VERIFY_WITH_TIMEOUT(!window.sbServer->isVisible(), 2000);
    checkCommands(window, false);
    QCOMPARE(storedPost(), QStringList{QString()});
    QCOMPARE(window.ePost->text(), QStringLiteral("Chief"));

    // The next Save stores it.
    prompts.clear();
    prompts.messageAnswers = {MessageResult::Ok};
    window.bSave->click();
    QCOMPARE(prompts.messages(), QStringList{QStringLiteral("Overwrite the record?")});
    QCOMPARE(storedPost(), QStringList{QStringLiteral("Chief")});
    QCOMPARE(folder.db().count(QStringLiteral("stafftbl")), 2);
}

QTEST_MAIN(TestReconnect)
#include "tst_reconnect.moc"
