#include "pgengine.h"

#include <QRegularExpression>

#include <libpq-fe.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace tessary {

namespace {

// Type oids of the server's built-in types (pg_type.dat).
enum : Oid {
    kBoolOid = 16,
    kByteaOid = 17,
    kInt8Oid = 20,
    kInt2Oid = 21,
    kInt4Oid = 23,
    kOidOid = 26,
    kFloat4Oid = 700,
    kFloat8Oid = 701,
    kNumericOid = 1700,
};

QString trimmed(const char *text)
{
    return QString::fromUtf8(text ? text : "").trimmed();
}

struct Result
{
    PGresult *res = nullptr;
    explicit Result(PGresult *r = nullptr) : res(r) {}
    ~Result() { PQclear(res); }
    Result(const Result &) = delete;
    Result &operator=(const Result &) = delete;
    void reset(PGresult *r = nullptr)
    {
        PQclear(res);
        res = r;
    }
    bool ok() const
    {
        const ExecStatusType st = PQresultStatus(res);
        return res && (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK);
    }
};

// The reason a call failed: the result's message, or the connection's when
// there is no result.
QString errorText(PGconn *conn, const PGresult *res)
{
    QString text = res ? trimmed(PQresultErrorMessage(res)) : QString();
    if (text.isEmpty())
        text = trimmed(PQerrorMessage(conn));
    return text.isEmpty() ? QStringLiteral("The card database server did not answer") : text;
}

QString sqlStateOf(const PGresult *res)
{
    return res ? QString::fromLatin1(PQresultErrorField(res, PG_DIAG_SQLSTATE)) : QString();
}

// A declared type for a column without a comment naming it.
QString declaredFor(const QString &typname)
{
    static const std::map<QString, QString> kTypes = {
        {QStringLiteral("int2"), QStringLiteral("SMALLINT")},    {QStringLiteral("int4"), QStringLiteral("INTEGER")},
        {QStringLiteral("int8"), QStringLiteral("INTEGER")},     {QStringLiteral("bool"), QStringLiteral("BOOLEAN")},
        {QStringLiteral("float8"), QStringLiteral("DOUBLE")},    {QStringLiteral("bytea"), QStringLiteral("LONGBINARY")},
        {QStringLiteral("text"), QStringLiteral("NVARCHAR")},    {QStringLiteral("citext"), QStringLiteral("NVARCHAR")},
        {QStringLiteral("varchar"), QStringLiteral("NVARCHAR")},
    };
    const auto it = kTypes.find(typname);
    return it != kTypes.end() ? it->second : typname.toUpper();
}

// Whether a statement may change data. Only statements that read or set up
// the session are known not to; a lost one is sent again.
bool changesData(const QByteArray &sql)
{
    qsizetype i = 0;
    while (i < sql.size() && (std::isspace(static_cast<unsigned char>(sql.at(i))) || sql.at(i) == '('))
        ++i;
    qsizetype j = i;
    while (j < sql.size() && std::isalpha(static_cast<unsigned char>(sql.at(j))))
        ++j;
    const QByteArray word = sql.mid(i, j - i).toLower();
    static const char *const kReads[] = {"select", "values", "show", "begin", "start", "set", "listen", "deallocate"};
    for (const char *read : kReads)
        if (word == read)
            return false;
    return true;
}

} // namespace

namespace {

// The translation; `largest` receives the highest placeholder number.
QString translatePlaceholders(const QString &sql, int &largest)
{
    QString out;
    out.reserve(sql.size() + 8);
    largest = 0;
    const qsizetype n = sql.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = sql.at(i);
        // Quoted text, a quoted identifier or a comment goes out unchanged.
        qsizetype end = -1;
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            end = sql.indexOf(c, i + 1); // a doubled quote is two quoted runs
        } else if (c == QLatin1Char('-') && i + 1 < n && sql.at(i + 1) == QLatin1Char('-')) {
            end = sql.indexOf(QLatin1Char('\n'), i);
        } else if (c == QLatin1Char('/') && i + 1 < n && sql.at(i + 1) == QLatin1Char('*')) {
            end = sql.indexOf(QStringLiteral("*/"), i + 2);
            if (end >= 0)
                ++end;
        } else if (c == QLatin1Char('?')) {
            qsizetype j = i + 1;
            while (j < n && sql.at(j).isDigit() && sql.at(j).unicode() < 128)
                ++j;
            int number = j > i + 1 ? sql.mid(i + 1, j - i - 1).toInt() : largest + 1;
            largest = std::max(largest, number);
            out += QLatin1Char('$') + QString::number(number);
            i = j - 1;
            continue;
        } else {
            out += c;
            continue;
        }
        if (end < 0)
            end = n - 1;
        out += QStringView(sql).mid(i, end - i + 1);
        i = end;
    }
    return out;
}

} // namespace

