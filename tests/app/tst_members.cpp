// Member editing in the main window: "Save" as new member and as overwrite
// (in the listed group, in another group, of a member whose group is gone),
// the refusals and failures of "Save", "Delete", "Delete All" and sorting by
// a column title.

#include "appfixture.h"

#include "photoui/imagecontrol.h"

#include <QDateEdit>
#include <QDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

using namespace apptest;
using tessary::MessageResult;
using tessary::ScopedScriptedPrompts;
using tessary::Tdsrc;

namespace {

void typeMember(TVaraDavuz &window, const QString &name, const QString &post = QString())
{
    window.eStaffNo->setText(QStringLiteral("A-7"));
    window.eName->setText(name);
    window.eCname->setText(QStringLiteral("諾拉"));
    window.ePost->setText(post.isNull() ? QStringLiteral("Clerk") : post);
    window.dpJoin->setDate(QDate(2024, 3, 5));
    window.dpExpiry->setDate(QDate(2026, 12, 31));
    window.eRemark->setText(QStringLiteral("new"));
}

bool paneIsClear(const TVaraDavuz &window)
{
    return window.eStaffNo->text().isEmpty() && window.eName->text().isEmpty() && window.eCname->text().isEmpty() &&
           window.ePost->text().isEmpty() && window.eRemark->text().isEmpty() &&
           window.dpJoin->date() == QDate::currentDate() && window.dpExpiry->date() == QDate::currentDate();
}

QString currentName(TVaraDavuz &window)
{
    return window.data().QStaff.fieldByName(QStringLiteral("name")).asString();
}

void clickHeader(TVaraDavuz &window, int section)
{
    QHeaderView *header = window.dbgInfo->horizontalHeader();
    const int x = header->sectionViewportPosition(section) + header->sectionSize(section) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
}

} // namespace

class TestMembers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { useTemporarySettings(); }
    void init() { clearSettings(); }

    void saveAppendsNewMemberToListedGroup();
    void saveOverwritesMemberOfAnotherGroup();
    void cancelledOverwriteChangesNothing();
    void memberOfMissingGroupGetsSecondRowInListedGroup();
    void saveFromPaneResetsCardNumberAndKeepsPhoto();
    void emptyNameIsRefused();
    void failedStoreKeepsTypedValues();
    void deleteAsksAndMovesToNextMember();
    void deleteWithEmptyListAsksNothing();
    void deleteAllRemovesListedGroupOnly();
    void photoCommandsReachTheSavedRecord();
    void failedDeleteAllIsReportedAndCleansUp();
    void sortByTitleStoresOrderAndKeepsMember();
    void sortOnEmptyGridClearsPane();
};

void TestMembers::saveAppendsNewMemberToListedGroup()
{
    ProgramFolder folder;
    const int staff = folder.addGroup(QStringLiteral("Staff"));
    folder.addMember(QStringLiteral("Zoe"), staff);
    folder.addMember(QStringLiteral("Other"), 0);
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    chooseGroup(window, QStringLiteral("Staff"));
    QCOMPARE(window.CurrentGroupId, staff);

    window.bClear->click();
    typeMember(window, QStringLiteral("Nora"));
    window.bSave->click();
    QVERIFY2(prompts->asked.empty(), qPrintable(prompts->messages().join(QLatin1Char('|'))));

    const QList<QVariantList> rows = folder.db().rows(
        QStringLiteral("select gid, cardno, cname, staffno, post, datejoin, expiry, remark, photo from stafftbl "
                       "where name = 'Nora'"));
    QCOMPARE(rows.size(), 1);
    const QVariantList &r = rows.first();
    QCOMPARE(r.at(0).toInt(), staff);
    QCOMPARE(r.at(1).toInt(), 0);
    QCOMPARE(r.at(2).toString(), QStringLiteral("諾拉"));
    QCOMPARE(r.at(3).toString(), QStringLiteral("A-7"));
    QCOMPARE(r.at(4).toString(), QStringLiteral("Clerk"));
    QCOMPARE(r.at(5).toString(), QStringLiteral("2024-03-05 00:00:00"));
    QCOMPARE(r.at(6).toString(), QStringLiteral("2026-12-31 00:00:00"));
    QCOMPARE(r.at(7).toString(), QStringLiteral("new"));
    // No photo was loaded: the blank picture of the pane is stored.
    const QByteArray photo = r.at(8).toByteArray();
    QVERIFY(photo.startsWith("\xFF\xD8"));
    const QImage stored = tessary::LoadPictureFromBlob(photo);
    QCOMPARE(stored.size(), QSize(120, 160));
    QVERIFY(allWhite(stored));

    // The new member stands last and is current; the pane is empty.
    QCOMPARE(listedNames(window), (QStringList{QStringLiteral("Zoe"), QStringLiteral("Nora")}));
    QCOMPARE(window.data().QStaff.recNo(), 1);
    QCOMPARE(window.dbgInfo->currentIndex().row(), 1);
    QCOMPARE(currentName(window), QStringLiteral("Nora"));
    QVERIFY(paneIsClear(window));
    QCOMPARE(window.statusText(0), QStringLiteral("Total Staffs=3"));
    QCOMPARE(window.statusText(2), QStringLiteral("Group Members=2"));
}

