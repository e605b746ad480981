// "Find Member" through the real main window: typing lists members of
// every group, choosing a hit brings it up in the main window for Save and
// Delete, the expiry windows, and "Print Found".
#include "appfixture.h"

#include "app/finddialog.h"
#include "card/composition.h"
#include "cardmodel/carddate.h"
#include "data/query.h"

#include <QAction>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTreeWidget>

using namespace apptest;
using namespace tessary;

namespace {

// Keeps the names of the members each print run had.
class NamesOutput : public CardOutput
{
public:
    std::vector<QStringList> runs;
    void print(const CardJob &cards) override
    {
        QStringList names;
        for (int i = 0; i < cards.records->size(); ++i)
            names << cards.records->at(i, false).text(QStringLiteral("name"));
        runs.push_back(names);
    }
    void preview(const CardJob &, const std::function<CardJob()> &) override {}
};

QAction *findAction(TVaraDavuz &window)
{
    return window.findChild<QAction *>(QStringLiteral("actFind"));
}

TFmFind *openFind(TVaraDavuz &window)
{
    findAction(window)->trigger();
    return window.findChild<TFmFind *>(QStringLiteral("FindMember"));
}

// Types the text as the operator does, one key event a character
// (QTest::keyClicks takes Latin-1 only).
void typeOn(TFmFind &find, const QString &text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, find.eFind, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

void type(TFmFind &find, const QString &text)
{
    find.eFind->clear();
    typeOn(find, text);
}

QStringList column(const TFmFind &find, int c)
{
    QStringList out;
    for (int r = 0; r < find.lvFound->topLevelItemCount(); ++r)
        out << find.lvFound->topLevelItem(r)->text(c);
    return out;
}

QString foundCount(qsizetype n)
{
    return n == 1 ? QStringLiteral("1 member found") : QStringLiteral("%1 members found").arg(n);
}

void chooseExpiring(TFmFind &find, const QString &caption)
{
    const int index = find.cbExpiring->findText(caption);
    find.cbExpiring->setCurrentIndex(index);
    emit find.cbExpiring->activated(index);
}

Member member(const char *name, int gid, const char *staffno = "", const char *cname = "", int cardno = 0,
              const QString &expiry = QString())
{
    Member m;
    m.name = QString::fromUtf8(name);
    m.gid = gid;
    m.staffno = QString::fromUtf8(staffno);
    m.cname = QString::fromUtf8(cname);
    m.cardno = cardno;
    m.expiry = expiry;
    return m;
}

} // namespace

class TestFind : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { useTemporarySettings(); }
    void init() { clearSettings(); }

    void opensFromTheDatabaseMenu()
    {
        ProgramFolder folder;
        ScopedScriptedPrompts prompts;
        Tdsrc data;
        TVaraDavuz window(data, folder.path());
        QAction *action = findAction(window);
        QVERIFY(action);
        QCOMPARE(action->text(), QStringLiteral("Find Member…"));
        QCOMPARE(action->shortcut(), QKeySequence(QStringLiteral("Ctrl+F")));
        const QMenu *database = window.menuBar()->findChild<QMenu *>(QStringLiteral("mnDatabase"));
        QVERIFY(database->actions().contains(action));
        TFmFind *find = openFind(window);
        QVERIFY(find && find->isVisible() && !find->isModal());
        QCOMPARE(find->windowTitle(), QStringLiteral("Find Member"));
        QCOMPARE(find->eFind->accessibleName(), QStringLiteral("Find"));
        QCOMPARE(openFind(window), find); // one window
        QCOMPARE(find->cbExpiring->count(), 5);
        QCOMPARE(find->lvFound->headerItem()->text(4), QStringLiteral("Card No"));
    }

