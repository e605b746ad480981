#include "exchange/workbook.h"

#include "data/regularfile.h"

#include "data/errors.h"

#include <QDate>
#include <QDateTime>
#include <QFileInfo>

#include <freexl.h>

#include <cmath>

namespace tessary {

namespace {

constexpr unsigned kMaxRows = 65536;
constexpr unsigned kMaxColumns = 256;

} // namespace

QString freexlErrorText(int code)
{
    switch (code) {
    case FREEXL_OK: return QStringLiteral("no error");
    case FREEXL_FILE_NOT_FOUND: return QStringLiteral("the file does not exist or cannot be read");
    case FREEXL_INSUFFICIENT_MEMORY: return QStringLiteral("not enough memory");
    case FREEXL_INVALID_CFBF_HEADER:
    case FREEXL_CFBF_INVALID_SIGNATURE:
        return QStringLiteral("the file is not an Excel 97-2003 workbook");
    case FREEXL_CFBF_READ_ERROR:
    case FREEXL_CFBF_SEEK_ERROR:
        return QStringLiteral("the file cannot be read (it may be cut short)");
    case FREEXL_CFBF_INVALID_SECTOR_SIZE:
    case FREEXL_CFBF_EMPTY_FAT_CHAIN:
    case FREEXL_CFBF_ILLEGAL_FAT_ENTRY:
    case FREEXL_INVALID_MINI_STREAM:
    case FREEXL_CFBF_ILLEGAL_MINI_FAT_ENTRY:
        return QStringLiteral("the workbook's file structure is damaged");
    case FREEXL_BIFF_INVALID_BOF:
    case FREEXL_BIFF_INVALID_SST:
    case FREEXL_BIFF_ILLEGAL_SST_INDEX:
    case FREEXL_ILLEGAL_RK_VALUE:
        return QStringLiteral("the workbook's contents are damaged");
    case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
        return QStringLiteral("the file holds no Excel 97-2003 workbook (an older or newer format, or not a workbook)");
    case FREEXL_BIFF_ILLEGAL_SHEET_INDEX: return QStringLiteral("no such worksheet");
    case FREEXL_BIFF_UNSELECTED_SHEET: return QStringLiteral("no worksheet selected");
    case FREEXL_INVALID_CHARACTER: return QStringLiteral("the workbook holds text that cannot be converted");
    case FREEXL_UNSUPPORTED_CHARSET: return QStringLiteral("the workbook uses an unsupported character set");
    case FREEXL_ILLEGAL_CELL_ROW_COL: return QStringLiteral("a cell outside the worksheet was asked for");
    case FREEXL_CRAFTED_FILE: return QStringLiteral("the workbook is severely damaged or crafted");
    default: return QStringLiteral("error %1 of the workbook reader").arg(code);
    }
}

QString SheetCell::asText() const
{
    switch (kind) {
    case Kind::Empty: return {};
    case Kind::Text:
    case Kind::Time:
        return text;
    case Kind::Integer:
    case Kind::Number:
        if (std::isfinite(number) && number == std::floor(number) && std::fabs(number) < 1e15)
            return QString::number(qint64(number));
        return QString::number(number, 'g', 15);
    case Kind::Date: {
        const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
        if (!date.isValid())
            return text;
        return QStringLiteral("%1/%2/%3").arg(date.day()).arg(date.month(), 2, 10, QLatin1Char('0')).arg(date.year());
    }
    case Kind::DateTime: {
        const QDateTime stamp = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!stamp.isValid())
            return text;
        const QDate date = stamp.date();
        QString out =
            QStringLiteral("%1/%2/%3").arg(date.day()).arg(date.month(), 2, 10, QLatin1Char('0')).arg(date.year());
        if (stamp.time() != QTime(0, 0))
            out += QLatin1Char(' ') + stamp.time().toString(QStringLiteral("HH:mm:ss"));
        return out;
    }
    }
    return {};
}

Workbook::Workbook(const QString &path) : m_path(path)
{
    // FreeXL answers "not found" also for a folder or an unreadable file;
    // say which, since the operator has to act on it.
    const QFileInfo info(path);
    if (!info.exists())
        throw Error(QStringLiteral("Cannot open the workbook '%1': the file does not exist").arg(path));
    // Opened without blocking and kept open while the reader opens the same
    // file through its descriptor: a FIFO or a device is refused, and the
    // name cannot be pointed elsewhere in between.
    RegularFile file;
    QString why;
    if (!info.isFile() || !file.open(path, &why))
        throw Error(QStringLiteral("Cannot open the workbook '%1': %2")
                        .arg(path, info.isFile() ? why : QStringLiteral("it is not a file")));
    const int rc = freexl_open(QFile::encodeName(file.descriptorPath()).constData(), &m_handle);
    if (rc != FREEXL_OK) {
        if (m_handle)
            freexl_close(m_handle);
        m_handle = nullptr;
        throw Error(QStringLiteral("Cannot open the workbook '%1': %2").arg(path, freexlErrorText(rc)));
    }
    unsigned int password = 0;
    if (freexl_get_info(m_handle, FREEXL_BIFF_PASSWORD, &password) == FREEXL_OK && password == FREEXL_BIFF_OBFUSCATED) {
        freexl_close(m_handle);
        m_handle = nullptr;
        throw Error(QStringLiteral("Cannot open the workbook '%1': it is protected by a password").arg(path));
    }
}

