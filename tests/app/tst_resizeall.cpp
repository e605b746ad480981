// The batch resize of stored photos from the main window's "Resize All":
// which photos are shrunk, which are left byte for byte, the progress
// window at the moment the outcome is shown, and the member list after it.

#include "appfixture.h"

#include "photoui/progress.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include <functional>

using namespace apptest;
using tessary::ScopedScriptedPrompts;
using tessary::Tdsrc;

namespace {

// Answers like ScriptedPrompts and lets a test look at the window at the
// moment a message is shown.
class ProbingPrompts : public tessary::ScriptedPrompts
{
public:
    std::function<void(const QString &)> onMessage;

    tessary::MessageResult message(tessary::MessageKind kind, const QString &title, const QString &text,
                                   bool withCancel) override
    {
        if (onMessage)
            onMessage(text);
        return ScriptedPrompts::message(kind, title, text, withCancel);
    }
};

class ScopedProbe
{
public:
    ScopedProbe()
    {
        auto owned = std::make_unique<ProbingPrompts>();
        probe = owned.get();
        m_previous = tessary::setPromptService(std::move(owned));
    }
    ~ScopedProbe() { tessary::setPromptService(std::move(m_previous)); }
    ProbingPrompts *probe;

private:
    std::unique_ptr<tessary::PromptService> m_previous;
};

QByteArray photoOf(const ProgramFolder &folder, const QString &name)
{
    return folder.db().value(QStringLiteral("select photo from stafftbl where name = ?"), {name}).toByteArray();
}

} // namespace

class TestResizeAll : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { useTemporarySettings(); }
    void init() { clearSettings(); }

    void shrinksOversizedPhotosOfEveryGroup();
    void emptyTableCompletesAtOnce();
    void failedSaveStopsTheWalk();
};

void TestResizeAll::shrinksOversizedPhotosOfEveryGroup()
{
    ProgramFolder folder;
    const int alpha = folder.addGroup(QStringLiteral("Alpha"));
    const struct
    {
        const char *name;
        int gid, width, height;
    } photos[] = {{"A wide", alpha, 481, 600},
                  {"B tall", 0, 480, 641},
                  {"C fits", alpha, 480, 640},
                  {"D strip", 99, 2000, 100},
                  {"E small", alpha, 120, 160}};
    for (const auto &p : photos) {
        Member m;
        m.name = QString::fromLatin1(p.name);
        m.gid = p.gid;
        m.photo = jpegOf(p.width, p.height);
        folder.addMember(m);
    }
    Member empty;
    empty.name = QStringLiteral("F empty");
    empty.gid = alpha;
    empty.photo = QByteArray("");
    folder.addMember(empty);
    Member none;
    none.name = QStringLiteral("G none");
    none.gid = alpha;
    folder.addMember(none);
    const QByteArray fitsBefore = photoOf(folder, QStringLiteral("C fits"));
    const QByteArray smallBefore = photoOf(folder, QStringLiteral("E small"));

    ScopedProbe scoped;
    ProbingPrompts &prompts = *scoped.probe;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    QCOMPARE(window.lstGroup->currentText(), QStringLiteral("Alpha"));
    window.data().QStaff.setRecNo(2);

    // When the outcome is shown the walk is over: the gauge stands at its
    // maximum, one step per member, and the window no longer covers it.
    int gaugePosition = -1, gaugeMaximum = -1;
    bool progressVisible = true;
    prompts.onMessage = [&](const QString &) {
        const QList<tessary::TPg *> windows = window.findChildren<tessary::TPg *>();
        if (windows.size() == 1) {
            gaugePosition = windows.first()->bar().position();
            gaugeMaximum = windows.first()->bar().maximum();
            progressVisible = windows.first()->isVisible();
        }
    };
    window.bResizeAll->click();

    QCOMPARE(prompts.asked.size(), size_t(1));
    QCOMPARE(prompts.asked.front().kind, tessary::MessageKind::Plain);
    QCOMPARE(prompts.asked.front().title, QStringLiteral("Tessary"));
    QCOMPARE(prompts.asked.front().text, QStringLiteral("Completed."));
    QCOMPARE(gaugeMaximum, 7);
    QCOMPARE(gaugePosition, 7);
    QVERIFY(!progressVisible);
    QVERIFY(window.findChildren<tessary::TPg *>().isEmpty());

    QCOMPARE(storedSize(photoOf(folder, QStringLiteral("A wide"))), QSize(480, 640));
    QCOMPARE(storedSize(photoOf(folder, QStringLiteral("B tall"))), QSize(480, 640));
    QCOMPARE(storedSize(photoOf(folder, QStringLiteral("D strip"))), QSize(480, 640));
    // Small enough photos are not even encoded again.
    QCOMPARE(photoOf(folder, QStringLiteral("C fits")), fitsBefore);
    QCOMPARE(photoOf(folder, QStringLiteral("E small")), smallBefore);
    QCOMPARE(folder.db().value(QStringLiteral("select length(photo) from stafftbl where name = 'F empty'")).toInt(), 0);
    QVERIFY(folder.db().value(QStringLiteral("select photo from stafftbl where name = 'G none'")).isNull());
    // Nothing else of the members changed.
    QCOMPARE(folder.db().count(QStringLiteral("stafftbl")), 7);
    QCOMPARE(folder.db().value(QStringLiteral("select gid from stafftbl where name = 'D strip'")).toInt(), 99);

    // The member list is open again at its first member.
    QVERIFY(window.data().QStaff.isOpen());
    QCOMPARE(listedNames(window),
             (QStringList{QStringLiteral("A wide"), QStringLiteral("C fits"), QStringLiteral("E small"),
                          QStringLiteral("F empty"), QStringLiteral("G none")}));
    QCOMPARE(window.data().QStaff.recNo(), 0);
    QCOMPARE(window.dbgInfo->currentIndex().row(), 0);
    QVERIFY(!window.data().QAllStaff.isOpen());
}

