// The card model without a database: stocks as data, design documents read
// back (and what a damaged one loses), where cards stand on pages, what an
// ID-1 card keeps inside its edge, and the PDF page size.

#include "cardmodel/renderer.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPainter>
#include <QRegularExpression>
#include <QTest>

using namespace tessary;

Q_DECLARE_METATYPE(tessary::Stock)

namespace {

CardDesign sampleDesign()
{
    CardDesign d;
    d.name = QStringLiteral("Sample");
    d.width = kId1Length;
    d.height = kId1Width;
    CardSide &f = d.front();
    QImage back(4, 3, QImage::Format_RGB32);
    back.fill(Qt::green);
    auto &pic = f.add<PictureElement>(QStringLiteral("back"));
    pic.box = MmBox::fromRectF(QRectF(0, 0, 85.6, 53.98));
    pic.image = back;
    f.add<PhotoElement>(QStringLiteral("photo")).box = MmBox::fromRectF(QRectF(3, 20, 21, 28));
    auto &line = f.add<LineElement>(QStringLiteral("rule"));
    line.box = MmBox::fromRectF(QRectF(40, 30, 50, 0.4));
    line.color = Qt::blue;
    auto &data = f.add<DataText>(QStringLiteral("expiry"));
    data.box = MmBox::fromRectF(QRectF(45, 10, 45, 4));
    data.field = QStringLiteral("expiry");
    data.dateForm = true;
    auto &caption = f.add<CaptionText>(QStringLiteral("title"));
    caption.box = MmBox::fromRectF(QRectF(2, 2, 30, 4));
    caption.text = QStringLiteral("Staff");
    caption.font.bold = true;
    return d;
}

RecordList members(int n)
{
    RecordList list;
    for (int i = 0; i < n; ++i) {
        MemberRecord r;
        r.set(QStringLiteral("expiry"), QStringLiteral("x"), QDateTime(QDate(2030, 12, 1 + i), QTime()));
        list.append(r);
    }
    return list;
}

QByteArray documentWith(const QJsonArray &elements)
{
    const QJsonObject design{{QStringLiteral("name"), QStringLiteral("d")},
                             {QStringLiteral("card"), QJsonArray{85.6, 53.98}},
                             {QStringLiteral("sides"), QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("front")},
                                                                              {QStringLiteral("elements"), elements}}}}};
    return QJsonDocument(QJsonObject{{QStringLiteral("format"), QStringLiteral("tessary-card-design")},
                                     {QStringLiteral("version"), 1},
                                     {QStringLiteral("design"), design}})
        .toJson();
}

QJsonObject element(const char *kind, const char *id, QJsonArray box, QJsonObject more = {})
{
    more.insert(QStringLiteral("kind"), QLatin1String(kind));
    more.insert(QStringLiteral("id"), QLatin1String(id));
    more.insert(QStringLiteral("box"), box);
    return more;
}

} // namespace

class TestCardModel : public QObject
{
    Q_OBJECT

private slots:
    void lengthsConvertInOnePlace()
    {
        QCOMPARE(Distance::mm(25.4).toPoints(), 72.0);
        QCOMPARE(Distance::points(72).toMm(), 25.4);
        QCOMPARE(Distance::mm(25.4).toPixels(600), 600.0);
        QVERIFY(Distance::mm(1) + Distance::mm(2) == Distance::mm(3));
    }

