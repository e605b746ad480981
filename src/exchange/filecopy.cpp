#include "exchange/filecopy.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessary {

namespace {

QString systemError(const QString &what, int code)
{
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(code));
}

// Writes all of `size` bytes, resuming after interruptions.
bool writeAll(int fd, const char *data, ssize_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

bool MakeOwnerOnly(const QString &path)
{
    return ::chmod(QFile::encodeName(path).constData(), S_IRUSR | S_IWUSR) == 0;
}

bool CopyFileReplacing(const QString &source, const QString &target, QString *error)
{
    auto fail = [&](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    if (source.isEmpty() || target.isEmpty())
        return fail(QStringLiteral("No file name given"));

    const QByteArray sourceName = QFile::encodeName(source);
    const int in = ::open(sourceName.constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return fail(systemError(QStringLiteral("Cannot read '%1'").arg(source), errno));
    struct stat sourceInfo;
    if (::fstat(in, &sourceInfo) != 0 || !S_ISREG(sourceInfo.st_mode)) {
        ::close(in);
        return fail(QStringLiteral("'%1' is not a file").arg(source));
    }

    const QFileInfo targetInfo(target);
    const QString folder = targetInfo.absolutePath();
    // mkstemp creates the file with mode 0600, in the target's folder so the
    // final rename stays on one file system.
    QByteArray temp = QFile::encodeName(folder + QStringLiteral("/.") + targetInfo.fileName() + QStringLiteral(".XXXXXX"));
    const int out = ::mkstemp(temp.data());
    if (out < 0) {
        const int code = errno;
        ::close(in);
        return fail(systemError(QStringLiteral("Cannot write into the folder '%1'").arg(folder), code));
    }
    auto abandon = [&](const QString &what, int code) {
        ::close(in);
        ::close(out);
        ::unlink(temp.constData());
        return fail(systemError(what, code));
    };

    const QString writeError = QStringLiteral("Cannot write '%1'").arg(target);
    if (::fchmod(out, S_IRUSR | S_IWUSR) != 0)
        return abandon(writeError, errno);

    static constexpr ssize_t kChunk = 256 * 1024;
    QByteArray buffer(kChunk, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), size_t(kChunk));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return abandon(QStringLiteral("Cannot read '%1'").arg(source), errno);
        }
        if (n == 0)
            break;
        if (!writeAll(out, buffer.constData(), n))
            return abandon(writeError, errno);
    }
    if (::fsync(out) != 0)
        return abandon(writeError, errno);
    ::close(in);
    if (::close(out) != 0) {
        const int code = errno;
        ::unlink(temp.constData());
        return fail(systemError(writeError, code));
    }
    if (::rename(temp.constData(), QFile::encodeName(target).constData()) != 0) {
        const int code = errno;
        ::unlink(temp.constData());
        return fail(systemError(writeError, code));
    }
    // The rename itself reaches the disk with the folder's entry.
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace tessary
