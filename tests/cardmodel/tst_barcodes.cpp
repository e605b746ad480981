// Barcodes: what libzint refuses, symbols held at their module width in their
// box, their properties, and runs printed to PDF whose symbols decode.

#include "cardmodel/barcode.h"
#include "cardmodel/renderer.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace tessary;

namespace {

constexpr double kPxPerMm = 600 / 25.4;
constexpr int kC128 = int(Symbology::Code128);
const QString kLatinName = QStringLiteral("Zoë Müller-Łukasz");
const QStringList kNames{QStringLiteral("Ann Lee"), kLatinName, QStringLiteral("张伟明"), QString()};

// Member `n` of kNames; the last one has no numbers.
MemberRecord member(int n)
{
    const bool numbers = n < 3;
    MemberRecord r;
    r.set(QStringLiteral("Name"), kNames.at(n));
    r.set(QStringLiteral("StaffNo"), numbers ? QStringLiteral("E-00471%1").arg(n) : QString());
    r.set(QStringLiteral("CardNo"), numbers ? QStringLiteral("000421773%1").arg(n) : QString());
    return r;
}

CardDesign designWith(Symbology symbology, const QString &field, QRectF box, double module)
{
    CardDesign design;
    auto &e = design.front().add<BarcodeElement>(QStringLiteral("code"));
    std::tie(e.symbology, e.field, e.box, e.moduleWidth) = std::tuple(symbology, field, MmBox::fromRectF(box), module);
    return design;
}

QString output(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(60000) && p.exitCode() == 0 ? QString::fromUtf8(p.readAllStandardOutput()).trimmed()
                                                         : QString();
}

// Renders `mm` of the PDF's first page at 600 dpi and decodes it; `darkPx`
// answers how wide its dark pixels reach.
QString decodeCrop(const QString &pdf, QRectF mm, Symbology s, int &darkPx)
{
    const QRect px = QRectF(mm.topLeft() * kPxPerMm, mm.size() * kPxPerMm).adjusted(1, 1, -1, -1).toRect();
    const QString args = QStringLiteral("-r 600 -l 1 -x %1 -y %2 -W %3 -H %4 -gray -singlefile -png");
    output(QStringLiteral("pdftoppm"),
           args.arg(px.x()).arg(px.y()).arg(px.width()).arg(px.height()).split(QLatin1Char(' ')) << pdf << pdf);
    const QString png = pdf + QStringLiteral(".png");
    const QImage img(png);
    int first = img.width(), last = -1;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qGray(img.pixel(x, y)) < 128)
                std::tie(first, last) = std::pair(std::min(first, x), std::max(last, x));
    darkPx = last - first + 1;
    if (s == Symbology::Code128 || s == Symbology::QrCode)
        return output(QStringLiteral("zbarimg"), QStringLiteral("--nodbus -q --raw").split(QLatin1Char(' ')) << png);
    // ZXingReader's text as its ECI says: the line 'Text:       "<text>"'.
    for (const QString &line : output(QStringLiteral("ZXingReader"), {png}).split(QLatin1Char('\n')))
        if (line.startsWith(QStringLiteral("Text:")))
            return line.section(QLatin1Char('"'), 1, -2);
    return QString();
}

struct FitCase
{
    int symbology;
    double module;
    QSizeF box;
    bool fits;
};
struct RunCase
{
    int symbology;
    QString field;
    double module;
    QList<int> listed; // the members left without a symbol
};

} // namespace

Q_DECLARE_METATYPE(FitCase)
Q_DECLARE_METATYPE(RunCase)

class TestBarcodes : public QObject
{
    Q_OBJECT

private slots:
    // What libzint refuses, with its reason; a symbology is checked first.
    void refused_data()
    {
        QTest::addColumn<int>("symbology");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("error");
        QTest::newRow("Code 128 outside Latin-1") << kC128 << kLatinName
                                                  << QStringLiteral("Error 204: Invalid character in input data");
        QTest::newRow("Code 128 empty") << kC128 << QString() << QStringLiteral("Error 778: No input data");
        QTest::newRow("Code 128 too long") << kC128 << QString(200, QLatin1Char('A')) << QStringLiteral("Error 340");
        for (Symbology s : {Symbology::QrCode, Symbology::Pdf417, Symbology::DataMatrix})
            QTest::newRow(qPrintable(symbologyTitle(s) + QStringLiteral(" too long")))
                << int(s) << QString(5000, QChar(0x4F1F)) << QStringLiteral("Error");
        // An id libzint knows but cards do not print, and one it does not know.
        QTest::newRow("other libzint symbology") << 21 << QStringLiteral("1") << QStringLiteral("Unknown symbology");
        QTest::newRow("no symbology") << 9999 << QStringLiteral("1") << QStringLiteral("Unknown symbology");
    }
    void refused()
    {
        QFETCH(int, symbology);
        QFETCH(QString, value);
        QFETCH(QString, error);
        const BarcodeSymbol s = encodeBarcode(Symbology(symbology), value, true);
        QVERIFY2(s.error.startsWith(error), qPrintable(s.error));
        QVERIFY(s.bars.empty() && s.texts.empty());
    }

