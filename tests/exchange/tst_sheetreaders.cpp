// The .xlsx and CSV readers on files from other writers (openpyxl, Python's
// csv module as spreadsheet programs save, and workbook parts written by
// hand as other programs write them), their date rules, and the frames
// that carry rows from the reader process.

#include "exchangefixture.h"

#include "data/errors.h"
#include "exchange/csvreader.h"
#include "exchange/sheetprocess.h"
#include "exchange/xlsxreader.h"

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

#include <QElapsedTimer>
#include <QtEndian>

using namespace tessary;
using namespace tessary::testing;

namespace {

// Every row of `sheet` as text, the cells of a row joined by '|'.
QStringList rowsOf(SheetReader &sheet)
{
    QStringList rows;
    QVector<SheetCell> cells;
    while (sheet.nextRow(cells)) {
        QStringList texts;
        for (const SheetCell &cell : cells)
            texts << cell.asText();
        rows << texts.join(QLatin1Char('|'));
    }
    return rows;
}

// An .xlsx made of the given parts, as a program other than openpyxl
// writes one.
bool writeParts(const QString &path, const QList<std::pair<QString, QByteArray>> &parts)
{
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdCreate))
        return false;
    for (const auto &[name, bytes] : parts) {
        QuaZipFile file(&zip);
        if (!file.open(QIODevice::WriteOnly, QuaZipNewInfo(name)) || file.write(bytes) != bytes.size())
            return false;
        file.close();
    }
    zip.close();
    return zip.getZipError() == 0;
}

QByteArray writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return bytes;
}

} // namespace

class TestSheetReaders : public QObject
{
    Q_OBJECT

private slots:
    void numberStyles();
    void serialDates();
    void xlsxFromOpenpyxl();
    void xlsxCellKindsOfOtherWriters();
    void csvAsSpreadsheetsSaveIt();
    void csvThatIsNotUtf8IsRefused();
    void framesCarryRows();
    void hostileFramesAreRefused();
    void damagedFilesEndTheReaderAtOnce();

private:
    QTemporaryDir m_dir;
};

void TestSheetReaders::numberStyles()
{
    const struct
    {
        int id;
        const char *code;
        NumberStyle style;
    } cases[] = {
        {0, "", NumberStyle::Plain},         {14, "", NumberStyle::Date},
        {17, "", NumberStyle::Date},         {20, "", NumberStyle::Time},
        {22, "", NumberStyle::DateTime},     {47, "", NumberStyle::Time},
        {-1, "General", NumberStyle::Plain}, {-1, "0.00E+00", NumberStyle::Plain},
        {-1, "yyyy-mm-dd", NumberStyle::Date}, {-1, "[$-409]d-mmm-yy;@", NumberStyle::Date},
        {-1, "mmm", NumberStyle::Date},      {-1, "h:mm AM/PM", NumberStyle::Time},
        {-1, "[h]:mm:ss", NumberStyle::Time}, {-1, "dd/mm/yyyy hh:mm", NumberStyle::DateTime},
        {-1, "\"day\" 0", NumberStyle::Plain}, {-1, "[Red]#,##0;[Blue]\\d0", NumberStyle::Plain},
        {-1, "0;\"yes\";\"no\";d", NumberStyle::Plain},
    };
    for (const auto &c : cases)
        QVERIFY2(numberStyle(c.id, QString::fromLatin1(c.code)) == c.style, c.code);
}

void TestSheetReaders::serialDates()
{
    const struct
    {
        double serial;
        bool date1904;
        QDateTime expected;
    } cases[] = {
        {1, false, QDateTime(QDate(1900, 1, 1), QTime(0, 0), Qt::UTC)},
        {59, false, QDateTime(QDate(1900, 2, 28), QTime(0, 0), Qt::UTC)},
        {61, false, QDateTime(QDate(1900, 3, 1), QTime(0, 0), Qt::UTC)},
        {45356, false, QDateTime(QDate(2024, 3, 5), QTime(0, 0), Qt::UTC)},
        {45293.5729166667, false, QDateTime(QDate(2024, 1, 2), QTime(13, 45), Qt::UTC)},
        {0.99999999, false, QDateTime(QDate(1900, 1, 1), QTime(0, 0), Qt::UTC)}, // rounds to midnight
        {0, true, QDateTime(QDate(1904, 1, 1), QTime(0, 0), Qt::UTC)},
        {43894, true, QDateTime(QDate(2024, 3, 5), QTime(0, 0), Qt::UTC)},
        {-1, false, QDateTime()},
        {3e6, false, QDateTime()},
        {std::nan(""), true, QDateTime()},
    };
    for (const auto &c : cases)
        QCOMPARE(serialDateTime(c.serial, c.date1904), c.expected);
}

