#include "report/preview.h"

#include "data/connection.h"
#include "data/prompts.h"
#include "report/output.h"
#include "report/printing.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QScrollArea>
#include <QEvent>
#include <QTimer>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace tessary {

// The sheet on screen: one painted page on a grey surround.
class PreviewPageView : public QWidget
{
public:
    explicit PreviewPageView(QWidget *parent) : QWidget(parent) { setAccessibleName(QStringLiteral("Page")); }

    void setPage(const QImage &page)
    {
        m_page = page;
        setFixedSize(page.size() + QSize(2 * kBorder, 2 * kBorder));
        update();
    }
    const QImage &page() const { return m_page; }

    static constexpr int kBorder = 8;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(128, 128, 128));
        painter.drawImage(QPoint(kBorder, kBorder), m_page);
        painter.setPen(Qt::black);
        painter.drawRect(QRect(QPoint(kBorder - 1, kBorder - 1), m_page.size() + QSize(1, 1)));
    }

private:
    QImage m_page;
};

namespace {

// A laid-out report as a preview document.
class ReportDocument : public PreviewDocument
{
public:
    ReportDocument(Report &report, const ReportLayout &layout) : m_report(report), m_layout(layout) {}

    int pageCount() const override { return m_layout.pageCount(); }
    QSizeF pageSizeMm() const override { return m_layout.pageSize(); }
    QPageLayout pageLayout() const override { return m_layout.page.qPageLayout(); }
    void paintPage(int page, QPainter &painter) override { paintReportPage(m_report, m_layout, page, painter); }
    bool writePdf(const QString &fileName, QString *error) override
    {
        return writeReportPdf(m_report, m_layout, fileName, 1200, error);
    }
    void print(QPrinter &printer, QWidget *owner) override { printLayoutTo(m_report, m_layout, printer, owner); }

private:
    Report &m_report;
    const ReportLayout &m_layout;
};

} // namespace

TReportPreview::TReportPreview(Report &report, QWidget *owner)
    : QDialog(owner), m_report(&report), m_layout(layOutReport(report))
{
    m_ownDocument = std::make_unique<ReportDocument>(report, m_layout);
    m_document = m_ownDocument.get();
    buildWindow();
}

TReportPreview::TReportPreview(PreviewDocument &document, QWidget *owner) : QDialog(owner), m_document(&document)
{
    buildWindow();
}

void TReportPreview::buildWindow()
{
    setWindowTitle(QStringLiteral("Print Preview"));
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    auto *layout = new QVBoxLayout(this);
    auto *bar = new QHBoxLayout;
    layout->addLayout(bar);

    auto add = [&](const char *objectName, const QString &text, const QString &accessible) {
        QToolButton *b = addButton(QString::fromLatin1(objectName), text, accessible);
        bar->addWidget(b);
        return b;
    };
    connect(add("bZoomPage", QStringLiteral("Whole page"), QStringLiteral("Zoom to whole page")),
            &QToolButton::clicked, this, [this] { setZoom(Zoom::WholePage); });
    connect(add("bZoom100", QStringLiteral("100 %"), QStringLiteral("Zoom to 100 percent")), &QToolButton::clicked,
            this, [this] { setZoom(Zoom::Actual); });
    connect(add("bZoomWidth", QStringLiteral("Page width"), QStringLiteral("Zoom to page width")),
            &QToolButton::clicked, this, [this] { setZoom(Zoom::PageWidth); });
    bar->addSpacing(12);
    connect(add("bFirst", QStringLiteral("|<"), QStringLiteral("First page")), &QToolButton::clicked, this,
            [this] { setCurrentPage(0); });
    connect(add("bPrior", QStringLiteral("<"), QStringLiteral("Previous page")), &QToolButton::clicked, this,
            [this] { setCurrentPage(m_page - 1); });
    m_pageLabel = new QLabel(this);
    m_pageLabel->setAccessibleName(QStringLiteral("Page number"));
    m_pageLabel->setMinimumWidth(100);
    m_pageLabel->setAlignment(Qt::AlignCenter);
    bar->addWidget(m_pageLabel);
    connect(add("bNext", QStringLiteral(">"), QStringLiteral("Next page")), &QToolButton::clicked, this,
            [this] { setCurrentPage(m_page + 1); });
    connect(add("bLast", QStringLiteral(">|"), QStringLiteral("Last page")), &QToolButton::clicked, this,
            [this] { setCurrentPage(pageCount() - 1); });
    bar->addSpacing(12);
    connect(add("bSetup", QStringLiteral("Printer setup"), QStringLiteral("Printer setup")), &QToolButton::clicked,
            this, [this] { guarded([this] { printerSetup(); }); });
    connect(add("bPrint", QStringLiteral("Print"), QStringLiteral("Print")), &QToolButton::clicked, this,
            [this] { guarded([this] { printNow(); }); });
    connect(add("bSavePdf", QStringLiteral("Save as PDF\u2026"), QStringLiteral("Save as PDF")),
            &QToolButton::clicked, this, [this] { guarded([this] { saveAsPdf(); }); });
    bar->addStretch();
    connect(add("bClose", QStringLiteral("Close"), QStringLiteral("Close")), &QToolButton::clicked, this,
            &QDialog::accept);

    m_scroll = new QScrollArea(this);
    m_scroll->setAlignment(Qt::AlignCenter);
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_view = new PreviewPageView(m_scroll);
    m_scroll->setWidget(m_view);
    // The fitting zooms follow the viewport's own size, which is known only
    // once the window is laid out on screen.
    m_scroll->viewport()->installEventFilter(this);
    layout->addWidget(m_scroll, 1);

    if (const QScreen *screen = this->screen()) {
        const QSize available = screen->availableSize();
        resize(std::max(400, available.width() * 4 / 5), std::max(400, available.height() * 9 / 10));
    } else {
        resize(800, 900);
    }
    showPage();
}

