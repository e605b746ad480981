#include "report/output.h"

#include <QFile>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

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

bool writeReportPdf(Report &report, const ReportLayout &layout, const QString &fileName, int resolution)
{
    bool ok = false;
    {
        QPdfWriter writer(fileName);
        writer.setResolution(resolution);
        writer.setCreator(QStringLiteral("Tessary"));
        writer.setTitle(layout.page.title);
        writer.setPageLayout(layout.page.qPageLayout());
        ok = paintReportPages(report, layout, writer) == layout.pageCount();
    }
    ok = ok && QFile(fileName).size() > 0;
    if (!ok)
        QFile::remove(fileName);
    return ok;
}

} // namespace tessary
