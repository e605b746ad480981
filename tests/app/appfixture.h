#pragma once

#include <array>
#include <initializer_list>

// Shared set-up of the main-window tests: the settings store kept in a
// temporary folder, a fresh program folder with its card database, direct
// access to the database file (to seed it and to check what the window
// wrote), and small helpers for pictures and controls.

#include "app/mainwindow.h"
#include "data/datasrc.h"
#include "data/errors.h"
#include "data/prompts.h"
#include "data/records.h"
#include "data/schema.h"
#include "photo/picture.h"

#include <QComboBox>
#include <QDate>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QTableView>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "data/pgengine.h"
#include "data/serverschema.h"
#include "data/sqliteengine.h"
#include "../data/serverdb.h"

#include <memory>
#include <optional>

namespace apptest {

// --- Settings ----------------------------------------------------------------

// Call once from initTestCase, before anything reads a setting.
inline void useTemporarySettings()
{
    static QTemporaryDir folder;
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path());
}

// The card database server the program folders of this run use (see
// ProgramFolder); clearing the settings keeps it.
inline QString &serverOfThisRun()
{
    static QString conninfo;
    return conninfo;
}

inline void clearSettings()
{
    QSettings s(QStringLiteral("KESMAR"), QStringLiteral("VaraDavuz"));
    s.clear();
    if (!serverOfThisRun().isEmpty())
        s.setValue(QStringLiteral("Server"), serverOfThisRun());
    s.sync();
}

// A stored value's text; nullopt when the value does not exist.
inline std::optional<QString> setting(const QString &name)
{
    QSettings s(QStringLiteral("KESMAR"), QStringLiteral("VaraDavuz"));
    if (!s.contains(name))
        return std::nullopt;
    return s.value(name).toString();
}

inline void putSetting(const QString &name, const QString &text)
{
    QSettings s(QStringLiteral("KESMAR"), QStringLiteral("VaraDavuz"));
    s.setValue(name, text);
    s.sync();
}

// --- Pictures ------------------------------------------------------------------

inline QByteArray jpegOf(int width, int height, QColor colour = QColor(40, 90, 160))
{
    QImage picture(width, height, QImage::Format_BGR888);
    picture.fill(colour);
    return tessary::SavePictureToBlob(picture);
}

inline QSize storedSize(const QByteArray &blob)
{
    return tessary::LoadPictureFromBlob(blob).size();
}

inline bool allWhite(const QImage &picture)
{
    const QImage p = picture.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x)
            if (qRed(p.pixel(x, y)) < 250 || qGreen(p.pixel(x, y)) < 250 || qBlue(p.pixel(x, y)) < 250)
                return false;
    return !p.isNull();
}

// --- The database file -----------------------------------------------------------

// Statements straight on the file, one short-lived connection per call, so
// nothing is cached between what the window wrote and what a test reads.
class DbFile
{
public:
    explicit DbFile(QString path) : m_path(std::move(path)) {}
    // The card database on a server instead of a file.
    static DbFile server(const QString &conninfo)
    {
        DbFile db{QString()};
        db.m_conninfo = conninfo;
        return db;
    }

    void exec(const QString &sql, const QVariantList &binds = {}) const { run(sql, binds, nullptr); }

    QList<QVariantList> rows(const QString &sql, const QVariantList &binds = {}) const
    {
        QList<QVariantList> out;
        run(sql, binds, &out);
        return out;
    }

    // The first column of the first row; an invalid QVariant when no row.
    QVariant value(const QString &sql, const QVariantList &binds = {}) const
    {
        const QList<QVariantList> r = rows(sql, binds);
        return r.isEmpty() ? QVariant() : r.first().value(0);
    }

    QStringList strings(const QString &sql, const QVariantList &binds = {}) const
    {
        QStringList out;
        for (const QVariantList &row : rows(sql, binds))
            out << row.value(0).toString();
        return out;
    }

    int count(const QString &table, const QString &where = QString(), const QVariantList &binds = {}) const
    {
        QString sql = QStringLiteral("select count(*) from ") + table;
        if (!where.isEmpty())
            sql += QStringLiteral(" where ") + where;
        return value(sql, binds).toInt();
    }

    qint64 lastInsertId() const { return m_lastId; }
    bool onServer() const { return !m_conninfo.isEmpty(); }