QString toServerPlaceholders(const QString &sql)
{
    int largest = 0;
    return translatePlaceholders(sql, largest);
}

// ---------------------------------------------------------------------------

namespace {

class PgStatement : public SqlStatement
{
public:
    PgStatement(PgEngine &engine, const QString &sql)
        : m_engine(engine)
    {
        int count = 0;
        m_sql = translatePlaceholders(sql, count).toUtf8();
        m_params.resize(size_t(count));
        m_writes = changesData(m_sql);
    }

    void bind(int index, const QVariant &value) override;
    bool next() override;
    void reset() override
    {
        m_ran = false;
        m_row = -1;
    }
    qint64 rowsAffected() const override { return m_affected; }

    int columnCount() const override { return PQnfields(described()); }
    QString columnName(int column) const override { return QString::fromUtf8(PQfname(described(), column)); }
    QString columnDecl(int column) const override;

    ValueKind kind(int column) const override;
    qint64 integer(int column) const override;
    double real(int column) const override;
    QString text(int column) const override;
    QByteArray bytes(int column) const override;

    // The row the statement stands on, if any.
    bool onRow() const { return m_ran && m_row >= 0 && m_row < PQntuples(m_result.res); }

private:
    struct Param
    {
        bool null = true;
        QByteArray data;
        Oid type = 0;
        int format = 0;
    };

    // The last result, or a description of the statement when it has not run.
    const PGresult *described() const;
    const char *raw(int column) const { return PQgetvalue(m_result.res, m_row, column); }
    Oid typeOf(int column) const { return PQftype(m_result.res, column); }

