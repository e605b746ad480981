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

// `what`, a colon and the system's text for the error number `code`.
QString systemErrorText(const QString &what, int code);

// Reads up to `size` bytes at `offset` of the open file `fd`, resuming
// after interruptions; the count read, 0 at the end, -1 on error.
long readFileAt(int fd, char *buffer, unsigned long size, long long offset);

} // namespace tessary
