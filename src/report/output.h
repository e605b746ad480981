#pragma once

// Sending a laid-out report to a paged device: a PDF file or a printer.
// The windows around printing (progress, preview) are in printing.h and
// preview.h.

#include "report/layout.h"

#include <QPrinterInfo>
#include <QString>

#include <functional>

class QIODevice;
class QPagedPaintDevice;
class QPrinter;

namespace tessary {

// The printer reports go to: the system's default printer (null when no
// printer is installed). The one place the program looks it up.
QPrinterInfo reportDefaultPrinter();

// Sets `printer` up for `setup`: paper size and orientation, full page and
// zero margins, so positions are measured from the sheet's top-left corner.
void preparePrinter(QPrinter &printer, const PageSetup &setup);

// Writes every page of `layout` into a PDF file, one PDF page per report
// page at the page's size and orientation. The pages go to a temporary file
// in the target's folder, which is flushed to disk and then renamed over
// `fileName` (replacing a file there without asking), so the target is
// either the old file or the whole new one. The file is readable and
// writable by its owner only (mode 0600), whatever the umask. False when it
// cannot be written, with the reason in `error` when given; the temporary
// file is then removed and an existing target left as it was.
bool writeReportPdf(Report &report, const ReportLayout &layout, const QString &fileName, int resolution = 1200,
                    QString *error = nullptr);

// Writes a file through a temporary file in the target's folder, which is
// flushed to disk and then renamed over `fileName` (replacing a file there
// without asking): the target is either the old file or the whole new one,
// readable and writable by its owner only (mode 0600). `write` fills the
// temporary file and answers false (with its reason) when it cannot. False
// when the file cannot be written, with the reason in `error` when given.
bool writeFileReplacing(const QString &fileName, const std::function<bool(QIODevice &, QString *why)> &write,
                        QString *error = nullptr);

// Paints the pages of `layout` on `device`, which the caller has set up
// (page size, orientation, margins). After each page `pageDone(pagesDone,
// pageCount)` is called; answering false stops the job there. Answers the
// number of pages painted, or -1 when the device could not be started.
int paintReportPages(Report &report, const ReportLayout &layout, QPagedPaintDevice &device,
                     const std::function<bool(int done, int total)> &pageDone = {});

} // namespace tessary
