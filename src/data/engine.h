#pragma once

// The storage beneath the queries: one interface, two engines. The embedded
// engine keeps the card database in one SQLite file; the server engine keeps
// it in a PostgreSQL database reached through libpq. Above this layer
// nothing knows which engine runs: statements are written once, with '?' or
// '?N' placeholders, and each engine writes its own dialect where they differ
// (the few dialect helpers below).

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

namespace tessary {

enum class EngineKind { Embedded, Server };

// The stored kind of one result value (SQLite's storage classes; the server
// engine maps its column types onto them).
enum class ValueKind { Null, Integer, Real, Text, Blob };

// One prepared statement. Bound values are null, integers (qlonglong, int,
// bool), doubles, texts (QString) or byte blocks (QByteArray).
class SqlStatement
{
public:
    virtual ~SqlStatement() = default;

    virtual void bind(int index, const QVariant &value) = 0; // 1-based
    // Runs the statement on the first call after a reset; then moves to the
    // next row. False once no row is left. Throws Error on failure.
    virtual bool next() = 0;
    // Makes the statement ready to run again; bindings stay until rebound.
    virtual void reset() = 0;
    // Rows the last run inserted, changed or deleted.
    virtual qint64 rowsAffected() const = 0;

    virtual int columnCount() const = 0;
    virtual QString columnName(int column) const = 0;
    // The declared type of a result column that comes straight from a table
    // column ("NVARCHAR(255)", "SMALLINT", ...); empty for expressions.
    virtual QString columnDecl(int column) const = 0;

    virtual ValueKind kind(int column) const = 0;
    bool isNull(int column) const { return kind(column) == ValueKind::Null; }
    virtual qint64 integer(int column) const = 0;
    virtual double real(int column) const = 0;
    virtual QString text(int column) const = 0;
    virtual QByteArray bytes(int column) const = 0;
};

struct TableColumn
{
    QString name;
    QString declared; // as in the embedded schema: "NVARCHAR(255)", "SMALLINT"
    bool primaryKey = false;
};

class SqlEngine
{
public:
    virtual ~SqlEngine() = default;

    virtual EngineKind kind() const = 0;
    // Where the data lives, for messages: a file path or the server's
    // "database on host".
    virtual QString location() const = 0;

    virtual std::unique_ptr<SqlStatement> prepare(const QString &sql) = 0;
    // Runs statements that return no rows (several, separated by ';').
    virtual void exec(const QString &sql) = 0;
    virtual QString lastError() const = 0;

    // Transactions. A write transaction holds what it needs to write to the
    // end; a snapshot transaction reads one consistent state of the data.
    virtual bool inTransaction() const = 0;
    virtual void beginWrite() = 0;
    virtual void beginSnapshot() = 0;
    virtual void commit() = 0;
    virtual void rollback() = 0; // never throws

    virtual std::vector<TableColumn> tableColumns(const QString &table) = 0; // empty: no such table
    virtual bool hasTable(const QString &table) = 0;
    virtual bool hasIndex(const QString &index) = 0;

    // Dialect.
    // The column that keys a table's rows ("rowid" / "seq").
    virtual QString rowKey() const = 0;
    // "a is b" where b may be a placeholder for null.
    virtual QString sameValue(const QString &left, const QString &right) const = 0;
    // A text column compared exactly (with case) rather than the way the
    // column compares.
    virtual QString exactText(const QString &column) const = 0;
    // An insert statement that answers the new row's key as its one row.
    virtual QString insertReturningKey(const QString &insertSql) const = 0;
    // The new row's key after a statement made by insertReturningKey ran.
    virtual qint64 insertedKey(SqlStatement &statement) = 0;
};

} // namespace tessary
