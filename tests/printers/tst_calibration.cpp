// A printer's calibration: the transform maps card points as stored; each
// printer's settings are kept apart and bad values fall back. (The settings
// editor is tested through its dialog, tests/app/tst_printerdialog.cpp.)

#include "printers/printersettings.h"

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace tessary;

Q_DECLARE_METATYPE(tessary::SideCalibration)

class TestCalibration : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { QSettings(QStringLiteral("KESMAR"), QStringLiteral("VaraDavuz")).clear(); }
    void transformMapsCardPoints_data();
    void transformMapsCardPoints();
    void calibrationForTheOtherPage();
    void settingsPerPrinterAndFallbacks();

private:
    QTemporaryDir m_dir;
};

void TestCalibration::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
}

void TestCalibration::transformMapsCardPoints_data()
{
    QTest::addColumn<SideCalibration>("calibration");
    QTest::addColumn<QPointF>("point"); // mm; the card at (10, 20), 85.6 x 53.98
    QTest::addColumn<QPointF>("expected");
    const QPointF c(10 + 42.8, 20 + 26.99);
    QTest::newRow("none") << SideCalibration{} << QPointF(10, 20) << QPointF(10, 20);
    QTest::newRow("offset") << SideCalibration{15, -7} << QPointF(10, 20) << QPointF(11.5, 19.3);
    QTest::newRow("scale about the centre") << SideCalibration{0, 0, 1050, 950} << QPointF(10, 20)
                                            << QPointF(c.x() - 42.8 * 1.05, c.y() - 26.99 * 0.95);
    QTest::newRow("offset is not scaled") << SideCalibration{50, 50, 950, 950} << c << c + QPointF(5, 5);
    QTest::newRow("scale then offset") << SideCalibration{-20, 10, 1020, 980} << QPointF(95.6, 73.98)
                                       << QPointF(c.x() + 42.8 * 1.02 - 2, c.y() + 26.99 * 0.98 + 1);
    QTest::newRow("turned corner") << SideCalibration{0, 0, 1000, 1000, true} << QPointF(10, 20) << QPointF(95.6, 73.98);
    // The offset as seen on the upright printed side: the other way on paper.
    QTest::newRow("turned, offset and scale") << SideCalibration{10, 20, 1010, 990, true} << QPointF(10, 20)
                                              << QPointF(c.x() + 42.8 * 1.01 - 1, c.y() + 26.99 * 0.99 - 2);
}

void TestCalibration::transformMapsCardPoints()
{
    QFETCH(SideCalibration, calibration);
    QFETCH(QPointF, point);
    QFETCH(QPointF, expected);
    const QRectF card(10, 20, 85.6, 53.98);
    const QPointF got = calibrationTransform(calibration, card).map(point);
    QVERIFY2(qAbs(got.x() - expected.x()) < 1e-9 && qAbs(got.y() - expected.y()) < 1e-9,
             qPrintable(QStringLiteral("%1, %2").arg(got.x()).arg(got.y())));
    // The same in device units of 600 x 300 dots per inch.
    const double dx = 600 / 25.4, dy = 300 / 25.4;
    const QTransform dots = QTransform::fromScale(dx, dy);
    const QPointF inDots = calibrationTransform(calibration, dots.mapRect(card), dx, dy).map(dots.map(point));
    QVERIFY(qAbs(inDots.x() / dx - expected.x()) < 1e-9 && qAbs(inDots.y() / dy - expected.y()) < 1e-9);
}

void TestCalibration::calibrationForTheOtherPage()
{
    // On the media, a card on a landscape page with the calibration measured
    // there lands where the same card on a portrait page lands with the
    // calibration for that page (CUPS: landscape (x, y) -> portrait (y, H - x)).
    const double h = 100;
    const auto toMedia = [h](QPointF p) { return QPointF(p.y(), h - p.x()); };
    const QRectF landscape(5, 3, 85.6, 53.98), portrait(3, h - 90.6, 53.98, 85.6);
    for (const SideCalibration &c : {SideCalibration{12, -30, 1020, 970}, SideCalibration{-5, 7, 990, 1040, true}}) {
        const SideCalibration turned = calibrationForPage(c, QPageLayout::Landscape, QPageLayout::Portrait);
        QCOMPARE(calibrationForPage(turned, QPageLayout::Portrait, QPageLayout::Landscape), c);
        QCOMPARE(calibrationForPage(c, QPageLayout::Portrait, QPageLayout::Portrait), c);
        for (const QPointF p : {landscape.topLeft(), landscape.bottomRight(), QPointF(30, 40)}) {
            const QPointF a = toMedia(calibrationTransform(c, landscape).map(p));
            const QPointF b = calibrationTransform(turned, portrait).map(toMedia(p));
            QVERIFY2(qAbs(a.x() - b.x()) < 1e-9 && qAbs(a.y() - b.y()) < 1e-9, qPrintable(QString::number(b.x())));
        }
    }
}

void TestCalibration::settingsPerPrinterAndFallbacks()
{
    const PrinterSettings card{QStringLiteral("Card"), {12, -3, 1004, 997}, {-50, 50, 950, 1050, true},
                               TwoSidedOption{"UTDuplex", "1Both"}};
    const PrinterSettings sheet{QStringLiteral("Office/Laser"), {5, 5, 1005, 1005}, {5, 5, 1005, 1005, true},
                                TwoSidedOption{}};
    card.save();
    sheet.save();
    QCOMPARE(PrinterSettings::load(card.queue), card);
    QCOMPARE(PrinterSettings::load(sheet.queue), sheet);

    // Each bad value falls back alone; the front is never turned.
    const std::pair<const char *, QVariant> bad[] = {
        {"BackOffsetX", QStringLiteral("51")},   {"FrontOffsetY", QStringLiteral("-51")},
        {"FrontScaleX", QStringLiteral("1051")}, {"BackScaleY", QStringLiteral("949")},
        {"FrontOffsetX", QStringLiteral("1.5mm")}, {"BackScaleX", QStringLiteral("1000.5")},
        {"FrontScaleY", QRect(1, 2, 3, 4)},      {"BackTurned", QStringLiteral("2")},
        {"FrontTurned", QStringLiteral("1")},     {"TwoSided", QStringLiteral("Duplex")}};
    PrinterSettings expected = sheet;
    expected.back.offsetX = expected.front.offsetY = expected.front.offsetX = 0;
    expected.front.scaleX = expected.back.scaleY = expected.back.scaleX = expected.front.scaleY = 1000;
    expected.back.turned = false;
    expected.twoSided.reset();
    for (const auto &[key, value] : bad)
        QSettings(QStringLiteral("KESMAR"), QStringLiteral("VaraDavuz"))
            .setValue(printerSettingsGroup(sheet.queue) + QLatin1Char('/') + QLatin1String(key), value);
    QCOMPARE(PrinterSettings::load(sheet.queue), expected);
}

QTEST_GUILESS_MAIN(TestCalibration)
#include "tst_calibration.moc"
