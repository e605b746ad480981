// Card number issuing from the main window: switching the reader on and off,
// looking up and storing presented cards, clearing a card number, and the
// answers the reader gets. The reader link runs on a pseudo-terminal pair,
// with the test playing the reader on the master side.

#include "app/mainwindow.h"
#include "data/busy.h"
#include "data/datasrc.h"
#include "data/prompts.h"
#include "data/schema.h"
#include "data/settings.h"
#include "reader/reader.h"
#include "reader/serialport.h"

#include "fakes.h"
#include "pty.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>
#include <optional>

using namespace tessary;
using tessary::testing::PseudoTerminal;
using tessary::testing::frame;
using tessary::testing::hex;

namespace {

const QByteArray kAccept = hex("FF 7E 7E 59 31 7E FF");
const QByteArray kAcknowledge = hex("FF 7E 7E 79 7E FF");
const QByteArray kReject = hex("FF 7E 7E 4E 7E FF");

constexpr int kReaderPort = 3;
constexpr int kSalesGroup = 5;
constexpr int kEmptyGroup = 7;
constexpr int kGoneGroup = 9; // members carry it, no group row has it

// Scripted answers, with a look at the world at the moment a box is shown.
class ProbePrompts : public ScriptedPrompts
{
public:
    std::function<void()> onMessage;

    MessageResult message(MessageKind kind, const QString &title, const QString &text, bool withCancel) override
    {
        if (onMessage)
            onMessage();
        return ScriptedPrompts::message(kind, title, text, withCancel);
    }
};

struct Member
{
    QString name;
    std::optional<int> gid; // nullopt: an empty group id
    int cardno;
};

// DEFAULT (0): Alice, Bob (555), Carol. Sales: Dave (1234567), Erin.
// Empty: nobody. Nomad (424242) has no group id; Orphan (777) and a member
// without a name (888) carry the id of a group that does not exist.
const Member kMembers[] = {
    {QStringLiteral("Alice"), 0, 0},
    {QStringLiteral("Bob"), 0, 555},
    {QStringLiteral("Carol"), 0, 0},
    {QStringLiteral("Dave"), kSalesGroup, 1234567},
    {QStringLiteral("Erin"), kSalesGroup, 0},
    {QStringLiteral("Nomad"), std::nullopt, 424242},
    {QStringLiteral("Orphan"), kGoneGroup, 777},
    {QString(QLatin1String("")), kGoneGroup, 888},
};

void seedDatabase(const QString &path)
{
    createCardDatabase(path, {});
    Tdsrc ds;
    ds.src.setConnectionString(cardConnectionString(path));
    ds.src.connect();
    Query &groups = ds.QGroup;
    groups.open();
    for (const auto &[name, gid] : {std::pair{QStringLiteral("Sales"), kSalesGroup},
                                    std::pair{QStringLiteral("Empty"), kEmptyGroup}}) {
        groups.append();
        groups.fieldByName(QStringLiteral("gdesc")).setString(name);
        groups.fieldByName(QStringLiteral("gid")).setInteger(gid);
        groups.post();
    }
    Query &staff = ds.QAllStaff;
    staff.open();
    for (const Member &m : kMembers) {
        staff.append();
        staff.fieldByName(QStringLiteral("name")).setString(m.name);
        if (m.gid)
            staff.fieldByName(QStringLiteral("gid")).setInteger(*m.gid);
        else
            staff.fieldByName(QStringLiteral("gid")).clear();
        staff.fieldByName(QStringLiteral("cardno")).setInteger(m.cardno);
        staff.post();
    }
    staff.close();
}

} // namespace

class TestReaderIssuing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void switchingOnAndOff();
    void portThatCannotBeOpened();
    void cardFramesOnTheLine();
    void lookUp();
    void addModePostActions_data();
    void addModePostActions();
    void addModeCardAlreadyHeld();
    void autoDownAtLastMemberIgnoresNextCard();
    void autoUpAtFirstMemberStays();
    void emptyGroupIgnoresCards();
    void storingFailures();
    void clearingAndSaving();
    void cardDuringDeleteAllWaitsForIt();
    void heldBackNotificationsRunInOrderOnce();

