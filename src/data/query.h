#pragma once

#include "datetext.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace tessary {

class Connection;
class Error;
class Query;
class SqlStatement;

// Column types as the card database declares them.
enum class FieldType { AutoInc, SmallInt, Integer, Boolean, Double, DateTime, AnsiText, Text, Blob };

QString fieldTypeName(FieldType type);

struct ColumnDecl
{
    QString name;
    FieldType type;
};

// A handle on one column of a query's current row (or of the row in edit).
class Field
{
public:
    Field(Query *query, int column) : m_query(query), m_column(column) {}

    QString name() const;
    FieldType type() const;
    int index() const { return m_column; }

    bool isNull() const;
    QVariant value() const;

    // Conversions. asString() fails on an empty (null) value, as every
    // reader of a value as text does; text() never fails.
    QString asString() const;
    QString text() const;
    int asInteger() const;      // null reads as 0
    bool asBoolean() const;     // null reads as false
    double asFloat() const;     // null reads as 0
    QDateTime asDateTime() const; // invalid for null or unreadable
    QByteArray asBytes() const; // the whole byte stream; empty for null

    void setValue(const QVariant &value);
    void setString(const QString &text); // dates: "d/mm/yyyy"
    void setInteger(int value);
    void setBoolean(bool value);
    void setFloat(double value);
    void setDateTime(const QDateTime &value);
    void setBytes(const QByteArray &bytes);
    void clear();

private:
    Query *m_query;
    int m_column;
};

// A static, client-side, updatable result set over the card database, with
// a current row. Statements are given in the Jet dialect as a list of lines
// (see jetsql.h). "select * from <table> [left join <table> on ...]" results
// are served lazily: opening reads only the row keys in order; a row's
// values are read when first asked for, and BLOB contents only when that
// row's BLOB is asked for. Any other select is read whole and is read-only.
//
// Navigation follows the usual dataset rules: first() sets bof, moving past
// the last row sets eof, last() sets eof; an appended row stays at the end
// until the query is reopened; deleting makes the next row (or the new
// last one) current. Moving while a row is in edit posts it first.
class Query : public QObject
{
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };

    Query(Connection *connection, const QString &name, QObject *parent = nullptr);
    ~Query() override;

    QString name() const { return objectName(); }
    Connection *connection() const { return m_connection; }

    QStringList sql() const { return m_sql; }
    void setSql(const QStringList &lines); // closes the query
    QString statement() const { return m_sql.join(QLatin1Char('\n')); }

    void setDeclaredColumns(const QVector<ColumnDecl> &columns) { m_declared = columns; }
    QVector<ColumnDecl> declaredColumns() const { return m_declared; }

    void open();
    void close();
    bool isOpen() const { return m_state != State::Inactive; }
    void refresh(); // reads the rows again; the current row index is kept where possible
    State state() const { return m_state; }

    int recordCount() const;
    int recNo() const { return m_current; } // 0-based; -1 when empty
    void setRecNo(int row);
    bool eof() const { return m_eof; }
    bool bof() const { return m_bof; }
    bool isEmpty() const { return recordCount() == 0; }

    void first();
    void last();
    void next();
    void prior();
    // Exact comparison; the current row is unchanged when nothing matches.
    bool locate(const QString &column, const QVariant &value);

    void edit();
    void append();
    void post();
    void cancel();
    void deleteRow();
    // Deletes `count` rows from the current one on with one statement: all
    // of them, or (on failure, which throws) none. The row after them, or
    // the new last row, becomes current. Lazily served queries only.
    void deleteRows(int count);

    int columnCount() const { return int(m_columns.size()); }
    int columnIndex(const QString &name) const; // -1 when absent
    QString columnName(int column) const;
    FieldType columnType(int column) const;

    Field fieldByName(const QString &name); // fails naming the field when absent
    std::optional<Field> findField(const QString &name);

    // A row's value without moving the current row (for views).
    QVariant valueAt(int row, int column);
    // The values of `row` as stored when it was read (a blob by its
    // length); empty for a row out of range or a result read whole.
    QVariantList storedValues(int row);
    // The next post of the row in edit writes only over a row that holds
    // `stored` (as storedValues gave them, perhaps long before), rather
    // than over one holding what this query read last. A row found changed
    // fails with RowChangedError.
    void expectStored(const QVariantList &stored) { m_expected = stored; }

    // The row id (SQLite's rowid, which `seq` names in the card database's
    // tables) of a row of the first table, without reading the row; -1 for
    // a row out of range or a result read whole.
    qint64 rowId(int row) const;

