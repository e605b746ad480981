#include "records.h"
#include "errors.h"

#include <QHash>

#include <cstring>

namespace tessary {

QString FieldText(const std::optional<Field> &field)
{
    if (!field)
        return {};
    try {
        return field->asString();
    } catch (...) {
        return {};
    }
}

void SetFieldFromLines(Field field, const QStringList &lines)
{
    QString text;
    for (const QString &line : lines)
        text += line + QStringLiteral("\r\n");
    field.setString(text);
}

// ---------------------------------------------------------------------------
// Component stream

namespace {

enum ValueType : quint8 {
    vaNull = 0,
    vaList = 1,
    vaInt8 = 2,
    vaInt16 = 3,
    vaInt32 = 4,
    vaExtended = 5,
    vaString = 6,
    vaIdent = 7,
    vaFalse = 8,
    vaTrue = 9,
    vaBinary = 10,
    vaSet = 11,
    vaLString = 12,
    vaNil = 13,
    vaCollection = 14,
    vaSingle = 15,
    vaCurrency = 16,
    vaDate = 17,
    vaWString = 18,
    vaInt64 = 19,
    vaUTF8String = 20,
};

struct NamedValue
{
    const char *name;
    quint32 value;
};

const NamedValue kColors[] = {
    {"clBlack", 0x000000}, {"clMaroon", 0x000080}, {"clGreen", 0x008000},  {"clOlive", 0x008080},
    {"clNavy", 0x800000},  {"clPurple", 0x800080}, {"clTeal", 0x808000},   {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0}, {"clRed", 0x0000FF},   {"clLime", 0x00FF00},   {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},  {"clFuchsia", 0xFF00FF}, {"clAqua", 0xFFFF00},  {"clWhite", 0xFFFFFF},
    {"clWindowText", 0x000000}, {"clBtnText", 0x000000}, {"clWindow", 0xFFFFFF},
};

const NamedValue kCharsets[] = {
    {"ANSI_CHARSET", 0},       {"DEFAULT_CHARSET", 1},     {"SYMBOL_CHARSET", 2},   {"MAC_CHARSET", 77},
    {"SHIFTJIS_CHARSET", 128}, {"HANGEUL_CHARSET", 129},   {"JOHAB_CHARSET", 130},  {"GB2312_CHARSET", 134},
    {"CHINESEBIG5_CHARSET", 136}, {"GREEK_CHARSET", 161},  {"TURKISH_CHARSET", 162}, {"VIETNAMESE_CHARSET", 163},
    {"HEBREW_CHARSET", 177},   {"ARABIC_CHARSET", 178},    {"BALTIC_CHARSET", 186}, {"RUSSIAN_CHARSET", 204},
    {"THAI_CHARSET", 222},     {"EASTEUROPE_CHARSET", 238}, {"OEM_CHARSET", 255},
};

template <size_t N>
const char *nameOf(const NamedValue (&table)[N], quint32 value)
{
    for (const NamedValue &nv : table)
        if (nv.value == value)
            return nv.name;
    return nullptr;
}

template <size_t N>
std::optional<quint32> valueOf(const NamedValue (&table)[N], const QByteArray &name)
{
    for (const NamedValue &nv : table)
        if (name == nv.name)
            return nv.value;
    return std::nullopt;
}

class Writer
{
public:
    QByteArray bytes;

    void shortString(const QByteArray &s)
    {
        const QByteArray t = s.left(255);
        bytes.append(char(quint8(t.size())));
        bytes.append(t);
    }
    void name(const char *n) { shortString(QByteArray(n)); }
    void integer(qint32 v)
    {
        if (v >= -128 && v <= 127) {
            bytes.append(char(vaInt8));
            bytes.append(char(qint8(v)));
        } else if (v >= -32768 && v <= 32767) {
            bytes.append(char(vaInt16));
            const qint16 w = qint16(v);
            bytes.append(char(w & 0xFF));
            bytes.append(char((w >> 8) & 0xFF));
        } else {
            bytes.append(char(vaInt32));
            const quint32 u = quint32(v);
            for (int i = 0; i < 4; ++i)
                bytes.append(char((u >> (8 * i)) & 0xFF));
        }
    }
    void string(const QByteArray &s)
    {
        if (s.size() <= 255) {
            bytes.append(char(vaString));
            shortString(s);
        } else {
            bytes.append(char(vaLString));
            const quint32 n = quint32(s.size());
            for (int i = 0; i < 4; ++i)
                bytes.append(char((n >> (8 * i)) & 0xFF));
            bytes.append(s);
        }
    }
    void ident(const char *s)
    {
        bytes.append(char(vaIdent));
        shortString(QByteArray(s));
    }
    void boolean(bool b) { bytes.append(char(b ? vaTrue : vaFalse)); }
};

class Reader
{
public:
    explicit Reader(const QByteArray &b) : m_data(b) {}

