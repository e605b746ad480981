#include "regularfile.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessary {

namespace {

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

QString systemErrorText(const QString &what, int code)
{
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(code));
}

long readFileAt(int fd, char *buffer, unsigned long size, long long offset)
{
    for (;;) {
        const ssize_t n = ::pread(fd, buffer, size_t(size), off_t(offset));
        if (n >= 0 || errno != EINTR)
            return long(n);
    }
}

RegularFile::~RegularFile()
{
    close();
}

bool RegularFile::open(const QString &path, QString *error)
{
    close();
    if (path.isEmpty())
        return fail(error, QStringLiteral("No file name given"));
    // O_NONBLOCK: opening a FIFO without a writer must not wait for one.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return fail(error, systemErrorText(QStringLiteral("Cannot read '%1'").arg(path), errno));
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return fail(error, QStringLiteral("'%1' is not a file").arg(path));
    }
    // Reads of a regular file never block; the flag is dropped all the same.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_fd = fd;
    m_size = qint64(info.st_size);
    return true;
}

void RegularFile::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_size = 0;
}

QString RegularFile::descriptorPath() const
{
    return QStringLiteral("/proc/self/fd/%1").arg(m_fd);
}

std::optional<QByteArray> ReadRegularFile(const QString &path, qint64 maxBytes, QString *error)
{
    RegularFile file;
    if (!file.open(path, error))
        return std::nullopt;
    if (file.size() > maxBytes) {
        fail(error, QStringLiteral("'%1' is too large").arg(path));
        return std::nullopt;
    }
    // The size may have changed since it was asked: read one byte more than
    // allowed, never more, to see whether the file grew past the limit.
    QByteArray bytes(file.size() + 1, Qt::Uninitialized);
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = readFileAt(file.descriptor(), bytes.data() + done, size_t(bytes.size() - done), off_t(done));
        if (n < 0) {
            fail(error, systemErrorText(QStringLiteral("Cannot read '%1'").arg(path), errno));
            return std::nullopt;
        }
        if (n == 0)
            break;
        done += n;
        if (done == bytes.size() && done <= maxBytes)
            bytes.resize(qMin(maxBytes + 1, done * 2)); // it grew: follow up to the limit
    }
    if (done > maxBytes) {
        fail(error, QStringLiteral("'%1' is too large").arg(path));
        return std::nullopt;
    }
    bytes.resize(done);
    return bytes;
}

} // namespace tessary
