#pragma once

#include <QString>

namespace tessary {

class ProgressSink;
class Tdsrc;

// The name of the card database in the program folder; every temporary file
// the program makes beside it starts with "." and this name and a dot.
inline const QString kCardDatabaseName = QStringLiteral("cardinfo.mdb");
QString cardDatabaseTemporaryPrefix(); // ".cardinfo.mdb."

// Deletes the files a killed backup, restore or import left in the program
// folder `folder`: every ".cardinfo.mdb.*" (temporary copies and their
// journals). Run at start-up, before the card database is opened and while
// no other copy of the program works on that folder. Answers how many files
// were removed.
int RemoveStaleTemporaries(const QString &folder);

// Checks that `path` is a card database the program can work on: an SQLite
// database whose integrity check passes, that holds the tables grptbl,
// stafftbl, param (with its row) and fields, and on which the program's own
// queries open, which checks every column they declare by name and declared
// type. Answers the empty text when it is, else what is wrong. Meant for a
// copy: the file is opened for writing as the program opens it.
QString CheckCardDatabase(const QString &path);

// Backup and restore of the card database as a whole: the file
// `databasePath`, or, when the data module's connection is on a server, the
// rows of the server database (see serverfiles.h; `databasePath` then only
// names the folder for the temporary copy of a file being restored).
class DatabaseFiles
{
public:
    // `progress` (may be null) follows the copy of the members on a server.
    DatabaseFiles(Tdsrc &data, const QString &databasePath, ProgressSink *progress = nullptr)
        : m_data(data), m_path(databasePath), m_progress(progress)
    {
    }

    // "Backup Database": asks for a target, refuses the card database itself
    // (by any name or link), asks "Overwrite the file?" when the target
    // exists, copies the database there while holding its read lock (no
    // write changes it part-way; it stays open) and says whether it worked.
    // True when a copy was made. On a server: a card database file of the
    // server's rows, read in one snapshot.
    bool Backup();

    // "Restore Database": asks for a file and for confirmation, copies it to
    // a temporary file beside the database and checks that copy (a wrong
    // file is refused with "Database cannot be loaded." and the live
    // database stays open as it was). Only then closes the database, keeps
    // it as "<database>.before-restore" and renames the checked copy into
    // its place, so at every moment the database file is the whole old or
    // the whole new one; then opens it again with the group and member
    // queries and announces the change. True when the file was restored.
    // On a server the checked copy is loaded into the server in one
    // transaction (no before-restore copy); a failure leaves the server as it
    // was and shows the server's reason.
    bool Restore();

    QString beforeRestorePath() const { return m_path + QStringLiteral(".before-restore"); }

private:
    bool backupServer(const QString &target);
    bool loadIntoServer(const QString &checkedCopy);
    bool swapIn(const QString &checkedCopy);
    bool keepOldDatabase();
    void reopen();

    Tdsrc &m_data;
    QString m_path;
    ProgressSink *m_progress;
};

} // namespace tessary
