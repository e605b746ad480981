#pragma once

// The window "Print Preview": one report page at a time, painted when it is
// shown (a report of hundreds of pages opens at once), with zoom, paging,
// printer set-up, print, "Save as PDF…" and close. It needs no printer:
// page sizes come from the report.

#include "report/layout.h"

#include <QDialog>
#include <QImage>
#include <QPageLayout>

#include <functional>
#include <memory>

class QLabel;
class QPrinter;
class QScrollArea;
class QToolButton;

namespace tessary {

class PreviewPageView;

// The pages a preview shows: a laid-out report, or any other paged
// document (cards).
class PreviewDocument
{
public:
    virtual ~PreviewDocument() = default;
    virtual int pageCount() const = 0;
    // The pages' size as laid out, in millimetres.
    virtual QSizeF pageSizeMm() const = 0;
    // The page's paper and orientation, for printer set-up.
    virtual QPageLayout pageLayout() const = 0;
    // Paints page `page` (0-based) on a painter whose device's top-left
    // corner is the page's.
    virtual void paintPage(int page, QPainter &painter) = 0;
    // Writes every page to a PDF file (replacing it only when whole).
    virtual bool writePdf(const QString &fileName, QString *error) = 0;
    // Prints every page on `printer`.
    virtual void print(QPrinter &printer, QWidget *owner) = 0;
};

class TReportPreview : public QDialog
{
    Q_OBJECT
public:
    enum class Zoom { WholePage, Actual, PageWidth };

    // Lays `report` out (the report must outlive the window).
    explicit TReportPreview(Report &report, QWidget *owner = nullptr);
    // Shows `document` (which must outlive the window).
    explicit TReportPreview(PreviewDocument &document, QWidget *owner = nullptr);
    ~TReportPreview() override;

    // Modal: shows the window and returns when it is closed.
    static void previewModal(Report &report, QWidget *owner = nullptr);
    // Not modal (other windows stay usable); returns when it is closed.
    static void previewAndWait(Report &report, QWidget *owner = nullptr);
    // Shows the window without blocking; it deletes itself when closed.
    // `configure` (optional) is called on the window before it is shown.
    static TReportPreview *previewNonModal(Report &report, QWidget *owner = nullptr,
                                           const std::function<void(TReportPreview &)> &configure = {});

    // Shows the window not modal and runs a local event loop until it is
    // closed.
    void showAndWait();

    // The report shown (a report preview only).
    Report &report() const { return *m_report; }
    // The report's layout (empty for another document).
    const ReportLayout &layout() const { return m_layout; }
    int pageCount() const { return m_document->pageCount(); }
    int currentPage() const { return m_page; } // 0-based
    void setCurrentPage(int page);             // held within the pages
    Zoom zoom() const { return m_zoom; }
    void setZoom(Zoom zoom);
    // Dots per millimetre the current page is shown at.
    double scale() const;
    // The text that shows the page number ("Page 3 of 12").
    QString pageText() const;
    // The page as shown (painted at the current zoom); for tests and grabs.
    QImage shownPage() const;

    // "Print": by default the same report goes to the printer chosen in
    // printer set-up (the default printer until then). A caller that prints
    // a differently laid out report replaces it here.
    void setPrintHandler(const std::function<void()> &handler) { m_printHandler = handler; }
    // "Printer setup": by default a printer dialog on the preview's printer;
    // answers true when a printer was chosen. Replaceable (tests).
    void setPrinterSetupHandler(const std::function<bool(QPrinter &)> &handler) { m_setupHandler = handler; }
    // The printer chosen in printer set-up; null until one is chosen.
    QPrinter *chosenPrinter() const { return m_printer.get(); }

    // Asks for a file name ("Save as PDF…") and writes the whole report
    // there. An existing file is replaced only after "Overwrite the file?"
    // is answered OK; a failing write leaves it as it was. False when
    // cancelled or the file cannot be written (shown).
    bool saveAsPdf();
    void printNow();
    void printerSetup();

    QToolButton *button(const QString &objectName) const;

private:
    void buildWindow();
    void showPage();
    QToolButton *addButton(const QString &objectName, const QString &text, const QString &accessible);
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

    Report *m_report = nullptr;
    ReportLayout m_layout;
    std::unique_ptr<PreviewDocument> m_ownDocument;
    PreviewDocument *m_document = nullptr;
    int m_page = 0;
    Zoom m_zoom = Zoom::WholePage;
    QScrollArea *m_scroll;
    PreviewPageView *m_view;
    QLabel *m_pageLabel;
    std::function<void()> m_printHandler;
    std::function<bool(QPrinter &)> m_setupHandler;
    std::unique_ptr<QPrinter> m_printer;
    bool m_refitPending = false;
};

} // namespace tessary
