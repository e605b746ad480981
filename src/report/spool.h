#pragma once

// Handing a painted job to a CUPS queue, and setting a printer up for a page
// with nothing of it left out. No widgets.

#include <QByteArray>
#include <QPageLayout>
#include <QString>

#include <utility>
#include <vector>

class QPrinter;

namespace tessary {

// A job's options, name and value, in the order sent.
using PrintJobOptions = std::vector<std::pair<QByteArray, QByteArray>>;

// Queues the painted file `file` on `printer` (a queue's name; the instance
// part of "queue/instance" is left off) with `options`. Answers the job's
// number, or 0 with CUPS's reason in `error`.
int queuePrintFile(const QString &printer, const QString &file, const QString &title, const PrintJobOptions &options,
                   QString *error = nullptr);

// Sets `printer` up for `layout`: the page layout, then full page and zero
// margins (on a queue whose margins refuse a zero-margin layout, the size,
// orientation and margins one by one). False when any step is refused.
bool setUpPrinterPage(QPrinter &printer, const QPageLayout &layout);

} // namespace tessary
