// Card composition: where the engine lays every card element out for each
// style, paper and mode, the fine offsets, the flow of cards over columns
// and sheets, custom mode, rows not used, and the photo and date hooks.

#include "cardfixture.h"

#include "card/cardprinting.h"

#include <QApplication>

using namespace tessary;
using namespace cardtest;

namespace {

struct RowSpot
{
    double captionLeft, captionTop, textLeft, textTop, lineFrom, lineTo, lineY;
};
struct StyleTable
{
    QRectF background, photo;
    RowSpot rows[7];
};

// The card definitions as designed, in millimetres from the card's corner.
const StyleTable kStyles[3] = {
    {QRectF(0, 0, 87.99, 56.00), QRectF(3.53, 21.17, 21.02, 27.93),
     {{26.84, 16.44, 45.17, 15.50, 44.10, 83.64, 20.06}, {26.84, 21.54, 45.17, 20.60, 44.10, 83.64, 25.36},
      {26.84, 26.84, 45.17, 25.89, 44.10, 83.64, 30.65}, {26.84, 32.32, 45.17, 31.18, 44.10, 83.64, 35.94},
      {26.84, 37.42, 45.17, 36.66, 44.10, 83.64, 41.23}, {26.84, 42.90, 45.17, 41.77, 44.10, 83.64, 46.52},
      {26.84, 48.00, 45.17, 47.06, 44.10, 83.64, 51.81}}},
    {QRectF(-0.20, -0.20, 88.00, 55.00), QRectF(61.74, 19.99, 21.02, 27.93),
     {{1.47, 16.46, 19.11, 15.29, 18.81, 58.36, 20.06}, {1.47, 21.75, 19.11, 20.58, 18.81, 58.36, 25.36},
      {1.47, 27.05, 19.11, 25.87, 18.81, 58.36, 30.65}, {1.47, 32.34, 19.11, 31.16, 18.81, 58.36, 35.94},
      {1.47, 37.63, 19.11, 36.45, 18.81, 58.36, 41.23}, {1.47, 42.92, 19.11, 41.75, 18.81, 58.36, 46.52},
      {1.47, 48.21, 19.11, 47.04, 18.81, 58.36, 51.81}}},
    {QRectF(0, 0, 56.00, 88.00), QRectF(16.46, 17.64, 21.02, 27.93),
     {{2.94, 46.74, 21.46, 46.30, 21.17, 54.09, 50.80}, {2.94, 52.03, 21.46, 51.59, 21.17, 54.09, 56.09},
      {2.94, 57.33, 21.46, 56.89, 21.17, 54.09, 61.38}, {2.94, 62.62, 21.46, 61.59, 21.17, 54.09, 66.67},
      {2.94, 67.91, 21.46, 67.47, 21.17, 54.09, 71.97}, {2.94, 73.20, 21.46, 72.17, 21.17, 54.09, 77.26},
      {2.94, 78.49, 21.46, 78.05, 21.17, 54.09, 82.55}}},
};

QString n(const char *base, int row)
{
    return QString::fromLatin1(base) + QString::number(row + 1);
}

// Settings that print something in every row: the name, captions "C1".."C7".
LayoutSettings everyRowSettings(const TFmLayout &loaded, CardStyle style)
{
    LayoutSettings s = loaded.settings;
    s.style = style;
    for (int i = 0; i < 7; ++i) {
        s.rowField[size_t(i)] = 2;
        s.rowCaption[size_t(i)] = QStringLiteral("C%1").arg(i + 1);
    }
    return s;
}

Run runOf(testing::CardDb &db, const LayoutSettings &s, bool a4, CardMode mode, bool pictures = false)
{
    db.ds->QList.setSql(groupCardsSql(0));
    db.ds->QList.open();
    RecordingOutput out;
    out.readPictures = pictures;
    const CardJob cards = composeLayout(s, a4, mode, db.ds->QList);
    if (mode == CardMode::Print)
        out.print(cards);
    else
        out.preview(cards, [&] { return composeLayout(s, a4, CardMode::Print, db.ds->QList); });
    return std::move(out.runs.front());
}

// Names on each card of a page, by placement.
QStringList namesOn(const Run &r, int page)
{
    QStringList names;
    for (size_t b = 0; b < r.layout.pages[size_t(page)].bands.size(); ++b) {
        const LayoutItem *t = item(r.pages[size_t(page)], int(b), QStringLiteral("TntQRDBText1"));
        names << (t ? t->text : QString());
    }
    return names;
}

} // namespace