    bool atEnd() const { return m_pos >= m_data.size(); }
    quint8 byte()
    {
        need(1);
        return quint8(m_data.at(m_pos++));
    }
    QByteArray raw(qsizetype n)
    {
        need(n);
        const QByteArray out = m_data.mid(m_pos, n);
        m_pos += n;
        return out;
    }
    quint32 u32()
    {
        const QByteArray b = raw(4);
        return quint32(quint8(b[0])) | quint32(quint8(b[1])) << 8 | quint32(quint8(b[2])) << 16 |
               quint32(quint8(b[3])) << 24;
    }
    QByteArray shortString() { return raw(byte()); }

private:
    void need(qsizetype n)
    {
        if (n < 0 || m_pos + n > m_data.size())
            throw Error(QStringLiteral("Stream read error"));
    }
    const QByteArray &m_data;
    qsizetype m_pos = 0;
};

// One property value, read in full so that unknown ones can be skipped.
struct Value
{
    quint8 type = vaNull;
    qint64 integer = 0;
    QByteArray text; // strings and identifiers
    QList<QByteArray> set;
};

Value readValue(Reader &r)
{
    Value v;
    v.type = r.byte();
    switch (v.type) {
    case vaNull:
    case vaNil:
    case vaFalse:
    case vaTrue:
        break;
    case vaInt8:
        v.integer = qint8(r.byte());
        break;
    case vaInt16: {
        const QByteArray b = r.raw(2);
        v.integer = qint16(quint16(quint8(b[0])) | quint16(quint8(b[1])) << 8);
        break;
    }
    case vaInt32:
        v.integer = qint32(r.u32());
        break;
    case vaInt64:
    case vaCurrency:
    case vaDate:
        r.raw(8);
        break;
    case vaSingle:
        r.raw(4);
        break;
    case vaExtended:
        r.raw(10);
        break;
    case vaString:
    case vaIdent:
        v.text = r.shortString();
        break;
    case vaLString:
    case vaUTF8String:
    case vaBinary: {
        const quint32 n = r.u32();
        if (n > 16u * 1024 * 1024)
            throw Error(QStringLiteral("Stream read error"));
        v.text = r.raw(qsizetype(n));
        break;
    }
    case vaWString: {
        const quint32 n = r.u32();
        if (n > 8u * 1024 * 1024)
            throw Error(QStringLiteral("Stream read error"));
        const QByteArray b = r.raw(qsizetype(n) * 2);
        QString s(qsizetype(n), Qt::Uninitialized);
        for (quint32 i = 0; i < n; ++i)
            s[qsizetype(i)] = QChar(char16_t(quint8(b[2 * i]) | quint8(b[2 * i + 1]) << 8));
        v.text = s.toLocal8Bit();
        break;
    }
    case vaSet:
        for (;;) {
            QByteArray item = r.shortString();
            if (item.isEmpty())
                break;
            v.set << item;
        }
        break;
    default:
        // Lists and collections do not occur in a label; anything else is
        // not a stream this program wrote.
        throw Error(QStringLiteral("Invalid property value"));
    }
    return v;
}

bool isInteger(const Value &v)
{
    return v.type == vaInt8 || v.type == vaInt16 || v.type == vaInt32;
}

void apply(LabelAppearance &label, const QByteArray &property, const Value &v)
{
    auto asInt = [&]() -> std::optional<int> {
        if (isInteger(v))
            return int(v.integer);
        return std::nullopt;
    };
    auto asBool = [&]() -> std::optional<bool> {
        if (v.type == vaTrue)
            return true;
        if (v.type == vaFalse)
            return false;
        return std::nullopt;
    };
    if (property == "Left") {
        if (auto i = asInt()) label.left = *i;
    } else if (property == "Top") {
        if (auto i = asInt()) label.top = *i;
    } else if (property == "Width") {
        if (auto i = asInt()) label.width = *i;
    } else if (property == "Height") {
        if (auto i = asInt()) label.height = *i;
    } else if (property == "Alignment" && v.type == vaIdent) {
        if (v.text == "taLeftJustify") label.alignment = LabelAppearance::Align::Left;
        else if (v.text == "taRightJustify") label.alignment = LabelAppearance::Align::Right;
        else if (v.text == "taCenter") label.alignment = LabelAppearance::Align::Center;
    } else if (property == "AutoSize") {
        if (auto b = asBool()) label.autoSize = *b;
    } else if (property == "Caption" && (v.type == vaString || v.type == vaLString)) {
        label.caption = QString::fromLocal8Bit(v.text);
    } else if (property == "Caption" && (v.type == vaWString || v.type == vaUTF8String)) {
        label.caption = v.type == vaUTF8String ? QString::fromUtf8(v.text) : QString::fromLocal8Bit(v.text);
    } else if (property == "Font.Charset") {
        if (auto i = asInt()) label.fontCharset = *i;
        else if (v.type == vaIdent)
            if (auto c = valueOf(kCharsets, v.text)) label.fontCharset = int(*c);
    } else if (property == "Font.Color") {
        if (auto i = asInt()) label.fontColor = quint32(*i);
        else if (v.type == vaIdent)
            if (auto c = valueOf(kColors, v.text)) label.fontColor = *c;
    } else if (property == "Font.Height") {
        if (auto i = asInt()) label.fontHeight = *i;
    } else if (property == "Font.Name" && (v.type == vaString || v.type == vaLString)) {
        label.fontName = QString::fromLocal8Bit(v.text);
    } else if (property == "Font.Style" && v.type == vaSet) {
        int style = 0;
        for (const QByteArray &item : v.set) {
            if (item == "fsBold") style |= LabelAppearance::Bold;
            else if (item == "fsItalic") style |= LabelAppearance::Italic;
            else if (item == "fsUnderline") style |= LabelAppearance::Underline;
            else if (item == "fsStrikeOut") style |= LabelAppearance::StrikeOut;
        }
        label.fontStyle = style;
    } else if (property == "ParentFont") {
        if (auto b = asBool()) label.parentFont = *b;
    } else if (property == "Layout" && v.type == vaIdent) {
        if (v.text == "tlTop") label.layout = LabelAppearance::VAlign::Top;
        else if (v.text == "tlCenter") label.layout = LabelAppearance::VAlign::Center;
        else if (v.text == "tlBottom") label.layout = LabelAppearance::VAlign::Bottom;
    }
    // Anything else is a property this program does not use: skipped.
}

} // namespace

QByteArray encodeComponentStream(const LabelAppearance &label)
{
    Writer w;
    w.bytes.append("TPF0", 4);
    w.shortString(label.className.toLatin1());
    w.shortString(label.componentName.toLatin1());

    w.name("Left");
    w.integer(label.left);
    w.name("Top");
    w.integer(label.top);
    w.name("Width");
    w.integer(label.width);
    w.name("Height");
    w.integer(label.height);
    if (label.alignment != LabelAppearance::Align::Left) {
        w.name("Alignment");
        w.ident(label.alignment == LabelAppearance::Align::Center ? "taCenter" : "taRightJustify");
    }
    if (!label.autoSize) {
        w.name("AutoSize");
        w.boolean(false);
    }
    if (!label.caption.isEmpty()) {
        w.name("Caption");
        w.string(label.caption.toLocal8Bit());
    }
    w.name("Font.Charset");
    if (const char *n = nameOf(kCharsets, quint32(label.fontCharset)))
        w.ident(n);
    else
        w.integer(label.fontCharset);
    w.name("Font.Color");
    if (const char *n = nameOf(kColors, label.fontColor))
        w.ident(n);
    else
        w.integer(qint32(label.fontColor));
    w.name("Font.Height");
    w.integer(label.fontHeight);
    w.name("Font.Name");
    w.string(label.fontName.toLocal8Bit());
    w.name("Font.Style");
    w.bytes.append(char(vaSet));
    if (label.fontStyle & LabelAppearance::Bold) w.name("fsBold");
    if (label.fontStyle & LabelAppearance::Italic) w.name("fsItalic");
    if (label.fontStyle & LabelAppearance::Underline) w.name("fsUnderline");
    if (label.fontStyle & LabelAppearance::StrikeOut) w.name("fsStrikeOut");
    w.bytes.append(char(0));
    if (!label.parentFont) {
        w.name("ParentFont");
        w.boolean(false);
    }
    if (label.layout != LabelAppearance::VAlign::Top) {
        w.name("Layout");
        w.ident(label.layout == LabelAppearance::VAlign::Center ? "tlCenter" : "tlBottom");
    }
    w.bytes.append(char(0)); // end of properties
    w.bytes.append(char(0)); // no child components
    return w.bytes;
}

bool decodeComponentStream(const QByteArray &bytes, LabelAppearance &label)
{
    if (bytes.size() < 4 || std::memcmp(bytes.constData(), "TPF0", 4) != 0)
        return false;
    try {
        Reader r(bytes);
        r.raw(4);
        LabelAppearance result = label;
        r.shortString(); // class name
        r.shortString(); // component name
        for (;;) {
            const QByteArray property = r.shortString();
            if (property.isEmpty())
                break;
            const Value v = readValue(r);
            apply(result, property, v);
        }
        // The child list must be present and, for a label, empty.
        if (r.byte() != 0)
            return false;
        label = result;
        return true;
    } catch (const Error &) {
        return false;
    }
}

void SaveComponentToBlob(Field field, const LabelAppearance &label)
{
    try {
        field.setBytes(encodeComponentStream(label));
    } catch (...) {
        // Keeping the font is best effort: the rest of the settings still save.
    }
}

void LoadComponentFromBlob(Field field, LabelAppearance &label)
{
    try {
        decodeComponentStream(field.asBytes(), label);
    } catch (...) {
    }
}

} // namespace tessary
