// Pagination: column flow, the fit rule at its boundary, page elements,
// hooks, auto-size, and pictures fetched again per page.

#include "../data/carddb.h"
#include "testreports.h"

#include "data/errors.h"

#include <QTest>

using namespace tessary;
using namespace tessary::testing;

class TestLayout : public QObject
{
    Q_OBJECT

private slots:
    void columnsFlowDownThenAcrossThenNewPage();
    void bandFitsExactlyAtTheBottomMargin_data();
    void bandFitsExactlyAtTheBottomMargin();
    void emptySourceGivesOnePageWithPageElements();
    void pageElementsOnEveryPage();
    void disabledElementsAndBandsAreNotLaidOut();
    void childGapAndFrameLines();
    void hooksRunPerRowInOrder();
    void autoSizeKeepsLeftEdgeOrCentre();
    void picturesAreFetchedForTheBandsRow();
    void queryRowsPrintTheirColumns();
};

// Two 88 mm columns on A4, ten 56 mm cells a sheet: the fifth band of a
// column fits exactly.
void TestLayout::columnsFlowDownThenAcrossThenNewPage()
{
    ListRowSource rows = numberedRows(12);
    Report report;
    report.page.leftMargin = 12;
    report.page.rightMargin = 12;
    report.page.topMargin = 8.5;
    report.page.bottomMargin = 8.5;
    report.page.columns = 2;
    report.page.columnGap = 10;
    report.setRowSource(&rows);
    ReportBand &band = report.addBand(QStringLiteral("DetailBand1"));
    band.height = 56;
    QCOMPARE(report.page.columnWidth(), 88.0);

    const ReportLayout layout = layOutReport(report);
    QCOMPARE(layout.pageCount(), 2);
    const QVector<QPair<int, qint64>> first{{0, 850}, {0, 6450}, {0, 12050}, {0, 17650}, {0, 23250},
                                            {1, 850}, {1, 6450}, {1, 12050}, {1, 17650}, {1, 23250}};
    QCOMPARE(bandSlots(layout.pages[0]), first);
    QCOMPARE(layout.pages[0].bands[5].origin.x(), 110.0); // 12 + 88 + 10
    const QVector<QPair<int, qint64>> second{{0, 850}, {0, 6450}};
    QCOMPARE(bandSlots(layout.pages[1]), second);
    QCOMPARE(layout.pages[1].bands[0].row, 10);
    QCOMPARE(layout.pages[1].bands[0].origin.x(), 12.0);
}

void TestLayout::bandFitsExactlyAtTheBottomMargin_data()
{
    QTest::addColumn<double>("topMargin");
    QTest::addColumn<double>("bottomMargin");
    QTest::addColumn<int>("perColumn");
    QTest::newRow("space left equals height") << 0.3 << 0.7 << 9;   // 99 mm for 9 x 11 mm
    QTest::newRow("0.01 mm short") << 0.3 << 0.71 << 8;
    QTest::newRow("0.01 mm spare") << 0.3 << 0.69 << 9;
}

void TestLayout::bandFitsExactlyAtTheBottomMargin()
{
    QFETCH(double, topMargin);
    QFETCH(double, bottomMargin);
    QFETCH(int, perColumn);
    ListRowSource rows = numberedRows(30);
    Report report;
    report.page.paper = Paper::Custom;
    report.page.paperWidth = 50;
    report.page.paperLength = 100;
    report.page.topMargin = topMargin;
    report.page.bottomMargin = bottomMargin;
    report.page.columns = 1;
    report.setRowSource(&rows);
    report.addBand().height = 11;
    const ReportLayout layout = layOutReport(report);
    QCOMPARE(int(layout.pages[0].bands.size()), perColumn);
    QCOMPARE(layout.pageCount(), (30 + perColumn - 1) / perColumn);
}

void TestLayout::emptySourceGivesOnePageWithPageElements()
{
    ListRowSource empty = numberedRows(0);
    for (RowSource *source : {static_cast<RowSource *>(&empty), static_cast<RowSource *>(nullptr)}) {
        Report report;
        report.page.title = QStringLiteral("Member List");
        report.setRowSource(source);
        report.addBand().height = 10;
        report.addPageElement<ReportSystemText>(QStringLiteral("number")).setBox(180, 288, 10, 5);
        const ReportLayout layout = layOutReport(report);
        QCOMPARE(layout.pageCount(), 1);
        QVERIFY(layout.pages[0].bands.empty());
        QCOMPARE(itemsOf(layout.pages[0], QStringLiteral("number")).at(0)->text, QStringLiteral("1"));
    }
}