    void moduleHeld_data()
    {
        QTest::addColumn<FitCase>("c");
        QTest::newRow("Code 128") << FitCase{kC128, 0.33, {60, 12}, true};
        QTest::newRow("Code 128 too narrow") << FitCase{kC128, 0.33, {30, 12}, false};
        QTest::newRow("Code 128 too low") << FitCase{kC128, 0.33, {60, 3}, false};
        QTest::newRow("QR Code") << FitCase{int(Symbology::QrCode), 0.5, {30, 30}, true};
        QTest::newRow("QR Code too narrow") << FitCase{int(Symbology::QrCode), 0.5, {10, 30}, false};
        QTest::newRow("PDF417") << FitCase{int(Symbology::Pdf417), 0.3, {60, 20}, true};
        QTest::newRow("Data Matrix") << FitCase{int(Symbology::DataMatrix), 0.4, {20, 20}, true};
        QTest::newRow("Data Matrix too low") << FitCase{int(Symbology::DataMatrix), 0.4, {20, 5}, false};
    }
    void moduleHeld()
    {
        QFETCH(FitCase, c);
        const auto [symbology, module, box, fits] = c;
        const CardDesign design = designWith(Symbology(symbology), QStringLiteral("staffno"), {{5, 5}, box}, module);
        const MemberRecord record = member(0);
        CardProblems problems;
        std::vector<CardItem> items;
        design.front().elements.front()->layOut({record, {10, 20}, 0, false, nullptr, {}, 3, &problems}, items);
        QCOMPARE(items.size(), size_t(1));
        // At its module width, never scaled to the box, centred in it.
        const CardItem &item = items.front();
        QCOMPARE(item.box.size(), item.barcode->size * module);
        QVERIFY(symbology == kC128 ? item.barcode->texts.at(0).text == QStringLiteral("E-004710")
                                   : item.barcode->texts.empty());
        QVERIFY(QLineF(item.box.center(), QPointF(15 + box.width() / 2, 25 + box.height() / 2)).length() < 1e-6);
        double narrowest = 1e9, lowest = 1e9;
        for (const QRectF &b : item.barcode->bars)
            std::tie(narrowest, lowest) = std::pair(std::min(narrowest, b.width()), std::min(lowest, b.height()));
        QVERIFY(qAbs(narrowest * module - module) < 0.01);
        if (symbology != kC128) // square modules (and symbols, but PDF417 with its rows three modules high)
            QVERIFY(qAbs(lowest - (symbology == int(Symbology::Pdf417) ? 3 : 1)) < 1e-6 &&
                    (symbology == int(Symbology::Pdf417) || item.box.width() == item.box.height()));
        else if (fits) // the bars fill the box less the text
            QVERIFY(qAbs(item.box.height() - box.height()) < 0.01);
        QCOMPARE(problems.isEmpty(), fits);
        QVERIFY(fits || (problems.list().front().record == 3 &&
                         problems.list().front().reason.startsWith(QStringLiteral("barcode larger than its box"))));
    }

