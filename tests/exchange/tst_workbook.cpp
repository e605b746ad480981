// The workbook reader: cell values as text, column look-up by name, and the
// errors of files that are not what the import needs.

#include "exchangefixture.h"

#include "data/errors.h"
#include "exchange/workbook.h"

using namespace tessary;
using namespace tessary::testing;

class TestWorkbook : public QObject
{
    Q_OBJECT

private slots:
    void cellsReadAsText();
    void sheetsAndColumns();
    void unreadableFilesSayWhy();

private:
    QTemporaryDir m_dir;
};

void TestWorkbook::cellsReadAsText()
{
    const QString path = m_dir.filePath(QStringLiteral("cells.xls"));
    QVERIFY(writeRecords(path, QJsonArray{
        QJsonArray{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D"),
                   QStringLiteral("E"), QStringLiteral("F")},
        QJsonArray{1001, floatCell(1001.0), 12.5, dateCell(QStringLiteral("2024-03-05")),
                   QJsonObject{{QStringLiteral("datetime"), QStringLiteral("2024-01-02 13:45:00")}},
                   QStringLiteral("張偉 Zhang")},
        QJsonArray{QJsonValue(), -7, floatCell(-2.0), QStringLiteral("0012"), QJsonValue(), QStringLiteral("")},
    }));
    Workbook book(path);
    book.selectSheet(QStringLiteral("RECORDS"));
    QCOMPARE(book.rowCount(), 2);

    // A whole number reads the same whether stored as an integer or not.
    QCOMPARE(book.text(0, 0), QStringLiteral("1001"));
    QCOMPARE(book.text(0, 1), QStringLiteral("1001"));
    QCOMPARE(book.cell(0, 1).kind, SheetCell::Kind::Number);
    QCOMPARE(book.text(0, 2), QStringLiteral("12.5"));
    QCOMPARE(book.cell(0, 3).kind, SheetCell::Kind::Date);
    QCOMPARE(book.text(0, 3), QStringLiteral("5/03/2024"));
    QCOMPARE(book.text(0, 4), QStringLiteral("2/01/2024 13:45:00"));
    QCOMPARE(book.text(0, 5), QStringLiteral("張偉 Zhang"));

    QCOMPARE(book.text(1, 0), QString());
    QCOMPARE(book.text(1, 1), QStringLiteral("-7"));
    QCOMPARE(book.text(1, 2), QStringLiteral("-2"));
    QCOMPARE(book.text(1, 3), QStringLiteral("0012")); // text stays text
    QCOMPARE(book.text(1, 4), QString());
    QCOMPARE(book.text(1, std::nullopt), QString());
    QCOMPARE(book.text(5, 0), QString()); // beyond the last row
}

void TestWorkbook::sheetsAndColumns()
{
    const QString path = m_dir.filePath(QStringLiteral("sheets.xls"));
    QVERIFY(writeWorkbook(path, QList<SheetSpec>{{QStringLiteral("Notes"), QJsonArray{QJsonArray{QStringLiteral("x")}}},
                                 {QStringLiteral("RECORDS"),
                                  QJsonArray{QJsonArray{QStringLiteral("PHOTO"), QStringLiteral(" Name "),
                                                        QStringLiteral("GROUP")}}}}));
    Workbook book(path);
    QCOMPARE(book.sheetNames(), (QStringList{QStringLiteral("Notes"), QStringLiteral("RECORDS")}));
    book.selectSheet(QStringLiteral("RECORDS"));
    QCOMPARE(book.rowCount(), 0);
    QCOMPARE(book.column(QStringLiteral("NAME")), std::optional<int>(1));
    QCOMPARE(book.column(QStringLiteral("GROUP")), std::optional<int>(2));
    QCOMPARE(book.column(QStringLiteral("REMARK")), std::nullopt);

    try {
        book.selectSheet(QStringLiteral("records"));
        QFAIL("a sheet of another name was accepted");
    } catch (const Error &e) {
        QVERIFY2(e.message().contains(QStringLiteral("no worksheet named \"records\"")), qPrintable(e.message()));
    }
}

void TestWorkbook::unreadableFilesSayWhy()
{
    const QString text = m_dir.filePath(QStringLiteral("notes.xls"));
    QFile f(text);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("NAME,ID\nAnna,1\n").repeated(100));
    f.close();
    const struct
    {
        QString path;
        QString says;
    } cases[] = {
        {text, QStringLiteral("not an Excel 97-2003 workbook")},
        {m_dir.filePath(QStringLiteral("absent.xls")), QStringLiteral("does not exist")},
        {m_dir.path(), QStringLiteral("not a file")},
        // A sheet that claims 83 million rows (an .xls holds 65536).
        {QStringLiteral(TESSARY_FUZZ_CORPUS "/xls/finding-83-million-rows.xls"), QStringLiteral("damaged or crafted")},
    };
    for (const auto &c : cases) {
        try {
            Workbook book(c.path);
            book.selectSheet(QStringLiteral("RECORDS"));
            QFAIL(qPrintable(QStringLiteral("opened ") + c.path));
        } catch (const Error &e) {
            QVERIFY2(e.message().contains(c.says) && e.message().contains(c.path), qPrintable(e.message()));
        }
    }
}

QTEST_GUILESS_MAIN(TestWorkbook)
#include "tst_workbook.moc"
