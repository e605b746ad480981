#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

#include "data/regularfile.h"

namespace tessary {

// True when `a` and `b` name the same file: the same device and inode (so
// also through a symbolic or hard link), or the same canonical path.
bool SameFile(const QString &a, const QString &b);

// Copies the file `source` to `target`, replacing a file already there
// without asking. The bytes go to a temporary file in the target's folder,
// which is flushed to disk and then renamed over the target, so the target
// is either the old file or the complete copy, never a part of one; on any
// failure the temporary file is removed and the target is left as it was.
// The copy is readable and writable by its owner only (mode 0600), whatever
// the umask. Only a regular file is copied (see RegularFile). Answers false
// on failure, with the reason in `error` when given.
bool CopyFileReplacing(const QString &source, const QString &target, QString *error = nullptr);
// The same from a file already open; it stays open.
bool CopyFileReplacing(RegularFile &source, const QString &target, QString *error = nullptr);

// Copies the open `source` into a new file of `folder` named `prefix`
// followed by six random characters, flushed to disk, mode 0600. Answers its
// path, or the empty text on failure (nothing is left behind then).
QString CopyToTemporary(RegularFile &source, const QString &folder, const QString &prefix, QString *error = nullptr);

// Makes an existing file readable and writable by its owner only.
bool MakeOwnerOnly(const QString &path);

// Flushes the entries of `folder` (renames, links) to disk.
void SyncFolder(const QString &folder);

} // namespace tessary