TReportPreview::~TReportPreview() = default;

QToolButton *TReportPreview::addButton(const QString &objectName, const QString &text, const QString &accessible)
{
    auto *b = new QToolButton(this);
    b->setObjectName(objectName);
    b->setText(text);
    b->setToolTip(accessible);
    b->setAccessibleName(accessible);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setAutoRaise(true);
    return b;
}

QToolButton *TReportPreview::button(const QString &objectName) const
{
    return findChild<QToolButton *>(objectName);
}

void TReportPreview::previewModal(Report &report, QWidget *owner)
{
    TReportPreview window(report, owner);
    window.exec();
}

void TReportPreview::previewAndWait(Report &report, QWidget *owner)
{
    TReportPreview window(report, owner);
    window.showAndWait();
}

TReportPreview *TReportPreview::previewNonModal(Report &report, QWidget *owner,
                                                const std::function<void(TReportPreview &)> &configure)
{
    auto *window = new TReportPreview(report, owner);
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (configure)
        configure(*window);
    window->setModal(false);
    window->show();
    return window;
}

void TReportPreview::showAndWait()
{
    setModal(false);
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
    show();
    if (isVisible())
        loop.exec();
}

void TReportPreview::setCurrentPage(int page)
{
    const int held = std::clamp(page, 0, std::max(0, pageCount() - 1));
    if (held == m_page)
        return;
    m_page = held;
    showPage();
}

void TReportPreview::setZoom(Zoom zoom)
{
    m_zoom = zoom;
    showPage();
}

double TReportPreview::scale() const
{
    const QSizeF page = m_document->pageSizeMm();
    const int dpi = logicalDpiX() > 0 ? logicalDpiX() : 96;
    const double actual = dpi / 25.4;
    // A pixel to spare on each side, so a fitted page never calls up a scroll bar.
    const QSize area = m_scroll->viewport()->size() - QSize(2 * PreviewPageView::kBorder + 2, 2 * PreviewPageView::kBorder + 2);
    const int scrollBar = m_scroll->verticalScrollBar()->sizeHint().width();
    switch (m_zoom) {
    case Zoom::Actual:
        return actual;
    case Zoom::PageWidth:
        return std::max(0.5, (area.width() - scrollBar) / page.width());
    case Zoom::WholePage:
        break;
    }
    return std::max(0.5, std::min(area.width() / page.width(), area.height() / page.height()));
}