void TestMembers::saveOverwritesMemberOfAnotherGroup()
{
    ProgramFolder folder;
    const int alpha = folder.addGroup(QStringLiteral("Alpha"));
    const int beta = folder.addGroup(QStringLiteral("Beta"));
    folder.addMember(QStringLiteral("Ann"), alpha);
    folder.addMember(QStringLiteral("Abe"), beta);
    Member kim;
    kim.name = QStringLiteral("Kim");
    kim.gid = beta;
    kim.cardno = 77;
    kim.post = QStringLiteral("old");
    folder.addMember(kim);
    ScopedScriptedPrompts prompts;
    prompts->messageAnswers.push_back(MessageResult::Ok);
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    QCOMPARE(window.lstGroup->currentText(), QStringLiteral("Alpha"));

    typeMember(window, QStringLiteral("Kim"), QStringLiteral("new"));
    window.bSave->click();
    QCOMPARE(prompts->asked.size(), size_t(1));
    QCOMPARE(prompts->asked.front().title, QStringLiteral("Confirm"));
    QCOMPARE(prompts->asked.front().text, QStringLiteral("Overwrite the record?"));
    QVERIFY(prompts->asked.front().withCancel);

    const QList<QVariantList> rows =
        folder.db().rows(QStringLiteral("select gid, cardno, post from stafftbl where name = 'Kim'"));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().at(0).toInt(), beta);
    QCOMPARE(rows.first().at(1).toInt(), 0);
    QCOMPARE(rows.first().at(2).toString(), QStringLiteral("new"));
    QCOMPARE(folder.db().count(QStringLiteral("stafftbl")), 3);

    // The other group is listed now, with the saved member current.
    QCOMPARE(window.lstGroup->currentText(), QStringLiteral("Beta"));
    QCOMPARE(window.CurrentGroupId, beta);
    QCOMPARE(listedNames(window), (QStringList{QStringLiteral("Abe"), QStringLiteral("Kim")}));
    QCOMPARE(currentName(window), QStringLiteral("Kim"));
    QCOMPARE(window.dbgInfo->currentIndex().row(), 1);
    QVERIFY(paneIsClear(window));
}

void TestMembers::cancelledOverwriteChangesNothing()
{
    ProgramFolder folder;
    const int alpha = folder.addGroup(QStringLiteral("Alpha"));
    const int beta = folder.addGroup(QStringLiteral("Beta"));
    folder.addMember(QStringLiteral("Ann"), alpha);
    Member kim;
    kim.name = QStringLiteral("Kim");
    kim.gid = beta;
    kim.cardno = 77;
    kim.post = QStringLiteral("old");
    folder.addMember(kim);
    ScopedScriptedPrompts prompts;
    prompts->messageAnswers.push_back(MessageResult::Cancel);
    Tdsrc data;
    TVaraDavuz window(data, folder.path());

    typeMember(window, QStringLiteral("Kim"), QStringLiteral("new"));
    window.bSave->click();
    QCOMPARE(prompts->messages(), QStringList{QStringLiteral("Overwrite the record?")});
    QCOMPARE(folder.db().rows(QStringLiteral("select gid, cardno, post from stafftbl where name = 'Kim'")),
             (QList<QVariantList>{{qlonglong(beta), qlonglong(77), QStringLiteral("old")}}));
    QCOMPARE(window.lstGroup->currentText(), QStringLiteral("Alpha"));
    QCOMPARE(window.CurrentGroupId, alpha);
    QCOMPARE(window.eName->text(), QStringLiteral("Kim"));
    QCOMPARE(window.ePost->text(), QStringLiteral("new"));
    QCOMPARE(window.dpJoin->date(), QDate(2024, 3, 5));
}

