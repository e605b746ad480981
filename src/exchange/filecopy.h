#pragma once

#include <QString>

namespace tessary {

// Copies the file `source` to `target`, replacing a file already there
// without asking. The bytes go to a temporary file in the target's folder,
// which is flushed to disk and then renamed over the target, so the target
// is either the old file or the complete copy, never a part of one; on any
// failure the temporary file is removed and the target is left as it was.
// The copy is readable and writable by its owner only (mode 0600), whatever
// the umask. Answers false on failure, with the reason in `error` when given.
bool CopyFileReplacing(const QString &source, const QString &target, QString *error = nullptr);

// Makes an existing file readable and writable by its owner only.
bool MakeOwnerOnly(const QString &path);

} // namespace tessary