class TestComposition : public QObject
{
    Q_OBJECT

private slots:
    void geometry_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<bool>("a4");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QSizeF>("page");
        QTest::addColumn<bool>("landscape");
        QTest::addColumn<QSizeF>("cell");
        QTest::addColumn<int>("columns");
        QTest::addColumn<double>("pitch");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QPointF>("origin");

        const int pr = int(CardMode::Print), pv = int(CardMode::Preview);
        for (int style : {0, 1})
            for (int mode : {pr, pv}) {
                const QString tag = QStringLiteral("style %1 %2").arg(style + 1).arg(mode == pr ? QStringLiteral("print") : QStringLiteral("preview"));
                QTest::newRow(qPrintable(tag + QStringLiteral(" A6")))
                    << style << false << mode << QSizeF(105, 148) << false << QSizeF(88, 65) << 1 << 88.0 << 2
                    << QPointF(8.5, 13.5);
                QTest::newRow(qPrintable(tag + QStringLiteral(" A4")))
                    << style << true << mode << QSizeF(210, 297) << false << QSizeF(88, 56) << 2 << 98.0 << 5
                    << QPointF(12, 8.5);
            }
        QTest::newRow("style 3 preview A6") << 2 << false << pv << QSizeF(148, 105) << false << QSizeF(56, 88) << 2
                                            << 65.0 << 1 << QPointF(13.5, 8.5);
        QTest::newRow("style 3 print A6") << 2 << false << pr << QSizeF(148, 105) << true << QSizeF(56, 88) << 2
                                          << 65.0 << 1 << QPointF(13.5, 8.5);
        QTest::newRow("style 3 preview A4") << 2 << true << pv << QSizeF(297, 210) << false << QSizeF(56, 98) << 5
                                            << 56.0 << 2 << QPointF(8.5, 12);
        QTest::newRow("style 3 print A4") << 2 << true << pr << QSizeF(297, 210) << true << QSizeF(56, 98) << 5
                                          << 56.0 << 2 << QPointF(8.5, 12);
    }

    void geometry()
    {
        QFETCH(int, style);
        QFETCH(bool, a4);
        QFETCH(int, mode);
        QFETCH(QSizeF, page);
        QFETCH(bool, landscape);
        QFETCH(QSizeF, cell);
        QFETCH(int, columns);
        QFETCH(double, pitch);
        QFETCH(int, rows);
        QFETCH(QPointF, origin);

        testing::CardDb db;
        const int perSheet = columns * rows;
        addMembers(db, perSheet + 1); // one more than a sheet holds
        ScopedScriptedPrompts p;
        TFmLayout f(*db.ds);
        const Run r = runOf(db, everyRowSettings(f, CardStyle(style)), a4, CardMode(mode));

        QCOMPARE(r.layout.pageCount(), 2);
        QCOMPARE_MM(r.layout.pageSize().width(), page.width());
        QCOMPARE_MM(r.layout.pageSize().height(), page.height());
        QCOMPARE(r.layout.page.orientation == QPageLayout::Landscape, landscape);
        const LayoutPage &first = r.layout.pages[0];
        QCOMPARE(int(first.bands.size()), perSheet);
        QCOMPARE(int(r.layout.pages[1].bands.size()), 1);
        for (int k = 0; k < perSheet; ++k) {
            const PlacedBand &b = first.bands[size_t(k)];
            QCOMPARE(b.column, k / rows);
            QCOMPARE_MM(b.origin.x(), origin.x() + (k / rows) * pitch);
            QCOMPARE_MM(b.origin.y(), origin.y() + (k % rows) * cell.height());
        }
        QCOMPARE_MM(r.layout.pages[1].bands[0].origin.x(), origin.x());
        QCOMPARE_MM(r.layout.pages[1].bands[0].origin.y(), origin.y());

        // Every element of the last card of the sheet where the table puts it.
        const int card = perSheet - 1;
        const StyleTable &t = kStyles[style];
        const PageItems &items = r.pages[0];
        QCOMPARE(inCard(first, *item(items, card, QStringLiteral("QRImage1"))), t.background);
        QCOMPARE(inCard(first, *item(items, card, QStringLiteral("qrPhoto"))), t.photo);
        for (int i = 0; i < 7; ++i) {
            const RowSpot &spot = t.rows[i];
            const LayoutItem *caption = item(items, card, n("TntQRLabel", i));
            const LayoutItem *data = item(items, card, n("TntQRDBText", i));
            const LayoutItem *line = item(items, card, n("QRShape", i));
            QVERIFY(caption && data && line);
            QCOMPARE_MM(inCard(first, *caption).left(), spot.captionLeft);
            QCOMPARE_MM(inCard(first, *caption).top(), spot.captionTop);
            QCOMPARE_MM(inCard(first, *data).left(), spot.textLeft);
            QCOMPARE_MM(inCard(first, *data).top(), spot.textTop);
            const QPointF o = first.bands[size_t(card)].origin;
            QCOMPARE_MM(line->line.x1() - o.x(), spot.lineFrom);
            QCOMPARE_MM(line->line.x2() - o.x(), spot.lineTo);
            QCOMPARE_MM(line->line.y1() - o.y(), spot.lineY);
            QCOMPARE_MM(line->line.y2() - o.y(), spot.lineY);
            QCOMPARE(caption->font.pointSize, 8.0);
            QCOMPARE(data->font.pointSize, 10.0);
            QVERIFY(!data->font.bold && data->font.family == QStringLiteral("Arial"));
            // Texts are cut at the card cell's right edge.
            QVERIFY(data->clip);
            QCOMPARE_MM(data->box.right() - o.x(), cell.width());
        }
        QCOMPARE(item(items, card, QStringLiteral("TntQRLabel3"))->text, QStringLiteral("C3"));
        QCOMPARE(item(items, card, QStringLiteral("TntQRDBText1"))->text, QStringLiteral("M%1").arg(perSheet, 2, 10, QLatin1Char('0')));
    }

    void fineOffsets_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<bool>("a4");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("osx");
        QTest::addColumn<int>("osy");
        QTest::addColumn<QPointF>("first");
        QTest::addColumn<QPointF>("second");
        QTest::newRow("style 1 A6 -20/30") << 0 << false << int(CardMode::Print) << -20 << 30 << QPointF(6.5, 16.5)
                                           << QPointF(6.5, 81.5);
        QTest::newRow("style 2 A4 20/-30") << 1 << true << int(CardMode::Preview) << 20 << -30 << QPointF(14, 5.5)
                                           << QPointF(14, 61.5);
        QTest::newRow("style 3 A4 print osx 10") << 2 << true << int(CardMode::Print) << 10 << 0 << QPointF(8.5, 13)
                                                 << QPointF(8.5, 111);
        QTest::newRow("style 3 A4 preview osx 10") << 2 << true << int(CardMode::Preview) << 10 << 0
                                                   << QPointF(9.5, 12) << QPointF(9.5, 110);
        QTest::newRow("style 3 A6 print osy -30") << 2 << false << int(CardMode::Print) << 0 << -30
                                                  << QPointF(10.5, 8.5) << QPointF(75.5, 8.5);
        QTest::newRow("style 3 A4 print 20/30") << 2 << true << int(CardMode::Print) << 20 << 30
                                                << QPointF(11.5, 14) << QPointF(11.5, 112);
    }

    void fineOffsets()
    {
        QFETCH(int, style);
        QFETCH(bool, a4);
        QFETCH(int, mode);
        QFETCH(int, osx);
        QFETCH(int, osy);
        QFETCH(QPointF, first);
        QFETCH(QPointF, second);
        testing::CardDb db;
        addMembers(db, 10);
        ScopedScriptedPrompts p;
        TFmLayout f(*db.ds);
        LayoutSettings s = everyRowSettings(f, CardStyle(style));
        s.offsetX = osx;
        s.offsetY = osy;
        const Run r = runOf(db, s, a4, CardMode(mode));
        const LayoutPage &page = r.layout.pages[0];
        QCOMPARE_MM(page.bands[0].origin.x(), first.x());
        QCOMPARE_MM(page.bands[0].origin.y(), first.y());
        QCOMPARE_MM(page.bands[1].origin.x(), second.x());
        QCOMPARE_MM(page.bands[1].origin.y(), second.y());
        // The offsets move the grid; the sheet still takes its full count.
        QCOMPARE(int(page.bands.size()), a4 ? 10 : 2);
    }

    void cardsFlowDownColumnsThenSheets_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("members");
        QTest::addColumn<QList<QList<int>>>("perColumn"); // per sheet, cards in each column
        QTest::newRow("12 in style 1") << 0 << 12 << QList<QList<int>>{{5, 5}, {2}};
        QTest::newRow("7 in style 3") << 2 << 7 << QList<QList<int>>{{2, 2, 2, 1}};
        QTest::newRow("23 in style 1") << 0 << 23 << QList<QList<int>>{{5, 5}, {5, 5}, {3}};
    }

    void cardsFlowDownColumnsThenSheets()
    {
        QFETCH(int, style);
        QFETCH(int, members);
        QFETCH(QList<QList<int>>, perColumn);
        testing::CardDb db;
        addMembers(db, members);
        ScopedScriptedPrompts p;
        TFmLayout f(*db.ds);
        const Run r = runOf(db, everyRowSettings(f, CardStyle(style)), true, CardMode::Print);
        QCOMPARE(r.layout.pageCount(), int(perColumn.size()));
        int next = 1;
        for (int pg = 0; pg < r.layout.pageCount(); ++pg) {
            QList<int> counts;
            for (const PlacedBand &b : r.layout.pages[size_t(pg)].bands) {
                while (counts.size() <= b.column)
                    counts << 0;
                ++counts[b.column];
            }
            QCOMPARE(counts, perColumn[pg]);
            // Members in stored order, down each column.
            for (const QString &name : namesOn(r, pg))
                QCOMPARE(name, QStringLiteral("M%1").arg(next++, 2, 10, QLatin1Char('0')));
        }
    }

    void emptyQueryGivesOneBlankPage()
    {
        testing::CardDb db;
        ScopedScriptedPrompts p;
        TFmLayout f(*db.ds);
        const Run r = runOf(db, f.settings, false, CardMode::Print);
        QCOMPARE(r.layout.pageCount(), 1);
        QVERIFY(r.layout.pages[0].bands.empty());
        QVERIFY(r.layout.pages[0].items.empty());
    }

    void customMode_data()
    {
        QTest::addColumn<bool>("lines");
        QTest::addColumn<bool>("captions");
        QTest::newRow("lines and captions") << true << true;
        QTest::newRow("lines off") << false << true;
        QTest::newRow("captions off") << true << false;
    }

    void customMode()
    {
        QFETCH(bool, lines);
        QFETCH(bool, captions);
        testing::CardDb db;
        addMembers(db, 1);
        ScopedScriptedPrompts p;
        TFmLayout f(*db.ds);
        LayoutSettings s = everyRowSettings(f, CardStyle::Style2);
        s.custom = true;
        s.lines = lines;
        s.captions = captions;
        s.position = 30;
        QFont font(QStringLiteral("Times"));
        font.setPointSize(12);
        font.setItalic(true);
        s.setSampleFont(font, QColor(0, 0, 200));
        const Run r = runOf(db, s, false, CardMode::Print);
        const LayoutPage &page = r.layout.pages[0];
        const PageItems &items = r.pages[0];
        for (int i = 0; i < 7; ++i) {
            const LayoutItem *data = item(items, 0, n("TntQRDBText", i));
            QVERIFY(data);
            QCOMPARE_MM(inCard(page, *data).left(), 30);
            QCOMPARE_MM(inCard(page, *data).top(), kStyles[1].rows[i].textTop);
            QCOMPARE(data->font.family, QStringLiteral("Times"));
            QCOMPARE(data->font.pointSize, 12.0);
            QVERIFY(data->font.bold && data->font.italic);
            QCOMPARE(data->font.color, QColor(0, 0, 200));

            const LayoutItem *line = item(items, 0, n("QRShape", i));
            QCOMPARE(line != nullptr, lines);
            if (line) {
                QCOMPARE(line->penColor, QColor(0, 0, 200));
                QCOMPARE_MM(line->line.x1() - page.bands[0].origin.x(), kStyles[1].rows[i].lineFrom);
            }
            const LayoutItem *caption = item(items, 0, n("TntQRLabel", i));
            QCOMPARE(caption != nullptr, captions);
            if (caption) {
                QCOMPARE_MM(inCard(page, *caption).left(), kStyles[1].rows[i].captionLeft);
                QCOMPARE(caption->font.family, QStringLiteral("Times"));
                QCOMPARE(caption->font.pointSize, 7.0);
                QVERIFY(caption->font.bold && !caption->font.italic && !caption->font.underline);
                QCOMPARE(caption->font.color, QColor(0, 0, 200));
            }
        }
    }

    void rowsNotUsed()
    {
        testing::CardDb db;
        addMember(db, {.name = QStringLiteral("Ann"), .staffno = QStringLiteral("S-1")});
        ScopedScriptedPrompts p;
        TFmLayout f(*db.ds);
        LayoutSettings s = f.settings;
        s.rowField = {1, 0, 2, 0, -1, 0, 2};
        s.rowCaption = {QStringLiteral("ID"), QString(), QStringLiteral("Name"), QStringLiteral("kept"),
                        QString(), QString(), QStringLiteral("Again")};
        const Run r = runOf(db, s, false, CardMode::Print);
        const PageItems &items = r.pages[0];
        const QStringList texts{QStringLiteral("S-1"), QString(), QStringLiteral("Ann"), QString(),
                                QString(), QString(), QStringLiteral("Ann")};
        for (int i = 0; i < 7; ++i) {
            const bool used = i == 0 || i == 2 || i == 6;
            const LayoutItem *data = item(items, 0, n("TntQRDBText", i));
            QCOMPARE(data != nullptr, used);
            if (data)
                QCOMPARE(data->text, texts[i]);
            QCOMPARE(item(items, 0, n("QRShape", i)) != nullptr, used);
        }
        // A caption prints whatever it holds, used or not.
        QCOMPARE(item(items, 0, QStringLiteral("TntQRLabel4"))->text, QStringLiteral("kept"));
        QVERIFY(!item(items, 0, QStringLiteral("TntQRLabel2")));
    }

    void photoAndBackground()
    {
        testing::CardDb db;
        addMember(db, {.name = QStringLiteral("With"), .photo = jpegOf(48, 64, Qt::red)});
        addMember(db, {.name = QStringLiteral("Without")});
        ScopedScriptedPrompts p;
        TFmLayout f(*db.ds);
        LayoutSettings s = f.settings;
        QImage back(30, 20, QImage::Format_BGR888);
        back.fill(Qt::green);
        s.background = back;
        for (const bool printBack : {true, false}) {
            s.printBackground = printBack;
            const Run r = runOf(db, s, false, CardMode::Print, true);
            const PageItems &items = r.pages[0];
            const QImage first = item(items, 0, QStringLiteral("qrPhoto"))->picture;
            const QImage second = item(items, 1, QStringLiteral("qrPhoto"))->picture;
            QCOMPARE(first.size(), QSize(48, 64));
            QVERIFY(qRed(first.pixel(24, 32)) > 200 && qGreen(first.pixel(24, 32)) < 60);
            // No photo after a member with one: the blank placeholder.
            QCOMPARE(second.size(), QSize(120, 160));
            QCOMPARE(second.pixel(60, 80), qRgb(255, 255, 255));
            const QImage b = item(items, 1, QStringLiteral("QRImage1"))->picture;
            QCOMPARE(b.isNull(), !printBack);
            if (printBack)
                QCOMPARE(b.pixel(5, 5), qRgb(0, 255, 0));
        }
    }

    void datesAndNumbers()
    {
        testing::CardDb db;
        addMember(db, {.name = QStringLiteral("Dee"), .expiry = QDate(2030, 12, 1),
                       .post = QStringLiteral("Line one\nline two"), .cardno = 40712});
        addMember(db, {.name = QStringLiteral("Eve"), .datejoin = QDate(2009, 3, 5), .expiry = QDate(2031, 1, 31)});
        ScopedScriptedPrompts p;
        TFmLayout f(*db.ds);
        LayoutSettings s = f.settings;
        s.rowField = {5, 6, 9, 4, 0, 0, 0}; // datejoin, expiry, cardno, post
        const Run r = runOf(db, s, false, CardMode::Print);
        const PageItems &items = r.pages[0];
        QVERIFY(!item(items, 0, QStringLiteral("TntQRDBText1"))); // empty date: nothing
        QCOMPARE(item(items, 0, QStringLiteral("TntQRDBText2"))->text, QStringLiteral("1/Dec, 2030"));
        QCOMPARE(item(items, 0, QStringLiteral("TntQRDBText3"))->text, QStringLiteral("40712"));
        QCOMPARE(item(items, 0, QStringLiteral("TntQRDBText4"))->text, QStringLiteral("Line one line two"));
        QCOMPARE(item(items, 1, QStringLiteral("TntQRDBText1"))->text, QStringLiteral("5/Mar, 2009"));
        QCOMPARE(item(items, 1, QStringLiteral("TntQRDBText2"))->text, QStringLiteral("31/Jan, 2031"));
    }

    void dateTextFollowsTheLocale()
    {
        const QDate d(2030, 12, 1);
        QCOMPARE(cardDateText(d, QLocale(QLocale::English, QLocale::UnitedKingdom)), QStringLiteral("1/Dec, 2030"));
        QCOMPARE(cardDateText(d, QLocale(QLocale::German, QLocale::Germany)), QStringLiteral("1.Dez., 2030"));
        // The C locale writes its short date out with blanks ("1 Dec 2030"):
        // a blank is no separator, so the default "/" stands.
        QCOMPARE(cardDateText(d, QLocale::c()), QStringLiteral("1/Dec, 2030"));
        QCOMPARE(cardDateText(QDate(987, 7, 9), QLocale(QLocale::English, QLocale::UnitedStates)),
                 QStringLiteral("9/Jul, 0987"));
        // Text that reads as no date prints unchanged; a short date with a
        // two-digit year is taken from the stored value, not re-read.
        QString text = QStringLiteral("soon");
        formatCardDateText(text, QVariant(), QLocale(QLocale::English, QLocale::UnitedKingdom));
        QCOMPARE(text, QStringLiteral("soon"));
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        text = us.toString(QDate(2030, 12, 1), QLocale::ShortFormat);
        formatCardDateText(text, QDateTime(QDate(2030, 12, 1), QTime()), us);
        QCOMPARE(text, QStringLiteral("1/Dec, 2030"));
    }
};

int main(int argc, char **argv)
{
    // Cards print dates in the desktop's language and separators.
    qputenv("LC_ALL", "en_GB.UTF-8");
    QApplication app(argc, argv);
    TestComposition test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_composition.moc"
