// A printer's calibration: the transform maps card points as stored; the
// settings of each printer are kept apart and bad values fall back; the
// settings editor keeps edits per printer and stores only a two-sided
// choice that differs from the printer's own.

#include "data/settings.h"
#include "printers/calibration.h"
#include "printers/calibrationcard.h"
#include "printers/printersettings.h"
#include "printers/printersettingseditor.h"

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace tessary;

Q_DECLARE_METATYPE(tessary::SideCalibration)

namespace {

void putRaw(const QString &name, const QVariant &value)
{
    QSettings s(QStringLiteral("KESMAR"), QStringLiteral("VaraDavuz"));
    s.setValue(name, value);
}

} // namespace

class TestCalibration : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void transformMapsCardPoints_data();
    void transformMapsCardPoints();
    void transformInDeviceUnits();
    void settingsAreKeptPerPrinter();
    void badValuesFallBack_data();
    void badValuesFallBack();
    void editorKeepsEditsAndStoresChoices();

private:
    QTemporaryDir m_dir;
};

void TestCalibration::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
    QVERIFY(QSettings(QStringLiteral("KESMAR"), QStringLiteral("VaraDavuz")).fileName().startsWith(m_dir.path()));
}

void TestCalibration::init() { QSettings(QStringLiteral("KESMAR"), QStringLiteral("VaraDavuz")).clear(); }

void TestCalibration::transformMapsCardPoints_data()
{
    QTest::addColumn<SideCalibration>("calibration");
    QTest::addColumn<QPointF>("point"); // card mm; the card at (10, 20), 85.6 x 53.98
    QTest::addColumn<QPointF>("expected");
    const QPointF centre(10 + 42.8, 20 + 26.99);
    QTest::newRow("none") << SideCalibration{} << QPointF(10, 20) << QPointF(10, 20);
    QTest::newRow("offset") << SideCalibration{15, -7} << QPointF(10, 20) << QPointF(11.5, 19.3);
    QTest::newRow("scale about the centre") << SideCalibration{0, 0, 1050, 950} << QPointF(10, 20)
                                            << QPointF(centre.x() - 42.8 * 1.05, centre.y() - 26.99 * 0.95);
    QTest::newRow("the centre stays") << SideCalibration{0, 0, 960, 1040} << centre << centre;
    QTest::newRow("offset is not scaled") << SideCalibration{50, 50, 950, 950} << centre << centre + QPointF(5, 5);
    QTest::newRow("scale then offset") << SideCalibration{-20, 10, 1020, 980} << QPointF(95.6, 73.98)
                                       << QPointF(centre.x() + 42.8 * 1.02 - 2, centre.y() + 26.99 * 0.98 + 1);
    QTest::newRow("turned corner") << SideCalibration{0, 0, 1000, 1000, true} << QPointF(10, 20) << QPointF(95.6, 73.98);
    // Offset as seen on the upright printed side: on the paper it goes the
    // other way.
    QTest::newRow("turned with offset and scale")
        << SideCalibration{10, 20, 1010, 990, true} << QPointF(10, 20)
        << QPointF(centre.x() + 42.8 * 1.01 - 1, centre.y() + 26.99 * 0.99 - 2);
}

void TestCalibration::transformMapsCardPoints()
{
    QFETCH(SideCalibration, calibration);
    QFETCH(QPointF, point);
    QFETCH(QPointF, expected);
    const QPointF got = calibrationTransform(calibration, QRectF(10, 20, 85.6, 53.98)).map(point);
    QVERIFY2(qAbs(got.x() - expected.x()) < 1e-9 && qAbs(got.y() - expected.y()) < 1e-9,
             qPrintable(QStringLiteral("%1, %2").arg(got.x()).arg(got.y())));
}

