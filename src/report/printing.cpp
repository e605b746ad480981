#include "report/printing.h"

#include "report/output.h"
#include "report/spool.h"

#include "data/quietevents.h"

#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <vector>

namespace tessary {

TPrintProgress::TPrintProgress(QWidget *owner, int pageCount) : QDialog(owner)
{
    setWindowTitle(QStringLiteral("Printing progress"));
    // Nothing else of the program may run in the middle of a job: input to
    // every other window is refused while this one is shown.
    setWindowModality(Qt::ApplicationModal);
    auto *layout = new QVBoxLayout(this);
    auto *caption = new QLabel(QStringLiteral("Pages"), this);
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, pageCount);
    m_bar->setValue(0);
    m_bar->setFormat(QStringLiteral("%v / %m"));
    caption->setBuddy(m_bar);
    m_bar->setAccessibleName(QStringLiteral("Pages printed"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    layout->addWidget(caption);
    layout->addWidget(m_bar);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    layout->addLayout(buttons);
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_cancelled = true; });
    setMinimumWidth(300);
}

void TPrintProgress::setPagesDone(int done) { m_bar->setValue(done); }

void TPrintProgress::reject() { m_cancelled = true; }

namespace {

// Qt hands a CUPS job over only when the painter ends, and cannot take back
// what it has painted by then. So a job for a print queue is painted into a
// file of our own and queued only when every page is done: a cancelled job
// never reaches the queue.
bool queueFile(const QPrinter &printer, const JobOptions &job, const QString &file, const QString &title)
{
    PrintJobOptions options;
    if (!job.media.isEmpty())
        options.emplace_back("media", job.media);
    // One side unless the job asks the driver for both.
    if (!job.bothSides)
        options.emplace_back("sides", "one-sided");
    if (job.landscape)
        options.emplace_back("landscape", "");
    if (printer.copyCount() > 1)
        options.emplace_back("copies", QByteArray::number(printer.copyCount()));
    for (const auto &option : job.extra)
        options.push_back(option);
    return queuePrintFile(printer.printerName(), file, title, options) > 0;
}

} // namespace

PrintResult printPages(QPrinter &printer, int pageCount, const JobOptions &options, const PagePainter &paint,
                       QWidget *owner, const std::function<void(TPrintProgress &, int done)> &afterPage)
{
    // A print queue (not a file): painted into a file of our own first.
    const bool toQueue = printer.outputFormat() == QPrinter::NativeFormat && printer.outputFileName().isEmpty() &&
                         !printer.printerName().isEmpty();
    QTemporaryDir spool;
    QString spoolFile;
    if (toQueue) {
        if (!spool.isValid())
            return PrintResult::Failed;
        // Not ".pdf": that name would turn the printer into a PDF writer and
        // lose the queue's paper names and resolution.
        spoolFile = spool.filePath(QStringLiteral("job.prn"));
        printer.setOutputFileName(spoolFile);
    }

    TPrintProgress progress(owner, pageCount);
    progress.show();
    // Only the progress window is answered (its Cancel, Escape and close
    // box); timers, reader notifications and other windows' input wait.
    ProcessEventsForWindow(progress);
    const int painted = paint(printer, [&](int done, int) {
        progress.setPagesDone(done);
        if (afterPage)
            afterPage(progress, done);
        ProcessEventsForWindow(progress);
        return !progress.cancelled();
    });
    progress.hide();

    const QString fileName = printer.outputFileName();
    if (toQueue)
        printer.setOutputFileName(QString());
    if (painted < 0)
        return PrintResult::Failed;
    if (progress.cancelled()) {
        QFile::remove(fileName); // no half-printed job, neither on a queue nor in a file
        return PrintResult::Cancelled;
    }
    if (toQueue && options.beforeQueue && !options.beforeQueue(spoolFile))
        return PrintResult::Failed;
    if (toQueue && !queueFile(printer, options, spoolFile, printer.docName()))
        return PrintResult::Failed;
    return PrintResult::Printed;
}

PrintResult printLayoutTo(Report &report, const ReportLayout &layout, QPrinter &printer, QWidget *owner,
                          const std::function<void(TPrintProgress &, int done)> &afterPage)
{
    preparePrinter(printer, layout.page);
    if (!layout.page.title.isEmpty())
        printer.setDocName(layout.page.title);
    JobOptions options;
    options.media = layout.page.qPageSize().key().toUtf8();
    options.landscape = layout.page.orientation == QPageLayout::Landscape;
    return printPages(
        printer, layout.pageCount(), options,
        [&](QPagedPaintDevice &device, const std::function<bool(int, int)> &pageDone) {
            return paintReportPages(report, layout, device, pageDone);
        },
        owner, afterPage);
}

PrintResult printReportTo(Report &report, QPrinter &printer, QWidget *owner,
                          const std::function<void(TPrintProgress &, int done)> &afterPage)
{
    const ReportLayout layout = layOutReport(report);
    return printLayoutTo(report, layout, printer, owner, afterPage);
}

PrintResult printReport(Report &report, QWidget *owner)
{
    const QPrinterInfo info = reportDefaultPrinter();
    if (info.isNull())
        return PrintResult::NoPrinter;
    QPrinter printer(info, QPrinter::HighResolution);
    return printReportTo(report, printer, owner);
}

} // namespace tessary