void TestMembers::memberOfMissingGroupGetsSecondRowInListedGroup()
{
    ProgramFolder folder;
    const int alpha = folder.addGroup(QStringLiteral("Alpha"));
    folder.addMember(QStringLiteral("Ann"), alpha);
    Member ghost;
    ghost.name = QStringLiteral("Ghost");
    ghost.gid = 9;
    ghost.cardno = 5;
    folder.addMember(ghost);
    ScopedScriptedPrompts prompts;
    prompts->messageAnswers.push_back(MessageResult::Ok);
    Tdsrc data;
    TVaraDavuz window(data, folder.path());

    typeMember(window, QStringLiteral("Ghost"));
    window.bSave->click();
    QCOMPARE(prompts->messages(), QStringList{QStringLiteral("Overwrite the record?")});
    QCOMPARE(folder.db().rows(QStringLiteral("select gid, cardno from stafftbl where name = 'Ghost' order by seq")),
             (QList<QVariantList>{{qlonglong(9), qlonglong(5)}, {qlonglong(alpha), qlonglong(0)}}));
    QCOMPARE(window.lstGroup->currentText(), QStringLiteral("Alpha"));
    QCOMPARE(window.CurrentGroupId, alpha);
    QCOMPARE(listedNames(window), (QStringList{QStringLiteral("Ann"), QStringLiteral("Ghost")}));
    QCOMPARE(window.statusText(0), QStringLiteral("Total Staffs=3"));
}

void TestMembers::saveFromPaneResetsCardNumberAndKeepsPhoto()
{
    ProgramFolder folder;
    Member m;
    m.name = QStringLiteral("Lee");
    m.cardno = 1234;
    m.datejoin = QStringLiteral("2020-01-02 00:00:00");
    m.photo = jpegOf(300, 400);
    const qint64 seq = folder.addMember(m);
    ScopedScriptedPrompts prompts;
    prompts->messageAnswers.push_back(MessageResult::Ok);
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    QCOMPARE(window.eName->text(), QStringLiteral("Lee"));

    window.bSave->click();
    QCOMPARE(prompts->messages(), QStringList{QStringLiteral("Overwrite the record?")});
    const QList<QVariantList> rows =
        folder.db().rows(QStringLiteral("select seq, cardno, datejoin, photo from stafftbl"));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().at(0).toLongLong(), seq);
    QCOMPARE(rows.first().at(1).toInt(), 0);
    QCOMPARE(rows.first().at(2).toString(), QStringLiteral("2020-01-02 00:00:00"));
    QCOMPARE(storedSize(rows.first().at(3).toByteArray()), QSize(300, 400));
    QCOMPARE(currentName(window), QStringLiteral("Lee"));
}

void TestMembers::emptyNameIsRefused()
{
    ProgramFolder folder;
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    typeMember(window, QString(QLatin1String("")));
    window.bSave->click();
    QCOMPARE(prompts->asked.size(), size_t(1));
    QCOMPARE(prompts->asked.front().kind, tessary::MessageKind::Error);
    QCOMPARE(prompts->asked.front().title, QStringLiteral("Error"));
    QCOMPARE(prompts->asked.front().text, QStringLiteral("Name field cannot be empty."));
    QCOMPARE(folder.db().count(QStringLiteral("stafftbl")), 0);
    QCOMPARE(window.eStaffNo->text(), QStringLiteral("A-7"));
}