    // Makes the engine refuse `event` ("delete", "update of gid") on `table`
    // where `condition` ("old.name = 'Ben'") holds, with `message`.
    void refuse(const QString &name, const QString &event, const QString &table, const QString &condition,
                const QString &message) const
    {
        if (onServer()) {
            exec(QStringLiteral("create function %1() returns trigger language plpgsql as "
                                "$$ begin raise exception '%2'; end $$")
                     .arg(name, message));
            exec(QStringLiteral("create trigger %1 before %2 on %3 for each row when (%4) execute function %1()")
                     .arg(name, event, table, condition));
        } else {
            exec(QStringLiteral("create trigger %1 before %2 on %3 when %4 begin select raise(abort, '%5'); end")
                     .arg(name, event, table, condition, message));
        }
    }
    void stopRefusing(const QString &name, const QString &table) const
    {
        exec(onServer() ? QStringLiteral("drop trigger %1 on %2").arg(name, table) : QStringLiteral("drop trigger %1").arg(name));
    }
    // After rows were written with keys of their own: the next new row's
    // key follows the largest, on a server as the file does by itself.
    void keysWritten() const
    {
        if (onServer()) {
            tessary::PgEngine engine(m_conninfo);
            tessary::syncServerKeys(engine);
        }
    }
    // `column` compared exactly, with case.
    QString exactText(const QString &column) const
    {
        return onServer() ? column + QStringLiteral("::text") : column + QStringLiteral(" collate binary");
    }

private:
    void run(const QString &sql, const QVariantList &binds, QList<QVariantList> *out) const
    {
        std::unique_ptr<tessary::SqlEngine> engine;
        if (m_conninfo.isEmpty())
            engine = std::make_unique<tessary::SqliteEngine>(m_path);
        else
            engine = std::make_unique<tessary::PgEngine>(m_conninfo);
        const bool insert = sql.trimmed().startsWith(QLatin1String("insert"), Qt::CaseInsensitive);
        try {
            auto stmt = engine->prepare(insert ? engine->insertReturningKey(sql) : sql);
            for (int i = 0; i < binds.size(); ++i)
                stmt->bind(i + 1, binds.at(i));
            if (insert) {
                m_lastId = engine->insertedKey(*stmt);
                return;
            }
            while (stmt->next()) {
                if (!out)
                    continue;
                QVariantList row;
                for (int c = 0; c < stmt->columnCount(); ++c) {
                    switch (stmt->kind(c)) {
                    case tessary::ValueKind::Null: row << QVariant(); break;
                    case tessary::ValueKind::Integer: row << QVariant(qlonglong(stmt->integer(c))); break;
                    case tessary::ValueKind::Real: row << QVariant(stmt->real(c)); break;
                    case tessary::ValueKind::Blob: row << QVariant(stmt->bytes(c)); break;
                    case tessary::ValueKind::Text: row << QVariant(stmt->text(c)); break;
                    }
                }
                out->append(row);
            }
        } catch (const tessary::Error &e) {
            throw tessary::Error(e.message() + QStringLiteral(": ") + sql);
        }
    }

    QString m_path;
    QString m_conninfo;
    mutable qint64 m_lastId = 0;
};

// A member row as the tests seed it; a null text is stored as an empty
// (null) value.
struct Member
{
    QString name;
    int gid = 0;
    QString staffno;
    QString cname;
    QString post;
    QString datejoin; // stored form "yyyy-MM-dd HH:mm:ss", or anything for a broken date
    QString expiry;
    QString remark;
    int cardno = 0;
    QByteArray photo; // null: no photo value at all
};

inline QVariant textOrNull(const QString &text)
{
    return text.isNull() ? QVariant() : QVariant(text);
}

// --- The program folder ------------------------------------------------------------

// A fresh program folder; by default it holds a new card database, whose
// only group is "DEFAULT" with id 0.
class ProgramFolder
{
public:
    // With TESSARY_TEST_ENGINE=server in the environment the card database
    // is a fresh database on the test server, named by the setting
    // `Server`, and the folder holds no card database file.
    explicit ProgramFolder(bool withDatabase = true)
    {
        if (!m_dir.isValid())
            throw tessary::Error(QStringLiteral("no temporary folder"));
        tessary::CardDatabaseSeed seed;
        seed.background = jpegOf(86, 54, Qt::white);
        seed.fontStream = tessary::encodeComponentStream(tessary::LabelAppearance{});
        if (onServer()) {
            m_server = std::make_unique<tessary::testing::ServerDb>();
            if (withDatabase) {
                tessary::PgEngine engine(m_server->conninfo());
                tessary::prepareServerDatabase(engine, seed);
            }
            serverOfThisRun() = m_server->conninfo();
            putSetting(QStringLiteral("Server"), m_server->conninfo());
        } else if (withDatabase) {
            tessary::createCardDatabase(databasePath(), seed);
        }
    }
    ~ProgramFolder()
    {
        if (m_server && serverOfThisRun() == m_server->conninfo())
            serverOfThisRun().clear();
    }

