// The private cluster restarted under a running window, idle and with a
// Save under way.
#include "appfixture.h"

#include <QAction>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>

using namespace apptest;
using tessary::MessageResult;

namespace {

// scripts/pg-cluster.sh pause / resume; started again at the end whatever happened.
struct Cluster
{
    static bool run(const char *command)
    {
        QProcess script;
        script.start(QStringLiteral("sh"), {QStringLiteral(TESSARY_PG_SCRIPT), QString::fromLatin1(command),
                                            qEnvironmentVariable("TESSARY_PG_DIR")});
        return script.waitForFinished(60000) && script.exitCode() == 0;
    }
    void stop() { QVERIFY(paused = run("pause")); }
    void start() { QVERIFY(!(paused = !run("resume"))); }
    ~Cluster() { paused = paused && !run("resume"); }
    bool paused = false;
};

// While the server is away the data commands wait, saying why.
void checkAway(TVaraDavuz &window, bool away)
{
    for (QPushButton *button : {window.bSave, window.bDelete, window.bNewGrp, window.bPrint}) {
        QCOMPARE(button->isEnabled(), !away);
        QCOMPARE(button->toolTip() == QStringLiteral("Reconnecting to the card database server…"), away);
    }
    QCOMPARE(window.actPrint->isEnabled(), !away);
    QCOMPARE(window.sbServer->isVisible(), away);
    QCOMPARE(window.sbServer->text(), QStringLiteral("Reconnecting to the card database server…"));
}

} // namespace

class TestReconnect : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        useTemporarySettings();
        if (!ProgramFolder::onServer() || qEnvironmentVariableIsEmpty("TESSARY_PG_DIR"))
            QSKIP("a restart needs the private cluster (TESSARY_PG_DIR)");
    }
    void init()
    {
        clearSettings();
        prompts->clear();
        folder = std::make_unique<ProgramFolder>();
        folder->addMember(QStringLiteral("Ann"), 0);
        folder->addMember(QStringLiteral("Ben"), 0);
        data = std::make_unique<tessary::Tdsrc>();
        window = std::make_unique<TVaraDavuz>(*data, folder->path());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void cleanup() { window.reset(), data.reset(), folder.reset(); }
    void idleWindowFollowsARestart();
    void saveAcrossARestart_data();
    void saveAcrossARestart();

private:
    tessary::ScopedScriptedPrompts prompts;
    std::unique_ptr<ProgramFolder> folder;
    std::unique_ptr<tessary::Tdsrc> data;
    std::unique_ptr<TVaraDavuz> window;
};

void TestReconnect::idleWindowFollowsARestart()
{
    Cluster cluster;
    cluster.stop();
    QTRY_VERIFY_WITH_TIMEOUT(window->sbServer->isVisible(), 2000);
    checkAway(*window, true);
    QCOMPARE(listedNames(*window), (QStringList{QStringLiteral("Ann"), QStringLiteral("Ben")}));

    // Written by another station after the restart: listed within a second.
    cluster.start();
    folder->addMember(QStringLiteral("Cid"), 0);
    QTRY_COMPARE_WITH_TIMEOUT(listedNames(*window).size(), 3, 1000);
    checkAway(*window, false);
    QCOMPARE(window->statusText(0), QStringLiteral("Total Staffs=3"));
    // It listens again, and the next Save is stored.
    folder->addMember(QStringLiteral("Dan"), 0);
    QTRY_COMPARE_WITH_TIMEOUT(listedNames(*window).size(), 4, 1000);
    window->bClear->click();
    window->eName->setText(QStringLiteral("Eve"));
    window->bSave->click();
    QCOMPARE(folder->db().count(QStringLiteral("stafftbl"), QStringLiteral("name = 'Eve'")), 1);
    QCOMPARE(prompts->messages(), QStringList());
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
    const auto post = [&] {
        return folder->db().value(QStringLiteral("select post from stafftbl where name = 'Ann'"));
    };
    QVERIFY(window->data().QStaff.locate(QStringLiteral("name"), QStringLiteral("Ann")));
    window->ShowCurrentMember();
    window->ePost->setText(QStringLiteral("Chief"));
    // The server goes between the Save's reading and its writing, while
    // "Overwrite the record?" is asked.
    Cluster cluster;
    prompts->messageAnswers = {MessageResult::Ok, MessageResult::Ok};
    prompts->whileAsked = [&] {
        cluster.stop();
        if (backAtOnce)
            cluster.start();
    };
    window->bSave->click();
    // The messages, compared whole, name the server and no query.
    QStringList expected{QStringLiteral("Overwrite the record?")};
    if (!backAtOnce) {
        // Reported as not saved, never as done: the pane keeps the typing.
        expected << QStringLiteral("The card database server could not be reached. Nothing was saved.");
        QCOMPARE(prompts->messages(), expected);
        QCOMPARE(window->ePost->text(), QStringLiteral("Chief"));
        checkAway(*window, true);
        cluster.start();
        QTRY_VERIFY_WITH_TIMEOUT(!window->sbServer->isVisible(), 2000);
        QCOMPARE(post(), QVariant());
        QCOMPARE(window->ePost->text(), QStringLiteral("Chief"));
        window->bSave->click(); // the next Save stores it
        expected << QStringLiteral("Overwrite the record?");
    }
    // Nothing had been written when the server was back at once: the save
    // went on on a new connection.
    QCOMPARE(prompts->messages(), expected);
    QCOMPARE(post().toString(), QStringLiteral("Chief"));
    QCOMPARE(window->ePost->text(), QString());
    checkAway(*window, false);
}

QTEST_MAIN(TestReconnect)
#include "tst_reconnect.moc"
