// The check list: its set-up, the laid-out pages (column flow, order,
// page texts), the rendered photo boxes, a snapshot that survives edits
// while the list is open, and the non-modal command.

#include "../data/carddb.h"

#include "card/memlist.h"
#include "data/datetext.h"
#include "photo/picture.h"
#include "report/layout.h"
#include "report/preview.h"

#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <QtTest>

using namespace tessary;
using tessary::testing::CardDb;

namespace {

QByteArray jpegOf(int width, int height, QColor colour)
{
    QImage picture(width, height, QImage::Format_BGR888);
    picture.fill(colour);
    return SavePictureToBlob(picture);
}

// The texts of one placed band, in painting order.
QStringList bandTexts(const LayoutPage &page, int placement)
{
    QStringList texts;
    for (const LayoutItem &item : page.items)
        if (item.placement == placement && item.kind == LayoutItem::Kind::Text)
            texts << item.text;
    return texts;
}

const LayoutItem *itemOf(const std::vector<LayoutItem> &items, const QString &elementName, int placement)
{
    for (const LayoutItem &item : items)
        if (item.element && item.element->name == elementName && item.placement == placement)
            return &item;
    return nullptr;
}

bool allWhite(const QImage &picture)
{
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if ((picture.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF)
                return false;
    return true;
}

} // namespace

class TestMemList : public QObject
{
    Q_OBJECT

private slots:
    void pageSetup();
    void twentyEightMembersFlowIntoColumns();
    void orderedByGroupThenName();
    void dataTextsOfAMember();
    void emptyTableGivesOnePage();
    void photosOnRenderedPage();
    void editsWhileOpenNeverMixMembers();
    void commandIsNotModalAndEndsWithTheWindow();
};

void TestMemList::pageSetup()
{
    CardDb db;
    TqrMemList list(db.ds->src);
    QCOMPARE(list.data.statement(), QStringLiteral("select * from stafftbl\nleft join grptbl on "
                                                   "stafftbl.gid=grptbl.gid\norder by stafftbl.gid,name"));
    const PageSetup &page = list.report.page;
    QCOMPARE(page.paper, Paper::A4);
    QCOMPARE(page.orientation, QPageLayout::Portrait);
    QCOMPARE(page.columns, 3);
    QCOMPARE(page.columnGap, 3.0);
    QCOMPARE(page.title, QStringLiteral("Member List"));
    QCOMPARE(page.topMargin + page.bottomMargin + page.leftMargin + page.rightMargin, 40.0);
    QCOMPARE(list.QRSubDetail1.height, 29.24);
    QCOMPARE(list.QRSubDetail1.width, 61.25);
    QCOMPARE(list.QRSubDetail1.childGap, 1.32);
    QVERIFY(list.QRSubDetail1.frame.left && list.QRSubDetail1.frame.top && list.QRSubDetail1.frame.right
            && list.QRSubDetail1.frame.bottom);
    QCOMPARE(list.qrPhoto.box(), QRectF(0.53, 0.53, 20.90, 28.05));
}

void TestMemList::twentyEightMembersFlowIntoColumns()
{
    CardDb db;
    for (int i = 0; i < 28; ++i)
        db.addMember(QStringLiteral("M%1").arg(i, 2, 10, QLatin1Char('0')), 0);
    TqrMemList list(db.ds->src);
    list.open();
    const ReportLayout layout = layOutReport(list.report);
    QCOMPARE(layout.pageCount(), 2);
    const LayoutPage &first = layout.pages.at(0);
    QCOMPARE(int(first.bands.size()), 27);
    const double columnWidth = (210.0 - 20 - 6) / 3;
    for (int i = 0; i < 27; ++i) {
        const PlacedBand &band = first.bands.at(size_t(i));
        QCOMPARE(band.column, i / 9);
        QVERIFY(qAbs(band.origin.x() - (10 + (i / 9) * (columnWidth + 3))) <= 0.011);
        QCOMPARE(band.origin.y(), roundMm(10 + (i % 9) * (29.24 + 1.32)));
        QCOMPARE(list.members.member(band.row).texts[1], QStringLiteral("M%1").arg(i, 2, 10, QLatin1Char('0')));
    }
    const LayoutPage &second = layout.pages.at(1);
    QCOMPARE(int(second.bands.size()), 1);
    QCOMPARE(second.bands.at(0).column, 0);
    QCOMPARE(second.bands.at(0).origin, QPointF(10, 10));
    QCOMPARE(bandTexts(second, 0).value(0), QStringLiteral("M27"));
}

void TestMemList::orderedByGroupThenName()
{
    CardDb db;
    db.addGroup(QStringLiteral("Two"), 2);
    db.addGroup(QStringLiteral("One"), 1);
    db.addMember(QStringLiteral("Zed"), 2);
    db.addMember(QStringLiteral("Bea"), 0);
    db.addMember(QStringLiteral("Cal"), 1);
    db.addMember(QStringLiteral("Abe"), 2);
    db.addMember(QStringLiteral("Ann"), 1);
    db.addMember(QStringLiteral("Orphan"), 7); // no such group
    TqrMemList list(db.ds->src);
    list.open();
    QStringList order;
    for (int i = 0; i < list.members.count(); ++i)
        order << list.members.member(i).texts[3] + QLatin1Char('/') + list.members.member(i).texts[1];
    // The seeded database's group 0 is "DEFAULT" (when it has one).
    const QString zero = list.members.member(0).texts[3];
    QCOMPARE(order, (QStringList{zero + QStringLiteral("/Bea"), QStringLiteral("One/Ann"), QStringLiteral("One/Cal"),
                                 QStringLiteral("Two/Abe"), QStringLiteral("Two/Zed"), QStringLiteral("/Orphan")}));
}

void TestMemList::dataTextsOfAMember()
{
    CardDb db;
    db.addGroup(QStringLiteral("Sales"), 3);
    Query &q = db.ds->QAllStaff;
    q.open();
    q.append();
    q.fieldByName(QStringLiteral("name")).setString(QStringLiteral("Mary Major"));
    q.fieldByName(QStringLiteral("cname")).setString(QStringLiteral("瑪麗"));
    q.fieldByName(QStringLiteral("post")).setString(QStringLiteral("Clerk"));
    q.fieldByName(QStringLiteral("staffno")).setString(QStringLiteral("A-77"));
    q.fieldByName(QStringLiteral("gid")).setInteger(3);
    const QDateTime joined(QDate(2021, 3, 4), QTime(0, 0));
    q.fieldByName(QStringLiteral("datejoin")).setDateTime(joined);
    q.post();
    db.addMember(QStringLiteral("Nobody"), 3); // empty columns print nothing

    TqrMemList list(db.ds->src);
    list.open();
    const ReportLayout layout = layOutReport(list.report);
    const LayoutPage &page = layout.pages.at(0);
    const QPointF origin = page.bands.at(0).origin;
    const std::array<std::pair<const char *, QString>, 6> expected = {{
        {"qrcname", QStringLiteral("瑪麗")},
        {"qrname", QStringLiteral("Mary Major")},
        {"qrpost", QStringLiteral("Clerk")},
        {"qrgdesc", QStringLiteral("Sales")},
        {"qrstaffno", QStringLiteral("A-77")},
        {"qrdatejoin", dateTimeText(joined)},
    }};
    const std::array<double, 6> tops = {0.79, 5.29, 9.79, 14.29, 18.65, 23.15};
    for (size_t i = 0; i < expected.size(); ++i) {
        const LayoutItem *item = itemOf(page.items, QString::fromLatin1(expected[i].first), 0);
        QVERIFY2(item, expected[i].first);
        QCOMPARE(item->text, expected[i].second);
        QCOMPARE(item->box.left(), roundMm(origin.x() + 22.36));
        QCOMPARE(item->box.top(), roundMm(origin.y() + tops[i]));
        QCOMPARE(item->font.family, QStringLiteral("Arial"));
        QCOMPARE(item->font.pointSize, 8.0);
        QVERIFY(!item->font.bold && !item->font.italic);
        QVERIFY(item->transparent);
        // Sized to the text.
        QCOMPARE(item->box.width(), roundMm(measureText(item->font, item->text).width()));
    }
    QCOMPARE(bandTexts(page, 1), (QStringList{QStringLiteral("Nobody"), QStringLiteral("Sales")}));
}

void TestMemList::emptyTableGivesOnePage()
{
    CardDb db;
    TqrMemList list(db.ds->src);
    list.open();
    const ReportLayout layout = layOutReport(list.report);
    QCOMPARE(layout.pageCount(), 1);
    const LayoutPage &page = layout.pages.at(0);
    QVERIFY(page.bands.empty());
    const LayoutItem *title = itemOf(page.items, QStringLiteral("qrTitle"), -1);
    const LayoutItem *number = itemOf(page.items, QStringLiteral("qrPage"), -1);
    QVERIFY(title && number);
    QCOMPARE(title->text, QStringLiteral("Member List"));
    QCOMPARE(number->text, QStringLiteral("1"));
    QCOMPARE(title->font.pointSize, 10.0);
    QCOMPARE(number->font.family, QStringLiteral("Arial"));
    QVERIFY(qAbs(title->box.center().x() - 19.45) <= 0.011);
    QCOMPARE(title->box.top(), 3.97);
    QVERIFY(qAbs(number->box.center().x() - 197.91) <= 0.011);
    QCOMPARE(number->box.top(), 288.40);
}

void TestMemList::photosOnRenderedPage()
{
    CardDb db;
    db.addMember(QStringLiteral("A with photo"), 0, jpegOf(480, 640, QColor(200, 30, 30)));
    db.addMember(QStringLiteral("B without"), 0);
    for (int i = 0; i < 26; ++i)
        db.addMember(QStringLiteral("C%1").arg(i, 2, 10, QLatin1Char('0')), 0);
    TqrMemList list(db.ds->src);
    list.open();
    const ReportLayout layout = layOutReport(list.report);
    QCOMPARE(layout.pageCount(), 2);

    const std::vector<LayoutItem> items = reportPageItems(list.report, layout, 0);
    const LayoutItem *with = itemOf(items, QStringLiteral("qrPhoto"), 0);
    const LayoutItem *without = itemOf(items, QStringLiteral("qrPhoto"), 1);
    QVERIFY(with && without);
    QCOMPARE(with->picture.size(), QSize(120, 160));
    QCOMPARE(without->picture.size(), QSize(120, 160));
    QVERIFY(allWhite(without->picture));
    QVERIFY(qRed(with->picture.pixel(60, 80)) > 150 && qGreen(with->picture.pixel(60, 80)) < 80);
    const QPointF origin = layout.pages.at(0).bands.at(0).origin;
    QCOMPARE(with->box, QRectF(roundMm(origin.x() + 0.53), roundMm(origin.y() + 0.53), 20.90, 28.05));
    QVERIFY(with->frame.left && with->frame.top && with->frame.right && with->frame.bottom);

    // Rendered: the blank box is white inside and framed.
    const double dpm = 8;
    QImage page(qRound(210 * dpm), qRound(297 * dpm), QImage::Format_RGB32);
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        paintLayoutItems(items, painter, dpm, dpm);
    }
    const QRectF box = without->box;
    const QPoint centre = (box.center() * dpm).toPoint();
    QCOMPARE(page.pixel(centre) & 0xFFFFFF, 0xFFFFFFu);
    const int frameY = qRound(box.top() * dpm);
    bool frameDrawn = false;
    for (int dy = -2; dy <= 2; ++dy)
        frameDrawn |= qGray(page.pixel(centre.x(), frameY + dy)) < 128;
    QVERIFY(frameDrawn);
    const QPoint red = (with->box.center() * dpm).toPoint();
    QVERIFY(qRed(page.pixel(red)) > 150 && qBlue(page.pixel(red)) < 80);

