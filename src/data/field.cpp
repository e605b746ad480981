#include "query.h"
#include "errors.h"

namespace tessary {

namespace {

QString nullConversionError(FieldType target)
{
    return QStringLiteral("Could not convert variant of type (Null) into type (%1)").arg(fieldTypeName(target));
}

} // namespace

QString fieldTypeName(FieldType type)
{
    switch (type) {
    case FieldType::AutoInc: return QStringLiteral("AutoInc");
    case FieldType::SmallInt: return QStringLiteral("SmallInt");
    case FieldType::Integer: return QStringLiteral("Integer");
    case FieldType::Boolean: return QStringLiteral("Boolean");
    case FieldType::Double: return QStringLiteral("Float");
    case FieldType::DateTime: return QStringLiteral("DateTime");
    case FieldType::AnsiText: return QStringLiteral("String");
    case FieldType::Text: return QStringLiteral("WideString");
    case FieldType::Blob: return QStringLiteral("Blob");
    }
    return QStringLiteral("Unknown");
}

// ---------------------------------------------------------------------------
// Field

QString Field::name() const { return m_query->m_columns.at(m_column).name; }
FieldType Field::type() const { return m_query->m_columns.at(m_column).type; }

bool Field::isNull() const
{
    return value().isNull();
}

QVariant Field::value() const
{
    return m_query->currentValue(m_column);
}

QString Field::asString() const
{
    const QVariant v = value();
    if (v.isNull())
        throw Error(nullConversionError(FieldType::Text));
    switch (type()) {
    case FieldType::DateTime: return dateTimeText(v.toDateTime());
    case FieldType::Boolean: return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case FieldType::Blob: return QString::fromLatin1(v.toByteArray());
    default: return v.toString();
    }
}

QString Field::text() const
{
    try {
        return asString();
    } catch (const Error &) {
        return {};
    }
}

int Field::asInteger() const
{
    const QVariant v = value();
    if (v.isNull())
        return 0;
    bool ok = false;
    const qlonglong n = v.toLongLong(&ok);
    if (!ok || n < std::numeric_limits<int>::min() || n > std::numeric_limits<int>::max())
        throw Error(QStringLiteral("'%1' is not a valid integer value").arg(v.toString()));
    return int(n);
}

bool Field::asBoolean() const
{
    const QVariant v = value();
    return !v.isNull() && v.toBool();
}

double Field::asFloat() const
{
    const QVariant v = value();
    if (v.isNull())
        return 0;
    bool ok = false;
    const double d = v.toDouble(&ok);
    if (!ok)
        throw Error(QStringLiteral("'%1' is not a valid floating point value").arg(v.toString()));
    return d;
}

QDateTime Field::asDateTime() const
{
    const QVariant v = value();
    if (v.isNull())
        return {};
    return v.toDateTime();
}

QByteArray Field::asBytes() const
{
    const QVariant v = value();
    if (v.isNull())
        return {};
    if (v.typeId() == QMetaType::QString)
        return v.toString().toUtf8();
    return v.toByteArray();
}

void Field::setValue(const QVariant &value)
{
    m_query->setBufferValue(m_column, value);
}

void Field::setString(const QString &text)
{
    const FieldType t = type();
    switch (t) {
    case FieldType::DateTime: {
        QDateTime dt = parseDayMonthYear(text);
        if (!dt.isValid())
            dt = QDateTime::fromString(text, Qt::ISODate);
        if (!dt.isValid())
            throw Error(QStringLiteral("'%1' is not a valid date").arg(text));
        m_query->setBufferValue(m_column, dt);
        return;
    }
    case FieldType::AutoInc:
    case FieldType::SmallInt:
    case FieldType::Integer: {
        bool ok = false;
        const qlonglong n = text.trimmed().toLongLong(&ok);
        if (!ok)
            throw Error(QStringLiteral("'%1' is not a valid integer value").arg(text));
        m_query->setBufferValue(m_column, n);
        return;
    }
    case FieldType::Boolean: {
        const QString t2 = text.trimmed().toLower();
        if (t2 == QLatin1String("true") || t2 == QLatin1String("1") || t2 == QLatin1String("yes"))
            m_query->setBufferValue(m_column, true);
        else if (t2 == QLatin1String("false") || t2 == QLatin1String("0") || t2 == QLatin1String("no"))
            m_query->setBufferValue(m_column, false);
        else
            throw Error(QStringLiteral("'%1' is not a valid boolean value").arg(text));
        return;
    }
    case FieldType::Double: {
        bool ok = false;
        const double d = text.trimmed().toDouble(&ok);
        if (!ok)
            throw Error(QStringLiteral("'%1' is not a valid floating point value").arg(text));
        m_query->setBufferValue(m_column, d);
        return;
    }
    case FieldType::Blob:
        m_query->setBufferValue(m_column, text.toUtf8());
        return;
    case FieldType::AnsiText:
    case FieldType::Text:
        m_query->setBufferValue(m_column, text);
        return;
    }
}

void Field::setInteger(int value) { m_query->setBufferValue(m_column, qlonglong(value)); }
void Field::setBoolean(bool value) { m_query->setBufferValue(m_column, value); }
void Field::setFloat(double value) { m_query->setBufferValue(m_column, value); }
void Field::setDateTime(const QDateTime &value) { m_query->setBufferValue(m_column, value.isValid() ? QVariant(value) : QVariant()); }
void Field::setBytes(const QByteArray &bytes) { m_query->setBufferValue(m_column, bytes.isNull() ? QByteArray("") : bytes); }
void Field::clear() { m_query->setBufferValue(m_column, QVariant()); }

} // namespace tessary
