#include "exchange/csvreader.h"

#include "data/errors.h"

#include <QFileInfo>

#include <csv.h>

#include <unistd.h>

namespace tessary {

namespace {

constexpr qint64 kChunk = 64 * 1024;
const QByteArray kByteOrderMark("\xEF\xBB\xBF");

void onField(void *bytes, size_t size, void *reader)
{
    static_cast<CsvReader *>(reader)->addField(static_cast<const char *>(bytes), size);
}

void onRecord(int, void *reader)
{
    static_cast<CsvReader *>(reader)->endRecord();
}

// Fields keep their spaces and tabs: the program trims what it needs.
int noSpace(unsigned char)
{
    return 0;
}

// Checks UTF-8 a chunk at a time; a sequence may run across chunks.
class Utf8Check
{
public:
    bool feed(const char *data, qint64 size)
    {
        for (qint64 i = 0; i < size; ++i) {
            const auto b = static_cast<unsigned char>(data[i]);
            if (m_more) {
                if ((b & 0xC0) != 0x80 || (m_min && b < m_min) || (m_max && b > m_max))
                    return false;
                m_min = m_max = 0;
                --m_more;
            } else if (b == 0) {
                return false; // text holds no NUL
            } else if (b < 0x80) {
                continue;
            } else if (b >= 0xC2 && b <= 0xDF) {
                m_more = 1;
            } else if (b >= 0xE0 && b <= 0xEF) {
                m_more = 2;
                m_min = b == 0xE0 ? 0xA0 : 0; // no overlong forms
                m_max = b == 0xED ? 0x9F : 0; // no surrogates
            } else if (b >= 0xF0 && b <= 0xF4) {
                m_more = 3;
                m_min = b == 0xF0 ? 0x90 : 0;
                m_max = b == 0xF4 ? 0x8F : 0;
            } else {
                return false;
            }
        }
        return true;
    }
    bool complete() const { return m_more == 0; }

private:
    int m_more = 0;
    unsigned char m_min = 0, m_max = 0;
};

// A parser ready for use; throws when it cannot be set up.
CsvParser newParser(const QString &path)
{
    auto parser = std::make_unique<csv_parser>();
    if (csv_init(parser.get(), 0) != 0)
        throw Error(QStringLiteral("Cannot read the file '%1': not enough memory").arg(path));
    return CsvParser(parser.release());
}

} // namespace

void CsvParserFree::operator()(csv_parser *parser) const
{
    csv_free(parser);
    delete parser;
}

char detectSeparator(const QByteArray &start)
{
    int comma = 0, semicolon = 0, tab = 0;
    bool quoted = false;
    for (const char c : start) {
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && (c == '\n' || c == '\r'))
            break;
        else if (!quoted)
            comma += c == ',', semicolon += c == ';', tab += c == '\t';
    }
    if (semicolon > comma && semicolon >= tab)
        return ';';
    if (tab > comma && tab > semicolon)
        return '\t';
    return ',';
}

CsvReader::CsvReader(const QString &path) : m_path(path)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw Error(QStringLiteral("Cannot open the file '%1': the file does not exist").arg(path));
    QString why;
    if (!info.isFile() || !m_file.open(path, &why))
        throw Error(QStringLiteral("Cannot open the file '%1': %2")
                        .arg(path, info.isFile() ? why : QStringLiteral("it is not a file")));
    m_parser = newParser(path);
    m_rows = std::max(0, checkAndCount() - 1);
    QVector<SheetCell> names;
    if (nextRow(names))
        for (const SheetCell &cell : names)
            m_columns << cell.text.trimmed();
}

CsvReader::~CsvReader() = default;

// Refuses a file that is not UTF-8 text, finds the separator and counts the
// records, in one pass; then starts again at the first record.
int CsvReader::checkAndCount()
{
    const int fd = m_file.descriptor();
    QByteArray chunk(kChunk, Qt::Uninitialized);
    Utf8Check utf8;
    m_counting = true;
    m_records = 0;
    for (bool first = true;; first = false) {
        const ssize_t got = ::read(fd, chunk.data(), size_t(chunk.size()));
        if (got < 0)
            throw Error(QStringLiteral("Cannot read the file '%1'").arg(m_path));
        if (got == 0)
            break;
        qsizetype skip = 0;
        if (first) {
            skip = chunk.startsWith(kByteOrderMark) ? kByteOrderMark.size() : 0;
            m_separator = detectSeparator(chunk.left(got).mid(skip));
            csv_set_delim(m_parser.get(), static_cast<unsigned char>(m_separator));
            csv_set_space_func(m_parser.get(), noSpace);
        }
        if (!utf8.feed(chunk.constData() + skip, got - skip))
            throw Error(QStringLiteral("The file is not UTF-8 text."));
        csv_parse(m_parser.get(), chunk.constData() + skip, size_t(got - skip), onField, onRecord, this);
    }
    if (!utf8.complete())
        throw Error(QStringLiteral("The file is not UTF-8 text."));
    csv_fini(m_parser.get(), onField, onRecord, this);
    m_counting = false;
    if (::lseek(fd, 0, SEEK_SET) != 0)
        throw Error(QStringLiteral("Cannot read the file '%1'").arg(m_path));
    // Skip the mark again on the second pass.
    QByteArray mark(kByteOrderMark.size(), Qt::Uninitialized);
    const ssize_t got = ::read(fd, mark.data(), size_t(mark.size()));
    if (got != mark.size() || mark != kByteOrderMark)
        ::lseek(fd, 0, SEEK_SET);
    return m_records;
}

void CsvReader::addField(const char *bytes, size_t size)
{
    if (m_counting)
        return;
    SheetCell cell;
    if (bytes && size > 0) {
        cell.kind = SheetCell::Kind::Text;
        cell.text = QString::fromUtf8(bytes, qsizetype(size));
        cell.text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    }
    m_current.append(cell);
}

void CsvReader::endRecord()
{
    if (m_counting) {
        ++m_records;
        return;
    }
    m_ready.push_back(std::move(m_current));
    m_current.clear();
}

bool CsvReader::parseMore()
{
    if (m_atEnd)
        return false;
    QByteArray chunk(kChunk, Qt::Uninitialized);
    const ssize_t got = ::read(m_file.descriptor(), chunk.data(), size_t(chunk.size()));
    if (got < 0)
        throw Error(QStringLiteral("Cannot read the file '%1'").arg(m_path));
    if (got == 0) {
        csv_fini(m_parser.get(), onField, onRecord, this);
        m_atEnd = true;
    } else if (csv_parse(m_parser.get(), chunk.constData(), size_t(got), onField, onRecord, this) != size_t(got)) {
        throw Error(QStringLiteral("Cannot read the file '%1': %2")
                        .arg(m_path, QString::fromUtf8(csv_strerror(csv_error(m_parser.get())))));
    }
    return true;
}

bool CsvReader::nextRow(QVector<SheetCell> &row)
{
    while (m_ready.empty())
        if (!parseMore())
            return false;
    row = std::move(m_ready.front());
    m_ready.pop_front();
    return true;
}

} // namespace tessary