void TestLayout::pageElementsOnEveryPage()
{
    ListRowSource rows = numberedRows(7);
    Report report;
    report.page.title = QStringLiteral("Member List");
    report.page.paper = Paper::A6;
    report.setRowSource(&rows);
    report.addBand().height = 60; // two a page
    auto &title = report.addPageElement<ReportSystemText>(QStringLiteral("title"));
    title.data = ReportSystemText::Data::ReportTitle;
    title.setBox(5, 3.97, 20, 5);
    report.addPageElement<ReportSystemText>(QStringLiteral("number")).setBox(90, 140, 10, 5);
    report.addPageElement<ReportLabel>(QStringLiteral("fixed")).text = QStringLiteral("Tessary");

    const ReportLayout layout = layOutReport(report);
    QCOMPARE(layout.pageCount(), 4);
    for (int p = 0; p < 4; ++p) {
        const LayoutPage &page = layout.pages[size_t(p)];
        QCOMPARE(page.number, p + 1);
        QCOMPARE(itemsOf(page, QStringLiteral("title")).at(0)->text, QStringLiteral("Member List"));
        QCOMPARE(itemsOf(page, QStringLiteral("title")).at(0)->box.top(), 3.97);
        QCOMPARE(itemsOf(page, QStringLiteral("number")).at(0)->text, QString::number(p + 1));
        QCOMPARE(itemsOf(page, QStringLiteral("fixed")).size(), size_t(1));
        QCOMPARE(page.items.front().element->name, QStringLiteral("title")); // page elements first
    }
}

void TestLayout::disabledElementsAndBandsAreNotLaidOut()
{
    ListRowSource rows = numberedRows(2);
    Report report;
    report.setRowSource(&rows);
    ReportBand &band = report.addBand();
    band.height = 20;
    auto &shown = band.add<ReportLabel>(QStringLiteral("shown"));
    shown.text = QStringLiteral("x");
    auto &hidden = band.add<ReportLabel>(QStringLiteral("hidden"));
    hidden.text = QStringLiteral("y");
    hidden.enabled = false;
    band.add<ReportLine>(QStringLiteral("line")).enabled = false;
    auto &unbound = band.add<ReportDataText>(QStringLiteral("unbound")); // no column: prints nothing
    bool hookRan = false;
    unbound.printHook = [&](QString &) { hookRan = true; };
    ReportBand &off = report.addBand(QStringLiteral("off"));
    off.height = 20;
    off.enabled = false;
    off.add<ReportLabel>(QStringLiteral("inOff")).text = QStringLiteral("z");

    const ReportLayout layout = layOutReport(report);
    const LayoutPage &page = layout.pages[0];
    QCOMPARE(page.bands.size(), size_t(2));
    QCOMPARE(itemsOf(page, QStringLiteral("shown")).size(), size_t(2));
    QVERIFY(itemsOf(page, QStringLiteral("hidden")).empty());
    QVERIFY(itemsOf(page, QStringLiteral("line")).empty());
    QVERIFY(itemsOf(page, QStringLiteral("unbound")).empty());
    QVERIFY(itemsOf(page, QStringLiteral("inOff")).empty());
    QVERIFY(!hookRan);
}