void TestSheetReaders::xlsxFromOpenpyxl()
{
    // Both date systems, shared strings with Chinese text, numbers stored as
    // whole and as floating point, "RECORDS" found after another sheet.
    const QJsonArray rows{
        QJsonArray{QStringLiteral(" NAME "), QStringLiteral("ID"), QStringLiteral("JOINED"), QStringLiteral("WHEN"),
                   QStringLiteral("REMARK")},
        QJsonArray{QStringLiteral("王小明"), 1001, dateCell(QStringLiteral("2024-03-05")),
                   QJsonObject{{QStringLiteral("datetime"), QStringLiteral("2024-01-02 13:45:00")}}, 12.5},
        QJsonArray{QStringLiteral("王小明"), floatCell(1002.0), dateCell(QStringLiteral("1904-01-01")), QJsonValue(),
                   QStringLiteral("a \"b\", c")},
    };
    for (const bool date1904 : {false, true}) {
        const QString path = m_dir.filePath(date1904 ? QStringLiteral("mac.xlsx") : QStringLiteral("pc.xlsx"));
        QJsonObject description{
            {QStringLiteral("sheets"),
             QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("Notes")},
                                    {QStringLiteral("rows"), QJsonArray{QJsonArray{QStringLiteral("x")}}}},
                        QJsonObject{{QStringLiteral("name"), QStringLiteral("RECORDS")}, {QStringLiteral("rows"), rows}}}},
            {QStringLiteral("date1904"), date1904}};
        const QString json = path + QStringLiteral(".json");
        writeFile(json, QJsonDocument(description).toJson());
        QCOMPARE(QProcess::execute(QStringLiteral("/usr/bin/python3"), {QStringLiteral(TESSARY_MAKEBOOK), path, json}), 0);

        XlsxReader sheet(path);
        QCOMPARE(sheet.columnNames(), (QStringList{QStringLiteral("NAME"), QStringLiteral("ID"), QStringLiteral("JOINED"),
                                                   QStringLiteral("WHEN"), QStringLiteral("REMARK")}));
        QCOMPARE(sheet.rowCount(), 2);
        QCOMPARE(rowsOf(sheet), (QStringList{QStringLiteral("王小明|1001|5/03/2024|2/01/2024 13:45:00|12.5"),
                                             QStringLiteral("王小明|1002|1/01/1904||a \"b\", c")}));
    }
}