    void findsInEveryGroupWithoutCase_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("groups");
        QTest::newRow("name") << QStringLiteral("ANN") << QStringList{QStringLiteral("Anna Berg"), QStringLiteral("Joanne")}
                              << QStringList{QStringLiteral("Sales"), QStringLiteral("Works")};
        QTest::newRow("staff number") << QStringLiteral("w-2") << QStringList{QStringLiteral("Joanne")}
                                      << QStringList{QStringLiteral("Works")};
        QTest::newRow("second-script name") << QStringLiteral("陳大") << QStringList{QStringLiteral("Chan Tai")}
                                            << QStringList{QString()};
        QTest::newRow("card number") << QStringLiteral("445") << QStringList{QStringLiteral("Anna Berg")}
                                     << QStringList{QStringLiteral("Sales")};
        QTest::newRow("folded") << QStringLiteral("ärger") << QStringList{QStringLiteral("ÄRGER Ulf")}
                                << QStringList{QStringLiteral("Works")};
    }

    void findsInEveryGroupWithoutCase()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, names);
        QFETCH(QStringList, groups);
        ProgramFolder folder;
        const int sales = folder.addGroup(QStringLiteral("Sales"));
        const int works = folder.addGroup(QStringLiteral("Works"));
        folder.addMember(member("Anna Berg", sales, "S-1", "", 44556));
        folder.addMember(member("Joanne", works, "W-2"));
        folder.addMember(member("ÄRGER Ulf", works, "W-3"));
        folder.addMember(member("Chan Tai", 77, "X-9", "陳大文")); // a group without a row
        ScopedScriptedPrompts prompts;
        Tdsrc data;
        TVaraDavuz window(data, folder.path());
        TFmFind *find = openFind(window);
        type(*find, text);
        QTRY_COMPARE(column(*find, 2), names);
        QCOMPARE(column(*find, 0), groups);
        QCOMPARE(find->lCount->text(), foundCount(names.size()));
        QVERIFY(find->bPrintFound->isEnabled());
    }

    void showsAtMost200WithTheCount()
    {
        ProgramFolder folder;
        for (int i = 0; i < 205; ++i)
            folder.addMember(QStringLiteral("Member %1").arg(i, 3, 10, QLatin1Char('0')), 0);
        ScopedScriptedPrompts prompts;
        Tdsrc data;
        TVaraDavuz window(data, folder.path());
        TFmFind *find = openFind(window);
        type(*find, QStringLiteral("member"));
        QTRY_COMPARE(find->lCount->text(), QStringLiteral("200 of 205 members shown"));
        QCOMPARE(find->lvFound->topLevelItemCount(), 200);
        prompts->messageAnswers = {MessageResult::Cancel};
        find->bPrintFound->click();
        QCOMPARE(prompts->messages(), QStringList{QStringLiteral("Print the cards of the 200 members shown? The other "
                                                                 "5 of the 205 members found are not printed.")});
        typeOn(*find, QStringLiteral(" 20"));
        QTRY_COMPARE(find->lCount->text(), QStringLiteral("5 members found"));
        QCOMPARE(column(*find, 2).first(), QStringLiteral("Member 200"));
        typeOn(*find, QStringLiteral("4"));
        QTRY_COMPARE(find->lCount->text(), QStringLiteral("1 member found"));
        type(*find, QStringLiteral("nobody"));
        QTRY_COMPARE(find->lCount->text(), QStringLiteral("0 members found"));
        QVERIFY(!find->bPrintFound->isEnabled());
    }

    void chosenHitIsTheMemberSaveAndDeleteActOn()
    {
        ProgramFolder folder;
        const int sales = folder.addGroup(QStringLiteral("Sales"));
        const int works = folder.addGroup(QStringLiteral("Works"));
        folder.addMember(member("Amy", sales));
        folder.addMember(member("Zed", works, "Z-1"));
        folder.addMember(member("Zed", sales, "Z-2")); // same name, other group
        const qint64 zora = folder.addMember(member("Zora", works, "Z-3"));
        folder.addMember(member("Bob", works));
        ScopedScriptedPrompts prompts;
        Tdsrc data;
        TVaraDavuz window(data, folder.path());
        TFmFind *find = openFind(window);
        type(*find, QStringLiteral("z-1"));
        QTRY_COMPARE(column(*find, 1), QStringList{QStringLiteral("Z-1")});

        // Enter on the list.
        find->lvFound->setFocus();
        find->lvFound->setCurrentItem(find->lvFound->topLevelItem(0));
        QTest::keyClick(find->lvFound, Qt::Key_Return);
        QCOMPARE(window.lstGroup->currentText(), QStringLiteral("Works"));
        QCOMPARE(window.CurrentGroupId, works);
        QCOMPARE(window.eStaffNo->text(), QStringLiteral("Z-1"));
        QCOMPARE(window.dbgInfo->currentIndex().row(), window.data().QStaff.recNo());
        prompts->messageAnswers = {MessageResult::Ok};
        window.bDelete->click();
        QCOMPARE(folder.db().strings(QStringLiteral("select staffno from stafftbl where name = 'Zed'")),
                 QStringList{QStringLiteral("Z-2")});
        // The Find window follows at once, and Print Found says why it
        // cannot be used.
        QCOMPARE(column(*find, 1), QStringList());
        QVERIFY(!find->bPrintFound->isEnabled());
        QVERIFY(!find->bPrintFound->toolTip().isEmpty());

        // Double-click on a hit, then Save.
        type(*find, QStringLiteral("zora"));
        QTRY_COMPARE(column(*find, 2), QStringList{QStringLiteral("Zora")});
        QTreeWidget *list = find->lvFound;
        const QPoint at = list->visualItemRect(list->topLevelItem(0)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(window.eName->text(), QStringLiteral("Zora"));
        QCOMPARE(window.eStaffNo->text(), QStringLiteral("Z-3"));
        // Save keeps the row of that name: it asks to overwrite it.
        window.ePost->setText(QStringLiteral("Chief"));
        prompts->messageAnswers = {MessageResult::Ok};
        window.bSave->click();
        QCOMPARE(folder.db().value(QStringLiteral("select post from stafftbl where seq = ?"), {zora}).toString(),
                 QStringLiteral("Chief"));
        QCOMPARE(folder.db().count(QStringLiteral("stafftbl")), 4);
    }

    void keyboardChoosesAndCloses()
    {
        ProgramFolder folder;
        const int works = folder.addGroup(QStringLiteral("Works"));
        folder.addMember(member("Amy", 0));
        folder.addMember(member("Kim", works));
        folder.addMember(member("Kit", works));
        ScopedScriptedPrompts prompts;
        Tdsrc data;
        TVaraDavuz window(data, folder.path());
        TFmFind *find = openFind(window);
        // Down goes from the box into the list, on the first hit.
        type(*find, QStringLiteral("ki"));
        QTRY_COMPARE(column(*find, 2), (QStringList{QStringLiteral("Kim"), QStringLiteral("Kit")}));
        find->eFind->setFocus();
        QTest::keyClick(find->eFind, Qt::Key_Down);
        QCOMPARE(find->focusWidget(), find->lvFound);
        QCOMPARE(find->lvFound->currentIndex().row(), 0);
        // Enter in the box chooses the first hit, even before the list
        // followed the typing; the member list then has the keyboard.
        type(*find, QStringLiteral("kit"));
        QTest::keyClick(find->eFind, Qt::Key_Return);
        QCOMPARE(window.lstGroup->currentText(), QStringLiteral("Works"));
        QCOMPARE(window.eName->text(), QStringLiteral("Kit"));
        QCOMPARE(window.focusWidget(), window.dbgInfo);
        QCOMPARE(window.dbgInfo->currentIndex().row(), window.data().QStaff.recNo());
        // A save in the main window is listed at once.
        type(*find, QStringLiteral("k"));
        QTRY_COMPARE(find->lvFound->topLevelItemCount(), 2);
        window.ClearDetails();
        window.eName->setText(QStringLiteral("Kai"));
        window.bSave->click();
        QCOMPARE(column(*find, 2), (QStringList{QStringLiteral("Kai"), QStringLiteral("Kim"), QStringLiteral("Kit")}));
        QTest::keyClick(find, Qt::Key_Escape);
        QVERIFY(!find->isVisible());
    }

    void expiringWindows()
    {
        ProgramFolder folder;
        const QDate today(2025, 12, 31);
        const auto day = [&](int d) { return today.addDays(d).toString(QStringLiteral("yyyy-MM-dd 00:00:00")); };
        folder.addMember(member("In 31", 0, "", "", 0, day(31)));
        folder.addMember(member("In 30", 0, "", "", 0, day(30)));
        folder.addMember(member("Today", 0, "", "", 0, day(0)));
        folder.addMember(member("Yesterday", 0, "", "", 0, day(-1)));
        folder.addMember(member("In 90", 0, "", "", 0, day(90)));
        folder.addMember(member("In 91", 0, "", "", 0, day(91)));
        ScopedScriptedPrompts prompts;
        Tdsrc data;
        TVaraDavuz window(data, folder.path());
        TFmFind *find = openFind(window);
        find->today = today;
        const std::pair<const char *, QStringList> windows[] = {
            {"30 days", {QStringLiteral("Today"), QStringLiteral("In 30")}},
            {"60 days", {QStringLiteral("Today"), QStringLiteral("In 30"), QStringLiteral("In 31")}},
            {"90 days", {QStringLiteral("Today"), QStringLiteral("In 30"), QStringLiteral("In 31"), QStringLiteral("In 90")}},
            {"Expired", {QStringLiteral("Yesterday")}},
        };
        for (const auto &[caption, names] : windows) {
            chooseExpiring(*find, QString::fromLatin1(caption));
            QCOMPARE(column(*find, 2), names);
            QCOMPARE(find->lCount->text(), foundCount(names.size()));
        }
        // Each card's expiry, in the cards' date form.
        QCOMPARE(find->lvFound->headerItem()->text(5), QStringLiteral("Expiry Date"));
        QCOMPARE(column(*find, 5), QStringList{cardDateText(today.addDays(-1))});
        // Typing returns to the text search.
        typeOn(*find, QStringLiteral("in 9"));
        QCOMPARE(find->cbExpiring->currentIndex(), 0);
        QTRY_COMPARE(column(*find, 2), (QStringList{QStringLiteral("In 90"), QStringLiteral("In 91")}));
    }

    void printFoundPrintsTheListedMembers()
    {
        ProgramFolder folder;
        const int works = folder.addGroup(QStringLiteral("Works"));
        folder.addMember(member("Kim One", 0));
        folder.addMember(member("Lee", works));
        folder.addMember(member("Kim Two", works));
        folder.addMember(member("Kim Three", 0));
        ScopedScriptedPrompts prompts;
        Tdsrc data;
        TVaraDavuz window(data, folder.path());
        auto output = std::make_unique<NamesOutput>();
        NamesOutput &printed = *output;
        window.cardOutput = std::move(output);
        TFmFind *find = openFind(window);
        type(*find, QStringLiteral("kim"));
        QTRY_COMPARE(find->lvFound->topLevelItemCount(), 3);

        prompts->messageAnswers = {MessageResult::Cancel};
        find->bPrintFound->click();
        QVERIFY(printed.runs.empty());
        prompts->messageAnswers = {MessageResult::Ok};
        find->bPrintFound->click();
        QCOMPARE(prompts->messages(), (QStringList{QStringLiteral("Print the cards of the 3 members listed?"),
                                                   QStringLiteral("Print the cards of the 3 members listed?")}));
        QCOMPARE(printed.runs.size(), size_t(1));
        QCOMPARE(printed.runs[0], column(*find, 2)); // the listed members, in the listed order
    }
};

QTEST_MAIN(TestFind)
#include "tst_find.moc"
