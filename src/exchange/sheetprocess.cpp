#include "exchange/sheetprocess.h"

#include "data/quietevents.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace tessary {

namespace {

// How long one wait on the child's pipe lasts before the window system gets
// its turn again.
constexpr int kSliceMs = 20;

} // namespace

QString SheetProcess::program()
{
    const QString set = qEnvironmentVariable("TESSARY_SHEET_READER");
    if (!set.isEmpty())
        return set;
    return readerOf(QCoreApplication::applicationDirPath());
}

QString SheetProcess::readerOf(const QString &programFolder)
{
    const QString name = QStringLiteral("tessary-sheet");
    const QDir folder(programFolder);
    const QString beside = folder.filePath(name);
    const QString installed = QDir::cleanPath(folder.filePath(QStringLiteral(TESSARY_READER_FROM_PROGRAM "/") + name));
    for (const QString &candidate : {beside, installed})
        if (QFileInfo(candidate).isExecutable() && QFileInfo(candidate).isFile())
            return candidate;
    return beside;
}

int SheetProcess::timeoutMs()
{
    bool ok = false;
    const int set = qEnvironmentVariableIntValue("TESSARY_SHEET_TIMEOUT_MS", &ok);
    return ok && set > 0 ? set : 30000;
}

SheetProcess::SheetProcess(const QString &path)
{
    // The reader's own complaints (a sanitizer's report) go to the
    // program's standard error.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(program(), {path}, QIODevice::ReadOnly);
    if (!m_process.waitForStarted(timeoutMs()))
        throw Error(QStringLiteral("Cannot start the sheet reader '%1': %2").arg(program(), m_process.errorString()));
    const sheetframe::Decoded first = nextFrame();
    if (first.tag == sheetframe::Tag::Error)
        throw Error(first.message);
    if (first.tag != sheetframe::Tag::Header)
        fail();
    m_columns = first.columns;
    m_rows = std::max(0, first.rowCount);
}

SheetProcess::~SheetProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

void SheetProcess::fail()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    m_ended = true;
    throw SheetReadFailure();
}

bool SheetProcess::nextRow(QVector<SheetCell> &row)
{
    if (m_ended)
        return false;
    sheetframe::Decoded frame = nextFrame();
    if (frame.tag == sheetframe::Tag::End) {
        m_ended = true;
        return false;
    }
    if (frame.tag != sheetframe::Tag::Row)
        fail();
    row = std::move(frame.cells);
    return true;
}

// One whole frame from the buffer into `payload`; false until one is there.
bool SheetProcess::takeFrame(QByteArray &payload)
{
    const qsizetype available = m_buffer.size() - m_read;
    if (available < 4)
        return false;
    const auto *p = reinterpret_cast<const uchar *>(m_buffer.constData() + m_read);
    const quint32 length = quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | quint32(p[3]);
    if (length == 0 || length > sheetframe::kMaxFrame)
        fail();
    if (available < qsizetype(length) + 4)
        return false;
    payload = m_buffer.mid(m_read + 4, length);
    m_read += qsizetype(length) + 4;
    if (m_read > (1 << 20)) { // drop what was taken now and then
        m_buffer.remove(0, m_read);
        m_read = 0;
    }
    return true;
}

// The next frame, waiting for the child in short slices that let the window
// system repaint; a child that ends without one, sends what is no frame or
// stays silent for the timeout fails the read.
sheetframe::Decoded SheetProcess::nextFrame()
{
    QByteArray payload;
    QElapsedTimer silence;
    silence.start();
    const int timeout = timeoutMs();
    while (!takeFrame(payload)) {
        if (m_process.state() == QProcess::NotRunning) {
            m_buffer += m_process.readAllStandardOutput();
            if (takeFrame(payload))
                break;
            fail();
        }
        if (m_process.waitForReadyRead(kSliceMs) || m_process.bytesAvailable() > 0) {
            m_buffer += m_process.readAllStandardOutput();
            silence.restart();
        } else if (silence.elapsed() > timeout) {
            fail();
        }
        if (QCoreApplication::instance())
            ProcessEventsQuietly();
    }
    const sheetframe::Decoded frame = sheetframe::decode(payload);
    if (!frame.ok)
        fail();
    return frame;
}

} // namespace tessary
