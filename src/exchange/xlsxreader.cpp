#include "exchange/xlsxreader.h"

#include "data/errors.h"

#include <QFileInfo>
#include <QHash>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

#include <algorithm>
#include <cmath>

namespace tessary {

namespace {

const QString kRelationships = QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships");
// The widest sheet a spreadsheet program makes (column XFD); cells named
// beyond it are ignored.
constexpr int kMaxColumns = 16384;
// The tallest sheet a spreadsheet program makes: a row numbered beyond it is
// damage (it would stand for a billion empty rows before it).
constexpr int kMaxRows = 1048576;

// The column index of a cell reference ("B7" is 1); -1 without letters.
int columnOfReference(QStringView reference)
{
    int column = 0;
    int letters = 0;
    for (const QChar c : reference) {
        const char16_t u = c.toUpper().unicode();
        if (u < u'A' || u > u'Z')
            break;
        column = column * 26 + (u - u'A' + 1);
        if (++letters > 3)
            return kMaxColumns;
    }
    return letters ? column - 1 : -1;
}

// The row number of a cell or range end reference ("I10001" is 10001); 0
// when it names none.
int rowOfReference(QStringView reference)
{
    qsizetype i = 0;
    while (i < reference.size() && reference.at(i).isLetter())
        ++i;
    bool ok = false;
    const int row = reference.mid(i).toInt(&ok);
    return ok && row > 0 ? row : 0;
}

// Whether the reader has more to give. A reader whose device fails reports
// a premature end but never its end (it waits for the data to come), so an
// error ends the reading as well; the caller then finds hasError().
bool more(const QXmlStreamReader &xml)
{
    return !xml.atEnd() && !xml.hasError();
}

// The text of a rich text element (<si>, <is>): its <t> runs, without the
// phonetic runs (<rPh>) of East Asian text.
QString readRichText(QXmlStreamReader &xml)
{
    QString text;
    int phonetic = 0;
    int depth = 1;
    while (depth > 0 && more(xml)) {
        xml.readNext();
        if (xml.isStartElement()) {
            ++depth;
            if (xml.name() == QLatin1String("rPh"))
                ++phonetic;
            else if (xml.name() == QLatin1String("t") && !phonetic) {
                text += xml.readElementText(QXmlStreamReader::IncludeChildElements);
                --depth;
            }
        } else if (xml.isEndElement()) {
            --depth;
            if (xml.name() == QLatin1String("rPh"))
                --phonetic;
        }
    }
    return text;
}

// The first section of a format code in lower case, without quoted text,
// escaped characters and bracketed parts other than elapsed time ([h]).
QString formatLetters(const QString &code)
{
    QString letters;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code.at(i);
        if (c == QLatin1Char('"')) {
            const qsizetype close = code.indexOf(QLatin1Char('"'), i + 1);
            i = close < 0 ? code.size() : close;
        } else if (c == QLatin1Char('\\') || c == QLatin1Char('_') || c == QLatin1Char('*')) {
            ++i;
        } else if (c == QLatin1Char('[')) {
            const qsizetype close = code.indexOf(QLatin1Char(']'), i + 1);
            const QString inside = code.mid(i + 1, close < 0 ? -1 : close - i - 1).toLower();
            if (!inside.isEmpty() && inside.count(QLatin1Char('h')) + inside.count(QLatin1Char('m')) +
                                             inside.count(QLatin1Char('s')) == inside.size())
                letters += inside;
            i = close < 0 ? code.size() : close;
        } else if (c == QLatin1Char(';')) {
            break;
        } else {
            letters += c.toLower();
        }
    }
    return letters;
}

} // namespace

NumberStyle numberStyle(int id, const QString &code)
{
    if (id >= 14 && id <= 17)
        return NumberStyle::Date;
    if ((id >= 18 && id <= 21) || (id >= 45 && id <= 47))
        return NumberStyle::Time;
    if (id == 22)
        return NumberStyle::DateTime;
    const QString letters = formatLetters(code);
    const bool date = letters.contains(QLatin1Char('d')) || letters.contains(QLatin1Char('y'));
    const bool time = letters.contains(QLatin1Char('h')) || letters.contains(QLatin1Char('s'));
    if (date)
        return time ? NumberStyle::DateTime : NumberStyle::Date;
    if (time)
        return NumberStyle::Time; // "m" beside hours or seconds is minutes
    return letters.contains(QLatin1Char('m')) ? NumberStyle::Date : NumberStyle::Plain;
}

