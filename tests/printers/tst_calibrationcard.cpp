// The calibration card: the printer's card size found among its page sizes,
// where the card lies on card and sheet stock, and the card printed into a
// PDF file and measured (pdftoppm at 600 dpi, pdftotext): it moves and
// scales by exactly the stored calibration, and is exact without one.

#include "printers/calibrationcard.h"

#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace tessary;

Q_DECLARE_METATYPE(tessary::SideCalibration)

namespace {

constexpr int kDpi = 600;
constexpr double kMmPerPixel = 25.4 / kDpi;

QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(120000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The pages of a PDF file as grey pictures.
QList<QImage> pages(const QString &pdf, const QString &prefix)
{
    run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(kDpi), QStringLiteral("-gray"), pdf, prefix});
    return {QImage(prefix + QStringLiteral("-1.pgm")), QImage(prefix + QStringLiteral("-2.pgm"))};
}

// The box of every pixel darker than half, in millimetres.
QRectF inkBox(const QImage &image)
{
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const uchar *line = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] < 128) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    return QRectF(QPointF(left, top) * kMmPerPixel, QPointF(right + 1, bottom + 1) * kMmPerPixel);
}

bool near(const QRectF &a, const QRectF &b, double tolerance)
{
    return qAbs(a.left() - b.left()) <= tolerance && qAbs(a.top() - b.top()) <= tolerance &&
           qAbs(a.right() - b.right()) <= tolerance && qAbs(a.bottom() - b.bottom()) <= tolerance;
}

QString text(const QRectF &r)
{
    return QStringLiteral("(%1, %2) - (%3, %4)").arg(r.left()).arg(r.top()).arg(r.right()).arg(r.bottom());
}

// Where the calibration puts the card: scaled about its centre, moved (the
// other way on the paper when turned).
QRectF expectedCard(const QRectF &card, const SideCalibration &c)
{
    const double sign = c.turned ? -1 : 1;
    const QPointF centre = card.center() + sign * QPointF(c.offsetXMm(), c.offsetYMm());
    const QSizeF size(card.width() * c.scaleXFactor(), card.height() * c.scaleYFactor());
    return QRectF(centre - QPointF(size.width() / 2, size.height() / 2), size);
}

// The vertical middle of the word `word` on page `page`, in millimetres.
double wordMiddle(const QString &pdf, int page, const QString &word)
{
    const QString n = QString::number(page);
    const QString html = run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), QStringLiteral("-f"), n,
                                                           QStringLiteral("-l"), n, pdf, QStringLiteral("-")});
    const auto m = QRegularExpression(QStringLiteral("yMin=\"([\\d.]+)\" xMax=\"[\\d.]+\" yMax=\"([\\d.]+)\">%1<")
                                          .arg(word))
                       .match(html);
    return m.hasMatch() ? (m.captured(1).toDouble() + m.captured(2).toDouble()) / 2 * 25.4 / 72 : -1;
}

} // namespace

class TestCalibrationCard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cardSizeOfThePrinter_data();
    void cardSizeOfThePrinter();
    void whereTheCardLies();
    void printedCardMovesByTheCalibration_data();
    void printedCardMovesByTheCalibration();
    void jobOptions();

private:
    QTemporaryDir m_dir;
};

void TestCalibrationCard::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
}

void TestCalibrationCard::cardSizeOfThePrinter_data()
{
    QTest::addColumn<QList<QPageSize>>("sizes");
    QTest::addColumn<QString>("expected"); // the name found; empty: none
    const auto named = [](double w, double h, const char *name) {
        return QPageSize(QSizeF(w, h), QPageSize::Point, QString::fromLatin1(name));
    };
    const QPageSize a4(QPageSize::A4), a6(QPageSize::A6);
    QTest::newRow("CR80") << QList{a4, named(153.6, 241.5, "CR80")} << QStringLiteral("CR80");
    QTest::newRow("w155h244, by name only") << QList{a6, named(161.28, 243.84, "w155h244")} << QStringLiteral("w155h244");
    QTest::newRow("name before size") << QList{named(153, 243, "Near"), named(154, 243.8, "1XCR80")}
                                      << QStringLiteral("1XCR80");
    QTest::newRow("landscape within 1.5 mm") << QList{a4, named(85.6 * 72 / 25.4 + 3, 53.98 * 72 / 25.4 - 3, "Wide")}
                                             << QStringLiteral("Wide");
    QTest::newRow("1.9 mm off") << QList{named(53.98 * 72 / 25.4 + 5.5, 85.6 * 72 / 25.4, "Off")} << QString();
    QTest::newRow("sheets only") << QList{a4, a6} << QString();
    QTest::newRow("nothing") << QList<QPageSize>{} << QString();
}

void TestCalibrationCard::cardSizeOfThePrinter()
{
    QFETCH(QList<QPageSize>, sizes);
    QFETCH(QString, expected);
    const std::optional<QPageSize> found = cardStockSize(sizes);
    QCOMPARE(found ? found->name() : QString(), expected);
}

