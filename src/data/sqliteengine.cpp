#include "sqliteengine.h"
#include "errors.h"

#include <QFileInfo>

#include <sqlite3.h>

namespace tessary {

namespace {

class SqliteStatement : public SqlStatement
{
public:
    SqliteStatement(sqlite3 *db, sqlite3_stmt *stmt) : m_db(db), m_stmt(stmt) {}
    ~SqliteStatement() override { sqlite3_finalize(m_stmt); }

    void bind(int index, const QVariant &value) override
    {
        if (m_state != State::Ready)
            reset();
        int rc;
        if (value.isNull()) {
            rc = sqlite3_bind_null(m_stmt, index);
        } else {
            switch (value.typeId()) {
            case QMetaType::LongLong:
            case QMetaType::ULongLong:
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::Bool:
                rc = sqlite3_bind_int64(m_stmt, index, value.toLongLong());
                break;
            case QMetaType::Double:
                rc = sqlite3_bind_double(m_stmt, index, value.toDouble());
                break;
            case QMetaType::QByteArray: {
                const QByteArray bytes = value.toByteArray();
                rc = sqlite3_bind_blob64(m_stmt, index, bytes.constData(), sqlite3_uint64(bytes.size()),
                                         SQLITE_TRANSIENT);
                break;
            }
            default: {
                const QByteArray text = value.toString().toUtf8();
                rc = sqlite3_bind_text64(m_stmt, index, text.constData(), sqlite3_uint64(text.size()),
                                         SQLITE_TRANSIENT, SQLITE_UTF8);
                break;
            }
            }
        }
        if (rc != SQLITE_OK)
            throw Error(QString::fromUtf8(sqlite3_errmsg(m_db)));
    }

    bool next() override
    {
        if (m_state == State::Done)
            return false;
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW) {
            m_state = State::Row;
            return true;
        }
        m_state = State::Done;
        if (rc != SQLITE_DONE) {
            const QString message = QString::fromUtf8(sqlite3_errmsg(m_db));
            sqlite3_reset(m_stmt);
            throw Error(message);
        }
        m_changes = sqlite3_changes64(m_db);
        return false;
    }

    void reset() override
    {
        sqlite3_reset(m_stmt);
        m_state = State::Ready;
    }

    qint64 rowsAffected() const override { return m_changes; }
    int columnCount() const override { return sqlite3_column_count(m_stmt); }
    QString columnName(int column) const override { return QString::fromUtf8(sqlite3_column_name(m_stmt, column)); }
    QString columnDecl(int column) const override
    {
        const char *decl = sqlite3_column_decltype(m_stmt, column);
        return decl ? QString::fromUtf8(decl) : QString();
    }

    ValueKind kind(int column) const override
    {
        switch (sqlite3_column_type(m_stmt, column)) {
        case SQLITE_NULL: return ValueKind::Null;
        case SQLITE_INTEGER: return ValueKind::Integer;
        case SQLITE_FLOAT: return ValueKind::Real;
        case SQLITE_BLOB: return ValueKind::Blob;
        default: return ValueKind::Text;
        }
    }
    qint64 integer(int column) const override { return sqlite3_column_int64(m_stmt, column); }
    double real(int column) const override { return sqlite3_column_double(m_stmt, column); }
    QString text(int column) const override
    {
        const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
        return QString::fromUtf8(data, sqlite3_column_bytes(m_stmt, column));
    }
    QByteArray bytes(int column) const override
    {
        const void *data = sqlite3_column_blob(m_stmt, column);
        return QByteArray(static_cast<const char *>(data), sqlite3_column_bytes(m_stmt, column));
    }

private:
    enum class State { Ready, Row, Done };
    sqlite3 *m_db;
    sqlite3_stmt *m_stmt;
    State m_state = State::Ready;
    qint64 m_changes = 0;
};

} // namespace

