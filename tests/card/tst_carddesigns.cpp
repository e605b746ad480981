// The stored layout as designs and stocks: the built-in designs as
// documents, the paper choice kept in the carddesign table (ID-1 beside A6
// and A4, with param untouched), documents that cannot be used, a database
// without the table, ID-1 card runs, and the back and barcodes.

#include "cardfixture.h"

#include "card/cardprinter.h"
#include "card/cardprinting.h"
#include "card/designstore.h"
#include "data/engine.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QRadioButton>

using namespace tessary;
using namespace cardtest;

namespace {

int storedInteger(testing::CardDb &db, const char *column)
{
    Query q(&db.ds->src, QStringLiteral("p"));
    q.setSql({QStringLiteral("select * from param")});
    q.open();
    return q.fieldByName(QString::fromLatin1(column)).asInteger();
}

// Chooses a paper in a layout object and saves it as "Save Settings" does.
void savePaper(testing::CardDb &db, int paper, bool idCard)
{
    TFmLayout f(*db.ds);
    f.settings.paper = paper;
    f.settings.idCard = idCard;
    saveLayoutSettings(f.param, f.fields, f.settings);
}

Run printStored(testing::CardDb &db, bool preview = false)
{
    db.ds->QStaff.setSql(memberListSql(0, QStringLiteral("name")));
    db.ds->QStaff.open();
    RecordingOutput out;
    out.readPictures = false;
    CardPrinting cmd(*db.ds, out);
    if (preview) {
        cmd.Preview();
    } else {
        db.ds->QList.setSql(groupCardsSql(0));
        db.ds->QList.open();
        TFmLayout(*db.ds).CardRun(CardMode::Print, out);
    }
    return std::move(out.runs.at(0));
}

} // namespace

class TestCardDesigns : public QObject
{
    Q_OBJECT

private slots:
    void builtInDesignsReadBackEqual()
    {
        const std::vector<CardDesign> designs = builtInDesigns();
        QCOMPARE(int(designs.size()), 3);
        for (const CardDesign &d : designs) {
            QCOMPARE(int(d.front().elements.size()), 2 + 3 * kCardRows);
            DesignDocument doc;
            doc.design = d;
            const DesignReadResult read = readDesignDocument(writeDesignDocument(doc));
            QVERIFY2(read.document && read.document->design, qPrintable(read.error));
            QVERIFY(read.skipped.isEmpty());
            QVERIFY(*read.document->design == d);
        }
        QVERIFY(!(designs[0] == designs[1]));
    }

    // The paper choice: ID-1 goes into the carddesign table, psize keeps the
    // sheet for older readers; choosing a sheet again prints it.
    void paperChoiceIsKept_data()
    {
        QTest::addColumn<int>("paper");
        QTest::addColumn<bool>("idCard");
        QTest::addColumn<int>("storedPsize");
        QTest::addColumn<QSizeF>("page");
        QTest::addColumn<int>("cardsOnFirstPage");
        QTest::newRow("A6") << 0 << false << 0 << QSizeF(105, 148) << 2;
        QTest::newRow("A4") << 1 << false << 1 << QSizeF(210, 297) << 3;
        QTest::newRow("ID-1 after A4") << 1 << true << 1 << QSizeF(85.6, 53.98) << 1;
        QTest::newRow("ID-1 after A6") << 0 << true << 0 << QSizeF(85.6, 53.98) << 1;
    }

    void paperChoiceIsKept()
    {
        QFETCH(int, paper);
        QFETCH(bool, idCard);
        QFETCH(int, storedPsize);
        QFETCH(QSizeF, page);
        QFETCH(int, cardsOnFirstPage);
        testing::CardDb db;
        addMembers(db, 3);
        ScopedScriptedPrompts p;
        savePaper(db, paper, idCard);
        QCOMPARE(storedInteger(db, "psize"), storedPsize);
        QCOMPARE(TFmLayout(*db.ds).settings.idCard, idCard);
        const Run r = printStored(db);
        QCOMPARE_MM(r.layout.pageSize().width(), page.width());
        QCOMPARE_MM(r.layout.pageSize().height(), page.height());
        QCOMPARE(int(r.layout.pages[0].bands.size()), cardsOnFirstPage);
        QCOMPARE(r.layout.pageCount(), idCard ? 3 : (paper == 0 ? 2 : 1));
        QVERIFY(p->asked.empty());
    }