void TestMembers::failedStoreKeepsTypedValues()
{
    ProgramFolder folder;
    folder.addMember(QStringLiteral("Amy"), 0);
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());

    // Longer than the name column takes: the row cannot be posted.
    const QString tooLong(300, QLatin1Char('x'));
    typeMember(window, tooLong);
    window.bSave->click();
    QCOMPARE(prompts->asked.size(), size_t(1));
    QCOMPARE(prompts->asked.front().title, QStringLiteral("Error"));
    QCOMPARE(prompts->asked.front().text, QStringLiteral("Unable to post the data."));
    QCOMPARE(folder.db().count(QStringLiteral("stafftbl")), 1);
    QCOMPARE(window.eName->text(), tooLong);
    QCOMPARE(window.eStaffNo->text(), QStringLiteral("A-7"));
    QCOMPARE(window.ePost->text(), QStringLiteral("Clerk"));
    QCOMPARE(window.dpJoin->date(), QDate(2024, 3, 5));
    QCOMPARE(window.dpExpiry->date(), QDate(2026, 12, 31));
    QCOMPARE(listedNames(window), QStringList{QStringLiteral("Amy")});
    QCOMPARE(window.data().QStaff.state(), tessary::Query::State::Browse);
    QCOMPARE(window.statusText(2), QStringLiteral("Group Members=1"));

    // Corrected, the same pane saves.
    window.eName->setText(QStringLiteral("Nora"));
    window.bSave->click();
    QCOMPARE(prompts->asked.size(), size_t(1));
    QCOMPARE(folder.db().strings(QStringLiteral("select post from stafftbl where name = 'Nora'")),
             QStringList{QStringLiteral("Clerk")});
    QVERIFY(paneIsClear(window));
}

void TestMembers::deleteAsksAndMovesToNextMember()
{
    ProgramFolder folder;
    for (const char *name : {"Ada", "Ben", "Cid"})
        folder.addMember(QString::fromLatin1(name), 0);
    ScopedScriptedPrompts prompts;
    prompts->messageAnswers = {MessageResult::Cancel, MessageResult::Ok, MessageResult::Ok};
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    window.data().QStaff.setRecNo(1);
    window.ShowCurrentMember();

    window.bDelete->click();
    QCOMPARE(prompts->messages(), QStringList{QStringLiteral("Delete the record?")});
    QCOMPARE(folder.db().count(QStringLiteral("stafftbl")), 3);
    QCOMPARE(currentName(window), QStringLiteral("Ben"));

    window.bDelete->click();
    QCOMPARE(folder.db().strings(QStringLiteral("select name from stafftbl order by name")),
             (QStringList{QStringLiteral("Ada"), QStringLiteral("Cid")}));
    QCOMPARE(listedNames(window), (QStringList{QStringLiteral("Ada"), QStringLiteral("Cid")}));
    QCOMPARE(window.data().QStaff.recNo(), 1);
    QCOMPARE(window.dbgInfo->currentIndex().row(), 1);
    QCOMPARE(window.eName->text(), QStringLiteral("Cid"));
    QCOMPARE(window.statusText(0), QStringLiteral("Total Staffs=2"));
    QCOMPARE(window.statusText(2), QStringLiteral("Group Members=2"));

    // Deleting the last row makes the new last one current.
    window.bDelete->click();
    QCOMPARE(listedNames(window), QStringList{QStringLiteral("Ada")});
    QCOMPARE(window.eName->text(), QStringLiteral("Ada"));
    QCOMPARE(prompts->asked.size(), size_t(3));
}

void TestMembers::deleteWithEmptyListAsksNothing()
{
    ProgramFolder folder;
    const int alpha = folder.addGroup(QStringLiteral("Alpha"));
    folder.addMember(QStringLiteral("Dee"), 0);
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    QCOMPARE(window.CurrentGroupId, alpha);
    QCOMPARE(window.statusText(0), QStringLiteral("Total Staffs=1"));

    // A member added behind the window's back shows in the refreshed counts.
    folder.addMember(QStringLiteral("Eve"), 0);
    window.bDelete->click();
    window.bDelAll->click();
    QVERIFY2(prompts->asked.empty(), qPrintable(prompts->messages().join(QLatin1Char('|'))));
    QCOMPARE(window.statusText(0), QStringLiteral("Total Staffs=2"));
    QCOMPARE(window.statusText(2), QStringLiteral("Group Members=0"));
    QCOMPARE(folder.db().count(QStringLiteral("stafftbl")), 2);
}

