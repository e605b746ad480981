#include "report/output.h"

#include <QFile>
#include <QFileInfo>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessary {

QPrinterInfo reportDefaultPrinter() { return QPrinterInfo::defaultPrinter(); }

void preparePrinter(QPrinter &printer, const PageSetup &setup)
{
    printer.setFullPage(true);
    printer.setPageOrientation(setup.orientation);
    printer.setPageSize(setup.qPageSize());
    printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
}

int paintReportPages(Report &report, const ReportLayout &layout, QPagedPaintDevice &device,
                     const std::function<bool(int done, int total)> &pageDone)
{
    QPainter painter;
    if (!painter.begin(&device))
        return -1;
    const int total = layout.pageCount();
    int done = 0;
    for (int i = 0; i < total; ++i) {
        if (i > 0)
            device.newPage();
        paintReportPage(report, layout, i, painter);
        ++done;
        if (pageDone && !pageDone(done, total))
            break;
    }
    painter.end();
    return done;
}

namespace {

// A temporary file beside a target, removed unless it was renamed into place.
class TemporaryBeside
{
public:
    explicit TemporaryBeside(const QString &target)
    {
        const QFileInfo info(target);
        m_folder = QFile::encodeName(info.absolutePath());
        // Hidden, named after the target, in its folder so the rename stays
        // on one file system. mkostemp creates it 0600 whatever the umask.
        m_path = m_folder + "/." + QFile::encodeName(info.fileName()) + ".XXXXXX";
        m_fd = ::mkostemp(m_path.data(), O_CLOEXEC);
        if (m_fd < 0)
            m_path.clear();
    }
    ~TemporaryBeside()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_path.isEmpty())
            ::unlink(m_path.constData());
    }
    TemporaryBeside(const TemporaryBeside &) = delete;
    TemporaryBeside &operator=(const TemporaryBeside &) = delete;

    int fd() const { return m_fd; }

    // Flushes the file to disk, closes it and renames it over `target`;
    // answers 0 or the errno of the failing step.
    int commitTo(const QString &target)
    {
        if (::fsync(m_fd) != 0)
            return errno;
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0)
            return errno;
        if (::rename(m_path.constData(), QFile::encodeName(target).constData()) != 0)
            return errno;
        m_path.clear();
        // The rename itself reaches the disk with the folder's entry.
        const int dir = ::open(m_folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
        return 0;
    }

private:
    QByteArray m_folder;
    QByteArray m_path;
    int m_fd = -1;
};

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

bool writeFileReplacing(const QString &fileName, const std::function<bool(QIODevice &, QString *why)> &write,
                        QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (fileName.isEmpty())
        return fail(QStringLiteral("No file name given"));
    TemporaryBeside temp(fileName);
    if (temp.fd() < 0)
        return fail(systemError(errno));
    if (::fchmod(temp.fd(), S_IRUSR | S_IWUSR) != 0)
        return fail(systemError(errno));

    QFile file;
    if (!file.open(temp.fd(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
        return fail(file.errorString());
    QString why;
    const bool written = write(file, &why);
    const bool flushed = file.flush() && file.error() == QFileDevice::NoError && file.size() > 0;
    const QString writeError = file.error() != QFileDevice::NoError ? file.errorString() : QString();
    file.close();
    if (!written || !flushed)
        return fail(!writeError.isEmpty() ? writeError
                                          : !why.isEmpty() ? why : QStringLiteral("The pages could not be written"));
    if (const int code = temp.commitTo(fileName))
        return fail(systemError(code));
    return true;
}

bool writeReportPdf(Report &report, const ReportLayout &layout, const QString &fileName, int resolution,
                    QString *error)
{
    return writeFileReplacing(
        fileName,
        [&](QIODevice &file, QString *) {
            QPdfWriter writer(&file);
            writer.setResolution(resolution);
            writer.setCreator(QStringLiteral("Tessary"));
            writer.setTitle(layout.page.title);
            writer.setPageLayout(layout.page.qPageLayout());
            return paintReportPages(report, layout, writer) == layout.pageCount();
        },
        error);
}

} // namespace tessary
