// Figures for the check list on a card database of 10,000 members, each
// with its own 480 x 640 photo (targets: first page shown in under 1 s;
// under 300 MB while paging through every page).
//
// The database is built first (that takes a while and is not measured);
// the peak memory is then reset, so the figure is the check list's own.
// Run the release build; QT_QPA_PLATFORM=offscreen works without a display.

#include "card/memlist.h"
#include "data/connection.h"
#include "data/datasrc.h"
#include "data/query.h"
#include "data/schema.h"
#include "photo/picture.h"
#include "report/layout.h"
#include "report/preview.h"

#include <QApplication>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

constexpr int kMembers = 10000;

QImage portrait(int seed)
{
    QImage picture(480, 640, QImage::Format_BGR888);
    for (int y = 0; y < 640; ++y) {
        uchar *row = picture.scanLine(y);
        for (int x = 0; x < 480; ++x) {
            row[3 * x + 0] = uchar((x + seed * 13) & 255);
            row[3 * x + 1] = uchar((y + seed * 7) & 255);
            row[3 * x + 2] = uchar(((x ^ y) + seed) & 255);
        }
    }
    return picture;
}

// Resident set: current and peak, in megabytes.
double statusMb(const char *key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0)
            return std::stod(line.substr(std::string(key).size())) / 1024.0;
    }
    return -1;
}

void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    using namespace tessary;

    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/cardinfo.mdb");
    createCardDatabase(path, CardDatabaseSeed{});
    {
        // Every photo is different.
        Connection connection;
        connection.setConnectionString(cardConnectionString(path));
        connection.connect();
        Query staff(&connection, QStringLiteral("fill"));
        staff.setSql({QStringLiteral("select * from stafftbl where seq < 0")});
        staff.open();
        Transaction transaction(connection);
        for (int i = 0; i < kMembers; ++i) {
            staff.append();
            staff.fieldByName(QStringLiteral("name")).setString(QStringLiteral("Member %1").arg(i, 5, 10, QLatin1Char('0')));
            staff.fieldByName(QStringLiteral("cname")).setString(QStringLiteral("成員 %1").arg(i));
            staff.fieldByName(QStringLiteral("gid")).setInteger(i % 5);
            staff.fieldByName(QStringLiteral("post")).setString(QStringLiteral("Clerk"));
            staff.fieldByName(QStringLiteral("staffno")).setString(QString::number(100000 + i));
            staff.fieldByName(QStringLiteral("photo")).setBytes(SavePictureToBlob(portrait(i)));
            staff.post();
        }
        transaction.commit();
    }
    const double databaseMb = QFile(path).size() / 1048576.0;

    Connection connection;
    connection.setConnectionString(cardConnectionString(path));
    connection.connect();
    malloc_trim(0); // give back what building the database used
    resetPeak();
    const double baseMb = statusMb("VmRSS:");

    // Open and show: the same steps as the "Check List" command, up to the
    // first page painted in the preview window.
    const auto start = std::chrono::steady_clock::now();
    TqrMemList list(connection);
    list.open();
    const double openMs = msSince(start);
    TReportPreview preview(list.report);
    preview.show();
    const QImage first = preview.shownPage();
    const double firstPageMs = msSince(start);

    // Paging through every page, as the preview paints it.
    const auto pagingStart = std::chrono::steady_clock::now();
    int painted = 0;
    for (int page = 0; page < preview.pageCount(); ++page) {
        preview.setCurrentPage(page);
        if (!preview.shownPage().isNull())
            ++painted;
    }
    const double pagingMs = msSince(pagingStart);

    std::printf("check list of %d members, 480 x 640 photos (database %.0f MB)\n", kMembers, databaseMb);
    std::printf("  open (snapshot of the members)  %8.1f ms\n", openMs);
    std::printf("  first page shown in preview     %8.1f ms (%d pages, first page %dx%d)\n", firstPageMs,
                preview.pageCount(), first.width(), first.height());
    std::printf("  paging through all %d pages    %8.1f ms (%.1f ms a page)\n", painted, pagingMs,
                pagingMs / qMax(1, painted));
    std::printf("  memory: before %.0f MB, peak %.0f MB, now %.0f MB\n", baseMb, statusMb("VmHWM:"),
                statusMb("VmRSS:"));
    return 0;
}