QDateTime serialDateTime(double serial, bool date1904)
{
    if (!std::isfinite(serial) || serial < 0 || serial >= 2958466)
        return {};
    qint64 days = qint64(std::floor(serial));
    qint64 seconds = std::llround((serial - double(days)) * 86400.0);
    if (seconds >= 86400) {
        ++days;
        seconds -= 86400;
    }
    // In the 1900 system day 60 is the 29 February 1900 that never was: the
    // days before it count from 31 December 1899, those after from the 30th.
    const QDate base = date1904 ? QDate(1904, 1, 1) : days < 61 ? QDate(1899, 12, 31) : QDate(1899, 12, 30);
    const QDate date = base.addDays(days);
    if (!date.isValid() || date.year() > 9999)
        return {};
    return QDateTime(date, QTime(0, 0).addSecs(int(seconds)), Qt::UTC);
}

XlsxReader::XlsxReader(const QString &path) : m_path(path)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw Error(QStringLiteral("Cannot open the workbook '%1': the file does not exist").arg(path));
    QString why;
    if (!info.isFile() || !m_file.open(path, &why))
        throw Error(QStringLiteral("Cannot open the workbook '%1': %2")
                        .arg(path, info.isFile() ? why : QStringLiteral("it is not a file")));
    m_zip = std::make_unique<QuaZip>(m_file.descriptorPath());
    if (!m_zip->open(QuaZip::mdUnzip))
        fail(QStringLiteral("the file is not an Excel workbook (.xlsx)"));
    const QString entry = sheetEntry();
    readSharedStrings();
    readStyles();
    openSheetStream(entry);
    if (m_rows < 0)
        m_rows = countRows(entry);

    QVector<SheetCell> first;
    int number = 0;
    if (!readRow(first, number))
        return;
    if (number > 1) { // no name row: every row is data
        m_pending = first;
        m_pendingNumber = number;
        return;
    }
    for (const SheetCell &cell : first)
        m_columns << cell.asText().trimmed();
}

XlsxReader::~XlsxReader() = default;

void XlsxReader::fail(const QString &why) const
{
    throw Error(QStringLiteral("Cannot read the workbook '%1': %2").arg(m_path, why));
}

namespace {

// The whole of a (small) entry of the archive; empty when it is missing.
QByteArray entryBytes(QuaZip &zip, const QString &name)
{
    if (!zip.setCurrentFile(name))
        return {};
    QuaZipFile file(&zip);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

// The archive entry of the sheet read: "RECORDS", else the first sheet; the
// date system on the way.
QString XlsxReader::sheetEntry()
{
    const QByteArray workbook = entryBytes(*m_zip, QStringLiteral("xl/workbook.xml"));
    if (workbook.isEmpty())
        fail(QStringLiteral("the file is not an Excel workbook (.xlsx)"));
    QString chosen;
    QXmlStreamReader xml(workbook);
    while (more(xml)) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        if (xml.name() == QLatin1String("workbookPr")) {
            const QStringView value = attributes.value(QLatin1String("date1904"));
            m_date1904 = value == QLatin1String("1") || value == QLatin1String("true");
        } else if (xml.name() == QLatin1String("sheet")) {
            const QString id = attributes.value(kRelationships, QLatin1String("id")).toString();
            if (chosen.isEmpty() || attributes.value(QLatin1String("name")) == QLatin1String("RECORDS"))
                chosen = id;
            if (attributes.value(QLatin1String("name")) == QLatin1String("RECORDS"))
                break;
        }
    }
    if (chosen.isEmpty())
        fail(QStringLiteral("the workbook has no worksheet"));

    QXmlStreamReader rels(entryBytes(*m_zip, QStringLiteral("xl/_rels/workbook.xml.rels")));
    while (more(rels)) {
        rels.readNext();
        if (rels.isStartElement() && rels.name() == QLatin1String("Relationship") &&
            rels.attributes().value(QLatin1String("Id")) == chosen) {
            const QString target = rels.attributes().value(QLatin1String("Target")).toString();
            return target.startsWith(QLatin1Char('/')) ? target.mid(1) : QStringLiteral("xl/") + target;
        }
    }
    fail(QStringLiteral("the workbook's list of sheets is damaged"));
}

void XlsxReader::readSharedStrings()
{
    if (!m_zip->setCurrentFile(QStringLiteral("xl/sharedStrings.xml")))
        return; // a workbook without text
    QuaZipFile file(m_zip.get());
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("its shared strings cannot be read"));
    QXmlStreamReader xml(&file);
    while (more(xml)) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("si"))
            m_shared << readRichText(xml);
    }
    if (xml.hasError())
        fail(QStringLiteral("its shared strings are damaged"));
}

