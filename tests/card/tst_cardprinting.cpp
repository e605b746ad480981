// The card printing commands: the statements they give QList, the members
// they print, the confirmation of "Print All", what stays open afterwards,
// the hidden layout object, failures, and the layout dialog's sample.

#include "cardfixture.h"

#include "card/cardprinting.h"
#include "data/errors.h"

#include <QApplication>

using namespace tessary;
using namespace cardtest;

namespace {

int layoutObjectsAlive()
{
    int n = 0;
    for (QWidget *w : QApplication::allWidgets())
        if (qobject_cast<TFmLayout *>(w))
            ++n;
    return n;
}

int cardsIn(const Run &r)
{
    int n = 0;
    for (const LayoutPage &p : r.layout.pages)
        n += int(p.bands.size());
    return n;
}

QStringList namesIn(const Run &r)
{
    QStringList names;
    for (const PageItems &items : r.pages)
        for (const NamedItem &i : items)
            if (i.name == QStringLiteral("TntQRDBText2")) // row 2 shows the name
                names << i.item.text;
    return names;
}

void listGroup(testing::CardDb &db, int gid)
{
    db.ds->QStaff.setSql(memberListSql(gid, QStringLiteral("name")));
    db.ds->QStaff.open();
}

} // namespace

class TestCardPrinting : public QObject
{
    Q_OBJECT

private slots:
    void statements()
    {
        const QStringList head{QStringLiteral("select * from stafftbl"), QStringLiteral("left join grptbl"),
                               QStringLiteral("on stafftbl.gid=grptbl.gid")};
        const QStringList one = head + QStringList{QStringLiteral("where stafftbl.seq=42")};
        QCOMPARE(memberCardSql(42), one);
        QCOMPARE(memberCardSql(std::nullopt).last(), QStringLiteral("where stafftbl.seq is null"));
        const QStringList group = head + QStringList{QStringLiteral("where stafftbl.gid=-12")};
        QCOMPARE(groupCardsSql(-12), group);
        QCOMPARE(previewSampleSql(0).first(), QStringLiteral("select top 2 * from stafftbl"));
        QCOMPARE(previewSampleSql(3).first(), QStringLiteral("select top 10 * from stafftbl"));
        QCOMPARE(previewSampleSql(-1).mid(1), head.mid(1));
    }

    // The current member is chosen by its key: members sharing a name (in
    // any letter case, in any group) each get one card, and only their own.
    void printAndPreviewTheCurrentMemberOnly_data()
    {
        QTest::addColumn<bool>("preview");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("gid");
        QTest::newRow("print, DEFAULT's Ann Lee") << false << QStringLiteral("Ann Lee") << 0;
        QTest::newRow("print, Sales' ann lee") << false << QStringLiteral("ann lee") << 5;
        QTest::newRow("preview, DEFAULT's Ann Lee") << true << QStringLiteral("Ann Lee") << 0;
        QTest::newRow("preview, Sales' ann lee") << true << QStringLiteral("ann lee") << 5;
        QTest::newRow("print, a double quote") << false << QStringLiteral("Jo \"JJ\" Ng") << 0;
        QTest::newRow("print, quote and underscore") << false << QStringLiteral("\"_\"") << 0;
    }

    void printAndPreviewTheCurrentMemberOnly()
    {
        QFETCH(bool, preview);
        QFETCH(QString, name);
        QFETCH(int, gid);
        testing::CardDb db;
        db.addGroup(QStringLiteral("Sales"), 5);
        addMember(db, {.name = QStringLiteral("Ann Lee"), .gid = 0});
        addMember(db, {.name = QStringLiteral("ann lee"), .gid = 5});
        addMember(db, {.name = QStringLiteral("Ann Lee"), .gid = 5});
        addMember(db, {.name = QStringLiteral("Jo \"JJ\" Ng"), .gid = 0});
        addMember(db, {.name = QStringLiteral("\"_\""), .gid = 0});
        addMember(db, {.name = QStringLiteral("_"), .gid = 0});
        listGroup(db, gid);
        QVERIFY(db.ds->QStaff.locate(QStringLiteral("name"), name));
        QCOMPARE(db.ds->QStaff.fieldByName(QStringLiteral("name")).text(), name);

        ScopedScriptedPrompts p;
        RecordingOutput out;
        CardPrinting cmd(*db.ds, out);
        preview ? cmd.Preview() : cmd.Print();
        QCOMPARE(out.runs.size(), size_t(1));
        QCOMPARE(out.runs[0].preview, preview);
        QCOMPARE(cardsIn(out.runs[0]), 1);
        QCOMPARE(namesIn(out.runs[0]), QStringList{name});
        QVERIFY(!db.ds->QList.isOpen());
        QCOMPARE(layoutObjectsAlive(), 0);
        QVERIFY(p->asked.empty());
    }

    void emptyListPrintsOneBlankSheet()
    {
        testing::CardDb db;
        addMember(db, {.name = QStringLiteral("Elsewhere"), .gid = 3});
        listGroup(db, 0);
        ScopedScriptedPrompts p;
        RecordingOutput out;
        CardPrinting(*db.ds, out).Print();
        QCOMPARE(db.ds->QList.sql().last(), QStringLiteral("where stafftbl.seq is null"));
        QCOMPARE(out.runs[0].layout.pageCount(), 1);
        QCOMPARE(cardsIn(out.runs[0]), 0);
    }

