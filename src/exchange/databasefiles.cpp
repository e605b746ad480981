#include "exchange/databasefiles.h"

#include "exchange/filecopy.h"
#include "exchange/serverfiles.h"

#include "data/connection.h"
#include "data/datasrc.h"
#include "data/errors.h"
#include "data/progresssink.h"
#include "data/prompts.h"
#include "data/query.h"
#include "data/schema.h"
#include "data/scopeexit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>

#include <cerrno>
#include <optional>

#include <sqlite3.h>
#include <unistd.h>

namespace tessary {

namespace {

// One query the program opens on the card database.
struct QueryShape
{
    QString table;
    QStringList sql;
    QVector<ColumnDecl> columns;
};

QVector<QueryShape> cardQueries()
{
    return {
        {QStringLiteral("grptbl"), groupListSql(), groupColumns()},
        {QStringLiteral("stafftbl"), allMembersSql(), memberColumns()},
        {QString(),
         {QStringLiteral("select * from stafftbl"), QStringLiteral("left join grptbl"),
          QStringLiteral("on stafftbl.gid=grptbl.gid"), QStringLiteral("order by name")},
         joinedMemberColumns()},
        {QStringLiteral("param"), {QStringLiteral("select * from param")}, paramColumns()},
        {QStringLiteral("fields"), {QStringLiteral("select * from fields")}, fieldsColumns()},
    };
}

struct ReadOnlyDb
{
    sqlite3 *db = nullptr;
    ~ReadOnlyDb() { sqlite3_close(db); }
};

void ShowCannotLoad()
{
    ShowErrorBox(QStringLiteral("Database cannot be loaded."));
}

QString sqliteError(sqlite3 *db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

// The integrity check and the tables' column names, read-only.
QString checkFile(const QString &path)
{
    ReadOnlyDb handle;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &handle.db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        return sqliteError(handle.db);
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(handle.db, "PRAGMA integrity_check", -1, &stmt, nullptr) != SQLITE_OK)
        return sqliteError(handle.db);
    QStringList problems;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
        problems << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE)
        return sqliteError(handle.db);
    if (problems != QStringList{QStringLiteral("ok")})
        return QStringLiteral("the database is damaged: ") + problems.join(QStringLiteral("; "));

    for (const QueryShape &shape : cardQueries()) {
        if (shape.table.isEmpty())
            continue;
        if (sqlite3_prepare_v2(handle.db, "select name from pragma_table_info(?1)", -1, &stmt, nullptr) != SQLITE_OK)
            return sqliteError(handle.db);
        const QByteArray name = shape.table.toUtf8();
        sqlite3_bind_text(stmt, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        QSet<QString> present;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
            present.insert(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0))).toLower());
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE)
            return sqliteError(handle.db);
        if (present.isEmpty())
            return QStringLiteral("table '%1' is missing").arg(shape.table);
        for (const ColumnDecl &column : shape.columns)
            if (!present.contains(column.name.toLower()))
                return QStringLiteral("table '%1' has no column '%2'").arg(shape.table, column.name);
    }
    return {};
}

// Opens the program's own queries on the file, as the program will: a
// column whose declared type the queries refuse fails here, not at the next
// start.
QString checkQueries(const QString &path)
{
    Connection connection;
    connection.setRequiredTables(
        {QStringLiteral("grptbl"), QStringLiteral("stafftbl"), QStringLiteral("param"), QStringLiteral("fields")});
    connection.setConnectionString(cardConnectionString(path));
    try {
        connection.connect();
        for (const QueryShape &shape : cardQueries()) {
            Query query(&connection, QStringLiteral("Check"));
            query.setSql(shape.sql);
            query.setDeclaredColumns(shape.columns);
            query.open();
            if (shape.table == QLatin1String("param") && query.isEmpty())
                return QStringLiteral("table 'param' holds no row");
        }
    } catch (const Error &e) {
        return e.message();
    }
    return {};
}

QStringList journalSuffixes()
{
    return {QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm")};
}

// Removes a file with the journals SQLite may have made beside it.
void removeWithJournals(const QString &path)
{
    QFile::remove(path);
    for (const QString &suffix : journalSuffixes())
        QFile::remove(path + suffix);
}

} // namespace

QString cardDatabaseTemporaryPrefix()
{
    return QLatin1Char('.') + kCardDatabaseName + QLatin1Char('.');
}

int RemoveStaleTemporaries(const QString &folder)
{
    const QDir dir(folder);
    int removed = 0;
    const QStringList names =
        dir.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names) {
        if (!name.startsWith(cardDatabaseTemporaryPrefix()))
            continue;
        // unlink: a link is removed itself, never what it points to.
        if (::unlink(QFile::encodeName(dir.filePath(name)).constData()) == 0)
            ++removed;
    }
    return removed;
}

QString CheckCardDatabase(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return QStringLiteral("not a file");
    QString problem = checkFile(path);
    if (problem.isEmpty())
        problem = checkQueries(path);
    return problem;
}