signals:
    void opened();
    void closed();
    void rowsReset();
    // Row-level changes come in pairs: the "about to" signal before the
    // query changes its rows (views call beginInsertRows / beginRemoveRows),
    // the other after.
    void rowAboutToBeInserted(int row);
    void rowInserted(int row);
    void rowAboutToBeRemoved(int row);
    void rowRemoved(int row);
    void rowChanged(int row);
    void currentRowChanged(int row);

private:
    friend class Field;

    struct Column
    {
        QString name;       // result name ("name", "stafftbl.seq")
        int table = 0;      // 0 first table, 1 joined table
        QString source;     // the column's own name in its table
        FieldType type = FieldType::Text;
        int maxLength = 0;  // text columns; 0 = unlimited
    };
    struct Row
    {
        QVector<QVariant> values;
        QVector<bool> blobLoaded;
        // The values as stored when the row was read (a blob's length): a
        // save writes only over a row that still holds them.
        QVector<QVariant> stored;
        bool found = true;
    };
    struct Key
    {
        qint64 first = 0;
        std::optional<qint64> joined;
    };
    using Stmt = std::unique_ptr<SqlStatement>;

    Stmt prepare(const QString &sql) const;
    [[noreturn]] void fail(const QString &context) const;
    // Throws `e` again with the query's name before its text.
    [[noreturn]] void rethrowNamed(const Error &e) const;
    void readTableColumns(const QString &table, int tableIndex, QVector<Column> &into, QStringList &names);
    void readKeys();
    Row fetchRow(const Key &key);
    Row &rowAt(int row);
    QVariant readValue(SqlStatement &stmt, int index, const Column &column) const;
    static QVariant storedValue(SqlStatement &stmt, int index);
    void bindValue(SqlStatement &stmt, int index, const QVariant &value, FieldType type) const;
    QString rowKey() const;
    void postTable(int table);
    // The conditions and values that find the current row as it was read.
    void unchangedRowCondition(int table, QStringList &conditions, QVariantList &values);
    QVariant storageValue(const QVariant &value, FieldType type) const;
    void loadBlob(int row, int column);
    std::optional<Key> resolveKey(qint64 firstKey);
    void checkBrowse();
    void requireActive() const;
    void requireUpdatable() const;
    void requireEditing(const Column &column) const;
    void validate(const Column &column, const QVariant &value) const;
    QVariant currentValue(int column);
    void setBufferValue(int column, const QVariant &value);
    void setCurrent(int row);
    // Drops `count` rows deleted in the database from the current one on,
    // telling views, and makes the row after them (or the new last) current.
    void forgetDeletedRows(int count);

    Connection *m_connection;
    QStringList m_sql;
    QVector<ColumnDecl> m_declared;
    QVector<Column> m_columns;
    QStringList m_tables;
    bool m_lazy = false;
    QString m_fromClause;

    State m_state = State::Inactive;
    // Double-ended, so removing rows from the front (deleting a whole list
    // from its first row) costs no more than the row itself.
    std::deque<Key> m_keys;
    std::deque<std::optional<Row>> m_rows;
    int m_current = -1;
    int m_beforeInsert = -1;
    bool m_eof = true;
    bool m_bof = true;

    // The row in edit: changed column values over the current row's.
    QVector<std::optional<QVariant>> m_buffer;

    Stmt m_fetchStmt;
    Stmt m_deleteStmt;
    qint64 m_insertedKey = -1;
    QVariantList m_expected;
};

// A query of its own on `connection`, declared with `columns` and opened on
// `sql`: a command that walks rows while events are handled lists them
// here, where no other command can close or move it.
std::unique_ptr<Query> openQuery(Connection &connection, const QString &name, const QStringList &sql,
                                 const QVector<ColumnDecl> &columns);

} // namespace tessary