    void printAllAsksFirst()
    {
        testing::CardDb db;
        db.addGroup(QStringLiteral("Big"), 7);
        addMembers(db, 23, 7);
        addMember(db, {.name = QStringLiteral("Not in it"), .gid = 0});
        setParam(db, {{"psize", 1}});
        ScopedScriptedPrompts p;
        RecordingOutput out;
        CardPrinting cmd(*db.ds, out);
        const QStringList before = db.ds->QList.sql();

        p->messageAnswers = {MessageResult::Cancel};
        cmd.PrintAll(7);
        QCOMPARE(p->messages(), QStringList{QStringLiteral("Are you sure to print all cards now?")});
        QVERIFY(p->asked[0].yesNo);
        QCOMPARE(p->asked[0].title, QStringLiteral("Confirm"));
        QVERIFY(out.runs.empty());
        QCOMPARE(db.ds->QList.sql(), before);

        p->messageAnswers = {MessageResult::Ok};
        cmd.PrintAll(7);
        QCOMPARE(out.runs.size(), size_t(1));
        const Run &r = out.runs[0];
        QCOMPARE(r.mode, CardMode::Print);
        QCOMPARE(r.layout.pageCount(), 3);
        QCOMPARE(int(r.layout.pages[2].bands.size()), 3);
        for (const PlacedBand &b : r.layout.pages[2].bands)
            QCOMPARE(b.column, 0);
        QVERIFY(!namesIn(r).contains(QStringLiteral("Not in it")));
        QVERIFY(db.ds->QList.isOpen()); // left open until its next use
        QCOMPARE(layoutObjectsAlive(), 0);
    }

    void failuresCleanUp()
    {
        testing::CardDb db;
        addMembers(db, 2);
        listGroup(db, 0);
        ScopedScriptedPrompts p;
        RecordingOutput out;
        out.failWith = [] { throw Error(QStringLiteral("Printer on fire")); };
        CardPrinting cmd(*db.ds, out);
        QVERIFY_THROWS_EXCEPTION(Error, cmd.Print());
        QVERIFY(!db.ds->QList.isOpen());
        QCOMPARE(layoutObjectsAlive(), 0);
        QVERIFY_THROWS_EXCEPTION(Error, cmd.Preview());
        QCOMPARE(layoutObjectsAlive(), 0);
        // Through the main window's guard the error is reported.
        QVERIFY(!guarded([&] { cmd.Print(); }));
        QCOMPARE(p->messages(), QStringList{QStringLiteral("Printer on fire.")});
    }

    void previewPrintsInPrintGeometry()
    {
        testing::CardDb db;
        addMembers(db, 3);
        setParam(db, {{"style", 2}, {"psize", 0}, {"osx", 10}});
        listGroup(db, 0);
        ScopedScriptedPrompts p;
        RecordingOutput out;
        CardPrinting(*db.ds, out).Preview();
        const Run &r = out.runs[0];
        QCOMPARE(r.layout.page.orientation, QPageLayout::Portrait);
        QCOMPARE(r.layout.pageSize(), QSizeF(148, 105));
        QCOMPARE(r.layout.pages[0].bands[0].origin, QPointF(14.5, 8.5));
        QVERIFY(r.printVersion);
        QCOMPARE(r.printVersion->page.orientation, QPageLayout::Landscape);
        QCOMPARE(r.printVersion->page.paper, Paper::A6);
        QCOMPARE(r.printVersion->pages[0].bands[0].origin, QPointF(13.5, 9.5));
    }

    void layoutDialogSample_data()
    {
        QTest::addColumn<int>("storedPaper");
        QTest::addColumn<int>("shownPaper");
        QTest::addColumn<int>("cards");
        QTest::newRow("stored A6, A4 shown") << 0 << 1 << 2;
        QTest::newRow("stored A4, A6 shown") << 1 << 0 << 10;
    }

    void layoutDialogSample()
    {
        QFETCH(int, storedPaper);
        QFETCH(int, shownPaper);
        QFETCH(int, cards);
        testing::CardDb db;
        addMembers(db, 12);
        setParam(db, {{"psize", storedPaper}});
        ScopedScriptedPrompts p;
        TFmLayout dialog(*db.ds);
        dialog.settings.paper = shownPaper;
        dialog.settings.style = CardStyle::Style3; // unsaved edits show
        RecordingOutput out;
        CardPrinting(*db.ds, out).PreviewSample(dialog);
        const Run &r = out.runs[0];
        QVERIFY(r.preview);
        QCOMPARE(cardsIn(r), cards);
        QCOMPARE(r.layout.pageCount(), 1);
        QCOMPARE(r.layout.pageSize(), storedPaper ? QSizeF(297, 210) : QSizeF(148, 105));
        QVERIFY(!db.ds->QList.isOpen());
    }
};

QTEST_MAIN(TestCardPrinting)
#include "tst_cardprinting.moc"
