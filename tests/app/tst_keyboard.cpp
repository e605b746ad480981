// The main window's keyboard and small comforts: shortcuts through the real
// window, the tab order of the detail pane, disabled commands that say why,
// and where the card database lives when the program folder is read-only.

#include "appfixture.h"
#include "data/databasechoice.h"

#include "app/datafolder.h"
#include "card/composition.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

using namespace apptest;
using tessary::ScopedScriptedPrompts;
using tessary::Tdsrc;

namespace {

class CountingOutput : public tessary::CardOutput
{
public:
    int prints = 0;
    int previews = 0;
    void print(const tessary::CardJob &) override { ++prints; }
    void preview(const tessary::CardJob &, const std::function<tessary::CardJob()> &) override
    {
        ++previews;
    }
};

// Replaces the folder check for one test.
struct WritableCheck
{
    explicit WritableCheck(tessary::FolderWritable check) : previous(tessary::setFolderWritableCheck(std::move(check))) {}
    ~WritableCheck() { tessary::setFolderWritableCheck(previous); }
    tessary::FolderWritable previous;
};

void showActive(QWidget &window)
{
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
}

// The widget that has the focus; the part of a date picker counts as the
// picker.
QWidget *focused()
{
    QWidget *w = QApplication::focusWidget();
    for (QWidget *p = w; p; p = p->parentWidget())
        if (qobject_cast<QAbstractSpinBox *>(p))
            return p;
    return w;
}

// The access mode in octal, as "600".
QString mode(const QString &path)
{
    const int p = int(QFileInfo(path).permissions());
    return QString::number((p >> 12) & 7) + QString::number((p >> 4) & 7) + QString::number(p & 7);
}

} // namespace

class TestKeyboard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { useTemporarySettings(); }
    void init() { clearSettings(); }

    void menuItemsShowTheirShortcuts();
    void keysRunTheirCommands();
    void deleteKeyOnlyInTheGrid();
    void tabWalksTheDetailPane();
    void disabledCommandsSayWhy();
    void dataFolderChoice();
    void readOnlyProgramFolderUsesUserDataFolder();
};

void TestKeyboard::menuItemsShowTheirShortcuts()
{
    ProgramFolder folder;
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    const std::pair<QAction *, QKeySequence> expected[] = {
        {window.actPrint, QKeySequence(QStringLiteral("Ctrl+P"))},
        {window.actPreview, QKeySequence(QStringLiteral("Ctrl+Shift+P"))},
        {window.actExit, QKeySequence(QStringLiteral("Ctrl+Q"))},
        {window.actAbout, QKeySequence(QStringLiteral("F1"))},
        {window.actSave, QKeySequence(QStringLiteral("Ctrl+S"))},
        {window.actDelete, QKeySequence(QStringLiteral("Del"))},
    };
    for (const auto &[action, keys] : expected)
        QCOMPARE(action->shortcut(), keys);
    // The keys of menu items are on the menu bar's menus; those without
    // an item are named in their button's tooltip.
    QList<QAction *> onMenus;
    for (QAction *menu : window.menuBar()->actions()) {
        QVERIFY(menu->menu()->toolTipsVisible());
        onMenus << menu->menu()->actions();
    }
    for (QAction *a : {window.actPrint, window.actPreview, window.actExit, window.actAbout})
        QVERIFY2(onMenus.contains(a), qPrintable(a->objectName()));
    QVERIFY2(window.bSave->toolTip().contains(QStringLiteral("Ctrl+S")), qPrintable(window.bSave->toolTip()));
    QVERIFY2(window.bDelete->toolTip().contains(QStringLiteral("Del")), qPrintable(window.bDelete->toolTip()));
}