    PgEngine &m_engine;
    QByteArray m_sql;
    std::vector<Param> m_params;
    Result m_result;
    mutable Result m_description;
    bool m_ran = false;
    bool m_writes = true;
    int m_row = -1;
    qint64 m_affected = 0;
};

void PgStatement::bind(int index, const QVariant &value)
{
    if (index < 1 || size_t(index) > m_params.size())
        m_engine.raise(QStringLiteral("Parameter %1 is not in the statement").arg(index));
    Param &p = m_params[size_t(index - 1)];
    p = Param{};
    if (!value.isValid() || value.isNull())
        return;
    p.null = false;
    switch (value.typeId()) {
    case QMetaType::Bool:
        p.data = value.toBool() ? "1" : "0";
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        p.data = QByteArray::number(value.toDouble(), 'g', 17);
        break;
    case QMetaType::QByteArray:
        p.data = value.toByteArray();
        p.type = kByteaOid;
        p.format = 1;
        break;
    default:
        p.data = value.toString().toUtf8();
        break;
    }
}

bool PgStatement::next()
{
    if (!m_ran) {
        std::vector<const char *> values(m_params.size());
        std::vector<int> lengths(m_params.size());
        std::vector<int> formats(m_params.size());
        std::vector<Oid> types(m_params.size());
        for (size_t i = 0; i < m_params.size(); ++i) {
            const Param &p = m_params[i];
            values[i] = p.null ? nullptr : p.data.constData();
            lengths[i] = int(p.data.size());
            formats[i] = p.format;
            types[i] = p.type;
        }
        // Prepared on the connection in use: a new one after a reconnect.
        m_result.reset(m_engine.execute(
            [&]() -> PGresult * {
                PGresult *failed = nullptr;
                const QByteArray name = m_engine.preparedStatement(m_sql, types, &failed);
                if (failed)
                    return failed;
                return PQexecPrepared(m_engine.handle(), name.constData(), int(m_params.size()), values.data(),
                                      lengths.data(), formats.data(), 0);
            },
            m_writes));
        if (!m_result.ok())
            m_engine.raise(errorText(m_engine.handle(), m_result.res), sqlStateOf(m_result.res));
        m_ran = true;
        m_row = -1;
        m_affected = std::strncmp(PQcmdStatus(m_result.res), "SELECT", 6) == 0
                         ? 0
                         : std::atoll(PQcmdTuples(m_result.res));
    }
    if (m_row < PQntuples(m_result.res))
        ++m_row;
    return m_row < PQntuples(m_result.res);
}

const PGresult *PgStatement::described() const
{
    if (m_result.res)
        return m_result.res;
    if (!m_description.res) {
        std::vector<Oid> types(m_params.size());
        for (size_t i = 0; i < m_params.size(); ++i)
            types[i] = m_params[i].type;
        m_description.reset(m_engine.execute(
            [&]() -> PGresult * {
                PGconn *conn = m_engine.handle();
                PGresult *prepared = PQprepare(conn, "", m_sql.constData(), int(types.size()), types.data());
                if (PQresultStatus(prepared) != PGRES_COMMAND_OK)
                    return prepared;
                PQclear(prepared);
                return PQdescribePrepared(conn, "");
            },
            false));
        if (!m_description.ok()) {
            const QString message = errorText(m_engine.handle(), m_description.res);
            const QString state = sqlStateOf(m_description.res);
            m_description.reset();
            m_engine.raise(message, state);
        }
    }
    return m_description.res;
}

QString PgStatement::columnDecl(int column) const
{
    const PGresult *res = described();
    const Oid table = PQftable(res, column);
    const int attnum = PQftablecol(res, column);
    if (table == InvalidOid || attnum <= 0)
        return QString();
    return m_engine.declaredType(table, attnum);
}

ValueKind PgStatement::kind(int column) const
{
    if (!onRow() || PQgetisnull(m_result.res, m_row, column))
        return ValueKind::Null;
    switch (typeOf(column)) {
    case kInt2Oid:
    case kInt4Oid:
    case kInt8Oid:
    case kOidOid:
    case kBoolOid:
        return ValueKind::Integer;
    case kFloat4Oid:
    case kFloat8Oid:
    case kNumericOid:
        return ValueKind::Real;
    case kByteaOid:
        return ValueKind::Blob;
    default:
        return ValueKind::Text;
    }
}

qint64 PgStatement::integer(int column) const
{
    switch (kind(column)) {
    case ValueKind::Null:
        return 0;
    case ValueKind::Integer:
        return typeOf(column) == kBoolOid ? (raw(column)[0] == 't' ? 1 : 0) : std::strtoll(raw(column), nullptr, 10);
    case ValueKind::Real:
        return qint64(real(column));
    default:
        return std::strtoll(raw(column), nullptr, 10);
    }
}

double PgStatement::real(int column) const
{
    switch (kind(column)) {
    case ValueKind::Null:
        return 0;
    case ValueKind::Integer:
        return double(integer(column));
    default:
        return std::strtod(raw(column), nullptr);
    }
}

QString PgStatement::text(int column) const
{
    return QString::fromUtf8(bytes(column));
}

QByteArray PgStatement::bytes(int column) const
{
    const ValueKind k = kind(column);
    if (k == ValueKind::Null)
        return QByteArray();
    if (typeOf(column) == kBoolOid)
        return raw(column)[0] == 't' ? QByteArrayLiteral("1") : QByteArrayLiteral("0");
    if (k != ValueKind::Blob)
        return QByteArray(raw(column), PQgetlength(m_result.res, m_row, column));
    size_t length = 0;
    unsigned char *data = PQunescapeBytea(reinterpret_cast<const unsigned char *>(raw(column)), &length);
    if (!data)
        m_engine.raise(QStringLiteral("Out of memory reading a stored block of bytes"));
    QByteArray out(reinterpret_cast<const char *>(data), qsizetype(length));
    PQfreemem(data);
    return out;
}

} // namespace

