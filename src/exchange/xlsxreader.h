#pragma once

#include "exchange/sheetreader.h"

#include "data/regularfile.h"

#include <QDateTime>
#include <QXmlStreamReader>

#include <memory>

class QuaZip;
class QuaZipFile;

namespace tessary {

// How a number cell is shown, from its number format.
enum class NumberStyle { Plain, Date, Time, DateTime };

// The style of number format `id` with the format code `code` (empty for
// built-in formats): built-in 14-17 are dates, 18-21 and 45-47 times, 22 a
// date with time; a custom code is a date when it shows a day, month or
// year, a time when it shows only hours, minutes or seconds.
NumberStyle numberStyle(int id, const QString &code);

// The date and time of a spreadsheet serial number in the 1900 date system
// (day 1 is 1900-01-01, with the spreadsheet's phantom 29 February 1900) or
// the 1904 one (day 0 is 1904-01-01); an invalid QDateTime outside the
// years 1900 (1904) to 9999.
QDateTime serialDateTime(double serial, bool date1904);

// An Office Open XML workbook (".xlsx"): the sheet "RECORDS", else the
// first sheet. Shared strings, number styles and the date system are read
// when it is opened; the sheet itself is streamed from the archive a row at
// a time. Throws tessary::Error naming the file when it is not a workbook.
class XlsxReader : public SheetReader
{
public:
    explicit XlsxReader(const QString &path);
    ~XlsxReader() override;

    QStringList columnNames() const override { return m_columns; }
    int rowCount() const override { return m_rows; }
    bool nextRow(QVector<SheetCell> &row) override;

private:
    QString sheetEntry();
    void readSharedStrings();
    void readStyles();
    void openSheetStream(const QString &entry);
    int countRows(const QString &entry);
    bool readRow(QVector<SheetCell> &row, int &number);
    SheetCell readCell(int &column);
    SheetCell valueCell(const QString &type, const QString &value, int style) const;
    [[noreturn]] void fail(const QString &why) const;

    QString m_path;
    RegularFile m_file;
    std::unique_ptr<QuaZip> m_zip;
    std::unique_ptr<QuaZipFile> m_sheet;
    QXmlStreamReader m_xml;
    QStringList m_shared;
    QVector<NumberStyle> m_styles; // per cell format (the cell's s attribute)
    bool m_date1904 = false;
    QStringList m_columns;
    int m_rows = 0;
    int m_nextNumber = 2;    // the sheet row number the next data row has
    int m_pendingNumber = 0; // a row read ahead of a gap, 0 when none
    QVector<SheetCell> m_pending;
};

} // namespace tessary
