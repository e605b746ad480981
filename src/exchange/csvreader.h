#pragma once

#include "exchange/sheetreader.h"

#include "data/regularfile.h"

#include <deque>
#include <memory>

struct csv_parser;

namespace tessary {

// The separator of a CSV file's first line: the one of comma, semicolon and
// tab found most often outside quotes (comma when none is).
char detectSeparator(const QByteArray &start);

// A CSV file as spreadsheet programs save it: UTF-8 with or without a byte
// order mark, comma, semicolon or tab between fields, fields in quotes that
// hold separators, quotes and line breaks, lines ended by CRLF or LF. Every
// field is text; the first line names the columns. A file that is not UTF-8
// text is refused when it is opened, before a row is read.
// Frees a parser that csv_init set up, and then the parser itself.
struct CsvParserFree
{
    void operator()(csv_parser *parser) const;
};
using CsvParser = std::unique_ptr<csv_parser, CsvParserFree>;

class CsvReader : public SheetReader
{
public:
    explicit CsvReader(const QString &path);
    ~CsvReader() override;

    QStringList columnNames() const override { return m_columns; }
    int rowCount() const override { return m_rows; }
    bool nextRow(QVector<SheetCell> &row) override;

    // Called by the parser.
    void addField(const char *bytes, size_t size);
    void endRecord();

private:
    int checkAndCount();
    bool parseMore();

    QString m_path;
    RegularFile m_file;
    CsvParser m_parser; // owned, so every way out of the constructor frees it
    char m_separator = ',';
    bool m_atEnd = false;
    bool m_counting = false;
    int m_records = 0;
    QStringList m_columns;
    int m_rows = 0;
    QVector<SheetCell> m_current;
    std::deque<QVector<SheetCell>> m_ready;
};

} // namespace tessary
