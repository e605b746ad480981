// Painting: a page drawn at 600 dpi into an image and through a PDF file
// (rendered back with pdftoppm) puts a line, a picture and a text where the
// layout says, within 0.1 mm; and the family "Arial" has Arial's metrics.

#include "report/fontcheck.h"
#include "report/layout.h"
#include "report/output.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace tessary;

namespace {

constexpr int kDpi = 600;
constexpr double kPerMm = kDpi / 25.4;

// The bounding box, in mm, of the pixels inside `regionMm` that `match`.
QRectF inkBox(const QImage &image, const QRectF &regionMm, const std::function<bool(QRgb)> &match)
{
    const QRect region(QPoint(int(regionMm.left() * kPerMm), int(regionMm.top() * kPerMm)),
                       QPoint(int(regionMm.right() * kPerMm), int(regionMm.bottom() * kPerMm)));
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
    for (int y = std::max(0, region.top()); y <= std::min(image.height() - 1, region.bottom()); ++y) {
        for (int x = std::max(0, region.left()); x <= std::min(image.width() - 1, region.right()); ++x) {
            if (match(image.pixel(x, y))) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0)
        return {};
    return QRectF(left / kPerMm, top / kPerMm, (right + 1 - left) / kPerMm, (bottom + 1 - top) / kPerMm);
}

bool dark(QRgb p) { return qGray(p) < 128; }
bool red(QRgb p) { return qRed(p) > 160 && qGreen(p) < 90 && qBlue(p) < 90; }

#define QVERIFY_NEAR(actual, expected, tolerance)                                                                    \
    QVERIFY2(qAbs((actual) - (expected)) <= (tolerance),                                                            \
             qPrintable(QStringLiteral("%1 = %2, expected %3").arg(QLatin1String(#actual)).arg(actual).arg(expected)))

} // namespace

class TestPainting : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void itemsLandWhereLaidOut_data();
    void itemsLandWhereLaidOut();
    void arialHasArialMetrics();

private:
    Report m_report;
    ReportLayout m_layout;
    QTemporaryDir m_dir;
};

void TestPainting::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_report.page.paper = Paper::A6;
    ReportBand &band = m_report.addBand();
    band.height = 100;
    static ListRowSource one(QStringList{QStringLiteral("name")}, {{QStringLiteral("HHH")}});
    m_report.setRowSource(&one);
    m_report.page.topMargin = 10;
    m_report.page.leftMargin = 5;

    auto &line = band.add<ReportLine>(QStringLiteral("line"));
    line.setBox(5, 30, 50, 2.4); // drawn at y = 10 + 30 + 1.2 = 41.2 mm, x 10 .. 60
    line.penWidth = 0.3;
    auto &image = band.add<ReportImage>(QStringLiteral("image"));
    image.setBox(15.25, 50, 30.5, 20.2);
    band.beforePrint = [&image] {
        QImage red(60, 40, QImage::Format_RGB32);
        red.fill(qRgb(220, 20, 20));
        image.picture = red;
    };
    auto &text = band.add<ReportDataText>(QStringLiteral("text"));
    text.column = QStringLiteral("name");
    text.font.pointSize = 20;
    text.setBox(5, 5, 1, 1);
    m_layout = layOutReport(m_report);
}

void TestPainting::itemsLandWhereLaidOut_data()
{
    QTest::addColumn<bool>("throughPdf");
    QTest::newRow("image") << false;
    QTest::newRow("pdf") << true;
}

void TestPainting::itemsLandWhereLaidOut()
{
    QFETCH(bool, throughPdf);
    QImage page;
    if (!throughPdf) {
        const QSizeF size = m_layout.pageSize();
        page = QImage(qRound(size.width() * kPerMm), qRound(size.height() * kPerMm), QImage::Format_RGB32);
        page.setDotsPerMeterX(qRound(kDpi / 0.0254));
        page.setDotsPerMeterY(qRound(kDpi / 0.0254));
        page.fill(Qt::white);
        QPainter painter(&page);
        paintReportPage(m_report, m_layout, 0, painter);
    } else {
        const QString pdftoppm = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
        if (pdftoppm.isEmpty())
            QSKIP("pdftoppm (poppler-utils) is not installed");
        const QString pdf = m_dir.filePath(QStringLiteral("page.pdf"));
        QVERIFY(writeReportPdf(m_report, m_layout, pdf));
        QProcess render;
        render.start(pdftoppm, {QStringLiteral("-r"), QString::number(kDpi), QStringLiteral("-png"),
                                QStringLiteral("-singlefile"), pdf, m_dir.filePath(QStringLiteral("page"))});
        QVERIFY(render.waitForFinished(60000));
        QCOMPARE(render.exitCode(), 0);
        QVERIFY(page.load(m_dir.filePath(QStringLiteral("page.png"))));
    }
    // A PDF's A6 is 297 x 420 pt, a quarter of a millimetre short of 105 mm.
    QVERIFY_NEAR(page.width() / kPerMm, 105.0, 0.3);

    const LayoutItem *line = nullptr, *image = nullptr, *text = nullptr;
    for (const LayoutItem &item : m_layout.pages[0].items) {
        const QString name = item.element->name;
        (name == QStringLiteral("line") ? line : name == QStringLiteral("image") ? image : text) = &item;
    }
    QVERIFY(line && image && text);
    QCOMPARE(line->line, QLineF(10, 41.2, 60, 41.2));

    // The line: its ink centred on 41.2 mm, from 10 to 60 mm.
    const QRectF lineInk = inkBox(page, QRectF(5, 38, 60, 6), dark);
    QVERIFY_NEAR(lineInk.center().y(), 41.2, 0.1);
    QVERIFY_NEAR(lineInk.left(), 10.0, 0.1);
    QVERIFY_NEAR(lineInk.right(), 60.0, 0.1);
    QVERIFY_NEAR(lineInk.height(), 0.3, 0.1);

    // The picture fills its box.
    const QRectF imageInk = inkBox(page, QRectF(15, 55, 40, 30), red);
    QCOMPARE(image->box, QRectF(20.25, 60, 30.5, 20.2));
    QVERIFY_NEAR(imageInk.left(), 20.25, 0.1);
    QVERIFY_NEAR(imageInk.top(), 60.0, 0.1);
    QVERIFY_NEAR(imageInk.right(), 50.75, 0.1);
    QVERIFY_NEAR(imageInk.bottom(), 80.2, 0.1);

    // The text: its glyphs' ink where the font puts it inside the laid-out box.
    QCOMPARE(text->box.topLeft(), QPointF(10, 15));
    QImage device(1, 1, QImage::Format_RGB32);
    device.setDotsPerMeterX(qRound(kDpi / 0.0254));
    device.setDotsPerMeterY(qRound(kDpi / 0.0254));
    const QFontMetricsF metrics(text->font.toQFont(), &device);
    const QRectF glyphs = metrics.tightBoundingRect(QStringLiteral("HHH"));
    const QRectF expected((glyphs.left()) / kPerMm + 10, (metrics.ascent() + glyphs.top()) / kPerMm + 15,
                          glyphs.width() / kPerMm, glyphs.height() / kPerMm);
    const QRectF textInk = inkBox(page, QRectF(8, 13, 30, 12), dark);
    QVERIFY_NEAR(textInk.left(), expected.left(), 0.1);
    QVERIFY_NEAR(textInk.top(), expected.top(), 0.1);
    QVERIFY_NEAR(textInk.right(), expected.right(), 0.1);
    QVERIFY_NEAR(textInk.bottom(), expected.bottom(), 0.1);
    QVERIFY(textInk.right() <= text->box.right() + 0.1); // the auto-sized box holds the text
}

void TestPainting::arialHasArialMetrics()
{
    const FontMetricsCheck check = checkArialMetrics();
    QVERIFY2(check.metricsMatch, qPrintable(check.resolved + QStringLiteral(": ") + check.detail));
    // Another face must fail the check, or it proves nothing.
    const FontMetricsCheck other = checkArialMetrics(QStringLiteral("DejaVu Serif"));
    QVERIFY2(!other.metricsMatch, qPrintable(other.resolved));
}

QTEST_MAIN(TestPainting)
#include "tst_painting.moc"