    static bool onServer() { return qEnvironmentVariable("TESSARY_TEST_ENGINE") == QLatin1String("server"); }

    QString path() const { return m_dir.path(); }
    QString databasePath() const { return m_dir.path() + QStringLiteral("/cardinfo.mdb"); }
    DbFile db() const { return m_server ? DbFile::server(m_server->conninfo()) : DbFile(databasePath()); }
    // The server's connection string; empty for a file.
    QString conninfo() const { return m_server ? m_server->conninfo() : QString(); }
    // The connection string of this folder's card database.
    QString connectionString() const
    {
        return m_server ? tessary::serverConnectionString(m_server->conninfo())
                        : tessary::cardConnectionString(databasePath());
    }

    // A group; its id is its own row key unless given. Answers the id.
    int addGroup(const QString &name, std::optional<int> gid = std::nullopt) const
    {
        DbFile file = db();
        file.exec(QStringLiteral("insert into grptbl (gid, gdesc) values (?, ?)"), {gid.value_or(0), name});
        const qint64 seq = file.lastInsertId();
        if (!gid)
            file.exec(QStringLiteral("update grptbl set gid = seq where seq = ?"), {seq});
        return gid.value_or(int(seq));
    }

    // Answers the member's row key.
    qint64 addMember(const Member &m) const
    {
        DbFile file = db();
        file.exec(QStringLiteral("insert into stafftbl (gid, cardno, name, cname, staffno, post, datejoin, expiry, "
                                 "remark, photo) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                  {m.gid, m.cardno, textOrNull(m.name), textOrNull(m.cname), textOrNull(m.staffno), textOrNull(m.post),
                   textOrNull(m.datejoin), textOrNull(m.expiry), textOrNull(m.remark),
                   m.photo.isNull() ? QVariant() : QVariant(m.photo)});
        return file.lastInsertId();
    }

    qint64 addMember(const QString &name, int gid) const
    {
        Member m;
        m.name = name;
        m.gid = gid;
        return addMember(m);
    }

    // Members of group 0 given as name, staff number and second-script name.
    void addMembers(std::initializer_list<std::array<const char *, 3>> rows) const
    {
        for (const auto &r : rows) {
            Member m;
            m.name = QString::fromUtf8(r[0]);
            m.staffno = QString::fromUtf8(r[1]);
            m.cname = QString::fromUtf8(r[2]);
            addMember(m);
        }
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<tessary::testing::ServerDb> m_server;
};

// --- The window ------------------------------------------------------------------

// The names listed in the member grid, top to bottom, as the grid shows them.
inline QStringList listedNames(const TVaraDavuz &window)
{
    QStringList out;
    const QAbstractItemModel *model = window.dbgInfo->model();
    for (int r = 0; r < model->rowCount(); ++r)
        out << model->index(r, 1).data().toString();
    return out;
}

inline QStringList groupEntries(const TVaraDavuz &window)
{
    QStringList out;
    for (int i = 0; i < window.lstGroup->count(); ++i)
        out << window.lstGroup->itemText(i);
    return out;
}

// Selects a group entry the way the operator does.
inline void chooseGroup(TVaraDavuz &window, const QString &name)
{
    const int index = window.lstGroup->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0)
        throw tessary::Error(QStringLiteral("no group entry ") + name);
    window.lstGroup->setCurrentIndex(index);
    emit window.lstGroup->activated(index);
}

// The texts of the message boxes of a given title.
inline QStringList messagesTitled(const tessary::ScriptedPrompts &prompts, const QString &title)
{
    QStringList out;
    for (const auto &a : prompts.asked)
        if (a.what == QLatin1String("message") && a.title == title)
            out << a.text;
    return out;
}

} // namespace apptest
