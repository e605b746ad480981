#include "exchange/sheetreader.h"

#include "exchange/csvreader.h"
#include "exchange/xlsxreader.h"

#include "data/errors.h"

#include <QDataStream>
#include <QFileInfo>
#include <QIODevice>

#include <cstring>

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

namespace {

// The payload of a frame from the reader process, read as untrusted bytes:
// every count and length is checked against the bytes left before anything
// is allocated for it. The layout is QDataStream's (big-endian numbers,
// strings as a byte count and UTF-16), read here by hand so that no count
// reaches a container's reserve.
class FrameCursor
{
public:
    explicit FrameCursor(const QByteArray &bytes) : m_bytes(bytes) {}

    bool failed() const { return m_failed; }
    bool atEnd() const { return m_pos == m_bytes.size(); }
    qsizetype left() const { return m_bytes.size() - m_pos; }

    quint8 u8() { return quint8(take(1)); }
    quint32 u32() { return quint32(take(4)); }
    double real()
    {
        const quint64 bits = take(8);
        double d = 0;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    QString string()
    {
        const quint32 bytes = u32();
        if (bytes == 0xFFFFFFFFu) // a null string
            return QString();
        if (m_failed || bytes % 2 != 0 || qsizetype(bytes) > left())
            return fail();
        const auto *p = reinterpret_cast<const uchar *>(m_bytes.constData() + m_pos);
        QString s(qsizetype(bytes / 2), Qt::Uninitialized);
        for (qsizetype i = 0; i < s.size(); ++i)
            s[i] = QChar(char16_t(p[2 * i] << 8 | p[2 * i + 1]));
        m_pos += bytes;
        return s;
    }
    // A count of items that take at least `least` bytes each; 0 and a
    // failed read when the bytes left cannot hold that many.
    quint32 count(qsizetype least)
    {
        const quint32 n = u32();
        if (!m_failed && qsizetype(n) > left() / least) {
            fail();
            return 0;
        }
        return n;
    }

private:
    quint64 take(int size)
    {
        if (m_failed || left() < size) {
            fail();
            return 0;
        }
        quint64 v = 0;
        for (int i = 0; i < size; ++i)
            v = v << 8 | quint8(m_bytes.at(m_pos++));
        return v;
    }
    QString fail()
    {
        m_failed = true;
        return QString();
    }

    const QByteArray &m_bytes;
    qsizetype m_pos = 0;
    bool m_failed = false;
};

// The smallest encoded string and cell: a string's byte count; a cell's
// kind, its text's count and its number.
constexpr qsizetype kLeastString = 4;
constexpr qsizetype kLeastCell = 1 + 4 + 8;

} // namespace

Decoded decode(const QByteArray &payload)
{
    Decoded d;
    FrameCursor in(payload);
    d.tag = Tag(in.u8());
    switch (d.tag) {
    case Tag::Header: {
        d.rowCount = qint32(in.u32());
        const quint32 n = in.count(kLeastString);
        for (quint32 i = 0; i < n && !in.failed(); ++i)
            d.columns << in.string();
        break;
    }
    case Tag::Row: {
        const quint32 n = in.count(kLeastCell);
        d.cells.reserve(qsizetype(n));
        for (quint32 i = 0; i < n && !in.failed(); ++i) {
            SheetCell cell;
            const quint8 kind = in.u8();
            cell.text = in.string();
            cell.number = in.real();
            if (kind > quint8(SheetCell::Kind::Time))
                return d;
            cell.kind = SheetCell::Kind(kind);
            d.cells << cell;
        }
        break;
    }
    case Tag::Error:
        d.message = in.string();
        break;
    case Tag::End:
        break;
    default:
        return d;
    }
    d.ok = !in.failed() && in.atEnd();
    return d;
}

} // namespace sheetframe

} // namespace tessary
