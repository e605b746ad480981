#pragma once

#include <QString>

namespace tessary {

class Tdsrc;

// Checks that `path` is a card database the program can work on: an SQLite
// database whose integrity check passes and that holds the tables grptbl,
// stafftbl, param and fields with every column the program reads. Answers
// the empty text when it is, else what is wrong. The file is only read.
QString CheckCardDatabase(const QString &path);

// Backup and restore of the card database file `databasePath` as a whole.
class DatabaseFiles
{
public:
    DatabaseFiles(Tdsrc &data, const QString &databasePath) : m_data(data), m_path(databasePath) {}

    // "Backup Database": asks for a target, asks "Overwrite the file?" when
    // it exists, copies the database (left open) there and says whether it
    // worked. True when a copy was made.
    bool Backup();

    // "Restore Database": asks for a file and for confirmation, checks the
    // file (a wrong file is refused with "Database cannot be loaded." and
    // the live database stays open as it was), keeps the database it
    // replaces as "<database>.before-restore", copies the file over the
    // database and opens it again with the group and member queries, then
    // announces the change. True when the file was restored.
    bool Restore();

    QString beforeRestorePath() const { return m_path + QStringLiteral(".before-restore"); }

private:
    void reopen();

    Tdsrc &m_data;
    QString m_path;
};

} // namespace tessary
