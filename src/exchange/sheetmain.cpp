// tessary-sheet: reads the sheet of a workbook or CSV file for the import
// and writes it to standard output as frames (see exchange/sheetreader.h).
// It runs as a child of the program under a memory limit, so a damaged or
// hostile file can at worst end this process, never the program.
//
// usage: tessary-sheet <file>
//
// Environment: TESSARY_SHEET_MEMORY_MB, the address space limit in MB
// (default 512, 0 for none; none in AddressSanitizer builds, which reserve
// far more); TESSARY_SHEET_FAULT, for tests, "abort:N", "hang:N", "hog:N"
// or "badframe:N": after N data rows abort, stop sending, allocate without
// end, or send a header frame whose column count asks for gigabytes.

#include "exchange/sheetreader.h"

#include "data/errors.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <thread>
#include <vector>

#include <sys/resource.h>

using namespace tessary;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

void limitMemory()
{
    bool ok = false;
    const qint64 mb = qEnvironmentVariableIntValue("TESSARY_SHEET_MEMORY_MB", &ok);
    const qint64 limit = ok ? mb : (kAddressSanitizer ? 0 : 512);
    if (limit <= 0)
        return;
    const rlimit r{rlim_t(limit) << 20, rlim_t(limit) << 20};
    setrlimit(RLIMIT_AS, &r);
}

void send(const QByteArray &frame)
{
    std::fwrite(frame.constData(), 1, size_t(frame.size()), stdout);
}

// The test hook: what to do after how many rows.
struct Fault
{
    QByteArray what;
    long after = -1;
};

Fault faultFromEnvironment()
{
    const QByteArray fault = qgetenv("TESSARY_SHEET_FAULT");
    const qsizetype colon = fault.indexOf(':');
    if (colon < 0)
        return {};
    return {fault.left(colon), fault.mid(colon + 1).toLong()};
}

void injectFault(const Fault &fault)
{
    std::fflush(stdout);
    if (fault.what == "abort")
        std::abort();
    if (fault.what == "hang")
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    if (fault.what == "badframe") {
        // The tag, a row count, then a count of 0x7FFFFFFF columns in a
        // frame of a few bytes.
        send(QByteArray::fromHex("0000000e" "48" "00000001" "7fffffff" "0000000000"));
        std::fflush(stdout);
        std::exit(0);
    }
    if (fault.what == "hog") {
        std::vector<char *> blocks;
        for (;;) {
            char *block = new char[16 << 20];
            for (int i = 0; i < (16 << 20); i += 4096)
                block[i] = 1; // touched, so the memory is really taken
            blocks.push_back(block);
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessary-sheet <file>\n");
        return 2;
    }
    limitMemory();
    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    const Fault fault = faultFromEnvironment();
    try {
        const std::unique_ptr<SheetReader> sheet = openSheet(QString::fromLocal8Bit(argv[1]));
        send(sheetframe::header(sheet->columnNames(), sheet->rowCount()));
        QVector<SheetCell> row;
        for (long sent = 0;; ++sent) {
            if (sent == fault.after)
                injectFault(fault);
            if (!sheet->nextRow(row))
                break;
            send(sheetframe::row(row));
        }
        send(sheetframe::end());
    } catch (const Error &e) {
        send(sheetframe::error(e.message()));
    }
    std::fflush(stdout);
    return 0;
}