// Three columns of 61.33 mm; 29.24 mm bands each followed by a 1.32 mm gap:
// nine a column, 27 a page, the 28th at the top of the next page.
void TestLayout::childGapAndFrameLines()
{
    ListRowSource rows = numberedRows(28);
    Report report;
    report.page.topMargin = report.page.bottomMargin = report.page.leftMargin = report.page.rightMargin = 10;
    report.page.columns = 3;
    report.page.columnGap = 3;
    report.setRowSource(&rows);
    ReportBand &band = report.addBand(QStringLiteral("QRSubDetail1"));
    band.height = 29.24;
    band.width = 61.25;
    band.frame.setAll(true);
    band.childGap = 1.32;

    const ReportLayout layout = layOutReport(report);
    QCOMPARE(layout.pageCount(), 2);
    const LayoutPage &page = layout.pages[0];
    QCOMPARE(page.bands.size(), size_t(27));
    QCOMPARE(page.bands[1].origin.y(), 10 + 29.24 + 1.32);
    QCOMPARE(page.bands[8].column, 0);
    QCOMPARE(page.bands[9].column, 1);
    QCOMPARE(page.bands[9].origin, QPointF(74.33, 10));
    QCOMPARE(page.bands[18].origin, QPointF(138.67, 10));
    QCOMPARE(layout.pages[1].bands.size(), size_t(1));
    QCOMPARE(layout.pages[1].bands[0].origin, QPointF(10, 10));

    // Four sides per band, on the band's own box.
    int lines = 0;
    QRectF extent;
    for (const LayoutItem &item : page.items) {
        if (item.kind == LayoutItem::Kind::Line && item.placement == 9) {
            ++lines;
            extent = extent.united(QRectF(item.line.p1(), item.line.p2()).normalized());
        }
    }
    QCOMPARE(lines, 4);
    QCOMPARE(extent, QRectF(74.33, 10, 61.25, 29.24));
}

void TestLayout::hooksRunPerRowInOrder()
{
    ListRowSource rows(QStringList{QStringLiteral("name"), QStringLiteral("post")},
                       {{QStringLiteral("Ann"), QStringLiteral("Clerk")},
                        {QStringLiteral("Bob"), QVariant()},
                        {QStringLiteral("Cy"), QStringLiteral("Chief")}});
    Report report;
    report.setRowSource(&rows);
    ReportBand &band = report.addBand();
    band.height = 10;
    auto &label = band.add<ReportLabel>(QStringLiteral("label"));
    auto &name = band.add<ReportDataText>(QStringLiteral("name"));
    name.column = QStringLiteral("name");
    auto &post = band.add<ReportDataText>(QStringLiteral("post"));
    post.column = QStringLiteral("post");
    QStringList calls;
    band.beforePrint = [&] {
        calls << QStringLiteral("band %1").arg(rows.rowIndex());
        label.text = QStringLiteral("#%1").arg(rows.rowIndex() + 1); // hooks change what this row prints
    };
    post.printHook = [&](QString &text) {
        calls << QStringLiteral("post '%1'").arg(text);
        if (text == QStringLiteral("Chief"))
            text = QStringLiteral("Head");
    };

    const ReportLayout layout = layOutReport(report);
    QCOMPARE(calls, QStringList({QStringLiteral("band 0"), QStringLiteral("post 'Clerk'"), QStringLiteral("band 1"),
                                 QStringLiteral("post ''"), QStringLiteral("band 2"), QStringLiteral("post 'Chief'")}));
    QStringList printed;
    for (const LayoutItem &item : layout.pages[0].items)
        printed << item.text;
    // Bob's empty post prints nothing at all.
    QCOMPARE(printed, QStringList({QStringLiteral("#1"), QStringLiteral("Ann"), QStringLiteral("Clerk"),
                                   QStringLiteral("#2"), QStringLiteral("Bob"), QStringLiteral("#3"),
                                   QStringLiteral("Cy"), QStringLiteral("Head")}));

    post.column = QStringLiteral("nosuch");
    QVERIFY_THROWS_EXCEPTION(Error, layOutReport(report));
}