QString TReportPreview::pageText() const
{
    return QStringLiteral("Page %1 of %2").arg(m_page + 1).arg(pageCount());
}

QImage TReportPreview::shownPage() const { return m_view->page(); }

void TReportPreview::showPage()
{
    m_pageLabel->setText(pageText());
    button(QStringLiteral("bFirst"))->setEnabled(m_page > 0);
    button(QStringLiteral("bPrior"))->setEnabled(m_page > 0);
    button(QStringLiteral("bNext"))->setEnabled(m_page + 1 < pageCount());
    button(QStringLiteral("bLast"))->setEnabled(m_page + 1 < pageCount());

    // Painted at a whole number of dots per inch, which is how the painter
    // turns point sizes into pixels.
    const int dpi = std::max(12, qRound(scale() * 25.4));
    const QSizeF page = m_document->pageSizeMm();
    QImage image(std::max(1, qRound(page.width() * dpi / 25.4)), std::max(1, qRound(page.height() * dpi / 25.4)),
                 QImage::Format_RGB32);
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    image.fill(Qt::white);
    guarded([&] {
        QPainter painter(&image);
        m_document->paintPage(m_page, painter);
    });
    m_view->setPage(image);
}

void TReportPreview::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    if (m_zoom != Zoom::Actual)
        showPage();
}

bool TReportPreview::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_scroll->viewport() && event->type() == QEvent::Resize && m_zoom != Zoom::Actual &&
        !m_refitPending) {
        // Later, so a scroll bar that comes or goes with the new page size
        // does not resize the viewport again inside this event.
        m_refitPending = true;
        QTimer::singleShot(0, this, [this] {
            m_refitPending = false;
            showPage();
        });
    }
    return QDialog::eventFilter(watched, event);
}

bool TReportPreview::saveAsPdf()
{
    QString fileName = prompts().saveFileName(QStringLiteral("Save as PDF"), QStringLiteral("PDF files|*.pdf"),
                                              QString(), QStringLiteral("pdf"));
    if (fileName.isEmpty())
        return false;
    // The card database in use is never replaced by a report.
    if (Connection::isOpenDatabaseFile(fileName)) {
        ShowErrorBox(QStringLiteral("The card database in use cannot be replaced."));
        return false;
    }
    // Anything already under that name, a dangling link included.
    const QFileInfo existing(fileName);
    if ((existing.exists() || existing.isSymLink()) &&
        prompts().message(MessageKind::Confirmation, QStringLiteral("Confirm"), QStringLiteral("Overwrite the file?"),
                          true) != MessageResult::Ok)
        return false;
    QString why;
    if (!m_document->writePdf(fileName, &why)) {
        ShowErrorBox(QStringLiteral("Unable to write the file %1 (%2).").arg(fileName, why));
        return false;
    }
    return true;
}

void TReportPreview::printNow()
{
    if (m_printHandler) {
        m_printHandler();
        return;
    }
    if (m_printer) {
        m_document->print(*m_printer, this);
        return;
    }
    const QPrinterInfo info = reportDefaultPrinter();
    if (info.isNull())
        return; // no printer: nothing printed, nothing said
    QPrinter printer(info, QPrinter::HighResolution);
    m_document->print(printer, this);
}

void TReportPreview::printerSetup()
{
    std::unique_ptr<QPrinter> fresh;
    QPrinter *printer = m_printer.get();
    if (!printer) {
        fresh = std::make_unique<QPrinter>(QPrinter::HighResolution);
        const QPrinterInfo info = reportDefaultPrinter();
        if (!info.isNull())
            fresh->setPrinterName(info.printerName());
        printer = fresh.get();
    }
    printer->setPageLayout(m_document->pageLayout());
    printer->setFullPage(true);
    bool chosen = false;
    if (m_setupHandler) {
        chosen = m_setupHandler(*printer);
    } else {
        QPrintDialog dialog(printer, this);
        dialog.setWindowTitle(QStringLiteral("Printer setup"));
        chosen = dialog.exec() == QDialog::Accepted;
    }
    if (chosen && fresh)
        m_printer = std::move(fresh);
}

} // namespace tessary