void TestResizeAll::emptyTableCompletesAtOnce()
{
    ProgramFolder folder;
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    window.bResizeAll->click();
    QCOMPARE(prompts->messages(), QStringList{QStringLiteral("Completed.")});
    QCOMPARE(prompts->asked.front().title, QStringLiteral("Tessary"));
    QVERIFY(window.data().QStaff.isOpen());
    QCOMPARE(window.dbgInfo->model()->rowCount(), 0);
    QVERIFY(window.findChildren<tessary::TPg *>().isEmpty());
}

void TestResizeAll::failedSaveStopsTheWalk()
{
    ProgramFolder folder;
    for (const char *name : {"Ann", "Bob", "Cid"}) {
        Member m;
        m.name = QString::fromLatin1(name);
        m.photo = jpegOf(600, 800);
        folder.addMember(m);
    }
    const QByteArray bobBefore = photoOf(folder, QStringLiteral("Bob"));
    // The database refuses to store Bob's new photo.
    folder.db().refuse(QStringLiteral("refuse"), QStringLiteral("update of photo"), QStringLiteral("stafftbl"),
                       QStringLiteral("new.name = 'Bob'"), QStringLiteral("refused"));

    ScopedProbe scoped;
    ProbingPrompts &prompts = *scoped.probe;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    int gaugePosition = -1;
    bool progressVisible = true;
    prompts.onMessage = [&](const QString &) {
        if (auto *pg = window.findChild<tessary::TPg *>()) {
            gaugePosition = pg->bar().position();
            progressVisible = pg->isVisible();
        }
    };
    window.bResizeAll->click();

    QCOMPARE(prompts.messages(), QStringList{QStringLiteral("Operation Failed.")});
    QCOMPARE(prompts.asked.front().title, QStringLiteral("Tessary"));
    QCOMPARE(prompts.asked.front().kind, tessary::MessageKind::Plain);
    QCOMPARE(gaugePosition, 1);
    QVERIFY(!progressVisible);
    QVERIFY(window.findChildren<tessary::TPg *>().isEmpty());
    // Written before the failure stays written; nothing after it is touched.
    QCOMPARE(storedSize(photoOf(folder, QStringLiteral("Ann"))), QSize(480, 640));
    QCOMPARE(photoOf(folder, QStringLiteral("Bob")), bobBefore);
    QCOMPARE(storedSize(photoOf(folder, QStringLiteral("Cid"))), QSize(600, 800));
    QVERIFY(window.data().QStaff.isOpen());
    QCOMPARE(window.data().QStaff.state(), tessary::Query::State::Browse);
    QVERIFY(!window.data().QAllStaff.isOpen());
    QCOMPARE(listedNames(window), (QStringList{QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("Cid")}));
}

QTEST_MAIN(TestResizeAll)
#include "tst_resizeall.moc"
