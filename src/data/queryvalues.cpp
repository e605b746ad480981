// How the query's values pass between Qt and the database file: reading a
// stored value as its column type, checking a value against its column, and
// binding a value for storage.
#include "query.h"
#include "connection.h"
#include "errors.h"
#include "datetext.h"
#include "jetsql.h"
#include <QLocale>
#include <QSet>
#include <QRegularExpression>
#include "engine.h"
#include <limits>

namespace tessary {

void Query::validate(const Column &column, const QVariant &value) const
{
    if (value.isNull())
        return;
    auto outOfRange = [&](qlonglong lo, qlonglong hi) {
        throw Error(QStringLiteral("%1 is not a valid value for field '%2'. The allowed range is %3 to %4")
                        .arg(value.toString(), column.name)
                        .arg(lo)
                        .arg(hi));
    };
    switch (column.type) {
    case FieldType::SmallInt: {
        const qlonglong n = value.toLongLong();
        if (n < -32768 || n > 32767)
            outOfRange(-32768, 32767);
        break;
    }
    case FieldType::Integer:
    case FieldType::AutoInc: {
        const qlonglong n = value.toLongLong();
        if (n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
            outOfRange(std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max());
        break;
    }
    case FieldType::Text:
    case FieldType::AnsiText:
        if (column.maxLength > 0 && value.toString().size() > column.maxLength)
            throw Error(QStringLiteral("The text for field '%1' is too long (at most %2 characters)")
                            .arg(column.name)
                            .arg(column.maxLength));
        break;
    default:
        break;
    }
}

QVariant Query::readValue(SqlStatement &stmt, int index, const Column &column) const
{
    const ValueKind t = stmt.kind(index);
    if (t == ValueKind::Null)
        return {};
    switch (column.type) {
    case FieldType::AutoInc:
    case FieldType::SmallInt:
    case FieldType::Integer:
        if (t == ValueKind::Integer)
            return qlonglong(stmt.integer(index));
        break;
    case FieldType::Boolean:
        return stmt.integer(index) != 0;
    case FieldType::Double:
        return stmt.real(index);
    case FieldType::DateTime: {
        const QString text = stmt.text(index);
        QDateTime dt = readStoredDate(text);
        if (!dt.isValid())
            dt = QDateTime::fromString(text, Qt::ISODate);
        if (!dt.isValid())
            dt = parseDayMonthYear(text);
        return dt.isValid() ? QVariant(dt) : QVariant(text); // unreadable dates stay as their text
    }
    case FieldType::Blob:
        return stmt.bytes(index);
    default:
        break;
    }
    switch (t) {
    case ValueKind::Blob: return stmt.bytes(index);
    case ValueKind::Integer: return qlonglong(stmt.integer(index));
    case ValueKind::Real: return stmt.real(index);
    default: return stmt.text(index);
    }
}

QVariant Query::storedValue(SqlStatement &stmt, int index)
{
    switch (stmt.kind(index)) {
    case ValueKind::Null: return {};
    case ValueKind::Integer: return qlonglong(stmt.integer(index));
    case ValueKind::Real: return stmt.real(index);
    case ValueKind::Blob: return stmt.bytes(index);
    case ValueKind::Text: break;
    }
    return stmt.text(index);
}

QVariant Query::storageValue(const QVariant &value, FieldType type) const
{
    if (value.isNull())
        return {};
    switch (type) {
    case FieldType::DateTime:
        if (value.typeId() == QMetaType::QDateTime)
            return storedDateText(value.toDateTime());
        if (value.typeId() == QMetaType::QDate)
            return storedDateText(value.toDate().startOfDay());
        if (value.typeId() == QMetaType::QString) {
            const QDateTime dt = parseDayMonthYear(value.toString());
            if (!dt.isValid())
                throw Error(QStringLiteral("'%1' is not a valid date").arg(value.toString()));
            return storedDateText(dt);
        }
        throw Error(QStringLiteral("Invalid value for a date field"));
    case FieldType::Boolean:
        return qlonglong(value.toBool() ? 1 : 0);
    case FieldType::AutoInc:
    case FieldType::SmallInt:
    case FieldType::Integer: {
        bool ok = false;
        const qlonglong n = value.toLongLong(&ok);
        if (!ok)
            throw Error(QStringLiteral("'%1' is not a valid integer value").arg(value.toString()));
        return n;
    }
    case FieldType::Double:
        return value.toDouble();
    case FieldType::Blob:
        return value.typeId() == QMetaType::QString ? value.toString().toUtf8() : value.toByteArray();
    case FieldType::Text:
    case FieldType::AnsiText:
        return value.toString();
    }
    return value;
}

void Query::bindValue(SqlStatement &stmt, int index, const QVariant &raw, FieldType type) const
{
    stmt.bind(index, storageValue(raw, type));
}

std::unique_ptr<Query> openQuery(Connection &connection, const QString &name, const QStringList &sql,
                                 const QVector<ColumnDecl> &columns)
{
    auto query = std::make_unique<Query>(&connection, name);
    query->setSql(sql);
    query->setDeclaredColumns(columns);
    query->open();
    return query;
}

} // namespace tessary