private:
    // The test's view of the window and the database.
    TVaraDavuz &window() { return *m_window; }
    Query &staff() { return m_data->QStaff; }
    QString currentName() { return staff().fieldByName(QStringLiteral("name")).text(); }
    int cardOf(const QString &name);
    QString holderOf(int code);
    void switchOn(int port = kReaderPort);
    void present(int code, int port = kReaderPort);
    void selectRow(int row);
    void selectGroup(const QString &name);
    // Bytes the reader got; none expected within a short wait.
    QByteArray answer(int count) { return m_pty->receive(count); }
    bool nothingAnswered() { return m_pty->receive(1, 150).isEmpty(); }

    QTemporaryDir m_settingsDir;
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<PseudoTerminal> m_pty;
    ProbePrompts *m_prompts = nullptr;
    std::unique_ptr<PromptService> m_previousPrompts;
    std::unique_ptr<Tdsrc> m_data;
    std::unique_ptr<TVaraDavuz> m_window;
};

void TestReaderIssuing::initTestCase()
{
    QVERIFY(m_settingsDir.isValid());
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
}

void TestReaderIssuing::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    seedDatabase(m_folder->filePath(QStringLiteral("cardinfo.mdb")));

    m_pty = std::make_unique<PseudoTerminal>();
    QVERIFY(m_pty->isValid());
    WriteStringSetting(QStringLiteral("COM%1").arg(kReaderPort), m_pty->slaveName());

    auto prompts = std::make_unique<ProbePrompts>();
    m_prompts = prompts.get();
    m_previousPrompts = setPromptService(std::move(prompts));

    m_data = std::make_unique<Tdsrc>();
    m_window = std::make_unique<TVaraDavuz>(*m_data, m_folder->path());
    QCOMPARE(m_prompts->messages(), QStringList());
    QCOMPARE(window().lstGroup->currentText(), QStringLiteral("DEFAULT"));
    QCOMPARE(currentName(), QStringLiteral("Alice"));
}

void TestReaderIssuing::cleanup()
{
    m_window.reset();
    m_data.reset();
    setPromptService(std::move(m_previousPrompts));
    m_prompts = nullptr;
    m_pty.reset();
    m_folder.reset();
}

int TestReaderIssuing::cardOf(const QString &name)
{
    Query q(&m_data->src, QStringLiteral("probe"));
    q.setSql(allMembersSql());
    q.setDeclaredColumns(memberColumns());
    q.open();
    if (!q.locate(QStringLiteral("name"), name))
        return -1;
    return q.fieldByName(QStringLiteral("cardno")).asInteger();
}

QString TestReaderIssuing::holderOf(int code)
{
    Query q(&m_data->src, QStringLiteral("probe"));
    q.setSql(allMembersSql());
    q.setDeclaredColumns(memberColumns());
    q.open();
    if (!q.locate(QStringLiteral("cardno"), code))
        return QStringLiteral("(nobody)");
    return q.fieldByName(QStringLiteral("name")).text();
}

void TestReaderIssuing::switchOn(int port)
{
    window().sePort->setValue(port);
    window().cbReadCard->setChecked(true);
    QVERIFY(window().reader());
    QVERIFY(window().reader()->Connected());
}

void TestReaderIssuing::present(int code, int port)
{
    window().CardCodeReceived(false, port, code, QDateTime::currentDateTime(), -1);
}

void TestReaderIssuing::selectRow(int row)
{
    // As the operator clicking a row of the member grid.
    window().dbgInfo->setCurrentIndex(window().dbgInfo->model()->index(row, 1));
    window().ShowCurrentMember();
    QCOMPARE(staff().recNo(), row);
}

void TestReaderIssuing::selectGroup(const QString &name)
{
    const int index = window().lstGroup->findText(name);
    QVERIFY(index >= 0);
    window().lstGroup->setCurrentIndex(index);
    emit window().lstGroup->activated(index);
}

// ---------------------------------------------------------------------------