void XlsxReader::readStyles()
{
    QXmlStreamReader xml(entryBytes(*m_zip, QStringLiteral("xl/styles.xml")));
    QHash<int, QString> codes;
    bool cellFormats = false;
    while (more(xml)) {
        xml.readNext();
        if (xml.isEndElement() && xml.name() == QLatin1String("cellXfs"))
            cellFormats = false;
        if (!xml.isStartElement())
            continue;
        const int id = xml.attributes().value(QLatin1String("numFmtId")).toInt();
        if (xml.name() == QLatin1String("numFmt"))
            codes.insert(id, xml.attributes().value(QLatin1String("formatCode")).toString());
        else if (xml.name() == QLatin1String("cellXfs"))
            cellFormats = true;
        else if (cellFormats && xml.name() == QLatin1String("xf"))
            m_styles << (codes.contains(id) ? numberStyle(-1, codes.value(id)) : numberStyle(id, QString()));
    }
}

// Opens the sheet's entry and reads up to its rows; the number of data rows
// from its dimension (-1 without one).
void XlsxReader::openSheetStream(const QString &entry)
{
    if (!m_zip->setCurrentFile(entry))
        fail(QStringLiteral("the worksheet is missing"));
    m_sheet = std::make_unique<QuaZipFile>(m_zip.get());
    if (!m_sheet->open(QIODevice::ReadOnly))
        fail(QStringLiteral("the worksheet cannot be read"));
    m_xml.setDevice(m_sheet.get());
    m_rows = -1;
    while (more(m_xml)) {
        m_xml.readNext();
        if (!m_xml.isStartElement())
            continue;
        if (m_xml.name() == QLatin1String("dimension")) {
            const QStringView ref = m_xml.attributes().value(QLatin1String("ref"));
            const qsizetype colon = ref.indexOf(QLatin1Char(':'));
            m_rows = std::clamp(rowOfReference(colon < 0 ? ref : ref.mid(colon + 1)) - 1, 0, kMaxRows - 1);
        } else if (m_xml.name() == QLatin1String("sheetData")) {
            return;
        }
    }
    if (m_xml.hasError())
        fail(QStringLiteral("the worksheet is damaged"));
}

// The data rows of a sheet without a dimension, counted in a pass of its own.
int XlsxReader::countRows(const QString &entry)
{
    QuaZip zip(m_file.descriptorPath());
    if (!zip.open(QuaZip::mdUnzip) || !zip.setCurrentFile(entry))
        return 0;
    QuaZipFile file(&zip);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    QXmlStreamReader xml(&file);
    int last = 0;
    while (more(xml)) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("row"))
            last = std::min(kMaxRows, std::max(last + 1, rowOfReference(xml.attributes().value(QLatin1String("r")))));
    }
    return std::max(0, last - 1);
}

// The next <row> of the sheet and its number; false after the last.
bool XlsxReader::readRow(QVector<SheetCell> &row, int &number)
{
    while (more(m_xml)) {
        m_xml.readNext();
        if (m_xml.isEndElement() && m_xml.name() == QLatin1String("sheetData"))
            return false;
        if (!m_xml.isStartElement() || m_xml.name() != QLatin1String("row"))
            continue;
        const int given = rowOfReference(m_xml.attributes().value(QLatin1String("r")));
        if (given > kMaxRows)
            fail(QStringLiteral("the worksheet is damaged"));
        number = given > 0 ? given : m_nextNumber + (m_pendingNumber ? 1 : 0);
        row.clear();
        int column = -1;
        while (m_xml.readNextStartElement()) {
            if (m_xml.name() != QLatin1String("c")) {
                m_xml.skipCurrentElement();
                continue;
            }
            const SheetCell cell = readCell(column);
            if (column >= 0 && column < kMaxColumns) {
                if (row.size() <= column)
                    row.resize(column + 1);
                row[column] = cell;
            }
        }
        if (m_xml.hasError())
            fail(QStringLiteral("the worksheet is damaged"));
        return true;
    }
    if (m_xml.hasError())
        fail(QStringLiteral("the worksheet is damaged"));
    return false;
}