void TestLayout::autoSizeKeepsLeftEdgeOrCentre()
{
    Report report;
    auto &left = report.addPageElement<ReportLabel>(QStringLiteral("left"));
    left.text = QStringLiteral("Member List");
    left.setBox(26.84, 16.44, 3, 3);
    auto &centred = report.addPageElement<ReportLabel>(QStringLiteral("centred"));
    centred.text = QStringLiteral("Member List");
    centred.alignment = TextAlignment::Centre;
    centred.setBox(9.45, 3.97, 20, 4); // middle at 19.45
    auto &fixed = report.addPageElement<ReportLabel>(QStringLiteral("fixed"));
    fixed.text = QStringLiteral("a text far longer than its small box");
    fixed.autoSize = false;
    fixed.setBox(10, 50, 12.345, 5);
    auto &multi = report.addPageElement<ReportLabel>(QStringLiteral("multi"));
    multi.text = QStringLiteral("two\nlines");

    const ReportLayout layout = layOutReport(report);
    const LayoutPage &page = layout.pages[0];
    const QSizeF size = measureText(left.font, left.text);
    QVERIFY2(size.width() > 15 && size.width() < 30, qPrintable(QString::number(size.width())));
    const LayoutItem *l = itemsOf(page, QStringLiteral("left")).at(0);
    QCOMPARE(l->box.topLeft(), QPointF(26.84, 16.44));
    QCOMPARE(l->box.width(), roundMm(size.width()));
    QVERIFY(!l->clip);
    const LayoutItem *c = itemsOf(page, QStringLiteral("centred")).at(0);
    QVERIFY(qAbs(c->box.center().x() - 19.45) <= 0.01);
    QCOMPARE(c->box.top(), 3.97);
    const LayoutItem *f = itemsOf(page, QStringLiteral("fixed")).at(0);
    QCOMPARE(f->box, QRectF(10, 50, 12.35, 5)); // kept to hundredths
    QVERIFY(f->clip);
    QCOMPARE(itemsOf(page, QStringLiteral("multi")).at(0)->text, QStringLiteral("two lines"));
}

// The layout keeps no pictures; a page's items read them after the band's
// hook has run again for the band's own row.
void TestLayout::picturesAreFetchedForTheBandsRow()
{
    ListRowSource rows = numberedRows(5);
    Report report;
    report.page.paper = Paper::A6;
    report.setRowSource(&rows);
    ReportBand &band = report.addBand();
    band.height = 70; // two a page
    auto &photo = band.add<ReportImage>(QStringLiteral("qrPhoto"));
    photo.setBox(1, 1, 20, 28);
    int hookCalls = 0;
    band.beforePrint = [&] {
        ++hookCalls;
        QImage picture(4, 4, QImage::Format_RGB32);
        picture.fill(qRgb(rows.rowIndex() * 40, 0, 0));
        photo.picture = picture;
    };
    auto &background = report.addPageElement<ReportImage>(QStringLiteral("background"));
    QImage back(2, 2, QImage::Format_RGB32);
    back.fill(Qt::blue);
    background.picture = back;

    const ReportLayout layout = layOutReport(report);
    QCOMPARE(hookCalls, 5);
    QCOMPARE(layout.pageCount(), 3);
    for (const LayoutPage &page : layout.pages)
        for (const LayoutItem &item : page.items)
            QVERIFY(item.picture.isNull());

    const std::vector<LayoutItem> items = reportPageItems(report, layout, 1);
    QCOMPARE(hookCalls, 7); // once more for each band on page 2
    QList<int> reds;
    for (const LayoutItem &item : items) {
        if (item.element == &photo)
            reds << qRed(item.picture.pixel(0, 0));
        if (item.element == &background)
            QCOMPARE(item.picture.pixelColor(0, 0), QColor(Qt::blue));
    }
    QCOMPARE(reds, QList<int>({80, 120})); // rows 2 and 3
}

void TestLayout::queryRowsPrintTheirColumns()
{
    CardDb db;
    db.addGroup(QStringLiteral("Sales"), 1);
    db.addMember(QStringLiteral("Ann"), 1);
    db.addMember(QStringLiteral("Bob \"B\""), 1);
    Query &q = db.ds->QAllStaff;
    QueryRowSource source(q);
    Report report;
    report.setRowSource(&source);
    ReportBand &band = report.addBand();
    band.height = 10;
    band.add<ReportDataText>(QStringLiteral("name")).column = QStringLiteral("name");
    band.add<ReportDataText>(QStringLiteral("post")).column = QStringLiteral("post");
    const ReportLayout layout = layOutReport(report);
    QStringList names;
    for (const LayoutItem *item : itemsOf(layout.pages[0], QStringLiteral("name")))
        names << item->text;
    QCOMPARE(names, QStringList({QStringLiteral("Ann"), QStringLiteral("Bob \"B\"")}));
    QVERIFY(itemsOf(layout.pages[0], QStringLiteral("post")).empty()); // empty column prints nothing
    source.moveTo(0);
    QCOMPARE(source.text(QStringLiteral("name")), QStringLiteral("Ann"));
    QVERIFY_THROWS_EXCEPTION(Error, source.text(QStringLiteral("nosuch")));
    QVERIFY_THROWS_EXCEPTION(Error, source.moveTo(2));
}

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