void TestReaderIssuing::switchingOnAndOff()
{
    QVERIFY(!window().reader());
    QVERIFY(window().sePort->isEnabled());

    // Switching on always starts in look-up mode.
    window().cbWrite->setChecked(true);
    switchOn();
    TRfidReader *link = window().reader();
    QCOMPARE(link->PortNo, kReaderPort);
    QCOMPARE(link->Port, QStringLiteral("COM3"));
    QCOMPARE(link->BaudRate, 19200);
    QCOMPARE(link->LockTime, 1);
    QVERIFY(link->Enable);
    QVERIFY(!window().sePort->isEnabled());
    QVERIFY(window().sePort->toolTip().contains(QStringLiteral("switch it off")));
    QVERIFY(!window().cbWrite->isChecked());
    // The controls stay hidden all the while.
    QVERIFY(window().GroupBox3->isHidden());
    QVERIFY(window().bClearNo->isHidden());

    // Off: the link is gone and the device is free for anyone.
    window().cbReadCard->setChecked(false);
    QVERIFY(!window().reader());
    QVERIFY(window().sePort->isEnabled());
    QVERIFY(window().sePort->toolTip().isEmpty());
    {
        SerialPort other;
        other.open(QStringLiteral("COM3"), LineSettings());
        QVERIFY(other.isOpen());
    }

    // On again, then the window goes away with the reader on: the port is
    // closed with it and the port number is kept for the next run.
    switchOn();
    m_window.reset();
    SerialPort other;
    other.open(QStringLiteral("COM3"), LineSettings());
    QVERIFY(other.isOpen());
    QCOMPARE(ReadIntSetting(QStringLiteral("PORT"), 0), kReaderPort);
}

void TestReaderIssuing::portThatCannotBeOpened()
{
    WriteStringSetting(QStringLiteral("COM5"), m_folder->filePath(QStringLiteral("no-such-device")));
    // When the box is shown the reader is already off again.
    std::optional<bool> tickedAtMessage, portBoxEnabledAtMessage, linkAtMessage;
    m_prompts->onMessage = [&] {
        tickedAtMessage = window().cbReadCard->isChecked();
        portBoxEnabledAtMessage = window().sePort->isEnabled();
        linkAtMessage = window().reader() != nullptr;
    };

    window().sePort->setValue(5);
    window().cbReadCard->setChecked(true);

    QCOMPARE(m_prompts->messages(), QStringList{QStringLiteral("Cannot open communication port.")});
    QCOMPARE(m_prompts->asked.front().kind, MessageKind::Error);
    QCOMPARE(m_prompts->asked.front().title, QStringLiteral("Error"));
    QCOMPARE(tickedAtMessage, std::optional(false));
    QCOMPARE(portBoxEnabledAtMessage, std::optional(true));
    QCOMPARE(linkAtMessage, std::optional(false));
    QVERIFY(!window().cbReadCard->isChecked());
    QVERIFY(window().sePort->isEnabled());
    QVERIFY(!window().reader());
    QCOMPARE(window().sePort->value(), 5);

    // Another port still works afterwards.
    m_prompts->onMessage = nullptr;
    switchOn();
    QCOMPARE(m_prompts->messages().size(), 1);
}

void TestReaderIssuing::cardFramesOnTheLine()
{
    // The window's own wiring: the port box chooses "COM3", which the
    // settings point at the pseudo-terminal, and ticking the box opens it.
    window().sePort->setValue(kReaderPort);
    window().cbReadCard->setChecked(true);
    QVERIFY(window().reader() && window().reader()->Connected());

    // Dave's card, presented while DEFAULT is listed: his group is listed
    // and he is shown, and the reader is told to accept.
    QVERIFY(m_pty->send(frame(hex("00 00 12 D6 87"))));
    QTRY_COMPARE(window().lstGroup->currentText(), QStringLiteral("Sales"));
    QCOMPARE(window().CurrentGroupId, kSalesGroup);
    QCOMPARE(currentName(), QStringLiteral("Dave"));
    QCOMPARE(window().eName->text(), QStringLiteral("Dave"));
    QCOMPARE(window().dbgInfo->currentIndex().row(), staff().recNo());
    QCOMPARE(answer(7), kAccept);
    QCOMPARE(m_prompts->messages(), QStringList());

    // Add mode through the line as well: a new card stored for Erin.
    window().cbWrite->setChecked(true);
    selectRow(1);
    QCOMPARE(currentName(), QStringLiteral("Erin"));
    QVERIFY(m_pty->send(frame(hex("00 00 00 13 88"))));   // 5000
    QTRY_COMPARE(cardOf(QStringLiteral("Erin")), 5000);
    QCOMPARE(answer(6), kAcknowledge);
    QCOMPARE(m_prompts->messages(), QStringList());
}