void TestSheetReaders::xlsxCellKindsOfOtherWriters()
{
    // No "RECORDS": the first sheet in the workbook's order, whatever its
    // part is called. Inline strings with runs and phonetic text, booleans,
    // errors, formulas' cached values, a custom date style and the 1904
    // system, cells without references, a left-out row, a cell beyond the
    // widest sheet, and no dimension (rows counted).
    const QByteArray workbook =
        "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
        "<workbookPr date1904=\"true\"/><sheets><sheet name=\"Staff\" sheetId=\"2\" r:id=\"rId7\"/>"
        "<sheet name=\"Other\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
    const QByteArray rels =
        "<Relationships><Relationship Id=\"rId1\" Target=\"worksheets/a.xml\"/>"
        "<Relationship Id=\"rId7\" Target=\"/xl/worksheets/b.xml\"/></Relationships>";
    const QByteArray styles = "<styleSheet><numFmts><numFmt numFmtId=\"170\" formatCode=\"d/m/yyyy\"/></numFmts>"
                              "<cellStyleXfs><xf numFmtId=\"14\"/></cellStyleXfs>"
                              "<cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"170\"/><xf numFmtId=\"22\"/></cellXfs></styleSheet>";
    const QByteArray shared = "<sst><si><t>NAME</t></si><si><r><t>An</t></r><r><t>na</t></r></si></sst>";
    const QByteArray sheet =
        "<worksheet><sheetData>"
        "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c t=\"inlineStr\"><is><t>B</t></is></c>"
        "<c t=\"inlineStr\"><is><t>C</t></is></c><c r=\"D1\" t=\"inlineStr\"><is><t>D</t></is></c></row>"
        "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>1</v></c><c r=\"B2\" t=\"b\"><v>1</v></c>"
        "<c r=\"C2\" t=\"e\"><f>1/0</f><v>#DIV/0!</v></c><c r=\"D2\" s=\"1\"><v>43894</v></c></row>"
        "<row r=\"4\"><c r=\"A4\" t=\"inlineStr\"><is><r><t>Bo</t></r><rPh><t>ボ</t></rPh></is></c>"
        "<c r=\"B4\" t=\"str\"><f>CONCAT(\"x\",\"y\")</f><v>xy</v></c><c r=\"C4\"><f>2*3</f><v>6</v></c>"
        "<c r=\"D4\" s=\"2\"><v>43894.5</v></c><c r=\"ZZZZ4\"><v>9</v></c></row>"
        "</sheetData></worksheet>";
    const QString path = m_dir.filePath(QStringLiteral("other.xlsx"));
    QVERIFY(writeParts(path, {{QStringLiteral("xl/workbook.xml"), workbook},
                              {QStringLiteral("xl/_rels/workbook.xml.rels"), rels},
                              {QStringLiteral("xl/styles.xml"), styles},
                              {QStringLiteral("xl/sharedStrings.xml"), shared},
                              {QStringLiteral("xl/worksheets/a.xml"), "<worksheet><sheetData/></worksheet>"},
                              {QStringLiteral("xl/worksheets/b.xml"), sheet}}));
    XlsxReader reader(path);
    QCOMPARE(reader.columnNames(), (QStringList{QStringLiteral("NAME"), QStringLiteral("B"), QStringLiteral("C"),
                                                QStringLiteral("D")}));
    QCOMPARE(reader.rowCount(), 3);
    QCOMPARE(rowsOf(reader), (QStringList{QStringLiteral("Anna|TRUE|#DIV/0!|5/03/2024"), QString(),
                                          QStringLiteral("Bo|xy|6|5/03/2024 12:00:00")}));

    // Files that are no workbook say so.
    const QString notZip = m_dir.filePath(QStringLiteral("notzip.xlsx"));
    writeFile(notZip, QByteArray(2048, 'x'));
    const QString noBook = m_dir.filePath(QStringLiteral("nobook.xlsx"));
    QVERIFY(writeParts(noBook, {{QStringLiteral("readme.txt"), "hello"}}));
    const QString badXml = m_dir.filePath(QStringLiteral("badxml.xlsx"));
    QVERIFY(writeParts(badXml, {{QStringLiteral("xl/workbook.xml"), workbook},
                                {QStringLiteral("xl/_rels/workbook.xml.rels"), rels},
                                {QStringLiteral("xl/worksheets/b.xml"), "<worksheet><sheetData><row><c><v>1</v></c></row><row"}}));
    // A row numbered past the tallest sheet (two billion empty rows before it).
    const QString farRow = m_dir.filePath(QStringLiteral("farrow.xlsx"));
    QVERIFY(writeParts(farRow, {{QStringLiteral("xl/workbook.xml"), workbook},
                                {QStringLiteral("xl/_rels/workbook.xml.rels"), rels},
                                {QStringLiteral("xl/worksheets/b.xml"), "<worksheet><sheetData><row><c><v>1</v></c></row>"
                                                                        "<row r=\"2000000000\"/></sheetData></worksheet>"}}));
    for (const QString &bad : {notZip, noBook, badXml, farRow}) {
        try {
            XlsxReader damaged(bad);
            rowsOf(damaged);
            QFAIL(qPrintable(QStringLiteral("read ") + bad));
        } catch (const Error &e) {
            QVERIFY2(e.message().contains(bad), qPrintable(e.message()));
        }
    }
}

