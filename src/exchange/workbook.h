#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

namespace tessary {

// One cell of a worksheet as the reader delivers it.
struct SheetCell
{
    enum class Kind { Empty, Integer, Number, Text, Date, DateTime, Time };
    Kind kind = Kind::Empty;
    QString text;      // Text: the text; Date "yyyy-MM-dd"; DateTime "yyyy-MM-dd HH:mm:ss"; Time "HH:mm:ss"
    double number = 0; // Integer and Number

    // The cell as text, as a field's value is read as text: text unchanged,
    // whole numbers in decimal (1001 and 1001.0 both read "1001"), other
    // numbers with up to 15 significant digits, dates as "d/mm/yyyy" with
    // the time of day when there is one. An empty cell reads as empty text.
    QString asText() const;
};

// An Excel 97-2003 workbook (".xls"), read with FreeXL, one worksheet at a
// time. The first row of the chosen sheet holds the column names; the other
// rows are the data rows, numbered from 0.
class Workbook
{
public:
    // Opens the workbook; throws tessary::Error with a message that names the
    // file and says what is wrong (missing, not a workbook, damaged...).
    explicit Workbook(const QString &path);
    ~Workbook();
    Workbook(const Workbook &) = delete;
    Workbook &operator=(const Workbook &) = delete;

    QStringList sheetNames() const;

    // Makes `name` (exact, case-sensitive) the sheet read; throws
    // tessary::Error naming the sheet when the workbook holds none of that
    // name.
    void selectSheet(const QString &name);

    // Data rows of the selected sheet (the name row not counted).
    int rowCount() const { return m_rows; }
    QStringList columnNames() const { return m_columns; }
    // The index of the column named `name`, nullopt when there is none.
    std::optional<int> column(const QString &name) const;

    SheetCell cell(int row, int column) const;
    // The cell's text (SheetCell::asText); empty text for a missing column.
    QString text(int row, const std::optional<int> &column) const;

    QString path() const { return m_path; }

private:
    const void *m_handle = nullptr;
    QString m_path;
    int m_rows = 0;
    int m_width = 0;
    QStringList m_columns;
};

// FreeXL's error code in words.
QString freexlErrorText(int code);

} // namespace tessary