void TestReaderIssuing::lookUp()
{
    switchOn();
    QByteArray onLineAtMessage;
    m_prompts->onMessage = [&] { onLineAtMessage = m_pty->receive(6, 500); };

    // An unknown card: the reader is answered before the operator is told.
    present(99);
    QCOMPARE(onLineAtMessage, kReject);
    QCOMPARE(m_prompts->messages(), QStringList{QStringLiteral("Card no (99) is not used.")});
    QCOMPARE(m_prompts->asked.front().kind, MessageKind::Error);
    QCOMPARE(currentName(), QStringLiteral("Alice"));
    m_prompts->clear();

    // A member of the listed group.
    present(555);
    QCOMPARE(answer(7), kAccept);
    QCOMPARE(window().lstGroup->currentText(), QStringLiteral("DEFAULT"));
    QCOMPARE(currentName(), QStringLiteral("Bob"));
    QCOMPARE(window().eName->text(), QStringLiteral("Bob"));

    // A member whose group row is gone: the members carrying that id are
    // listed, no group is selected, and the member is shown.
    present(777);
    QCOMPARE(answer(7), kAccept);
    QCOMPARE(window().CurrentGroupId, kGoneGroup);
    QCOMPARE(window().lstGroup->currentIndex(), -1);
    QCOMPARE(window().eName->text(), QStringLiteral("Orphan"));

    // A member without a group id goes with group 0. It is not among that
    // group's listed members, so nobody else is shown as the holder.
    present(424242);
    QCOMPARE(answer(7), kAccept);
    QCOMPARE(window().CurrentGroupId, 0);
    QCOMPARE(window().lstGroup->currentText(), QStringLiteral("DEFAULT"));
    QCOMPARE(window().eName->text(), QString());
    QCOMPARE(m_prompts->messages(), QStringList());
}

void TestReaderIssuing::addModePostActions_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("shownAfter");
    QTest::newRow("No Change") << 0 << QStringLiteral("Bob");
    QTest::newRow("Auto Up") << 1 << QStringLiteral("Alice");
    QTest::newRow("Auto Down") << 2 << QStringLiteral("Carol");
}

void TestReaderIssuing::addModePostActions()
{
    QFETCH(int, action);
    QFETCH(QString, shownAfter);

    switchOn();
    window().cbWrite->setChecked(true);
    window().rgPost->button(action)->setChecked(true);
    selectRow(1);

    present(4711);
    QCOMPARE(answer(6), kAcknowledge);
    QCOMPARE(cardOf(QStringLiteral("Bob")), 4711);
    QCOMPARE(currentName(), shownAfter);
    QCOMPARE(window().eName->text(), shownAfter);
    QCOMPARE(window().dbgInfo->currentIndex().row(), staff().recNo());
    QCOMPARE(m_prompts->messages(), QStringList());
}

void TestReaderIssuing::addModeCardAlreadyHeld()
{
    switchOn();
    window().cbWrite->setChecked(true);
    selectRow(1);

    // Bob's own card, Dave's from another group, and the card of a member
    // without a name: refused, nothing written, no answer.
    present(555);
    present(1234567);
    present(888);
    QCOMPARE(m_prompts->messages(),
             (QStringList{QStringLiteral("Card no is used by Bob"), QStringLiteral("Card no is used by Dave"),
                          QStringLiteral("Card no is used by ")}));
    QVERIFY(nothingAnswered());
    QCOMPARE(cardOf(QStringLiteral("Bob")), 555);
    QCOMPARE(cardOf(QStringLiteral("Dave")), 1234567);
    QCOMPARE(currentName(), QStringLiteral("Bob"));
    QCOMPARE(window().lstGroup->currentText(), QStringLiteral("DEFAULT"));
}

void TestReaderIssuing::autoDownAtLastMemberIgnoresNextCard()
{
    switchOn();
    window().cbWrite->setChecked(true);
    window().rgPost->button(2)->setChecked(true);
    selectRow(2);
    QCOMPARE(currentName(), QStringLiteral("Carol"));

    present(201);
    QCOMPARE(answer(6), kAcknowledge);
    QCOMPARE(cardOf(QStringLiteral("Carol")), 201);
    QVERIFY(staff().eof());
    QCOMPARE(currentName(), QStringLiteral("Carol"));

    // At the end of the list: the next card and "Clear Card No" do nothing.
    present(202);
    window().bClearNo->click();
    QVERIFY(nothingAnswered());
    QCOMPARE(m_prompts->messages(), QStringList());
    QCOMPARE(holderOf(202), QStringLiteral("(nobody)"));
    QCOMPARE(cardOf(QStringLiteral("Carol")), 201);

    // Selecting another member takes cards again.
    selectRow(1);
    present(202);
    QCOMPARE(answer(6), kAcknowledge);
    QCOMPARE(cardOf(QStringLiteral("Bob")), 202);
    QCOMPARE(currentName(), QStringLiteral("Carol"));
    QVERIFY(!staff().eof());
}

