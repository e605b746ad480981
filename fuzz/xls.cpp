// The .xls reader (FreeXL) on any bytes, in this process.
//
// FreeXL 1.0.6 hands a buffer to iconv that AddressSanitizer finds to start
// before a stack buffer of freexl_open on some damaged files. That fault is
// the library's, and the reason the program runs the reader in a child
// process; it is excluded here (reports from interceptors called inside
// libfreexl), so the run goes on to find faults of this program's own code,
// which stays fully checked.

#include "sheetinput.h"

extern "C" const char *__asan_default_suppressions()
{
    return "interceptor_via_lib:libfreexl.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    tessary::fuzz::readSheet(tessary::fuzz::inputFile(data, size, "xls"));
    return 0;
}
