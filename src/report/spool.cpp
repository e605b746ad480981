#include "report/spool.h"

#include <QFile>
#include <QPrinter>

#include <cups/cups.h>

namespace tessary {

int queuePrintFile(const QString &printer, const QString &file, const QString &title, const PrintJobOptions &options,
                   QString *error)
{
    std::vector<cups_option_t> cupsOptions;
    cupsOptions.reserve(options.size());
    for (const auto &[name, value] : options)
        cupsOptions.push_back(cups_option_t{const_cast<char *>(name.constData()), const_cast<char *>(value.constData())});
    const QByteArray queue = printer.section(QLatin1Char('/'), 0, 0).toLocal8Bit();
    const int job = cupsPrintFile(queue.constData(), QFile::encodeName(file).constData(), title.toLocal8Bit().constData(),
                                  int(cupsOptions.size()), cupsOptions.data());
    if (job <= 0) {
        if (error)
            *error = QString::fromLocal8Bit(cupsLastErrorString());
        return 0;
    }
    return job;
}

bool setUpPrinterPage(QPrinter &printer, const QPageLayout &layout)
{
    bool ok = printer.setPageLayout(layout);
    if (!ok) {
        // Queues with hardware margins refuse a zero-margin layout whole;
        // the size and orientation alone are taken.
        ok = printer.setPageSize(layout.pageSize());
        ok = printer.setPageOrientation(layout.orientation()) && ok;
    }
    // A page layout resets full-page mode: set it after, then the margins.
    printer.setFullPage(true);
    ok = printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter) && ok;
    return ok && printer.fullPage();
}

} // namespace tessary