void TestReaderIssuing::autoUpAtFirstMemberStays()
{
    switchOn();
    window().cbWrite->setChecked(true);
    window().rgPost->button(1)->setChecked(true);

    // The first member, as listed.
    present(301);
    QCOMPARE(answer(6), kAcknowledge);
    QCOMPARE(staff().recNo(), 0);
    QCOMPARE(cardOf(QStringLiteral("Alice")), 301);

    // A second new card overwrites the first one.
    present(302);
    QCOMPARE(answer(6), kAcknowledge);
    QCOMPARE(staff().recNo(), 0);
    QCOMPARE(cardOf(QStringLiteral("Alice")), 302);
    QCOMPARE(holderOf(301), QStringLiteral("(nobody)"));

    // The first member reached by moving up in the grid.
    selectRow(1);
    selectRow(0);
    present(303);
    QCOMPARE(answer(6), kAcknowledge);
    QCOMPARE(staff().recNo(), 0);
    QCOMPARE(cardOf(QStringLiteral("Alice")), 303);
    QCOMPARE(window().eName->text(), QStringLiteral("Alice"));
    QCOMPARE(m_prompts->messages(), QStringList());
}

void TestReaderIssuing::emptyGroupIgnoresCards()
{
    switchOn();
    selectGroup(QStringLiteral("Empty"));
    QCOMPARE(window().CurrentGroupId, kEmptyGroup);
    QCOMPARE(staff().recordCount(), 0);

    present(1234567);                 // look-up
    window().cbWrite->setChecked(true);
    present(401);                     // add
    window().bClearNo->click();
    QCOMPARE(m_prompts->messages(), QStringList());
    QCOMPARE(window().lstGroup->currentText(), QStringLiteral("Empty"));
    QCOMPARE(holderOf(401), QStringLiteral("(nobody)"));

    // The link was live all along: the next answer is the only one sent.
    window().cbWrite->setChecked(false);
    selectGroup(QStringLiteral("DEFAULT"));
    present(1234567);
    QCOMPARE(m_pty->receive(8, 300), kAccept);
    QCOMPARE(window().lstGroup->currentText(), QStringLiteral("Sales"));
}

void TestReaderIssuing::storingFailures()
{
    switchOn();
    window().cbWrite->setChecked(true);
    window().rgPost->button(2)->setChecked(true);
    selectRow(1);
    m_data->src.exec(QStringLiteral("create trigger refuse before update on stafftbl "
                                    "begin select raise(abort, 'refused'); end"));

    present(601);
    QCOMPARE(m_prompts->messages(), QStringList{QStringLiteral("Cannot update database. Please retry!")});
    QVERIFY(nothingAnswered());
    QCOMPARE(staff().state(), Query::State::Browse);
    QCOMPARE(currentName(), QStringLiteral("Bob"));   // no post-action
    QCOMPARE(cardOf(QStringLiteral("Bob")), 555);
    m_prompts->clear();

    window().bClearNo->click();
    QCOMPARE(m_prompts->messages(), QStringList{QStringLiteral("Cannot clear the card no.")});
    QCOMPARE(staff().state(), Query::State::Browse);
    QCOMPARE(cardOf(QStringLiteral("Bob")), 555);
    QVERIFY(nothingAnswered());
    m_prompts->clear();

    // Once the database takes updates again, the retry goes through.
    m_data->src.exec(QStringLiteral("drop trigger refuse"));
    present(601);
    QCOMPARE(answer(6), kAcknowledge);
    QCOMPARE(cardOf(QStringLiteral("Bob")), 601);
    QCOMPARE(currentName(), QStringLiteral("Carol"));
    QCOMPARE(m_prompts->messages(), QStringList());
}

