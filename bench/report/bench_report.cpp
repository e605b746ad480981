// Figures for the report engine: a 1,000-row report, each row with its own
// 480 x 640 picture loaded by the band's hook (as a photo would be), laid
// out and written to PDF. Prints the milliseconds of each step and the peak
// resident memory, which stays bounded because only the pictures of the
// page being painted are held.

#include "report/layout.h"
#include "report/output.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>

using namespace tessary;

namespace {

double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

long peakRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss; // kilobytes on Linux
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    constexpr int kRows = 1000;

    ListRowSource rows;
    rows.setColumns({QStringLiteral("name"), QStringLiteral("post")});
    for (int i = 0; i < kRows; ++i)
        rows.appendRow({QStringLiteral("Member %1").arg(i), QStringLiteral("Post %1").arg(i % 17)});

    Report report;
    report.page.topMargin = report.page.bottomMargin = report.page.leftMargin = report.page.rightMargin = 10;
    report.page.columns = 3;
    report.page.columnGap = 3;
    report.page.title = QStringLiteral("Member List");
    report.setRowSource(&rows);
    ReportBand &band = report.addBand();
    band.height = 29.24;
    band.width = 61.25;
    band.frame.setAll(true);
    band.childGap = 1.32;
    auto &photo = band.add<ReportImage>();
    photo.setBox(0.53, 0.53, 20.9, 28.05);
    photo.frame.setAll(true);
    auto &name = band.add<ReportDataText>();
    name.column = QStringLiteral("name");
    name.setBox(22.36, 0.79, 0, 0);
    name.font.pointSize = 8;
    auto &post = band.add<ReportDataText>();
    post.column = QStringLiteral("post");
    post.setBox(22.36, 5.29, 0, 0);
    post.font.pointSize = 8;
    // A new 480 x 640 picture per row, as loading a member's photo gives.
    band.beforePrint = [&] {
        QImage picture(480, 640, QImage::Format_RGB888);
        picture.fill(QColor::fromHsv(rows.rowIndex() * 7 % 360, 200, 230));
        photo.picture = picture;
    };
    report.addPageElement<ReportSystemText>().setBox(190, 288.4, 15, 5);

    auto start = std::chrono::steady_clock::now();
    const ReportLayout layout = layOutReport(report);
    const double layoutMs = msSince(start);
    const long afterLayout = peakRssKb();

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bench.pdf"));
    start = std::chrono::steady_clock::now();
    const bool written = writeReportPdf(report, layout, file);
    const double pdfMs = msSince(start);

    std::printf("bench_report: %d rows, %d pages\n", kRows, layout.pageCount());
    std::printf("  lay out:      %.1f ms (peak RSS %ld KB)\n", layoutMs, afterLayout);
    std::printf("  write PDF:    %.1f ms (%s, %lld KB)\n", pdfMs, written ? "ok" : "FAILED",
                static_cast<long long>(QFile(file).size() / 1024));
    std::printf("  peak RSS:     %ld KB (all pictures held would be %d MB)\n", peakRssKb(), kRows * 480 * 640 * 3 / 1048576);
    return written ? 0 : 1;
}
