#include "schema.h"
#include "errors.h"
#include "engine.h"
#include "serverschema.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sqlite3.h>

namespace tessary {

namespace {

// A connection-string value between double quotes, a quote in it doubled.
QString quoted(const QString &value)
{
    QString text = value;
    text.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

QString cardConnectionString(const QString &path)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Data Source=") + quoted(path) +
           QStringLiteral(";Mode=ReadWrite;Extended Properties=") + QStringLiteral("\"\"") +
           QLatin1Char(';') + QStringLiteral("Jet OLEDB:Database Password=") + kDatabasePassword;
}

QString serverConnectionString(const QString &conninfo)
{
    return QStringLiteral("Provider=PostgreSQL;Server=") + quoted(conninfo);
}

QString exportConnectionString(const QString &path)
{
    // The path stands as it is, unless it holds a character that would end
    // or open the value: then it is quoted, so the copy that was made is the
    // file that is opened.
    const bool plain = !path.contains(QLatin1Char(';')) && !path.contains(QLatin1Char('"')) &&
                       path.trimmed() == path;
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Data Source=") + (plain ? path : quoted(path)) +
           QStringLiteral(";Extended Properties=") + QStringLiteral("\"\"") +
           QStringLiteral(";Jet OLEDB:Database Password=") + kDatabasePassword;
}

namespace {

// Column types: SMALLINT is 16-bit, INTEGER 32-bit, NVARCHAR / LONGTEXT hold
// Unicode text, VARCHAR 8-bit text, DATETIME a date and time, LONGBINARY a
// block of bytes. Text compares and sorts without regard to letter case.
const char *const kCardSchema = R"SQL(
PRAGMA journal_mode=DELETE;
BEGIN;
CREATE TABLE grptbl (
    seq   INTEGER PRIMARY KEY AUTOINCREMENT,
    gid   SMALLINT NOT NULL DEFAULT 0 CHECK (gid BETWEEN -32768 AND 32767),
    gdesc NVARCHAR(255) COLLATE NOCASE
);
CREATE INDEX grptbl_gdesc ON grptbl (gdesc);
CREATE INDEX grptbl_gid ON grptbl (gid);

CREATE TABLE stafftbl (
    seq      INTEGER PRIMARY KEY AUTOINCREMENT,
    gid      SMALLINT DEFAULT 0 CHECK (gid BETWEEN -32768 AND 32767),
    cardno   INTEGER DEFAULT 0 CHECK (cardno BETWEEN -2147483648 AND 2147483647),
    name     NVARCHAR(255) COLLATE NOCASE,
    cname    NVARCHAR(255) COLLATE NOCASE,
    staffno  VARCHAR(255) COLLATE NOCASE,
    post     NVARCHAR(255) COLLATE NOCASE,
    datejoin DATETIME,
    expiry   DATETIME,
    remark   NVARCHAR(255) COLLATE NOCASE,
    photo    LONGBINARY
);
CREATE INDEX stafftbl_name ON stafftbl (name);
CREATE INDEX stafftbl_gid_name ON stafftbl (gid, name);
CREATE INDEX stafftbl_gid_staffno ON stafftbl (gid, staffno, name);
CREATE INDEX stafftbl_gid_cname ON stafftbl (gid, cname, name);
CREATE INDEX stafftbl_cardno ON stafftbl (cardno);

CREATE TABLE param (
    seq       INTEGER PRIMARY KEY AUTOINCREMENT,
    bitmap    LONGBINARY,
    f1        SMALLINT CHECK (f1 BETWEEN -32768 AND 32767),
    f2        SMALLINT CHECK (f2 BETWEEN -32768 AND 32767),
    f3        SMALLINT CHECK (f3 BETWEEN -32768 AND 32767),
    f4        SMALLINT CHECK (f4 BETWEEN -32768 AND 32767),
    f5        SMALLINT CHECK (f5 BETWEEN -32768 AND 32767),
    f6        SMALLINT CHECK (f6 BETWEEN -32768 AND 32767),
    f7        SMALLINT CHECK (f7 BETWEEN -32768 AND 32767),
    printback BOOLEAN,
    style     SMALLINT CHECK (style BETWEEN -32768 AND 32767),
    lines     BOOLEAN,
    captions  BOOLEAN,
    position  DOUBLE,
    custom    BOOLEAN,
    font      LONGBINARY,
    psize     INTEGER,
    palign    INTEGER,
    osx       SMALLINT CHECK (osx BETWEEN -32768 AND 32767),
    osy       SMALLINT CHECK (osy BETWEEN -32768 AND 32767)
);

CREATE TABLE fields (
    seq   INTEGER PRIMARY KEY AUTOINCREMENT,
    fname NVARCHAR(255),
    dname NVARCHAR(255),
    uname NVARCHAR(255)
);

CREATE TABLE carddesign (
    seq       INTEGER PRIMARY KEY AUTOINCREMENT,
    designkey NVARCHAR(255),
    version   INTEGER,
    document  LONGBINARY
);

INSERT INTO grptbl (gid, gdesc) VALUES (0, 'DEFAULT');

INSERT INTO fields (fname, dname, uname) VALUES
    ('staffno',  'ID',          'ID'),
    ('name',     'Name',        'Name'),
    ('cname',    'CName',       'CName'),
    ('post',     'Position',    'Position'),
    ('datejoin', 'Date Join',   'Date Join'),
    ('expiry',   'Expiry Date', 'Expiry Date'),
    ('remark',   'Remark',      'Remark'),
    ('gdesc',    'Group',       'Group'),
    ('cardno',   'Card No',     'Card No');
COMMIT;
)SQL";

// The access-control system's tables, as the export fills them.
const char *const kExportSchema = R"SQL(
PRAGMA journal_mode=DELETE;
BEGIN;
CREATE TABLE staffs (
    SEQ       INTEGER PRIMARY KEY AUTOINCREMENT,
    CARDNO    INTEGER CHECK (CARDNO BETWEEN -2147483648 AND 2147483647),
    NAME      NVARCHAR(50),
    CNAME     NVARCHAR(50) DEFAULT '',
    WORKGRP   INTEGER CHECK (WORKGRP BETWEEN -2147483648 AND 2147483647),
    TIMEGRP   INTEGER DEFAULT 1 CHECK (TIMEGRP BETWEEN -2147483648 AND 2147483647),
    ACCESSGRP INTEGER DEFAULT 1 CHECK (ACCESSGRP BETWEEN -2147483648 AND 2147483647),
    OFFLINE   BOOLEAN DEFAULT 0,
    PICKED    BOOLEAN DEFAULT 0,
    COM1 BOOLEAN DEFAULT 0, COM2 BOOLEAN DEFAULT 0, COM3 BOOLEAN DEFAULT 0, COM4 BOOLEAN DEFAULT 0,
    COM5 BOOLEAN DEFAULT 0, COM6 BOOLEAN DEFAULT 0, COM7 BOOLEAN DEFAULT 0, COM8 BOOLEAN DEFAULT 0,
    PHOTO     LONGBINARY,
    MEMO      LONGTEXT
);
CREATE TABLE gid (
    seq          INTEGER PRIMARY KEY AUTOINCREMENT,
    id           INTEGER CHECK (id BETWEEN -2147483648 AND 2147483647),
    descx        NVARCHAR(50),
    wd_from_1    DATETIME, wd_to_1 DATETIME, wd_from_2 DATETIME, wd_to_2 DATETIME,
    sat_enable_1 BOOLEAN DEFAULT 0, sat_from_1 DATETIME, sat_to_1 DATETIME,
    sat_enable_2 BOOLEAN DEFAULT 0, sat_from_2 DATETIME, sat_to_2 DATETIME,
    ot_min       SMALLINT DEFAULT 0 CHECK (ot_min BETWEEN -32768 AND 32767),
    ot_multi     SMALLINT DEFAULT 0 CHECK (ot_multi BETWEEN -32768 AND 32767)
);
COMMIT;
)SQL";

struct Db
{
    sqlite3 *db = nullptr;
    ~Db() { sqlite3_close(db); }
};

void runScript(const QString &path, const char *script, const std::function<void(sqlite3 *)> &more)
{
    if (QFileInfo::exists(path))
        throw Error(QStringLiteral("'%1' already exists; it is left as it is").arg(path));
    // The files hold people's names, numbers and photos: the file is made
    // first, readable and writable by its owner only whatever the umask, and
    // the database is then built in it (the engine's journal takes the same
    // mode).
    {
        const QByteArray name = QFile::encodeName(path);
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (fd < 0)
            throw Error(QStringLiteral("Cannot create '%1': %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
        const bool owned = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
        ::close(fd);
        if (!owned) {
            QFile::remove(path);
            throw Error(QStringLiteral("Cannot create '%1': its access mode cannot be set").arg(path));
        }
    }
    Db db;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        const QString what = QString::fromUtf8(sqlite3_errmsg(db.db));
        QFile::remove(path);
        throw Error(QStringLiteral("Cannot create '%1': %2").arg(path, what));
    }
    char *err = nullptr;
    if (sqlite3_exec(db.db, script, nullptr, nullptr, &err) != SQLITE_OK) {
        const QString what = QString::fromUtf8(err ? err : "unknown error");
        sqlite3_free(err);
        sqlite3_close(db.db);
        db.db = nullptr;
        QFile::remove(path);
        throw Error(QStringLiteral("Cannot create '%1': %2").arg(path, what));
    }
    if (more) {
        try {
            more(db.db);
        } catch (...) {
            sqlite3_close(db.db);
            db.db = nullptr;
            QFile::remove(path);
            throw;
        }
    }
}

} // namespace

void createCardDatabase(const QString &path, const CardDatabaseSeed &seed)
{
    runScript(path, kCardSchema, [&](sqlite3 *db) {
        // One layout row: rows 1-7 show ID, Name, CName, Position, Date Join,
        // Expiry Date and Group; style 0 on A6, lines and captions on.
        const char *sql =
            "INSERT INTO param (bitmap, f1, f2, f3, f4, f5, f6, f7, printback, style, lines, captions, position,"
            " custom, font, psize, palign, osx, osy)"
            " VALUES (?1, 1, 2, 3, 4, 5, 6, 8, 1, 0, 1, 1, 30, 0, ?2, 0, 0, 0, 0)";
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK)
            throw Error(QString::fromUtf8(sqlite3_errmsg(db)));
        sqlite3_bind_blob(stmt, 1, seed.background.constData(), int(seed.background.size()), SQLITE_TRANSIENT);
        sqlite3_bind_blob(stmt, 2, seed.fontStream.constData(), int(seed.fontStream.size()), SQLITE_TRANSIENT);
        const int rc = sqlite3_step(stmt);
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE)
            throw Error(QString::fromUtf8(sqlite3_errmsg(db)));
    });
}

void ensureCardDesignTable(SqlEngine &engine)
{
    if (engine.hasTable(QStringLiteral("carddesign")))
        return;
    if (engine.kind() == EngineKind::Server) {
        createServerTable(engine, QStringLiteral("carddesign"));
        return;
    }
    engine.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS carddesign (seq INTEGER PRIMARY KEY AUTOINCREMENT,"
                               " designkey NVARCHAR(255), version INTEGER, document LONGBINARY)"));
}

void createExportTemplate(const QString &path)
{
    runScript(path, kExportSchema, {});
}

} // namespace tessary