SqliteEngine::SqliteEngine(const QString &path) : m_path(path)
{
    sqlite3 *db = nullptr;
    // Read-write, never create: a missing file must fail, not become an
    // empty database.
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        QString message = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
        sqlite3_close(db);
        if (!QFileInfo::exists(path))
            message = QStringLiteral("Could not find file '%1': %2").arg(path, message);
        else
            message = QStringLiteral("Cannot open '%1': %2").arg(path, message);
        throw Error(message);
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, 2000);
    m_db = db;
    // Reading the schema proves the file is a database; a rollback journal
    // keeps the whole database in the one file between transactions, so a
    // plain file copy of it is complete. A 32 MB page cache keeps a bulk
    // write (delete all, batch resize, import) from spilling to the file
    // before its transaction commits.
    try {
        exec(QStringLiteral("PRAGMA journal_mode=DELETE; PRAGMA foreign_keys=OFF; PRAGMA cache_size=-32768;"));
    } catch (const Error &e) {
        sqlite3_close(m_db);
        m_db = nullptr;
        throw Error(QStringLiteral("Cannot open '%1': %2").arg(path, e.message()));
    }
}

SqliteEngine::~SqliteEngine()
{
    sqlite3_close_v2(m_db);
}

std::unique_ptr<SqlStatement> SqliteEngine::prepare(const QString &sql)
{
    sqlite3_stmt *stmt = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, utf8.constData(), int(utf8.size()), &stmt, nullptr) != SQLITE_OK)
        throw Error(lastError());
    return std::make_unique<SqliteStatement>(m_db, stmt);
}

void SqliteEngine::exec(const QString &sql)
{
    char *err = nullptr;
    if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK) {
        const QString what = QString::fromUtf8(err ? err : sqlite3_errmsg(m_db));
        sqlite3_free(err);
        throw Error(what);
    }
}

QString SqliteEngine::lastError() const
{
    return QString::fromUtf8(sqlite3_errmsg(m_db));
}

bool SqliteEngine::inTransaction() const
{
    return sqlite3_get_autocommit(m_db) == 0;
}

void SqliteEngine::beginWrite()
{
    // Immediate: takes the write lock now, so a later write cannot fail on it.
    exec(QStringLiteral("BEGIN IMMEDIATE"));
}

void SqliteEngine::beginSnapshot()
{
    // A deferred transaction takes the shared lock with its first read and
    // keeps it until it ends. The read also plays back a journal that a
    // crashed writer left, so the file is whole while it is held.
    exec(QStringLiteral("BEGIN DEFERRED"));
    try {
        exec(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    } catch (...) {
        rollback();
        throw;
    }
}

void SqliteEngine::commit()
{
    try {
        exec(QStringLiteral("COMMIT"));
    } catch (...) {
        rollback();
        throw;
    }
}

void SqliteEngine::rollback()
{
    if (inTransaction())
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

std::vector<TableColumn> SqliteEngine::tableColumns(const QString &table)
{
    auto stmt = prepare(QStringLiteral("select name, type, pk from pragma_table_info(?1)"));
    stmt->bind(1, table);
    std::vector<TableColumn> out;
    while (stmt->next())
        out.push_back(TableColumn{stmt->text(0), stmt->text(1), stmt->integer(2) != 0});
    return out;
}

bool SqliteEngine::hasSchemaObject(const char *type, const QString &name)
{
    auto stmt = prepare(QStringLiteral("select 1 from sqlite_master where type=?1 and name=?2"));
    stmt->bind(1, QString::fromLatin1(type));
    stmt->bind(2, name);
    return stmt->next();
}

bool SqliteEngine::hasTable(const QString &table)
{
    return hasSchemaObject("table", table);
}

bool SqliteEngine::hasIndex(const QString &index)
{
    return hasSchemaObject("index", index);
}

QString SqliteEngine::sameValue(const QString &left, const QString &right) const
{
    return left + QStringLiteral(" is ") + right;
}

QString SqliteEngine::exactText(const QString &column) const
{
    return column + QStringLiteral(" collate binary");
}

qint64 SqliteEngine::insertedKey(SqlStatement &statement)
{
    while (statement.next()) {
    }
    return sqlite3_last_insert_rowid(m_db);
}

} // namespace tessary
