#include "exchange/databasefiles.h"

#include "exchange/filecopy.h"

#include "data/connection.h"
#include "data/datasrc.h"
#include "data/errors.h"
#include "data/prompts.h"
#include "data/query.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <sqlite3.h>

namespace tessary {

namespace {

struct TableColumns
{
    QString table;
    QStringList columns;
};

QStringList namesOf(const QVector<ColumnDecl> &columns)
{
    QStringList names;
    for (const ColumnDecl &c : columns)
        names << c.name;
    return names;
}

// Every column the program reads, table by table.
QVector<TableColumns> cardTables()
{
    return {
        {QStringLiteral("grptbl"), namesOf(groupColumns())},
        {QStringLiteral("stafftbl"), namesOf(memberColumns())},
        {QStringLiteral("param"),
         {QStringLiteral("seq"), QStringLiteral("bitmap"), QStringLiteral("f1"), QStringLiteral("f2"),
          QStringLiteral("f3"), QStringLiteral("f4"), QStringLiteral("f5"), QStringLiteral("f6"), QStringLiteral("f7"),
          QStringLiteral("printback"), QStringLiteral("style"), QStringLiteral("lines"), QStringLiteral("captions"),
          QStringLiteral("position"), QStringLiteral("custom"), QStringLiteral("font"), QStringLiteral("psize"),
          QStringLiteral("palign"), QStringLiteral("osx"), QStringLiteral("osy")}},
        {QStringLiteral("fields"),
         {QStringLiteral("seq"), QStringLiteral("fname"), QStringLiteral("dname"), QStringLiteral("uname")}},
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

} // namespace

QString CheckCardDatabase(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return QStringLiteral("not a file");
    // Opened read-only, never created; a journal beside the file is not
    // played back into it.
    ReadOnlyDb handle;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &handle.db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        return QString::fromUtf8(sqlite3_errmsg(handle.db));

    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(handle.db, "PRAGMA integrity_check", -1, &stmt, nullptr) != SQLITE_OK)
        return QString::fromUtf8(sqlite3_errmsg(handle.db));
    QStringList problems;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
        problems << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE)
        return QString::fromUtf8(sqlite3_errmsg(handle.db));
    if (problems != QStringList{QStringLiteral("ok")})
        return QStringLiteral("the database is damaged: ") + problems.join(QStringLiteral("; "));

    for (const TableColumns &table : cardTables()) {
        if (sqlite3_prepare_v2(handle.db, "select name from pragma_table_info(?1)", -1, &stmt, nullptr) != SQLITE_OK)
            return QString::fromUtf8(sqlite3_errmsg(handle.db));
        const QByteArray name = table.table.toUtf8();
        sqlite3_bind_text(stmt, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        QSet<QString> present;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
            present.insert(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0))).toLower());
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE)
            return QString::fromUtf8(sqlite3_errmsg(handle.db));
        if (present.isEmpty())
            return QStringLiteral("table '%1' is missing").arg(table.table);
        for (const QString &column : table.columns)
            if (!present.contains(column.toLower()))
                return QStringLiteral("table '%1' has no column '%2'").arg(table.table, column);
    }
    return {};
}

bool DatabaseFiles::Backup()
{
    const QString target = prompts().saveFileName(QString(), QStringLiteral("Database (*.mdb)|*.mdb|All Files (*.*)|*.*"),
                                                  QStringLiteral("cardinfo.mdb"), QString());
    if (target.isEmpty())
        return false;
    if (QFileInfo::exists(target) &&
        prompts().message(MessageKind::Confirmation, QStringLiteral("Confirm"), QStringLiteral("Overwrite the file?"),
                          true) != MessageResult::Ok)
        return false;
    // The database stays open: between row operations the whole database is
    // in its one file.
    if (!CopyFileReplacing(m_path, target)) {
        ShowErrorBox(QStringLiteral("Database cannot be saved. Please retry."));
        return false;
    }
    ShowInformationBox(QStringLiteral("Database saved."));
    return true;
}

bool DatabaseFiles::Restore()
{
    const QString source = prompts().openFileName(QString(), QStringLiteral("Card database (*.mdb)|*.mdb"), QString(),
                                                  QStringLiteral("mdb"));
    if (source.isEmpty())
        return false;
    if (prompts().message(MessageKind::Confirmation, QStringLiteral("Confirm"),
                          QStringLiteral("You are choosing to overwrite an existing file. Are you sure?"),
                          true) != MessageResult::Ok)
        return false;
    // A file the program cannot work on is refused before anything is
    // replaced; the live database stays open as it was.
    if (!CheckCardDatabase(source).isEmpty()) {
        ShowCannotLoad();
        return false;
    }

    m_data.src.disconnect();
    bool restored = false;
    try {
        // The replaced database stays beside the new one, so restoring the
        // wrong backup can be undone by hand.
        if (CopyFileReplacing(m_path, beforeRestorePath())) {
            // A journal left beside the old database would be played back
            // into the restored one when it is opened.
            for (const char *suffix : {"-journal", "-wal", "-shm"})
                QFile::remove(m_path + QString::fromLatin1(suffix));
            restored = CopyFileReplacing(source, m_path);
        }
        if (!restored)
            ShowCannotLoad();
    } catch (...) {
        reopen();
        throw;
    }
    reopen();
    return restored;
}

void DatabaseFiles::reopen()
{
    m_data.src.connect();
    m_data.QGroup.open();
    m_data.QStaff.open();
    m_data.src.announceChanged();
}

} // namespace tessary
