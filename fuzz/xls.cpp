// The .xls reader (FreeXL) on any bytes, in this process.
//
// Two faults of FreeXL 1.0.6 itself are excluded, so that the run goes on
// to find faults of this program's own code, which stays fully checked:
// - on some damaged files freexl_open hands iconv a buffer that starts
//   before a stack buffer (reports from interceptors called inside
//   libfreexl are suppressed); the reason the program runs the reader in a
//   child process;
// - when freexl_open refuses some damaged files it loses a block it
//   allocated, with no handle left to free it (leaks allocated inside
//   libfreexl are suppressed); the reader process ends after one file, so
//   the block is lost only until then.

#include "sheetinput.h"

extern "C" const char *__asan_default_suppressions()
{
    return "interceptor_via_lib:libfreexl.so\n";
}

extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfreexl.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    tessary::fuzz::readSheet(tessary::fuzz::inputFile(data, size, "xls"));
    return 0;
}