void TestCalibration::transformInDeviceUnits()
{
    // At 600 x 300 dots per inch the card's rect in dots and the same
    // calibration in millimetres land on the same paper point.
    const double dx = 600 / 25.4, dy = 300 / 25.4;
    const QRectF mm(8.5, 13.5, 85.6, 53.98);
    const QRectF dots(mm.x() * dx, mm.y() * dy, mm.width() * dx, mm.height() * dy);
    const SideCalibration c{-13, 27, 1033, 962, true};
    for (const QPointF p : {mm.topLeft(), mm.bottomRight(), QPointF(40, 30)}) {
        const QPointF inMm = calibrationTransform(c, mm).map(p);
        const QPointF inDots = calibrationTransform(c, dots, dx, dy).map(QPointF(p.x() * dx, p.y() * dy));
        QVERIFY(qAbs(inDots.x() / dx - inMm.x()) < 1e-9);
        QVERIFY(qAbs(inDots.y() / dy - inMm.y()) < 1e-9);
    }
}

void TestCalibration::settingsAreKeptPerPrinter()
{
    PrinterSettings card{QStringLiteral("CardPrinter"), {12, -3, 1004, 997}, {-50, 50, 950, 1050, true},
                         TwoSidedOption{"UTDuplex", "1Both"}};
    PrinterSettings sheet{QStringLiteral("Office/Laser"), {1, 2, 1001, 1002}, {}, TwoSidedOption{}};
    card.save();
    sheet.save();
    QCOMPARE(PrinterSettings::load(QStringLiteral("CardPrinter")), card);
    QCOMPARE(PrinterSettings::load(QStringLiteral("Office/Laser")), sheet);
    // An unknown printer has neutral settings and the printer's own option.
    const PrinterSettings other = PrinterSettings::load(QStringLiteral("Office"));
    QVERIFY(other.front.isIdentity() && other.back.isIdentity());
    QVERIFY(!other.twoSided);
    // The front is never turned, whatever the store says.
    putRaw(printerSettingsGroup(QStringLiteral("CardPrinter")) + QStringLiteral("/FrontTurned"), QStringLiteral("1"));
    QVERIFY(!PrinterSettings::load(QStringLiteral("CardPrinter")).front.turned);
}

void TestCalibration::badValuesFallBack_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");
    QTest::newRow("offset above") << QStringLiteral("BackOffsetX") << QVariant(QStringLiteral("51"));
    QTest::newRow("offset below") << QStringLiteral("FrontOffsetY") << QVariant(QStringLiteral("-51"));
    QTest::newRow("scale above") << QStringLiteral("FrontScaleX") << QVariant(QStringLiteral("1051"));
    QTest::newRow("scale below") << QStringLiteral("BackScaleY") << QVariant(QStringLiteral("949"));
    QTest::newRow("not a number") << QStringLiteral("FrontOffsetX") << QVariant(QStringLiteral("1.5mm"));
    QTest::newRow("decimal") << QStringLiteral("BackScaleX") << QVariant(QStringLiteral("1000.5"));
    QTest::newRow("not text") << QStringLiteral("FrontScaleY") << QVariant(QRect(1, 2, 3, 4));
    QTest::newRow("turn not 0 or 1") << QStringLiteral("BackTurned") << QVariant(QStringLiteral("2"));
    QTest::newRow("two-sided not option=choice") << QStringLiteral("TwoSided") << QVariant(QStringLiteral("Duplex"));
}

void TestCalibration::badValuesFallBack()
{
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    const QString queue = QStringLiteral("P1");
    // Every value off its neutral one, so a fallback shows.
    const PrinterSettings stored{queue, {5, 5, 1005, 1005}, {5, 5, 1005, 1005, true}, TwoSidedOption{"Duplex", "DuplexTumble"}};
    stored.save();
    putRaw(printerSettingsGroup(queue) + QLatin1Char('/') + key, value);
    PrinterSettings expected = stored;
    const SideCalibration neutral;
    SideCalibration &side = key.startsWith(QLatin1String("Front")) ? expected.front : expected.back;
    if (key.endsWith(QLatin1String("OffsetX")))
        side.offsetX = neutral.offsetX;
    else if (key.endsWith(QLatin1String("OffsetY")))
        side.offsetY = neutral.offsetY;
    else if (key.endsWith(QLatin1String("ScaleX")))
        side.scaleX = neutral.scaleX;
    else if (key.endsWith(QLatin1String("ScaleY")))
        side.scaleY = neutral.scaleY;
    else if (key.endsWith(QLatin1String("Turned")))
        side.turned = false;
    else
        expected.twoSided.reset();
    QCOMPARE(PrinterSettings::load(queue), expected);
}

