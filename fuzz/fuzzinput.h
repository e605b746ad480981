#pragma once

// Shared by the fuzz targets: the input as bytes, or as a file for the
// readers that open a path.

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace tessary::fuzz {

inline QByteArray bytesOf(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// The input written to this process's own file with the given extension
// (the same file for every input); removed when the process ends.
inline QString inputFile(const uint8_t *data, size_t size, const char *extension)
{
    struct Removed
    {
        QString path;
        ~Removed()
        {
            if (!path.isEmpty())
                QFile::remove(path);
        }
    };
    static Removed file;
    file.path = QDir::temp().filePath(
        QStringLiteral("tessary-fuzz-%1.%2").arg(QCoreApplication::applicationPid()).arg(QLatin1String(extension)));
    QFile out(file.path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytesOf(data, size)) != qint64(size))
        std::abort();
    return file.path;
}

} // namespace tessary::fuzz
