#pragma once

// Printing a report with the window "Printing progress".

#include "report/layout.h"

#include <QDialog>

#include <QByteArray>

#include <functional>
#include <utility>
#include <vector>

class QPagedPaintDevice;
class QPrinter;
class QProgressBar;
class QPushButton;

namespace tessary {

// The small window shown while pages go to the printer: a bar counting
// pages and a "Cancel" button that stops the job after the page in hand.
// It is application-modal: while it is shown, input to the program's other
// windows is refused. Its bar (a QProgressBar showing "done / pages")
// repaints at once, inside setPagesDone, whenever the count changes, and
// not otherwise.
class TPrintProgress : public QDialog
{
    Q_OBJECT
public:
    explicit TPrintProgress(QWidget *owner, int pageCount);

    void setPagesDone(int done);
    bool cancelled() const { return m_cancelled; }

    QProgressBar *bar() const { return m_bar; }
    QPushButton *cancelButton() const { return m_cancel; }

    // Escape and the close box cancel, as the button does.
    void reject() override;

private:
    QProgressBar *m_bar;
    QPushButton *m_cancel;
    bool m_cancelled = false;
};

enum class PrintResult { Printed, Cancelled, NoPrinter, Failed };

// Prints `report`: lays it out, then sends its pages to `printer` (set up
// here for the report's paper and orientation, full page, zero margins, at
// the printer's own resolution), showing TPrintProgress meanwhile and
// handling window events after each page (ProcessEventsForWindow: only the
// progress window's input; timers and socket notifications wait until the
// job is done). Returns when the job is sent or
// cancelled (a cancelled job is aborted). `afterPage` (optional, for tests)
// is called with the progress window after each page.
PrintResult printReportTo(Report &report, QPrinter &printer, QWidget *owner = nullptr,
                          const std::function<void(TPrintProgress &, int done)> &afterPage = {});
// As printReportTo, for a layout already made.
PrintResult printLayoutTo(Report &report, const ReportLayout &layout, QPrinter &printer, QWidget *owner = nullptr,
                          const std::function<void(TPrintProgress &, int done)> &afterPage = {});

// What a job sent to a print queue carries besides its pages.
struct JobOptions
{
    QByteArray media;  // the queue's name for the paper ("A4", "CR80")
    bool landscape = false;
    // Further options, e.g. {"print-scaling", "none"}.
    std::vector<std::pair<QByteArray, QByteArray>> extra;
    // The job asks for both sides through an option of `extra` (then no
    // "sides=one-sided" is sent).
    bool bothSides = false;
    // Called with the painted job's file before it is queued; false stops
    // the job (it then fails).
    std::function<bool(const QString &file)> beforeQueue;
};

// Paints the pages of a job on a device set up by the caller; after each
// page `pageDone(done, total)` (false stops there). Answers the pages
// painted, or -1 when the device could not be started.
using PagePainter = std::function<int(QPagedPaintDevice &device, const std::function<bool(int, int)> &pageDone)>;

// Sends `pageCount` pages painted by `paint` to `printer`, which the caller
// has set up (paper, orientation, margins), showing TPrintProgress. A job
// for a print queue is painted into a file of its own and handed to CUPS
// with `options` only when every page is done, so a cancelled job never
// reaches the queue.
PrintResult printPages(QPrinter &printer, int pageCount, const JobOptions &options, const PagePainter &paint,
                       QWidget *owner = nullptr,
                       const std::function<void(TPrintProgress &, int done)> &afterPage = {});

// Prints `report` on the default printer (reportDefaultPrinter()). With no
// printer installed nothing is laid out or printed, no message is shown,
// and the answer is NoPrinter.
PrintResult printReport(Report &report, QWidget *owner = nullptr);

} // namespace tessary
