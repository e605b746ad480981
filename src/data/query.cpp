#include "query.h"
#include "connection.h"
#include "errors.h"
#include "datetext.h"
#include "jetsql.h"
#include "scopeexit.h"

#include <QLocale>
#include <QSet>
#include <QRegularExpression>

#include "engine.h"

#include <limits>

namespace tessary {

namespace {

// Maps a declared SQLite column type to the column types of the card
// database. Unicode texts are declared NVARCHAR / LONGTEXT, 8-bit texts
// VARCHAR, so both survive a round trip through the file.
FieldType typeFromDecl(const QString &declared, bool primaryKey, int *maxLength)
{
    const QString t = declared.toUpper();
    static const QRegularExpression lengthRe(QStringLiteral("\\((\\d+)\\)"));
    const auto m = lengthRe.match(t);
    *maxLength = m.hasMatch() ? m.captured(1).toInt() : 0;
    if (primaryKey && t.startsWith(QLatin1String("INTEGER")))
        return FieldType::AutoInc;
    if (t.contains(QLatin1String("COUNTER")) || t.contains(QLatin1String("AUTOINC")))
        return FieldType::AutoInc;
    if (t.contains(QLatin1String("SMALLINT")))
        return FieldType::SmallInt;
    if (t.contains(QLatin1String("BOOL")) || t == QLatin1String("BIT") || t.contains(QLatin1String("YESNO")))
        return FieldType::Boolean;
    if (t.contains(QLatin1String("INT")) ||
        (t.contains(QLatin1String("LONG")) && !t.contains(QLatin1String("LONGTEXT")) && !t.contains(QLatin1String("LONGBINARY"))))
        return FieldType::Integer;
    if (t.contains(QLatin1String("DOUBLE")) || t.contains(QLatin1String("FLOAT")) || t.contains(QLatin1String("REAL")) ||
        t.contains(QLatin1String("CURRENCY")))
        return FieldType::Double;
    if (t.contains(QLatin1String("DATE")) || t.contains(QLatin1String("TIME")))
        return FieldType::DateTime;
    if (t.contains(QLatin1String("BLOB")) || t.contains(QLatin1String("BINARY")) || t.contains(QLatin1String("IMAGE")) ||
        t.contains(QLatin1String("OLE")))
        return FieldType::Blob;
    if (t.startsWith(QLatin1Char('N')) || t.contains(QLatin1String("LONGTEXT")) || t.contains(QLatin1String("MEMO")))
        return FieldType::Text;
    return FieldType::AnsiText;
}

bool typesCompatible(FieldType declared, FieldType actual)
{
    if (declared == actual)
        return true;
    auto isText = [](FieldType t) { return t == FieldType::Text || t == FieldType::AnsiText; };
    auto isInt = [](FieldType t) { return t == FieldType::Integer || t == FieldType::AutoInc; };
    return (isText(declared) && isText(actual)) || (isInt(declared) && isInt(actual));
}

// The order clause with the embedded engine's place for empty values: it
// sorts them before every value, the server after. Each term of the clause
// (commas inside brackets aside) says where they go on the server.
QString nullsAsEmbedded(const SqlEngine &engine, const QString &orderClause)
{
    if (engine.kind() != EngineKind::Server)
        return orderClause;
    QStringList terms;
    int depth = 0, start = 0;
    for (int i = 0; i <= orderClause.size(); ++i) {
        const QChar c = i < orderClause.size() ? orderClause.at(i) : QLatin1Char(',');
        if (c == QLatin1Char('('))
            ++depth;
        else if (c == QLatin1Char(')'))
            --depth;
        else if (c == QLatin1Char(',') && depth == 0) {
            const QString term = orderClause.mid(start, i - start).trimmed();
            const bool descending = term.endsWith(QLatin1String(" desc"), Qt::CaseInsensitive);
            terms << term + (descending ? QStringLiteral(" nulls last") : QStringLiteral(" nulls first"));
            start = i + 1;
        }
    }
    return terms.join(QStringLiteral(", "));
}

} // namespace

// ---------------------------------------------------------------------------
// Query

Query::Query(Connection *connection, const QString &name, QObject *parent) : QObject(parent), m_connection(connection)
{
    setObjectName(name);
    m_connection->attach(this);
}

Query::~Query()
{
    close();
    m_connection->detach(this);
}

void Query::setSql(const QStringList &lines)
{
    close();
    m_sql = lines;
}

Query::Stmt Query::prepare(const QString &sql) const
{
    return m_connection->engine().prepare(sql);
}

QString Query::rowKey() const
{
    return m_connection->engine().rowKey();
}

void Query::fail(const QString &context) const
{
    QString message = m_connection->lastError();
    if (!context.isEmpty())
        message = context + QStringLiteral(": ") + message;
    throw Error(message);
}

void Query::rethrowNamed(const Error &e) const
{
    // A lost server is not this query's fault: its message names the
    // server, not the query.
    if (const auto *lost = dynamic_cast<const ServerLostError *>(&e))
        throw *lost;
    throw Error(name() + QStringLiteral(": ") + e.message());
}

void Query::requireActive() const
{
    if (m_state == State::Inactive)
        throw Error(QStringLiteral("%1: Cannot perform this operation on a closed dataset").arg(name()));
}

void Query::requireUpdatable() const
{
    requireActive();
    if (!m_lazy)
        throw Error(QStringLiteral("%1: Cannot modify a read-only dataset").arg(name()));
}

void Query::readTableColumns(const QString &table, int tableIndex, QVector<Column> &into, QStringList &names)
{
    const std::vector<TableColumn> columns = m_connection->engine().tableColumns(table);
    if (columns.empty())
        throw Error(QStringLiteral("no such table: %1").arg(table));
    for (const TableColumn &t : columns) {
        Column c;
        c.table = tableIndex;
        c.source = t.name;
        c.type = typeFromDecl(t.declared, t.primaryKey, &c.maxLength);
        c.name = c.source;
        into.append(c);
        names.append(c.source);
    }
}

void Query::open()
{
    if (isOpen())
        return;
    SqlEngine &engine = m_connection->engine(); // fails when not connected
    const QString key = engine.rowKey();
    const TranslatedSql translated = translateJetSql(statement());
    const std::optional<SelectShape> shape = parseSelectStar(translated.body);

    m_columns.clear();
    m_tables.clear();
    m_keys.clear();
    m_rows.clear();
    m_lazy = false;

    if (shape) {
        // Lazy, updatable: keys now, values on demand.
        m_lazy = true;
        m_tables << shape->firstTable;
        QVector<Column> cols;
        QStringList firstNames, joinedNames;
        readTableColumns(shape->firstTable, 0, cols, firstNames);
        if (!shape->joinedTable.isEmpty()) {
            m_tables << shape->joinedTable;
            readTableColumns(shape->joinedTable, 1, cols, joinedNames);
            // Columns the two tables share are named with their table.
            for (Column &c : cols) {
                const QStringList &other = c.table == 0 ? joinedNames : firstNames;
                if (other.contains(c.source, Qt::CaseInsensitive))
                    c.name = m_tables.at(c.table) + QLatin1Char('.') + c.source;
            }
        }
        m_columns = cols;
        m_fromClause = shape->fromClause;

        QString keySql = QStringLiteral("select %1.%2").arg(quoteIdentifier(shape->firstTable), key);
        if (!shape->joinedTable.isEmpty())
            keySql += QStringLiteral(", %1.%2").arg(quoteIdentifier(shape->joinedTable), key);
        keySql += QStringLiteral(" from ") + shape->fromClause;
        if (!shape->whereClause.isEmpty())
            keySql += QStringLiteral(" where ") + shape->whereClause;
        if (!shape->orderClause.isEmpty())
            keySql += QStringLiteral(" order by ") + nullsAsEmbedded(engine, shape->orderClause);
        if (translated.limit)
            keySql += QStringLiteral(" limit ") + QString::number(*translated.limit);

        QStringList exprs;
        for (const Column &c : m_columns) {
            const QString ref = quoteIdentifier(m_tables.at(c.table)) + QLatin1Char('.') + quoteIdentifier(c.source);
            exprs << (c.type == FieldType::Blob ? QStringLiteral("length(%1)").arg(ref) : ref);
        }
        // A row is fetched by its keys. The joined row's key goes into the
        // join condition, not the where clause: a member row must still be
        // found when its group row has gone, or a group has appeared for it,
        // since the query was opened (its group columns then read as empty).
        QString fetchFrom = m_fromClause;
        if (!shape->joinedTable.isEmpty())
            fetchFrom = quoteIdentifier(shape->firstTable) + QStringLiteral(" left join ") +
                        quoteIdentifier(shape->joinedTable) + QStringLiteral(" on (") + shape->onClause +
                        QStringLiteral(") and ") +
                        engine.sameValue(quoteIdentifier(shape->joinedTable) + QLatin1Char('.') + key, QStringLiteral("?2"));
        const QString fetchSql = QStringLiteral("select ") + exprs.join(QStringLiteral(", ")) +
                                 QStringLiteral(" from ") + fetchFrom + QStringLiteral(" where ") +
                                 quoteIdentifier(shape->firstTable) + QLatin1Char('.') + key + QStringLiteral(" = ?1");

        // Check declared columns before reading anything.
        for (const ColumnDecl &d : m_declared) {
            const int i = columnIndex(d.name);
            if (i < 0)
                throw Error(QStringLiteral("%1: Field '%2' not found").arg(name(), d.name));
            if (!typesCompatible(d.type, m_columns.at(i).type))
                throw Error(QStringLiteral("Type mismatch for field '%1', expecting: %2 actual: %3")
                                .arg(d.name, fieldTypeName(d.type), fieldTypeName(m_columns.at(i).type)));
        }

        Stmt keys = prepare(keySql);
        for (int p = 0; p < translated.parameters.size(); ++p)
            bindValue(*keys, p + 1, translated.parameters.at(p), FieldType::Text);
        try {
            while (keys->next()) {
                Key k;
                k.first = keys->integer(0);
                if (!shape->joinedTable.isEmpty() && !keys->isNull(1))
                    k.joined = keys->integer(1);
                m_keys.push_back(k);
            }
        } catch (const Error &e) {
            rethrowNamed(e);
        }
        m_rows.resize(m_keys.size());
        m_fetchStmt = prepare(fetchSql);
    } else {
        // Any other select: read whole, read-only.
        Stmt stmt = prepare(translated.sql);
        for (int p = 0; p < translated.parameters.size(); ++p)
            bindValue(*stmt, p + 1, translated.parameters.at(p), FieldType::Text);
        try {
            bool more = stmt->next(); // the server engine knows its columns once it ran
            const int n = stmt->columnCount();
            for (int i = 0; i < n; ++i) {
                Column c;
                c.name = stmt->columnName(i);
                c.source = c.name;
                const QString decl = stmt->columnDecl(i);
                c.type = decl.isEmpty() ? FieldType::Text : typeFromDecl(decl, false, &c.maxLength);
                m_columns.append(c);
            }
            for (const ColumnDecl &d : m_declared)
                if (columnIndex(d.name) < 0)
                    throw Error(QStringLiteral("%1: Field '%2' not found").arg(name(), d.name));
            for (; more; more = stmt->next()) {
                Row row;
                row.values.resize(n);
                row.blobLoaded.fill(true, n);
                for (int i = 0; i < n; ++i)
                    row.values[i] = readValue(*stmt, i, m_columns.at(i));
                m_rows.emplace_back(std::move(row));
                m_keys.push_back(Key{});
            }
        } catch (const Error &e) {
            m_columns.clear();
            m_rows.clear();
            m_keys.clear();
            if (e.message().startsWith(name() + QLatin1Char(':')))
                throw;
            rethrowNamed(e);
        }
    }

    m_state = State::Browse;
    m_buffer.clear();
    m_current = m_keys.empty() ? -1 : 0;
    m_bof = true;
    m_eof = m_keys.empty();
    emit opened();
    emit rowsReset();
    emit currentRowChanged(m_current);
}

void Query::close()
{
    if (m_state == State::Inactive)
        return;
    m_fetchStmt.reset();
    m_deleteStmt.reset();
    m_state = State::Inactive;
    m_keys.clear();
    m_rows.clear();
    m_buffer.clear();
    m_current = -1;
    m_eof = m_bof = true;
    emit closed();
    emit rowsReset();
}

void Query::refresh()
{
    requireActive();
    checkBrowse();
    const int keep = m_current;
    close();
    open();
    if (keep >= 0 && recordCount() > 0)
        setCurrent(std::min(keep, recordCount() - 1));
}

int Query::recordCount() const
{
    return int(m_keys.size());
}

void Query::setCurrent(int row)
{
    if (row != m_current) {
        m_current = row;
        emit currentRowChanged(row);
    }
}

void Query::checkBrowse()
{
    if (m_state == State::Edit || m_state == State::Insert)
        post();
}

void Query::setRecNo(int row)
{
    requireActive();
    checkBrowse();
    if (row < 0 || row >= recordCount())
        return;
    m_bof = m_eof = false;
    setCurrent(row);
}

void Query::first()
{
    requireActive();
    checkBrowse();
    m_bof = true;
    m_eof = m_keys.empty();
    setCurrent(m_keys.empty() ? -1 : 0);
}

void Query::last()
{
    requireActive();
    checkBrowse();
    m_eof = true;
    m_bof = m_keys.empty();
    setCurrent(int(m_keys.size()) - 1);
}

void Query::next()
{
    requireActive();
    checkBrowse();
    if (m_current + 1 < recordCount()) {
        m_bof = false;
        m_eof = false;
        setCurrent(m_current + 1);
    } else {
        m_eof = true;
    }
}

void Query::prior()
{
    requireActive();
    checkBrowse();
    if (m_current > 0) {
        m_eof = false;
        m_bof = false;
        setCurrent(m_current - 1);
    } else {
        m_bof = true;
    }
}

bool Query::locate(const QString &column, const QVariant &value)
{
    requireActive();
    checkBrowse();
    const int c = columnIndex(column);
    if (c < 0)
        throw Error(QStringLiteral("%1: Field '%2' not found").arg(name(), column));
    const Column &col = m_columns.at(c);
    if (m_lazy && col.type != FieldType::Blob) {
        // Ask the table which of its rows hold the value (exactly: text
        // compares case-sensitively here), then take the first of them in
        // this result's order. This avoids reading every row of a large
        // result just to find one.
        QVariant bound;
        try {
            bound = storageValue(value, col.type);
            validate(col, bound); // a number the column cannot hold matches nothing
        } catch (const Error &) {
            return false; // a value of another kind matches nothing
        }
        const QString ref = quoteIdentifier(col.source);
        QString sql = QStringLiteral("select %1 from %2 where ").arg(rowKey(), quoteIdentifier(m_tables.at(col.table)));
        if (bound.isNull())
            sql += ref + QStringLiteral(" is null");
        else if (col.type == FieldType::Text || col.type == FieldType::AnsiText || col.type == FieldType::DateTime)
            sql += m_connection->engine().exactText(ref) + QStringLiteral(" = ?1");
        else
            sql += ref + QStringLiteral(" = ?1");
        Stmt stmt = prepare(sql);
        if (!bound.isNull())
            bindValue(*stmt, 1, value, col.type); // converts as storageValue did above
        QSet<qint64> matches;
        try {
            while (stmt->next())
                matches.insert(stmt->integer(0));
        } catch (const Error &e) {
            rethrowNamed(e);
        }
        // A row without a partner in the joined table has nulls there.
        const bool unmatchedJoinIsNull = bound.isNull() && col.table != 0;
        if (matches.isEmpty() && !unmatchedJoinIsNull)
            return false;
        for (int r = 0; r < recordCount(); ++r) {
            const Key &key = m_keys.at(size_t(r));
            const std::optional<qint64> id = col.table == 0 ? std::optional<qint64>(key.first) : key.joined;
            if ((id && matches.contains(*id)) || (!id && unmatchedJoinIsNull)) {
                m_bof = m_eof = false;
                setCurrent(r);
                return true;
            }
        }
        return false;
    }
    for (int r = 0; r < recordCount(); ++r) {
        const QVariant v = valueAt(r, c);
        bool equal;
        if (v.isNull() || value.isNull())
            equal = v.isNull() && value.isNull();
        else if (col.type == FieldType::Text || col.type == FieldType::AnsiText)
            equal = v.toString() == value.toString(); // exact, case-sensitive
        else if (col.type == FieldType::DateTime)
            equal = v.toDateTime() == value.toDateTime();
        else if (col.type == FieldType::Double)
            equal = v.toDouble() == value.toDouble();
        else if (col.type == FieldType::Blob)
            equal = v.toByteArray() == value.toByteArray();
        else
            equal = v.toLongLong() == value.toLongLong();
        if (equal) {
            m_bof = m_eof = false;
            setCurrent(r);
            return true;
        }
    }
    return false;
}

QVariantList Query::storedValues(int row)
{
    if (!m_lazy || row < 0 || row >= recordCount())
        return {};
    return QVariantList(rowAt(row).stored.begin(), rowAt(row).stored.end());
}

qint64 Query::rowId(int row) const
{
    if (!m_lazy || row < 0 || size_t(row) >= m_keys.size())
        return -1;
    return m_keys[size_t(row)].first;
}

int Query::columnIndex(const QString &name) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString Query::columnName(int column) const { return m_columns.at(column).name; }
FieldType Query::columnType(int column) const { return m_columns.at(column).type; }

Field Query::fieldByName(const QString &name)
{
    const int i = columnIndex(name);
    if (i < 0)
        throw Error(QStringLiteral("%1: Field '%2' not found").arg(this->name(), name));
    return Field(this, i);
}

std::optional<Field> Query::findField(const QString &name)
{
    const int i = columnIndex(name);
    if (i < 0)
        return std::nullopt;
    return Field(this, i);
}


Query::Row Query::fetchRow(const Key &key)
{
    SqlStatement &stmt = *m_fetchStmt;
    stmt.reset();
    stmt.bind(1, key.first);
    if (m_tables.size() > 1)
        stmt.bind(2, key.joined ? QVariant(*key.joined) : QVariant());
    Row row;
    row.values.resize(m_columns.size());
    row.stored.resize(m_columns.size());
    row.blobLoaded.fill(false, m_columns.size());
    bool found;
    try {
        found = stmt.next();
    } catch (const Error &e) {
        rethrowNamed(e);
    }
    if (found) {
        for (int i = 0; i < m_columns.size(); ++i) {
            const Column &c = m_columns.at(i);
            row.stored[i] = storedValue(stmt, i);
            if (c.type == FieldType::Blob) {
                // Only the length is read here; null stays null, a zero
                // length is an empty stream and needs no further read.
                if (stmt.isNull(i)) {
                    row.blobLoaded[i] = true;
                } else if (stmt.integer(i) == 0) {
                    row.values[i] = QByteArray("");
                    row.blobLoaded[i] = true;
                }
            } else {
                row.values[i] = readValue(stmt, i, c);
            }
        }
    } else {
        // The row has gone since the query was opened: it reads as empty.
        row.found = false;
        row.blobLoaded.fill(true, m_columns.size());
    }
    stmt.reset();
    return row;
}

Query::Row &Query::rowAt(int row)
{
    std::optional<Row> &slot = m_rows.at(size_t(row));
    if (!slot)
        slot = fetchRow(m_keys.at(size_t(row)));
    return *slot;
}

void Query::loadBlob(int row, int column)
{
    Row &r = rowAt(row);
    if (r.blobLoaded.at(column))
        return;
    const Column &c = m_columns.at(column);
    const Key &key = m_keys.at(size_t(row));
    const qint64 rowid = c.table == 0 ? key.first : key.joined.value_or(-1);
    Stmt stmt = prepare(QStringLiteral("select %1 from %2 where %3 = ?1")
                            .arg(quoteIdentifier(c.source), quoteIdentifier(m_tables.at(c.table)), rowKey()));
    stmt->bind(1, rowid);
    try {
        if (stmt->next())
            r.values[column] = readValue(*stmt, 0, c);
    } catch (const Error &e) {
        rethrowNamed(e);
    }
    r.blobLoaded[column] = true;
}

QVariant Query::valueAt(int row, int column)
{
    requireActive();
    if (column < 0 || column >= m_columns.size())
        return {};
    if (m_state == State::Insert && row == recordCount())
        return m_buffer.at(column).value_or(QVariant());
    if (row < 0 || row >= recordCount())
        return {};
    if (m_state == State::Edit && row == m_current && m_buffer.at(column))
        return *m_buffer.at(column);
    if (m_columns.at(column).type == FieldType::Blob)
        loadBlob(row, column);
    return rowAt(row).values.at(column);
}

QVariant Query::currentValue(int column)
{
    requireActive();
    if (m_current < 0 || (m_state != State::Insert && m_current >= recordCount()))
        throw Error(QStringLiteral("%1: Cannot perform this operation on an empty dataset").arg(name()));
    return valueAt(m_current, column);
}

void Query::setBufferValue(int column, const QVariant &value)
{
    requireActive();
    if (m_state != State::Edit && m_state != State::Insert)
        throw Error(QStringLiteral("%1: Dataset not in edit or insert mode").arg(name()));
    const Column &c = m_columns.at(column);
    if (c.type == FieldType::AutoInc)
        throw Error(QStringLiteral("Field '%1' cannot be modified").arg(c.name));
    if (m_state == State::Insert && c.table != 0)
        throw Error(QStringLiteral("Field '%1' belongs to the joined table and cannot be set on a new row").arg(c.name));
    // Convert now so a value of the wrong kind fails where it is set;
    // range and length are checked when the row is posted.
    QVariant stored = value;
    if (!value.isNull()) {
        storageValue(value, c.type);
        if (c.type == FieldType::DateTime && value.typeId() == QMetaType::QString)
            stored = parseDayMonthYear(value.toString());
        else if (c.type == FieldType::Boolean)
            stored = value.toBool();
        else if (c.type == FieldType::Blob && value.typeId() == QMetaType::QString)
            stored = value.toString().toUtf8();
    }
    m_buffer[column] = stored;
}

} // namespace tessary