bool DatabaseFiles::Backup()
{
    const QString target = prompts().saveFileName(QString(), QStringLiteral("Database (*.mdb)|*.mdb|All Files (*.*)|*.*"),
                                                  kCardDatabaseName, QString());
    if (target.isEmpty())
        return false;
    const bool server = m_data.src.isServer();
    // Renaming a copy over the open database would leave the connection on
    // a deleted file: every later save fails.
    if (!server && SameFile(target, m_path)) {
        ShowErrorBox(QStringLiteral("The backup cannot replace the card database in use."));
        return false;
    }
    if (QFileInfo::exists(target) &&
        prompts().message(MessageKind::Confirmation, QStringLiteral("Confirm"), QStringLiteral("Overwrite the file?"),
                          true) != MessageResult::Ok)
        return false;

    bool copied = false;
    RegularFile live;
    if (server) {
        copied = backupServer(target);
    } else if (live.open(m_path)) {
        try {
            // The database stays open; its read lock keeps every writer out
            // for the whole copy. The file is closed only after the lock is
            // given back: closing a descriptor of the file drops the locks
            // this process holds on it.
            std::optional<ReadLock> lock;
            if (m_data.src.connected())
                lock.emplace(m_data.src);
            copied = CopyFileReplacing(live, target);
        } catch (const Error &) {
            copied = false;
        }
        live.close();
    }
    if (!copied) {
        ShowErrorBox(QStringLiteral("Database cannot be saved. Please retry."));
        return false;
    }
    ShowInformationBox(QStringLiteral("Database saved."));
    return true;
}

bool DatabaseFiles::Restore()
{
    const QString source = prompts().openFileName(
        QString(),
        QStringLiteral("Card database (*.mdb)|*.mdb|Copy kept before the last restore (*.before-restore)|*.before-restore"),
        QString(), QStringLiteral("mdb"));
    if (source.isEmpty())
        return false;
    if (prompts().message(MessageKind::Confirmation, QStringLiteral("Confirm"),
                          QStringLiteral("You are choosing to overwrite an existing file. Are you sure?"),
                          true) != MessageResult::Ok)
        return false;

    // The chosen file is copied first and the copy is what is checked and
    // restored: the chosen file may be the before-restore copy, which is
    // replaced further on, or change after it was checked.
    // On a server without a program folder the copy goes to the temporary folder.
    const QFileInfo live(m_path.isEmpty() ? QDir::temp().filePath(kCardDatabaseName) : m_path);
    QString copy;
    {
        RegularFile chosen;
        if (chosen.open(source))
            copy = CopyToTemporary(chosen, live.absolutePath(), QLatin1Char('.') + live.fileName() + QLatin1Char('.'));
    }
    OnExit removeCopy([&] {
        if (!copy.isEmpty())
            removeWithJournals(copy);
    });
    if (copy.isEmpty() || !CheckCardDatabase(copy).isEmpty()) {
        ShowCannotLoad();
        return false;
    }
    if (m_data.src.isServer())
        return loadIntoServer(copy);

    m_data.src.disconnect();
    bool restored = false;
    try {
        restored = swapIn(copy);
        if (restored)
            copy.clear();
        reopen();
    } catch (const Error &) {
        if (!restored)
            throw; // the old database did not open again: the general error report shows why
        // The restored file does not open after all: the old one goes back.
        m_data.src.disconnect();
        ::rename(QFile::encodeName(beforeRestorePath()).constData(), QFile::encodeName(m_path).constData());
        restored = false;
        reopen();
    }
    if (!restored)
        ShowCannotLoad();
    return restored;
}

bool DatabaseFiles::backupServer(const QString &target)
{
    CountingProgress none;
    ProgressSink &progress = m_progress ? *m_progress : none;
    progress.Show();
    OnExit hide([&] { progress.Hide(); });
    try {
        BackupServerDatabase(m_data.src, target, progress);
    } catch (const Error &) {
        return false;
    }
    return true;
}

bool DatabaseFiles::loadIntoServer(const QString &checkedCopy)
{
    CountingProgress none;
    ProgressSink &progress = m_progress ? *m_progress : none;
    progress.Show();
    try {
        LoadIntoServer(m_data.src, checkedCopy, progress);
    } catch (const Error &e) {
        progress.Hide();
        ShowErrorBox(QStringLiteral("Database cannot be loaded.") + QStringLiteral("\n\n") + e.message());
        return false;
    }
    progress.Hide();
    // The same connection stays; the lists are read again as after a
    // restore of the file.
    m_data.QGroup.close();
    m_data.QStaff.close();
    m_data.QGroup.open();
    m_data.QStaff.open();
    m_data.src.announceChanged();
    return true;
}

bool DatabaseFiles::swapIn(const QString &checkedCopy)
{
    if (!keepOldDatabase())
        return false;
    // A journal of the old database would be played back into the new one.
    // The old one was open until now, so none of them is needed by it.
    for (const QString &suffix : journalSuffixes())
        QFile::remove(m_path + suffix);
    if (::rename(QFile::encodeName(checkedCopy).constData(), QFile::encodeName(m_path).constData()) != 0)
        return false;
    SyncFolder(QFileInfo(m_path).absolutePath());
    return true;
}

bool DatabaseFiles::keepOldDatabase()
{
    // A second name for the old database is renamed over the before-restore
    // copy, so the database file itself is never missing, not even for a
    // moment; where the file system has no hard links, it is copied.
    const QFileInfo live(m_path);
    const QString prefix = live.absolutePath() + QLatin1Char('/') + QLatin1Char('.') + live.fileName() +
                           QStringLiteral(".kept-");
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString link = prefix + QString::number(QRandomGenerator::global()->generate(), 36);
        if (::link(QFile::encodeName(m_path).constData(), QFile::encodeName(link).constData()) != 0) {
            if (errno == EEXIST)
                continue;
            break;
        }
        if (::rename(QFile::encodeName(link).constData(), QFile::encodeName(beforeRestorePath()).constData()) != 0) {
            QFile::remove(link);
            return false;
        }
        MakeOwnerOnly(beforeRestorePath());
        return true;
    }
    return CopyFileReplacing(m_path, beforeRestorePath());
}

void DatabaseFiles::reopen()
{
    m_data.src.connect();
    m_data.QGroup.open();
    m_data.QStaff.open();
    m_data.src.announceChanged();
}

} // namespace tessary