// One <c> element; `column` is the previous cell's column on entry.
SheetCell XlsxReader::readCell(int &column)
{
    const QXmlStreamAttributes attributes = m_xml.attributes();
    const int named = columnOfReference(attributes.value(QLatin1String("r")));
    column = named >= 0 ? named : column + 1;
    const QString type = attributes.value(QLatin1String("t")).toString();
    const int style = attributes.value(QLatin1String("s")).toInt();
    QString value;
    bool inline_ = false;
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == QLatin1String("v")) {
            value = m_xml.readElementText(QXmlStreamReader::SkipChildElements);
        } else if (m_xml.name() == QLatin1String("is")) {
            value = readRichText(m_xml);
            inline_ = true;
        } else {
            m_xml.skipCurrentElement(); // a formula: its cached value is read
        }
    }
    return valueCell(inline_ ? QStringLiteral("inlineStr") : type, value, style);
}

SheetCell XlsxReader::valueCell(const QString &type, const QString &value, int style) const
{
    SheetCell cell;
    if (value.isEmpty() && type != QLatin1String("inlineStr") && type != QLatin1String("str"))
        return cell;
    cell.kind = SheetCell::Kind::Text;
    if (type == QLatin1String("s")) {
        bool ok = false;
        const int index = value.toInt(&ok);
        if (!ok || index < 0 || index >= m_shared.size())
            return SheetCell();
        cell.text = m_shared.at(index);
    } else if (type == QLatin1String("b")) {
        cell.text = value == QLatin1String("1") ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    } else if (type == QLatin1String("inlineStr") || type == QLatin1String("str") || type == QLatin1String("e")) {
        cell.text = value;
    } else if (type == QLatin1String("d")) {
        const QDateTime stamp = QDateTime::fromString(value, Qt::ISODate);
        cell.text = value;
        if (stamp.isValid()) {
            cell.kind = stamp.time() == QTime(0, 0) ? SheetCell::Kind::Date : SheetCell::Kind::DateTime;
            cell.text = stamp.toString(cell.kind == SheetCell::Kind::Date ? QStringLiteral("yyyy-MM-dd")
                                                                          : QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        }
    } else {
        bool ok = false;
        cell.number = value.toDouble(&ok);
        if (!ok)
            return SheetCell();
        cell.kind = SheetCell::Kind::Number;
        const NumberStyle shown = style >= 0 && style < m_styles.size() ? m_styles.at(style) : NumberStyle::Plain;
        const QDateTime stamp = shown == NumberStyle::Plain ? QDateTime() : serialDateTime(cell.number, m_date1904);
        if (stamp.isValid()) {
            const bool withTime = shown == NumberStyle::DateTime || stamp.time() != QTime(0, 0);
            cell.kind = shown == NumberStyle::Time ? SheetCell::Kind::Time
                        : withTime                 ? SheetCell::Kind::DateTime
                                                   : SheetCell::Kind::Date;
            cell.text = stamp.toString(cell.kind == SheetCell::Kind::Time   ? QStringLiteral("HH:mm:ss")
                                       : cell.kind == SheetCell::Kind::Date ? QStringLiteral("yyyy-MM-dd")
                                                                            : QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        }
    }
    return cell;
}

bool XlsxReader::nextRow(QVector<SheetCell> &row)
{
    if (!m_pendingNumber) {
        int number = 0;
        if (!readRow(m_pending, number))
            return false;
        m_pendingNumber = std::max(number, m_nextNumber);
    }
    // Rows the sheet leaves out are empty rows, as in any spreadsheet.
    if (m_nextNumber < m_pendingNumber) {
        row.clear();
        ++m_nextNumber;
        return true;
    }
    row = std::move(m_pending);
    m_pending.clear();
    m_pendingNumber = 0;
    ++m_nextNumber;
    return true;
}

} // namespace tessary