void TestSheetReaders::csvAsSpreadsheetsSaveIt()
{
    // Separators detected from the header row, never from data rows.
    QCOMPARE(detectSeparator("NAME;ID;\"A,B,C\"\nx,y,z,w,v"), ';');
    QCOMPARE(detectSeparator("NAME\tID\tREMARK"), '\t');
    QCOMPARE(detectSeparator("NAME,ID;X"), ',');
    QCOMPARE(detectSeparator("NAME"), ',');

    const struct
    {
        const char *name;
        QByteArray bytes;
    } files[] = {
        {"comma-bom-crlf.csv", "\xEF\xBB\xBFNAME,ID,REMARK\r\n\"Li, Wei\",7,\"said \"\"hi\"\"\r\nthen left\"\r\n"
                               "张伟,8,\r\n"},
        {"semicolon-lf.csv", "NAME;ID;REMARK\n\"Li, Wei\";7;\"said \"\"hi\"\"\nthen left\"\n张伟;8\n"},
        {"tab-no-newline.csv", "NAME\tID\tREMARK\n\"Li, Wei\"\t7\t\"said \"\"hi\"\"\nthen left\"\n\n张伟\t8\t"},
    };
    for (const auto &f : files) {
        const QString path = m_dir.filePath(QString::fromLatin1(f.name));
        writeFile(path, f.bytes);
        CsvReader sheet(path);
        QCOMPARE(sheet.columnNames(), (QStringList{QStringLiteral("NAME"), QStringLiteral("ID"), QStringLiteral("REMARK")}));
        QCOMPARE(sheet.rowCount(), 2);
        const QStringList rows = rowsOf(sheet);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0), QStringLiteral("Li, Wei|7|said \"hi\"\nthen left"));
        QVERIFY2(rows.at(1).startsWith(QStringLiteral("张伟|8")), f.name);
    }
}

void TestSheetReaders::csvThatIsNotUtf8IsRefused()
{
    const QByteArray cases[] = {
        "NAME\nJos\xe9\n",               // Latin-1
        "NAME\n\xC3",                    // cut inside a character
        "NAME\n\xC0\xAF\n",              // an overlong form
        "NAME\n\xED\xA0\x80\n",          // a surrogate
        QByteArray("NAME\nA\0B\n", 9),   // not text at all
        QByteArray(70000, 'a') + "\xFF", // after the first chunk
    };
    for (const QByteArray &bytes : cases) {
        const QString path = m_dir.filePath(QStringLiteral("bad.csv"));
        writeFile(path, bytes);
        try {
            CsvReader sheet(path);
            QFAIL(bytes.left(20).toHex().constData());
        } catch (const Error &e) {
            QCOMPARE(e.message(), QStringLiteral("The file is not UTF-8 text."));
        }
    }
}

void TestSheetReaders::framesCarryRows()
{
    SheetCell date;
    date.kind = SheetCell::Kind::Date;
    date.text = QStringLiteral("2024-03-05");
    SheetCell number;
    number.kind = SheetCell::Kind::Number;
    number.number = 12.5;
    const QByteArray frame = sheetframe::row({date, SheetCell(), number});
    QCOMPARE(quint32(frame.size() - 4), qFromBigEndian<quint32>(frame.constData()));
    const sheetframe::Decoded row = sheetframe::decode(frame.mid(4));
    QVERIFY(row.ok);
    QCOMPARE(row.tag, sheetframe::Tag::Row);
    QCOMPARE(row.cells.size(), 3);
    QCOMPARE(row.cells.at(0).asText(), QStringLiteral("5/03/2024"));
    QCOMPARE(row.cells.at(1).kind, SheetCell::Kind::Empty);
    QCOMPARE(row.cells.at(2).asText(), QStringLiteral("12.5"));

    const sheetframe::Decoded header = sheetframe::decode(sheetframe::header({QStringLiteral("NAME")}, 9).mid(4));
    QVERIFY(header.ok && header.tag == sheetframe::Tag::Header && header.rowCount == 9);
    QCOMPARE(header.columns, QStringList{QStringLiteral("NAME")});

    // Payloads that are no frame: cut short, an unknown tag, bytes left
    // over, a cell kind that does not exist, a count beyond the bytes.
    QByteArray badKind = frame.mid(4);
    badKind[5] = char(99); // the first cell's kind, after the tag and the count
    for (const QByteArray &bad : {frame.mid(4, frame.size() / 2), QByteArray("Q"), frame.mid(4) + "x", badKind,
                                  QByteArray("R\x7f\xff\xff\xff", 5)})
        QVERIFY(!sheetframe::decode(bad).ok);
}

