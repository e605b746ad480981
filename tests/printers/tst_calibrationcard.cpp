// The calibration card: the printer's card size among its page sizes, where
// the card lies on card and sheet stock, and the card printed into a PDF
// file and measured (pdftoppm at 600 dpi): it moves and scales by exactly
// the stored calibration (the other way when turned), and is exact without.

#include "printers/calibrationcard.h"

#include <QPdfWriter>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace tessary;

Q_DECLARE_METATYPE(tessary::SideCalibration)

namespace {

// The box of the pixels darker than half on page `page`, in millimetres.
QRectF inkBox(const QString &pdf, int page)
{
    const QString n = QString::number(page), prefix = pdf + n;
    QProcess::execute(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("600"), QStringLiteral("-gray"),
                                     QStringLiteral("-f"), n, QStringLiteral("-l"), n, QStringLiteral("-singlefile"), pdf, prefix});
    const QImage image(prefix + QStringLiteral(".pgm"));
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.constScanLine(y)[x] < 128)
                box |= QRect(x, y, 1, 1);
    return QRectF(QPointF(box.topLeft()) * (25.4 / 600), QPointF(box.bottomRight() + QPoint(1, 1)) * (25.4 / 600));
}

} // namespace

class TestCalibrationCard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cardSizeOfThePrinter_data();
    void cardSizeOfThePrinter();
    void whereTheCardLiesAndJobOptions();
    void printedCardMovesByTheCalibration_data();
    void printedCardMovesByTheCalibration();

private:
    QTemporaryDir m_dir;
};

void TestCalibrationCard::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
}

void TestCalibrationCard::cardSizeOfThePrinter_data()
{
    QTest::addColumn<QList<QPageSize>>("sizes");
    QTest::addColumn<QString>("expected"); // the name found; empty: none
    const auto size = [](double w, double h, const char *name) {
        return QPageSize(QSizeF(w, h), QPageSize::Point, QString::fromLatin1(name));
    };
    const QPageSize a4(QPageSize::A4), a6(QPageSize::A6);
    const double w = 85.6 * 72 / 25.4, h = 53.98 * 72 / 25.4;
    QTest::newRow("CR80") << QList{a4, size(153.6, 241.5, "CR80")} << QStringLiteral("CR80");
    QTest::newRow("w155h244 by name") << QList{a6, a4, size(161.28, 243.84, "w155h244")} << QStringLiteral("w155h244");
    QTest::newRow("name first") << QList{size(153, 243, "Near"), size(154, 243.8, "1XCR80")} << QStringLiteral("1XCR80");
    QTest::newRow("within 1.5 mm") << QList{a4, size(w + 3, h - 3, "Wide")} << QStringLiteral("Wide");
    QTest::newRow("1.9 mm off") << QList{size(h + 5.5, w, "Off")} << QString();
    QTest::newRow("by size, turned") << QList{a4, size(154.5, 243.5, "Badge")} << QStringLiteral("Badge");
    QTest::newRow("Card named first") << QList{size(153, 243, "Near"), size(243.8, 155.5, "Card")} << QStringLiteral("Card");
    QTest::newRow("sheets only") << QList{a4, a6} << QString();
}

void TestCalibrationCard::cardSizeOfThePrinter()
{
    QFETCH(QList<QPageSize>, sizes);
    QFETCH(QString, expected);
    const std::optional<QPageSize> found = cardStockSize(sizes);
    QCOMPARE(found ? found->name() : QString(), expected);
}