    void builtInStocks_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QSizeF>("page");
        QTest::addColumn<int>("cards");
        QTest::addColumn<QPointF>("origin");
        QTest::newRow("A6") << QStringLiteral("A6") << QSizeF(105, 148) << 2 << QPointF(8.5, 13.5);
        QTest::newRow("A4") << QStringLiteral("A4") << QSizeF(210, 297) << 10 << QPointF(12, 8.5);
        QTest::newRow("ID-1") << QStringLiteral("ID-1 card") << QSizeF(85.6, 53.98) << 1 << QPointF(0, 0);
    }

    void builtInStocks()
    {
        QFETCH(QString, id);
        QFETCH(QSizeF, page);
        QFETCH(int, cards);
        QFETCH(QPointF, origin);
        const std::optional<Stock> s = builtInStock(id);
        QVERIFY(s);
        QVERIFY(qAbs(s->pageSizeMm().width() - page.width()) < 1e-9);
        QVERIFY(qAbs(s->pageSizeMm().height() - page.height()) < 1e-9);
        QCOMPARE(s->cardsPerPage(), cards);
        QCOMPARE(QPointF(s->originX.toMm(), s->originY.toMm()), origin);
        // Stocks are data: written and read back equal.
        QCOMPARE(Stock::fromJson(s->toJson()), s);
    }

    void nonsenseStocksAreRefused()
    {
        QJsonObject json = a4Stock().toJson();
        json.insert(QStringLiteral("grid"), QJsonArray{0, 5});
        QVERIFY(!Stock::fromJson(json));
        json = a4Stock().toJson();
        json.insert(QStringLiteral("cell"), QJsonArray{-88, 56});
        QVERIFY(!Stock::fromJson(json));
    }

    void cardsFillColumnsThenPages()
    {
        const CardPages pages = placeCards(a4Stock(), 12);
        QCOMPARE(pages.pageCount(), 2);
        QCOMPARE(int(pages.pages[0].cards.size()), 10);
        const CardPlacement &sixth = pages.pages[0].cards[5];
        QCOMPARE(sixth.record, 5);
        QCOMPARE(sixth.column, 1);
        QCOMPARE(sixth.origin, QPointF(110, 8.5));
        QCOMPARE(pages.pages[1].cards[1].origin, QPointF(12, 64.5));
        // Nothing to print: one blank page.
        QCOMPARE(placeCards(a6Stock(), 0).pageCount(), 1);
    }

    // Each page of fronts is followed by the backs of the same members, each
    // in the cell behind its front once the sheet is turned over on its long
    // edge: mirrored left to right on an upright page, top to bottom on a
    // wider one. A card printer's page alternates front and back.
    void backsFollowTheirFrontsInTheMirroredCell_data()
    {
        QTest::addColumn<Stock>("stock");
        QTest::addColumn<QSizeF>("card");
        QTest::addColumn<int>("members");
        QTest::addColumn<QList<int>>("pageSides");
        QTest::addColumn<QPointF>("front"); // of the last member
        QTest::addColumn<QPointF>("back");
        Stock shifted = a4Stock();
        shifted.originX = Distance::mm(13);
        Stock landscape = a6Stock(); // style 3 prints portrait cards on a landscape A6
        landscape.orientation = QPageLayout::Landscape;
        landscape.cellWidth = Distance::mm(56);
        landscape.cellHeight = Distance::mm(88);
        landscape.columns = 2;
        landscape.rows = 1;
        landscape.originX = Distance::mm(13.5);
        landscape.originY = Distance::mm(9.5);
        landscape.pitchX = Distance::mm(65);
        QTest::newRow("A4, 12 members") << a4Stock() << QSizeF(88, 56) << 12 << QList<int>{0, 1, 0, 1}
                                        << QPointF(12, 64.5) << QPointF(110, 64.5);
        QTest::newRow("A4 moved 1 mm right") << shifted << QSizeF(88, 56) << 6 << QList<int>{0, 1}
                                             << QPointF(111, 8.5) << QPointF(11, 8.5);
        QTest::newRow("A6, card shorter than its cell") << a6Stock() << QSizeF(88, 56) << 2 << QList<int>{0, 1}
                                                        << QPointF(8.5, 78.5) << QPointF(8.5, 78.5);
        QTest::newRow("landscape A6 moved 1 mm down") << landscape << QSizeF(56, 88) << 2 << QList<int>{0, 1}
                                                      << QPointF(78.5, 9.5) << QPointF(78.5, 7.5);
        QTest::newRow("ID-1 cards") << id1Stock() << QSizeF() << 3 << QList<int>{0, 1, 0, 1, 0, 1} << QPointF()
                                    << QPointF();
    }

    void backsFollowTheirFrontsInTheMirroredCell()
    {
        QFETCH(Stock, stock);
        QFETCH(QSizeF, card);
        QFETCH(int, members);
        QFETCH(QList<int>, pageSides);
        const CardPages pages = placeCards(stock, members, 2, card);
        QList<int> sides;
        for (const CardPage &p : pages.pages) {
            sides << p.side;
            for (const CardPlacement &c : p.cards)
                QCOMPARE(c.side, p.side);
        }
        QCOMPARE(sides, pageSides);
        // The last pair of pages holds the same members in the same order.
        const CardPage &fronts = pages.pages[pages.pages.size() - 2];
        const CardPage &backs = pages.pages.back();
        QCOMPARE(backs.cards.size(), fronts.cards.size());
        for (size_t i = 0; i < fronts.cards.size(); ++i)
            QCOMPARE(backs.cards[i].record, fronts.cards[i].record);
        QTEST(fronts.cards.back().origin, "front");
        QTEST(backs.cards.back().origin, "back");
    }

    void designsReadBackEqual()
    {
        DesignDocument doc;
        doc.stock = id1Stock();
        doc.design = sampleDesign();
        const DesignReadResult read = readDesignDocument(writeDesignDocument(doc));
        QVERIFY2(read.document, qPrintable(read.error));
        QVERIFY(read.skipped.isEmpty());
        QCOMPARE(read.document->stock, doc.stock);
        QVERIFY(read.document->design == doc.design);
        QCOMPARE(int(read.document->design->front().elements.size()), 5);
    }

    void damagedDocumentsLoadWhatTheyCan_data()
    {
        QTest::addColumn<QJsonArray>("elements");
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<QString>("skipped");
        const QJsonArray box{1, 2, 30, 4};
        const QJsonObject caption = element("caption", "c", box, {{QStringLiteral("text"), QStringLiteral("Hi")}});
        QTest::newRow("unknown kind") << QJsonArray{element("hologram", "b", box), caption} << QStringList{QStringLiteral("c")}
                                      << QStringLiteral("front, element 1 (b): unknown element kind \"hologram\"");
        QTest::newRow("negative box") << QJsonArray{caption, element("line", "l", {1, 2, -30, 0.4})}
                                      << QStringList{QStringLiteral("c")} << QStringLiteral("front, element 2 (l): negative box");
        QTest::newRow("data text without a field") << QJsonArray{element("data", "d", box), caption}
                                                   << QStringList{QStringLiteral("c")} << QStringLiteral("front, element 1 (d): no field");
        QTest::newRow("no box") << QJsonArray{element("photo", "p", {1, 2}), caption} << QStringList{QStringLiteral("c")}
                                << QStringLiteral("front, element 1 (p): no box");
    }

    void damagedDocumentsLoadWhatTheyCan()
    {
        QFETCH(QJsonArray, elements);
        QFETCH(QStringList, kept);
        QFETCH(QString, skipped);
        const DesignReadResult read = readDesignDocument(documentWith(elements));
        QVERIFY(read.document && read.document->design);
        QStringList ids;
        for (const auto &e : read.document->design->front().elements)
            ids << e->id;
        QCOMPARE(ids, kept);
        QCOMPARE(read.skipped, QStringList{skipped});
    }

    void unreadableDocumentsAreRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        QByteArray big = documentWith({});
        big.append(QByteArray(kMaxDesignDocumentBytes, ' '));
        QTest::newRow("10 MB") << big << QStringLiteral("The card design is larger than 10 MB.");
        QTest::newRow("not JSON") << QByteArray("{\"format\":") << QStringLiteral("The card design is damaged");
        QTest::newRow("other format") << QByteArray("{\"format\":\"x\"}") << QStringLiteral("unknown kind");
        QTest::newRow("later version")
            << QByteArray("{\"format\":\"tessary-card-design\",\"version\":9}") << QStringLiteral("unknown version (9)");
    }

    void unreadableDocumentsAreRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        const DesignReadResult read = readDesignDocument(bytes);
        QVERIFY(!read.document);
        QVERIFY2(read.error.contains(error), qPrintable(read.error));
    }

    // On a card printer's page the background bleeds 1 mm past each edge;
    // texts and lines stay inside the card.
    void id1CardsKeepInsideAndBleed()
    {
        CardDesign d = sampleDesign();
        static_cast<LineElement *>(d.front().find(QStringLiteral("rule")))->box.width = Distance::mm(60);
        const RecordList records = members(2);
        const CardPages pages = placeCards(id1Stock(), 2);
        QCOMPARE(pages.pageCount(), 2);
        RenderOptions options;
        options.locale = QLocale(QLocale::English, QLocale::UnitedKingdom);
        const std::vector<CardItem> items = pageItems(d, pages, 1, records, true, options);
        QCOMPARE(int(items.size()), 5);
        QCOMPARE(items[0].box, QRectF(-1, -1, 87.6, 55.98));
        QVERIFY(!items[0].picture.isNull());
        QCOMPARE(items[2].line.x2(), 85.6); // 40 + 60 cut at the card's edge
        QCOMPARE(items[3].text, QStringLiteral("2/Dec, 2030"));
        QVERIFY(items[3].clip && items[3].box.right() <= 85.6);
        // A sheet's stock keeps every box as designed.
        const std::vector<CardItem> onSheet = pageItems(d, placeCards(a4Stock(), 1), 0, records, false, options);
        QCOMPARE(onSheet[0].box, QRectF(12, 8.5, 85.6, 53.98));
        QVERIFY(onSheet[0].picture.isNull());
    }

    // A printer's calibration moves each card by its own transform, about
    // the card's rectangle; cards without one print as designed.
    void eachCardPaintsThroughItsTransform()
    {
        CardDesign d;
        d.width = kId1Length;
        d.height = kId1Width;
        auto &line = d.front().add<LineElement>(QStringLiteral("rule"));
        line.box = MmBox::fromRectF(QRectF(40, 30, 40, 2));
        line.penWidth = 2;
        const CardPages pages = placeCards(a6Stock(), 2);
        QImage page(int(pages.pageSizeMm().width() * 10), int(pages.pageSizeMm().height() * 10), QImage::Format_RGB32);
        page.setDotsPerMeterX(10000);
        page.setDotsPerMeterY(10000);
        RenderOptions options;
        QRectF seen[2];
        options.cardTransform = [&](const CardPlacement &card, const QRectF &cardMm) {
            seen[card.record] = cardMm;
            return card.record == 1 ? QTransform::fromTranslate(1.5, 0) : QTransform();
        };
        page.fill(Qt::white);
        QPainter painter(&page);
        paintCardPage(d, pages, 0, members(2), options, painter);
        painter.end();
        const auto lineStart = [&](int record) {
            const QPointF at = pages.pages[0].cards[size_t(record)].origin + QPointF(0, 31);
            for (int x = 0; x < page.width(); ++x)
                if (qGray(page.pixel(x, qRound(at.y() * 10))) < 128)
                    return x / 10.0 - at.x();
            return -1.0;
        };
        QVERIFY(qAbs(lineStart(0) - 40) <= 0.15);
        QVERIFY(qAbs(lineStart(1) - 41.5) <= 0.15);
        QCOMPARE(seen[1], QRectF(pages.pages[0].cards[1].origin, QSizeF(85.6, 53.98)));
    }

    // Whole points would be 243 x 153 pt (0.13 mm too wide): every page box
    // is mended, through documents of several blocks, and every object of
    // the cross-reference table still found where it says.
    void pdfPagesKeepTheCardSize()
    {
        const RecordList records = members(3);
        CardDesign design = sampleDesign();
        QImage noise(1000, 1000, QImage::Format_RGB32);
        quint32 seed = 7;
        for (int y = 0; y < noise.height(); ++y)
            for (int x = 0; x < noise.width(); ++x)
                noise.setPixel(x, y, (seed = seed * 1664525u + 1013904223u) >> 8);
        static_cast<PictureElement *>(design.front().find(QStringLiteral("back")))->image = noise;
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QVERIFY(writeCardsPdf(design, placeCards(id1Stock(), 3), records, RenderOptions(), out));
        QVERIFY2(out.size() > 1 << 20, qPrintable(QString::number(out.size())));
        const QByteArray pdf = out.data();
        static const QRegularExpression box(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]"));
        int pages = 0;
        for (auto it = box.globalMatch(QString::fromLatin1(pdf)); it.hasNext(); ++pages) {
            const QRegularExpressionMatch m = it.next();
            QVERIFY(qAbs(Distance::points(m.captured(1).toDouble()).toMm() - 85.6) < 0.01);
            QVERIFY(qAbs(Distance::points(m.captured(2).toDouble()).toMm() - 53.98) < 0.01);
        }
        QCOMPARE(pages, 3);
        // Every object stands where the mended cross-reference table says.
        static const QRegularExpression entry(QStringLiteral("(\\d{10}) 00000 n"));
        int objects = 0;
        for (auto it = entry.globalMatch(QString::fromLatin1(pdf.mid(pdf.lastIndexOf("\nxref\n")))); it.hasNext();
             ++objects) {
            const qsizetype at = it.next().captured(1).toLongLong();
            QVERIFY(QByteArray(pdf.mid(at, 24)).contains(" 0 obj"));
        }
        QVERIFY(objects > 5);
    }
};

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    TestCardModel test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_model.moc"
