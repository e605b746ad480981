// Barcodes: what libzint encodes and refuses, symbols held at their module
// width and centred in their box, the members a run could not print as
// designed, and printed symbols decoded from a PDF rendered at 600 dpi.

#include "cardmodel/barcode.h"
#include "cardmodel/renderer.h"

#include <QBuffer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace tessary;

namespace {

constexpr int kDpi = 600;
constexpr double kPxPerMm = kDpi / 25.4;
const QString kLatinName = QStringLiteral("Zoë Müller-Łukasz");
const QString kChineseName = QStringLiteral("张伟明");

MemberRecord member(const QString &name, const QString &staff = QStringLiteral("E-004711"),
                    const QString &card = QStringLiteral("0004217735"))
{
    MemberRecord r;
    r.set(QStringLiteral("Name"), name);
    r.set(QStringLiteral("StaffNo"), staff);
    r.set(QStringLiteral("CardNo"), card);
    return r;
}

CardDesign designWith(Symbology symbology, const QString &field, QRectF box, double module, bool text = false)
{
    CardDesign design;
    auto &e = design.front().add<BarcodeElement>(QStringLiteral("code"));
    e.symbology = symbology;
    e.field = field;
    e.box = MmBox::fromRectF(box);
    e.moduleWidth = module;
    e.humanReadable = text;
    return design;
}

// The extent (bars only, quiet zones left out) of a symbol's bars, in modules.
QRectF barExtent(const BarcodeSymbol &s)
{
    QRectF r;
    for (const QRectF &b : s.bars)
        r = r.isNull() ? b : r.united(b);
    return r;
}

QString output(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// Renders `rectMm` of page `page` (1-based) at 600 dpi into a PNG, 1 mm around it.
QString crop(const QString &pdf, int page, const QRectF &rectMm)
{
    const QRectF r = rectMm.adjusted(-1, -1, 1, 1);
    const QString out = pdf + QStringLiteral("-crop");
    const QStringList args{QStringLiteral("-r"), QString::number(kDpi), QStringLiteral("-f"), QString::number(page),
                           QStringLiteral("-l"), QString::number(page), QStringLiteral("-x"),
                           QString::number(qRound(r.left() * kPxPerMm)), QStringLiteral("-y"),
                           QString::number(qRound(r.top() * kPxPerMm)), QStringLiteral("-W"),
                           QString::number(qRound(r.width() * kPxPerMm)), QStringLiteral("-H"),
                           QString::number(qRound(r.height() * kPxPerMm)), QStringLiteral("-gray"),
                           QStringLiteral("-singlefile"), QStringLiteral("-png"), pdf, out};
    QProcess p;
    p.start(QStringLiteral("pdftoppm"), args);
    return p.waitForFinished(60000) && p.exitCode() == 0 ? out + QStringLiteral(".png") : QString();
}

QString decode(const QString &png, Symbology s)
{
    if (s == Symbology::Code128 || s == Symbology::QrCode)
        return output(QStringLiteral("zbarimg"), {QStringLiteral("--nodbus"), QStringLiteral("-q"),
                                                  QStringLiteral("--raw"), png});
    // The text as its ECI says: the line 'Text:       "<text>"'.
    for (const QString &line : output(QStringLiteral("ZXingReader"), {png}).split(QLatin1Char('\n')))
        if (line.startsWith(QStringLiteral("Text:")))
            return line.section(QLatin1Char('"'), 1, -2);
    return QString();
}

bool haveDecoders()
{
    for (const char *tool : {"pdftoppm", "zbarimg", "ZXingReader"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            return false;
    return true;
}

// The dark pixels' horizontal extent in a crop, in pixels.
int darkWidth(const QString &png)
{
    const QImage img(png);
    int first = img.width(), last = -1;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qGray(img.pixel(x, y)) < 128) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
    return last - first + 1;
}

} // namespace

class TestBarcodes : public QObject
{
    Q_OBJECT

private slots:
    void encode_data();
    void encode();
    void moduleHeld_data();
    void moduleHeld();
    void properties_data();
    void properties();
    void unencodableListed();
    void decodes_data();
    void decodes();
};

void TestBarcodes::encode_data()
{
    QTest::addColumn<int>("symbology");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("error"); // the start of libzint's reason; empty: encoded

    const int c128 = int(Symbology::Code128);
    QTest::newRow("Code 128 staff number") << c128 << QStringLiteral("E-004711") << QString();
    QTest::newRow("Code 128 Latin-1 name") << c128 << QStringLiteral("Zoë Müller") << QString();
    QTest::newRow("Code 128 outside Latin-1") << c128 << kLatinName << QStringLiteral("Error 204");
    QTest::newRow("Code 128 empty") << c128 << QString() << QStringLiteral("Error 778");
    QTest::newRow("Code 128 too long") << c128 << QString(200, QLatin1Char('A')) << QStringLiteral("Error 340");
    for (Symbology s : {Symbology::QrCode, Symbology::Pdf417, Symbology::DataMatrix}) {
        const QByteArray name = symbologyTitle(s).toUtf8();
        QTest::newRow(name + " Chinese") << int(s) << kChineseName << QString();
        QTest::newRow(name + " Latin") << int(s) << kLatinName << QString();
        QTest::newRow(name + " empty") << int(s) << QString() << QStringLiteral("Error");
        QTest::newRow(name + " too long") << int(s) << QString(5000, QChar(0x4F1F)) << QStringLiteral("Error");
    }
    // An id libzint knows but cards do not print, and one it does not know.
    QTest::newRow("other libzint symbology") << 21 << QStringLiteral("123") << QStringLiteral("Unknown symbology");
    QTest::newRow("no symbology") << 9999 << QStringLiteral("123") << QStringLiteral("Unknown symbology");
}

void TestBarcodes::encode()
{
    QFETCH(int, symbology);
    QFETCH(QString, value);
    QFETCH(QString, error);

    const BarcodeSymbol s = encodeBarcode(Symbology(symbology), value, true);
    QVERIFY2(error.isEmpty() ? s.ok() : s.error.startsWith(error), qPrintable(s.error));
    if (!error.isEmpty()) {
        QVERIFY(s.bars.empty());
        return;
    }
    QVERIFY(!s.bars.empty());
    QVERIFY(barExtent(s).width() < s.size.width()); // quiet zones on
    if (symbology == int(Symbology::QrCode) || symbology == int(Symbology::DataMatrix))
        QCOMPARE(s.size.width(), s.size.height());
    // Code 128's text, as libzint places it, and nothing under 2D symbols.
    QCOMPARE(s.texts.size(), symbology == int(Symbology::Code128) ? size_t(1) : size_t(0));
    if (!s.texts.empty())
        QCOMPARE(s.texts.front().text, value);
}

void TestBarcodes::moduleHeld_data()
{
    QTest::addColumn<int>("symbology");
    QTest::addColumn<double>("module");
    QTest::addColumn<QSizeF>("box");
    QTest::addColumn<double>("rowModules"); // the lowest bar, in modules; 0: Code 128 (the box's)
    QTest::addColumn<bool>("fits");

    const int c128 = int(Symbology::Code128);
    QTest::newRow("Code 128 0.33") << c128 << 0.33 << QSizeF(60, 12) << 0.0 << true;
    QTest::newRow("Code 128 0.25") << c128 << 0.25 << QSizeF(60, 8) << 0.0 << true;
    QTest::newRow("Code 128 too narrow") << c128 << 0.33 << QSizeF(30, 12) << 0.0 << false;
    QTest::newRow("Code 128 too low") << c128 << 0.33 << QSizeF(60, 3) << 0.0 << false;
    QTest::newRow("QR 0.5") << int(Symbology::QrCode) << 0.5 << QSizeF(30, 30) << 1.0 << true;
    QTest::newRow("QR too small") << int(Symbology::QrCode) << 0.5 << QSizeF(10, 30) << 1.0 << false;
    QTest::newRow("PDF417 0.3") << int(Symbology::Pdf417) << 0.3 << QSizeF(60, 20) << 3.0 << true;
    QTest::newRow("Data Matrix 0.4") << int(Symbology::DataMatrix) << 0.4 << QSizeF(20, 20) << 1.0 << true;
    QTest::newRow("Data Matrix too low") << int(Symbology::DataMatrix) << 0.4 << QSizeF(20, 5) << 1.0 << false;
}

void TestBarcodes::moduleHeld()
{
    QFETCH(int, symbology);
    QFETCH(double, module);
    QFETCH(QSizeF, box);
    QFETCH(double, rowModules);
    QFETCH(bool, fits);

    const CardDesign design = designWith(Symbology(symbology), QStringLiteral("staffno"), QRectF(QPointF(5, 5), box),
                                         module, true);
    const MemberRecord record = member(QStringLiteral("Ann Lee"));
    CardProblems problems;
    const ElementContext ctx{record, QPointF(10, 20), 0, false, nullptr, QLocale::c(), 3, &problems};
    std::vector<CardItem> items;
    design.front().elements.front()->layOut(ctx, items);
    QCOMPARE(items.size(), size_t(1));
    const CardItem &item = items.front();
    QVERIFY(item.barcode);
    // Printed at its module width, never scaled to the box, centred in it.
    QCOMPARE(item.box.size(), item.barcode->size * module);
    QVERIFY(qAbs(item.box.center().x() - (15 + box.width() / 2)) < 1e-6);
    QVERIFY(qAbs(item.box.center().y() - (25 + box.height() / 2)) < 1e-6);
    double narrowest = 1e9, lowest = 1e9;
    for (const QRectF &b : item.barcode->bars) {
        narrowest = std::min(narrowest, b.width() * module);
        lowest = std::min(lowest, b.height() * module);
    }
    QVERIFY(qAbs(narrowest - module) < 0.01);
    if (rowModules > 0)
        QVERIFY(qAbs(lowest - rowModules * module) < 0.01);
    else if (fits) // Code 128: the bars fill the box less the text
        QVERIFY(qAbs(item.box.height() - box.height()) < 0.01);
    QCOMPARE(problems.isEmpty(), fits);
    if (!fits) {
        QCOMPARE(problems.list().front().record, 3);
        QVERIFY2(problems.list().front().reason.startsWith(QStringLiteral("barcode larger than its box")),
                 qPrintable(problems.list().front().reason));
    }
}

void TestBarcodes::properties_data()
{
    QTest::addColumn<QString>("json");
    QTest::addColumn<bool>("usable");
    QTest::addColumn<QString>("problem");

    QTest::newRow("complete") << R"({"symbology":"pdf417","field":"Name","moduleWidth":0.4,"humanReadable":false})"
                              << true << QString();
    QTest::newRow("defaults") << R"({"symbology":"qrcode","field":"CardNo"})" << true << QString();
    QTest::newRow("unknown symbology") << R"({"symbology":"code39","field":"Name"})" << false
                                       << QStringLiteral("unknown symbology \"code39\"");
    QTest::newRow("no field") << R"({"symbology":"code128"})" << false << QStringLiteral("no field");
    QTest::newRow("module out of range") << R"({"symbology":"datamatrix","field":"Name","moduleWidth":0})" << true
                                         << QStringLiteral("module width 0 mm out of range, 0.33 mm used");
}

void TestBarcodes::properties()
{
    QFETCH(QString, json);
    QFETCH(bool, usable);
    QFETCH(QString, problem);

    const QJsonObject props = QJsonDocument::fromJson(json.toUtf8()).object();
    QJsonObject element = props;
    element.insert(QStringLiteral("kind"), QLatin1String(BarcodeElement::kKind));
    element.insert(QStringLiteral("id"), QStringLiteral("code"));
    element.insert(QStringLiteral("box"), QJsonArray{5, 30, 40, 15});
    const QJsonObject designJson{{QStringLiteral("card"), QJsonArray{85.6, 53.98}},
                                 {QStringLiteral("sides"), QJsonArray{QJsonObject{
                                                               {QStringLiteral("elements"), QJsonArray{element}}}}}};
    QStringList skipped;
    const std::optional<CardDesign> design = designFromJson(designJson, skipped);
    QVERIFY(design);
    QCOMPARE(design->front().elements.size(), size_t(usable ? 1 : 0));
    QCOMPARE(skipped.size(), problem.isEmpty() ? 0 : 1);
    if (!problem.isEmpty())
        QVERIFY2(skipped.front().endsWith(problem), qPrintable(skipped.front()));
    if (!usable)
        return;
    const auto &read = static_cast<const BarcodeElement &>(*design->front().elements.front());
    QCOMPARE(symbologyName(read.symbology), props.value(QStringLiteral("symbology")).toString());
    QCOMPARE(read.field, props.value(QStringLiteral("field")).toString());
    QCOMPARE(read.moduleWidth, problem.isEmpty() ? props.value(QStringLiteral("moduleWidth")).toDouble(0.33) : 0.33);
    QCOMPARE(read.humanReadable, props.value(QStringLiteral("humanReadable")).toBool(true));
    // Written and read again, it is the same.
    QStringList again;
    QCOMPARE(designFromJson(design->toJson(), again), design);
    QVERIFY(again.isEmpty());
}

void TestBarcodes::unencodableListed()
{
    const CardDesign design = designWith(Symbology::Code128, QStringLiteral("name"), QRectF(3, 30, 80, 20), 0.3);
    const RecordList records({member(QStringLiteral("Ann Lee")), member(kLatinName), member(QString()),
                              member(QStringLiteral("Bo Ek"))});
    CardProblems problems;
    RenderOptions options;
    options.problems = &problems;
    const CardPages pages = placeCards(a4Stock(), records.size());
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(writeCardsPdf(design, pages, records, options, buffer));
    // Laid out again (a preview): listed once each.
    const std::vector<CardItem> items = pageItems(design, pages, 0, records, false, options);
    QCOMPARE(problems.list().size(), size_t(2));
    QCOMPARE(problems.list().at(0).record, 1);
    QCOMPARE(problems.list().at(0).reason,
             QStringLiteral("barcode left out: Error 204: Invalid character in input data (ISO/IEC 8859-1 only)"));
    QCOMPARE(problems.list().at(1).record, 2);
    QVERIFY(problems.list().at(1).reason.contains(QStringLiteral("Error 778")));
    // No symbol for them; the others printed.
    QStringList printed;
    for (const CardItem &item : items)
        printed << item.text;
    QCOMPARE(printed, QStringList({QStringLiteral("Ann Lee"), QStringLiteral("Bo Ek")}));
    const QString message = problems.message([&](int r) { return records.at(r, false).text(QStringLiteral("name")); });
    QCOMPARE(message.split(QLatin1Char('\n')),
             QStringList({QStringLiteral("Some cards were not printed as designed:"),
                          kLatinName + QStringLiteral(": ") + problems.list().at(0).reason,
                          QStringLiteral("Member 3: ") + problems.list().at(1).reason}));
    if (!haveDecoders())
        QSKIP("pdftoppm, zbarimg or ZXingReader missing (scripts/install-deps.sh installs them)");
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("run.pdf"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(pdf) == pdf.size());
    out.close();
    for (const CardPlacement &card : pages.pages.front().cards) {
        const QString png = crop(file, 1, design.front().elements.front()->box.toRectF().translated(card.origin));
        QVERIFY(!png.isEmpty());
        const QString expected = card.record == 0 ? QStringLiteral("Ann Lee")
                                 : card.record == 3 ? QStringLiteral("Bo Ek") : QString();
        QCOMPARE(decode(png, Symbology::Code128), expected);
    }
}

void TestBarcodes::decodes_data()
{
    QTest::addColumn<int>("symbology");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<double>("module");

    const int c128 = int(Symbology::Code128);
    QTest::newRow("Code 128 staff number") << c128 << QStringLiteral("StaffNo") << QStringLiteral("E-004711") << 0.33;
    QTest::newRow("Code 128 card number") << c128 << QStringLiteral("CardNo") << QStringLiteral("0004217735") << 0.33;
    for (Symbology s : {Symbology::QrCode, Symbology::Pdf417, Symbology::DataMatrix}) {
        const QByteArray name = symbologyTitle(s).toUtf8();
        QTest::newRow(name + " Latin name") << int(s) << QStringLiteral("Name") << kLatinName << 0.33;
        QTest::newRow(name + " Chinese name") << int(s) << QStringLiteral("Name") << kChineseName << 0.33;
        QTest::newRow(name + " card number") << int(s) << QStringLiteral("CardNo") << QStringLiteral("0004217735")
                                             << 0.33;
    }
    // Small modules (at 600 dpi each decoded down to 0.06 mm, Data Matrix to 0.09 mm).
    for (Symbology s : symbologies())
        QTest::newRow(symbologyTitle(s).toUtf8() + " 0.1 mm") << int(s) << QStringLiteral("CardNo")
                                                               << QStringLiteral("0004217735") << 0.1;
}

void TestBarcodes::decodes()
{
    QFETCH(int, symbology);
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(double, module);
    if (!haveDecoders())
        QSKIP("pdftoppm, zbarimg or ZXingReader missing (scripts/install-deps.sh installs them)");

    const Symbology s = Symbology(symbology);
    const CardDesign design = designWith(s, field, QRectF(2, 2, 81, 50), module, true);
    MemberRecord record = member(QStringLiteral("Ann Lee"));
    record.set(field, value);
    const RecordList records({record});
    const CardPages pages = placeCards(id1Stock(), 1);
    CardProblems problems;
    RenderOptions options;
    options.problems = &problems;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("card.pdf"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    QVERIFY(writeCardsPdf(design, pages, records, options, out));
    out.close();
    QVERIFY(problems.isEmpty());
    const std::vector<CardItem> items = pageItems(design, pages, 0, records, false, options);
    QCOMPARE(items.size(), size_t(1));
    const QString png = crop(file, 1, items.front().box);
    QCOMPARE(decode(png, s), value);
    // The bars printed as wide as their modules make them.
    const double barsMm = barExtent(*items.front().barcode).width() * module;
    QVERIFY2(qAbs(darkWidth(png) - barsMm * kPxPerMm) <= 2,
             qPrintable(QStringLiteral("%1 px for %2 mm").arg(darkWidth(png)).arg(barsMm)));
}

QTEST_MAIN(TestBarcodes)
#include "tst_barcodes.moc"
