// The row writes of the query: edit, append, post (checked against the row
// as it was read), cancel and the deletions.
#include "query.h"
#include "connection.h"
#include "engine.h"
#include "errors.h"
#include "jetsql.h"
#include "scopeexit.h"

namespace tessary {

void Query::edit()
{
    requireUpdatable();
    if (m_state == State::Edit || m_state == State::Insert)
        return;
    if (m_current < 0)
        throw Error(QStringLiteral("%1: Cannot perform this operation on an empty dataset").arg(name()));
    m_buffer = QVector<std::optional<QVariant>>(m_columns.size());
    m_state = State::Edit;
}

void Query::append()
{
    requireUpdatable();
    checkBrowse();
    m_buffer = QVector<std::optional<QVariant>>(m_columns.size());
    m_beforeInsert = m_current;
    m_state = State::Insert;
    m_bof = m_eof = false;
    // The new row is shown at the end while it is being filled.
    setCurrent(recordCount());
}

void Query::cancel()
{
    m_expected.clear();
    if (m_state == State::Insert) {
        m_state = State::Browse;
        m_buffer.clear();
        setCurrent(m_keys.empty() ? -1 : std::clamp(m_beforeInsert, 0, recordCount() - 1));
        // An empty result is at both ends again.
        m_bof = m_eof = m_keys.empty();
    } else if (m_state == State::Edit) {
        m_state = State::Browse;
        m_buffer.clear();
        emit rowChanged(m_current);
    }
}


void Query::post()
{
    requireUpdatable();
    if (m_state != State::Edit && m_state != State::Insert)
        return;
    // The expectation serves this post only.
    OnExit forget([this] { m_expected.clear(); });
    try {
        if (m_state == State::Insert) {
            postTable(0);
        } else {
            for (int t = 0; t < m_tables.size(); ++t)
                postTable(t);
        }
    } catch (const RowChangedError &) {
        // What the table holds now is shown instead of the edits.
        if (m_state == State::Edit) {
            m_rows[size_t(m_current)].reset();
            if (m_tables.size() > 1)
                if (auto k = resolveKey(m_keys.at(size_t(m_current)).first))
                    m_keys[size_t(m_current)] = *k;
            m_state = State::Browse;
            m_buffer.clear();
            emit rowChanged(m_current);
        }
        throw;
    }
    m_connection->noteWrite();

    if (m_state == State::Insert) {
        const qint64 rowid = m_insertedKey;
        Key key;
        key.first = rowid;
        if (m_tables.size() > 1)
            if (auto k = resolveKey(rowid))
                key = *k;
        emit rowAboutToBeInserted(recordCount());
        m_keys.push_back(key);
        m_rows.emplace_back(std::nullopt);
        m_state = State::Browse;
        m_buffer.clear();
        m_current = recordCount() - 1;
        m_eof = m_bof = false;
        emit rowInserted(m_current);
        emit currentRowChanged(m_current);
    } else {
        if (m_tables.size() > 1)
            if (auto k = resolveKey(m_keys.at(size_t(m_current)).first))
                m_keys[size_t(m_current)] = *k;
        m_rows[size_t(m_current)].reset(); // read back what the table now holds
        m_state = State::Browse;
        m_buffer.clear();
        emit rowChanged(m_current);
    }
}

void Query::unchangedRowCondition(int table, QStringList &conditions, QVariantList &values)
{
    SqlEngine &engine = m_connection->engine();
    const Row &row = rowAt(m_current);
    if (!row.found)
        throw RowChangedError();
    const QVariantList &stored = m_expected.size() == m_columns.size() ? m_expected : QVariantList(row.stored);
    for (int c = 0; c < m_columns.size(); ++c) {
        const Column &col = m_columns.at(c);
        if (col.table != table || col.type == FieldType::AutoInc)
            continue;
        QString ref = quoteIdentifier(col.source);
        if (col.type == FieldType::Blob)
            ref = QStringLiteral("length(%1)").arg(ref);
        else if (col.type == FieldType::Text || col.type == FieldType::AnsiText || col.type == FieldType::DateTime)
            ref = engine.exactText(ref);
        conditions << engine.sameValue(ref, QStringLiteral("?"));
        values << stored.at(c);
    }
}

void Query::postTable(int t)
{
    SqlEngine &engine = m_connection->engine();
    QStringList names;
    QVector<int> cols;
    for (int c = 0; c < m_columns.size(); ++c) {
        if (m_columns.at(c).table != t || !m_buffer.at(c))
            continue;
        validate(m_columns.at(c), *m_buffer.at(c));
        names << quoteIdentifier(m_columns.at(c).source);
        cols << c;
    }
    QString sql;
    QStringList conditions;
    QVariantList conditionValues;
    if (m_state == State::Insert) {
        if (cols.isEmpty()) {
            sql = QStringLiteral("insert into %1 default values").arg(quoteIdentifier(m_tables.at(0)));
        } else {
            QStringList marks;
            for (int i = 0; i < cols.size(); ++i)
                marks << QStringLiteral("?");
            sql = QStringLiteral("insert into %1 (%2) values (%3)")
                      .arg(quoteIdentifier(m_tables.at(0)), names.join(QStringLiteral(", ")),
                           marks.join(QStringLiteral(", ")));
        }
        sql = engine.insertReturningKey(sql);
    } else {
        if (cols.isEmpty())
            return;
        const Key &key = m_keys.at(size_t(m_current));
        if (t == 1 && !key.joined)
            throw Error(QStringLiteral("%1: The joined row does not exist and cannot be updated").arg(name()));
        // The row is written only while it still holds what was read: a
        // change made meanwhile elsewhere is never overwritten.
        unchangedRowCondition(t, conditions, conditionValues);
        QStringList sets;
        for (const QString &n : names)
            sets << n + QStringLiteral(" = ?");
        sql = QStringLiteral("update %1 set %2 where %3 = %4")
                  .arg(quoteIdentifier(m_tables.at(t)), sets.join(QStringLiteral(", ")), rowKey())
                  .arg(t == 0 ? key.first : *key.joined);
        for (const QString &condition : conditions)
            sql += QStringLiteral(" and ") + condition;
    }
    Stmt stmt = prepare(sql);
    for (int i = 0; i < cols.size(); ++i)
        bindValue(*stmt, i + 1, *m_buffer.at(cols.at(i)), m_columns.at(cols.at(i)).type);
    for (int i = 0; i < conditionValues.size(); ++i)
        stmt->bind(int(cols.size()) + i + 1, conditionValues.at(i));
    if (m_state == State::Insert) {
        m_insertedKey = engine.insertedKey(*stmt);
        return;
    }
    while (stmt->next()) {
    }
    if (stmt->rowsAffected() == 0)
        throw RowChangedError();
}

std::optional<Query::Key> Query::resolveKey(qint64 firstKey)
{
    const QString sql = QStringLiteral("select %1.%4, %2.%4 from %3 where %1.%4 = ?1 limit 1")
                            .arg(quoteIdentifier(m_tables.at(0)), quoteIdentifier(m_tables.at(1)), m_fromClause, rowKey());
    Stmt stmt = prepare(sql);
    stmt->bind(1, firstKey);
    if (!stmt->next())
        return std::nullopt;
    Key k;
    k.first = stmt->integer(0);
    if (!stmt->isNull(1))
        k.joined = stmt->integer(1);
    return k;
}

void Query::deleteRow()
{
    requireUpdatable();
    if (m_state == State::Insert) {
        cancel();
        return;
    }
    if (m_state == State::Edit)
        cancel();
    if (m_current < 0)
        throw Error(QStringLiteral("%1: Cannot perform this operation on an empty dataset").arg(name()));
    const Key key = m_keys.at(size_t(m_current));
    // One statement serves every deletion while the query is open (a whole
    // list is deleted row by row).
    if (!m_deleteStmt)
        m_deleteStmt = prepare(QStringLiteral("delete from %1 where %2 = ?1").arg(quoteIdentifier(m_tables.at(0)), rowKey()));
    m_deleteStmt->reset();
    m_deleteStmt->bind(1, key.first);
    while (m_deleteStmt->next()) {
    }
    // A row deleted elsewhere meanwhile is gone all the same: not an error.
    if (m_deleteStmt->rowsAffected() > 0)
        m_connection->noteWrite();
    forgetDeletedRows(1);
}

void Query::forgetDeletedRows(int count)
{
    const int first = m_current;
    for (int i = 0; i < count; ++i) {
        emit rowAboutToBeRemoved(first);
        m_keys.erase(m_keys.begin() + first);
        m_rows.erase(m_rows.begin() + first);
        emit rowRemoved(first);
    }
    m_bof = first == 0 || m_keys.empty();
    m_eof = m_keys.empty();
    m_current = -2; // force the notification below
    setCurrent(m_keys.empty() ? -1 : std::min(first, recordCount() - 1));
}

void Query::deleteRows(int count)
{
    requireUpdatable();
    if (m_state == State::Edit || m_state == State::Insert)
        cancel();
    if (!m_lazy || m_current < 0 || count < 1 || size_t(m_current) + size_t(count) > m_keys.size())
        throw Error(QStringLiteral("%1: Cannot perform this operation on an empty dataset").arg(name()));
    // Row ids are integers read from the database: the list is built, not
    // bound. One statement deletes them all or, failing, none.
    QString ids;
    ids.reserve(count * 8);
    for (int i = 0; i < count; ++i) {
        if (i)
            ids += QLatin1Char(',');
        ids += QString::number(m_keys[size_t(m_current + i)].first);
    }
    Stmt stmt = prepare(QStringLiteral("delete from %1 where %2 in (%3)").arg(quoteIdentifier(m_tables.at(0)), rowKey(), ids));
    while (stmt->next()) {
    }
    m_connection->noteWrite();
    forgetDeletedRows(count);
}

} // namespace tessary