// ---------------------------------------------------------------------------

PgEngine::PgEngine(const QString &conninfo) : m_conninfo(conninfo.toUtf8())
{
    m_conn = openConnection(true);
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK) {
        // libpq breaks its message over lines with a tab for a hint; a
        // message box shows it as one paragraph.
        const QString reason = m_conn ? trimmed(PQerrorMessage(m_conn)).simplified() : QStringLiteral("out of memory");
        PQfinish(m_conn);
        m_conn = nullptr;
        throw Error(QStringLiteral("Cannot connect to the card database server: ") + reason);
    }
    PGconn *conn = m_conn;
    m_conn = nullptr;
    if (!adopt(conn))
        throw Error(QStringLiteral("Cannot connect to the card database server: the connection was lost at once"));
    m_location = QString::fromUtf8(PQdb(m_conn)) + QStringLiteral(" on ") + QString::fromUtf8(PQhost(m_conn));
}

PgEngine::~PgEngine()
{
    PQfinish(m_pending);
    PQfinish(m_conn);
}

void PgEngine::raise(const QString &message, const QString &sqlState)
{
    m_lastError = message;
    m_lastSqlState = sqlState;
    if (sqlState == QLatin1String("23505")) // unique_violation
        throw UniqueKeyError(message);
    throw Error(message);
}

std::unique_ptr<SqlStatement> PgEngine::prepare(const QString &sql)
{
    return std::make_unique<PgStatement>(*this, sql);
}

void PgEngine::run(const char *sql)
{
    Result result(execute([&] { return PQexec(m_conn, sql); }, changesData(QByteArray(sql))));
    if (!result.ok())
        raise(errorText(m_conn, result.res), sqlStateOf(result.res));
}

void PgEngine::exec(const QString &sql)
{
    run(sql.toUtf8().constData());
    static const QRegularExpression definition(QStringLiteral("\\b(create|drop|alter|truncate|comment)\\b"),
                                               QRegularExpression::CaseInsensitiveOption);
    if (sql.contains(definition))
        forgetSchema();
}

void PgEngine::forgetSchema()
{
    m_declared.clear();
    m_tableColumns.clear();
    if (!m_prepared.empty()) {
        // The statement that changed them ran, so the transaction is usable.
        run("DEALLOCATE ALL");
        m_prepared.clear();
    }
}

QByteArray PgEngine::preparedStatement(const QByteArray &sql, const std::vector<unsigned> &types, PGresult **failed)
{
    QByteArray key = sql;
    for (const unsigned type : types)
        key += ' ' + QByteArray::number(type);
    const auto found = m_prepared.find(key);
    if (found != m_prepared.end())
        return found->second;
    const QByteArray name = "tessary_" + QByteArray::number(qulonglong(m_prepared.size() + 1));
    std::vector<Oid> oids(types.begin(), types.end());
    Result prepared(PQprepare(m_conn, name.constData(), sql.constData(), int(oids.size()), oids.data()));
    if (!prepared.ok()) {
        *failed = prepared.res;
        prepared.res = nullptr;
        return QByteArray();
    }
    m_prepared.emplace(key, name);
    return name;
}

bool PgEngine::inTransaction() const
{
    if (m_transactionOpen)
        return true;
    const PGTransactionStatusType status = PQtransactionStatus(m_conn);
    return status == PQTRANS_INTRANS || status == PQTRANS_INERROR;
}

void PgEngine::beginWrite()
{
    run("BEGIN");
    m_transactionOpen = true;
    m_writeTransaction = true;
}