void TestKeyboard::keysRunTheirCommands()
{
    ProgramFolder folder;
    folder.addMember(QStringLiteral("Amy"), 0);
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    auto *output = new CountingOutput;
    window.cardOutput.reset(output);
    showActive(window);
    window.eName->setFocus();

    QTest::keyClick(&window, Qt::Key_P, Qt::ControlModifier);
    QCOMPARE(output->prints, 1);
    QCOMPARE(output->previews, 0);
    QTest::keyClick(&window, Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(output->previews, 1);
    QCOMPARE(output->prints, 1);

    // Ctrl+S saves as the button does: an empty name is refused.
    QSignalSpy saved(window.bSave, &QPushButton::clicked);
    window.eName->clear();
    prompts->clear();
    QTest::keyClick(window.eName, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(saved.count(), 1);
    QCOMPARE(prompts->messages(), QStringList{QStringLiteral("Name field cannot be empty.")});

    // F1 opens the about box (modal); Ctrl+Q closes the window.
    QString aboutTitle;
    QTimer::singleShot(0, &window, [&] {
        if (QWidget *box = QApplication::activeModalWidget()) {
            aboutTitle = box->windowTitle();
            box->close();
        }
    });
    QTest::keyClick(&window, Qt::Key_F1);
    QCOMPARE(aboutTitle, QStringLiteral("About Vara Davuz"));
    QVERIFY(window.isVisible());
    showActive(window);
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(!window.isVisible());
}

void TestKeyboard::deleteKeyOnlyInTheGrid()
{
    ProgramFolder folder;
    folder.addMember(QStringLiteral("Amy"), 0);
    folder.addMember(QStringLiteral("Bob"), 0);
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    showActive(window);

    // In an edit box the key edits the text.
    window.eName->setFocus();
    QTRY_COMPARE(focused(), window.eName);
    window.eName->setCursorPosition(0);
    QTest::keyClick(window.eName, Qt::Key_Delete);
    QCOMPARE(window.eName->text(), QStringLiteral("my"));
    QVERIFY(prompts->asked.empty());

    // In the grid it asks, and deletes the selected member on OK only.
    window.dbgInfo->setFocus();
    QTRY_COMPARE(focused(), window.dbgInfo);
    for (auto answer : {tessary::MessageResult::Cancel, tessary::MessageResult::Ok}) {
        prompts->messageAnswers.push_back(answer);
        QTest::keyClick(window.dbgInfo, Qt::Key_Delete);
    }
    QCOMPARE(prompts->asked.size(), size_t(2));
    QCOMPARE(folder.db().strings(QStringLiteral("select name from stafftbl")), QStringList{QStringLiteral("Bob")});
    QCOMPARE(listedNames(window), QStringList{QStringLiteral("Bob")});
}

void TestKeyboard::tabWalksTheDetailPane()
{
    ProgramFolder folder;
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());

    const QList<QWidget *> expected{window.eStaffNo, window.eName,  window.eCname,  window.ePost,
                                    window.dpJoin,   window.dpExpiry, window.eRemark, window.bPhoto,
                                    window.bRotate,  window.bpClear, window.bSave,   window.bClear};
    // The focus chain as set up, without keys.
    QWidget *w = window.eStaffNo;
    for (int i = 1; i < expected.size(); ++i) {
        do
            w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(&window) ||
               (w->parentWidget() && qobject_cast<QAbstractSpinBox *>(w->parentWidget())));
        QCOMPARE(w->objectName(), expected.at(i)->objectName());
    }
    // The keys walk it too (tst_app_mainwindow, tabOrderOfDetailPane).
}

void TestKeyboard::disabledCommandsSayWhy()
{
    const QList<const char *> needDatabase{"actBackup", "actImport", "actLayout", "actPreview", "actPrint", "actCheckList",
                                           "bNewGrp",   "bRemove",   "bDelete",   "bDelAll",    "bPreview", "bPrint",
                                           "bPrintAll", "bSave"};
    const QList<const char *> alwaysThere{"actAbout", "actExit", "actRestore", "bClear", "bPhoto", "bRotate", "bpClear"};
    for (const bool withDatabase : {false, true}) {
        ProgramFolder folder(withDatabase);
        ScopedScriptedPrompts prompts;
        Tdsrc data;
        TVaraDavuz window(data, folder.path());
        for (const char *name : needDatabase) {
            QObject *o = window.findChild<QObject *>(QString::fromLatin1(name));
            QVERIFY2(o, name);
            const bool enabled = o->property("enabled").toBool();
            const QString tip = o->property("toolTip").toString();
            QVERIFY2(enabled == withDatabase, name);
            QVERIFY2(tip.contains(QStringLiteral("No card database is open")) != withDatabase, qPrintable(tip));
            // The tip names the database that could not be opened.
            const QString where = ProgramFolder::onServer() ? tessary::serverLocation(folder.conninfo())
                                                            : folder.databasePath();
            if (!withDatabase)
                QVERIFY2(tip.contains(where), qPrintable(tip));
        }
        for (const char *name : alwaysThere) {
            QObject *o = window.findChild<QObject *>(QString::fromLatin1(name));
            QVERIFY2(o && o->property("enabled").toBool(), name);
        }
        // Keys of disabled commands do nothing.
        if (!withDatabase) {
            showActive(window);
            QSignalSpy saved(window.bSave, &QPushButton::clicked);
            QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
            QCOMPARE(saved.count(), 0);
        }
    }
    // Opened by a restore later, the commands come back with their own
    // tooltips; the button keeps the one naming its key.
    ProgramFolder folder(false);
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    QString restored;
    if (ProgramFolder::onServer()) {
        tessary::PgEngine engine(folder.conninfo());
        tessary::prepareServerDatabase(engine, tessary::CardDatabaseSeed{});
        restored = tessary::serverConnectionString(folder.conninfo());
    } else {
        ProgramFolder other;
        QFile::copy(other.databasePath(), folder.databasePath());
        restored = tessary::cardConnectionString(folder.databasePath());
    }
    data.src.disconnect();
    data.src.setConnectionString(restored);
    data.src.connect();
    data.QGroup.open();
    emit data.src.dataChanged();
    QVERIFY(window.bSave->isEnabled() && window.actPrint->isEnabled());
    QVERIFY2(window.bSave->toolTip().contains(QStringLiteral("Ctrl+S")), qPrintable(window.bSave->toolTip()));
    QCOMPARE(window.actPrint->toolTip(), QStringLiteral("Print Card"));
}

