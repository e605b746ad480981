#pragma once

// Backup and restore when the card database is on a server: the backup is a
// card database file in the same format as the embedded "cardinfo.mdb", so
// a backup taken on a server restores onto a single computer and the other
// way round. Every column of grptbl, stafftbl, param and fields is copied as
// stored (seq, photos, param.font, dates as their text).

#include <QString>

namespace tessary {

class Connection;
class ProgressSink;

// Members copied per round trip: memory holds one batch of photos at most.
inline constexpr int kServerCopyBatch = 500;

// Writes every row of the server database `server` is connected to into a
// new card database file `target`, replacing a file there. The rows are read
// in one snapshot (ReadLock: one REPEATABLE READ transaction on the server),
// the members `kServerCopyBatch` at a time; the file is built as a temporary
// file beside the target (mode 0600), flushed to disk and renamed over it,
// so the target is the old file or the whole backup. `progress` gets the
// member count as its range and one step per member. Throws Error on
// failure; nothing is then left beside the target.
void BackupServerDatabase(Connection &server, const QString &target, ProgressSink &progress);

// Replaces every row of the four tables on the server with the rows of the
// card database file `checkedFile` (already checked with CheckCardDatabase),
// each with its seq, in one transaction, and sets the key generators past
// the restored keys. Another station sees the old rows or all the new ones.
// Throws Error on failure (a row the server refuses, a lost connection); the
// server then holds what it held before.
void LoadIntoServer(Connection &server, const QString &checkedFile, ProgressSink &progress);

} // namespace tessary