void TestCalibrationCard::whereTheCardLies()
{
    // On sheets: the first card cell; the back where the front lies after a
    // turn over the long edge.
    for (const auto &[paper, width, origin] : {std::tuple{SheetPaper::A6, 105.0, QPointF(8.5, 13.5)},
                                               std::tuple{SheetPaper::A4, 210.0, QPointF(12, 8.5)}}) {
        const CalibrationSheet sheet = calibrationSheet(std::nullopt, paper);
        QVERIFY(!sheet.cardStock);
        QCOMPARE(sheet.front, QRectF(origin, QSizeF(kCardWidthMm, kCardHeightMm)));
        QCOMPARE(sheet.back.top(), sheet.front.top());
        QVERIFY(qAbs(width - sheet.back.right() - sheet.front.left()) < 1e-9);
        QCOMPARE(sheet.layout.orientation(), QPageLayout::Portrait);
        QCOMPARE(sheet.media, paper == SheetPaper::A4 ? QByteArray("A4") : QByteArray("A6"));
    }
    // On the printer's card: landscape, the card centred on its page.
    const QPageSize cr80(QSizeF(153.6, 241.5), QPageSize::Point, QStringLiteral("CR80"));
    const CalibrationSheet card = calibrationSheet(cr80, SheetPaper::A4);
    QVERIFY(card.cardStock);
    QCOMPARE(card.layout.orientation(), QPageLayout::Landscape);
    const QRectF page = card.layout.fullRect(QPageLayout::Millimeter);
    QVERIFY(qAbs(card.front.center().x() - page.center().x()) < 1e-9);
    QVERIFY(qAbs(card.front.center().y() - page.center().y()) < 1e-9);
    QCOMPARE(card.back, card.front);
}

void TestCalibrationCard::printedCardMovesByTheCalibration_data()
{
    QTest::addColumn<SideCalibration>("front");
    QTest::addColumn<SideCalibration>("back");
    QTest::addColumn<bool>("calibrated"); // false: as the preview and PDF files paint
    QTest::newRow("none") << SideCalibration{} << SideCalibration{} << true;
    QTest::newRow("offset and scale") << SideCalibration{15, -7, 1030, 960} << SideCalibration{-50, 50, 950, 1050}
                                      << true;
    QTest::newRow("back turned") << SideCalibration{} << SideCalibration{12, 5, 1010, 990, true} << true;
    QTest::newRow("stored but not a printer") << SideCalibration{15, -7, 1030, 960}
                                              << SideCalibration{12, 5, 1010, 990, true} << false;
}

void TestCalibrationCard::printedCardMovesByTheCalibration()
{
    QFETCH(SideCalibration, front);
    QFETCH(SideCalibration, back);
    QFETCH(bool, calibrated);
    const QString queue = QStringLiteral("Sheets");
    PrinterSettings{queue, front, back, std::nullopt}.save();
    const PrinterSettings stored = PrinterSettings::load(queue);
    QCOMPARE(stored.front, front);
    QCOMPARE(stored.back, back);

    const CalibrationSheet sheet = calibrationSheet(std::nullopt, SheetPaper::A6);
    const QString pdf = m_dir.filePath(QStringLiteral("%1.pdf").arg(QString::fromLatin1(QTest::currentDataTag())));
    {
        QPdfWriter writer(pdf);
        writer.setResolution(1200);
        QVERIFY(writer.setPageLayout(sheet.layout));
        QVERIFY(paintCalibrationPages(writer, sheet, calibrated ? &stored : nullptr, queue));
    }
    const QList<QImage> images = pages(pdf, m_dir.filePath(QStringLiteral("page")));
    QVERIFY(!images[0].isNull() && !images[1].isNull());
    const QRectF frontInk = inkBox(images[0]);
    const QRectF backInk = inkBox(images[1]);
    const QRectF wantFront = calibrated ? expectedCard(sheet.front, front) : sheet.front;
    const QRectF wantBack = calibrated ? expectedCard(sheet.back, back) : sheet.back;
    QVERIFY2(near(frontInk, wantFront, 0.05), qPrintable(text(frontInk) + QStringLiteral(" not ") + text(wantFront)));
    QVERIFY2(near(backInk, wantBack, 0.05), qPrintable(text(backInk) + QStringLiteral(" not ") + text(wantBack)));

    // The side's name above the centre, below it when the back is turned.
    QVERIFY(wordMiddle(pdf, 1, QStringLiteral("Front")) < sheet.front.center().y());
    const double backWord = wordMiddle(pdf, 2, QStringLiteral("Back"));
    QVERIFY(backWord > 0);
    QCOMPARE(backWord > sheet.back.center().y(), calibrated && back.turned);
}

void TestCalibrationCard::jobOptions()
{
    using Options = std::vector<std::pair<QByteArray, QByteArray>>;
    QCOMPARE(cardJobOptions("CR80", TwoSidedOption{"UTDuplex", "1Both"}),
             (Options{{"media", "CR80"}, {"print-scaling", "none"}, {"UTDuplex", "1Both"}}));
    QCOMPARE(cardJobOptions("A4", TwoSidedOption{}),
             (Options{{"media", "A4"}, {"print-scaling", "none"}, {"sides", "one-sided"}}));
}

QTEST_MAIN(TestCalibrationCard)
#include "tst_calibrationcard.moc"