void TestCalibration::editorKeepsEditsAndStoresChoices()
{
    PpdOption duplex{"Duplex", QStringLiteral("2-Sided"), "None", {{"None", QStringLiteral("Off")},
                                                                 {"DuplexNoTumble", QStringLiteral("Long Edge")},
                                                                 {"DuplexTumble", QStringLiteral("Short Edge")}}};
    int reads = 0;
    const auto source = [&](const QString &queue) {
        ++reads;
        return queue == QLatin1String("Duplexer") ? std::vector<PpdOption>{duplex} : std::vector<PpdOption>{};
    };
    PrinterSettingsEditor editor({QStringLiteral("Plain"), QStringLiteral("Duplexer")}, QStringLiteral("Duplexer"), source);
    QCOMPARE(editor.current(), QStringLiteral("Duplexer"));
    const auto entries = editor.twoSidedEntries();
    QCOMPARE(entries.size(), size_t(4));
    QCOMPARE(entries[0].text, QStringLiteral("One side only"));
    QCOMPARE(entries[2].text, QStringLiteral("Duplex=DuplexNoTumble (2-Sided: Long Edge) (printer's default)"));
    QCOMPARE(editor.twoSidedEntry(), 2);
    editor.chooseTwoSidedEntry(3);
    editor.settings().back.offsetX = -12;
    editor.select(QStringLiteral("Plain"));
    QCOMPARE(editor.twoSidedEntries()[0].text, QStringLiteral("One side only (printer's default)"));
    editor.settings().front.scaleY = 1013;
    editor.select(QStringLiteral("Duplexer"));
    QCOMPARE(editor.settings().back.offsetX, -12); // kept while looking at the other
    QCOMPARE(editor.twoSidedEntry(), 3);
    editor.select(QStringLiteral("Gone")); // not installed: nothing changes
    QCOMPARE(editor.current(), QStringLiteral("Duplexer"));
    QCOMPARE(reads, 2); // each PPD read once
    editor.save();

    const PrinterSettings duplexer = PrinterSettings::load(QStringLiteral("Duplexer"));
    QCOMPARE(duplexer.back.offsetX, -12);
    QCOMPARE(duplexer.twoSided, std::optional<TwoSidedOption>(TwoSidedOption{"Duplex", "DuplexTumble"}));
    const PrinterSettings plain = PrinterSettings::load(QStringLiteral("Plain"));
    QCOMPARE(plain.front.scaleY, 1013);
    QVERIFY(!plain.twoSided); // the printer's own: follows its PPD
    QCOMPARE(calibrationPrinter({QStringLiteral("Plain"), QStringLiteral("Duplexer")}, QStringLiteral("Plain")),
             QStringLiteral("Duplexer"));
    QCOMPARE(calibrationPrinter({QStringLiteral("Plain")}, QStringLiteral("Plain")), QStringLiteral("Plain"));

    // Choosing the printer's own again removes the stored choice.
    PrinterSettingsEditor again({QStringLiteral("Duplexer")}, QString(), source);
    again.chooseTwoSidedEntry(2);
    again.save();
    QVERIFY(!PrinterSettings::load(QStringLiteral("Duplexer")).twoSided);
}

QTEST_GUILESS_MAIN(TestCalibration)
#include "tst_calibration.moc"
