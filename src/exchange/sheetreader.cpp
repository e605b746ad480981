#include "exchange/sheetreader.h"

#include "exchange/csvreader.h"
#include "exchange/xlsxreader.h"

#include "data/errors.h"

#include <QDataStream>
#include <QFileInfo>
#include <QIODevice>

namespace tessary {

namespace {

// The "RECORDS" sheet of an Excel 97-2003 workbook, read a row at a time.
class XlsSheet : public SheetReader
{
public:
    explicit XlsSheet(const QString &path) : m_book(path) { m_book.selectSheet(QStringLiteral("RECORDS")); }
    QStringList columnNames() const override { return m_book.columnNames(); }
    int rowCount() const override { return m_book.rowCount(); }
    bool nextRow(QVector<SheetCell> &row) override
    {
        if (m_next >= m_book.rowCount())
            return false;
        const int width = int(m_book.columnNames().size());
        row.resize(width);
        for (int c = 0; c < width; ++c) {
            try {
                row[c] = m_book.cell(m_next, c);
            } catch (const Error &) {
                row[c] = SheetCell(); // a value that cannot be read is empty
            }
        }
        ++m_next;
        return true;
    }

private:
    Workbook m_book;
    int m_next = 0;
};

QDataStream &startStream(QDataStream &out, sheetframe::Tag tag)
{
    out.setVersion(QDataStream::Qt_6_4);
    out << quint8(tag);
    return out;
}

QByteArray framed(const QByteArray &payload)
{
    QByteArray out;
    out.reserve(payload.size() + 4);
    const quint32 n = quint32(payload.size());
    out.append(char(n >> 24)).append(char(n >> 16)).append(char(n >> 8)).append(char(n));
    return out + payload;
}

} // namespace

std::unique_ptr<SheetReader> openSheet(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("xlsx"))
        return std::make_unique<XlsxReader>(path);
    if (suffix == QLatin1String("csv"))
        return std::make_unique<CsvReader>(path);
    return std::make_unique<XlsSheet>(path);
}

std::optional<int> columnIndex(const QStringList &columns, const QString &name)
{
    for (int c = 0; c < columns.size(); ++c)
        if (columns.at(c).compare(name, Qt::CaseInsensitive) == 0)
            return c;
    return std::nullopt;
}

namespace sheetframe {

QByteArray header(const QStringList &columns, int rowCount)
{
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    startStream(out, Tag::Header) << qint32(rowCount) << columns;
    return framed(payload);
}

QByteArray row(const QVector<SheetCell> &cells)
{
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    startStream(out, Tag::Row) << quint32(cells.size());
    for (const SheetCell &cell : cells)
        out << quint8(cell.kind) << cell.text << cell.number;
    return framed(payload);
}

QByteArray error(const QString &message)
{
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    startStream(out, Tag::Error) << message;
    return framed(payload);
}

QByteArray end()
{
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    startStream(out, Tag::End);
    return framed(payload);
}

Decoded decode(const QByteArray &payload)
{
    Decoded d;
    QDataStream in(payload);
    in.setVersion(QDataStream::Qt_6_4);
    quint8 tag = 0;
    in >> tag;
    d.tag = Tag(tag);
    switch (d.tag) {
    case Tag::Header: {
        qint32 rows = 0;
        in >> rows >> d.columns;
        d.rowCount = rows;
        break;
    }
    case Tag::Row: {
        quint32 n = 0;
        in >> n;
        if (n > quint32(payload.size())) // each cell takes bytes: a count beyond them is damage
            return d;
        d.cells.resize(int(n));
        for (SheetCell &cell : d.cells) {
            quint8 kind = 0;
            in >> kind >> cell.text >> cell.number;
            if (kind > quint8(SheetCell::Kind::Time))
                return d;
            cell.kind = SheetCell::Kind(kind);
        }
        break;
    }
    case Tag::Error:
        in >> d.message;
        break;
    case Tag::End:
        break;
    default:
        return d;
    }
    d.ok = in.status() == QDataStream::Ok && in.atEnd();
    return d;
}

} // namespace sheetframe

} // namespace tessary
