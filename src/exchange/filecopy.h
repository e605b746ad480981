#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tessary {

// A file opened for reading that is known to be a regular file. Opening
// never blocks: the path is opened without waiting (a FIFO without a writer
// opens at once) and anything that is not a regular file (a FIFO, a device
// such as /dev/zero, a folder, a socket) is refused before a byte is read.
class RegularFile
{
public:
    RegularFile() = default;
    ~RegularFile();
    RegularFile(const RegularFile &) = delete;
    RegularFile &operator=(const RegularFile &) = delete;

    // False with the reason in `error` (when given) when the path cannot be
    // opened or is not a regular file.
    bool open(const QString &path, QString *error = nullptr);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }
    qint64 size() const { return m_size; }
    // A path that names this very file while it is open (for readers that
    // take a path only): the file itself, never what the name points to by
    // then.
    QString descriptorPath() const;

private:
    int m_fd = -1;
    qint64 m_size = 0;
};

// The bytes of the regular file `path`, at most `maxBytes` of them: nullopt
// when it cannot be opened, is not a regular file, or holds more than
// `maxBytes` bytes (only `maxBytes` + 1 are ever read).
std::optional<QByteArray> ReadRegularFile(const QString &path, qint64 maxBytes, QString *error = nullptr);

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