void TestKeyboard::dataFolderChoice()
{
    const QString user = QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)) +
                         QDir::separator();
    QVERIFY(user.size() > 1);
    const struct
    {
        QString program;
        bool writable;
        QString expected;
    } cases[] = {
        {QStringLiteral("/opt/tessary/bin"), true, QStringLiteral("/opt/tessary/bin/")},
        {QStringLiteral("/opt/tessary/bin/"), true, QStringLiteral("/opt/tessary/bin/")},
        {QStringLiteral("/usr/bin"), false, user},
        {QStringLiteral("/usr/bin/"), false, user},
    };
    for (const auto &c : cases) {
        QStringList asked;
        const QString chosen = tessary::chooseDataFolder(c.program, [&](const QString &folder) {
            asked << folder;
            return c.writable;
        });
        QCOMPARE(chosen, c.expected);
        QCOMPARE(asked, QStringList{c.program});
    }
    // The real check: a folder the process may write, and one it may not.
    QTemporaryDir temp;
    QVERIFY(tessary::isFolderWritable(temp.path()));
    QVERIFY(!tessary::isFolderWritable(temp.path() + QStringLiteral("/missing")));
    QVERIFY(!tessary::isFolderWritable(QString()));
}

void TestKeyboard::readOnlyProgramFolderUsesUserDataFolder()
{
    if (ProgramFolder::onServer())
        QSKIP("The card database file's place; a server's database has none");
    const QString user = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir(user).removeRecursively();
    ProgramFolder program(false);
    WritableCheck readOnly([&](const QString &folder) { return QDir(folder) != QDir(program.path()); });
    ScopedScriptedPrompts prompts;
    {
        // First start: both files are made in the user's folder, owner-only.
        Tdsrc data;
        TVaraDavuz window(data, program.path());
        QVERIFY(prompts->asked.empty());
        QCOMPARE(QDir(window.ProgramFolder), QDir(user));
        QCOMPARE(window.DatabasePath, QDir(user).filePath(QStringLiteral("cardinfo.mdb")));
        QCOMPARE(groupEntries(window), QStringList{QStringLiteral("DEFAULT")});
        QVERIFY(window.bSave->isEnabled());
        window.eName->setText(QStringLiteral("Amy"));
        window.bSave->click();
    }
    QCOMPARE(mode(QDir(user).filePath(QStringLiteral("cardinfo.mdb"))), QStringLiteral("600"));
    QCOMPARE(mode(QDir(user).filePath(QStringLiteral("namecard-b.mdb"))), QStringLiteral("600"));
    QCOMPARE(mode(user), QStringLiteral("700"));
    QVERIFY(QDir(program.path()).entryList(QDir::Files).isEmpty());
    {
        // The next start opens the same database and creates nothing.
        Tdsrc data;
        TVaraDavuz window(data, program.path());
        QCOMPARE(listedNames(window), QStringList{QStringLiteral("Amy")});
    }
    // Writable again, the program folder is the place once more.
    tessary::setFolderWritableCheck({});
    {
        Tdsrc data;
        TVaraDavuz window(data, program.path());
        QCOMPARE(QDir(window.ProgramFolder), QDir(program.path()));
        QCOMPARE(prompts->asked.size(), size_t(1)); // no database there: the start-up error
    }
    QDir(user).removeRecursively();
}

QTEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