void TestMembers::deleteAllRemovesListedGroupOnly()
{
    ProgramFolder folder;
    const int alpha = folder.addGroup(QStringLiteral("Alpha"));
    for (const char *name : {"Ada", "Ben", "Cid"})
        folder.addMember(QString::fromLatin1(name), alpha);
    folder.addMember(QStringLiteral("Dee"), 0);
    ScopedScriptedPrompts prompts;
    prompts->messageAnswers = {MessageResult::Cancel, MessageResult::Ok};
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    QCOMPARE(window.statusText(2), QStringLiteral("Group Members=3"));

    window.bDelAll->click();
    QCOMPARE(folder.db().count(QStringLiteral("stafftbl")), 4);
    QCOMPARE(window.statusText(2), QStringLiteral("Group Members=3"));

    window.bDelAll->click();
    QCOMPARE(prompts->messages(), (QStringList{QStringLiteral("Delete the record?"), QStringLiteral("Delete the record?")}));
    QCOMPARE(folder.db().strings(QStringLiteral("select name from stafftbl")), QStringList{QStringLiteral("Dee")});
    QCOMPARE(groupEntries(window), (QStringList{QStringLiteral("Alpha"), QStringLiteral("DEFAULT")}));
    QCOMPARE(window.lstGroup->currentText(), QStringLiteral("Alpha"));
    QCOMPARE(window.dbgInfo->model()->rowCount(), 0);
    QVERIFY(paneIsClear(window));
    QCOMPARE(window.statusText(0), QStringLiteral("Total Staffs=1"));
    QCOMPARE(window.statusText(2), QStringLiteral("Group Members=0"));
    // The progress window is gone.
    QVERIFY(window.findChildren<QDialog *>().isEmpty());
}

void TestMembers::photoCommandsReachTheSavedRecord()
{
    ProgramFolder folder;
    QImage picture(200, 300, QImage::Format_RGB888);
    picture.fill(QColor(10, 120, 200));
    const QString file = folder.path() + QStringLiteral("/face.bmp");
    QVERIFY(picture.save(file, "BMP"));
    ScopedScriptedPrompts prompts;
    prompts->fileAnswers = {file, QString()};
    prompts->messageAnswers = {MessageResult::Ok};
    Tdsrc data;
    TVaraDavuz window(data, folder.path());

    window.eName->setText(QStringLiteral("Pia"));
    window.bPhoto->click();
    QCOMPARE(window.imgPhoto->picture().size(), QSize(200, 300));
    QCOMPARE(window.imgPhoto->hint(), QStringLiteral("200 x 300"));
    window.bRotate->click();
    QCOMPARE(window.imgPhoto->picture().size(), QSize(300, 200));
    // A cancelled file dialog keeps the picture.
    window.bPhoto->click();
    QCOMPARE(window.imgPhoto->picture().size(), QSize(300, 200));
    window.bSave->click();
    QCOMPARE(prompts->messages(), QStringList());
    QCOMPARE(storedSize(folder.db().value(QStringLiteral("select photo from stafftbl where name = 'Pia'")).toByteArray()),
             QSize(300, 200));

    // Shown again, cleared and saved: the cleared picture is stored.
    window.ShowCurrentMember();
    QCOMPARE(window.imgPhoto->picture().size(), QSize(300, 200));
    window.bpClear->click();
    QVERIFY(allWhite(window.imgPhoto->picture()));
    window.bSave->click();
    QCOMPARE(prompts->messages(), QStringList{QStringLiteral("Overwrite the record?")});
    const QImage stored = tessary::LoadPictureFromBlob(
        folder.db().value(QStringLiteral("select photo from stafftbl where name = 'Pia'")).toByteArray());
    QCOMPARE(stored.size(), QSize(100, 100));
    QVERIFY(allWhite(stored));
    QCOMPARE(folder.db().count(QStringLiteral("stafftbl")), 1);
}

