// Cards as pixels: pages rendered at 600 dpi, directly and through a PDF
// file, with a card's first row line, its photo box and its first data text
// found where the layout puts them, to 0.1 mm.

#include "cardfixture.h"

#include "card/cardprinter.h"
#include "card/cardprinting.h"
#include "report/output.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace tessary;
using namespace cardtest;

namespace {

constexpr int kDpi = 600;
constexpr double kPxPerMm = kDpi / 25.4;
constexpr double kTolerance = 0.1; // mm

int px(double mm)
{
    return int(std::lround(mm * kPxPerMm));
}

bool dark(const QImage &img, int x, int y)
{
    return qGray(img.pixel(x, y)) < 128;
}

// The centre (mm) of the dark run crossed going down column `xMm` between
// `fromMm` and `toMm`; -1 when there is none.
double darkRunCentreY(const QImage &img, double xMm, double fromMm, double toMm)
{
    int first = -1, last = -1;
    for (int y = px(fromMm); y <= px(toMm); ++y)
        if (dark(img, px(xMm), y)) {
            if (first < 0)
                first = y;
            last = y;
        } else if (first >= 0) {
            break;
        }
    return first < 0 ? -1 : (first + last + 1) / 2.0 / kPxPerMm;
}

// The first dark pixel's edge (mm) going right along row `yMm`.
double firstDarkX(const QImage &img, double yMm, double fromMm, double toMm)
{
    for (int x = px(fromMm); x <= px(toMm); ++x)
        if (dark(img, x, px(yMm)))
            return x / kPxPerMm;
    return -1;
}

// The first dark pixel's edge (mm) going down column `xMm`.
double firstDarkY(const QImage &img, double xMm, double fromMm, double toMm)
{
    for (int y = px(fromMm); y <= px(toMm); ++y)
        if (dark(img, px(xMm), y))
            return y / kPxPerMm;
    return -1;
}

// The lower edge (mm) of the ink inside a box: for "H", the baseline.
double inkBottom(const QImage &img, const QRectF &mm)
{
    int bottom = -1;
    for (int y = px(mm.top()); y <= px(mm.bottom()); ++y)
        for (int x = px(mm.left()); x <= px(mm.right()); ++x)
            if (dark(img, x, y)) {
                bottom = y;
                break;
            }
    return bottom < 0 ? -1 : (bottom + 1) / kPxPerMm;
}

// The left edge (mm) of the ink inside a box.
double inkLeft(const QImage &img, const QRectF &mm)
{
    for (int x = px(mm.left()); x <= px(mm.right()); ++x)
        for (int y = px(mm.top()); y <= px(mm.bottom()); ++y)
            if (dark(img, x, y))
                return x / kPxPerMm;
    return -1;
}

struct Expect
{
    CardStyle style;
    QPointF origin;       // the first card's corner on the page
    double lineFrom, lineTo, lineY;
    QRectF photo;
    QPointF text;         // data text 1, left and top
};

} // namespace

class TestCardRaster : public QObject
{
    Q_OBJECT

    std::unique_ptr<testing::CardDb> db;

    void check(const QImage &page, const Expect &e)
    {
        const QPointF o = e.origin;
        // Row line 1: a thin dark run at its height, across its extent.
        for (double x : {e.lineFrom + 1, (e.lineFrom + e.lineTo) / 2, e.lineTo - 1}) {
            const double y = darkRunCentreY(page, o.x() + x, o.y() + e.lineY - 1, o.y() + e.lineY + 1);
            QVERIFY2(std::abs(y - (o.y() + e.lineY)) <= kTolerance, qPrintable(QString::number(y)));
        }
        QVERIFY(darkRunCentreY(page, o.x() + e.lineTo + 0.3, o.y() + e.lineY - 1, o.y() + e.lineY + 1) < 0);
        // The black photo fills its box.
        const QRectF ph = e.photo.translated(o);
        QVERIFY(std::abs(firstDarkX(page, ph.center().y(), ph.left() - 2, ph.right()) - ph.left()) <= kTolerance);
        QVERIFY(std::abs(firstDarkY(page, ph.center().x(), ph.top() - 2, ph.bottom()) - ph.top()) <= kTolerance);
        QVERIFY(!dark(page, px(ph.right() + 0.2), px(ph.center().y())));
        QVERIFY(!dark(page, px(ph.center().x()), px(ph.bottom() + 0.2)));
        // Data text 1, "H": its ink starts at the left bearing and stands on
        // the baseline one ascent below the text's top.
        QImage probe(10, 10, QImage::Format_RGB32);
        probe.setDotsPerMeterX(qRound(kDpi / 0.0254));
        probe.setDotsPerMeterY(qRound(kDpi / 0.0254));
        const QFontMetricsF m(ReportFont{}.toQFont(), &probe);
        const QRectF area(o.x() + e.text.x() - 1, o.y() + e.text.y() - 0.5, 4, 4);
        const double left = o.x() + e.text.x() + m.leftBearing(QLatin1Char('H')) / kPxPerMm;
        const double baseline = o.y() + e.text.y() + m.ascent() / kPxPerMm;
        QVERIFY2(std::abs(inkLeft(page, area) - left) <= kTolerance,
                 qPrintable(QStringLiteral("%1 vs %2").arg(inkLeft(page, area)).arg(left)));
        QVERIFY2(std::abs(inkBottom(page, area) - baseline) <= kTolerance,
                 qPrintable(QStringLiteral("%1 vs %2").arg(inkBottom(page, area)).arg(baseline)));
    }