void TestSheetReaders::hostileFramesAreRefused()
{
    // Counts and lengths that claim more than the payload holds are refused
    // before anything is allocated for them (a count of 0x7FFFFFFF strings
    // would ask for 48 GB), as are odd UTF-16 lengths.
    const QByteArray finding = fileBytes(QStringLiteral(TESSARY_FUZZ_CORPUS "/sheetframe/finding-header-frame-payload-32gb.bin"));
    QCOMPARE(finding.size(), 90);
    const QByteArray hostile[] = {
        finding,
        QByteArray::fromHex("48" "00000001" "7fffffff" "00000000"),              // header: 2^31 columns
        QByteArray::fromHex("48" "00000001" "00000001" "7ffffffe" "0041"),       // a column of 2 GB
        QByteArray::fromHex("48" "00000001" "00000001" "00000003" "004100"),     // an odd length
        QByteArray::fromHex("52" "00000005" "03" "00000000" "0000000000000000"), // row: 5 cells, bytes for 1
        QByteArray::fromHex("52" "00000001" "03" "fffffff0" "0000000000000000"), // a cell's text beyond the bytes
        QByteArray::fromHex("45" "00000100" "0041"),                             // error: a message cut short
    };
    for (const QByteArray &bad : hostile)
        QVERIFY2(!sheetframe::decode(bad).ok, bad.left(16).toHex().constData());

    // Null and empty strings and no columns at all are frames.
    const sheetframe::Decoded empty = sheetframe::decode(sheetframe::header({QString(), QStringLiteral("")}, 0).mid(4));
    QVERIFY(empty.ok);
    QCOMPARE(empty.columns.size(), 2);
    QVERIFY(sheetframe::decode(sheetframe::header({}, 3).mid(4)).ok);
    const sheetframe::Decoded message = sheetframe::decode(sheetframe::error(QStringLiteral("王 ✓")).mid(4));
    QVERIFY(message.ok && message.message == QStringLiteral("王 ✓"));
}

void TestSheetReaders::damagedFilesEndTheReaderAtOnce()
{
    // A workbook whose worksheet entry cannot be inflated: the reader
    // process ends with the damaged-file message at once, rather than
    // spinning until the import's silence limit (here 5 s) gives up on it.
    qputenv("TESSARY_SHEET_TIMEOUT_MS", "5000");
    QElapsedTimer clock;
    clock.start();
    QString message;
    try {
        SheetProcess sheet(QStringLiteral(TESSARY_FUZZ_CORPUS "/xlsx/finding-damaged-zip-hangs.xlsx"));
        QVector<SheetCell> row;
        while (sheet.nextRow(row)) {
        }
    } catch (const Error &e) {
        message = e.message();
    }
    qunsetenv("TESSARY_SHEET_TIMEOUT_MS");
    QVERIFY2(message.endsWith(QStringLiteral("the worksheet is damaged")), qPrintable(message));
    QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));

    // A CSV file refused as not UTF-8 (its parser freed on the way out is
    // checked by the fuzz replay, which runs with leak detection).
    try {
        CsvReader refused(QStringLiteral(TESSARY_FUZZ_CORPUS "/csv/finding-latin1-refused-leaks.csv"));
        QFAIL("read");
    } catch (const Error &e) {
        QCOMPARE(e.message(), QStringLiteral("The file is not UTF-8 text."));
    }
}

QTEST_GUILESS_MAIN(TestSheetReaders)
#include "tst_sheetreaders.moc"
