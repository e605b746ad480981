#include "exchange/serverfiles.h"

#include "exchange/filecopy.h"

#include "data/connection.h"
#include "data/errors.h"
#include "data/progresssink.h"
#include "data/schema.h"
#include "data/scopeexit.h"
#include "data/serverschema.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace tessary {

namespace {

const QStringList &cardTables()
{
    static const QStringList kTables = {QStringLiteral("grptbl"), QStringLiteral("stafftbl"), QStringLiteral("param"),
                                        QStringLiteral("fields")};
    return kTables;
}

// The card tables and the ones a card database may lack (older files and
// servers): a backup carries them when its source has them.
const QStringList &copiedTables()
{
    static const QStringList kTables = cardTables() + QStringList{QStringLiteral("carddesign")};
    return kTables;
}

// The server's columns of `table`, seq first; both sides hold them.
QStringList columnsOf(SqlEngine &server, const QString &table)
{
    QStringList names;
    for (const TableColumn &column : server.tableColumns(table))
        names << column.name;
    if (names.value(0) != QLatin1String("seq"))
        throw Error(QStringLiteral("table '%1' on the server does not begin with its key").arg(table));
    return names;
}

QString quotedList(const QStringList &names)
{
    QStringList quoted;
    for (const QString &name : names)
        quoted << QLatin1Char('"') + name + QLatin1Char('"');
    return quoted.join(QStringLiteral(", "));
}

// The value of column `c` of the current row, as stored. An empty text or
// byte block stays empty, never null.
QVariant storedValue(const SqlStatement &row, int c)
{
    switch (row.kind(c)) {
    case ValueKind::Null:
        return QVariant();
    case ValueKind::Integer:
        return qlonglong(row.integer(c));
    case ValueKind::Real:
        return row.real(c);
    case ValueKind::Text: {
        const QString text = row.text(c);
        return text.isNull() ? QStringLiteral("") : text;
    }
    case ValueKind::Blob: {
        const QByteArray bytes = row.bytes(c);
        return bytes.isNull() ? QByteArray("", 0) : bytes;
    }
    }
    return QVariant();
}

// Copies every row of `table` from `from` into `to`, which holds none of
// them, in key order, kServerCopyBatch rows per read. `step` runs once per
// row.
void copyRows(SqlEngine &from, SqlEngine &to, const QString &table, const QStringList &columns,
              const std::function<void()> &step)
{
    const QString select = QStringLiteral("select %1 from %2").arg(quotedList(columns), table);
    const QString order = QStringLiteral(" order by seq limit %1").arg(kServerCopyBatch);
    const std::unique_ptr<SqlStatement> first = from.prepare(select + order);
    const std::unique_ptr<SqlStatement> following = from.prepare(select + QStringLiteral(" where seq > ?1") + order);
    QStringList places;
    for (int i = 1; i <= columns.size(); ++i)
        places << QStringLiteral("?%1").arg(i);
    const std::unique_ptr<SqlStatement> insert = to.prepare(
        QStringLiteral("insert into %1 (%2) values (%3)").arg(table, quotedList(columns), places.join(QStringLiteral(", "))));

    SqlStatement *read = first.get();
    for (;;) {
        int rows = 0;
        qint64 last = 0;
        while (read->next()) {
            insert->reset();
            for (int c = 0; c < int(columns.size()); ++c)
                insert->bind(c + 1, storedValue(*read, c));
            insert->next();
            last = read->integer(0);
            ++rows;
            step();
        }
        if (rows < kServerCopyBatch)
            return;
        read = following.get();
        read->reset();
        read->bind(1, qlonglong(last));
    }
}

qint64 memberCount(SqlEngine &engine)
{
    const std::unique_ptr<SqlStatement> count = engine.prepare(QStringLiteral("select count(*) from stafftbl"));
    return count->next() ? count->integer(0) : 0;
}

void setMemberRange(ProgressSink &progress, qint64 members)
{
    progress.SetRange(int(qMin<qint64>(members, std::numeric_limits<int>::max())));
}

// One progress step per member copied; the window redraws once a batch.
std::function<void()> memberSteps(const QString &table, ProgressSink &progress)
{
    if (table != QLatin1String("stafftbl"))
        return [] {};
    return [&progress, copied = 0]() mutable {
        progress.StepIt();
        if (++copied % kServerCopyBatch == 0)
            progress.ProcessMessages();
    };
}

// Opens a card database file of the embedded engine.
void openFile(Connection &file, const QString &path)
{
    file.setRequiredTables(cardTables());
    file.setConnectionString(cardConnectionString(path));
    file.connect();
}

// A new card database file beside `target` (".<name>.<random>"), made
// owner-only by createCardDatabase. Answers its path.
QString createTemporaryDatabase(const QString &target)
{
    const QFileInfo info(target);
    const QString prefix = info.absolutePath() + QStringLiteral("/.") + info.fileName() + QLatin1Char('.');
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString path = prefix + QString::number(QRandomGenerator::global()->generate(), 36);
        if (QFileInfo::exists(path))
            continue;
        createCardDatabase(path, CardDatabaseSeed{});
        return path;
    }
    throw Error(QStringLiteral("Cannot create a temporary file beside '%1'").arg(target));
}

void syncFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!synced)
        throw Error(QStringLiteral("Cannot write '%1': %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
}

// Fills the new file `path` (which holds the seed rows of a new database)
// with the rows of the server, read in the snapshot already open.
void writeBackup(SqlEngine &server, const QString &path, ProgressSink &progress)
{
    Connection file;
    openFile(file, path);
    Transaction transaction(file);
    // The seed rows go in the same transaction as the copied rows, and the
    // key counters restart from the copied keys.
    ensureCardDesignTable(file.engine());
    for (const QString &table : copiedTables())
        file.exec(QStringLiteral("delete from %1").arg(table));
    file.exec(QStringLiteral("delete from sqlite_sequence"));
    setMemberRange(progress, memberCount(server));
    for (const QString &table : copiedTables())
        if (server.hasTable(table))
            copyRows(server, file.engine(), table, columnsOf(server, table), memberSteps(table, progress));
    transaction.commit();
    file.disconnect();
}

} // namespace

void BackupServerDatabase(Connection &server, const QString &target, ProgressSink &progress)
{
    QString temporary = createTemporaryDatabase(target);
    OnExit removeTemporary([&] {
        if (temporary.isEmpty())
            return;
        QFile::remove(temporary);
        QFile::remove(temporary + QStringLiteral("-journal"));
    });
    {
        // One snapshot for every table: rows committed by other stations
        // after it began are in none of them.
        ReadLock snapshot(server);
        writeBackup(server.engine(), temporary, progress);
    }
    syncFile(temporary);
    if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(target).constData()) != 0)
        throw Error(QStringLiteral("Cannot write '%1': %2").arg(target, QString::fromLocal8Bit(std::strerror(errno))));
    temporary.clear();
    SyncFolder(QFileInfo(target).absolutePath());
}

void LoadIntoServer(Connection &server, const QString &checkedFile, ProgressSink &progress)
{
    Connection file;
    openFile(file, checkedFile);
    ReadLock fileLock(file);
    SqlEngine &source = file.engine();

    // No copy of the old rows is kept beside anything, as the file's restore
    // keeps "<database>.before-restore": the server's own backups are the
    // way back, and a failure leaves the old rows in place.
    Transaction transaction(server);
    SqlEngine &target = server.engine();
    // A backup without a table the server has restores with that table
    // empty, so it prints exactly as before.
    ensureCardDesignTable(target);
    for (const QString &table : copiedTables())
        server.exec(QStringLiteral("delete from %1").arg(table));
    setMemberRange(progress, memberCount(source));
    for (const QString &table : copiedTables())
        if (source.hasTable(table))
            copyRows(source, target, table, columnsOf(target, table), memberSteps(table, progress));
    syncServerKeys(target);
    transaction.commit();
}

} // namespace tessary