void TestCalibrationCard::whereTheCardLiesAndJobOptions()
{
    // Sheets: the first card cell; the back lies behind the front after a
    // turn over the long edge.
    for (const auto &[paper, width, origin] : {std::tuple{SheetPaper::A6, 105.0, QPointF(8.5, 13.5)},
                                               std::tuple{SheetPaper::A4, 210.0, QPointF(12, 8.5)}}) {
        const CalibrationSheet sheet = calibrationSheet(std::nullopt, paper);
        QCOMPARE(sheet.front, QRectF(origin, QSizeF(kCardWidthMm, kCardHeightMm)));
        QVERIFY(sheet.back.top() == sheet.front.top() && qAbs(width - sheet.back.right() - sheet.front.left()) < 1e-9);
        QCOMPARE(sheet.media, paper == SheetPaper::A4 ? QByteArray("A4") : QByteArray("A6"));
    }
    // The printer's card: landscape, the card centred on its page.
    const CalibrationSheet card = calibrationSheet(QPageSize(QSizeF(153.6, 241.5), QPageSize::Point), SheetPaper::A4);
    QVERIFY(card.cardStock && card.layout.orientation() == QPageLayout::Landscape && card.back == card.front);
    const QPointF off = card.front.center() - card.layout.fullRect(QPageLayout::Millimeter).center();
    QVERIFY(qAbs(off.x()) < 1e-9 && qAbs(off.y()) < 1e-9);

    using Options = std::vector<std::pair<QByteArray, QByteArray>>;
    QCOMPARE(cardJobOptions("CR80", TwoSidedOption{"UTDuplex", "1Both"}),
             (Options{{"media", "CR80"}, {"print-scaling", "none"}, {"UTDuplex", "1Both"}}));
    QCOMPARE(cardJobOptions("A4", TwoSidedOption{}), (Options{{"media", "A4"}, {"print-scaling", "none"}, {"sides", "one-sided"}}));
}

void TestCalibrationCard::printedCardMovesByTheCalibration_data()
{
    QTest::addColumn<SideCalibration>("front");
    QTest::addColumn<SideCalibration>("back");
    QTest::addColumn<bool>("printer"); // false: as for the preview and PDF files
    const SideCalibration moved{15, -7, 1030, 960}, turned{12, 5, 1010, 990, true};
    QTest::newRow("none") << SideCalibration{} << SideCalibration{} << true;
    QTest::newRow("offset and scale") << moved << SideCalibration{-50, 50, 950, 1050} << true;
    QTest::newRow("back turned") << SideCalibration{} << turned << true;
    QTest::newRow("not a printer") << moved << turned << false;
}

void TestCalibrationCard::printedCardMovesByTheCalibration()
{
    QFETCH(SideCalibration, front);
    QFETCH(SideCalibration, back);
    QFETCH(bool, printer);
    PrinterSettings{QStringLiteral("Sheets"), front, back, std::nullopt}.save();
    const PrinterSettings stored = PrinterSettings::load(QStringLiteral("Sheets")); // as stored

    const CalibrationSheet sheet = calibrationSheet(std::nullopt, SheetPaper::A6);
    const QString pdf = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".pdf"));
    {
        QPdfWriter writer(pdf);
        writer.setResolution(1200);
        QVERIFY(writer.setPageLayout(sheet.layout));
        QVERIFY(paintCalibrationPages(writer, sheet, printer ? &stored : nullptr, stored.queue));
    }
    for (const auto &[page, card, calibration] : {std::tuple{1, sheet.front, front}, std::tuple{2, sheet.back, back}}) {
        const QPointF d = (calibration.turned ? -1 : 1) * QPointF(calibration.offsetXMm(), calibration.offsetYMm());
        const QSizeF size(card.width() * calibration.scaleXFactor(), card.height() * calibration.scaleYFactor());
        const QRectF ink = inkBox(pdf, page);
        const QRectF want = printer ? QRectF(card.center() + d - QPointF(size.width(), size.height()) / 2, size) : card;
        const QPointF a = ink.topLeft() - want.topLeft(), b = ink.bottomRight() - want.bottomRight();
        QVERIFY2(qMax(qMax(qAbs(a.x()), qAbs(a.y())), qMax(qAbs(b.x()), qAbs(b.y()))) <= 0.05,
                 qPrintable(QStringLiteral("page %1 off by %2 %3 %4 %5 mm").arg(page).arg(a.x()).arg(a.y()).arg(b.x()).arg(b.y())));
    }
}

QTEST_MAIN(TestCalibrationCard)
#include "tst_calibrationcard.moc"