void TestReaderIssuing::clearingAndSaving()
{
    switchOn();
    selectRow(1);

    window().bClearNo->click();
    QCOMPARE(m_prompts->messages(), QStringList{QStringLiteral("Card no cleared.")});
    QCOMPARE(m_prompts->asked.front().kind, MessageKind::Information);
    QCOMPARE(cardOf(QStringLiteral("Bob")), 0);
    QVERIFY(nothingAnswered());
    m_prompts->clear();

    // The old card is now unknown.
    present(555);
    QCOMPARE(answer(6), kReject);
    QCOMPARE(m_prompts->messages(), QStringList{QStringLiteral("Card no (555) is not used.")});
    m_prompts->clear();

    // A card stored here does not survive saving the member from the pane.
    window().cbWrite->setChecked(true);
    present(901);
    QCOMPARE(answer(6), kAcknowledge);
    QCOMPARE(cardOf(QStringLiteral("Bob")), 901);
    m_prompts->messageAnswers.push_back(MessageResult::Ok);   // overwrite Bob
    window().bSave->click();
    QCOMPARE(m_prompts->messages(), QStringList{QStringLiteral("Overwrite the record?")});
    QCOMPARE(cardOf(QStringLiteral("Bob")), 0);
}


void TestReaderIssuing::cardDuringDeleteAllWaitsForIt()
{
    // Dave's card (Sales) is on the line when "Delete All" starts on the
    // DEFAULT group. Card issuing waits until every listed member is
    // deleted; it must not list Sales in the middle and have its members
    // deleted too.
    switchOn();
    QCOMPARE(window().lstGroup->currentText(), QStringLiteral("DEFAULT"));
    // The bytes wait in the port's queue: no event is handled before the
    // command starts.
    QVERIFY(m_pty->send(frame(hex("00 00 12 D6 87"))));
    m_prompts->messageAnswers.push_back(MessageResult::Ok);
    window().bDelAllClick();

    QVERIFY(holderOf(555) == QStringLiteral("(nobody)")); // Bob, of DEFAULT, is gone
    QCOMPARE(holderOf(1234567), QStringLiteral("Dave"));
    QCOMPARE(cardOf(QStringLiteral("Erin")), 0);
    // Then the card reaches the link, from the event loop; with the listed
    // group now empty it is ignored, as any card is then.
    QTest::qWait(300);
    QVERIFY(nothingAnswered());
    QCOMPARE(window().lstGroup->currentText(), QStringLiteral("DEFAULT"));
    QCOMPARE(m_prompts->messages(), QStringList{QStringLiteral("Delete the record?")});
    // The link goes on as before.
    selectGroup(QStringLiteral("Sales"));
    selectRow(1);
    QCOMPARE(window().eName->text(), QStringLiteral("Erin"));
    QVERIFY(m_pty->send(frame(hex("00 00 12 D6 87"))));
    QTRY_COMPARE(window().eName->text(), QStringLiteral("Dave"));
    QCOMPARE(answer(7), kAccept);
}

void TestReaderIssuing::heldBackNotificationsRunInOrderOnce()
{
    // Notifications of a device and expiries of a timer that come during a
    // long operation are kept, one of each kind, and run after it in order.
    testing::FakePort port;
    QStringList seen;
    port.setHandlers({[&] { seen << QStringLiteral("bytes"); }, [&] { seen << QStringLiteral("line"); }});
    testing::ManualClock clock;
    std::unique_ptr<Timer> timer = clock.factory()();
    timer->setInterval(10);
    timer->setEnabled(true);
    timer->setOnTimer([&] { seen << QStringLiteral("timer"); });
    {
        BusyScope busy;
        port.receive(QByteArray("a"));
        static_cast<testing::ManualTimer *>(timer.get())->fire();
        port.receive(QByteArray("b"));
        port.raiseLineError();
        QVERIFY(seen.isEmpty());
    }
    QVERIFY(seen.isEmpty()); // not inside the scope's end either
    QTRY_COMPARE(seen, (QStringList{QStringLiteral("bytes"), QStringLiteral("timer"), QStringLiteral("line")}));

    // A timer switched off while its expiry waited does not expire.
    seen.clear();
    {
        BusyScope busy;
        static_cast<testing::ManualTimer *>(timer.get())->fire();
        timer->setEnabled(false);
    }
    QTest::qWait(20);
    QCOMPARE(seen, QStringList());
    QCOMPARE(heldBackActions(), 0);
}

QTEST_MAIN(TestReaderIssuing)
#include "tst_issuing.moc"