    // The second page holds the last member only.
    QCOMPARE(bandTexts(layout.pages.at(1), 0).value(0), QStringLiteral("C25"));
}

void TestMemList::editsWhileOpenNeverMixMembers()
{
    CardDb db;
    db.addMember(QStringLiteral("Ann"), 0, jpegOf(48, 64, QColor(20, 200, 20)));
    db.addMember(QStringLiteral("Bob"), 0, jpegOf(48, 64, QColor(20, 20, 200)));
    db.addMember(QStringLiteral("Cat"), 0, jpegOf(48, 64, QColor(200, 20, 20)));
    TqrMemList list(db.ds->src);
    list.open();
    const ReportLayout layout = layOutReport(list.report);

    // Meanwhile: Ann is deleted, Bob renamed, Cat keeps her row.
    Query &q = db.ds->QAllStaff;
    q.setSql({QStringLiteral("select * from stafftbl"), QStringLiteral("order by name")});
    q.open();
    QVERIFY(q.locate(QStringLiteral("name"), QStringLiteral("Ann")));
    q.deleteRow();
    QVERIFY(q.locate(QStringLiteral("name"), QStringLiteral("Bob")));
    q.edit();
    q.fieldByName(QStringLiteral("name")).setString(QStringLiteral("Rob"));
    q.post();

    const std::vector<LayoutItem> items = reportPageItems(list.report, layout, 0);
    QCOMPARE(bandTexts(layout.pages.at(0), 0).value(0), QStringLiteral("Ann"));
    QCOMPARE(bandTexts(layout.pages.at(0), 1).value(0), QStringLiteral("Bob"));
    // No photo for a member who is gone or changed; the unchanged one keeps hers.
    QVERIFY(allWhite(itemOf(items, QStringLiteral("qrPhoto"), 0)->picture));
    QVERIFY(allWhite(itemOf(items, QStringLiteral("qrPhoto"), 1)->picture));
    const QImage cat = itemOf(items, QStringLiteral("qrPhoto"), 2)->picture;
    QVERIFY(qRed(cat.pixel(60, 80)) > 150);

    // A changed photo is not shown under the old texts either.
    QVERIFY(q.locate(QStringLiteral("name"), QStringLiteral("Cat")));
    q.edit();
    q.fieldByName(QStringLiteral("photo")).setBytes(jpegOf(96, 128, QColor(20, 200, 20)));
    q.post();
    const std::vector<LayoutItem> again = reportPageItems(list.report, layout, 0);
    QVERIFY(allWhite(itemOf(again, QStringLiteral("qrPhoto"), 2)->picture));
}

void TestMemList::commandIsNotModalAndEndsWithTheWindow()
{
    CardDb db;
    db.addMember(QStringLiteral("Ann"), 0);
    QWidget owner;
    owner.show();
    bool sawWindow = false;
    bool secondCallReturned = false;
    QTimer::singleShot(0, [&] {
        QVERIFY(!QApplication::activeModalWidget());
        TReportPreview *preview = owner.findChild<TReportPreview *>();
        QVERIFY(preview);
        sawWindow = preview->isVisible() && !preview->isModal();
        QCOMPARE(preview->pageCount(), 1);
        // A second command while the list is open returns at once.
        TqrMemList::ShowCheckList(db.ds->src, &owner);
        secondCallReturned = true;
        QCOMPARE(owner.findChildren<TReportPreview *>().size(), 1);
        preview->close();
    });
    TqrMemList::ShowCheckList(db.ds->src, &owner);
    QVERIFY(sawWindow);
    QVERIFY(secondCallReturned);
    QVERIFY(owner.findChildren<TReportPreview *>().isEmpty());
}

QTEST_MAIN(TestMemList)
#include "tst_memlist.moc"