void PgEngine::beginSnapshot()
{
    run("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
    m_transactionOpen = true;
    m_writeTransaction = false;
}

void PgEngine::commit()
{
    const bool writing = m_writeTransaction;
    if (!connectionOk()) {
        m_transactionOpen = false;
        loseConnection(writing);
    }
    Result result(PQexec(m_conn, "COMMIT"));
    m_transactionOpen = false;
    collectNotifications();
    if (lostBy(result.res))
        loseConnection(writing);
    if (!result.ok())
        raise(errorText(m_conn, result.res), sqlStateOf(result.res));
    // A transaction that failed part-way ends with COMMIT answered as
    // ROLLBACK: nothing of it was kept.
    if (std::strcmp(PQcmdStatus(result.res), "ROLLBACK") == 0)
        raise(QStringLiteral("The changes were not saved: a statement of the transaction failed"));
}

void PgEngine::rollback()
{
    m_transactionOpen = false;
    if (connectionOk() && PQtransactionStatus(m_conn) != PQTRANS_IDLE)
        PQclear(PQexec(m_conn, "ROLLBACK"));
}

unsigned PgEngine::relationOid(const QString &name, const char *relkinds)
{
    auto st = prepare(QStringLiteral("select c.oid from pg_class c where c.relname = lower(?1)"
                                     " and strpos(?2, c.relkind::text) > 0"
                                     " and pg_table_is_visible(c.oid)"));
    st->bind(1, name);
    st->bind(2, QString::fromLatin1(relkinds));
    return st->next() ? unsigned(st->integer(0)) : 0u;
}

std::vector<TableColumn> PgEngine::columnsOf(unsigned table, std::map<int, QString> *byNumber)
{
    auto st = prepare(QStringLiteral(
        "select a.attnum, a.attname, t.typname, col_description(a.attrelid, a.attnum),"
        " exists (select 1 from pg_index i where i.indrelid = a.attrelid and i.indisprimary"
        " and a.attnum = any(i.indkey))"
        " from pg_attribute a join pg_type t on t.oid = a.atttypid"
        " where a.attrelid = ?1 and a.attnum > 0 and not a.attisdropped order by a.attnum"));
    st->bind(1, qlonglong(table));
    std::vector<TableColumn> columns;
    while (st->next()) {
        TableColumn c;
        c.name = st->text(1);
        c.declared = st->isNull(3) ? declaredFor(st->text(2)) : st->text(3);
        c.primaryKey = st->integer(4) != 0;
        if (byNumber)
            (*byNumber)[int(st->integer(0))] = c.declared;
        columns.push_back(c);
    }
    return columns;
}

std::vector<TableColumn> PgEngine::tableColumns(const QString &table)
{
    const QString key = table.toLower();
    const auto known = m_tableColumns.find(key);
    if (known != m_tableColumns.end())
        return known->second;
    const unsigned oid = relationOid(table, "rpvmf");
    std::vector<TableColumn> columns = oid ? columnsOf(oid, nullptr) : std::vector<TableColumn>{};
    if (!columns.empty())
        m_tableColumns.emplace(key, columns);
    return columns;
}

QString PgEngine::declaredType(unsigned table, int attnum)
{
    auto it = m_declared.find(table);
    if (it == m_declared.end()) {
        std::map<int, QString> byNumber;
        columnsOf(table, &byNumber);
        it = m_declared.emplace(table, std::move(byNumber)).first;
    }
    const auto column = it->second.find(attnum);
    return column != it->second.end() ? column->second : QString();
}

bool PgEngine::hasTable(const QString &table)
{
    return relationOid(table, "rpvmf") != 0;
}

bool PgEngine::hasIndex(const QString &index)
{
    return relationOid(index, "iI") != 0;
}

QString PgEngine::sameValue(const QString &left, const QString &right) const
{
    return left + QStringLiteral(" is not distinct from ") + right;
}

QString PgEngine::exactText(const QString &column) const
{
    return QLatin1Char('(') + column + QStringLiteral(")::text");
}

QString PgEngine::insertReturningKey(const QString &insertSql) const
{
    return insertSql + QStringLiteral(" returning seq");
}

qint64 PgEngine::insertedKey(SqlStatement &statement)
{
    auto *own = dynamic_cast<PgStatement *>(&statement);
    if ((own && own->onRow()) || statement.next())
        return statement.integer(0);
    raise(QStringLiteral("The new row's key was not returned"));
}

} // namespace tessary