    void properties_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<QString>("written"); // empty: the element is skipped
        QTest::addColumn<QString>("problem");
        const QString all =
            QStringLiteral(R"({"symbology":"pdf417","field":"Name","moduleWidth":0.4,"humanReadable":false})");
        QTest::newRow("complete") << all << all << QString();
        QTest::newRow("module out of range")
            << R"({"symbology":"datamatrix","field":"Name","moduleWidth":0})"
            << R"({"symbology":"datamatrix","field":"Name","moduleWidth":0.33,"humanReadable":true})"
            << QStringLiteral("module width 0 mm out of range, 0.33 mm used");
        QTest::newRow("unknown symbology") << R"({"symbology":"code39","field":"Name"})" << QString()
                                           << QStringLiteral("unknown symbology \"code39\"");
    }
    void properties()
    {
        QFETCH(QString, json);
        QFETCH(QString, written);
        QFETCH(QString, problem);
        QJsonObject element = QJsonDocument::fromJson(json.toUtf8()).object();
        element.insert(QStringLiteral("kind"), QLatin1String(BarcodeElement::kKind));
        element.insert(QStringLiteral("box"), QJsonArray{5, 30, 40, 15});
        const QJsonObject side{{QStringLiteral("elements"), QJsonArray{element}}};
        QStringList skipped;
        const auto design = designFromJson(
            {{QStringLiteral("card"), QJsonArray{85.6, 54}}, {QStringLiteral("sides"), QJsonArray{side}}}, skipped);
        QCOMPARE(skipped.size(), problem.isEmpty() ? 0 : 1);
        QVERIFY(problem.isEmpty() || skipped.front().endsWith(problem));
        QCOMPARE(design->front().elements.size(), size_t(written.isEmpty() ? 0 : 1));
        if (written.isEmpty())
            return;
        QJsonObject props;
        design->front().elements.front()->writeProperties(props);
        QCOMPARE(props, QJsonDocument::fromJson(written.toUtf8()).object());
        QCOMPARE(designFromJson(design->toJson(), skipped), design); // written and read again
    }

    // The four members, one card each on an A4 sheet, the symbol over a dark
    // picture: each decodes to its member's value, and the members whose
    // value cannot be encoded are listed, with no symbol printed.
    void run_data()
    {
        QTest::addColumn<RunCase>("c");
        QTest::newRow("Code 128 staff numbers") << RunCase{kC128, QStringLiteral("StaffNo"), 0.33, {3}};
        QTest::newRow("Code 128 names") << RunCase{kC128, QStringLiteral("Name"), 0.33, {1, 2, 3}};
        for (Symbology s : symbologies()) {
            const QString name = symbologyTitle(s);
            QTest::newRow(qPrintable(name + QStringLiteral(" card numbers")))
                << RunCase{int(s), QStringLiteral("CardNo"), 0.33, {3}};
            // At 600 dpi each decoded down to a 0.06 mm module, Data Matrix to 0.09 mm.
            QTest::newRow(qPrintable(name + QStringLiteral(" 0.1 mm")))
                << RunCase{int(s), QStringLiteral("CardNo"), 0.1, {3}};
            if (s != Symbology::Code128)
                QTest::newRow(qPrintable(name + QStringLiteral(" names")))
                    << RunCase{int(s), QStringLiteral("Name"), 0.33, {3}};
        }
    }
    void run()
    {
        QFETCH(RunCase, c);
        const auto &[symbology, field, module, listed] = c;
        CardDesign design;
        auto &dark = design.front().add<PictureElement>(QStringLiteral("dark"));
        dark.box = MmBox{{}, {}, Distance::mm(85), Distance::mm(54)};
        dark.image = QImage(8, 8, QImage::Format_RGB32);
        dark.image.fill(QColor(60, 60, 60));
        design.front().elements.push_back(
            std::move(designWith(Symbology(symbology), field, QRectF(2, 2, 81, 50), module).front().elements.front()));
        RecordList records;
        for (int i = 0; i < kNames.size(); ++i)
            records.append(member(i));
        CardProblems problems;
        RenderOptions options;
        options.problems = &problems;
        const CardPages pages = placeCards(a4Stock(), records.size());
        QTemporaryDir dir;
        QFile pdf(dir.filePath(QStringLiteral("run.pdf")));
        QVERIFY(pdf.open(QIODevice::WriteOnly) && writeCardsPdf(design, pages, records, options, pdf));
        pdf.close();
        // Laid out again (a preview): each listed once, with libzint's reason.
        const std::vector<CardItem> items = pageItems(design, pages, 0, records, false, options);
        QList<int> problemRecords;
        for (const CardProblem &p : problems.list()) {
            problemRecords << p.record;
            QVERIFY2(p.reason.startsWith(QStringLiteral("barcode left out: Error ")), qPrintable(p.reason));
        }
        QCOMPARE(problemRecords, listed);
        const QStringList message = problems.message([](int r) { return kNames.at(r); }).split(QLatin1Char('\n'));
        QCOMPARE(message.size(), listed.size() + 1);
        QVERIFY(message.last().startsWith(QStringLiteral("Member 4: barcode left out: Error 778: No input data")));
        if (QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("ZXingReader")).isEmpty())
            QSKIP("zbarimg or ZXingReader missing (scripts/install-deps.sh installs them)");
        for (const CardPlacement &card : pages.pages.front().cards) { // one page: card i is member i
            const auto symbol = std::find_if(items.begin(), items.end(),
                                             [&](const CardItem &i) { return i.barcode && i.card == card.record; });
            const bool printed = symbol != items.end();
            QCOMPARE(printed, !listed.contains(card.record));
            int darkPx = 0;
            const QRectF cell = design.front().elements.back()->box.toRectF().translated(card.origin);
            const QRectF box = printed ? symbol->box : cell;
            const QString decoded = decodeCrop(pdf.fileName(), box, Symbology(symbology), darkPx);
            QCOMPARE(decoded, printed ? records.at(card.record, false).text(field) : QString());
            if (!printed)
                continue;
            // Quiet zones light on a dark card, the bars as wide as their modules make them.
            QRectF bars = symbol->barcode->bars.front();
            for (const QRectF &b : symbol->barcode->bars)
                bars |= b;
            QVERIFY2(qAbs(darkPx - bars.width() * module * kPxPerMm) <= 2, qPrintable(QString::number(darkPx)));
        }
    }
};

QTEST_MAIN(TestBarcodes)
#include "tst_barcodes.moc"