Workbook::~Workbook()
{
    if (m_handle)
        freexl_close(m_handle);
}

QStringList Workbook::sheetNames() const
{
    QStringList names;
    unsigned int count = 0;
    if (freexl_get_info(m_handle, FREEXL_BIFF_SHEET_COUNT, &count) != FREEXL_OK)
        return names;
    for (unsigned int i = 0; i < count; ++i) {
        const char *name = nullptr;
        if (freexl_get_worksheet_name(m_handle, static_cast<unsigned short>(i), &name) == FREEXL_OK && name)
            names << QString::fromUtf8(name);
        else
            names << QString();
    }
    return names;
}

void Workbook::selectSheet(const QString &name)
{
    const int index = int(sheetNames().indexOf(name));
    if (index < 0)
        throw Error(QStringLiteral("The workbook '%1' has no worksheet named \"%2\"").arg(m_path, name));
    int rc = freexl_select_active_worksheet(m_handle, static_cast<unsigned short>(index));
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (rc == FREEXL_OK)
        rc = freexl_worksheet_dimensions(m_handle, &rows, &columns);
    // An Excel 97-2003 sheet holds at most 65536 rows of 256 columns: a
    // damaged file that claims more would stand for millions of empty rows.
    if (rc == FREEXL_OK && (rows > kMaxRows || columns > kMaxColumns))
        rc = FREEXL_CRAFTED_FILE;
    if (rc != FREEXL_OK)
        throw Error(QStringLiteral("Cannot read the worksheet \"%1\" of '%2': %3").arg(name, m_path, freexlErrorText(rc)));

    m_width = columns;
    m_rows = rows > 0 ? int(rows) - 1 : 0;
    m_columns.clear();
    for (int c = 0; c < m_width; ++c) {
        FreeXL_CellValue value;
        QString title;
        if (rows > 0 && freexl_get_cell_value(m_handle, 0, static_cast<unsigned short>(c), &value) == FREEXL_OK &&
            (value.type == FREEXL_CELL_TEXT || value.type == FREEXL_CELL_SST_TEXT) && value.value.text_value)
            title = QString::fromUtf8(value.value.text_value).trimmed();
        m_columns << title;
    }
}

std::optional<int> Workbook::column(const QString &name) const
{
    // Column names are matched as the database engine matches them: without
    // regard to letter case.
    for (int c = 0; c < m_columns.size(); ++c)
        if (m_columns.at(c).compare(name, Qt::CaseInsensitive) == 0)
            return c;
    return std::nullopt;
}

SheetCell Workbook::cell(int row, int column) const
{
    SheetCell out;
    if (row < 0 || row >= m_rows || column < 0 || column >= m_width)
        return out;
    FreeXL_CellValue value;
    const int rc = freexl_get_cell_value(m_handle, unsigned(row + 1), static_cast<unsigned short>(column), &value);
    if (rc != FREEXL_OK)
        throw Error(QStringLiteral("Cannot read the workbook '%1': %2").arg(m_path, freexlErrorText(rc)));
    switch (value.type) {
    case FREEXL_CELL_INT:
        out.kind = SheetCell::Kind::Integer;
        out.number = value.value.int_value;
        break;
    case FREEXL_CELL_DOUBLE:
        out.kind = SheetCell::Kind::Number;
        out.number = value.value.double_value;
        break;
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
        out.kind = SheetCell::Kind::Text;
        out.text = QString::fromUtf8(value.value.text_value);
        break;
    case FREEXL_CELL_DATE:
        out.kind = SheetCell::Kind::Date;
        out.text = QString::fromUtf8(value.value.text_value);
        break;
    case FREEXL_CELL_DATETIME:
        out.kind = SheetCell::Kind::DateTime;
        out.text = QString::fromUtf8(value.value.text_value);
        break;
    case FREEXL_CELL_TIME:
        out.kind = SheetCell::Kind::Time;
        out.text = QString::fromUtf8(value.value.text_value);
        break;
    default:
        break;
    }
    return out;
}

QString Workbook::text(int row, const std::optional<int> &column) const
{
    if (!column)
        return {};
    try {
        return cell(row, *column).asText();
    } catch (const Error &) {
        return {}; // read as a field's text: a value that cannot be read is empty
    }
}

} // namespace tessary