    CardJob cardsFor(CardStyle style)
    {
        ScopedScriptedPrompts p;
        TFmLayout f(*db->ds);
        LayoutSettings s = f.settings;
        s.style = style;
        s.printBackground = false;
        s.rowField = {2, 0, 0, 0, 0, 0, 0};
        s.rowCaption = {};
        db->ds->QList.setSql(groupCardsSql(0));
        db->ds->QList.open();
        return composeLayout(s, false, CardMode::Print, db->ds->QList);
    }

private slots:
    void initTestCase()
    {
        db = std::make_unique<testing::CardDb>();
        addMember(*db, {.name = QStringLiteral("H"), .photo = jpegOf(60, 80, Qt::black)});
    }

    void pages_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<bool>("pdf");
        const Expect s1{CardStyle::Style1, {8.5, 13.5}, 44.10, 83.64, 20.06, {3.53, 21.17, 21.02, 27.93}, {45.17, 15.50}};
        const Expect s3{CardStyle::Style3, {13.5, 8.5}, 21.17, 54.09, 50.80, {16.46, 17.64, 21.02, 27.93}, {21.46, 46.30}};
        m_expect = {s1, s3};
        QTest::newRow("style 1 A6, painted") << 0 << false;
        QTest::newRow("style 1 A6, PDF") << 0 << true;
        QTest::newRow("style 3 A6 landscape, painted") << 1 << false;
        QTest::newRow("style 3 A6 landscape, PDF") << 1 << true;
    }

    void pages()
    {
        QFETCH(int, style);
        QFETCH(bool, pdf);
        const Expect e = m_expect[size_t(style)];
        const CardJob cards = cardsFor(e.style);
        const QSizeF size = cards.pages.pageSizeMm();
        QImage page;
        if (!pdf) {
            page = QImage(px(size.width()), px(size.height()), QImage::Format_RGB32);
            page.setDotsPerMeterX(qRound(kDpi / 0.0254));
            page.setDotsPerMeterY(qRound(kDpi / 0.0254));
            page.fill(Qt::white);
            QPainter painter(&page);
            paintCardPage(cards.design, cards.pages, 0, *cards.records, cards.options, painter);
        } else {
            const QString rasteriser = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
            if (rasteriser.isEmpty())
                QSKIP("pdftoppm (poppler-utils) is not installed");
            QTemporaryDir dir;
            const QString file = dir.filePath(QStringLiteral("cards.pdf"));
            QVERIFY(writeCardsPdfFile(cards, file));
            QProcess p;
            p.start(rasteriser, {QStringLiteral("-r"), QString::number(kDpi), QStringLiteral("-png"),
                                 QStringLiteral("-singlefile"), file, dir.filePath(QStringLiteral("page"))});
            QVERIFY(p.waitForFinished(60000));
            QCOMPARE(p.exitCode(), 0);
            QVERIFY(page.load(dir.filePath(QStringLiteral("page.png"))));
            // PDF pages are whole points: A6 is 297 x 420 pt, 0.2 mm off.
            QVERIFY2(std::abs(page.width() - px(size.width())) <= px(0.3) &&
                         std::abs(page.height() - px(size.height())) <= px(0.3),
                     qPrintable(QStringLiteral("%1 x %2").arg(page.width()).arg(page.height())));
        }
        check(page, e);
    }

private:
    std::vector<Expect> m_expect;
};

QTEST_MAIN(TestCardRaster)
#include "tst_cardraster.moc"