    // The dialog's paper page: the ID-1 card beside A6 and A4, saved by
    // "Save Settings" and shown again when the dialog opens.
    void dialogOffersTheCard()
    {
        testing::CardDb db;
        setParam(db, {{"psize", 1}});
        ScopedScriptedPrompts p;
        {
            TFmLayout f(*db.ds);
            QCOMPARE(f.rbPaper[2]->accessibleName(), QStringLiteral("ID-1 card, one card per page"));
            f.rbPaper[2]->click();
            QVERIFY(f.settings.idCard && f.settings.paper == 1);
            f.bSave->click();
        }
        QCOMPARE(storedInteger(db, "psize"), 1);
        TFmLayout f(*db.ds);
        QVERIFY(f.rbPaper[2]->isChecked() && !f.rbPaper[1]->isChecked());
        f.rbPaper[0]->click();
        f.bSave->click();
        QCOMPARE(storedInteger(db, "psize"), 0);
        QVERIFY(!TFmLayout(*db.ds).settings.idCard);
    }

    // ID-1 cards: card-sized pages, the background covering the card, texts
    // inside it; style 3 stands upright; the sample shows two cards.
    void id1Cards_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<QSizeF>("page");
        QTest::newRow("style 1") << 0 << QSizeF(85.6, 53.98);
        QTest::newRow("style 2") << 1 << QSizeF(85.6, 53.98);
        QTest::newRow("style 3") << 2 << QSizeF(53.98, 85.6);
    }

    void id1Cards()
    {
        QFETCH(int, style);
        QFETCH(QSizeF, page);
        testing::CardDb db;
        addMember(db, {.name = QStringLiteral("An extraordinarily long member name, longer than a card")});
        setParam(db, {{"style", style}});
        ScopedScriptedPrompts p;
        savePaper(db, 0, true);
        const Run r = printStored(db, true);
        QCOMPARE_MM(r.layout.pageSize().width(), page.width());
        QCOMPARE_MM(r.layout.pageSize().height(), page.height());
        QCOMPARE(r.printVersion->pageCount(), 1);
        const QRectF card(QPointF(0, 0), page);
        for (const NamedItem &i : r.pages[0]) {
            if (i.name == QStringLiteral("QRImage1"))
                QCOMPARE(i.item.box, card.adjusted(-1, -1, 1, 1));
            else if (i.item.kind == LayoutItem::Kind::Line)
                QVERIFY2(i.item.line.x2() <= page.width() + 1e-9, qPrintable(i.name));
            else
                QVERIFY2(card.contains(i.item.box), qPrintable(i.name));
        }
        // The layout dialog's sample: two cards.
        db.ds->QList.setSql(previewSampleSql(CardPaper::Id1));
        QCOMPARE(db.ds->QList.sql().first(), QStringLiteral("select top 2 * from stafftbl"));
    }

    // A document that cannot be used: one warning naming the problem, and
    // the stored layout prints. An older program's later paper choice wins
    // without a word.
    void unusableDocumentsFallBack_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("warning");
        QTest::newRow("damaged") << QByteArray("{\"format\": tessary") << QStringLiteral("is damaged");
        QTest::newRow("unknown stock")
            << QByteArray(R"({"format":"tessary-card-design","version":1,"stock":{"id":"Postcard"},"psize":1})")
            << QStringLiteral("the stock \"Postcard\" is unknown");
        QTest::newRow("later version") << QByteArray(R"({"format":"tessary-card-design","version":7})")
                                       << QStringLiteral("unknown version (7)");
        QTest::newRow("too large") << QByteArray(kMaxDesignDocumentBytes, ' ') << QStringLiteral("larger than 10 MB");
        QTest::newRow("saved with another psize")
            << QByteArray(R"({"format":"tessary-card-design","version":1,"stock":{"id":"ID-1 card","paper":"custom","paperSize":[53.98,85.6],"grid":[1,1],"cell":[85.6,53.98]},"psize":0})")
            << QString();
        QTest::newRow("a back barcode of no known kind")
            << QByteArray(R"({"format":"tessary-card-design","version":1,"stock":{"id":"A4"},"psize":1,"printBack":true,)"
                          R"("back":{"barcode":{"kind":"barcode","box":[1,1,9,9],"symbology":"aztec","field":"name"}}})")
            << QStringLiteral("back barcode: unknown symbology \"aztec\"");
    }

    void unusableDocumentsFallBack()
    {
        QFETCH(QByteArray, document);
        QFETCH(QString, warning);
        testing::CardDb db;
        addMembers(db, 3);
        setParam(db, {{"psize", 1}});
        writeCardDesignDocument(db.ds->src, kLayoutDesignKey, document);
        ScopedScriptedPrompts p;
        const Run r = printStored(db);
        QCOMPARE_MM(r.layout.pageSize().width(), 210); // the stored A4
        if (warning.isEmpty()) {
            QVERIFY(p->asked.empty());
            return;
        }
        QCOMPARE(int(p->asked.size()), 1);
        QVERIFY2(p->asked[0].text.contains(warning), qPrintable(p->asked[0].text));
        QCOMPARE(p->asked[0].title, QStringLiteral("Error"));
    }

    // The back and both barcodes live in the layout's document: what is
    // saved reads back, an unedited back picture keeps its stored bytes, and
    // a run prints each sheet of fronts and then their backs. A member whose
    // value cannot be encoded prints without the symbol and is named after
    // the run.
    void theBackAndBarcodesAreStoredAndPrinted()
    {
        testing::CardDb db;
        addMember(db, {.name = QStringLiteral("Ann"), .staffno = QStringLiteral("S-17")});
        addMember(db, {.name = QStringLiteral("Bo")}); // no staff number
        ScopedScriptedPrompts p;
        LayoutSettings saved;
        {
            TFmLayout f(*db.ds);
            QVERIFY(!f.settings.printBack && !f.settings.frontBarcode.enabled && !f.settings.back.barcode.enabled);
            LayoutSettings &s = f.settings;
            s.printBack = true;
            for (const CatalogueEntry &e : s.catalogue) {
                if (e.fname == QLatin1String("staffno"))
                    s.back.rowField[0] = e.seq;
                if (e.fname == QLatin1String("name"))
                    s.back.rowField[1] = e.seq; // its caption left empty
            }
            s.back.rowCaption[0] = QStringLiteral("Staff");
            s.back.background = QImage(40, 25, QImage::Format_RGB32);
            s.back.background.fill(Qt::gray);
            s.back.backgroundEdited = true;
            s.back.barcode.enabled = true;
            s.frontBarcode.enabled = true;
            s.frontBarcode.symbology = Symbology::Code128;
            s.frontBarcode.field = QStringLiteral("name");
            s.frontBarcode.moduleWidth = 0.25;
            s.frontBarcode.box = MmBox::fromRectF(QRectF(40, 0.5, 46, 14));
            saveLayoutSettings(f.param, f.fields, s);
            QCOMPARE(s.back.rowCaption[1], s.backRowEntry(1)->dname);
            saved = s;
        }
        const auto storedBack = [&] {
            return QJsonDocument::fromJson(*readCardDesignDocument(db.ds->src, kLayoutDesignKey))
                .object()
                .value(QStringLiteral("back"))
                .toObject()
                .value(QStringLiteral("background"));
        };
        const QJsonValue picture = storedBack();
        {
            TFmLayout g(*db.ds);
            const LayoutSettings &s = g.settings;
            QVERIFY(s.printBack);
            QCOMPARE(s.back.rowField, saved.back.rowField);
            QCOMPARE(s.back.rowCaption, saved.back.rowCaption);
            QCOMPARE(s.back.background.size(), QSize(40, 25));
            for (CardFace face : {CardFace::Front, CardFace::Back})
                QCOMPARE(elementToJson(s.barcode(face)), elementToJson(saved.barcode(face)));
            saveLayoutSettings(g.param, g.fields, g.settings);
        }
        QCOMPARE(storedBack(), picture);

        const Run r = printStored(db);
        QCOMPARE(r.layout.pageCount(), 2); // one A6 sheet of fronts, then its backs
        QCOMPARE(r.job->pages.pages[1].side, 1);
        QVERIFY(item(r.pages[0], 0, QStringLiteral("barcodeFront")) && !item(r.pages[0], 0, QStringLiteral("backText1")));
        QCOMPARE(item(r.pages[1], 0, QStringLiteral("backText1"))->text, QStringLiteral("S-17"));
        QCOMPARE(item(r.pages[1], 0, QStringLiteral("backLabel1"))->text, QStringLiteral("Staff"));
        QVERIFY(item(r.pages[1], 0, QStringLiteral("barcodeBack")));
        QVERIFY(!item(r.pages[1], 1, QStringLiteral("barcodeBack"))); // Bo has no staff number
        QCOMPARE(int(p->asked.size()), 1);
        QVERIFY2(p->asked[0].text.startsWith(QStringLiteral("Some cards were not printed as designed:\nBo: back: barcode left out: ")),
                 qPrintable(p->asked[0].text));
    }

    // A card database made before the table existed prints as before; saving
    // the layout creates the table.
    void databaseWithoutTheTable()
    {
        testing::CardDb db;
        addMembers(db, 2);
        db.ds->src.exec(QStringLiteral("drop table carddesign"));
        QVERIFY(!db.ds->src.engine().hasTable(QStringLiteral("carddesign")));
        ScopedScriptedPrompts p;
        QCOMPARE_MM(printStored(db).layout.pageSize().width(), 105);
        savePaper(db, 0, true);
        QVERIFY(db.ds->src.engine().hasTable(QStringLiteral("carddesign")));
        QCOMPARE_MM(printStored(db).layout.pageSize().width(), 85.6);
        QVERIFY(p->asked.empty());
    }
};

int main(int argc, char **argv)
{
    qputenv("LC_ALL", "en_GB.UTF-8");
    QApplication app(argc, argv);
    TestCardDesigns test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_carddesigns.moc"
