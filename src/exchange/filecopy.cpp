#include "exchange/filecopy.h"

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

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
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

bool SameFile(const QString &a, const QString &b)
{
    struct stat first, second;
    if (::stat(QFile::encodeName(a).constData(), &first) == 0 && ::stat(QFile::encodeName(b).constData(), &second) == 0 &&
        first.st_dev == second.st_dev && first.st_ino == second.st_ino)
        return true;
    const QString canonicalA = QFileInfo(a).canonicalFilePath();
    return !canonicalA.isEmpty() && canonicalA == QFileInfo(b).canonicalFilePath();
}

bool MakeOwnerOnly(const QString &path)
{
    return ::chmod(QFile::encodeName(path).constData(), S_IRUSR | S_IWUSR) == 0;
}

void SyncFolder(const QString &folder)
{
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

QString CopyToTemporary(RegularFile &source, const QString &folder, const QString &prefix, QString *error)
{
    if (!source.isOpen()) {
        fail(error, QStringLiteral("No file to copy"));
        return {};
    }
    // mkstemp creates the file with mode 0600, in the given folder so a
    // final rename stays on one file system.
    QByteArray temp = QFile::encodeName(folder + QLatin1Char('/') + prefix + QStringLiteral("XXXXXX"));
    const int out = ::mkstemp(temp.data());
    if (out < 0) {
        fail(error, systemErrorText(QStringLiteral("Cannot write into the folder '%1'").arg(folder), errno));
        return {};
    }
    const QString tempPath = QFile::decodeName(temp);
    auto abandon = [&](const QString &what, int code) {
        ::close(out);
        ::unlink(temp.constData());
        fail(error, systemErrorText(what, code));
        return QString();
    };
    const QString writeError = QStringLiteral("Cannot write '%1'").arg(tempPath);
    if (::fchmod(out, S_IRUSR | S_IWUSR) != 0)
        return abandon(writeError, errno);

    static constexpr size_t kChunk = 256 * 1024;
    QByteArray buffer(kChunk, Qt::Uninitialized);
    for (off_t offset = 0;;) {
        const ssize_t n = readFileAt(source.descriptor(), buffer.data(), kChunk, offset);
        if (n < 0)
            return abandon(QStringLiteral("Cannot read the file to copy"), errno);
        if (n == 0)
            break;
        if (!writeAll(out, buffer.constData(), n))
            return abandon(writeError, errno);
        offset += n;
    }
    if (::fsync(out) != 0)
        return abandon(writeError, errno);
    if (::close(out) != 0) {
        const int code = errno;
        ::unlink(temp.constData());
        fail(error, systemErrorText(writeError, code));
        return {};
    }
    return tempPath;
}

bool CopyFileReplacing(RegularFile &source, const QString &target, QString *error)
{
    if (target.isEmpty())
        return fail(error, QStringLiteral("No file name given"));
    const QFileInfo targetInfo(target);
    const QString folder = targetInfo.absolutePath();
    const QString temp =
        CopyToTemporary(source, folder, QLatin1Char('.') + targetInfo.fileName() + QLatin1Char('.'), error);
    if (temp.isEmpty())
        return false;
    if (::rename(QFile::encodeName(temp).constData(), QFile::encodeName(target).constData()) != 0) {
        const int code = errno;
        QFile::remove(temp);
        return fail(error, systemErrorText(QStringLiteral("Cannot write '%1'").arg(target), code));
    }
    // The rename itself reaches the disk with the folder's entry.
    SyncFolder(folder);
    return true;
}

bool CopyFileReplacing(const QString &source, const QString &target, QString *error)
{
    if (source.isEmpty() || target.isEmpty())
        return fail(error, QStringLiteral("No file name given"));
    RegularFile file;
    if (!file.open(source, error))
        return false;
    return CopyFileReplacing(file, target, error);
}

} // namespace tessary