void TestMembers::failedDeleteAllIsReportedAndCleansUp()
{
    ProgramFolder folder;
    for (const char *name : {"Ada", "Ben", "Cid"})
        folder.addMember(QString::fromLatin1(name), 0);
    folder.db().refuse(QStringLiteral("keep"), QStringLiteral("delete"), QStringLiteral("stafftbl"),
                       QStringLiteral("old.name = 'Ben'"), QStringLiteral("Ben stays"));
    ScopedScriptedPrompts prompts;
    prompts->messageAnswers = {MessageResult::Ok};
    Tdsrc data;
    TVaraDavuz window(data, folder.path());

    window.bDelAll->click();
    const QStringList reports = messagesTitled(*prompts, QStringLiteral("Tessary"));
    QCOMPARE(reports.size(), 1);
    QVERIFY2(reports.first().contains(QStringLiteral("Ben stays")), qPrintable(reports.first()));
    // The file keeps Ada deleted; a server deletes all or none, so every
    // member stays.
    const QStringList left = folder.db().onServer()
                                 ? QStringList{QStringLiteral("Ada"), QStringLiteral("Ben"), QStringLiteral("Cid")}
                                 : QStringList{QStringLiteral("Ben"), QStringLiteral("Cid")};
    QCOMPARE(folder.db().strings(QStringLiteral("select name from stafftbl order by name")), left);
    QVERIFY(window.findChildren<QDialog *>().isEmpty());
    QCOMPARE(listedNames(window), left);
    QCOMPARE(window.eName->text(), left.first());
    QCOMPARE(window.statusText(2), QStringLiteral("Group Members=%1").arg(left.size()));
}

void TestMembers::sortByTitleStoresOrderAndKeepsMember()
{
    ProgramFolder folder;
    folder.addMembers({{"Zoe", "001", "b"}, {"Adam", "003", "c"}, {"Max", "002", "a"}});
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(listedNames(window), (QStringList{QStringLiteral("Adam"), QStringLiteral("Max"), QStringLiteral("Zoe")}));
    window.data().QStaff.setRecNo(1);
    window.ShowCurrentMember();

    clickHeader(window, 0); // "ID"
    QCOMPARE(setting(QStringLiteral("SortField")), QStringLiteral("staffno,name"));
    QCOMPARE(window.SortOrder, QStringLiteral("staffno,name"));
    QCOMPARE(listedNames(window), (QStringList{QStringLiteral("Zoe"), QStringLiteral("Max"), QStringLiteral("Adam")}));
    QCOMPARE(currentName(window), QStringLiteral("Max"));
    QCOMPARE(window.dbgInfo->currentIndex().row(), 1);
    QCOMPARE(window.eName->text(), QStringLiteral("Max"));

    clickHeader(window, 1); // "Name"
    QCOMPARE(setting(QStringLiteral("SortField")), QStringLiteral("name,name"));
    QCOMPARE(listedNames(window), (QStringList{QStringLiteral("Adam"), QStringLiteral("Max"), QStringLiteral("Zoe")}));
    QCOMPARE(currentName(window), QStringLiteral("Max"));

    window.data().QStaff.setRecNo(0);
    clickHeader(window, 2); // "CName"
    QCOMPARE(setting(QStringLiteral("SortField")), QStringLiteral("cname,name"));
    QCOMPARE(listedNames(window), (QStringList{QStringLiteral("Max"), QStringLiteral("Zoe"), QStringLiteral("Adam")}));
    QCOMPARE(currentName(window), QStringLiteral("Adam"));
    QCOMPARE(window.dbgInfo->currentIndex().row(), 2);
    QCOMPARE(window.eName->text(), QStringLiteral("Adam"));
    QVERIFY(prompts->asked.empty());

    // The next start lists in the stored order.
    Tdsrc data2;
    TVaraDavuz again(data2, folder.path());
    QCOMPARE(again.SortOrder, QStringLiteral("cname,name"));
    QCOMPARE(listedNames(again), (QStringList{QStringLiteral("Max"), QStringLiteral("Zoe"), QStringLiteral("Adam")}));
}

void TestMembers::sortOnEmptyGridClearsPane()
{
    ProgramFolder folder;
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    typeMember(window, QStringLiteral("Typed"));
    clickHeader(window, 0);
    QCOMPARE(setting(QStringLiteral("SortField")), QStringLiteral("staffno,name"));
    QCOMPARE(window.dbgInfo->model()->rowCount(), 0);
    QVERIFY(paneIsClear(window));
    QVERIFY(prompts->asked.empty());
}

QTEST_MAIN(TestMembers)
#include "tst_members.moc"
