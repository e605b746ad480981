#pragma once

#include "exchange/workbook.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <optional>

namespace tessary {

// One sheet of members as a reader streams it: the first row names the
// columns, then the data rows follow one at a time, never all held at once.
// The .xls, .xlsx and CSV readers sit behind it; the import does not know
// which one it reads.
class SheetReader
{
public:
    virtual ~SheetReader() = default;
    // The column names of the first row, trimmed.
    virtual QStringList columnNames() const = 0;
    // The data rows the sheet says it holds (for progress; the rows read
    // may differ for a damaged file).
    virtual int rowCount() const = 0;
    // The next data row into `row`; false after the last one. Throws
    // tessary::Error when the file turns out to be unreadable.
    virtual bool nextRow(QVector<SheetCell> &row) = 0;
};

// The sheet the import reads: "RECORDS" of a workbook (an .xlsx without it:
// its first sheet), or the whole of a CSV file. The reader is chosen by the
// file name's extension (.xlsx, .csv; anything else is read as .xls).
// Throws tessary::Error naming the file and the reason.
std::unique_ptr<SheetReader> openSheet(const QString &path);

// The index of the column named `name` (without regard to letter case).
std::optional<int> columnIndex(const QStringList &columns, const QString &name);

// Frames from the sheet reader process to the import, in order: a header
// (or an error), the rows, an end. Each is a 32-bit big-endian length and
// that many bytes.
namespace sheetframe {
enum class Tag : quint8 { Header = 'H', Row = 'R', Error = 'E', End = 'Z' };
// The longest frame the import accepts.
constexpr quint32 kMaxFrame = 64u << 20;

QByteArray header(const QStringList &columns, int rowCount);
QByteArray row(const QVector<SheetCell> &cells);
QByteArray error(const QString &message);
QByteArray end();

// A decoded frame's payload. `ok` is false for bytes that are not a frame.
struct Decoded
{
    bool ok = false;
    Tag tag = Tag::End;
    QStringList columns;
    int rowCount = 0;
    QVector<SheetCell> cells;
    QString message;
};
Decoded decode(const QByteArray &payload);
} // namespace sheetframe

} // namespace tessary
